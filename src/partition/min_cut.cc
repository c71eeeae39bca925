// The minimum cut by safe contractions. Each round works on the graph whose
// vertices are groups of input nodes (super-nodes) and:
//  1. takes the cut around every super-node (its degree) as a candidate:
//     the best one so far is λ̂, a cut the call can return;
//  2. marks pairs that no minimum cut below λ̂ needs to separate (the rules
//     below, each with the property that makes it safe), and the last two
//     vertices of a maximum-adjacency ordering;
//  3. contracts every marked pair at once (a union-find over super-nodes).
// If the minimum λ is below λ̂, some minimum cut crosses no marked pair, so
// it survives contraction and a later round finds it as a super-node's
// degree; if λ = λ̂, the call already holds a minimum side. Every round
// contracts at least the ordering's last pair, so the rounds end.
//
// The rules compare sums of weights, and must compare them exactly: a rule
// misjudged by rounding could contract a minimum cut away. Weights are
// whole multiples of the input's lowest set bit; below 2^53 of that unit
// (integers, dyadic fractions) doubles sum them exactly, below 2^126 the
// 128-bit integers of Wide do (any weights whose range spans less than some
// 2^70). Only inputs beyond both (1e-300 beside 1.0) are judged in doubles,
// each rule by a margin that covers any rounding, with candidate cuts
// compared by their exact sums; there the ordering's last pair is still
// contracted to make progress, which rounding can in principle misjudge.
#include "partition/min_cut.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numeric>
#include <string>
#include <type_traits>

#include "common/errors.h"
#include "common/interrupt.h"
#include "common/memory.h"

namespace tavik::min_cut {

// --- exact sums -------------------------------------------------------------

void ExactSum::add(double term) {
  const auto bits = std::bit_cast<std::uint64_t>(term);
  const std::uint64_t exponent = bits >> 52, fraction = bits & ((std::uint64_t{1} << 52) - 1);
  // term = mantissa · 2^(position - 1074): subnormals have the lowest position.
  const std::uint64_t mantissa = exponent == 0 ? fraction : fraction | (std::uint64_t{1} << 52);
  const std::size_t position = exponent == 0 ? 0 : static_cast<std::size_t>(exponent - 1);
  const std::size_t d = position / 32;
  const unsigned shift = position % 32;
  constexpr std::uint64_t kMask = 0xFFFF'FFFF;
  digits_[d] += (mantissa << shift) & kMask;
  digits_[d + 1] += (shift == 0 ? mantissa >> 32 : mantissa >> (32 - shift)) & kMask;
  if (shift != 0) digits_[d + 2] += mantissa >> (64 - shift);
  // Each digit takes under 2^32 a term: 2^30 terms leave room for carries.
  if (++pending_ == (std::uint32_t{1} << 30)) normalise();
}

void ExactSum::normalise() const {
  std::uint64_t carry = 0;
  for (std::uint64_t& digit : digits_) {
    const std::uint64_t v = digit + carry;
    digit = v & 0xFFFF'FFFF;
    carry = v >> 32;
  }
  pending_ = 0;
}

double ExactSum::rounded() const {
  normalise();
  std::size_t top = kDigits;
  while (top > 0 && digits_[top - 1] == 0) --top;
  if (top == 0) return 0.0;
  const auto bit = [&](std::size_t i) { return (digits_[i / 32] >> (i % 32)) & 1; };
  const std::size_t high = 32 * (top - 1) + (31 - static_cast<std::size_t>(std::countl_zero(
                                                      static_cast<std::uint32_t>(digits_[top - 1]))));
  if (high < 53) {  // below 2^53 units of 2^-1074: exactly a double
    std::uint64_t n = 0;
    for (std::size_t i = high + 1; i-- > 0;) n = n << 1 | bit(i);
    return std::ldexp(static_cast<double>(n), -1074);
  }
  const std::size_t low = high - 52;  // the 53 bits [low, high] are the mantissa
  std::uint64_t mantissa = 0;
  for (std::size_t i = high + 1; i-- > low;) mantissa = mantissa << 1 | bit(i);
  const bool half = bit(low - 1) != 0;
  bool sticky = false;
  for (std::size_t i = 0; i < (low - 1) / 32 && !sticky; ++i) sticky = digits_[i] != 0;
  for (std::size_t i = (low - 1) / 32 * 32; i < low - 1 && !sticky; ++i) sticky = bit(i) != 0;
  if (half && (sticky || (mantissa & 1))) ++mantissa;  // to nearest, ties to even
  return std::ldexp(static_cast<double>(mantissa), static_cast<int>(low) - 1074);
}

int compare(const ExactSum& a, const ExactSum& b) {
  a.normalise();
  b.normalise();
  for (std::size_t i = ExactSum::kDigits; i-- > 0;)
    if (a.digits_[i] != b.digits_[i]) return a.digits_[i] < b.digits_[i] ? -1 : 1;
  return 0;
}

namespace {

constexpr std::uint32_t kNone = 0xFFFF'FFFF;
// Node and edge ids are 32-bit, with kNone spare.
constexpr std::uint64_t kLimit = kNone - 1;
constexpr std::uint64_t kNoPlace = ~std::uint64_t{0};

// Weights as whole multiples of the input's lowest set bit, in 128 bits:
// exact sums for inputs whose weights are not all multiples of one power of
// two below 2^53 of it (most real-valued inputs span far fewer than 2^70).
struct Wide {
  std::uint64_t hi = 0, lo = 0;
  Wide& operator+=(Wide b) {
    lo += b.lo;
    hi += b.hi + (lo < b.lo);
    return *this;
  }
  friend bool operator==(Wide a, Wide b) { return a.hi == b.hi && a.lo == b.lo; }
  friend bool operator<(Wide a, Wide b) { return a.hi != b.hi ? a.hi < b.hi : a.lo < b.lo; }
  friend bool operator>(Wide a, Wide b) { return b < a; }
  friend bool operator>=(Wide a, Wide b) { return !(a < b); }
};

double twice(double w) { return 2 * w; }
Wide twice(Wide w) { return {w.hi << 1 | w.lo >> 63, w.lo << 1}; }
template <class W>
W unbounded() {
  if constexpr (std::is_same_v<W, double>) {
    return std::numeric_limits<double>::infinity();
  } else {
    return {~std::uint64_t{0}, ~std::uint64_t{0}};
  }
}

// A weight > 0 as mantissa · 2^(place - 1074), the mantissa's lowest bit set.
struct Bits {
  std::uint64_t mantissa;
  int place;
};
Bits bits_of(double w) {
  const auto bits = std::bit_cast<std::uint64_t>(w);
  const auto exponent = static_cast<int>(bits >> 52);
  std::uint64_t mantissa = (bits & ((std::uint64_t{1} << 52) - 1)) | (exponent ? std::uint64_t{1} << 52 : 0);
  int place = exponent ? exponent - 1 : 0;
  const int zeros = std::countr_zero(mantissa);
  return {mantissa >> zeros, place + zeros};
}

// A graph on super-nodes 0..n-1, as compressed rows; no self-loops, one
// entry per neighbour, weights > 0.
template <class W>
struct Graph {
  std::size_t n = 0;
  std::vector<std::uint64_t> start;
  std::vector<std::uint32_t> to;
  std::vector<W> weight;
  std::vector<W> degree;
};

// Whether a computed sum surely is at least another: exactly when sums are
// exact, and otherwise only by the margin `slack`. A sum of k of the input
// weights, added in any grouping, is within a factor (1 + u)^k of the true
// one (u = 2^-53, every term non-negative); slack = 4(M + 2)u, for M the
// number of weights, covers both sides' errors and that of the product.
//
// An ordering's certificates rest on each chosen vertex being the most
// attached: with rounded attachments that holds only within the same factor,
// and the proofs' chains of inequalities then lose at most 3γ of each chosen
// vertex's attachment, 3γ of the graph's total weight in all; `margin`
// (slack times the sum of degrees) covers that. Wide weights are exact.
struct Sure {
  double slack;
  double margin = 0;
  bool at_least(double a, double b) const { return slack == 0 ? a >= b : a >= b * (1 + slack); }
  bool ordered_at_least(double a, double b) const { return at_least(a - margin, b); }
  bool at_least(Wide a, Wide b) const { return a >= b; }
  bool ordered_at_least(Wide a, Wide b) const { return a >= b; }
};

class UnionFind {
 public:
  void reset(std::size_t n) {
    parent_.resize(n);
    std::iota(parent_.begin(), parent_.end(), std::uint32_t{0});
    unions_ = 0;
  }
  std::uint32_t find(std::uint32_t v) {
    while (parent_[v] != v) v = parent_[v] = parent_[parent_[v]];
    return v;
  }
  void unite(std::uint32_t a, std::uint32_t b) {
    a = find(a), b = find(b);
    if (a == b) return;
    if (a > b) std::swap(a, b);
    parent_[b] = a;  // the lower root stays: the result never depends on the order of unions
    ++unions_;
  }
  std::size_t unions() const { return unions_; }

 private:
  std::vector<std::uint32_t> parent_;
  std::size_t unions_ = 0;
};

// The vertices not yet in a maximum-adjacency ordering, the most tightly
// attached first and the lowest index among equals.
template <class W>
class Frontier {
 public:
  void reset(std::size_t n) {
    slot_.assign(n, kNone);
    heap_.clear();
  }
  bool empty() const { return heap_.empty(); }
  void raise(std::uint32_t v, W key) {
    std::size_t i = slot_[v];
    if (i == kNone) {
      i = heap_.size();
      heap_.push_back({key, v});
    }
    heap_[i].key = key;
    const Node node = heap_[i];
    for (; i > 0 && before(node, heap_[(i - 1) / 2]); i = (i - 1) / 2) place(i, heap_[(i - 1) / 2]);
    place(i, node);
  }
  std::uint32_t pop() {
    const std::uint32_t v = heap_[0].vertex;
    const Node last = heap_.back();
    heap_.pop_back();
    slot_[v] = kDone;
    if (heap_.empty()) return v;
    std::size_t i = 0;
    for (;;) {
      std::size_t c = 2 * i + 1;
      if (c >= heap_.size()) break;
      if (c + 1 < heap_.size() && before(heap_[c + 1], heap_[c])) ++c;
      if (!before(heap_[c], last)) break;
      place(i, heap_[c]);
      i = c;
    }
    place(i, last);
    return v;
  }
  bool done(std::uint32_t v) const { return slot_[v] == kDone; }

 private:
  static constexpr std::uint32_t kDone = kNone - 1;
  struct Node {
    W key;
    std::uint32_t vertex;
  };
  static bool before(const Node& a, const Node& b) { return a.key > b.key || (a.key == b.key && a.vertex < b.vertex); }
  void place(std::size_t i, const Node& node) {
    heap_[i] = node;
    slot_[node.vertex] = static_cast<std::uint32_t>(i);
  }
  std::vector<std::uint32_t> slot_;
  std::vector<Node> heap_;
};

template <class W>
class Search {
 public:
  // `unit`: for Wide weights, the place of the input's lowest set bit.
  Search(EdgeView edges, std::size_t n, pool::Threads threads, double slack, int unit = 0)
      : edges_(edges), n_(n), threads_(threads), sure_{slack}, unit_(unit) {
    incidence();
    label_.resize(n);
    std::iota(label_.begin(), label_.end(), std::uint32_t{0});
  }

  // The input nodes, grouped: false when the graph is disconnected, with
  // `side` the smallest component.
  bool connected(std::vector<std::uint64_t>& side) {
    UnionFind components;
    components.reset(n_);
    for (std::size_t v = 0; v < n_; ++v)
      for (std::uint64_t k = inc_start_[v]; k < inc_start_[v + 1]; ++k) {
        poll_.step();
        components.unite(static_cast<std::uint32_t>(v), inc_other_[k]);
      }
    std::vector<std::uint32_t> size(n_, 0);
    for (std::size_t v = 0; v < n_; ++v) ++size[components.find(static_cast<std::uint32_t>(v))];
    std::uint32_t smallest = components.find(0);
    if (size[smallest] == n_) return true;
    for (std::uint32_t v = 0; v < n_; ++v)  // roots are their components' lowest nodes
      if (components.find(v) == v && size[v] < size[smallest]) smallest = v;
    for (std::uint32_t v = 0; v < n_; ++v)
      if (components.find(v) == smallest) side.push_back(v);
    return false;
  }

  std::vector<std::uint64_t> run() {
    first_graph();
    UnionFind marks;
    std::vector<std::uint8_t> role;
    // One super-node left has no cut; two have one, their degree.
    while (graph_.n > 1) {
      trivial_cuts();
      const std::size_t n = graph_.n;
      if (n == 2) break;
      marks.reset(n);
      role.assign(n, 0);
      padberg_rinaldi(marks, role);
      // The tests alone often shrink the graph a lot for little work; the
      // ordering (a heap over every edge) waits until they stop doing so.
      if (marks.unions() <= n / 16) ordering(marks);
      contract(marks);
    }
    return best_side_;
  }

 private:
  // The input edges of weight > 0 and not loops, by node, for the exact sums
  // of the cuts: edge ids ascending within each node, and beside each its
  // other end (read in order later, where the edge's own would be a random
  // read).
  void incidence() {
    inc_start_.assign(n_ + 1, 0);
    for (std::size_t k = 0; k < edges_.size(); ++k)
      if (counts(k)) ++inc_start_[edges_.first[k] + 1], ++inc_start_[edges_.second[k] + 1];
    for (std::size_t v = 0; v < n_; ++v) inc_start_[v + 1] += inc_start_[v];
    inc_edge_.resize(inc_start_[n_]);
    inc_other_.resize(inc_start_[n_]);
    std::vector<std::uint64_t> next(inc_start_.begin(), inc_start_.end() - 1);
    for (std::size_t k = 0; k < edges_.size(); ++k) {
      poll_.step();
      if (!counts(k)) continue;
      const auto u = static_cast<std::uint32_t>(edges_.first[k]), v = static_cast<std::uint32_t>(edges_.second[k]);
      inc_edge_[next[u]] = static_cast<std::uint32_t>(k);
      inc_other_[next[u]++] = v;
      inc_edge_[next[v]] = static_cast<std::uint32_t>(k);
      inc_other_[next[v]++] = u;
    }
  }
  bool counts(std::size_t k) const { return edges_.weights[k] > 0 && edges_.first[k] != edges_.second[k]; }

  // The input graph with parallel edges summed (in input order). Rows are
  // independent: jobs of whole rows, each with places of its own, fill each
  // row where its incidence starts (room for all its entries), and the rows
  // are then packed in order; the same graph on any number of threads.
  void first_graph() {
    Graph<W>& g = graph_;
    g.n = n_;
    g.start.assign(n_ + 1, 0);
    g.to.resize(inc_edge_.size());
    g.weight.resize(inc_edge_.size());
    g.degree.resize(n_);
    // A few jobs a thread, at most eight in all: each keeps n places.
    const std::size_t jobs = std::min<std::size_t>({8, 2 * pool::concurrency(), n_});
    std::vector<std::size_t> first_row(jobs + 1, n_);
    for (std::size_t j = 0, v = 0; j < jobs; ++j) {  // rows split by their entries
      while (v < n_ && inc_start_[v] < inc_start_[n_] / jobs * j) ++v;
      first_row[j] = v;
    }
    std::vector<std::uint64_t> row_end(n_);
    pool::parallel_for(threads_, jobs, 1, [&](std::size_t begin, std::size_t end) {
      BatchedPoll poll;
      for (std::size_t j = begin; j < end; ++j) {
        std::vector<std::uint64_t> place(n_, kNoPlace);
        for (std::size_t v = first_row[j]; v < first_row[j + 1]; ++v) {
          std::uint64_t at = inc_start_[v];
          for (std::uint64_t k = inc_start_[v]; k < inc_start_[v + 1]; ++k) {
            poll.step();
            at = append(place, g, inc_start_[v], at, inc_other_[k], weight(inc_edge_[k]));
          }
          row_end[v] = at;
          g.degree[v] = row_sum(g, inc_start_[v], at);
        }
      }
    });
    std::uint64_t at = 0;
    for (std::size_t v = 0; v < n_; ++v) {
      poll_.step();
      std::copy(g.to.begin() + inc_start_[v], g.to.begin() + row_end[v], g.to.begin() + at);
      std::copy(g.weight.begin() + inc_start_[v], g.weight.begin() + row_end[v], g.weight.begin() + at);
      at += row_end[v] - inc_start_[v];
      g.start[v + 1] = at;
    }
  }

  // Adds `w` to the row's entry for `u` (the row begins at `row`), or
  // appends one; the next free place. Rows are filled in ascending places,
  // so an entry of u at or past `row` is this row's.
  W weight(std::uint32_t e) const {
    if constexpr (std::is_same_v<W, double>) {
      return edges_.weights[e];
    } else {
      const Bits b = bits_of(edges_.weights[e]);
      const int shift = b.place - unit_;  // 0 <= shift, and the sum fits: checked by the caller
      if (shift >= 64) return {b.mantissa << (shift - 64), 0};
      return {shift == 0 ? 0 : b.mantissa >> (64 - shift), b.mantissa << shift};
    }
  }

  static std::uint64_t append(std::vector<std::uint64_t>& place, Graph<W>& g, std::uint64_t row, std::uint64_t at,
                              std::uint32_t u, W w) {
    if (place[u] != kNoPlace && place[u] >= row) {
      g.weight[place[u]] += w;
      return at;
    }
    place[u] = at;
    g.to[at] = u;
    g.weight[at] = w;
    return at + 1;
  }

  static W row_sum(const Graph<W>& g, std::uint64_t row, std::uint64_t at) {
    W sum{};
    for (std::uint64_t k = row; k < at; ++k) sum += g.weight[k];
    return sum;
  }

  static void end_row(Graph<W>& g, std::size_t v, std::uint64_t row, std::uint64_t at) {
    g.degree[v] = row_sum(g, row, at);
    g.start[v + 1] = at;
  }

  // --- candidates -----------------------------------------------------------

  // Takes every super-node's degree as a candidate cut; λ̂ and the best side
  // follow the best.
  void trivial_cuts() {
    const Graph<W>& g = graph_;
    std::uint32_t best = kNone;
    if (!std::is_same_v<W, double> || sure_.slack == 0) {  // degrees are exact: the lowest is the best
      for (std::uint32_t x = 0; x < g.n; ++x)
        if (g.degree[x] < lambda_ && (best == kNone || g.degree[x] < g.degree[best])) best = x;
      if (best != kNone) lambda_ = g.degree[best];
    } else {
      members_ready_ = false;
      for (std::uint32_t x = 0; x < g.n; ++x) {
        if (sure_.at_least(g.degree[x], lambda_)) continue;
        const ExactSum cut = exact_cut(x);
        if (best_sum_.empty() || compare(cut, best_sum_[0]) < 0) {
          best_sum_.assign(1, cut);
          if constexpr (std::is_same_v<W, double>) lambda_ = cut.rounded();
          best = x;
        }
      }
    }
    if (best == kNone) return;
    best_side_.clear();
    for (std::uint32_t v = 0; v < n_; ++v)
      if (label_[v] == best) best_side_.push_back(v);
  }

  // The exact weight of the input edges that leave super-node x.
  ExactSum exact_cut(std::uint32_t x) {
    if (!members_ready_) group_members();
    ExactSum sum;
    for (std::uint64_t i = member_start_[x]; i < member_start_[x + 1]; ++i) {
      const std::uint32_t v = members_[i];
      for (std::uint64_t k = inc_start_[v]; k < inc_start_[v + 1]; ++k) {
        poll_.step();
        if (label_[inc_other_[k]] != x) sum.add(edges_.weights[inc_edge_[k]]);
      }
    }
    return sum;
  }

  void group_members() {
    member_start_.assign(graph_.n + 1, 0);
    for (std::uint32_t v = 0; v < n_; ++v) ++member_start_[label_[v] + 1];
    for (std::size_t x = 0; x < graph_.n; ++x) member_start_[x + 1] += member_start_[x];
    members_.resize(n_);
    std::vector<std::uint64_t> next(member_start_.begin(), member_start_.end() - 1);
    for (std::uint32_t v = 0; v < n_; ++v) members_[next[label_[v]]++] = v;
    members_ready_ = true;
  }

  // --- the contraction rules -----------------------------------------------

  // Padberg and Rinaldi's tests, with λ̂ the best candidate so far:
  //  - an edge (u, v) with w(u, v) >= λ̂: every cut that separates u and v
  //    weighs at least w(u, v), so none below λ̂ does;
  //  - a vertex u with 2 w(u, v) >= deg(u), u the "mover" and v its
  //    "partner": a cut that separates them, with u not alone on its side,
  //    loses deg(u) - 2 w(u, v) >= 0 when u moves to v's side; u alone is its
  //    own degree, already a candidate. Moves of several movers at once stay
  //    sound only while no partner moves, so a mover is never a partner:
  //    moving every mover of a minimum cut to its partner's side then gives a
  //    cut no heavier (a minimum one, so it crosses no other marked edge
  //    either) that separates no marked pair, or a side that was a single
  //    mover, whose degree is no lower than λ̂.
  void padberg_rinaldi(UnionFind& marks, std::vector<std::uint8_t>& role) {
    constexpr std::uint8_t kMover = 1, kPartner = 2;
    const Graph<W>& g = graph_;
    for (std::uint32_t u = 0; u < g.n; ++u) {
      std::uint64_t heaviest = g.start[u];
      for (std::uint64_t k = g.start[u]; k < g.start[u + 1]; ++k) {
        poll_.step();
        if (g.weight[k] > g.weight[heaviest]) heaviest = k;
        if (sure_.at_least(g.weight[k], lambda_)) marks.unite(u, g.to[k]);
      }
      if (heaviest == g.start[u + 1]) continue;
      const std::uint32_t v = g.to[heaviest];
      if (role[u] == 0 && role[v] != kMover && sure_.at_least(twice(g.weight[heaviest]), g.degree[u])) {
        role[u] = kMover;
        role[v] = kPartner;
        marks.unite(u, v);
      }
    }
  }

  // A maximum-adjacency ordering from vertex 0. When v joins the ordered set,
  // each later neighbour w's attachment r(w) (the weight from w into the set)
  // grows by w(v, w), and r(w) is then at most the local connectivity
  // λ(v, w), the least cut that separates v and w (Nagamochi and Ibaraki's
  // certificate; the contraction by it is Nagamochi, Ono and Ibaraki's). An
  // edge with r(w) >= λ̂ is therefore crossed by no cut below λ̂. The last
  // two vertices s, t are separated by no cut below deg(t) (Stoer and
  // Wagner: the cut around t is a minimum s-t cut), and deg(t) is already a
  // candidate.
  void ordering(UnionFind& marks) {
    const Graph<W>& g = graph_;
    attach_.assign(g.n, W{});
    if constexpr (std::is_same_v<W, double>) {
      double total = 0;
      for (std::size_t x = 0; x < g.n; ++x) total += g.degree[x];
      sure_.margin = sure_.slack * total;
    }
    frontier_.reset(g.n);
    std::uint32_t s = 0, t = 0;
    frontier_.raise(0, W{});
    while (!frontier_.empty()) {
      const std::uint32_t v = frontier_.pop();
      s = t, t = v;
      // Any prefix of the ordering is one of the subgraph it induces, so the
      // Stoer–Wagner property holds for each step: no cut separates a vertex
      // from the one before it for less than the vertex's attachment when
      // chosen (in the subgraph, and the whole graph only adds edges).
      if (s != t && sure_.ordered_at_least(attach_[v], lambda_)) marks.unite(s, t);
      for (std::uint64_t k = g.start[v]; k < g.start[v + 1]; ++k) {
        poll_.step();
        const std::uint32_t w = g.to[k];
        if (frontier_.done(w)) continue;
        const W r = attach_[w] += g.weight[k];
        if (sure_.ordered_at_least(r, lambda_)) marks.unite(v, w);
        frontier_.raise(w, r);
      }
    }
    marks.unite(s, t);
  }

  // Merges each marked group into one super-node, numbered by its lowest
  // member; entries between two groups add up in row order.
  void contract(UnionFind& marks) {
    const Graph<W>& g = graph_;
    Graph<W>& h = spare_;
    std::vector<std::uint32_t>& id = scratch_;
    id.assign(g.n, kNone);
    std::uint32_t count = 0;
    for (std::uint32_t v = 0; v < g.n; ++v) {
      const std::uint32_t root = marks.find(v);
      if (id[root] == kNone) id[root] = count++;
      id[v] = id[root];
    }
    // The old vertices of each new one, ascending.
    group_start_.assign(count + 1, 0);
    for (std::uint32_t v = 0; v < g.n; ++v) ++group_start_[id[v] + 1];
    for (std::size_t x = 0; x < count; ++x) group_start_[x + 1] += group_start_[x];
    group_.resize(g.n);
    {
      std::vector<std::uint64_t> next(group_start_.begin(), group_start_.end() - 1);
      for (std::uint32_t v = 0; v < g.n; ++v) group_[next[id[v]]++] = v;
    }
    h.n = count;
    h.start.assign(count + 1, 0);
    h.to.resize(g.to.size());
    h.weight.resize(g.weight.size());
    h.degree.resize(count);
    place_.assign(count, kNoPlace);
    std::uint64_t at = 0;
    for (std::uint32_t x = 0; x < count; ++x) {
      const std::uint64_t row = at;
      for (std::uint64_t i = group_start_[x]; i < group_start_[x + 1]; ++i) {
        const std::uint32_t v = group_[i];
        for (std::uint64_t k = g.start[v]; k < g.start[v + 1]; ++k) {
          poll_.step();
          const std::uint32_t y = id[g.to[k]];
          if (y != x) at = append(place_, h, row, at, y, g.weight[k]);
        }
      }
      end_row(h, x, row, at);
    }
    for (std::uint32_t& l : label_) l = id[l];
    std::swap(graph_, spare_);
  }

  EdgeView edges_;
  std::size_t n_;
  pool::Threads threads_;
  Sure sure_;
  int unit_;
  BatchedPoll poll_;
  std::vector<std::uint64_t> inc_start_;
  std::vector<std::uint32_t> inc_edge_, inc_other_;
  std::vector<std::uint32_t> label_;  // each input node's super-node
  Graph<W> graph_, spare_;
  std::vector<std::uint32_t> scratch_, group_, members_;
  std::vector<std::uint64_t> group_start_, member_start_, place_;
  bool members_ready_ = false;
  std::vector<W> attach_;
  Frontier<W> frontier_;
  W lambda_ = unbounded<W>();
  std::vector<ExactSum> best_sum_;  // empty until the first candidate
  std::vector<std::uint64_t> best_side_;
};

}  // namespace

Cut minimum_cut(EdgeView edges, std::uint64_t n_nodes, pool::Threads threads) {
  if (n_nodes < 2) throw ValueError("n_nodes: a cut needs at least 2 nodes, got " + std::to_string(n_nodes));
  if (n_nodes > kLimit || edges.size() > kLimit)
    throw ValueError("at most " + std::to_string(kLimit) + " nodes and as many edges");
  const auto n = static_cast<std::size_t>(n_nodes);
  ExactSum total;
  int place = std::numeric_limits<int>::max();
  std::size_t weighed = 0;
  BatchedPoll poll;
  for (std::size_t k = 0; k < edges.size(); ++k) {
    poll.step();
    check_input_index(edges.first[k], n_nodes, {"edges", "rows", "n_nodes"}, k);
    check_input_index(edges.second[k], n_nodes, {"edges", "cols", "n_nodes"}, k);
    const double w = edges.weights[k];
    if (!(w >= 0) || std::isinf(w)) {
      char text[32];
      std::snprintf(text, sizeof text, "%.17g", w);
      throw ValueError("weights[" + std::to_string(k) + "] is " + text +
                       ": weights must be finite and >= 0 (a minimum cut is not defined otherwise)");
    }
    if (w > 0 && edges.first[k] != edges.second[k]) {
      total.add(w);
      place = std::min(place, bits_of(w).place);
      ++weighed;
    }
  }
  const double sum = total.rounded();
  if (std::isinf(sum)) throw ValueError("weights: their sum overflows float64");
  // Per node: some 30 words of rows, groups, labels and the heap, and the
  // places of up to eight jobs; per edge: two entries (up to 20 bytes) in
  // each of two row sets, and two incidence ids and ends.
  require_memory(n * 304 + edges.size() * 104, 1, 1);
  // Sums of weights that are multiples of 2^(place - 1074) are exact in
  // doubles below 2^53 of that unit, and in Wide below 2^126 (room for twice
  // a weight); beyond both, the rules keep margins (Sure).
  const bool exact = weighed == 0 || sum <= std::ldexp(1.0, place + 52 - 1074);
  const bool wide = !exact && sum < std::ldexp(1.0, place + 126 - 1074);
  Cut cut{0.0, {}};
  if (wide) {
    Search<Wide> search(edges, n, threads, 0.0, place);
    if (search.connected(cut.side)) cut.side = search.run();
  } else {
    Search<double> search(edges, n, threads, exact ? 0.0 : 4.0 * (static_cast<double>(weighed) + 2) * 0x1p-53);
    if (search.connected(cut.side)) cut.side = search.run();
  }

  std::vector<std::uint8_t> in_side(n, 0);
  for (std::uint64_t v : cut.side) in_side[v] = 1;
  if (2 * cut.side.size() > n || (2 * cut.side.size() == n && in_side[0])) {
    cut.side.clear();
    for (std::size_t v = 0; v < n; ++v)
      if (!in_side[v]) cut.side.push_back(v);
  }
  ExactSum value;
  for (std::size_t k = 0; k < edges.size(); ++k) {
    poll.step();
    if (in_side[edges.first[k]] != in_side[edges.second[k]] && edges.weights[k] > 0) value.add(edges.weights[k]);
  }
  cut.value = value.rounded();
  return cut;
}

}  // namespace tavik::min_cut
