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
// set (all_set[0]; all_set[1] is all zero, for blocks where the term's other
// variables are not set), and the sign bit in lanes where the parity of S's
// set bits is odd (odd_sign[0]) or even (odd_sign[1]). Rows are picked by
// index arithmetic: a data-dependent branch per term would mispredict.
struct LaneMasks {
  Bits all_set[2][kLanes][kVectors];
  Bits odd_sign[2][kLanes][kVectors];
};

inline const LaneMasks& lane_masks() {
  static const LaneMasks masks = [] {
    LaneMasks m{};
    for (std::size_t s = 0; s < kLanes; ++s)
      for (std::size_t lane = 0; lane < kLanes; ++lane) {
        const std::size_t v = lane / kWidth, l = lane % kWidth;
        m.all_set[0][s][v][l] = (lane & s) == s ? -1 : 0;
        const bool odd = std::popcount(lane & s) & 1;
        m.odd_sign[0][s][v][l] = odd ? kSignBit : 0;
        m.odd_sign[1][s][v][l] = odd ? 0 : kSignBit;
      }
    return m;
  }();
  return masks;
}

inline Bits broadcast(std::int64_t x) { return Bits{} + x; }
// Through the bits: Vec{} + x would turn −0.0 into +0.0.
inline Vec broadcast(double x) { return reinterpret_cast<Vec>(broadcast(std::bit_cast<std::int64_t>(x))); }

// 0/1 form, (w·x_a)·x_b: exactly w where both bits are set. Elsewhere the
// products give ±0.0 for a finite w, which leaves a sum that started at +0.0
// unchanged, and NaN for an infinite or NaN w; `off` is that value.
struct ProductTerm {
  double w;
  double off;
  std::uint64_t high;  // block bits that must be set
  std::uint32_t low;   // lane bits that must be set
};

inline ProductTerm product_term(std::uint64_t a, std::uint64_t b, double w) {
  const std::uint64_t vars = (std::uint64_t{1} << a) | (std::uint64_t{1} << b);
  const bool finite = w - w == 0.0;
  return {w, finite ? 0.0 : std::numeric_limits<double>::quiet_NaN(), vars >> kLaneBits,
          static_cast<std::uint32_t>(vars & (kLanes - 1))};
}

// Spin form: ±w, negative where the parity of idx's bits among `vars` is odd
// (even, with `flip`). Multiplying by a spin of −1.0 only flips the sign bit,
// so this is the exact product (for NaN the sign may differ, and NaN sums are
// discarded anyway).
struct SignTerm {
  double w;
  std::uint64_t high;
  std::uint32_t low;
  std::uint32_t flip;  // 0 or 1
};

// (w·s_a)·s_b: negative where exactly one of the two bits is set; a == b
// gives s_a² = 1.
inline SignTerm spin_coupling_term(std::uint64_t a, std::uint64_t b, double w) {
  const std::uint64_t vars = (std::uint64_t{1} << a) ^ (std::uint64_t{1} << b);
  return {w, vars >> kLaneBits, static_cast<std::uint32_t>(vars & (kLanes - 1)), 0};
}

// w·s_a: negative where bit a is clear.
inline SignTerm spin_field_term(std::uint64_t a, double w) {
  const std::uint64_t vars = std::uint64_t{1} << a;
  return {w, vars >> kLaneBits, static_cast<std::uint32_t>(vars & (kLanes - 1)), 1};
}

[[gnu::always_inline]] inline void add(Energies& e, const ProductTerm& t, std::uint64_t block, const LaneMasks& m) {
  const Bits* on = m.all_set[((block & t.high) ^ t.high) != 0][t.low];
  const Bits w = Bits{} + std::bit_cast<std::int64_t>(t.w), off = Bits{} + std::bit_cast<std::int64_t>(t.off);
  for (std::size_t v = 0; v < kVectors; ++v) e.v[v] += reinterpret_cast<Vec>((w & on[v]) | (off & ~on[v]));
}

[[gnu::always_inline]] inline void add(Energies& e, const SignTerm& t, std::uint64_t block, const LaneMasks& m) {
  const Bits* sign = m.odd_sign[(std::popcount(block & t.high) & 1) ^ t.flip][t.low];
  const Bits w = Bits{} + std::bit_cast<std::int64_t>(t.w);
  for (std::size_t v = 0; v < kVectors; ++v) e.v[v] += reinterpret_cast<Vec>(w ^ sign[v]);
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
