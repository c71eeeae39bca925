// Asking the operating system to back memory with huge pages.
#pragma once

#include <cstddef>

namespace tavik::platform {

// The huge-page size that advise_huge_pages is worth aligning to.
inline constexpr std::size_t kHugePage = std::size_t{2} << 20;

// Offers [p, p + bytes) to the kernel's transparent huge pages. Only advice:
// where the system refuses or has no such thing, nothing changes.
void advise_huge_pages(void* p, std::size_t bytes) noexcept;

}  // namespace tavik::platform
