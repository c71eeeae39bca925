// Problem frontends: the one-hot tour QUBO of a routing instance.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "pool/pool.h"

namespace tavik {

// The distance matrix, read in place: when `square`, rows × rows values,
// row-major, at `values`; otherwise only reported.
struct DistanceView {
  const double* values;
  std::size_t rows;
  bool square;
};

// The n of an n × n distance matrix; ValueError "distance matrix must be
// square" for a ragged or non-square one.
std::size_t vrp_nodes(DistanceView dist);

// The largest n whose QUBO can be built with `result_bytes_per_entry` for
// each of its n²(2n - 1) entries (what the caller's form of the result
// costs), within the memory the process may use; never above 65 536, so
// that the n² variables have 32-bit indices.
std::size_t vrp_max_nodes(std::size_t result_bytes_per_entry) noexcept;

// Every term of A·Σ_i(1 - Σ_t x_it)² + A·Σ_t(1 - Σ_i x_it)² + B·Σ_{u≠v}Σ_t d_uv·x_ut·x_v,t+1 (cyclic),
// constants dropped, over the variables x_i_t (index n·i + t). Values are
// exactly those of accumulating the node, position and tour passes, in that
// order, into entries that start at +0.0. Each entry is keyed by a pair of
// variables oriented by byte-wise name order, "first" being the one whose
// name sorts first (both the same for a linear term).
//
// The QUBO has few distinct values (-2A, 2A and the B·d_uv), so entries
// refer to them by index: a caller building objects makes one per value.
class VrpQubo {
 public:
  struct Entry {
    std::uint32_t second;
    std::uint32_t value;  // index into values()
  };

  // Requires a square dist of at most vrp_max_nodes(0) nodes (vrp_nodes
  // and the caller's own size check first); reads every off-diagonal value.
  VrpQubo(DistanceView dist, double penalty_a, double penalty_b);

  std::size_t variables() const { return names_.size(); }
  // "x_{i}_{t}", by variable index.
  const std::vector<std::string>& names() const { return names_; }
  const std::vector<double>& values() const { return values_; }
  // The most entries a variable is first in.
  std::size_t max_row_entries() const { return 4 * n_; }

  // Writes the entries whose first variable is `first` to `out` (room for
  // max_row_entries()), by ascending second variable; returns their count.
  std::size_t row(std::uint32_t first, std::span<Entry> out) const;

  // Writes each entry's value to q[first·N + second] of a dense N × N
  // row-major matrix, N = variables(), whose other elements stay as they are
  // (+0.0 in a zeroed q). Rows are split over `threads`.
  void fill_matrix(std::span<double> q, pool::Threads threads) const;

 private:
  // For variable (i, t), its partners on another node sit at up to three
  // positions: t (a position pair), t + 1 (a tour pair with i first) and
  // t - 1 (a tour pair with the other node first).
  enum Kind : std::uint8_t { kPosition, kNext, kPrev };
  struct Partner {
    std::uint32_t position;
    Kind kind;
  };
  struct Partners {
    Partner list[3];
    std::uint8_t count;
  };

  std::size_t n_;
  std::vector<std::string> names_;
  std::vector<std::uint32_t> rank_;  // each variable's place in byte-wise name order
  std::vector<double> values_;
  std::vector<std::uint32_t> tour_;  // n·u + v → index of the tour pair value for u first
  std::vector<Partners> partners_;   // by position, in ascending partner position
};

}  // namespace tavik
