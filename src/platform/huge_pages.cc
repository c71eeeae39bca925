#include "platform/huge_pages.h"

#if __has_include(<sys/mman.h>)
#include <sys/mman.h>
#endif

namespace tavik::platform {

void advise_huge_pages([[maybe_unused]] void* p, [[maybe_unused]] std::size_t bytes) noexcept {
#ifdef MADV_HUGEPAGE
  madvise(p, bytes, MADV_HUGEPAGE);
#endif
}

}  // namespace tavik::platform
