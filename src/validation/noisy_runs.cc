#include "validation/noisy_runs.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>

#include "common/errors.h"
#include "common/interrupt.h"
#include "common/memory.h"
#include "common/nan_order.h"
#include "common/splitmix64.h"
#include "platform/simd.h"
#include "pool/pool.h"

namespace tavik {
namespace {

// ---- the SplitMix64 stream ----------------------------------------------------
//
// Draw d (1-based) of the stream uses the state seed + d·γ, so the draws of a
// run are independent of one another and are computed eight at a time. The
// draw is u = (z >> 11)·2^−53, and u < p exactly when the 53-bit integer
// z >> 11 is below p·2^53 (a power-of-two scaling, exact), that is below its
// ceiling: one integer comparison per draw, with NaN and p ≤ 0 never
// flipping and p ≥ 1 always flipping as the definition implies.

// Short names for the draw kernels below.
constexpr std::uint64_t kGamma = kSplitMix64Gamma;

std::int64_t flip_threshold(double noise_level) {
  const double scaled = noise_level * 0x1p53;
  if (!(scaled > 0.0)) return 0;
  if (scaled >= 0x1p53) return std::int64_t{1} << 53;
  return static_cast<std::int64_t>(std::ceil(scaled));
}

// Vector helpers here are internal and inlined into each SIMD variant, so GCC's note
// that their calling convention depends on the target does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"
constexpr std::size_t kDrawLanes = 8;
using U64s = std::uint64_t __attribute__((vector_size(8 * kDrawLanes)));
using I64s = std::int64_t __attribute__((vector_size(8 * kDrawLanes)));
using Bytes8 = std::uint8_t __attribute__((vector_size(kDrawLanes)));
using SBytes8 = std::int8_t __attribute__((vector_size(kDrawLanes)));

template <class Words>
[[gnu::always_inline]] inline Words mix(Words z) {
  return splitmix64_mix(z);
}

// Rows [first, last) of `out`: row k is base with its entries flipped by
// draws k·n+1 … k·n+n.
template <class Isa>
[[gnu::always_inline]] inline void draw_runs_lanes(const std::uint8_t* base, std::size_t n, std::size_t first,
                                                   std::size_t last, std::uint64_t seed, std::int64_t threshold,
                                                   std::uint8_t* out) {
  U64s lane_steps;
  for (std::size_t l = 0; l < kDrawLanes; ++l) lane_steps[l] = (l + 1) * kGamma;
  const std::uint64_t row_step = n * kGamma;
  std::uint64_t state = seed + first * row_step;  // before the row's first draw
  for (std::size_t k = first; k < last; ++k, state += row_step) {
    std::uint8_t* row = out + k * n;
    std::size_t v = 0;
    for (; v + kDrawLanes <= n; v += kDrawLanes) {
      const U64s z = mix(state + v * kGamma + lane_steps);
      const I64s flip = reinterpret_cast<I64s>(z >> 11) < threshold;  // −1 where flipped
      const auto mask = reinterpret_cast<Bytes8>(__builtin_convertvector(flip, SBytes8));
      Bytes8 b;
      std::memcpy(&b, base + v, kDrawLanes);
      const Bytes8 flipped = 1 - b;
      const Bytes8 result = (b & ~mask) | (flipped & mask);
      std::memcpy(row + v, &result, kDrawLanes);
    }
    for (; v < n; ++v) {
      const bool flip = static_cast<std::int64_t>(mix(state + (v + 1) * kGamma) >> 11) < threshold;
      row[v] = flip ? static_cast<std::uint8_t>(1 - base[v]) : base[v];
    }
  }
}
TAVIK_SIMD_DISPATCH(draw_runs, draw_runs_lanes)

// ---- energies -----------------------------------------------------------------
//
// Runs are evaluated 32 at a time, one lane each: every lane adds the terms
// in list order to its own sum, so each energy is exactly the sequential sum.
// The group's assignments are first transposed into doubles, variable-major,
// so a term reads its two variables of all 32 runs as two contiguous rows.
// That costs 256 bytes per variable; beyond kMaxColumnVariables the runs are
// summed one at a time from their bytes instead.

constexpr std::size_t kGroup = 32;
constexpr std::size_t kMaxColumnVariables = 8192;  // 2 MiB of columns per thread

// Every lane set to x. (Writing `V{} + x` would add +0.0 and lose the sign
// of a −0.0.)
template <class V>
[[gnu::always_inline]] inline V broadcast(double x) {
  V v;
  for (std::size_t l = 0; l < sizeof(V) / sizeof(double); ++l) v[l] = x;
  return v;
}

// A term added to a running sum. Entries are never NaN, so two NaNs can meet
// only there, and only different NaNs when a weight is NaN (every other NaN
// is an invalid operation's, the same bits): with NaN weights the sum keeps
// its first NaN whichever operand the compiler puts first.
template <bool kNanWeights, class T>
[[gnu::always_inline]] inline T add_term(T sum, T term) {
  if constexpr (kNanWeights)
    return nan_order::add(sum, term);
  else
    return sum + term;
}

// The group's runs in registers of the SIMD path's width.
template <class Isa, bool kNanWeights>
[[gnu::always_inline]] inline void group_energies_with(const double* columns, const QuboView& qubo, double* out) {
  constexpr std::size_t kWidth = Isa::kDoubles, kVectors = kGroup / kWidth;
  using Doubles = platform::simd::Vector<double, kWidth>;
  Doubles e[kVectors];
  for (auto& v : e) v = broadcast<Doubles>(-0.0);
  for (std::size_t t = 0; t < qubo.size(); ++t) {
    const Doubles w = broadcast<Doubles>(qubo.weights[t]);
    const double* a = columns + qubo.rows[t] * kGroup;
    const double* b = columns + qubo.cols[t] * kGroup;
    for (std::size_t q = 0; q < kVectors; ++q) {
      Doubles ai, bj;
      std::memcpy(&ai, a + q * kWidth, sizeof ai);
      std::memcpy(&bj, b + q * kWidth, sizeof bj);
      e[q] = add_term<kNanWeights>(e[q], (w * ai) * bj);
    }
  }
  std::memcpy(out, e, sizeof e);
}

template <class Isa>
[[gnu::always_inline]] inline void group_energies_lanes(const double* columns, const QuboView& qubo, bool nan_weights,
                                                        double* out) {
  if (nan_weights)
    group_energies_with<Isa, true>(columns, qubo, out);
  else
    group_energies_with<Isa, false>(columns, qubo, out);
}
TAVIK_SIMD_DISPATCH(group_energies, group_energies_lanes)

// Runs of 0/1 entries and finite weights, the usual case, skip the
// multiplications: (w·a)·b is w where a = b = 1 and copysign(0, w) otherwise,
// that is w's bits ANDed with all ones where both entries are 1 and with the
// sign bit alone elsewhere. A group's entries are kept one bit per run (bit l
// of word v: entry v of the group's run l), so a term ANDs two words and
// looks its lanes' masks up in a table that stays in the L1 cache with the
// words (columns of doubles, 256 bytes per variable, would not).
constexpr std::int64_t kZeroMask = std::numeric_limits<std::int64_t>::min();

// Row r: the masks of eight lanes whose bits are those of r. A byte of lanes
// per lookup: the index costs a shift and a mask, as much as the AND it feeds.
alignas(64) constexpr auto kByteMasks = [] {
  std::array<std::array<std::int64_t, 8>, 256> rows{};
  for (std::size_t r = 0; r < rows.size(); ++r)
    for (std::size_t l = 0; l < 8; ++l) rows[r][l] = (r >> l) & 1 ? -1 : kZeroMask;
  return rows;
}();

template <class Isa>
[[gnu::always_inline]] inline void group_masked_energies_lanes(const std::uint32_t* words, const QuboView& qubo,
                                                               double* out) {
  constexpr std::size_t kWidth = Isa::kDoubles, kVectors = kGroup / kWidth, kPerByte = 8 / kWidth;
  using Doubles = platform::simd::Vector<double, kWidth>;
  using Bits = platform::simd::Vector<std::int64_t, kWidth>;
  Doubles e[kVectors];
  for (auto& v : e) v = broadcast<Doubles>(-0.0);
  for (std::size_t t = 0; t < qubo.size(); ++t) {
    const Bits w = reinterpret_cast<Bits>(broadcast<Doubles>(qubo.weights[t]));
    const std::uint32_t both = words[qubo.rows[t]] & words[qubo.cols[t]];
    for (std::size_t q = 0; q < kVectors; ++q) {
      Bits mask;
      std::memcpy(&mask, &kByteMasks[(both >> (q / kPerByte * 8)) & 0xFF][q % kPerByte * kWidth], sizeof mask);
      e[q] += reinterpret_cast<Doubles>(w & mask);
    }
  }
  std::memcpy(out, e, sizeof e);
}
TAVIK_SIMD_DISPATCH(group_masked_energies, group_masked_energies_lanes)

// The words of runs first … first + lanes − 1 (lanes ≤ 32, entries 0 or 1);
// bits past the last run stay 0. Eight variables at a time: a 0/1 byte
// shifted left by l < 8 stays in its byte, so one 64-bit OR gathers bit l of
// eight variables.
void pack_runs(const std::uint8_t* runs, std::size_t n, std::size_t lanes, std::uint32_t* words) {
  std::size_t v = 0;
  for (; v + 8 <= n; v += 8) {
    std::uint64_t octets[kGroup / 8] = {};
    for (std::size_t l = 0; l < lanes; ++l) {
      std::uint64_t x;
      std::memcpy(&x, runs + l * n + v, sizeof x);
      octets[l / 8] |= x << (l % 8);
    }
    for (std::size_t k = 0; k < 8; ++k) {
      std::uint32_t word = 0;
      for (std::size_t j = 0; j < kGroup / 8; ++j)
        word |= static_cast<std::uint32_t>((octets[j] >> (8 * k)) & 0xFF) << (8 * j);
      words[v + k] = word;
    }
  }
  for (; v < n; ++v) {
    std::uint32_t word = 0;
    for (std::size_t l = 0; l < lanes; ++l) word |= static_cast<std::uint32_t>(runs[l * n + v]) << l;
    words[v] = word;
  }
}

template <bool kNanWeights>
double run_energy(const std::uint8_t* bits, const QuboView& qubo) {
  double e = -0.0;
  for (std::size_t t = 0; t < qubo.size(); ++t)
    e = add_term<kNanWeights>(e, (qubo.weights[t] * static_cast<double>(bits[qubo.rows[t]])) *
                                     static_cast<double>(bits[qubo.cols[t]]));
  return e;
}

// `zero_one`: every entry is 0 or 1 and every weight finite.
void evaluate_energies(const std::uint8_t* bits, std::size_t runs, std::size_t n, const QuboView& qubo,
                       bool zero_one, double* out) {
  const bool nan_weights = std::any_of(qubo.weights.begin(), qubo.weights.end(), [](double w) { return w != w; });
  if (n > kMaxColumnVariables) {
    pool::parallel_for(runs, 1, [&](std::size_t begin, std::size_t end) {
      BatchedPoll poll;
      for (std::size_t k = begin; k < end; ++k) {
        poll.step(qubo.size());
        out[k] = nan_weights ? run_energy<true>(bits + k * n, qubo) : run_energy<false>(bits + k * n, qubo);
      }
    });
    return;
  }
  const std::size_t groups = (runs + kGroup - 1) / kGroup;
  pool::parallel_for(groups, 1, [&](std::size_t begin, std::size_t end) {
    std::vector<double> columns(zero_one ? 0 : n * kGroup);  // lanes past the last run stay 0
    std::vector<std::uint32_t> words(zero_one ? n : 0);
    double lane_energy[kGroup];
    BatchedPoll poll;
    for (std::size_t g = begin; g < end; ++g) {
      poll.step(n + qubo.size());
      const std::size_t first = g * kGroup, lanes = std::min(kGroup, runs - first);
      if (zero_one) {
        pack_runs(bits + first * n, n, lanes, words.data());
        group_masked_energies(words.data(), qubo, lane_energy);
      } else {
        for (std::size_t l = 0; l < lanes; ++l) {
          const std::uint8_t* row = bits + (first + l) * n;
          for (std::size_t v = 0; v < n; ++v) columns[v * kGroup + l] = row[v];
        }
        group_energies(columns.data(), qubo, nan_weights, lane_energy);
      }
      std::memcpy(out + first, lane_energy, lanes * sizeof(double));
    }
  });
}

}  // namespace

void simulate_qubo_runs(QuboView qubo, std::span<const std::uint8_t> base_bits,
                        double noise_level, std::uint64_t seed, std::span<std::uint8_t> bits,
                        std::span<double> energies, pool::Threads draws) {
  const std::size_t n = base_bits.size(), n_runs = energies.size();
  if (n_runs == 0) return;

  // Energies would fail at the first bad term in list order whichever run
  // meets it first, so that term is found here, before any work.
  for (std::size_t t = 0; t < qubo.size(); ++t) {
    check_input_index(qubo.rows[t], n, {"qubo", "rows", "len(base_bits)"}, t);
    check_input_index(qubo.cols[t], n, {"qubo", "cols", "len(base_bits)"}, t);
  }

  // Every draw is a function of its position in the stream, so runs may be
  // drawn in any order by any thread. Some thousand draws between polls,
  // which stay outside draw_runs (interrupt.h).
  const std::size_t rows = std::max<std::size_t>(1, 4096 / (n + 1));
  const std::int64_t threshold = flip_threshold(noise_level);
  pool::parallel_for(draws, (n_runs + rows - 1) / rows, 1, [&](std::size_t begin, std::size_t end) {
    for (std::size_t batch = begin; batch < end; ++batch) {
      poll_interrupt(rows * (n + 1));
      const std::size_t first = batch * rows;
      draw_runs(base_bits.data(), n, first, std::min<std::size_t>(n_runs, first + rows), seed, threshold,
                bits.data());
    }
  });
  if (qubo.empty()) {
    std::fill(energies.begin(), energies.end(), -0.0);
    return;
  }
  // Flips turn 0/1 entries into 0/1 entries, so the base decides.
  const bool zero_one =
      std::all_of(base_bits.begin(), base_bits.end(), [](std::uint8_t b) { return b <= 1; }) &&
      std::all_of(qubo.weights.begin(), qubo.weights.end(), [](double w) { return w - w == 0.0; });
  evaluate_energies(bits.data(), n_runs, n, qubo, zero_one, energies.data());
}

void require_runs_memory(std::size_t n, std::uint64_t n_runs, RunsCost cost) {
  // Per entry its byte, per run its energy, and what the caller makes of
  // them; the energies' work space is a few rows per thread.
  require_memory(n_runs, n * (1 + cost.per_entry) + (sizeof(double) + cost.per_run), 1);
}

NoisyRuns simulate_qubo_runs(QuboView qubo, const std::vector<std::uint8_t>& base_bits,
                             std::uint64_t n_runs, double noise_level, std::uint64_t seed, RunsCost cost) {
  const std::size_t n = base_bits.size();
  require_runs_memory(n, n_runs, cost);
  NoisyRuns out{{std::vector<std::uint8_t>(n_runs * n), n_runs, n}, std::vector<double>(n_runs)};
  simulate_qubo_runs(qubo, base_bits, noise_level, seed, out.assignments.bits, out.energies, pool::Threads::caller);
  return out;
}

}  // namespace tavik
