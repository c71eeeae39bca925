#include <utility>

#include "bindings/arrays/bindings.h"
#include "ecc/failure_probability.h"

namespace tavik::bindings::arrays {
namespace {

py::Ref logical_failure_probability(std::uint64_t n_data, Copied<std::uint64_t> starts, Copied<std::uint64_t> qubits,
                                    Copied<std::uint64_t> logical_z, In<double> p) {
  const ecc::SupportRows rows = tavik::arrays::support_rows(starts, qubits);
  auto out = new_array<double>(p.span().size());
  {
    const Unlocked unlocked;
    const ecc::FailureSet failures(n_data, rows, logical_z, pool::Threads::pool);
    failures.probabilities(p, out.span, pool::Threads::pool);
  }
  return std::move(out.object);
}

// What preparing the code checks before any table is built: its size
// limits, then every support and logical_z index.
void check_code(std::uint64_t n_data, Copied<std::uint64_t> starts, Copied<std::uint64_t> qubits,
                Copied<std::uint64_t> logical_z) {
  ecc::stabilizer_masks(n_data, tavik::arrays::support_rows(starts, qubits));
  ecc::support_mask(logical_z, n_data, "logical_z", std::nullopt);
}

}  // namespace

void register_failure_probability(py::Module& m) {
  m.def<&logical_failure_probability, "logical_failure_probability(n_data, starts, qubits, logical_z, p)">(
      "A buffer of float64, element i tavik_core's logical_failure_probability at rate p[i]; supports as\n"
      "compressed rows.");
  m.def<&check_code, "check_code(n_data, starts, qubits, logical_z)">(
      "Raise what logical_failure_probability raises for this code before it builds any table.");
}

}  // namespace tavik::bindings::arrays
