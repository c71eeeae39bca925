#include "common/errors.h"

namespace tavik {

void index_out_of_bounds(std::size_t len, std::uint64_t index, std::source_location where) {
  throw Panic("index out of bounds: the len is " + std::to_string(len) + " but the index is " +
                  std::to_string(index),
              where);
}

}  // namespace tavik
