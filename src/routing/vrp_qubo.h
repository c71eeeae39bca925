// Problem frontends: the one-hot tour QUBO of a routing instance.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tavik {

// The augmented distance matrix as read from the caller: its shape always,
// its values (row-major) only while it can still be a square matrix whose
// QUBO fits in memory. Anything larger fails after validation, so reading
// (not copying) the rest keeps a huge or lazily allocated input from being
// copied into memory it cannot fit in.
struct DistanceMatrix {
  std::size_t rows = 0;
  bool square = true;     // every row has `rows` entries
  bool held = true;       // values holds rows × rows entries
  std::vector<double> values;
};

// The largest n whose QUBO can be built: n² variables indexed by 32 bits
// (n ≤ 65 536), and the n²(2n - 1) entries with their Python objects within
// the memory the process may use.
std::size_t vrp_max_nodes() noexcept;

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
NamedQubo vrp_qubo_terms(const DistanceMatrix& dist, double penalty_a, double penalty_b);

}  // namespace tavik
