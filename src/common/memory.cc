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
  // Below a megabyte a failed allocation fails cleanly before any work, and
  // asking what the process holds would cost more than the request.
  constexpr std::size_t kChecked = std::size_t{1} << 20;
  return count * size < kChecked || count * size <= platform::memory_available();
}

void require_memory(std::size_t n, std::size_t m, std::size_t size) {
  if (!fits_in_memory(n, m, size)) throw std::bad_alloc();
}

}  // namespace tavik
