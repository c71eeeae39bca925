// How the list face words a broken input rule: exactly the exception and the
// text its contract fixes for each, whatever the rule's data adds.
#include <string>

#include "bindings/core/bindings.h"
#include "py/translate.h"

namespace tavik::bindings {
namespace {

std::string out_of_bounds(std::uint64_t len, const std::string& index) {
  return "index out of bounds: the len is " + std::to_string(len) + " but the index is " + index;
}

// The index of the first amplitude a gate pairs beyond a state of n qubits:
// offset + 2^q, written as a power of two once it no longer fits in 64 bits.
std::string partner_index(std::uint64_t q, std::uint64_t offset) {
  if (q < 64) return std::to_string(offset + (std::uint64_t{1} << q));
  return "2^" + std::to_string(q) + (offset != 0 ? " + " + std::to_string(offset) : "");
}

void word(const InputError& error) noexcept {
  try {
    const InputFailure& f = error.failure();
    switch (f.rule) {
      case InputRule::index:
      case InputRule::parameter_given:
        return py::set_panic(out_of_bounds(f.limit, std::to_string(f.value)), error.where);
      case InputRule::qubit_given:
        return py::set_panic(out_of_bounds(0, "0"), error.where);
      case InputRule::qubit_in_state:
        return py::set_panic(out_of_bounds(std::uint64_t{1} << f.limit, partner_index(f.value, f.offset)), error.where);
      case InputRule::support_qubit:
        return py::set_error(PyExc_ValueError, std::string(f.argument == "logical_z" ? "logical_z" : "stabilizer") +
                                                   " references data qubit " + std::to_string(f.value) +
                                                   " but n_data is " + std::to_string(f.limit));
      case InputRule::gate_known:
        return py::set_error(PyExc_ValueError, "'" + f.detail + "' is not a " +
                                                   (f.value == 1 ? "single-qubit gate" : "supported two-qubit gate"));
    }
  } catch (...) {  // no memory for the text
  }
  PyErr_NoMemory();
}

}  // namespace

void use_input_wording() { py::set_input_wording(&word); }

}  // namespace tavik::bindings
