// Problem frontends: the one-hot tour QUBO of a routing instance.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tavik {

// The distance matrix, read in place: when `square`, rows × rows values,
// row-major, at `values`; otherwise only reported.
struct DistanceView {
  const double* values;
  std::size_t rows;
  bool square;
};

// The largest n whose QUBO can be built: n² variables indexed by 32 bits
// (n ≤ 65 536), and the n²(2n - 1) entries, with `result_bytes_per_entry`
// more for each (what the caller's form of the result costs), within the
// memory the process may use.
std::size_t vrp_max_nodes(std::size_t result_bytes_per_entry) noexcept;

// A QUBO keyed by pairs of variable names. Entries refer to variables and
// values by index and are ordered by (first, second). Each name becomes one
// shared Python string, and each value one shared float: the QUBO has few
// distinct values (-2A, 2A and the B·d_uv), so sharing them saves creating
// and freeing a float per entry.
struct NamedQubo {
  struct Entry {
    std::uint32_t first;   // index of the variable whose name sorts first
    std::uint32_t second;  // equal to first for a linear term
    std::uint32_t value;   // index into values
  };
  std::vector<std::string> names;  // by variable index
  std::vector<double> values;
  std::vector<Entry> entries;
};

// Every term of A·Σ_i(1 - Σ_t x_it)² + A·Σ_t(1 - Σ_i x_it)² + B·Σ_{u≠v}Σ_t d_uv·x_ut·x_v,t+1 (cyclic),
// constants dropped, over the variables x_i_t (index n·i + t). Values are
// exactly those of accumulating the node, position and tour passes, in that
// order, into entries that start at +0.0; keys are oriented by byte-wise name
// order. ValueError "distance matrix must be square" for a ragged or
// non-square dist; MemoryError when n exceeds vrp_max_nodes().
NamedQubo vrp_qubo_terms(DistanceView dist, double penalty_a, double penalty_b, std::size_t result_bytes_per_entry);

}  // namespace tavik
