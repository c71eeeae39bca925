#include "common/memory.h"

#include <limits>
#include <new>

#include "platform/memory_limit.h"

namespace tavik {

bool fits_in_memory(std::size_t n, std::size_t m, std::size_t size) noexcept {
  constexpr std::size_t kMax = std::numeric_limits<std::size_t>::max();
  if (n == 0 || m == 0 || size == 0) return true;
  if (n > kMax / m) return false;
  const std::size_t count = n * m;
  if (count > kMax / size) return false;
  return count * size <= platform::memory_limit();
}

void require_memory(std::size_t n, std::size_t m, std::size_t size) {
  if (!fits_in_memory(n, m, size)) throw std::bad_alloc();
}

}  // namespace tavik
