#include <cstddef>
#include <cstdint>
#include <utility>

#include "bindings/arrays/bindings.h"
#include "ecc/decoder.h"

namespace tavik::bindings::arrays {
namespace {

// Compressed rows the decoder can read without leaving `qubits`: starts run
// from 0, never decrease, and end at qubits' size.
ecc::SupportRows support_rows(const Copied<std::uint64_t>& starts, const Copied<std::uint64_t>& qubits) {
  const std::span<const std::uint64_t> s = starts, q = qubits;
  bool sound = !s.empty() && s.front() == 0 && s.back() == q.size();
  for (std::size_t j = 1; sound && j < s.size(); ++j) sound = s[j - 1] <= s[j];
  if (!sound) throw ValueError("starts: expected offsets from 0 to len(qubits), never decreasing");
  return {s, q};
}

// A row here is its syndrome and its correction, one uint64 each.
constexpr ecc::LookupRowCost kLookupRowCost{2 * sizeof(std::uint64_t), 0};

// The table's size follows from the syndrome space, found (cheaply) before
// the lock is released: the result is allocated here then, so there is one
// call and the elimination runs once.
std::pair<py::Ref, py::Ref> build_ecc_lookup_table(std::uint64_t n_data, Copied<std::uint64_t> starts,
                                                   Copied<std::uint64_t> qubits) {
  ecc::LookupShape shape = ecc::lookup_shape(n_data, support_rows(starts, qubits), kLookupRowCost);
  auto syndromes = new_array<std::uint64_t>(shape.rows());
  auto corrections = new_array<std::uint64_t>(shape.rows());
  {
    const Unlocked unlocked;
    const ecc::LookupTable table = ecc::build_ecc_lookup_table(std::move(shape), pool::Threads::pool);
    table.write_rows(syndromes.span, corrections.span, pool::Threads::pool);
  }
  return {std::move(syndromes.object), std::move(corrections.object)};
}

py::Ref logical_failure_probability(std::uint64_t n_data, Copied<std::uint64_t> starts, Copied<std::uint64_t> qubits,
                                    Copied<std::uint64_t> logical_z, In<double> p) {
  const ecc::SupportRows rows = support_rows(starts, qubits);
  auto out = new_array<double>(p.span().size());
  {
    const Unlocked unlocked;
    const ecc::FailureSet failures(n_data, rows, logical_z, pool::Threads::pool);
    failures.probabilities(p, out.span, pool::Threads::pool);
  }
  return std::move(out.object);
}

}  // namespace

void register_ecc(py::Module& m) {
  m.def<&build_ecc_lookup_table, "build_ecc_lookup_table(n_data, starts, qubits)">(
      "(syndromes, corrections) as bytearrays of uint64, one row per producible syndrome, ascending, as\n"
      "tavik_core's build_ecc_lookup_table computes them; supports as compressed rows.");
  m.def<&logical_failure_probability, "logical_failure_probability(n_data, starts, qubits, logical_z, p)">(
      "A buffer of float64, element i tavik_core's logical_failure_probability at rate p[i]; supports as\n"
      "compressed rows.");
}

}  // namespace tavik::bindings::arrays
