#include "ecc/memory_limit.h"

#include <unistd.h>

#include <new>

namespace tavik::ecc {
namespace {

std::uint64_t memory_limit() {
  static const std::uint64_t limit = [] {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long page_size = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || page_size <= 0) return ~std::uint64_t{0};  // unknown: let the allocator decide
    return static_cast<std::uint64_t>(pages) / 2 * static_cast<std::uint64_t>(page_size);
  }();
  return limit;
}

}  // namespace

std::uint64_t bytes_for(std::uint64_t count, std::uint64_t bytes_each) {
  std::uint64_t bytes;
  if (__builtin_mul_overflow(count, bytes_each, &bytes)) throw std::bad_alloc();
  return bytes;
}

void require_memory(std::uint64_t bytes) {
  if (bytes > memory_limit()) throw std::bad_alloc();
}

}  // namespace tavik::ecc
