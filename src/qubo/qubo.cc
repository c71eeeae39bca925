#include "qubo/qubo.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "common/errors.h"
#include "common/interrupt.h"
#include "common/memory.h"
#include "common/progress_counter.h"
#include "qubo/qubo_walk.h"
#include "sim/energy_keys.h"

namespace tavik::qubo {
namespace {

using walk::kLaneBits;
using walk::kLanes;

constexpr double kUnitRoundoff = 0x1p-53;
constexpr double kInf = std::numeric_limits<double>::infinity();

// Blocks walked between two exact restarts of the running state: the
// rounding error bound grows with their square (below), the restart costs
// about as much as a dozen blocks.
constexpr std::uint64_t kRestartBlocks = 256;

// Parts: up to 2^10, each of at least 2^8 blocks, so that a part amortises
// its setup and the parts balance the threads.
constexpr unsigned kMaxTopBits = 10;
constexpr unsigned kMinMiddleBits = 8;

struct Shape {
  unsigned low, middle, top;
};

Shape shape_of(std::uint64_t n_vars) {
  const auto n = static_cast<unsigned>(n_vars);
  const unsigned low = std::min(n, kLaneBits);
  const unsigned rest = n - low;
  const unsigned top = rest > kMinMiddleBits ? std::min(rest - kMinMiddleBits, kMaxTopBits) : 0;
  return {low, rest - top, top};
}

double up(double x) { return std::nextafter(x, kInf); }
double down(double x) { return std::nextafter(x, -kInf); }

// The exponent of x's lowest set bit: x is a whole multiple of 2^that.
int lowest_bit_exponent(double x) {
  int e = 0;
  const double m = std::frexp(std::abs(x), &e);  // x = m·2^e, m in [0.5, 1)
  const auto mantissa = static_cast<std::uint64_t>(std::ldexp(m, 53));
  return e - 53 + std::countr_zero(mantissa);
}

std::uint64_t key_of(double energy) {
  std::uint64_t keys[2];
  sim::store_keys<2>(sim::blocks::Width<2>::Vec{energy, energy}, keys);
  return keys[0];
}

// Every energy whose key is at most `key` is at most this: its product with
// 1e9 rounds to at most key + 1/2, within a relative 2^-53 of the exact
// product, and the conversions here add their own slack.
double level_bound(std::uint64_t key) {
  const auto k = static_cast<double>(static_cast<std::int64_t>(key ^ sim::kKeyBias));
  const double e = (k + 1.0 + std::abs(k) * 0x1p-50) / 1e9;
  return e + std::abs(e) * 0x1p-50;
}

// The model as the walk reads it: the coefficients of its binary form
//   E(x) = c0 + Σ_i a_i·x_i + Σ_{i<j} b_ij·x_i·x_j,
// b symmetric, a on the diagonal (spin models through s = 2x − 1), and how
// far a running energy may be from the model's own sum.
//
// The error bound. u = 2^-53; every add rounds by at most u·|its result|
// (sums of doubles never underflow inexactly). Let M bound Σ|coefficients|
// and R bound each variable's row Σ_i |b_ij| + |a_j|: every partial sum the
// walk forms is a sum of a subset of the coefficients, signed, so at most M,
// and a field's partial sums at most R. Counting adds:
//  - a part's start (linear terms with the top couplings folded in, the top
//    energy, each lane's low energy) and a restart (fields, A, V) add at
//    most n terms into each field (error ≤ n·u·R_j each, Σ_j R_j ≤ 2M) and at
//    most n fields or coefficients into A or V: |A| and |V| err by at most
//    (3n + 2n + 2n)·u·M and (n + 5n)·u·M;
//  - each of the G ≤ kRestartBlocks steps since a restart adds one rounding
//    of u·M to A and to V, and one of u·R to every field, so the field that
//    step s adds into A errs by a further s·u·R: Σ_s s·u·R ≤ G²/2·u·R. A
//    field's error from its start enters A with alternating signs as its
//    variable flips on and off, so at most once (counted above);
//  - the final A + V rounds once more: u·M.
// So the walk's energy R̂ is within δ_R = u·((13n + 2G + 1)·M + G²/2·R) of
// the exact energy of the rounded coefficients. Those are within
// δ_c = (m + 2n + 2)·u·c·S of the true ones summed (m terms, S = |offset| +
// Σ|w|, c = 1 binary, 9 spin: the spin form's coefficients add up to at most
// 9·S), and the model's own sum, m adds of partial sums at most S, is within
// δ_F = m·u·S of the true energy. Any state's walk energy and its model sum
// are therefore within δ_R + δ_c + δ_F; `delta` is twice that, rounded up.
// (Each bound holds while the counts times u stay far below 2^-20, which
// scales M, R and S up: true for n ≤ 48 and fewer than 2^32 terms.)
//
// When every weight and the offset are whole multiples of one power of two
// 2^e and c·S < 2^(e+51), every sum here, in any order, is a multiple of 2^e
// below 2^(e+53): exact. Then the walk's energies are the model's sums
// themselves and delta is 0.
struct Prepared {
  Prepared(const Model& model, Shape shape);

  const Model& model;
  Shape shape;
  unsigned n;
  std::vector<double> coef;  // n × n
  double c0 = 0.0;
  double delta = 0.0;
  bool exact = false;
  std::vector<double> lane_sums, couplings;
  walk::Tables tables{};

  double b(std::size_t i, std::size_t j) const { return coef[i * n + j]; }
  void start(std::uint64_t part, walk::PartStart& p) const;
};

Prepared::Prepared(const Model& m, Shape s) : model(m), shape(s), n(static_cast<unsigned>(m.n_vars)), coef(n * n, 0.0) {
  const QuboView& t = model.terms;
  const bool spin = model.vartype == Vartype::spin;
  for (std::size_t k = 0; k < t.size(); ++k) {
    const auto i = static_cast<std::size_t>(t.rows[k]), j = static_cast<std::size_t>(t.cols[k]);
    coef[i * n + j] += t.weights[k];
    if (i != j) coef[j * n + i] += t.weights[k];
  }
  c0 = model.offset + 0.0;
  if (spin) {  // h·s = 2h·x − h; J·s_i·s_j = 4J·x_i·x_j − 2J·x_i − 2J·x_j + J
    for (std::size_t i = 0; i < n; ++i) {
      c0 -= coef[i * n + i];
      double row = 0.0;
      for (std::size_t j = 0; j < n; ++j)
        if (j != i) {
          row += coef[i * n + j];
          if (j > i) c0 += coef[i * n + j];
        }
      coef[i * n + i] = 2.0 * coef[i * n + i] - 2.0 * row;
    }
    for (std::size_t i = 0; i < n; ++i)
      for (std::size_t j = 0; j < n; ++j)
        if (j != i) coef[i * n + j] *= 4.0;
  }

  const double slack = 1.0 + 0x1p-20;
  double sum_w = std::abs(model.offset);
  int e_min = model.offset != 0.0 ? lowest_bit_exponent(model.offset) : std::numeric_limits<int>::max();
  for (const double w : t.weights) {
    sum_w += std::abs(w);
    if (w != 0.0) e_min = std::min(e_min, lowest_bit_exponent(w));
  }
  const double S = sum_w * slack, scale = spin ? 9.0 : 1.0;
  double sum_c = std::abs(c0), row_max = 0.0;
  for (std::size_t j = 0; j < n; ++j) {
    double row = 0.0;
    for (std::size_t i = 0; i < n; ++i) row += std::abs(coef[i * n + j]);
    row_max = std::max(row_max, row);
    sum_c += std::abs(coef[j * n + j]);
    for (std::size_t i = j + 1; i < n; ++i) sum_c += std::abs(coef[i * n + j]);
  }
  const double M = sum_c * slack, R = row_max * slack;
  const double G = static_cast<double>(kRestartBlocks), terms = static_cast<double>(t.size());
  const double walk_error = kUnitRoundoff * ((13.0 * n + 2.0 * G + 1.0) * M + G * G / 2.0 * R);
  const double coefficient_error = (terms + 2.0 * n + 2.0) * kUnitRoundoff * scale * S;
  const double sum_error = terms * kUnitRoundoff * S;
  delta = up(2.0 * (walk_error + coefficient_error + sum_error) * slack);
  exact = e_min == std::numeric_limits<int>::max() || scale * S < std::ldexp(1.0, std::max(e_min + 51, -1074));
  if (exact) delta = 0.0;

  // c_j[l]: middle variable j's couplings to the low variables set in lane l,
  // in increasing order; the rows of B among the middle variables.
  const unsigned low = shape.low;
  const std::size_t middle = shape.middle, stride = (middle + walk::kFieldPad - 1) / walk::kFieldPad * walk::kFieldPad;
  lane_sums.assign(2 * middle * kLanes, 0.0);
  couplings.assign(2 * middle * stride, 0.0);
  for (std::size_t j = 0; j < middle; ++j) {
    const std::size_t var = low + j;
    double* pos = &lane_sums[2 * j * kLanes];
    for (std::size_t l = 0; l < (std::size_t{1} << low); ++l) {
      double sum = 0.0;
      for (unsigned i = 0; i < low; ++i)
        if ((l >> i) & 1) sum += b(i, var);
      pos[l] = sum;
      pos[kLanes + l] = -sum;
    }
    double* row = &couplings[2 * j * stride];
    for (std::size_t i = 0; i < middle; ++i) {
      row[i] = i == j ? 0.0 : b(low + i, var);
      row[stride + i] = -row[i];
    }
  }
  tables = {middle, stride, lane_sums.data(), couplings.data()};
}

// Folds the part's top bits into the middle variables' linear terms and the
// top energy, and sums each lane's low energy, every sum in increasing
// variable order.
void Prepared::start(std::uint64_t part, walk::PartStart& p) const {
  const unsigned low = shape.low, first_top = low + shape.middle;
  auto folded = [&](std::size_t j, unsigned below, std::uint64_t bits, unsigned from) {
    double sum = b(j, j);
    for (unsigned i = from; i < below; ++i)
      if ((bits >> i) & 1) sum += b(i, j);
    return sum;
  };
  const std::uint64_t top_bits = part << first_top;
  p.top_energy = c0;
  for (unsigned i = first_top; i < n; ++i)
    if ((top_bits >> i) & 1) p.top_energy += folded(i, i, top_bits, first_top);
  std::fill(std::begin(p.linear), std::end(p.linear), 0.0);
  for (std::size_t j = 0; j < shape.middle; ++j) p.linear[j] = folded(low + j, n, top_bits, first_top);
  double low_linear[kLaneBits];
  for (unsigned i = 0; i < low; ++i) low_linear[i] = folded(i, n, top_bits, first_top);
  for (std::size_t l = 0; l < kLanes; ++l) {
    if (l >> low) {
      p.lanes[l] = std::numeric_limits<double>::quiet_NaN();
      continue;
    }
    double sum = 0.0;
    for (unsigned i = 0; i < low; ++i) {
      if (!((l >> i) & 1)) continue;
      double field = low_linear[i];
      for (unsigned h = 0; h < i; ++h)
        if ((l >> h) & 1) field += b(h, i);
      sum += field;
    }
    p.lanes[l] = sum;
  }
}

struct Entry {
  double energy;
  std::uint64_t index;
  friend bool operator<(const Entry& x, const Entry& y) {
    return x.energy < y.energy || (x.energy == y.energy && x.index < y.index);
  }
};

// The k lowest (energy, index) pairs of the assignments offered, in a
// max-heap. An assignment is offered with its walk energy and may be taken
// only if that is at most threshold().
class LowestSink {
 public:
  LowestSink(const Prepared& p, std::uint64_t k) : p_(p), k_(k) {}

  double threshold() const { return threshold_; }

  void offer(double walk_energy, std::uint64_t index) {
    if (!(walk_energy <= threshold_)) return;
    Entry e{walk_energy, index};
    if (!p_.exact) {
      poll_interrupt(p_.model.terms.size());
      e.energy = energy(p_.model, index);
    }
    if (heap_.size() == k_) {
      if (!(e < heap_.front())) return;
      std::pop_heap(heap_.begin(), heap_.end());
      heap_.back() = e;
    } else {
      heap_.push_back(e);
    }
    std::push_heap(heap_.begin(), heap_.end());
    if (heap_.size() == k_) threshold_ = p_.exact ? heap_.front().energy : up(heap_.front().energy + p_.delta);
  }

  std::vector<Entry>& entries() { return heap_; }

 private:
  const Prepared& p_;
  std::uint64_t k_;
  std::vector<Entry> heap_;
  double threshold_ = kInf;
};

// The k lowest keys of the assignments offered, each with the number of
// assignments having it. A walk energy whose interval ± delta keeps one key
// is counted without evaluating the model again.
class LevelSink {
 public:
  LevelSink(const Prepared& p, std::uint64_t k) : p_(p), k_(k) {}

  double threshold() const { return threshold_; }

  void offer(double walk_energy, std::uint64_t index) {
    if (!(walk_energy <= threshold_)) return;
    std::uint64_t key;
    if (p_.exact) {
      key = key_of(walk_energy);
    } else {
      key = key_of(down(walk_energy - p_.delta));
      if (key != key_of(up(walk_energy + p_.delta))) {
        poll_interrupt(p_.model.terms.size());
        key = key_of(energy(p_.model, index));
      }
    }
    if (last_ != table_.end() && last_->first == key) {
      ++last_->second;
      return;
    }
    if (table_.size() == k_ && key > table_.rbegin()->first) return;
    last_ = table_.try_emplace(key, 0).first;
    ++last_->second;
    if (table_.size() > k_) {
      table_.erase(std::prev(table_.end()));
      last_ = table_.end();
    }
    if (table_.size() == k_) threshold_ = up(level_bound(table_.rbegin()->first) + p_.delta);
  }

  std::map<std::uint64_t, std::uint64_t>& table() { return table_; }

 private:
  const Prepared& p_;
  std::uint64_t k_;
  std::map<std::uint64_t, std::uint64_t> table_;
  std::map<std::uint64_t, std::uint64_t>::iterator last_ = table_.end();
  double threshold_ = kInf;
};

// Walks parts [first, last), offering `sink` every lane that passes its
// threshold, block by block.
template <class Sink>
void walk_parts(const Prepared& p, std::uint64_t first, std::uint64_t last, Sink& sink, std::uint64_t* progress) {
  walk::PartStart start;
  walk::State state;
  const unsigned low = p.shape.low, middle = p.shape.middle;
  const std::uint64_t blocks = std::uint64_t{1} << middle, chunk = std::min(kRestartBlocks, blocks);
  const std::size_t lanes = std::size_t{1} << low;
  for (std::uint64_t part = first; part < last; ++part) {
    p.start(part, start);
    const std::uint64_t part_base = part << (low + middle);
    for (std::uint64_t s0 = 0; s0 < blocks; s0 += chunk) {
      poll_interrupt(chunk * kLanes);
      walk::restart(p.tables, start, state, walk::gray(s0));
      bool stepped = true;
      for (std::uint64_t s = s0, end = s0 + chunk; s < end; ++s, stepped = false) {
        s = walk::walk(p.tables, state, s, end, sink.threshold(), stepped);
        if (s == end) break;
        const double below = sink.threshold() - state.a;
        const std::uint64_t base = part_base | (walk::gray(s) << low);
        for (std::size_t l = 0; l < lanes; ++l)
          if (state.v[l] <= below) sink.offer((state.a + state.v[l]) + 0.0, base | l);
      }
      add_progress(progress, chunk << low);
    }
  }
}

// Runs walk_parts over parts [first, last) on `threads`, each run into a
// sink of its own, and merges every sink into one with `merge` (under a
// lock): the selections are exact, so the result does not depend on how the
// parts were shared out.
template <class Sink, class Merge>
void walk_all(const Prepared& p, std::uint64_t k, std::uint64_t first, std::uint64_t last, std::uint64_t* progress,
              pool::Threads threads, Merge merge) {
  std::mutex mutex;
  pool::parallel_for(threads, last - first, 1, [&](std::size_t begin, std::size_t end) {
    Sink sink(p, k);
    walk_parts(p, first + begin, first + end, sink, progress);
    const std::lock_guard lock(mutex);
    merge(sink);
  });
}

}  // namespace

void check(const Model& model) {
  if (model.n_vars > kMaxVariables)
    throw SizeViolation("model has " + std::to_string(model.n_vars) + " variables; exact enumeration takes at most " +
                        std::to_string(kMaxVariables));
  const QuboView& t = model.terms;
  double sum = std::abs(model.offset);
  if (!std::isfinite(model.offset)) throw ValueError("model: the offset must be finite");
  for (std::size_t k = 0; k < t.size(); ++k) {
    check_input_index(t.rows[k], model.n_vars, {"model", "rows", "n_vars"}, k);
    check_input_index(t.cols[k], model.n_vars, {"model", "cols", "n_vars"}, k);
    if (!std::isfinite(t.weights[k]))
      throw ValueError("model: the weight of term " + std::to_string(k) + " (variables " + std::to_string(t.rows[k]) +
                       ", " + std::to_string(t.cols[k]) + ") must be finite, not " + std::to_string(t.weights[k]));
    sum += std::abs(t.weights[k]);
  }
  // The spin form's coefficients reach 9 times this, and the error bound
  // multiplies it by a few more.
  if (!(sum < 0x1p1000))
    throw ValueError("model: the magnitudes of the weights must sum to less than 2^1000");
}

double energy(const Model& model, std::uint64_t index) {
  const QuboView& t = model.terms;
  // Sums start at +0.0 and so are never −0.0: adding ±0.0 for an inactive
  // binary term changes nothing, as in tavik_core's spectrum, which skips it.
  double e = model.offset + 0.0;
  if (model.vartype == Vartype::binary) {
    for (std::size_t k = 0; k < t.size(); ++k)
      e += ((index >> t.rows[k]) & (index >> t.cols[k]) & 1) ? t.weights[k] : 0.0;
  } else {
    for (std::size_t k = 0; k < t.size(); ++k) {
      const std::uint64_t i = (index >> t.rows[k]) & 1, j = (index >> t.cols[k]) & 1;
      const bool negative = t.rows[k] == t.cols[k] ? i == 0 : i != j;
      e += negative ? -t.weights[k] : t.weights[k];
    }
  }
  return e;
}

std::uint64_t part_count(std::uint64_t n_vars) {
  return std::uint64_t{1} << shape_of(std::min(n_vars, kMaxVariables)).top;
}

std::uint64_t lowest_count(std::uint64_t n_vars, std::uint64_t k, std::uint64_t first, std::uint64_t last) {
  const std::uint64_t n = std::min(n_vars, kMaxVariables), parts = part_count(n);
  if (first >= last || last > parts)
    throw ValueError("parts: expected 0 <= first < last <= " + std::to_string(parts) + ", got " +
                     std::to_string(first) + " and " + std::to_string(last));
  return std::min(k, (last - first) << (n - shape_of(n).top));
}

void lowest(const Model& model, std::uint64_t k, std::uint64_t first, std::uint64_t last, std::span<double> energies,
            std::span<std::uint64_t> indices, std::uint64_t* progress, pool::Threads threads) {
  check(model);
  if (k == 0) throw ValueError("k: must be >= 1, got 0");
  const std::size_t m = lowest_count(model.n_vars, k, first, last);
  if (energies.size() != m || indices.size() != m) throw Panic("lowest: result spans of the wrong size");
  // A heap per thread at a time, and the merged heaps (up to twice the result).
  require_memory(m, pool::concurrency() + 3, sizeof(Entry));
  const Prepared p(model, shape_of(model.n_vars));
  std::vector<Entry> best;
  walk_all<LowestSink>(p, m, first, last, progress, threads, [&](LowestSink& sink) {
    best.insert(best.end(), sink.entries().begin(), sink.entries().end());
    if (best.size() > m) {
      std::nth_element(best.begin(), best.begin() + static_cast<std::ptrdiff_t>(m), best.end());
      best.resize(m);
    }
  });
  std::sort(best.begin(), best.end());
  for (std::size_t r = 0; r < m; ++r) {
    energies[r] = best[r].energy;
    indices[r] = best[r].index;
  }
}

std::vector<Level> levels(const Model& model, std::uint64_t k, std::uint64_t* progress, pool::Threads threads) {
  check(model);
  if (k == 0) throw ValueError("k: must be >= 1, got 0");
  k = std::min(k, std::uint64_t{1} << model.n_vars);
  // A map node each, in a table per thread at a time and the merged one.
  require_memory(k, pool::concurrency() + 1, 64);
  const Prepared p(model, shape_of(model.n_vars));
  std::map<std::uint64_t, std::uint64_t> merged;
  walk_all<LevelSink>(p, k, 0, part_count(model.n_vars), progress, threads, [&](LevelSink& sink) {
    for (const auto& [key, count] : sink.table()) merged[key] += count;
    while (merged.size() > k) merged.erase(std::prev(merged.end()));
  });
  std::vector<Level> out;
  out.reserve(merged.size());
  for (const auto& [key, count] : merged) {
    if (sim::key_saturated(key))
      throw ValueError("model: an energy among the lowest levels lies beyond ±9.2e9, where levels (energy × 1e9, "
                       "rounded) are no longer told apart; scale the model down");
    out.push_back({sim::key_energy(key), count});
  }
  return out;
}

}  // namespace tavik::qubo
