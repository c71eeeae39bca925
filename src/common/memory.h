// Fail-fast guard for working memory sized from caller input.
#pragma once

#include <cstddef>

namespace tavik {

// True when n × m objects of `size` bytes fit in the memory the process may
// still take: physical memory, its container's limit and its own rlimits,
// less what it already holds (the product computed without overflow). Callers count what a result will
// occupy in all: a kernel its own storage plus what its face says the
// face's form of the result costs (Python objects, say).
bool fits_in_memory(std::size_t n, std::size_t m, std::size_t size) noexcept;

// Throws std::bad_alloc (MemoryError) unless they fit, before any of it is
// allocated: beyond physical memory the operating system grants allocations
// lazily and the out-of-memory killer ends the process once their pages are
// touched; beyond a limit they fail only after the work done before them.
void require_memory(std::size_t n, std::size_t m, std::size_t size);

}  // namespace tavik
