// A mapping as an ordered list of unique-key entries: what a Python dict
// converts to and from, in the dict's own order.
#pragma once

#include <utility>
#include <vector>

namespace tavik {

template <class K, class V>
struct Dict {
  std::vector<std::pair<K, V>> items;
};

}  // namespace tavik
