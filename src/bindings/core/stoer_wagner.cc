#include "bindings/core/bindings.h"
#include "bindings/core/convert/columns.h"
#include "partition/stoer_wagner.h"

namespace tavik::bindings {

void register_stoer_wagner(py::Module& m) {
  m.def<&stoer_wagner_bisect, "stoer_wagner_bisect(edges, n_nodes)">(
      "Split nodes 0..n_nodes-1 of a weighted undirected graph, given as (i, j, weight) edges, along a\n"
      "global minimum cut (Stoer–Wagner, deterministic). Returns (cut_weight, side): side is one part\n"
      "(not sorted), the other part is every remaining node. Weights should be non-negative for the cut\n"
      "to be minimal. ValueError if n_nodes < 2 or no finite cut exists; an endpoint ≥ n_nodes raises\n"
      "PanicException. Memory: an n_nodes × n_nodes matrix of floats.");
}

}  // namespace tavik::bindings
