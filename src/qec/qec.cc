#include "qec/qec.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <cmath>
#include <mutex>
#include <new>
#include <numeric>
#include <string>

#include "common/big_buffer.h"
#include "common/errors.h"
#include "common/interrupt.h"
#include "common/memory.h"
#include "common/splitmix64.h"
#include "ecc/failure_probability.h"

namespace tavik::qec {
namespace {

// The decoder keeps, for each syndrome met, the logical parity of the first
// pattern to reach it. Walking the patterns weight by weight, each weight in
// the decoder's order of preference, makes that first pattern its correction
// (ecc/lookup_table.cc: ascending counters, qubit q at counter bit n − 1 − q,
// so walk position b is qubit n − 1 − b). Every later pattern of the same
// syndrome fails exactly when its parity differs.
//
// The syndromes are cut into 2^K slices by the top K bits of their numbers.
// Numbers are linear, so a slice is decided qubit by qubit: with every
// position but the lowest chosen, the lowest can only come from the positions
// whose own slice completes the target, which are listed apart. A slice sees
// every one of its patterns in walk order and needs no other slice's table:
// slices run on separate threads, or separate machines, with no exchange, and
// memory is bounded by taking more of them.

// Fresh zeroed words, on huge pages where the system offers them (random
// look-ups miss the TLB far less), zeroed a slice at a time so that Ctrl-C
// is heard meanwhile.
template <class T>
BigBuffer<T> zeroed(std::size_t count) {
  require_memory(count, 1, sizeof(T));
  BigBuffer<T> buffer = big_buffer<T>(count);
  constexpr std::size_t kPerPoll = std::size_t{1} << 18;
  for (std::size_t first = 0; first < count; first += kPerPoll) {
    poll_interrupt(kPerPoll / 16);
    std::memset(buffer.get() + first, 0, std::min(kPerPoll, count - first) * sizeof(T));
  }
  return buffer;
}

// A slice's table: the parity of the correction of each syndrome number met,
// looked up by the number's bits below the slice bits (+ 1: 0 marks a number
// not met).
class DirectTable {
 public:
  explicit DirectTable(unsigned low_bits) : parity_(zeroed<std::uint8_t>(bytes(low_bits))) {}
  static std::size_t bytes(unsigned low_bits) { return std::size_t{1} << low_bits; }

  void prefetch(std::uint64_t low) const { __builtin_prefetch(&parity_[low]); }
  // 1 when the pattern of this key fails, recording it when first met.
  unsigned visit(std::uint64_t low, unsigned parity) {
    std::uint8_t& entry = parity_[low];
    if (entry == 0) {
      entry = static_cast<std::uint8_t>(parity + 1);
      return 0;
    }
    return (entry - 1) ^ parity;
  }

 private:
  BigBuffer<std::uint8_t> parity_;
};

// The same beyond 2^26 numbers: open addressing with linear probing, one word
// per entry (the number's low bits above the parity, and a mark of use),
// doubled past 0.7 load. The slice's expected entries bound what it may
// need; it starts at an eighth of that, since patterns of the higher weights
// often share syndromes.
class HashedTable {
 public:
  explicit HashedTable(std::size_t expected) { resize(capacity(expected / 8)); }
  static std::size_t bytes(std::size_t expected) { return capacity(expected) * sizeof(std::uint64_t); }

  void prefetch(std::uint64_t low) const { __builtin_prefetch(&slots_[home(low)]); }
  unsigned visit(std::uint64_t low, unsigned parity) {
    const std::uint64_t key = kUsed | low << 1 | parity;
    for (std::size_t s = home(low);; s = (s + 1) & (size_ - 1)) {
      const std::uint64_t entry = slots_[s];
      if (entry == 0) {
        slots_[s] = key;
        if (++used_ > grow_at_) grow();
        return 0;
      }
      if ((entry ^ key) >> 1 == 0) return static_cast<unsigned>((entry ^ key) & 1);
    }
  }

 private:
  static constexpr std::uint64_t kUsed = std::uint64_t{1} << 63;
  static std::size_t capacity(std::size_t expected) { return std::bit_ceil(std::max<std::size_t>(2 * expected, 64)); }

  std::size_t home(std::uint64_t low) const { return static_cast<std::size_t>(splitmix64_mix(low)) & (size_ - 1); }
  void resize(std::size_t capacity) {
    slots_ = zeroed<std::uint64_t>(capacity);
    size_ = capacity;
    grow_at_ = capacity / 10 * 7;
  }
  void grow() {
    BigBuffer<std::uint64_t> old = std::move(slots_);
    const std::size_t old_size = size_;
    resize(2 * old_size);
    for (std::size_t i = 0; i < old_size; ++i)
      if (const std::uint64_t entry = old[i]; entry != 0) {
        poll_interrupt(1);
        std::size_t s = home((entry & ~kUsed) >> 1);
        while (slots_[s] != 0) s = (s + 1) & (size_ - 1);
        slots_[s] = entry;
      }
  }

  BigBuffer<std::uint64_t> slots_;
  std::size_t size_ = 0, used_ = 0, grow_at_ = 0;
};

// How the walk is cut: 2^bits slices of the syndrome numbers.
struct Slicing {
  unsigned rank, bits;
  // The slice of a number: its top `bits` bits (shifted up where the rank
  // has fewer, leaving some slices empty).
  std::uint64_t slice(std::uint64_t number) const {
    return bits <= rank ? number >> (rank - bits) : number << (bits - rank);
  }
  unsigned low_bits() const { return bits <= rank ? rank - bits : 0; }
  std::uint64_t low(std::uint64_t number) const { return number & ((std::uint64_t{1} << low_bits()) - 1); }
};

// The walk over one slice's patterns.
template <class Table>
class SliceWalk {
 public:
  SliceWalk(const CountingCode& code, const Slicing& slicing, const std::vector<std::uint32_t>& bucket_starts,
            const std::vector<std::uint32_t>& bucket_positions, std::uint64_t slice, Table& table)
      : code_(code), slicing_(slicing), starts_(bucket_starts), positions_(bucket_positions), slice_(slice),
        table_(table) {}

  std::vector<std::uint64_t> run(unsigned max_weight) {
    std::vector<std::uint64_t> counts(max_weight + 1, 0);
    if (slice_ == slicing_.slice(0)) table_.visit(0, 0);  // the empty pattern
    for (unsigned w = 1; w <= max_weight; ++w) {
      fails_ = 0;
      prefix(w, code_.n, 0);
      for (; pending_ != 0; --pending_) settle();
      counts[w] = fails_;
    }
    return counts;
  }

 private:
  // Positions level … w are chosen, below `below`; their keys XOR to x.
  void prefix(unsigned level, unsigned below, std::uint64_t x) {
    if (level == 1) return lowest(below, x);
    for (unsigned a = level - 1; a < below; ++a) prefix(level - 1, a, x ^ code_.keys[a]);
  }
  // The lowest position, among those that land the pattern in this slice.
  void lowest(unsigned below, std::uint64_t x) {
    const std::uint64_t bucket = slice_ ^ slicing_.slice(x >> 1);
    const std::uint32_t* p = positions_.data() + starts_[bucket];
    const std::uint32_t* const first = p;
    for (; *p < below; ++p) {  // each bucket ends with n
      const std::uint64_t key = x ^ code_.keys[*p];
      table_.prefetch(slicing_.low(key >> 1));
      if (pending_ == kInFlight)
        settle();
      else
        ++pending_;
      ring_[next_++ % kInFlight] = key;
    }
    poll_.step(static_cast<std::size_t>(p - first) + 1);
  }
  // Look-ups wait in a ring, in walk order, while their entries are fetched:
  // the oldest is settled as a new one comes in.
  void settle() {
    const std::uint64_t key = ring_[(next_ - pending_) % kInFlight];
    fails_ += table_.visit(slicing_.low(key >> 1), key & 1);
  }
  static constexpr std::size_t kInFlight = 16;
  std::array<std::uint64_t, kInFlight> ring_{};
  std::size_t next_ = 0, pending_ = 0;

  const CountingCode& code_;
  const Slicing& slicing_;
  const std::vector<std::uint32_t>& starts_;
  const std::vector<std::uint32_t>& positions_;
  std::uint64_t slice_;
  Table& table_;
  std::uint64_t fails_ = 0;
  BatchedPoll poll_;
};

// A unit lower-triangular map of the numbers: every bit gains the parity of
// a fixed pseudo-random set of the bits below it. The top bits, which pick a
// slice, then depend on every qubit and spread the patterns evenly.
std::uint64_t mix_down(std::uint64_t number, unsigned rank) {
  std::uint64_t state = 0x5EED, out = number;
  for (unsigned i = 1; i < rank; ++i) {
    const std::uint64_t below = splitmix64_mix(state += kSplitMix64Gamma) & ((std::uint64_t{1} << i) - 1);
    out ^= static_cast<std::uint64_t>(std::popcount(number & below) & 1) << i;
  }
  return out;
}

constexpr std::uint64_t kMostSlicesPerThread = 64;

std::uint64_t saturating_add(std::uint64_t a, std::uint64_t b) { return a + b < a ? ~std::uint64_t{0} : a + b; }

}  // namespace

std::uint64_t patterns_up_to(unsigned n, unsigned max_weight) {
  std::uint64_t total = 0, c = 1;  // c = C(n, w)
  for (unsigned w = 0; w <= max_weight && w <= n; ++w) {
    total = saturating_add(total, c);
    // C(n, w + 1) = C(n, w) (n − w) / (w + 1): with g = gcd(C(n, w), w + 1),
    // (w + 1) / g divides n − w, so nothing is rounded.
    const std::uint64_t g = std::gcd(c, std::uint64_t{w} + 1);
    if (c == ~std::uint64_t{0} || __builtin_mul_overflow(c / g, (n - w) / ((w + 1) / g), &c)) c = ~std::uint64_t{0};
  }
  return total;
}

CountingCode counting_code(std::uint64_t n_data, ecc::SupportRows checks, std::span<const std::uint64_t> logical) {
  // Each check as a bit set over the qubits, then each qubit's column of
  // checks; a qubit listed twice in one support counts once.
  const std::size_t words = (n_data + 63) / 64, m = checks.size(), check_words = (m + 63) / 64;
  require_memory(n_data, check_words + 2, sizeof(std::uint64_t));
  std::vector<std::uint64_t> columns(n_data * check_words, 0);
  for (std::size_t j = 0; j < m; ++j)
    for (std::size_t k = 0; k < checks[j].size(); ++k) {
      const std::uint64_t q = checks[j][k];
      if (q >= n_data)
        throw InputError({InputRule::support_qubit, "checks", {}, j, q, n_data, "n_data", {}},
                         std::source_location::current());
      columns[q * check_words + j / 64] |= std::uint64_t{1} << (j % 64);
    }
  std::vector<std::uint64_t> in_logical(words, 0);
  for (std::size_t k = 0; k < logical.size(); ++k) {
    if (logical[k] >= n_data)
      throw InputError({InputRule::support_qubit, "logical", {}, k, logical[k], n_data, "n_data", {}},
                       std::source_location::current());
    in_logical[logical[k] / 64] |= std::uint64_t{1} << (logical[k] % 64);
  }

  // Elimination in qubit order, as the decoder numbers syndromes
  // (ecc::SyndromeSpace): a column independent of those before it becomes
  // pivot i with number 2^i, any other the number of the pivots it reduces to.
  struct Basis {
    std::vector<std::uint64_t> column;
    std::uint64_t number;
  };
  std::vector<Basis> by_top(m);
  std::vector<bool> has_top(m, false);
  CountingCode code;
  code.n = static_cast<unsigned>(n_data);
  std::vector<std::uint64_t> numbers(n_data);
  for (std::uint64_t q = 0; q < n_data; ++q) {
    poll_interrupt(m);
    std::vector<std::uint64_t> x(columns.begin() + static_cast<std::ptrdiff_t>(q * check_words),
                                 columns.begin() + static_cast<std::ptrdiff_t>((q + 1) * check_words));
    std::uint64_t number = 0;
    for (;;) {
      std::size_t top = m;
      for (std::size_t w = check_words; w-- > 0;)
        if (x[w] != 0) {
          top = w * 64 + static_cast<std::size_t>(std::bit_width(x[w])) - 1;
          break;
        }
      if (top == m) break;
      if (!has_top[top]) {
        if (code.rank == kMaxRank)
          throw SizeViolation("failure counting requires checks of rank <= " + std::to_string(kMaxRank));
        const std::uint64_t unit = std::uint64_t{1} << code.rank++;
        by_top[top] = {x, number ^ unit};
        has_top[top] = true;
        number = unit;
        break;
      }
      for (std::size_t w = 0; w < check_words; ++w) x[w] ^= by_top[top].column[w];
      number ^= by_top[top].number;
    }
    numbers[q] = number;
  }
  code.keys.resize(n_data);
  for (std::uint64_t q = 0; q < n_data; ++q)
    code.keys[n_data - 1 - q] = mix_down(numbers[q], code.rank) << 1 | ((in_logical[q / 64] >> (q % 64)) & 1);
  return code;
}

std::vector<std::uint64_t> failure_counts(const CountingCode& code, unsigned max_weight, unsigned slice_bits,
                                          std::uint64_t first, std::uint64_t last, pool::Threads threads) {
  max_weight = std::min(max_weight, code.n);
  const std::uint64_t patterns = patterns_up_to(code.n, max_weight);
  if (patterns >= std::uint64_t{1} << 63) throw SizeViolation("failure counting requires fewer than 2^63 patterns");
  if (slice_bits > 40 || first > last || last > std::uint64_t{1} << slice_bits)
    throw ValueError("slices: expected 0 <= first <= last <= 2^slice_bits, slice_bits <= 40");
  std::vector<std::uint64_t> counts(max_weight + 1, 0);
  if (first == last) return counts;

  // More slices than asked for, for balance among the threads and to keep
  // the tables that are alive at once (one per thread) within memory, with
  // room to spare: each slice of a task splits into 2^extra.
  const std::size_t concurrency = threads == pool::Threads::pool ? pool::concurrency() : 1;
  const double syndromes = std::min(static_cast<double>(patterns), std::ldexp(1.0, static_cast<int>(code.rank)));
  unsigned extra = 0;
  while (((last - first) << extra) < 4 * concurrency && slice_bits + extra < 40) ++extra;
  const auto table_bytes = [&](unsigned bits, std::size_t& expected, bool& direct) {
    const Slicing slicing{code.rank, bits};
    expected = static_cast<std::size_t>(syndromes / std::ldexp(1.0, static_cast<int>(bits)) * 1.1) + 16;
    direct = slicing.low_bits() <= 26 && DirectTable::bytes(slicing.low_bits()) <= 4 * HashedTable::bytes(expected);
    return direct ? DirectTable::bytes(slicing.low_bits()) : HashedTable::bytes(expected);
  };
  std::size_t expected = 0;
  bool direct = false;
  // Each slice walks every pattern but the lowest position of each, so the
  // slices are not multiplied without bound.
  const std::uint64_t most_slices = std::max<std::uint64_t>(kMostSlicesPerThread * concurrency, last - first);
  while (!fits_in_memory(2 * concurrency, 1, table_bytes(slice_bits + extra, expected, direct)) &&
         slice_bits + extra < 40 && (last - first) << (extra + 1) <= most_slices)
    ++extra;
  require_memory(concurrency, 1, table_bytes(slice_bits + extra, expected, direct));

  const Slicing slicing{code.rank, slice_bits + extra};
  const std::size_t buckets = std::size_t{1} << std::min(slicing.bits, slicing.rank);
  std::vector<std::uint32_t> starts(buckets + 1, 0), positions(code.n + buckets);
  std::vector<std::uint64_t> bucket_of(code.n);
  for (unsigned b = 0; b < code.n; ++b) {
    bucket_of[b] = slicing.slice(code.keys[b] >> 1) >> (slicing.bits - std::min(slicing.bits, slicing.rank));
    ++starts[bucket_of[b] + 1];
  }
  for (std::size_t v = 0; v < buckets; ++v) starts[v + 1] += starts[v] + 1;  // + 1: the end mark
  {
    std::vector<std::uint32_t> fill(starts.begin(), starts.end() - 1);
    for (unsigned b = 0; b < code.n; ++b) positions[fill[bucket_of[b]]++] = b;  // ascending in each bucket
    for (std::size_t v = 0; v < buckets; ++v) positions[starts[v + 1] - 1] = code.n;
  }
  // Slices past the rank's bits hold no number: only those whose extra low
  // bits are zero are walked, and buckets are indexed by the bits a number has.
  const unsigned empty_bits = slicing.bits - std::min(slicing.bits, slicing.rank);

  std::mutex merge;
  const std::uint64_t slices = (last - first) << extra;
  pool::parallel_for(threads, slices, 1, [&](std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) {
      const std::uint64_t slice = (first << extra) + i;
      if (slice & ((std::uint64_t{1} << empty_bits) - 1)) continue;
      const Slicing shown{slicing.rank, slicing.bits - empty_bits};
      const auto walk = [&](auto& table) {
        return SliceWalk(code, shown, starts, positions, slice >> empty_bits, table).run(max_weight);
      };
      std::vector<std::uint64_t> part;
      if (direct) {
        DirectTable table(slicing.low_bits());
        part = walk(table);
      } else {
        HashedTable table(expected);
        part = walk(table);
      }
      const std::lock_guard lock(merge);
      for (unsigned w = 0; w <= max_weight; ++w) counts[w] += part[w];
    }
  });
  return counts;
}

std::vector<std::uint64_t> complete_failure_counts(std::uint64_t n_data, ecc::SupportRows checks,
                                                   std::span<const std::uint64_t> logical, pool::Threads threads) {
  return ecc::FailureSet(n_data, checks, logical, threads).counts_by_weight(threads);
}

}  // namespace tavik::qec
