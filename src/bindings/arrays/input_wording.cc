// How the array face words a broken input rule: a ValueError naming the
// argument, its column and the item, whatever the rule.
#include <string>

#include "bindings/arrays/bindings.h"
#include "py/translate.h"

namespace tavik::bindings::arrays {
namespace {

std::string text(const InputFailure& f) {
  std::string where(f.argument);
  if (!f.column.empty()) where.append(" ").append(f.column);
  where.append("[").append(std::to_string(f.item)).append("]");
  const std::string gate = where + " ('" + f.detail + "'): ";
  switch (f.rule) {
    case InputRule::index:
    case InputRule::support_qubit:
      return where + ": index " + std::to_string(f.value) + " is out of range for " + std::string(f.limit_name) +
             " = " + std::to_string(f.limit);
    case InputRule::qubit_given:
      return gate + "no qubit given";
    case InputRule::parameter_given:
      return gate + "parameter " + std::to_string(f.value) + " is missing (" + std::to_string(f.limit) + " given)";
    case InputRule::qubit_in_state:
      return gate + "qubit " + std::to_string(f.value) + " is out of range for n_qubits = " + std::to_string(f.limit);
    case InputRule::gate_known:
      return where + ": '" + f.detail + "' is not a " +
             (f.value == 1 ? "single-qubit gate" : "supported two-qubit gate");
  }
  return where;
}

void word(const InputError& error) noexcept {
  try {
    py::set_error(PyExc_ValueError, text(error.failure()));
  } catch (...) {  // no memory for the text
    PyErr_NoMemory();
  }
}

}  // namespace

void use_input_wording() { py::set_input_wording(&word); }

}  // namespace tavik::bindings::arrays
