// Fail-fast guard for working memory sized from caller input.
#pragma once

#include <cstddef>

namespace tavik {

// True when n × m objects of `size` bytes fit in the machine's physical
// memory (the product computed without overflow). Callers count what a
// result will occupy in all, Python objects included.
bool fits_in_memory(std::size_t n, std::size_t m, std::size_t size) noexcept;

// Throws std::bad_alloc (MemoryError) unless they fit. An allocation beyond
// physical memory would be granted lazily by the operating system and end in
// the out-of-memory killer once its pages are touched, not in an exception.
void require_memory(std::size_t n, std::size_t m, std::size_t size);

}  // namespace tavik
