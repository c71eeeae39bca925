// The contraction on adjacency lists and a heap. It gives the matrix's bits
// because a missing edge stands for a +0.0 entry and adding +0.0 changes
// nothing here: entries start at +0.0 and a sum is -0.0 only when both terms
// are, so no entry, tightness (after its first term) or cut (after its first
// term) is ever -0.0. Tightness and cut therefore start at +0.0 instead of
// the matrix's -0.0 and skip the missing terms; the terms that remain are
// added in the matrix's order.

#include <algorithm>
#include <limits>

#include "common/errors.h"
#include "common/interrupt.h"
#include "common/memory.h"
#include "partition/stoer_wagner_paths.h"

namespace tavik::stoer_wagner {
namespace {

constexpr std::uint32_t kNone = 0xFFFF'FFFF;

// The vertices not yet in the growing set, greatest tightness first and the
// lowest index among equals: the vertex the matrix's ascending scan selects.
// Vertices no edge has reached yet sit at +0.0 outside the heap, in
// ascending order; a vertex whose tightness becomes NaN or -inf can never be
// selected again and leaves.
class Frontier {
 public:
  explicit Frontier(std::size_t n) : slot_(n, kOut), heap_(n), reached_(n) {}

  // A phase's start: every live vertex but `start`, none reached yet.
  void fill(const std::vector<std::uint32_t>& live, std::uint32_t start) {
    size_ = 0;
    for (std::uint32_t v : live) slot_[v] = kUntouched;
    slot_[start] = kOut;
    untouched_ = live.begin();
    end_ = live.end();
  }

  // Adds the weight of each edge of the vertex just selected to the
  // tightness of its other end.
  void absorb(const List& edges) {
    // About half the edges lead into the set, in no order a branch predictor
    // could learn: they are dropped without a branch first.
    std::size_t count = 0;
    for (const Entry& e : edges) {
      reached_[count] = e;
      count += slot_[e.to] != kOut;
    }
    for (std::size_t k = 0; k < count; ++k) add(reached_[k].to, reached_[k].weight);
  }

  // Takes out the vertex to select next; kNone when none can be selected.
  std::uint32_t pop() {
    while (untouched_ != end_ && slot_[*untouched_] != kUntouched) ++untouched_;
    if (size_ > 0 && (untouched_ == end_ || precedes(heap_[0], {0.0, *untouched_}))) {
      const std::uint32_t v = heap_[0].vertex;
      remove(0);
      return v;
    }
    if (untouched_ == end_) return kNone;
    slot_[*untouched_] = kOut;
    return *untouched_++;
  }

 private:
  static constexpr std::uint32_t kUntouched = kNone - 1, kOut = kNone;
  static constexpr std::size_t kArity = 8;  // sift_down's knockout assumes 8

  struct Node {
    double tight;
    std::uint32_t vertex;
  };

  static bool selectable(double tight) { return tight > -std::numeric_limits<double>::infinity(); }
  // Without short-circuits: in the heap the outcome is a coin toss, and a
  // mispredicted branch costs more than the comparisons.
  static bool precedes(const Node& a, const Node& b) {
    return (a.tight > b.tight) | ((a.tight == b.tight) & (a.vertex < b.vertex));
  }

  void add(std::uint32_t v, double weight) {
    if (slot_[v] == kUntouched) {
      const double tight = weight + 0.0;
      if (!selectable(tight)) {
        slot_[v] = kOut;
        return;
      }
      sift_up(size_++, {tight, v});
      return;
    }
    const std::size_t i = slot_[v];
    const double before = heap_[i].tight, tight = weight + before;
    if (!selectable(tight)) {
      remove(i);
    } else if (tight > before) {
      sift_up(i, {tight, v});
    } else if (tight < before) {
      sift_down(i, {tight, v});
    }
  }

  void place(std::size_t i, const Node& node) {
    heap_[i] = node;
    slot_[node.vertex] = static_cast<std::uint32_t>(i);
  }

  // Puts `node` at i or above, moving the nodes it precedes down.
  void sift_up(std::size_t i, const Node& node) {
    for (; i > 0 && precedes(node, heap_[(i - 1) / kArity]); i = (i - 1) / kArity) place(i, heap_[(i - 1) / kArity]);
    place(i, node);
  }

  // Of the nodes at a and b, the place of the one that comes first. Arithmetic,
  // not a branch: which one wins is a coin toss.
  std::size_t better(std::size_t a, std::size_t b) const {
    return a + ((b - a) & (std::size_t{0} - precedes(heap_[b], heap_[a])));
  }

  // Puts `node` at i or below, moving the nodes that precede it up.
  void sift_down(std::size_t i, const Node& node) {
    const std::size_t size = size_;
    for (;;) {
      const std::size_t first = kArity * i + 1;
      if (first >= size) break;
      std::size_t best = first;
      if (first + kArity <= size) {  // a knockout: three rounds, not a chain of seven
        const auto pair = [&](std::size_t c) { return better(c, c + 1); };
        best = better(better(pair(first), pair(first + 2)), better(pair(first + 4), pair(first + 6)));
      } else {
        for (std::size_t c = first + 1; c < size; ++c) best = better(best, c);
      }
      if (!precedes(heap_[best], node)) break;
      place(i, heap_[best]);
      i = best;
    }
    place(i, node);
  }

  void remove(std::size_t i) {
    slot_[heap_[i].vertex] = kOut;
    const Node moved = heap_[--size_];
    if (i == size_) return;
    precedes(moved, heap_[i]) ? sift_up(i, moved) : sift_down(i, moved);
  }

  std::vector<std::uint32_t> slot_;  // place in heap_, kUntouched or kOut
  std::vector<Node> heap_;           // its first size_ nodes
  List reached_;                     // absorb's scratch
  std::size_t size_ = 0;
  std::vector<std::uint32_t>::const_iterator untouched_, end_;
};

class SparseContraction {
 public:
  SparseContraction(EdgeView edges, std::size_t n, bool (*use_lists)(std::size_t, std::size_t))
      : adj_(n), frontier_(n), groups_(n), use_lists_(use_lists) {
    live_.resize(n);
    for (std::size_t v = 0; v < n; ++v) live_[v] = static_cast<std::uint32_t>(v);
    BatchedPoll poll;
    {
      std::vector<std::uint32_t> degree(n);
      for (std::size_t k = 0; k < edges.size(); ++k)
        if (edges.first[k] != edges.second[k]) ++degree[edges.first[k]], ++degree[edges.second[k]];
      for (std::size_t v = 0; v < n; ++v) adj_[v].reserve(degree[v]);
    }
    for (std::size_t k = 0; k < edges.size(); ++k) {
      poll.step();
      const auto i = static_cast<std::uint32_t>(edges.first[k]), j = static_cast<std::uint32_t>(edges.second[k]);
      if (i == j) continue;  // the matrix's diagonal is never read
      adj_[i].push_back({j, edges.weights[k]});
      adj_[j].push_back({i, edges.weights[k]});
    }
    // Parallel edges sum in input order from +0.0, as into a matrix entry.
    for (List& list : adj_) {
      poll.step(list.size() + 1);
      std::stable_sort(list.begin(), list.end(), [](const Entry& a, const Entry& b) { return a.to < b.to; });
      auto out = list.begin();
      for (auto in = list.begin(); in != list.end(); ++out) {
        double sum = 0.0;
        const std::uint32_t to = in->to;
        for (; in != list.end() && in->to == to; ++in) sum = in->weight + sum;
        *out = {to, sum};
      }
      list.erase(out, list.end());
      entries_ += list.size();
    }
  }

  Bisection run() {
    Bisection best{std::numeric_limits<double>::infinity(), {}};
    do {
      if (!use_lists_(live_.size(), entries_ / 2) && matrix_fits(live_.size()))
        return finish_dense(adj_, std::move(live_), std::move(groups_), std::move(best));
      phase(best);
    } while (live_.size() > 1);
    if (best.side.empty()) throw ValueError("no cut found");
    return best;
  }

 private:
  void phase(Bisection& best) {
    const std::size_t active = live_.size();
    const std::uint32_t start = live_.front();
    frontier_.fill(live_, start);
    BatchedPoll poll;
    poll.step(active);
    const auto absorb = [&](std::uint32_t v) {
      poll.step(adj_[v].size() + 1);
      frontier_.absorb(adj_[v]);
    };

    std::uint32_t prev = start, last = start;
    absorb(start);
    for (std::size_t in_a = 1; in_a < active;) {
      const std::uint32_t selected = frontier_.pop();
      if (selected == kNone) throw Panic(kNoCandidate);
      prev = last;
      last = selected;
      if (++in_a < active) absorb(last);
    }
    const std::uint32_t s = prev, t = last;

    double cut = 0.0;
    for (const Entry& e : adj_[t]) cut = cut + e.weight;
    if (cut < best.cut_weight) {
      best.cut_weight = cut;
      groups_.list(t, best.side);
    }

    merge(s, t);
  }

  // s takes t's edges: an entry both hold becomes t's weight + s's, as the
  // matrix adds them, and an entry only one holds keeps its weight.
  void merge(std::uint32_t s, std::uint32_t t) {
    const List& ls = adj_[s];
    const List& lt = adj_[t];
    scratch_.clear();
    auto a = ls.begin(), b = lt.begin();
    while (a != ls.end() || b != lt.end()) {
      if (a != ls.end() && a->to == t) {
        ++a;
      } else if (b != lt.end() && b->to == s) {
        ++b;
      } else if (b == lt.end() || (a != ls.end() && a->to < b->to)) {
        scratch_.push_back(*a++);
      } else if (a == ls.end() || b->to < a->to) {
        scratch_.push_back(*b);
        relink(b->to, s, t, b->weight, false);
        ++b;
      } else {
        scratch_.push_back({a->to, b->weight + a->weight});
        relink(b->to, s, t, scratch_.back().weight, true);
        ++a, ++b;
      }
    }
    entries_ = entries_ + scratch_.size() - ls.size() - lt.size();
    adj_[s].swap(scratch_);
    List().swap(adj_[t]);
    groups_.join(s, t);
    live_.erase(std::lower_bound(live_.begin(), live_.end(), t));
  }

  // In p's list, the entry for t goes and the one for s takes `weight`.
  void relink(std::uint32_t p, std::uint32_t s, std::uint32_t t, double weight, bool has_s) {
    List& list = adj_[p];
    const auto by_to = [](const Entry& e, std::uint32_t v) { return e.to < v; };
    const auto at_t = std::lower_bound(list.begin(), list.end(), t, by_to);
    if (has_s) {
      std::lower_bound(list.begin(), list.end(), s, by_to)->weight = weight;
      list.erase(at_t);
      --entries_;
      return;
    }
    *at_t = {s, weight};
    if (s < t) {
      std::rotate(std::lower_bound(list.begin(), at_t, s, by_to), at_t, at_t + 1);
    } else {
      std::rotate(at_t, at_t + 1, std::lower_bound(at_t + 1, list.end(), s, by_to));
    }
  }

  std::vector<List> adj_;
  std::vector<std::uint32_t> live_;  // ascending
  Frontier frontier_;
  Groups groups_;
  List scratch_;
  std::size_t entries_ = 0;  // in all lists: two an edge
  bool (*use_lists_)(std::size_t, std::size_t);
};

}  // namespace

Bisection bisect_sparse(EdgeView edges, std::size_t n, bool (*use_lists)(std::size_t, std::size_t)) {
  // A vertex's list header, heap place, tightness, group links, list slot
  // and absorb's scratch take under 80 bytes, an edge's two 16-byte entries (and the sort's
  // scratch) as much.
  require_memory(n + edges.size(), 80, 1);
  SparseContraction graph(edges, n, use_lists);
  return graph.run();
}

// Measured on ring-and-chord graphs of 500 to 5,000 vertices and 4 to 100
// edges a vertex: a phase on the lists costs about what 16 matrix entries
// cost per edge and 512 per vertex (the heap), while the matrix's cost per
// entry grows once it outgrows the caches. The matrix this lets a contraction
// hand over to takes at most 128 bytes an edge and 4 KiB a vertex.
bool prefers_sparse(std::size_t n, std::size_t m) { return n * n > 16 * m + 512 * n; }

}  // namespace tavik::stoer_wagner
