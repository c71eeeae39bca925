// The private function behind tavik.graphs.min_cut: the graph arrives as
// the edge columns that module reads it into.
#include <algorithm>
#include <tuple>

#include "bindings/arrays/bindings.h"
#include "partition/min_cut.h"

namespace tavik::bindings::arrays {
namespace {

// Weights are copied like the indices: they decide which contractions are
// exact, and another thread writing them during the call must not make a
// decision wrong.
std::tuple<double, py::Ref> min_cut(Copied<std::uint64_t> rows, Copied<std::uint64_t> cols, Copied<double> weights,
                                    std::uint64_t n_nodes) {
  tavik::arrays::require_size(rows.span().size(), weights.span().size(), "rows");
  tavik::arrays::require_size(cols.span().size(), weights.span().size(), "cols");
  min_cut::Cut cut;
  {
    const Unlocked unlocked;
    cut = min_cut::minimum_cut({rows, cols, weights}, n_nodes, pool::Threads::pool);
  }
  auto side = new_array<std::int64_t>(cut.side.size());
  std::copy(cut.side.begin(), cut.side.end(), side.span.begin());
  return {cut.value, std::move(side.object)};
}

}  // namespace

void register_min_cut(py::Module& m) {
  m.def<&min_cut, "min_cut(rows, cols, weights, n_nodes)">(
      "(value, side): a global minimum cut of the undirected graph with edges (rows[k], cols[k], weights[k]),\n"
      "value its exact weight and side a new buffer of int64 nodes, ascending.");
}

}  // namespace tavik::bindings::arrays
