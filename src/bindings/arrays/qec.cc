#include <algorithm>
#include <utility>

#include "bindings/arrays/bindings.h"
#include "qec/qec.h"

namespace tavik::bindings::arrays {
namespace {

py::Ref failure_counts(std::uint64_t n_data, Copied<std::uint64_t> starts, Copied<std::uint64_t> qubits,
                       Copied<std::uint64_t> logical, std::uint64_t max_weight, std::uint64_t slice_bits,
                       std::uint64_t first, std::uint64_t last) {
  const ecc::SupportRows rows = tavik::arrays::support_rows(starts, qubits);
  auto out = new_array<std::uint64_t>(std::min(max_weight, n_data) + 1);
  {
    const Unlocked unlocked;
    const qec::CountingCode code = qec::counting_code(n_data, rows, logical);
    const std::vector<std::uint64_t> counts =
        qec::failure_counts(code, static_cast<unsigned>(std::min(max_weight, n_data)),
                            static_cast<unsigned>(std::min<std::uint64_t>(slice_bits, 64)), first, last,
                            pool::Threads::pool);
    std::copy(counts.begin(), counts.end(), out.span.begin());
  }
  return std::move(out.object);
}

py::Ref complete_failure_counts(std::uint64_t n_data, Copied<std::uint64_t> starts, Copied<std::uint64_t> qubits,
                                Copied<std::uint64_t> logical) {
  const ecc::SupportRows rows = tavik::arrays::support_rows(starts, qubits);
  qec::counting_code(n_data, rows, logical);  // the inputs named as the weight walk names them
  ecc::stabilizer_masks(n_data, rows);        // the table's size limits, before the result is made
  auto out = new_array<std::uint64_t>(n_data + 1);
  {
    const Unlocked unlocked;
    const std::vector<std::uint64_t> counts = qec::complete_failure_counts(n_data, rows, logical, pool::Threads::pool);
    std::copy(counts.begin(), counts.end(), out.span.begin());
  }
  return std::move(out.object);
}

}  // namespace

void register_qec(py::Module& m) {
  m.def<&failure_counts, "_qec_failure_counts(n_data, starts, qubits, logical, max_weight, slice_bits, first, last)">(
      "A buffer of uint64, element w the patterns of weight w <= max_weight that the minimum-weight lookup\n"
      "decoder leaves with a logical error, of those whose syndromes lie in slices [first, last) of\n"
      "2**slice_bits; checks as compressed rows.");
  m.def<&complete_failure_counts, "_qec_complete_failure_counts(n_data, starts, qubits, logical)">(
      "A buffer of uint64, element w the failing patterns of weight w for every w <= n_data, from the\n"
      "decoder's full table (the limits of build_ecc_lookup_table).");
}

}  // namespace tavik::bindings::arrays
