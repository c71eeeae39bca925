#include "partition/stoer_wagner.h"

#include <string>

#include "common/errors.h"
#include "partition/stoer_wagner_paths.h"

namespace tavik {
namespace {

// The edge store indexes nodes and edges with 32-bit values whose largest
// value marks "no index", so it holds at most 2^32 - 1 of each.
constexpr std::uint64_t kIndexLimit = 0xFFFF'FFFF;

}  // namespace

Bisection stoer_wagner_bisect(EdgeView edges, std::uint64_t n_nodes) {
  if (n_nodes < 2) throw ValueError("n_nodes must be >= 2 to bisect");
  if (n_nodes > kIndexLimit)
    throw Panic("the edge store holds at most " + std::to_string(kIndexLimit) + " nodes, " + std::to_string(n_nodes) +
                " were requested: NodeIxLimit");
  for (std::size_t k = 0; k < edges.size(); ++k) {
    check_input_index(edges.first[k], n_nodes, {"edges", "u", "n_nodes"}, k);
    check_input_index(edges.second[k], n_nodes, {"edges", "v", "n_nodes"}, k);
    if (k >= kIndexLimit)
      throw Panic("the edge store holds at most " + std::to_string(kIndexLimit) + " edges: EdgeIxLimit");
  }

  const auto n = static_cast<std::size_t>(n_nodes);
  return stoer_wagner::prefers_sparse(n, edges.size()) ? stoer_wagner::bisect_sparse(edges, n)
                                                       : stoer_wagner::bisect_dense(edges, n);
}

}  // namespace tavik
