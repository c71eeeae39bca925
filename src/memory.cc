#include "memory.h"

#include <unistd.h>

#include <limits>
#include <new>

namespace tavik {
namespace {

constexpr std::size_t kMax = std::numeric_limits<std::size_t>::max();

std::size_t physical_memory_bytes() noexcept {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long page_size = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || page_size <= 0) return kMax;  // unknown: only overflow limits
  const auto p = static_cast<std::size_t>(pages), s = static_cast<std::size_t>(page_size);
  return p > kMax / s ? kMax : p * s;
}

}  // namespace

bool fits_in_memory(std::size_t n, std::size_t m, std::size_t size) noexcept {
  if (n == 0 || m == 0 || size == 0) return true;
  if (n > kMax / m) return false;
  const std::size_t count = n * m;
  if (count > kMax / size) return false;
  return count * size <= physical_memory_bytes();
}

void require_memory(std::size_t n, std::size_t m, std::size_t size) {
  if (!fits_in_memory(n, m, size)) throw std::bad_alloc();
}

}  // namespace tavik
