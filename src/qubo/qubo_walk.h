// The Gray-code walk over one part of the assignment space.
//
// An assignment's index splits into three fields: `low` bits that vary
// across the 256 lanes of a block, `middle` bits that the walk steps through
// in Gray-code order, one block per step, and the part's fixed top bits. The
// energy of lane l at block g is A(g) + V_g[l]:
//   A(g)   the energy of the middle and top variables (a scalar),
//   V_g[l] the energy of the low variables and of their couplings to the
//          middle ones.
// Flipping middle variable j moves A by ±f_j, its local field among the
// middle variables, each other field f_i by ±B_ij, and V[l] by ±c_j[l], the
// coupling of j to the low variables set in lane l: one add per lane and
// block. The walk compares V[l] ≤ limit − A(g) instead of adding A, and hands
// back the first block where some lane passes.
//
// Every lane and every field takes the same IEEE adds in the same order on
// each SIMD path, so all paths give the same bits.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "platform/simd.h"

namespace tavik::qubo::walk {

inline constexpr unsigned kLaneBits = 8;
inline constexpr std::size_t kLanes = std::size_t{1} << kLaneBits;
// Middle fields are padded to a whole number of the widest registers.
inline constexpr std::size_t kFieldPad = 8;
inline constexpr std::size_t kMaxFields = 48;

// Read-only tables of one model, shared by every part.
struct Tables {
  std::size_t middle;  // middle variables
  std::size_t stride;  // middle rounded up to kFieldPad
  // Row 2j: c_j[l] for every lane; row 2j + 1: its negation.
  const double* lane_sums;
  // Row 2j: B_ji for each middle i (0 at i = j and in the padding); row
  // 2j + 1: its negation.
  const double* couplings;
};

// Where one part's walk starts, from its top bits: each middle variable's
// linear coefficient with the top couplings folded in, the energy of the top
// variables alone, and each lane's energy of the low variables alone (NaN in
// lanes beyond the model's variables: no comparison passes there).
struct PartStart {
  alignas(64) double linear[kMaxFields];
  double top_energy;
  alignas(64) double lanes[kLanes];
};

// The walk's running state.
struct State {
  alignas(64) double v[kLanes];
  alignas(64) double f[kMaxFields];
  double a;
};

template <std::size_t W>
struct Regs {
  using Vec = platform::simd::Vector<double, W>;
  using Bits = platform::simd::Vector<std::int64_t, W>;
  [[gnu::always_inline]] static Vec load(const double* p) {
    Vec v;
    __builtin_memcpy(&v, p, sizeof v);
    return v;
  }
  [[gnu::always_inline]] static void store(double* p, Vec v) { __builtin_memcpy(p, &v, sizeof v); }
};

// The state at block g (middle bits g), computed afresh: A by variables in
// increasing order, each adding its field among the set variables before it;
// the fields and V[l] by adding the set variables' rows in increasing order.
template <class Isa>
[[gnu::always_inline]] inline void restart_lanes(const Tables& t, const PartStart& p, State& s, std::uint64_t g) {
  constexpr std::size_t W = Isa::kDoubles;
  using R = Regs<W>;
  s.a = p.top_energy;
  for (std::size_t i = 0; i < t.stride; i += W) R::store(s.f + i, R::load(p.linear + i));
  for (std::size_t l = 0; l < kLanes; l += W) R::store(s.v + l, R::load(p.lanes + l));
  for (std::size_t j = 0; j < t.middle; ++j) {
    if (!((g >> j) & 1)) continue;
    s.a += s.f[j];
    const double* b = t.couplings + 2 * j * t.stride;
    for (std::size_t i = 0; i < t.stride; i += W) R::store(s.f + i, R::load(s.f + i) + R::load(b + i));
    const double* c = t.lane_sums + 2 * j * kLanes;
    for (std::size_t l = 0; l < kLanes; l += W) R::store(s.v + l, R::load(s.v + l) + R::load(c + l));
  }
}
TAVIK_SIMD_DISPATCH(restart, restart_lanes)

// Walks blocks [step, end): block `step` is the current one if `stepped`,
// else it is reached by flipping the variable the Gray code changes there.
// Returns the first block at which some lane has V[l] ≤ limit − A, the state
// left there, or `end`.
template <class Isa>
[[gnu::always_inline]] inline std::uint64_t walk_lanes(const Tables& t, State& s, std::uint64_t step, std::uint64_t end,
                                                       double limit, bool stepped) {
  constexpr std::size_t W = Isa::kDoubles;
  using R = Regs<W>;
  using Vec = typename R::Vec;
  using Bits = typename R::Bits;
  for (;; stepped = false) {
    Bits hit{};
    if (stepped) {
      const Vec below = Vec{} + (limit - s.a);
      for (std::size_t l = 0; l < kLanes; l += W) hit |= reinterpret_cast<Bits>(R::load(s.v + l) <= below);
    } else {
      // Gray code g(s) = s ^ (s >> 1): step s flips bit j = ctz(s), which
      // ends set unless bit j + 1 of s is.
      const auto j = static_cast<std::size_t>(std::countr_zero(step));
      const std::size_t leaves = (step >> (j + 1)) & 1;
      s.a += leaves ? -s.f[j] : s.f[j];
      const double* b = t.couplings + (2 * j + leaves) * t.stride;
      for (std::size_t i = 0; i < t.stride; i += W) R::store(s.f + i, R::load(s.f + i) + R::load(b + i));
      const double* c = t.lane_sums + (2 * j + leaves) * kLanes;
      const Vec below = Vec{} + (limit - s.a);
#pragma GCC unroll 8
      for (std::size_t l = 0; l < kLanes; l += W) {
        const Vec v = R::load(s.v + l) + R::load(c + l);
        R::store(s.v + l, v);
        hit |= reinterpret_cast<Bits>(v <= below);
      }
    }
    std::int64_t any = 0;
    for (std::size_t k = 0; k < W; ++k) any |= hit[k];
    if (any != 0) return step;
    if (++step == end) return end;
  }
}
TAVIK_SIMD_DISPATCH(walk, walk_lanes)

inline std::uint64_t gray(std::uint64_t s) { return s ^ (s >> 1); }

}  // namespace tavik::qubo::walk
