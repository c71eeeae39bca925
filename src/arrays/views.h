// Kernel views over the buffers the typed layer hands over, with the one
// check that keeps a kernel inside them: columns of one view have one length.
#pragma once

#include <cstddef>
#include <string>

#include "arrays/buffer.h"
#include "common/errors.h"
#include "common/qubo.h"
#include "ecc/lookup_table.h"

namespace tavik::arrays {

// ValueError unless `what` has `expected` elements.
inline void require_size(std::size_t size, std::size_t expected, const char* what) {
  if (size != expected)
    throw ValueError(std::string(what) + " has " + std::to_string(size) + " elements, expected " +
                     std::to_string(expected));
}

inline QuboView qubo_view(const Copied<std::uint64_t>& rows, const Copied<std::uint64_t>& cols,
                          const In<double>& weights) {
  require_size(rows.span().size(), weights.span().size(), "rows");
  require_size(cols.span().size(), weights.span().size(), "cols");
  return {rows, cols, weights};
}

// Compressed rows the decoder can read without leaving `qubits`: starts run
// from 0, never decrease, and end at qubits' size.
inline ecc::SupportRows support_rows(const Copied<std::uint64_t>& starts, const Copied<std::uint64_t>& qubits) {
  const std::span<const std::uint64_t> s = starts, q = qubits;
  bool sound = !s.empty() && s.front() == 0 && s.back() == q.size();
  for (std::size_t j = 1; sound && j < s.size(); ++j) sound = s[j - 1] <= s[j];
  if (!sound) throw ValueError("starts: expected offsets from 0 to len(qubits), never decreasing");
  return {s, q};
}

}  // namespace tavik::arrays
