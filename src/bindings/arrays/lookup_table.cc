#include <utility>

#include "bindings/arrays/bindings.h"
#include "ecc/lookup_table.h"

namespace tavik::bindings::arrays {
namespace {

// A row here is its syndrome and its correction, one uint64 each.
constexpr ecc::LookupRowCost kLookupRowCost{2 * sizeof(std::uint64_t), 0};

// The table's size follows from the syndrome space, found (cheaply) before
// the lock is released: the result is allocated here then, so there is one
// call and the elimination runs once.
std::pair<py::Ref, py::Ref> build_ecc_lookup_table(std::uint64_t n_data, Copied<std::uint64_t> starts,
                                                   Copied<std::uint64_t> qubits) {
  ecc::LookupShape shape = ecc::lookup_shape(n_data, tavik::arrays::support_rows(starts, qubits), kLookupRowCost);
  auto syndromes = new_array<std::uint64_t>(shape.rows());
  auto corrections = new_array<std::uint64_t>(shape.rows());
  {
    const Unlocked unlocked;
    const ecc::LookupTable table = ecc::build_ecc_lookup_table(std::move(shape), pool::Threads::pool);
    table.write_rows(syndromes.span, corrections.span, pool::Threads::pool);
  }
  return {std::move(syndromes.object), std::move(corrections.object)};
}

}  // namespace

void register_lookup_table(py::Module& m) {
  m.def<&build_ecc_lookup_table, "build_ecc_lookup_table(n_data, starts, qubits)">(
      "(syndromes, corrections) as buffers of uint64, one row per producible syndrome, ascending, as\n"
      "tavik_core's build_ecc_lookup_table computes them; supports as compressed rows.");
}

}  // namespace tavik::bindings::arrays
