#include <algorithm>
#include <tuple>

#include "bindings/arrays/bindings.h"
#include "partition/stoer_wagner.h"

namespace tavik::bindings::arrays {
namespace {

// The side is known only once the cut is found, and holds at most n_nodes
// values, far less than the kernel's own memory: it is copied into a new array.
std::tuple<double, py::Ref> stoer_wagner_bisect(Copied<std::uint64_t> first, Copied<std::uint64_t> second,
                                                In<double> weights, std::uint64_t n_nodes) {
  tavik::arrays::require_size(first.span().size(), weights.span().size(), "first");
  tavik::arrays::require_size(second.span().size(), weights.span().size(), "second");
  Bisection result;
  {
    const Unlocked unlocked;
    result = tavik::stoer_wagner_bisect({first, second, weights}, n_nodes);
  }
  auto side = new_array<std::int64_t>(result.side.size());
  std::copy(result.side.begin(), result.side.end(), side.span.begin());
  return {result.cut_weight, std::move(side.object)};
}

}  // namespace

void register_stoer_wagner(py::Module& m) {
  m.def<&stoer_wagner_bisect, "stoer_wagner_bisect(first, second, weights, n_nodes)">(
      "(cut_weight, side) of tavik_core's stoer_wagner_bisect on the edges (first[k], second[k],\n"
      "weights[k]): side a new buffer of int64 nodes.");
}

}  // namespace tavik::bindings::arrays
