#include "cutting/reconstruct.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>
#include <cmath>
#include <limits>
#include <new>
#include <stdexcept>
#include <unordered_map>

#include "common/errors.h"
#include "common/interrupt.h"
#include "common/open_addressing.h"
#include "common/uint128.h"
#include "platform/simd.h"
#include "pool/pool.h"
#include "text/quote.h"

namespace tavik::cutting {

void Histogram::Builder::reserve(std::size_t entries, std::size_t key_bytes) {
  keys_.reserve(key_bytes);
  ends_.reserve(entries);
  counts_.reserve(entries);
}

void Histogram::Builder::add(std::string_view key, std::uint64_t count) {
  keys_.append(key);
  ends_.push_back(keys_.size());
  counts_.push_back(count);
}

Histogram Histogram::Builder::build() && {
  const std::size_t n = counts_.size();
  std::uint64_t width = n == 0 ? 0 : ends_[0];
  for (std::size_t k = 1; k < n && width != kMixedWidths; ++k)
    if (ends_[k] - ends_[k - 1] != width) width = kMixedWidths;
  // A zero word after the keys lets a word-wise scan start at any key byte.
  const std::size_t words = kHeader + 2 * n + (keys_.size() + 7) / 8 + 1;
  auto block = std::make_shared<std::uint64_t[]>(words);
  block[0] = n;
  block[1] = keys_.size();
  block[2] = width;
  std::copy(counts_.begin(), counts_.end(), block.get() + kHeader);
  std::copy(ends_.begin(), ends_.end(), block.get() + kHeader + n);
  std::memcpy(block.get() + kHeader + 2 * n, keys_.data(), keys_.size());
  Histogram h;
  h.block_ = std::move(block);
  return h;
}

std::string_view Histogram::key(std::size_t k) const {
  const std::size_t n = block_[0];
  const std::uint64_t* ends = block_.get() + kHeader + n;
  const char* keys = reinterpret_cast<const char*>(ends + n);
  const std::size_t begin = k == 0 ? 0 : ends[k - 1];
  return std::string_view(keys + begin, ends[k] - begin);
}

namespace {

constexpr std::size_t kWord = 8;
constexpr std::uint64_t kOnes = 0x3131313131313131ULL, kLow = 0x7F7F7F7F7F7F7F7FULL;
constexpr std::uint64_t kByteLowBits = 0x0101010101010101ULL;

inline std::uint64_t load_word(const char* p) {
  std::uint64_t w;
  std::memcpy(&w, p, kWord);
  if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap64(w);
  return w;
}

// Low bit of each byte: 1 where w has a '1' byte (exact, no carry between
// bytes). Written for a scalar or a vector of words alike.
template <class W>
[[gnu::always_inline]] inline W one_bytes(W w) {
  const W x = w ^ kOnes;  // zero bytes where w has '1'
  return (~(((x & kLow) + kLow) | x) >> 7) & kByteLowBits;
}

// 1 if the first `length` (≤ 8) bytes at p hold an odd number of '1' bytes.
// Reads a whole word: the key buffer is padded so that this never leaves it.
inline std::uint64_t ones_parity(const char* p, std::size_t length) {
  std::uint64_t hit = one_bytes(load_word(p));
  if (length < kWord) hit &= (std::uint64_t{1} << (8 * length)) - 1;
  return (hit * kByteLowBits) >> 56 & 1;  // top byte: the number of hits
}

struct Sums {
  UInt128 all, odd;  // each below 2^64 · 2^60
  // Branch-free: the parities of measured bitstrings are close to random.
  void add(std::uint64_t count, std::uint64_t parity) {
    all += count;
    odd += count & (std::uint64_t{0} - parity);
  }
  // Adds low + 2^32 · high.
  static void add_halves(UInt128& sum, std::uint64_t low, std::uint64_t high) {
    sum += low;
    sum += high << 32;
    sum.hi += high >> 32;
  }
  double signed_sum() const { return difference_to_double(all - odd, odd); }
};

// Keys of a common width of at most 8 bytes, a vector of keys at a time.
// Counts are summed exactly as their 32-bit halves in 64-bit lanes, which
// cannot overflow within a run of 2^32 keys per lane.
template <class Isa, bool kWholeWords>
[[gnu::always_inline]] inline void add_fixed_width(Sums& sums, const std::uint64_t* counts, const char* keys,
                                                   std::size_t n, std::size_t width) {
  constexpr std::size_t L = Isa::kDoubles;
  using V = platform::simd::Vector<std::uint64_t, L>;
  constexpr std::uint64_t kRun = std::uint64_t{1} << 32, kHalf = 0xFFFFFFFFULL;
  const std::uint64_t key_mask = width == kWord ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * width)) - 1;
  std::size_t k = 0;
  while (n - k >= L) {
    const std::size_t run_end = k + std::min<std::uint64_t>((n - k) / L, kRun) * L;
    V all_low{}, all_high{}, odd_low{}, odd_high{};
    for (; k < run_end; k += L) {
      V w, c;
      std::memcpy(&c, counts + k, sizeof c);
      if constexpr (kWholeWords) {  // 8-byte keys: aligned words, loaded as one vector
        std::memcpy(&w, keys + k * kWord, sizeof w);
        if constexpr (std::endian::native == std::endian::big)
          for (std::size_t j = 0; j < L; ++j) w[j] = __builtin_bswap64(w[j]);
      } else {
        for (std::size_t j = 0; j < L; ++j) w[j] = load_word(keys + (k + j) * width);
      }
      V hit = one_bytes(w) & key_mask;
      hit ^= hit >> 32;
      hit ^= hit >> 16;
      hit ^= hit >> 8;
      const V odd = c & (V{} - (hit & 1));
      all_low += c & kHalf;
      all_high += c >> 32;
      odd_low += odd & kHalf;
      odd_high += odd >> 32;
    }
    for (std::size_t j = 0; j < L; ++j) {
      Sums::add_halves(sums.all, all_low[j], all_high[j]);
      Sums::add_halves(sums.odd, odd_low[j], odd_high[j]);
    }
  }
  for (; k < n; ++k) sums.add(counts[k], ones_parity(keys + k * width, width));
}

template <class Isa>
[[gnu::always_inline]] inline double parity_sum_of_lanes(const std::uint64_t* block, std::size_t header) {
  const std::size_t n = block[0];
  const std::uint64_t width = block[2];
  const std::uint64_t* counts = block + header;
  const std::uint64_t* ends = counts + n;
  // '1' (0x31) never occurs inside a multi-byte UTF-8 sequence, so counting
  // bytes counts characters.
  const char* keys = reinterpret_cast<const char*>(ends + n);
  Sums sums;
  if (width == kWord) {  // the usual cases: fixed-width bitstrings of up to 8 bits
    add_fixed_width<Isa, true>(sums, counts, keys, n, width);
  } else if (width < kWord) {
    add_fixed_width<Isa, false>(sums, counts, keys, n, width);
  } else {
    std::size_t begin = 0;
    for (std::size_t k = 0; k < n; ++k) {
      const std::size_t end = ends[k];
      std::uint64_t parity = 0;
      for (std::size_t i = begin; i < end; i += kWord) parity ^= ones_parity(keys + i, std::min(kWord, end - i));
      begin = end;
      sums.add(counts[k], parity);
    }
  }
  return sums.signed_sum();
}
TAVIK_SIMD_DISPATCH(parity_sum_of, parity_sum_of_lanes)

}  // namespace

double Histogram::parity_sum() const { return block_ ? parity_sum_of(block_.get(), kHeader) : 0.0; }

namespace {

constexpr std::size_t kCacheLine = 64;
// Enough for a typical histogram whole; the hardware prefetcher follows a
// longer stream once it has seen its first lines.
constexpr std::size_t kPrefetchBytes = 1024;

void prefetch_lines(const void* begin, std::size_t bytes) {
  const char* p = static_cast<const char*>(begin);
  for (std::size_t offset = 0; offset < std::min(bytes, kPrefetchBytes); offset += kCacheLine)
    __builtin_prefetch(p + offset);
}

}  // namespace

void Histogram::prefetch_sizes() const {
  if (block_) __builtin_prefetch(block_.get());
}

void Histogram::prefetch_entries() const {
  if (!block_) return;
  const std::uint64_t* counts = block_.get() + kHeader;
  const std::size_t n = block_[0];
  prefetch_lines(counts, n * sizeof *counts);
  if (block_[2] > kWord) prefetch_lines(counts + n, n * sizeof *counts);  // key ends, read for wide keys only
  prefetch_lines(counts + 2 * n, block_[1]);
}

std::string shortest_decimal(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  // The shortest digits that round-trip, as scientific notation gives them
  // ("-1.25e+21"), then written out positionally: 1e25 is a 1 and 25 zeros,
  // not the 26 digits of the double's exact value.
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific);
  if (result.ec != std::errc()) throw Panic("formatting a double failed");
  const std::string_view text(buffer, static_cast<std::size_t>(result.ptr - buffer));
  const std::size_t e = text.find('e');
  std::string out = text.front() == '-' ? "-" : "";
  std::string digits;
  for (char c : text.substr(out.size(), e - out.size()))
    if (c != '.') digits += c;
  int exponent = 0;
  std::from_chars(text.data() + e + (text[e + 1] == '+' ? 2 : 1), text.data() + text.size(), exponent);
  const long point = static_cast<long>(exponent) + 1;  // digits before the decimal point
  const auto n = static_cast<long>(digits.size());
  if (point <= 0)
    out += "0." + std::string(static_cast<std::size_t>(-point), '0') + digits;
  else if (point >= n)
    out += digits + std::string(static_cast<std::size_t>(point - n), '0');
  else
    out += digits.substr(0, static_cast<std::size_t>(point)) + "." + digits.substr(static_cast<std::size_t>(point));
  return out;
}

std::string SubcircuitSampleCounts::repr() const {
  return "SubcircuitSampleCounts(sample_index=" + std::to_string(sample_index) +
         ", subcircuit_label=" + quoted_literal(subcircuit_label) + ", shots=" + std::to_string(shots) + ")";
}

std::string SampleCoefficient::repr() const {
  return "SampleCoefficient(sample_index=" + std::to_string(sample_index) +
         ", coefficient=" + shortest_decimal(coefficient) + ")";
}

namespace {

// A label no histogram has, for the labels asked for that none has.
constexpr std::uint32_t kNoLabel = std::numeric_limits<std::uint32_t>::max();

std::string sample_and_label(std::uint64_t sample, std::string_view label) {
  return "for sample " + std::to_string(sample) + " / subcircuit " + quoted_literal(label);
}

}  // namespace

double reconstruct_expectation(const std::vector<SubcircuitSampleCounts>& counts,
                               const std::vector<SampleCoefficient>& coefficients,
                               const std::vector<std::string>& subcircuit_labels) {
  if (subcircuit_labels.empty()) throw ValueError("subcircuit_labels must not be empty");

  // Labels become small integers once, so the index compares integers only.
  std::unordered_map<std::string_view, std::uint32_t> label_ids;
  // (sample index, label id) -> position in the counts list. Only look-ups
  // go through it; which entry is reported for a duplicate is decided by the
  // walk over the list, not by the table's layout.
  OpenAddressingMap<std::uint64_t, std::uint32_t, std::size_t> index(counts.size());
  BatchedPoll poll;
  for (std::size_t e = 0; e < counts.size(); ++e) {
    poll.step(8);
    const auto [it, added] =
        label_ids.try_emplace(counts[e].subcircuit_label, static_cast<std::uint32_t>(label_ids.size()));
    if (label_ids.size() == kNoLabel) throw std::length_error("too many distinct sub-circuit labels");
    if (!index.try_emplace(counts[e].sample_index, it->second, e).second)
      throw ValueError("duplicate SubcircuitSampleCounts " +
                       sample_and_label(counts[e].sample_index, counts[e].subcircuit_label));
  }

  const std::size_t n_labels = subcircuit_labels.size();
  std::vector<std::uint32_t> wanted(n_labels);
  for (std::size_t l = 0; l < n_labels; ++l) {
    const auto it = label_ids.find(subcircuit_labels[l]);
    wanted[l] = it == label_ids.end() ? kNoLabel : it->second;
  }

  // Resolve every (coefficient, label) pair before any arithmetic: a missing
  // histogram anywhere is reported ahead of a zero shot count anywhere, and
  // the zero shot count reported is the first in (coefficient, label) order,
  // whatever the workers would have met first.
  if (coefficients.size() > std::numeric_limits<std::size_t>::max() / n_labels)
    throw std::length_error("too many (coefficient, label) pairs");
  // Filled in order as the pairs resolve: zeroing it first would be one long
  // pass over memory that no poll could interrupt.
  std::vector<std::size_t> refs;
  refs.reserve(coefficients.size() * n_labels);
  std::vector<std::uint8_t> is_used(counts.size());
  const SubcircuitSampleCounts* first_without_shots = nullptr;
  for (std::size_t c = 0; c < coefficients.size(); ++c) {
    poll.step(8 * n_labels);
    const std::uint64_t sample = coefficients[c].sample_index;
    for (std::size_t l = 0; l < n_labels; ++l) {
      const std::size_t* found = index.find(sample, wanted[l]);
      if (found == nullptr)
        throw ValueError("missing SubcircuitSampleCounts " + sample_and_label(sample, subcircuit_labels[l]));
      const std::size_t e = *found;
      refs.push_back(e);
      is_used[e] = 1;
      if (counts[e].shots == 0 && first_without_shots == nullptr) first_without_shots = &counts[e];
    }
  }
  if (first_without_shots != nullptr)
    throw ValueError("SubcircuitSampleCounts " +
                     sample_and_label(first_without_shots->sample_index, first_without_shots->subcircuit_label) +
                     " has shots == 0");

  // A histogram's expectation depends on nothing else, so it is computed once
  // however many coefficients share it; the same division the per-term
  // formula performs, hence the same bits.
  // Walked in list order, which is usually the order the histograms were
  // built in and so the order of their buffers in memory.
  // Buffers are fetched in two steps, a few histograms ahead: a scattered
  // buffer's sizes must arrive before its entries can be located.
  constexpr std::size_t kAhead = 8;
  std::vector<double> expectation(counts.size());
  pool::parallel_for(counts.size(), 16, [&](std::size_t begin, std::size_t end) {
    BatchedPoll chunk_poll;
    for (std::size_t e = begin; e < end; ++e) {
      if (e + 2 * kAhead < end && is_used[e + 2 * kAhead]) counts[e + 2 * kAhead].counts.prefetch_sizes();
      if (e + kAhead < end && is_used[e + kAhead]) counts[e + kAhead].counts.prefetch_entries();
      if (!is_used[e]) continue;
      chunk_poll.step(counts[e].counts.size() + 1);
      const SubcircuitSampleCounts& h = counts[e];
      expectation[e] = h.counts.parity_sum() / static_cast<double>(h.shots);
    }
  });

  std::vector<double> terms(coefficients.size());
  pool::parallel_for(coefficients.size(), 2048, [&](std::size_t begin, std::size_t end) {
    BatchedPoll chunk_poll;
    for (std::size_t c = begin; c < end; ++c) {
      chunk_poll.step(n_labels);
      double product = 1.0;
      for (std::size_t l = 0; l < n_labels; ++l) product *= expectation[refs[c * n_labels + l]];
      terms[c] = coefficients[c].coefficient * product;
    }
  });

  double total = -0.0;
  for (double term : terms) {
    poll.step();
    total += term;
  }
  return total;
}

}  // namespace tavik::cutting
