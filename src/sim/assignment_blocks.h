// Exhaustive enumeration of the 2^n assignments of n binary variables, 32 at
// a time: assignment idx = block·32 + lane, so within a block the five low
// variables vary across lanes and the others are fixed. Every lane keeps its
// own running sum in term order, so each assignment's energy is exactly the
// sequential sum; the lanes only run side by side.
//
// A term's contribution depends on at most two variables. Its low-variable
// part is a per-lane mask looked up in a table; its high-variable part is one
// scalar test per block.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <utility>

namespace tavik::sim::blocks {

inline constexpr unsigned kLaneBits = 5;
inline constexpr std::size_t kLanes = std::size_t{1} << kLaneBits;
inline constexpr std::size_t kWidth = 8;  // doubles per vector register (lowered to what the target has)
inline constexpr std::size_t kVectors = kLanes / kWidth;

using Vec = double __attribute__((vector_size(8 * kWidth)));
using Bits = std::int64_t __attribute__((vector_size(8 * kWidth)));

inline constexpr std::int64_t kSignBit = std::numeric_limits<std::int64_t>::min();

// The running sums of one block; each starts at +0.0 like the sequential sum.
struct Energies {
  Vec v[kVectors] = {};
  double lane(std::size_t l) const { return v[l / kWidth][l % kWidth]; }
};

// Per subset S of the five lane variables: the lanes having every bit of S
// set, and the sign bit in lanes where an odd number of S's bits are set.
struct LaneMasks {
  Bits all_set[kLanes][kVectors];
  Bits odd_sign[kLanes][kVectors];
};

inline const LaneMasks& lane_masks() {
  static const LaneMasks masks = [] {
    LaneMasks m{};
    for (std::size_t s = 0; s < kLanes; ++s)
      for (std::size_t lane = 0; lane < kLanes; ++lane) {
        m.all_set[s][lane / kWidth][lane % kWidth] = (lane & s) == s ? -1 : 0;
        m.odd_sign[s][lane / kWidth][lane % kWidth] = std::popcount(lane & s) & 1 ? kSignBit : 0;
      }
    return m;
  }();
  return masks;
}

inline Bits broadcast(std::int64_t x) { return Bits{} + x; }
inline Vec broadcast(double x) { return Vec{} + x; }

// 0/1 form, (w·x_a)·x_b: exactly w where both bits are set. Elsewhere the
// products give ±0.0 for a finite w, which leaves a sum that started at +0.0
// unchanged, and NaN for an infinite or NaN w; `off` is that value.
struct ProductTerm {
  std::uint64_t high;  // block bits that must be set
  std::uint32_t low;   // lane bits that must be set
  double w;
  double off;
};

inline ProductTerm product_term(std::uint64_t a, std::uint64_t b, double w) {
  const std::uint64_t vars = (std::uint64_t{1} << a) | (std::uint64_t{1} << b);
  const bool finite = w - w == 0.0;
  return {vars >> kLaneBits, static_cast<std::uint32_t>(vars & (kLanes - 1)), w,
          finite ? 0.0 : std::numeric_limits<double>::quiet_NaN()};
}

// Spin form: ±w, negative where parity(idx & vars) differs from `positive_parity`.
// Multiplying by a spin of −1.0 only flips the sign bit, so this is the exact
// product (for NaN the sign may differ, and NaN sums are discarded anyway).
struct SignTerm {
  std::uint64_t high;
  std::uint32_t low;
  std::int64_t flip;  // kSignBit or 0
  double w;
};

// (w·s_a)·s_b: negative where exactly one of the two bits is set; a == b
// gives s_a² = 1.
inline SignTerm spin_coupling_term(std::uint64_t a, std::uint64_t b, double w) {
  const std::uint64_t vars = (std::uint64_t{1} << a) ^ (std::uint64_t{1} << b);
  return {vars >> kLaneBits, static_cast<std::uint32_t>(vars & (kLanes - 1)), 0, w};
}

// w·s_a: negative where bit a is clear.
inline SignTerm spin_field_term(std::uint64_t a, double w) {
  const std::uint64_t vars = std::uint64_t{1} << a;
  return {vars >> kLaneBits, static_cast<std::uint32_t>(vars & (kLanes - 1)), kSignBit, w};
}

[[gnu::always_inline]] inline void add(Energies& e, const ProductTerm& t, std::uint64_t block, const LaneMasks& m) {
  const Bits here = broadcast(-static_cast<std::int64_t>((block & t.high) == t.high));
  const Vec w = broadcast(t.w), off = broadcast(t.off);
  for (std::size_t v = 0; v < kVectors; ++v) e.v[v] += (m.all_set[t.low][v] & here) ? w : off;
}

[[gnu::always_inline]] inline void add(Energies& e, const SignTerm& t, std::uint64_t block, const LaneMasks& m) {
  const std::int64_t sign = (std::popcount(block & t.high) & 1 ? kSignBit : 0) ^ t.flip;
  const Bits w = broadcast(std::bit_cast<std::int64_t>(t.w) ^ sign);
  for (std::size_t v = 0; v < kVectors; ++v) e.v[v] += reinterpret_cast<Vec>(w ^ m.odd_sign[t.low][v]);
}

inline std::uint64_t block_count(unsigned n) { return n > kLaneBits ? std::uint64_t{1} << (n - kLaneBits) : 1; }

// Lanes of a block that are real assignments (fewer than 32 when n < 5).
inline std::size_t valid_lanes(unsigned n) { return n >= kLaneBits ? kLanes : std::size_t{1} << n; }

// The energies of one block: every term added, in list order, to each lane.
template <class Term>
[[gnu::always_inline]] inline Energies block_energies(std::uint64_t block, std::span<const Term> terms,
                                                      const LaneMasks& masks) {
  Energies e;
  for (const Term& t : terms) add(e, t, block, masks);
  return e;
}

// Lowest energy over all assignments, ties to the lowest index, NaN never
// taken: each lane keeps its first strict minimum, then the lanes are merged.
struct ArgMin {
  Vec best[kVectors];
  Bits block[kVectors];

  ArgMin() {
    for (std::size_t v = 0; v < kVectors; ++v) {
      best[v] = broadcast(std::numeric_limits<double>::infinity());
      block[v] = Bits{};
    }
  }

  [[gnu::always_inline]] void update(std::uint64_t b, const Energies& e) {
    const Bits here = broadcast(static_cast<std::int64_t>(b));
    for (std::size_t v = 0; v < kVectors; ++v) {
      const Bits better = e.v[v] < best[v];
      best[v] = better ? e.v[v] : best[v];
      block[v] = better ? here : block[v];
    }
  }

  // (energy, index) of the winner among the first `lanes` lanes. A lane that
  // never improved still holds +inf and takes no part.
  std::pair<double, std::uint64_t> result(std::size_t lanes) const {
    constexpr double inf = std::numeric_limits<double>::infinity();
    double energy = inf;
    std::uint64_t index = 0;
    for (std::size_t l = 0; l < lanes; ++l) {
      const double x = best[l / kWidth][l % kWidth];
      const std::uint64_t i = static_cast<std::uint64_t>(block[l / kWidth][l % kWidth]) * kLanes + l;
      if (x < energy || (x == energy && x != inf && i < index)) {
        energy = x;
        index = i;
      }
    }
    return {energy, index};
  }
};

}  // namespace tavik::sim::blocks
