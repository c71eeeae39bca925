#include "ecc/decoder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <string>

#include "ecc/memory_limit.h"
#include "errors.h"

namespace tavik::ecc {
namespace {

constexpr std::uint32_t kEmpty = ~std::uint32_t{0};

// The XOR of per-bit values over the set bits of a word, by one lookup in each
// half of the word.
class SplitXor {
 public:
  explicit SplitXor(const std::vector<std::uint32_t>& values)
      : low_bits_(static_cast<unsigned>(values.size() + 1) / 2),
        low_(fill(values, 0, low_bits_)),
        high_(fill(values, low_bits_, static_cast<unsigned>(values.size()))) {}

  std::uint32_t operator()(std::uint64_t word) const {
    return low_[word & ((std::uint64_t{1} << low_bits_) - 1)] ^ high_[word >> low_bits_];
  }

 private:
  static std::vector<std::uint32_t> fill(const std::vector<std::uint32_t>& values, unsigned from, unsigned to) {
    std::vector<std::uint32_t> t(std::size_t{1} << (to - from));
    for (std::size_t x = 1; x < t.size(); ++x) t[x] = t[x & (x - 1)] ^ values[from + std::countr_zero(x)];
    return t;
  }

  unsigned low_bits_;
  std::vector<std::uint32_t> low_, high_;
};

// The next larger word with the same number of set bits.
inline std::uint64_t next_combination(std::uint64_t v) {
  const std::uint64_t t = v | (v - 1);
  return (t + 1) | (((~t & (t + 1)) - 1) >> (std::countr_zero(v) + 1));
}

inline std::uint32_t reverse_bits(std::uint64_t k, unsigned n) {
  std::uint32_t out = 0;
  for (unsigned b = 0; b < n; ++b) out |= static_cast<std::uint32_t>((k >> b) & 1) << (n - 1 - b);
  return out;
}

// x^e by binary exponentiation, squaring from the lowest bit up; x^0 = 1.
double powi(double x, std::uint64_t e) {
  double result = e & 1 ? x : 1.0;
  while (e >>= 1) {
    x = x * x;
    if (e & 1) result = result * x;
  }
  return result;
}

// Σ W[popcount(k)] over the patterns k = 0 … 2^n − 1 (in that order) whose
// bit is set in `fails`, the bit of k being found from two halves of k: the
// key of a pattern is the XOR of its halves' keys and indexes `fails`.
struct FailureWalk {
  unsigned low_bits;
  std::vector<std::uint32_t> low_keys;
  std::vector<std::uint8_t> low_weights;
  std::vector<std::uint32_t> high_keys;
  std::vector<std::uint64_t> fails;  // bitset over keys
  std::vector<double> weights;       // by popcount
};

[[gnu::target_clones("avx2", "default")]]
double failure_sum(const FailureWalk& walk) {
  const std::size_t low_count = walk.low_keys.size();
  const std::size_t chunk = std::min<std::size_t>(64, low_count);
  const std::uint32_t* low_keys = walk.low_keys.data();
  const std::uint8_t* low_weights = walk.low_weights.data();
  const std::uint64_t* fails = walk.fails.data();
  // The one running sum, in pattern order.
  double acc = 0.0;
  for (std::size_t high = 0; high < walk.high_keys.size(); ++high) {
    const std::uint32_t hk = walk.high_keys[high];
    const double* w = walk.weights.data() + std::popcount(high);
    for (std::size_t base = 0; base < low_count; base += chunk) {
      std::uint64_t word = 0;
      for (std::size_t j = 0; j < chunk; ++j) {
        const std::uint32_t key = low_keys[base + j] ^ hk;
        word |= ((fails[key >> 6] >> (key & 63)) & 1) << j;
      }
      for (; word != 0; word &= word - 1) acc += w[low_weights[base + std::countr_zero(word)]];
    }
  }
  return acc;
}

}  // namespace

std::vector<std::uint64_t> stabilizer_masks(std::uint64_t n_data, const Supports& stabilizers) {
  if (n_data > kMaxDataQubits) throw SizeViolation("lookup decoding requires n_data <= 26");
  if (stabilizers.size() > kMaxStabilizers) throw SizeViolation("lookup decoding requires at most 32 Z-stabilizers");
  std::vector<std::uint64_t> masks;
  masks.reserve(stabilizers.size());
  for (const auto& support : stabilizers) {
    std::uint64_t mask = 0;
    for (std::uint64_t q : support) {
      if (q >= n_data)
        throw ValueError("stabilizer references data qubit " + std::to_string(q) + " but n_data is " +
                         std::to_string(n_data));
      mask |= std::uint64_t{1} << q;
    }
    masks.push_back(mask);
  }
  return masks;
}

SyndromeSpace::SyndromeSpace(unsigned n_data, const std::vector<std::uint64_t>& masks) {
  // Column q: the syndrome of flipping qubit q alone.
  std::vector<std::uint32_t> columns(n_data, 0);
  for (unsigned q = 0; q < n_data; ++q)
    for (std::size_t j = 0; j < masks.size(); ++j) columns[q] |= static_cast<std::uint32_t>((masks[j] >> q) & 1) << j;

  // Reduced echelon basis of the span: pivot[j] is the basis vector whose
  // highest bit is j, and no other basis vector has bit j set. A syndrome is
  // then the XOR of the basis vectors at its pivot bits, and comparing two
  // syndromes comes down to their pivot bits: packing those bits numbers the
  // space densely and in ascending order.
  std::array<std::uint32_t, 32> pivot{};
  for (std::uint32_t x : columns) {
    for (int j = 31; j >= 0 && x != 0; --j) {
      if (!((x >> j) & 1)) continue;
      if (pivot[j] == 0) {
        pivot[j] = x;
        break;
      }
      x ^= pivot[j];
    }
  }
  for (unsigned j = 0; j < 32; ++j)
    if (pivot[j] != 0)
      for (unsigned k = j + 1; k < 32; ++k)
        if ((pivot[k] >> j) & 1) pivot[k] ^= pivot[j];

  std::vector<unsigned> pivot_bits;
  for (unsigned j = 0; j < 32; ++j)
    if (pivot[j] != 0) {
      pivot_bits.push_back(j);
      basis_.push_back(pivot[j]);
    }
  columns_.resize(n_data);
  for (unsigned q = 0; q < n_data; ++q) {
    std::uint32_t index = 0;
    for (std::size_t i = 0; i < pivot_bits.size(); ++i) index |= ((columns[q] >> pivot_bits[i]) & 1) << i;
    columns_[q] = index;
  }
}

std::uint32_t SyndromeSpace::syndrome(std::uint32_t index) const {
  std::uint32_t s = 0;
  for (; index != 0; index &= index - 1) s ^= basis_[static_cast<unsigned>(std::countr_zero(index))];
  return s;
}

CorrectionTable build_table(std::uint64_t n_data, const std::vector<std::uint64_t>& masks) {
  const auto n = static_cast<unsigned>(n_data);
  CorrectionTable out{SyndromeSpace(n, masks), {}};
  const std::uint64_t size = out.space.size();
  require_memory(bytes_for(size, sizeof(std::uint32_t)));
  std::vector<std::uint32_t>& table = out.corrections;
  table.assign(size, kEmpty);

  // The defining walk visits counter k = 0, 1, … with qubit q at bit n−1−q of
  // k and keeps the first pattern of strictly smallest weight. The same
  // winners come from visiting weight by weight, each weight in ascending k:
  // the first pattern to reach an entry is then its winner, and once every
  // producible syndrome has one the rest of the walk cannot change anything.
  std::vector<std::uint32_t> counter_columns(n);
  for (unsigned b = 0; b < n; ++b) counter_columns[b] = out.space.column(n - 1 - b);
  const SplitXor index_of(counter_columns);

  table[0] = 0;  // the empty pattern, weight 0
  std::uint64_t filled = 1;
  const std::uint64_t end = std::uint64_t{1} << n;
  for (unsigned w = 1; w <= n && filled < size; ++w) {
    for (std::uint64_t k = (std::uint64_t{1} << w) - 1; k < end; k = next_combination(k)) {
      std::uint32_t& entry = table[index_of(k)];
      if (entry != kEmpty) continue;
      entry = reverse_bits(k, n);
      if (++filled == size) break;
    }
  }
  if (filled != size) throw Panic("assertion failed: every producible syndrome has a correction");
  return out;
}

LookupTable build_ecc_lookup_table(std::uint64_t n_data, const Supports& z_stabilizers) {
  const std::vector<std::uint64_t> masks = stabilizer_masks(n_data, z_stabilizers);
  // Each row becomes a tuple of two lists of small ints: about 200 bytes of
  // object headers plus 8 per list item, with the table's own 8 bytes.
  const std::uint64_t row_bytes = 208 + 8 * (n_data + masks.size());
  const unsigned rank = SyndromeSpace(static_cast<unsigned>(n_data), masks).rank();
  require_memory(bytes_for(std::uint64_t{1} << rank, row_bytes));
  return {static_cast<unsigned>(n_data), static_cast<unsigned>(masks.size()), build_table(n_data, masks)};
}

double logical_failure_probability(std::uint64_t n_data, const Supports& z_stabilizers,
                                   const std::vector<std::uint64_t>& logical_z, double physical_error_rate) {
  const std::vector<std::uint64_t> masks = stabilizer_masks(n_data, z_stabilizers);
  const CorrectionTable table = build_table(n_data, masks);
  const auto n = static_cast<unsigned>(n_data);

  std::uint64_t logical = 0;
  for (std::uint64_t q : logical_z) {
    if (q >= n_data)
      throw ValueError("logical_z references data qubit " + std::to_string(q) + " but n_data is " +
                       std::to_string(n_data));
    logical |= std::uint64_t{1} << q;
  }

  // A pattern k fails when parity(k & L) differs from parity(correction & L)
  // for its syndrome. Both parts are linear in k, so the key
  // (syndrome number << 1 | parity(k & L)) is the XOR of per-qubit keys, and
  // one bit per key says whether the pattern fails.
  FailureWalk walk;
  const std::uint64_t keys = std::uint64_t{2} << table.space.rank();
  walk.fails.assign((keys + 63) / 64, 0);
  for (std::uint64_t index = 0; index < table.space.size(); ++index) {
    const bool decoded_parity = std::popcount(table.corrections[index] & logical) & 1;
    for (std::uint64_t parity = 0; parity < 2; ++parity)
      if (parity != decoded_parity) {
        const std::uint64_t key = index << 1 | parity;
        walk.fails[key >> 6] |= std::uint64_t{1} << (key & 63);
      }
  }
  std::vector<std::uint32_t> qubit_keys(n);
  for (unsigned q = 0; q < n; ++q) qubit_keys[q] = table.space.column(q) << 1 | ((logical >> q) & 1);

  walk.low_bits = std::min(n, 12u);
  const auto key_of = [&](std::uint64_t k) {
    std::uint32_t key = 0;
    for (; k != 0; k &= k - 1) key ^= qubit_keys[static_cast<unsigned>(std::countr_zero(k))];
    return key;
  };
  walk.low_keys.resize(std::size_t{1} << walk.low_bits);
  walk.low_weights.resize(walk.low_keys.size());
  for (std::size_t k = 0; k < walk.low_keys.size(); ++k) {
    walk.low_keys[k] = key_of(k);
    walk.low_weights[k] = static_cast<std::uint8_t>(std::popcount(k));
  }
  walk.high_keys.resize(std::size_t{1} << (n - walk.low_bits));
  for (std::size_t h = 0; h < walk.high_keys.size(); ++h) walk.high_keys[h] = key_of(std::uint64_t{h} << walk.low_bits);

  // W[w]: the probability of one particular pattern of weight w.
  const double q = 1.0 - physical_error_rate;
  walk.weights.resize(n + 1);
  for (unsigned w = 0; w <= n; ++w) walk.weights[w] = powi(physical_error_rate, w) * powi(q, n - w);
  return failure_sum(walk);
}

}  // namespace tavik::ecc
