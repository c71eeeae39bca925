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

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>
#include <utility>
#include <vector>

#include "platform/simd.h"

namespace tavik::sim::blocks {

inline constexpr unsigned kLaneBits = 5;
inline constexpr std::size_t kLanes = std::size_t{1} << kLaneBits;

inline constexpr std::int64_t kSignBit = std::numeric_limits<std::int64_t>::min();

// A block's lanes held in registers of W doubles (the SIMD path's width,
// platform/simd.h): kVectors of them, lane l in vector l / W.
template <std::size_t W>
struct Width {
  using Vec = platform::simd::Vector<double, W>;
  using Bits = platform::simd::Vector<std::int64_t, W>;
  static constexpr std::size_t kVectors = kLanes / W;

  [[gnu::always_inline]] static Bits broadcast(std::int64_t x) { return Bits{} + x; }
  // Through the bits: Vec{} + x would turn −0.0 into +0.0.
  [[gnu::always_inline]] static Vec broadcast(double x) {
    return reinterpret_cast<Vec>(broadcast(std::bit_cast<std::int64_t>(x)));
  }
  template <class V, class T>
  [[gnu::always_inline]] static V load(const T* p) {
    V v;
    __builtin_memcpy(&v, p, sizeof v);
    return v;
  }
};

// The running sums of one block; each starts at +0.0 like the sequential sum.
template <std::size_t W>
struct Energies {
  typename Width<W>::Vec v[Width<W>::kVectors] = {};
};

// Per subset S of the five lane variables: the lanes having every bit of S
// set (all_set[0]; all_set[1] is all zero, for blocks where the term's other
// variables are not set), and the sign bit in lanes where the parity of S's
// set bits is odd (odd_sign[0]) or even (odd_sign[1]). Rows are picked by
// index arithmetic: a data-dependent branch per term would mispredict. Each
// row holds the 32 lanes in order, whatever the register width.
struct LaneMasks {
  alignas(64) std::int64_t all_set[2][kLanes][kLanes];
  alignas(64) std::int64_t odd_sign[2][kLanes][kLanes];
};

inline const LaneMasks& lane_masks() {
  static const LaneMasks masks = [] {
    LaneMasks m{};
    for (std::size_t s = 0; s < kLanes; ++s)
      for (std::size_t lane = 0; lane < kLanes; ++lane) {
        m.all_set[0][s][lane] = (lane & s) == s ? -1 : 0;
        const bool odd = std::popcount(lane & s) & 1;
        m.odd_sign[0][s][lane] = odd ? kSignBit : 0;
        m.odd_sign[1][s][lane] = odd ? 0 : kSignBit;
      }
    return m;
  }();
  return masks;
}

// 0/1 form, (w·x_a)·x_b: exactly w where both bits are set. Elsewhere the
// products give ±0.0 for a finite w and NaN for an infinite or NaN w; `off`
// is that value.
//
// Adding ±0.0 changes no sum here, so a finite term is skipped wherever its
// bits are not all set. Sums start at +0.0, and a sum of two doubles is −0.0
// only when both are −0.0: an exact sum that is zero with a nonzero addend
// rounds to +0.0, and a nonzero exact sum never rounds to zero (two doubles'
// sum is exact when that small). So no running sum is ever −0.0, and s + ±0.0
// is s for every other s: +0.0 stays +0.0, ±inf stays, a NaN keeps its bits.
// A non-finite weight's NaN must be added, so such terms are never skipped.
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

template <std::size_t W>
[[gnu::always_inline]] inline void add(Energies<W>& e, const ProductTerm& t, std::uint64_t block, const LaneMasks& m) {
  using R = Width<W>;
  const std::int64_t* on = m.all_set[((block & t.high) ^ t.high) != 0][t.low];
  const auto w = R::broadcast(std::bit_cast<std::int64_t>(t.w)), off = R::broadcast(std::bit_cast<std::int64_t>(t.off));
  for (std::size_t v = 0; v < R::kVectors; ++v) {
    const auto lanes_on = R::template load<typename R::Bits>(on + v * W);
    e.v[v] += reinterpret_cast<typename R::Vec>((w & lanes_on) | (off & ~lanes_on));
  }
}

// A finite, nonzero product term where its block bits are all set: w in the
// lanes having its lane bits, ±0.0 (skipped, see ProductTerm) elsewhere.
// With w nonzero, broadcasting it through +0.0 + w is exact.
struct LiveTerm {
  double w;
  const std::int64_t* on;
};

// Finds the live terms of each block of a range [first, last) of a finite
// QUBO, in list order. Blocks of the range share their bits above the
// highest one in which first and last − 1 differ, so the terms needing one of
// those bits clear are dropped once, with the zero weights; each block then
// keeps the rest of the candidates that are live in it, written
// unconditionally and kept by advancing the end (a branch per term would
// mispredict).
class LiveTerms {
 public:
  LiveTerms(std::span<const ProductTerm> terms, std::uint64_t first, std::uint64_t last, const LaneMasks& m) {
    const std::uint64_t shared = ~((std::uint64_t{1} << std::bit_width(first ^ (last - 1))) - 1);
    candidates_.reserve(terms.size());
    for (const ProductTerm& t : terms)
      if (t.w != 0.0 && (first & t.high & shared) == (t.high & shared))
        candidates_.push_back({{t.w, m.all_set[0][t.low]}, t.high});
    live_.resize(candidates_.size());
  }

  std::span<const LiveTerm> in(std::uint64_t block) {
    std::size_t k = 0;
    for (const Candidate& c : candidates_) {
      live_[k] = c.term;
      k += (block & c.high) == c.high;
    }
    return {live_.data(), k};
  }

 private:
  struct Candidate {
    LiveTerm term;
    std::uint64_t high;
  };
  std::vector<Candidate> candidates_;
  std::vector<LiveTerm> live_;
};

template <std::size_t W>
[[gnu::always_inline]] inline void add(Energies<W>& e, const LiveTerm& t) {
  using R = Width<W>;
  const auto w = reinterpret_cast<typename R::Bits>(typename R::Vec{} + t.w);
  for (std::size_t v = 0; v < R::kVectors; ++v)
    e.v[v] += reinterpret_cast<typename R::Vec>(w & R::template load<typename R::Bits>(t.on + v * W));
}

template <std::size_t W>
[[gnu::always_inline]] inline void add(Energies<W>& e, const SignTerm& t, std::uint64_t block, const LaneMasks& m) {
  using R = Width<W>;
  const std::int64_t* sign = m.odd_sign[(std::popcount(block & t.high) & 1) ^ t.flip][t.low];
  const auto w = R::broadcast(std::bit_cast<std::int64_t>(t.w));
  for (std::size_t v = 0; v < R::kVectors; ++v)
    e.v[v] += reinterpret_cast<typename R::Vec>(w ^ R::template load<typename R::Bits>(sign + v * W));
}

inline std::uint64_t block_count(unsigned n) { return n > kLaneBits ? std::uint64_t{1} << (n - kLaneBits) : 1; }

// Lanes of a block that are real assignments (fewer than 32 when n < 5).
inline std::size_t valid_lanes(unsigned n) { return n >= kLaneBits ? kLanes : std::size_t{1} << n; }

// The energies of one block: every term added, in list order, to each lane.
template <std::size_t W, class Term>
[[gnu::always_inline]] inline Energies<W> block_energies(std::uint64_t block, std::span<const Term> terms,
                                                         const LaneMasks& masks) {
  Energies<W> e;
  for (const Term& t : terms) add(e, t, block, masks);
  return e;
}

// Lowest energy over all assignments, ties to the lowest index, NaN never
// taken: each lane keeps its first strict minimum, then the lanes are merged.
// Kept here between slices of a scan, in registers (ArgMinLanes) during one.
struct ArgMin {
  double best[kLanes];
  std::int64_t block[kLanes];

  ArgMin() {
    std::fill_n(best, kLanes, std::numeric_limits<double>::infinity());
    std::fill_n(block, kLanes, 0);
  }

  // Takes in the lanes of a scan of later blocks: a lane keeps its minimum
  // unless the later one is strictly lower, so merging the scans of
  // consecutive ranges in order gives what one scan over all of them gives.
  void merge_later(const ArgMin& later) {
    for (std::size_t l = 0; l < kLanes; ++l)
      if (later.best[l] < best[l]) {
        best[l] = later.best[l];
        block[l] = later.block[l];
      }
  }

  // (energy, index) of the winner among the first `lanes` lanes. A lane that
  // never improved still holds +inf and takes no part.
  std::pair<double, std::uint64_t> result(std::size_t lanes) const {
    constexpr double inf = std::numeric_limits<double>::infinity();
    double energy = inf;
    std::uint64_t index = 0;
    for (std::size_t l = 0; l < lanes; ++l) {
      const double x = best[l];
      const std::uint64_t i = static_cast<std::uint64_t>(block[l]) * kLanes + l;
      if (x < energy || (x == energy && x != inf && i < index)) {
        energy = x;
        index = i;
      }
    }
    return {energy, index};
  }
};

template <std::size_t W>
struct ArgMinLanes {
  using R = Width<W>;
  typename R::Vec best[R::kVectors];
  typename R::Bits block[R::kVectors];

  [[gnu::always_inline]] explicit ArgMinLanes(const ArgMin& a) {
    for (std::size_t v = 0; v < R::kVectors; ++v) {
      best[v] = R::template load<typename R::Vec>(a.best + v * W);
      block[v] = R::template load<typename R::Bits>(a.block + v * W);
    }
  }

  [[gnu::always_inline]] void store(ArgMin& a) const {
    __builtin_memcpy(a.best, best, sizeof best);
    __builtin_memcpy(a.block, block, sizeof block);
  }

  [[gnu::always_inline]] void update(std::uint64_t b, const Energies<W>& e) {
    const auto here = R::broadcast(static_cast<std::int64_t>(b));
    for (std::size_t v = 0; v < R::kVectors; ++v) {
      const auto better = e.v[v] < best[v];
      best[v] = better ? e.v[v] : best[v];
      block[v] = better ? here : block[v];
    }
  }
};

}  // namespace tavik::sim::blocks
