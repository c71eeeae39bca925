// Runs the list and matrix representations of the minimum-cut contraction, and the lists handing over to the matrix
// part-way, on thousands of random graphs (ties, zero and signed weights, -0.0, NaN, infinities and overflowing sums,
// parallel edges, self-loops, several components) and exits non-zero, printing the graph, at the first whose weight
// bits, side or error differ.
#include <algorithm>
#include <bit>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "common/errors.h"
#include "partition/stoer_wagner_paths.h"

namespace {

using tavik::Bisection;
using tavik::EdgeView;

struct Graph {
  std::size_t n = 0;
  std::vector<std::uint64_t> first, second;
  std::vector<double> weights;
};

// The lists hand over to the matrix once this many vertices are left.
std::size_t handover_at = 0;

Bisection dense(EdgeView edges, std::size_t n) { return tavik::stoer_wagner::bisect_dense(edges, n); }
Bisection lists(EdgeView edges, std::size_t n) {
  return tavik::stoer_wagner::bisect_sparse(edges, n, [](std::size_t, std::size_t) { return true; });
}
Bisection handover(EdgeView edges, std::size_t n) {
  return tavik::stoer_wagner::bisect_sparse(edges, n, [](std::size_t live, std::size_t) { return live > handover_at; });
}

std::string outcome(Bisection (*path)(EdgeView, std::size_t), const Graph& g) {
  try {
    const Bisection b = path({g.first, g.second, g.weights}, g.n);
    std::string text = "cut ";
    text += std::to_string(std::bit_cast<std::uint64_t>(b.cut_weight)) + ", side";
    for (auto v : b.side) (text += ' ') += std::to_string(v);
    return text;
  } catch (const tavik::Panic& e) {
    return "Panic: " + std::string(e.text());
  } catch (const tavik::ValueError& e) {
    return "ValueError: " + std::string(e.text());
  }
}

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kSpecial[] = {kInf, -kInf, std::numeric_limits<double>::quiet_NaN(), -0.0, 0.0, 1e308, -1e308};

Graph random_graph(std::mt19937_64& rng, std::size_t max_n) {
  const auto uniform = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
  const auto below = [&](std::size_t k) { return std::uniform_int_distribution<std::size_t>(0, k - 1)(rng); };
  Graph g;
  g.n = 2 + below(max_n - 1);
  const int kind = static_cast<int>(below(5));
  const double special = std::vector{0.0, 0.0, 0.02, 0.3}[below(4)];
  const auto weight = [&]() -> double {
    if (uniform(0, 1) < special) return kSpecial[below(std::size(kSpecial))];
    switch (kind) {
      case 0: return uniform(0, 10);
      case 1: return static_cast<double>(below(4));           // ties and zero weights
      case 2: return uniform(-5, 10);                          // signed
      case 3: return std::vector{-1.0, 1.0, -0.0, 2.0}[below(4)];  // sums that cancel to zero
      default: return below(2) ? kInf : 1e308;                 // no finite cut unless disconnected
    }
  };
  // Vertices split into up to three components, interleaved by index.
  const std::size_t parts = 1 + below(3);
  std::vector<std::size_t> part(g.n);
  for (auto& p : part) p = below(parts);
  const double density = std::vector{0.03, 0.1, 0.3, 0.7, 1.0}[below(5)];
  const auto add = [&](std::size_t i, std::size_t j) {
    const bool flip = below(2);
    g.first.push_back(flip ? j : i);
    g.second.push_back(flip ? i : j);
    g.weights.push_back(weight());
  };
  for (std::size_t i = 0; i < g.n; ++i)
    for (std::size_t j = i + 1; j < g.n; ++j)
      if (part[i] == part[j] && uniform(0, 1) < density) add(i, j);
  for (std::size_t k = g.first.size() / 5; k-- > 0;) add(below(g.n), below(g.n));  // parallel edges, self-loops
  for (std::size_t k = g.n / 4; k-- > 0;) {
    const std::size_t v = below(g.n);
    add(v, v);
  }
  std::vector<std::size_t> order(g.first.size());
  for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
  std::shuffle(order.begin(), order.end(), rng);
  Graph shuffled{g.n, {}, {}, {}};
  for (std::size_t k : order) {
    shuffled.first.push_back(g.first[k]);
    shuffled.second.push_back(g.second[k]);
    shuffled.weights.push_back(g.weights[k]);
  }
  return shuffled;
}

}  // namespace

int main() {
  std::mt19937_64 rng(20251207);
  std::size_t cuts = 0, panics = 0, no_cut = 0;
  for (int round = 0; round < 20000; ++round) {
    const Graph g = random_graph(rng, round % 50 == 0 ? 150 : 40);
    handover_at = std::uniform_int_distribution<std::size_t>(1, g.n)(rng);
    const std::string matrix = outcome(dense, g), sparse = outcome(lists, g), both = outcome(handover, g);
    if (matrix != sparse || matrix != both) {
      std::fprintf(stderr, "graph %d differs\n  matrix: %s\n  lists:  %s\n  lists, then the matrix from %zu vertices: %s\n"
                   "n = %zu, edges:\n", round, matrix.c_str(), sparse.c_str(), handover_at, both.c_str(), g.n);
      for (std::size_t k = 0; k < g.weights.size(); ++k)
        std::fprintf(stderr, "  (%llu, %llu, %a)\n", static_cast<unsigned long long>(g.first[k]),
                     static_cast<unsigned long long>(g.second[k]), g.weights[k]);
      return 1;
    }
    ++(matrix.starts_with("cut") ? cuts : matrix.starts_with("Panic") ? panics : no_cut);
  }
  std::printf("%zu cuts, %zu panics, %zu without a cut: the same on every path\n", cuts, panics, no_cut);
  // Every outcome must have been compared, or the graphs miss a case.
  return cuts == 0 || panics == 0 || no_cut == 0;
}
