#include "common/big_buffer.h"

#include <new>

#include "platform/huge_pages.h"

namespace tavik {

void* allocate_big(std::size_t count, std::size_t size) {
  using platform::kHugePage;
  std::size_t bytes;
  if (__builtin_mul_overflow(count, size, &bytes)) throw std::bad_alloc();
  void* p;
  if (bytes >= kHugePage) {
    const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    p = std::aligned_alloc(kHugePage, rounded);
    if (p != nullptr) platform::advise_huge_pages(p, rounded);
  } else {
    p = std::malloc(bytes == 0 ? 1 : bytes);
  }
  if (p == nullptr) throw std::bad_alloc();
  return p;
}

}  // namespace tavik
