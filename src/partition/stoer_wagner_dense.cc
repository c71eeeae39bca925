#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <utility>

#include "common/errors.h"
#include "common/interrupt.h"
#include "common/memory.h"
#include "partition/stoer_wagner_paths.h"
#include "platform/simd.h"

namespace tavik::stoer_wagner {
namespace {

constexpr std::uint32_t kNone = 0xFFFF'FFFF;

constexpr double kInf = std::numeric_limits<double>::infinity();

// Tightness scans run over vectors of the SIMD path's width (platform/simd.h);
// rows are padded to a multiple of the widest, kLanes doubles.
constexpr std::size_t kLanes = 8;

std::size_t round_up(std::size_t x) { return (x + kLanes - 1) / kLanes * kLanes; }

// tight[p] ← row[p] + tight[p] for every p < width (a multiple of kLanes),
// then the position of the greatest result: the first strict maximum above
// -inf, as an ascending scan with a running maximum would find it. Returns
// kNone when nothing exceeds -inf (all -inf or NaN).
//
// Positions that must not be selected (in the set, merged away, padding) hold
// -inf or NaN; adding any row value keeps them -inf or NaN, so they never
// qualify and need no mask.
//
// Paths narrower than kLanes keep kLanes / width independent maxima, each over
// every such vector of a row: with one, each step waits for the compare and
// blend of the step before. Each lane still keeps its lowest position of its
// greatest value, and the merge takes the greatest value and of equals the
// lowest position, so the choice is the one scan's on every path.
template <class Isa>
[[gnu::always_inline]] inline std::uint32_t add_row_and_select_lanes(const double* row, double* tight,
                                                                     std::size_t width) {
  constexpr std::size_t kWidth = Isa::kDoubles;
  static_assert(kLanes % kWidth == 0);
  constexpr std::size_t kChains = kLanes / kWidth;
  using Vec = platform::simd::Vector<double, kWidth>;
  using Index = platform::simd::Vector<std::int64_t, kWidth>;
  Vec best[kChains];
  Index best_at[kChains], at[kChains];
  for (std::size_t c = 0; c < kChains; ++c) {
    best[c] = Vec{} - kInf;
    best_at[c] = Index{} - 1;
    for (std::size_t l = 0; l < kWidth; ++l) at[c][l] = static_cast<std::int64_t>(c * kWidth + l);
  }
  for (std::size_t p = 0; p < width; p += kLanes) {
    for (std::size_t c = 0; c < kChains; ++c) {
      Vec r, t;
      std::memcpy(&r, row + p + c * kWidth, sizeof r);
      std::memcpy(&t, tight + p + c * kWidth, sizeof t);
      t = r + t;
      std::memcpy(tight + p + c * kWidth, &t, sizeof t);
      // Each lane keeps its first strict maximum, so its lowest position.
      const Index better = t > best[c];
      best[c] = better ? t : best[c];
      best_at[c] = better ? at[c] : best_at[c];
      at[c] += static_cast<std::int64_t>(kLanes);
    }
  }
  // Merge the lanes: greatest value, ties to the lowest position.
  std::uint32_t found = kNone;
  double value = -kInf;
  for (std::size_t c = 0; c < kChains; ++c) {
    for (std::size_t l = 0; l < kWidth; ++l) {
      if (best_at[c][l] < 0) continue;
      const auto position = static_cast<std::uint32_t>(best_at[c][l]);
      if (found == kNone || best[c][l] > value || (best[c][l] == value && position < found)) {
        found = position;
        value = best[c][l];
      }
    }
  }
  return found;
}
TAVIK_SIMD_DISPATCH(add_row_and_select, add_row_and_select_lanes)

// The dense graph under contraction. Vertices live at positions of a
// stride × stride matrix; a merged-away vertex leaves a dead position until
// the live ones are compacted, which keeps them in ascending vertex order so
// "lowest position" always means "lowest vertex index".
class Contraction {
 public:
  // The live vertices in ascending order and the groups merged into them.
  Contraction(std::vector<std::uint32_t> vertices, Groups groups)
      : stride_(round_up(vertices.size())),
        width_(vertices.size()),
        active_(vertices.size()),
        vertex_(std::move(vertices)),
        groups_(std::move(groups)) {
    if (!matrix_fits(width_)) throw std::bad_alloc();
    adj_.reserve(stride_ * stride_);
    for (std::size_t r = 0; r < stride_; ++r) {  // a row at a time: at scale this alone takes seconds
      poll_interrupt(stride_);
      adj_.resize(adj_.size() + stride_, 0.0);
    }
    tight_.assign(stride_, 0.0);
    keep_.resize(width_);
    alive_.assign(width_, 1);
  }

  void add_edge(std::size_t i, std::size_t j, double weight) {
    double& ij = adj_[i * stride_ + j];
    ij = weight + ij;
    double& ji = adj_[j * stride_ + i];
    ji = weight + ji;
  }

  // Sets the entry of position p for position q (not q's for p).
  void set_entry(std::size_t p, std::size_t q, double weight) { adj_[p * stride_ + q] = weight; }

  Bisection run(Bisection best) {
    do phase(best);
    while (active_ > 1);
    if (best.side.empty()) throw ValueError("no cut found");
    return best;
  }

 private:
  double* row(std::size_t p) { return adj_.data() + p * stride_; }

  void phase(Bisection& best) {
    std::size_t start = 0;
    while (!alive_[start]) ++start;

    // -0.0 + adj[start][p] is exactly adj[start][p]: the first scan both
    // initialises the tightness and makes the first selection.
    const std::size_t padded = round_up(width_);
    for (std::size_t p = 0; p < padded; ++p) tight_[p] = p < width_ && alive_[p] && p != start ? -0.0 : -kInf;

    std::size_t prev = start, last = start;
    std::uint32_t selected = add_row_and_select(row(start), tight_.data(), padded);
    BatchedPoll poll;
    for (std::size_t in_a = 1; in_a < active_;) {
      poll.step(padded);
      if (selected == kNone) throw Panic(kNoCandidate);
      prev = last;
      last = selected;
      tight_[last] = -kInf;
      if (++in_a < active_) selected = add_row_and_select(row(last), tight_.data(), padded);
    }
    const std::size_t s = prev, t = last;

    // The cut of t, from the matrix in ascending order (not t's tightness,
    // whose summation order differs).
    const double* rt = row(t);
    double cut = -0.0;  // the additive identity, also for +0.0
    for (std::size_t p = 0; p < width_; ++p)
      if (alive_[p] && p != t) cut = cut + rt[p];
    if (cut < best.cut_weight) {
      best.cut_weight = cut;
      groups_.list(vertex_[t], best.side);
    }

    merge(s, t);
  }

  void merge(std::size_t s, std::size_t t) {
    double* rs = row(s);
    const double* rt = row(t);
    for (std::size_t p = 0; p < width_; ++p) {
      if (!alive_[p] || p == s || p == t) continue;
      rs[p] = rt[p] + rs[p];
      double& ps = adj_[p * stride_ + s];
      ps = adj_[p * stride_ + t] + ps;
    }
    groups_.join(vertex_[s], vertex_[t]);
    alive_[t] = 0;
    --active_;

    const std::size_t dead = width_ - active_;
    if (dead >= kLanes && dead * 8 >= width_) compact();
  }

  // Moves the live positions down, in order. Every element moves to an
  // address no higher than its own, and elements are visited in address
  // order, so nothing is overwritten before it is read.
  void compact() {
    std::size_t w = 0;
    for (std::size_t p = 0; p < width_; ++p)
      if (alive_[p]) vertex_[w] = vertex_[p], keep_[w++] = p;
    for (std::size_t r = 0; r < w; ++r) {
      poll_interrupt(w);
      const double* from = row(keep_[r]);
      double* to = row(r);
      for (std::size_t c = 0; c < w; ++c) to[c] = from[keep_[c]];
    }
    std::fill(alive_.begin(), alive_.begin() + static_cast<std::ptrdiff_t>(w), 1);
    width_ = w;
  }

  std::size_t stride_, width_, active_;
  std::vector<double> adj_;
  std::vector<double> tight_;
  std::vector<std::uint32_t> vertex_;  // position → vertex
  std::vector<std::uint8_t> alive_;    // per position
  std::vector<std::size_t> keep_;      // compaction scratch
  Groups groups_;
};

}  // namespace

// The matrix dominates; the per-vertex arrays take a few more rows' worth.
bool matrix_fits(std::size_t n) { return fits_in_memory(round_up(n) + 4, round_up(n), sizeof(double)); }

Bisection bisect_dense(EdgeView edges, std::size_t n) {
  std::vector<std::uint32_t> vertices(n);
  for (std::size_t v = 0; v < n; ++v) vertices[v] = static_cast<std::uint32_t>(v);
  Contraction graph(std::move(vertices), Groups(n));
  for (std::size_t k = 0; k < edges.size(); ++k) graph.add_edge(edges.first[k], edges.second[k], edges.weights[k]);
  return graph.run({kInf, {}});
}

Bisection finish_dense(const std::vector<List>& adj, std::vector<std::uint32_t> live, Groups groups, Bisection best) {
  std::vector<std::uint32_t> position(adj.size());
  for (std::size_t p = 0; p < live.size(); ++p) position[live[p]] = static_cast<std::uint32_t>(p);
  Contraction graph(live, std::move(groups));
  BatchedPoll poll;
  for (std::size_t p = 0; p < live.size(); ++p) {
    const List& list = adj[live[p]];
    poll.step(list.size() + 1);
    for (const Entry& e : list) graph.set_entry(p, position[e.to], e.weight);
  }
  return graph.run(std::move(best));
}

}  // namespace tavik::stoer_wagner
