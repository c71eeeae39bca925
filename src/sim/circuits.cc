#include "sim/circuits.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <functional>
#include <limits>
#include <vector>

#include "common/big_buffer.h"
#include "common/errors.h"
#include "common/interrupt.h"
#include "common/memory.h"
#include "common/progress_counter.h"
#include "platform/huge_pages.h"
#include "platform/simd.h"
#include "sim/amplitude_lanes.h"

namespace tavik::sim {
namespace {

// Blocks of a range of 2^m indices: at least 2^14 indices each (a job worth
// handing to a thread), at most 1024 of them (the partial results they keep).
unsigned block_bits(unsigned m) { return std::max(std::min(m, 14u), m > 10 ? m - 10 : 0u); }

inline double probability(const Amplitude& a) { return a.re * a.re + a.im * a.im; }

unsigned qubits_of(std::size_t size) { return static_cast<unsigned>(std::countr_zero(size)); }

// Marginals over k of n qubits keep a partial result per block; blocks of
// at least 2^4 outcomes' worth of amplitudes keep that within 1/32 of the
// state, and there are at most 64.
unsigned marginal_block_bits(unsigned n, unsigned k) { return static_cast<unsigned>(std::clamp<int>(static_cast<int>(n) - static_cast<int>(k) - 4, 0, 6)); }

}  // namespace

void probabilities(std::span<const Amplitude> state, std::span<double> out, pool::Threads threads) {
  pool::parallel_blocks(threads, state.size(), std::size_t{1} << 14, [&](std::size_t begin, std::size_t end) {
    for (std::size_t j = begin; j < end; ++j) out[j] = probability(state[j]);
  });
}

std::size_t marginal_work_bytes(unsigned n, unsigned k) {
  const unsigned b = marginal_block_bits(n, k);
  return b == 0 ? 0 : (std::size_t{8} << (b + k));
}

void marginal(std::span<const Amplitude> state, std::span<const std::uint64_t> qubits, std::span<double> out,
              pool::Threads threads) {
  const unsigned n = qubits_of(state.size()), k = static_cast<unsigned>(qubits.size());
  // The outcome of index j, a byte of j at a time.
  std::array<std::array<std::uint64_t, 256>, 8> spread{};
  for (unsigned c = 0; c < k; ++c) {
    const unsigned q = static_cast<unsigned>(qubits[c]);
    for (unsigned v = 0; v < 256; ++v)
      if (v >> (q % 8) & 1) spread[q / 8][v] |= std::uint64_t{1} << c;
  }
  const unsigned block_bits = marginal_block_bits(n, k);
  const std::size_t blocks = std::size_t{1} << block_bits, outcomes = out.size();
  const std::size_t per_block = state.size() >> block_bits;
  require_memory(blocks > 1 ? blocks : 0, outcomes, sizeof(double));
  std::vector<double> partial(blocks > 1 ? blocks * outcomes : 0, 0.0);
  std::fill(out.begin(), out.end(), 0.0);
  pool::parallel_for(threads, blocks, 1, [&](std::size_t begin, std::size_t end) {
    for (std::size_t b = begin; b < end; ++b) {
      double* sums = blocks > 1 ? partial.data() + b * outcomes : out.data();
      BatchedPoll poll;
      for (std::size_t j = b * per_block; j < (b + 1) * per_block; ++j) {
        std::uint64_t s = 0;
        for (unsigned byte = 0; byte * 8 < n; ++byte) s |= spread[byte][(j >> (8 * byte)) & 0xff];
        sums[s] += probability(state[j]);
        poll.step();
      }
    }
  });
  if (blocks > 1)
    for (std::size_t b = 0; b < blocks; ++b)
      for (std::size_t s = 0; s < outcomes; ++s) out[s] += partial[b * outcomes + s];
}

std::vector<double> sample_prefix(std::span<const Amplitude> state, pool::Threads threads) {
  const unsigned bits = block_bits(qubits_of(state.size()));
  const std::size_t len = std::size_t{1} << bits, blocks = state.size() >> bits;
  std::vector<double> prefix(blocks + 1, 0.0);
  pool::parallel_blocks(threads, state.size(), len, [&](std::size_t begin, std::size_t end) {
    double sum = 0.0;
    for (std::size_t j = begin; j < end; ++j) sum += probability(state[j]);
    prefix[begin / len + 1] = sum;
  });
  for (std::size_t b = 0; b < blocks; ++b) prefix[b + 1] += prefix[b];
  const double total = prefix[blocks];
  if (!(total > 0.0) || !std::isfinite(total))
    throw ValueError("state: its probabilities sum to " + std::to_string(total) + ", nothing to sample");
  return prefix;
}

void sample_indices(std::span<const Amplitude> state, std::span<const double> prefix, std::span<const double> uniforms,
                    std::span<std::uint64_t> out, pool::Threads threads) {
  const unsigned bits = block_bits(qubits_of(state.size()));
  const std::size_t len = std::size_t{1} << bits, blocks = state.size() >> bits;
  if (prefix.size() != blocks + 1) throw ValueError("prefix: not sample_prefix's for this state");
  const double total = prefix[blocks];
  // Block b takes the draws with prefix[b] <= u·total < prefix[b + 1]: those
  // from first[b] to first[b + 1]. Draws that rounding puts at the total or
  // past a block's running sum go to the last index with any probability
  // (of the state, or of the block).
  std::vector<std::size_t> first(blocks + 1, 0);
  for (std::size_t b = 1, i = 0; b <= blocks; ++b) {
    while (i < uniforms.size() && uniforms[i] * total < prefix[b]) ++i;
    first[b] = i;
  }
  auto last_with_probability = [&](std::size_t from, std::size_t to) {  // some index in [from, to) has some
    while (to-- > from)
      if (probability(state[to]) > 0.0) return to;
    return from;
  };
  pool::parallel_for(threads, blocks, 1, [&](std::size_t begin, std::size_t end) {
    for (std::size_t b = begin; b < end; ++b) {
      std::size_t i = first[b];
      if (i == first[b + 1]) continue;
      poll_interrupt(len);
      double sum = 0.0;
      for (std::size_t j = b * len; j < (b + 1) * len && i < first[b + 1]; ++j) {
        sum += probability(state[j]);
        while (i < first[b + 1] && uniforms[i] * total - prefix[b] < sum) out[i++] = j;
      }
      if (i < first[b + 1]) {
        const std::size_t last = last_with_probability(b * len, (b + 1) * len);
        while (i < first[b + 1]) out[i++] = last;
      }
    }
  });
  if (first[blocks] < uniforms.size()) {
    const std::size_t last = last_with_probability(0, state.size());
    for (std::size_t i = first[blocks]; i < uniforms.size(); ++i) out[i] = last;
  }
}

namespace {

// In place, over a chunk's values: the butterflies of the transform.
template <std::size_t N>
void walsh_hadamard(std::array<double, N>& w) {
  for (std::size_t h = 1; h < N; h <<= 1)
    for (std::size_t i = 0; i < N; i += 2 * h)
      for (std::size_t j = i; j < i + h; ++j) {
        const double a = w[j], b = w[j + h];
        w[j] = a + b;
        w[j + h] = a - b;
      }
}

// ---- Pauli terms of their own X/Y mask: many masks a pass -------------------
//
// A term with X/Y mask x couples amplitude j with j ^ x. In chunks of 2^L
// amplitudes, x's bits from L up (its chunk mask h) pair chunk c with chunk
// c ^ h. The chunks whose numbers form one coset of a subspace V of chunk
// numbers (over GF(2)) are closed under every h in V: such a tile is read
// from memory once and then serves every term whose chunk mask lies in V
// from the cache. Each round takes a subspace up to a tile's size (see
// densest_span) and every pending term inside it: one pass over the state a
// round, instead of one a term.

// Amplitudes a chunk and a tile (at most) hold: a chunk (16 KiB) stays in
// the nearest cache while a batch of terms reads their partners, and a tile
// (8 MiB) in the last-level cache for the round.
constexpr unsigned kPauliChunkBits = 10;
constexpr unsigned kPauliTileBits = 19;

// Subspace of chunk numbers in echelon form: each basis vector's highest bit
// (its pivot) is set in no other.
struct Subspace {
  std::vector<std::uint64_t> basis;

  // v with every pivot cleared by its basis vector: one value for all of
  // v's coset, 0 inside the span.
  std::uint64_t reduce(std::uint64_t v) const {
    for (const std::uint64_t b : basis)
      if (v >> (std::bit_width(b) - 1) & 1) v ^= b;
    return v;
  }
  // Adds v's part outside the span (nonzero), keeping the pivots unique.
  void add(std::uint64_t r) {
    const std::uint64_t pivot = std::uint64_t{1} << (std::bit_width(r) - 1);
    for (std::uint64_t& b : basis)
      if (b & pivot) b ^= r;
    basis.push_back(r);
    std::sort(basis.begin(), basis.end(), std::greater<>());
  }
  std::uint64_t pivots() const {
    std::uint64_t p = 0;
    for (const std::uint64_t b : basis) p |= std::uint64_t{1} << (std::bit_width(b) - 1);
    return p;
  }
};

// A round's subspace, grown a dimension at a time by the coset of the span
// so far that holds the most pending chunk masks (the lowest on a tie), up
// to `dims` dimensions or until it holds them all. Random masks cluster in
// some cosets more than others: this takes about half the rounds of spanning
// the first pending masks.
Subspace densest_span(const std::vector<std::size_t>& terms, std::span<const std::uint64_t> x_of,
                      unsigned chunk_bits, unsigned dims) {
  Subspace v;
  std::vector<std::uint64_t> cosets;  // each pending mask outside the span, reduced: its coset's name
  while (v.basis.size() < dims) {
    cosets.clear();
    for (const std::size_t t : terms)
      if (const std::uint64_t r = v.reduce(x_of[t] >> chunk_bits)) cosets.push_back(r);
    if (cosets.empty()) break;
    std::sort(cosets.begin(), cosets.end());
    std::uint64_t densest = 0;
    std::ptrdiff_t most = 0;
    for (auto i = cosets.begin(); i != cosets.end();) {
      const auto j = std::upper_bound(i, cosets.end(), *i);
      if (j - i > most) most = j - i, densest = *i;
      i = j;
    }
    v.add(densest);
  }
  return v;
}

using namespace lanes;

// Four partners from their block: amplitude k of a's vector pairs with
// amplitude k ^ kPerm of b's, and an odd sum takes each one's parts swapped.
template <bool kOdd, unsigned kPerm>
[[gnu::always_inline]] inline V8 partner_block(const Amplitude* block) {
  const V8 p = load<V8>(block);
  constexpr unsigned q0 = 0 ^ kPerm, q1 = 1 ^ kPerm, q2 = 2 ^ kPerm, q3 = 3 ^ kPerm;
  const V8 q =
      __builtin_shufflevector(p, p, 2 * q0, 2 * q0 + 1, 2 * q1, 2 * q1 + 1, 2 * q2, 2 * q2 + 1, 2 * q3, 2 * q3 + 1);
  return kOdd ? swap_parts(q) : q;
}

// Σ_e (−1)^popcount(e & zl) · f(conj(b[e ^ xl]) · a[e]) over the chunk's e,
// f the real part (even) or the imaginary part (odd). Four amplitudes a
// vector: conj(p)·a has real part pr·ar + pi·ai (the lanes of p⊙a) and
// imaginary part pr·ai − pi·ar (of swap(p)⊙a, the first lane negated), so
// the signs of e's low four bits go into p as sign bits, and those of its
// higher bits onto each run of 16 amplitudes' sums.
template <bool kOdd, unsigned kPerm>
[[gnu::always_inline]] inline double chunk_pairs_of(const Amplitude* a, const Amplitude* b, std::size_t len,
                                                    std::uint64_t xl, std::uint64_t zl) {
  constexpr std::size_t kRun = 16, kVec = 4;
  constexpr std::uint64_t lane = kOdd ? kSign : 0;
  U8 low[kRun / kVec];
  for (std::size_t v = 0; v < kRun / kVec; ++v)
    for (std::size_t k = 0; k < kVec; ++k) {
      const std::uint64_t s = std::popcount((kVec * v + k) & zl) & 1 ? kSign : 0;
      low[v][2 * k] = s ^ lane;
      low[v][2 * k + 1] = s;
    }
  // (e0 + 4v) ^ xl = (e0 ^ xl's bits from 4 up) + (4v ^ xl's bits 2 and 3).
  const std::size_t high_x = xl & ~std::size_t{kRun - 1};
  const std::size_t at[kRun / kVec] = {xl & 12, (4 ^ xl) & 12, (8 ^ xl) & 12, (12 ^ xl) & 12};
  V8 acc0{}, acc1{};
  for (std::size_t e0 = 0; e0 < len; e0 += kRun) {
    const Amplitude* const p = b + (e0 ^ high_x);
    const V8 run0 = flip_signs(partner_block<kOdd, kPerm>(p + at[0]), low[0]) * load<V8>(a + e0) +
                    flip_signs(partner_block<kOdd, kPerm>(p + at[2]), low[2]) * load<V8>(a + e0 + 8);
    const V8 run1 = flip_signs(partner_block<kOdd, kPerm>(p + at[1]), low[1]) * load<V8>(a + e0 + 4) +
                    flip_signs(partner_block<kOdd, kPerm>(p + at[3]), low[3]) * load<V8>(a + e0 + 12);
    const std::uint64_t high = std::popcount(e0 & zl) & 1 ? kSign : 0;
    const U8 flip{high, high, high, high, high, high, high, high};
    acc0 += flip_signs(run0, flip);
    acc1 += flip_signs(run1, flip);
  }
  const V8 sum = acc0 + acc1;
  // Which of two NaNs an addition passes on depends on how each path's
  // compiler ordered its operands: one NaN for all keeps every path's bits.
  const double total = ((sum[0] + sum[1]) + (sum[2] + sum[3])) + ((sum[4] + sum[5]) + (sum[6] + sum[7]));
  return std::isnan(total) ? std::numeric_limits<double>::quiet_NaN() : total;
}

template <bool kOdd>
[[gnu::always_inline]] inline double chunk_pairs_permuted(const Amplitude* a, const Amplitude* b, std::size_t len,
                                                          std::uint64_t xl, std::uint64_t zl) {
  switch (xl & 3) {
    case 0: return chunk_pairs_of<kOdd, 0>(a, b, len, xl, zl);
    case 1: return chunk_pairs_of<kOdd, 1>(a, b, len, xl, zl);
    case 2: return chunk_pairs_of<kOdd, 2>(a, b, len, xl, zl);
    default: return chunk_pairs_of<kOdd, 3>(a, b, len, xl, zl);
  }
}

template <class Isa>
[[gnu::always_inline]] inline double chunk_pairs_lanes(const Amplitude* a, const Amplitude* b, std::size_t len,
                                                       std::uint64_t xl, std::uint64_t zl, bool odd) {
  return odd ? chunk_pairs_permuted<true>(a, b, len, xl, zl) : chunk_pairs_permuted<false>(a, b, len, xl, zl);
}
TAVIK_SIMD_DISPATCH(chunk_pairs, chunk_pairs_lanes)

// ⟨P⟩ from Σ over the pairs (j, j ^ x), x's highest bit clear in j, of
// (−1)^popcount(j & z) · f(conj(ψ[j^x])·ψ[j]), f the real part for an even Y
// count and the imaginary part for an odd one: each pair stands for both of
// its conjugate products (twice), and i^y with y = 0, 1, 2, 3 (mod 4) takes
// re, −im, −re, +im. Without X or Y the sum is over all j, once.
double pauli_value(std::uint64_t x, std::uint64_t z, double pair_sum) {
  const unsigned y = static_cast<unsigned>(std::popcount(x & z)) & 3;
  return (x ? 2.0 : 1.0) * (y == 1 || y == 2 ? -pair_sum : pair_sum);
}

// NumPy aligns arrays to 16 bytes, and then three in four of the tiles'
// 64-byte loads straddle two cache lines: random terms take about a third
// more time. Many terms pay for a copy on a huge page boundary, where one
// fits; `copy` holds it.
std::span<const Amplitude> line_aligned(std::span<const Amplitude> state, std::size_t terms,
                                        BigBuffer<Amplitude>& copy, pool::Threads threads) {
  constexpr std::size_t kTermsWorthACopy = 64;
  if (reinterpret_cast<std::uintptr_t>(state.data()) % 64 == 0 || terms < kTermsWorthACopy ||
      state.size_bytes() < platform::kHugePage || !fits_in_memory(state.size(), 1, sizeof(Amplitude)))
    return state;
  copy = big_buffer<Amplitude>(state.size());
  pool::parallel_blocks(threads, state.size(), std::size_t{1} << 16, [&](std::size_t begin, std::size_t end) {
    std::copy(state.begin() + begin, state.begin() + end, copy.get() + begin);
  });
  return {copy.get(), state.size()};
}

// The terms `terms` (indices into z_masks and out, x_of[t] each one's mask)
// in rounds of one pass each; out[t] gets Σ over the pairs (j, j ^ x) with
// x's highest bit clear in j of (−1)^popcount(j & z) · f(conj(ψ[j^x])·ψ[j]),
// which pauli_expectations scales. Tiles are fixed by the state's size and
// the round, and each term's tile sums are added in tile order: the same
// bits on any number of threads.
void tiled_pair_sums(std::span<const Amplitude> state, std::vector<std::size_t> terms,
                     std::span<const std::uint64_t> x_of, std::span<const std::uint64_t> z_masks,
                     std::span<double> out, pool::Threads threads, std::uint64_t* progress) {
  BigBuffer<Amplitude> copy;
  state = line_aligned(state, terms.size(), copy, threads);
  const unsigned n = qubits_of(state.size());
  const unsigned chunk_bits = std::min(n, kPauliChunkBits), high_bits = n - chunk_bits;
  const unsigned tile_dims = std::min(high_bits, kPauliTileBits - kPauliChunkBits);
  const std::size_t len = std::size_t{1} << chunk_bits;
  const std::uint64_t low_mask = len - 1;
  std::vector<double> partial;
  while (!terms.empty()) {
    const Subspace v = densest_span(terms, x_of, chunk_bits, tile_dims);
    std::vector<std::size_t> round, later;
    for (const std::size_t t : terms) (v.reduce(x_of[t] >> chunk_bits) ? later : round).push_back(t);
    terms = std::move(later);

    // Tile k: the coset whose representative has zeros at the pivots and
    // k's bits spread over the other positions; member m: that
    // representative ^ the basis vectors of m's bits.
    const unsigned dims = static_cast<unsigned>(v.basis.size());
    const std::uint64_t pivots = v.pivots();
    std::vector<unsigned> free_bits;
    for (unsigned q = 0; q < high_bits; ++q)
      if (!(pivots >> q & 1)) free_bits.push_back(q);
    const std::size_t tiles = std::size_t{1} << free_bits.size(), members = std::size_t{1} << dims;
    require_memory(tiles, round.size(), sizeof(double));
    partial.assign(tiles * round.size(), 0.0);
    // A job: a batch of the round's terms over one tile, chunk by chunk, so
    // that each chunk is read from memory into the nearest cache once for
    // the batch and only its partners come from further out.
    constexpr std::size_t kBatch = 16;
    const std::size_t batches = (round.size() + kBatch - 1) / kBatch;
    pool::parallel_for(threads, tiles * batches, 1, [&](std::size_t begin, std::size_t end) {
      for (std::size_t job = begin; job < end; ++job) {
        const std::size_t k = job / batches, first = job % batches * kBatch;
        const std::size_t count = std::min(kBatch, round.size() - first);
        poll_interrupt(count * (len << dims));
        std::uint64_t rep = 0;
        for (std::size_t q = 0; q < free_bits.size(); ++q)
          if (k >> q & 1) rep |= std::uint64_t{1} << free_bits[q];
        double sums[kBatch] = {};
        for (std::size_t m = 0; m < members; ++m) {
          std::uint64_t c = rep;
          for (unsigned d = 0; d < dims; ++d)
            if (m >> d & 1) c ^= v.basis[d];
          for (std::size_t i = 0; i < count; ++i) {
            const std::uint64_t x = x_of[round[first + i]], z = z_masks[round[first + i]];
            const std::uint64_t h = x >> chunk_bits;
            if (h && (c >> (std::bit_width(h) - 1) & 1)) continue;  // the pair's other chunk leads it
            const double w = chunk_pairs(state.data() + (c << chunk_bits), state.data() + ((c ^ h) << chunk_bits),
                                         len, x & low_mask, z & low_mask, std::popcount(x & z) & 1);
            sums[i] += std::popcount((c << chunk_bits) & z) & 1 ? -w : w;
          }
        }
        // Within a chunk every pair was visited from both ends, each giving
        // the same value: halved, exactly.
        for (std::size_t i = 0; i < count; ++i) {
          const std::uint64_t x = x_of[round[first + i]];
          partial[k * round.size() + first + i] = x >> chunk_bits || !x ? sums[i] : 0.5 * sums[i];
        }
      }
    });
    for (std::size_t i = 0; i < round.size(); ++i) {
      double sum = 0.0;
      for (std::size_t k = 0; k < tiles; ++k) sum += partial[k * round.size() + i];
      out[round[i]] = sum;
    }
    add_progress(progress, round.size());
  }
}

}  // namespace

void pauli_expectations(std::span<const Amplitude> state, std::span<const std::uint64_t> x_masks,
                        std::span<const std::uint64_t> ends, std::span<const std::uint64_t> z_masks,
                        std::span<double> out, pool::Threads threads, std::uint64_t* progress) {
  constexpr std::size_t kTermsPerPass = 512;
  constexpr unsigned kChunkBits = 8;
  // Past this many terms a chunk's transform costs less than its terms' sums.
  constexpr std::size_t kTransformTerms = 16;
  const unsigned n = qubits_of(state.size());
  std::vector<double> partial;

  // Masks of few terms share passes (tiled_pair_sums); a state of fewer
  // than 16 amplitudes is less than one of its runs.
  const auto shares_passes = [&](std::size_t g, std::size_t t0) { return ends[g] - t0 < kTransformTerms && n >= 4; };
  std::vector<std::uint64_t> x_of(z_masks.size());
  std::vector<std::size_t> few;
  for (std::size_t g = 0, t0 = 0; g < x_masks.size(); t0 = ends[g++])
    for (std::size_t t = t0; t < ends[g]; ++t) {
      x_of[t] = x_masks[g];
      if (shares_passes(g, t0)) few.push_back(t);
    }
  tiled_pair_sums(state, few, x_of, z_masks, out, threads, progress);
  for (const std::size_t t : few) out[t] = pauli_value(x_of[t], z_masks[t], out[t]);

  std::size_t begin_term = 0;
  for (std::size_t g = 0; g < x_masks.size(); begin_term = ends[g++]) {
    if (shares_passes(g, begin_term)) continue;
    const std::uint64_t x = x_masks[g];
    // Without X or Y the terms weigh probabilities; otherwise the pairs (j,
    // j ^ x) with x's highest bit clear in j, each standing for both of its
    // amplitudes' products, which are conjugate: conj(ψ[j^x])·ψ[j] holds the
    // pair's real part (terms with an even Y count) and half of its
    // imaginary part with its sign (odd counts), so the sum is twice that
    // over the pairs. With the highest bit as the pivot, the j of a pair
    // run in long contiguous stretches, and so do their partners.
    const unsigned pivot = x ? static_cast<unsigned>(std::bit_width(x)) - 1 : 0;
    const unsigned m = x ? n - 1 : n;
    const unsigned bits = std::max(block_bits(m), std::min(m, kChunkBits));
    const std::size_t len = std::size_t{1} << bits, blocks = std::size_t{1} << (m - bits);
    const std::size_t below = (std::size_t{1} << pivot) - 1;
    const std::size_t chunk = std::min(len, std::size_t{1} << kChunkBits);
    for (std::size_t t0 = begin_term; t0 < ends[g]; t0 += kTermsPerPass) {
      const std::size_t terms = std::min(kTermsPerPass, ends[g] - t0);
      const std::uint64_t* z = z_masks.data() + t0;
      require_memory(blocks + 256, terms, sizeof(double));
      partial.assign(blocks * terms, 0.0);
      // Each term's signs (−1)^popcount(j & z) for the low bits of j, as sign bits.
      std::vector<std::uint64_t> low_signs(terms << kChunkBits);
      std::vector<unsigned char> odd(terms);
      const bool transform = terms >= kTransformTerms;
      bool any_even = false, any_odd = false;
      for (std::size_t t = 0; t < terms; ++t) {
        odd[t] = std::popcount(x & z[t]) & 1;
        (odd[t] ? any_odd : any_even) = true;
        for (std::size_t v = 0; v < (std::size_t{1} << kChunkBits); ++v)
          low_signs[(t << kChunkBits) + v] = std::popcount(v & z[t]) & 1 ? kSign : 0;
      }
      pool::parallel_for(threads, blocks, 1, [&](std::size_t b0, std::size_t b1) {
        std::array<double, std::size_t{1} << kChunkBits> re{}, im{};
        std::array<std::size_t, std::size_t{1} << kChunkBits> index{};
        for (std::size_t b = b0; b < b1; ++b) {
          poll_interrupt(len * terms);
          double* sums = partial.data() + b * terms;
          for (std::size_t h0 = b * len; h0 < (b + 1) * len; h0 += chunk) {
            // The partners of consecutive chunks lie in pages visited out of
            // order (x flips bits above the chunk), which the hardware does
            // not foresee: ask for the next chunk's partners a chunk ahead.
            if (x && h0 + chunk < (b + 1) * len) {
              const std::size_t h1 = h0 + chunk;
              const std::size_t j1 = ((h1 & ~below) << 1) | (h1 & below);
              for (std::size_t e = 0; e < chunk; e += 4) __builtin_prefetch(&state[(j1 + e) ^ x]);
            }
            for (std::size_t e = 0; e < chunk; ++e) {
              const std::size_t h = h0 + e;
              const std::size_t j = x ? ((h & ~below) << 1) | (h & below) : h;
              index[e] = j;
              if (x) {
                const Amplitude a = state[j], p = state[j ^ x];
                re[e] = p.re * a.re + p.im * a.im;
                im[e] = p.re * a.im - p.im * a.re;
              } else {
                re[e] = probability(state[j]);
              }
            }
            // The chunk's j share their bits from kChunkBits up unless the
            // pivot lies below that.
            const bool one_high = (pivot >= kChunkBits || !x) && chunk % 4 == 0;
            if (one_high && transform && chunk == (std::size_t{1} << kChunkBits)) {
              // Many terms: the chunk's sums for every sign pattern of its
              // low bits at once (a Walsh–Hadamard transform, W[s] = Σ_e
              // (−1)^popcount(e & s) v[e]), each term then one entry.
              if (any_even) walsh_hadamard(re);
              if (any_odd) walsh_hadamard(im);
              for (std::size_t t = 0; t < terms; ++t) {
                const std::uint64_t high_z = z[t] & ~((std::uint64_t{1} << kChunkBits) - 1);
                const double w = (odd[t] ? im : re)[z[t] & ((std::uint64_t{1} << kChunkBits) - 1)];
                sums[t] += std::popcount(index[0] & high_z) & 1 ? -w : w;
              }
              continue;
            }
            for (std::size_t t = 0; t < terms; ++t) {
              const double* v = odd[t] ? im.data() : re.data();
              const std::uint64_t* sign = low_signs.data() + (t << kChunkBits);
              const std::uint64_t high_z = z[t] & ~((std::uint64_t{1} << kChunkBits) - 1);
              double acc[4] = {0.0, 0.0, 0.0, 0.0};
              if (one_high) {
                const std::uint64_t high = std::popcount(index[0] & high_z) & 1 ? kSign : 0;
                // Contiguous j from a multiple of the chunk: e is j's low bits.
                for (std::size_t e = 0; e < chunk; e += 4)
                  for (std::size_t l = 0; l < 4; ++l)
                    acc[l] += std::bit_cast<double>(std::bit_cast<std::uint64_t>(v[e + l]) ^ high ^ sign[e + l]);
              } else {
                for (std::size_t e = 0; e < chunk; ++e) {
                  const std::uint64_t flip = (std::popcount(index[e] & high_z) & 1 ? kSign : 0) ^
                                             sign[index[e] & ((std::size_t{1} << kChunkBits) - 1)];
                  acc[e & 3] += std::bit_cast<double>(std::bit_cast<std::uint64_t>(v[e]) ^ flip);
                }
              }
              sums[t] += (acc[0] + acc[1]) + (acc[2] + acc[3]);
            }
          }
        }
      });
      for (std::size_t t = 0; t < terms; ++t) {
        double sum = 0.0;
        for (std::size_t b = 0; b < blocks; ++b) sum += partial[b * terms + t];
        out[t0 + t] = pauli_value(x, z[t], sum);
      }
      add_progress(progress, terms);
    }
  }
}

}  // namespace tavik::sim
