#include "sim/enumeration.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <span>
#include <utility>

#include "common/big_buffer.h"
#include "common/errors.h"
#include "common/interrupt.h"
#include "common/memory.h"
#include "platform/simd.h"
#include "pool/pool.h"
#include "sim/energy_keys.h"
#include "sim/enumeration_blocks.h"

namespace tavik::sim {
namespace {

using blocks::kLanes;

constexpr std::uint64_t kMaxVariables = 20;
constexpr unsigned kMaxDigitBits = 11;

// Sorts keys[0, n) ascending, all of them equal above their low `bits` bits
// (taken above `lo`), through scratch[0, n). Meant for a bucket that sits in
// cache: one counting pass on a digit about as wide as the bucket is large
// leaves keys out of order only within groups of one or two, which an
// insertion pass puts right. Clustered values would make that pass long: past
// a few moves per key the bucket is sorted by LSD passes instead.
void sort_low_bits(std::uint64_t* keys, std::uint64_t* scratch, std::size_t n, std::uint64_t lo, unsigned bits) {
  if (n < 2) return;
  std::uint64_t* const out = keys;
  const unsigned digit_bits = std::min({bits, kMaxDigitBits, static_cast<unsigned>(std::bit_width(n))});
  const unsigned shift = bits - digit_bits;
  const std::size_t digits = std::size_t{1} << digit_bits;
  // Bucket sizes stay below 2^32: n is at most 2^kMaxVariables.
  std::uint32_t next[std::size_t{1} << kMaxDigitBits];
  auto pass = [&](unsigned at, std::size_t mask) {
    std::fill_n(next, mask + 1, 0);
    for (std::size_t i = 0; i < n; ++i) ++next[((keys[i] - lo) >> at) & mask];
    for (std::uint32_t d = 0, sum = 0; d <= mask; ++d) sum += std::exchange(next[d], sum);
    for (std::size_t i = 0; i < n; ++i) scratch[next[((keys[i] - lo) >> at) & mask]++] = keys[i];
    std::swap(keys, scratch);
  };
  pass(shift, digits - 1);
  std::size_t moves = 0;
  const std::size_t budget = 4 * n;  // a few times what spread-out values take
  for (std::size_t i = 1; i < n && moves <= budget; ++i) {
    const std::uint64_t key = keys[i];
    std::size_t j = i;
    for (; j > 0 && key < keys[j - 1]; --j) keys[j] = keys[j - 1];
    keys[j] = key;
    moves += i - j;
  }
  if (moves > budget) {
    const unsigned passes = (bits + kMaxDigitBits - 1) / kMaxDigitBits;
    const unsigned lsd_bits = (bits + passes - 1) / passes;
    for (unsigned p = 0; p < passes; ++p) pass(p * lsd_bits, (std::size_t{1} << lsd_bits) - 1);
  }
  if (keys != out) std::copy_n(keys, n, out);
}

// Sorts keys[0, n) ascending and drops repeats; returns how many remain.
// Radix sort over the span of values actually present: one pass over all the
// keys splits them by their top digit (at most 11 bits: wider ones scatter to
// more places than the caches keep lines for), then each bucket (a few
// hundred keys for 2^20 spread-out energies) is sorted on its own while it
// sits in cache. On a pool of several threads, each thread counts and
// scatters its own part of the keys, then buckets are shared out; equal keys
// are equal bits, so the result does not depend on the order in which
// threads place them.
std::size_t sort_unique(BigBuffer<std::uint64_t>& keys, std::size_t n, pool::Threads threads) {
  if (n == 0) return 0;
  constexpr std::size_t kMinPartKeys = std::size_t{1} << 16, kMaxParts = 16;
  const std::size_t parts =
      threads == pool::Threads::pool ? std::clamp<std::size_t>(n / kMinPartKeys, 1, kMaxParts) : 1;
  const std::size_t part_size = (n + parts - 1) / parts;
  auto each_part = [&](auto body) {
    pool::parallel_for(threads, parts, 1, [&](std::size_t begin, std::size_t end) {
      for (std::size_t t = begin; t < end; ++t) {
        const std::size_t first = t * part_size, last = std::min(n, first + part_size);
        poll_interrupt(last - first);
        body(t, first, last);
      }
    });
  };

  std::vector<std::pair<std::uint64_t, std::uint64_t>> range(parts, {~std::uint64_t{0}, 0});
  each_part([&](std::size_t t, std::size_t first, std::size_t last) {
    const auto [lo, hi] = std::minmax_element(keys.get() + first, keys.get() + last);
    range[t] = {*lo, *hi};
  });
  std::uint64_t lo = range[0].first, hi = range[0].second;
  for (const auto& [part_lo, part_hi] : range) {
    lo = std::min(lo, part_lo);
    hi = std::max(hi, part_hi);
  }
  const auto bits = static_cast<unsigned>(std::bit_width(hi - lo));
  if (bits == 0) return 1;
  const unsigned top_bits = std::min(bits, kMaxDigitBits), low_bits = bits - top_bits;
  const std::size_t buckets = std::size_t{1} << top_bits;
  auto top_digit = [&](std::uint64_t k) { return static_cast<std::size_t>((k - lo) >> low_bits); };

  // next[t · buckets + b]: where part t's next key of top digit b goes.
  std::vector<std::size_t> next(parts * buckets);
  each_part([&](std::size_t t, std::size_t first, std::size_t last) {
    std::size_t* count = &next[t * buckets];
    for (std::size_t i = first; i < last; ++i) ++count[top_digit(keys[i])];
  });
  std::vector<std::size_t> bucket_begin(buckets + 1);
  for (std::size_t b = 0, sum = 0; b < buckets; ++b) {
    bucket_begin[b] = sum;
    for (std::size_t t = 0; t < parts; ++t) sum += std::exchange(next[t * buckets + b], sum);
  }
  bucket_begin[buckets] = n;
  auto other = big_buffer<std::uint64_t>(n);
  each_part([&](std::size_t t, std::size_t first, std::size_t last) {
    std::size_t* at = &next[t * buckets];
    for (std::size_t i = first; i < last; ++i) other[at[top_digit(keys[i])]++] = keys[i];
  });
  keys.swap(other);

  if (low_bits > 0) {
    constexpr std::size_t kBucketsPerChunk = 64;
    pool::parallel_for(threads, buckets, kBucketsPerChunk, [&](std::size_t begin, std::size_t end) {
      for (std::size_t b = begin; b < end; ++b) {
        const std::size_t first = bucket_begin[b], size = bucket_begin[b + 1] - first;
        poll_interrupt(size);
        sort_low_bits(keys.get() + first, other.get() + first, size, lo, low_bits);
      }
    });
  }
  return static_cast<std::size_t>(std::unique(keys.get(), keys.get() + n) - keys.get());
}

// The hot loops, one variant per SIMD path (platform/simd.h). Each scans the
// blocks [first, last) into state kept across calls; the caller polls
// between calls, so no variant's loop holds a call.
template <class Isa>
[[gnu::always_inline]] inline void scan_qubo_lanes(unsigned n, std::span<const blocks::ProductTerm> terms,
                                                   blocks::LiveTerms* live, std::uint64_t first, std::uint64_t last,
                                                   blocks::ArgMin& argmin, std::uint64_t* keys) {
  constexpr std::size_t W = Isa::kDoubles;
  const blocks::LaneMasks& masks = blocks::lane_masks();
  const std::size_t lanes = blocks::valid_lanes(n);
  blocks::ArgMinLanes<W> best(argmin);
  for (std::uint64_t b = first; b < last; ++b) {
    blocks::Energies<W> e;
    if (live) {
      for (const blocks::LiveTerm& t : live->in(b)) blocks::add(e, t);
    } else {
      e = blocks::block_energies<W>(b, terms, masks);
    }
    best.update(b, e);
    if (lanes == kLanes) {
      for (std::size_t v = 0; v < blocks::Width<W>::kVectors; ++v) store_keys<W>(e.v[v], keys + b * kLanes + v * W);
    } else {  // fewer than 32 assignments in all
      std::uint64_t all[kLanes];
      for (std::size_t v = 0; v < blocks::Width<W>::kVectors; ++v) store_keys<W>(e.v[v], all + v * W);
      std::copy_n(all, lanes, keys);
    }
  }
  best.store(argmin);
}
TAVIK_SIMD_DISPATCH(scan_qubo, scan_qubo_lanes)

template <class Isa>
[[gnu::always_inline]] inline void scan_spins_argmin_lanes(std::span<const blocks::SignTerm> terms,
                                                           std::uint64_t first, std::uint64_t last,
                                                           blocks::ArgMin& argmin) {
  constexpr std::size_t W = Isa::kDoubles;
  const blocks::LaneMasks& masks = blocks::lane_masks();
  blocks::ArgMinLanes<W> best(argmin);
  for (std::uint64_t b = first; b < last; ++b) best.update(b, blocks::block_energies<W>(b, terms, masks));
  best.store(argmin);
}
// AVX-512 measured 5-8% slower than AVX2 here (n = 20, Intel).
TAVIK_SIMD_DISPATCH_AVX2_AT_MOST(scan_spins_argmin, scan_spins_argmin_lanes)

// Per lane, the largest |energy| so far (a NaN never passes).
struct MaxAbs {
  double lane[kLanes] = {};
};

template <class Isa>
[[gnu::always_inline]] inline void scan_spins_max_abs_lanes(std::span<const blocks::SignTerm> terms,
                                                            std::uint64_t first, std::uint64_t last,
                                                            MaxAbs& max_abs) {
  constexpr std::size_t W = Isa::kDoubles;
  using R = blocks::Width<W>;
  using Vec = typename R::Vec;
  const blocks::LaneMasks& masks = blocks::lane_masks();
  const auto magnitude = R::broadcast(std::numeric_limits<std::int64_t>::max());
  Vec norm[R::kVectors];
  for (std::size_t v = 0; v < R::kVectors; ++v) norm[v] = R::template load<Vec>(max_abs.lane + v * W);
  for (std::uint64_t b = first; b < last; ++b) {
    const blocks::Energies<W> e = blocks::block_energies<W>(b, terms, masks);
    for (std::size_t v = 0; v < R::kVectors; ++v) {
      const Vec a = reinterpret_cast<Vec>(reinterpret_cast<typename R::Bits>(e.v[v]) & magnitude);
      norm[v] = a > norm[v] ? a : norm[v];
    }
  }
  __builtin_memcpy(max_abs.lane, norm, sizeof norm);
}
// AVX-512 measured 5-8% slower than AVX2 here (n = 20, Intel).
TAVIK_SIMD_DISPATCH_AVX2_AT_MOST(scan_spins_max_abs, scan_spins_max_abs_lanes)

// Calls scan(first, last) over the blocks [begin, end) in order, a few
// thousand term additions at a time, polling in between.
template <class Scan>
void scan_blocks(std::uint64_t begin, std::uint64_t end, std::size_t terms, Scan scan) {
  const std::uint64_t slice = std::max<std::uint64_t>(1, 4096 / (terms + 1));
  for (std::uint64_t first = begin; first < end; first += slice) {
    poll_interrupt(slice * (terms + 1));
    scan(first, std::min(end, first + slice));
  }
}

// A scan split across threads runs in parts of this many blocks. Parts
// depend on n alone, and each keeps its own result, so merging them in part
// order gives the same result on any number of threads.
constexpr std::uint64_t kPartBlocks = 256;

std::size_t part_count(unsigned n) {
  return static_cast<std::size_t>((blocks::block_count(n) + kPartBlocks - 1) / kPartBlocks);
}

// Calls scan(first, last, part) over every block of n variables.
template <class Scan>
void scan_parts(unsigned n, std::size_t terms, pool::Threads threads, Scan scan) {
  const std::uint64_t count = blocks::block_count(n);
  pool::parallel_for(threads, part_count(n), 1, [&](std::size_t begin, std::size_t end) {
    for (std::size_t part = begin; part < end; ++part)
      scan_blocks(part * kPartBlocks, std::min(count, (part + 1) * kPartBlocks), terms,
                  [&](std::uint64_t first, std::uint64_t last) { scan(first, last, part); });
  });
}

}  // namespace

std::unordered_map<std::string_view, std::size_t> variable_positions(const LogicalGraph& graph) {
  std::unordered_map<std::string_view, std::size_t> positions;
  for (std::size_t k = 0; k < graph.variables.size(); ++k) positions[graph.variables[k].name] = k;
  return positions;
}

SpectrumScan::SpectrumScan(QuboView qubo, std::uint64_t n_vars, pool::Threads threads) {
  if (n_vars > kMaxVariables) throw SizeViolation("qubo_energy_spectrum requires n_vars <= 20");
  if (n_vars == 0) {  // the empty assignment, of energy 0
    keys_ = big_buffer<std::uint64_t>(1);
    keys_[0] = kKeyBias;
    distinct_ = 1;
    return;
  }
  const auto n = static_cast<unsigned>(n_vars);

  std::vector<blocks::ProductTerm> terms;
  terms.reserve(qubo.size());
  for (std::size_t k = 0; k < qubo.size(); ++k) {
    const QuboTerm t = qubo[k];
    check_input_index(t.i, n, {"qubo", "rows", "n_vars"}, k);
    check_input_index(t.j, n, {"qubo", "cols", "n_vars"}, k);
    terms.push_back(blocks::product_term(t.i, t.j, t.w));
  }

  // With every weight finite, each block adds only its live terms; otherwise
  // every term, everywhere.
  const bool finite = std::all_of(terms.begin(), terms.end(), [](const blocks::ProductTerm& t) { return t.off == 0.0; });
  const std::size_t count = std::size_t{1} << n;
  require_memory(count, 2, sizeof(std::uint64_t));  // the keys, and the sort's second copy
  auto keys = big_buffer<std::uint64_t>(count);  // every key is written by the scan
  std::vector<blocks::ArgMin> best(part_count(n));
  scan_parts(n, terms.size(), threads, [&](std::uint64_t first, std::uint64_t last, std::size_t part) {
    if (finite) {
      blocks::LiveTerms live(terms, first, last, blocks::lane_masks());
      scan_qubo(n, terms, &live, first, last, best[part], keys.get());
    } else {
      scan_qubo(n, terms, nullptr, first, last, best[part], keys.get());
    }
  });
  for (std::size_t part = 1; part < best.size(); ++part) best[0].merge_later(best[part]);
  std::tie(best_energy_, best_index_) = best[0].result(blocks::valid_lanes(n));
  distinct_ = sort_unique(keys, count, threads);
  keys_ = std::move(keys);
}

void SpectrumScan::fill(std::span<double> energies) const {
  for (std::size_t k = 0; k < distinct_; ++k)
    energies[k] = key_energy(keys_[k]);
}

Spectrum qubo_energy_spectrum(QuboView qubo, std::uint64_t n_vars, pool::Threads threads) {
  const SpectrumScan scan(qubo, n_vars, threads);
  Spectrum out{std::vector<std::uint8_t>(n_vars), scan.best_energy(), std::vector<double>(scan.distinct())};
  for (std::size_t k = 0; k < out.best_assignment.size(); ++k) out.best_assignment[k] = (scan.best_index() >> k) & 1;
  scan.fill(out.energies);
  return out;
}

double exact_ising_norm(FieldView dh, QuboView dj, std::uint64_t n_sites, pool::Threads threads) {
  if (n_sites > kMaxVariables) throw SizeViolation("exact_ising_norm requires n_sites <= 20");
  if (n_sites == 0 || (dh.empty() && dj.empty())) return 0.0;
  const auto n = static_cast<unsigned>(n_sites);

  std::vector<blocks::SignTerm> terms;
  terms.reserve(dh.size() + dj.size());
  for (std::size_t k = 0; k < dh.size(); ++k) {
    check_input_index(dh.sites[k], n, {"dh", "sites", "n_sites"}, k);
    terms.push_back(blocks::spin_field_term(dh.sites[k], dh.values[k]));
  }
  for (std::size_t k = 0; k < dj.size(); ++k) {
    const QuboTerm t = dj[k];
    check_input_index(t.i, n, {"dj", "rows", "n_sites"}, k);
    check_input_index(t.j, n, {"dj", "cols", "n_sites"}, k);
    terms.push_back(blocks::spin_coupling_term(t.i, t.j, t.w));
  }
  // Each lane's maximum is order-independent: magnitudes have no sign to
  // tell equal values apart, and NaN never wins a comparison.
  std::vector<MaxAbs> norm(part_count(n));
  scan_parts(n, terms.size(), threads, [&](std::uint64_t first, std::uint64_t last, std::size_t part) {
    scan_spins_max_abs(terms, first, last, norm[part]);
  });
  double out = 0.0;
  for (const MaxAbs& part : norm)
    for (std::size_t l = 0; l < blocks::valid_lanes(n); ++l) out = std::max(out, part.lane[l]);
  return out;
}

std::vector<std::int8_t> IsingSimulator::solve_exact(const LogicalGraph& graph) const {
  const std::size_t count = graph.variables.size();
  if (count > kMaxVariables) throw SizeViolation("N > 20 is not supported for exact solver");
  if (count == 0) return {};
  const auto n = static_cast<unsigned>(count);

  // Names resolve once; interactions naming an absent variable add nothing.
  const auto positions = variable_positions(graph);
  std::vector<blocks::SignTerm> terms;
  for (const Interaction& it : graph.interactions) {
    const auto p = positions.find(it.i), q = positions.find(it.j);
    if (p == positions.end() || q == positions.end()) continue;
    terms.push_back(p->second == q->second ? blocks::spin_field_term(p->second, it.weight)
                                           : blocks::spin_coupling_term(p->second, q->second, it.weight));
  }

  blocks::ArgMin best;
  scan_blocks(0, blocks::block_count(n), terms.size(), [&](std::uint64_t first, std::uint64_t last) {
    scan_spins_argmin(terms, first, last, best);
  });
  const std::uint64_t index = best.result(blocks::valid_lanes(n)).second;
  std::vector<std::int8_t> spins(n);
  for (unsigned k = 0; k < n; ++k) spins[k] = (index >> k) & 1 ? 1 : -1;
  return spins;
}

}  // namespace tavik::sim
