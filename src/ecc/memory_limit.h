// Up-front memory checks for calls whose size is known before they start.
//
// A container that asks for more than the machine can ever hold fails cleanly
// on its own only when one allocation is too large; many smaller ones (a list
// of lists, or the Python objects a large result turns into) would instead
// run the machine out of memory midway and get the process killed. These
// calls therefore compare their total need with the machine first and fail as
// MemoryError (std::bad_alloc) before allocating anything.
#pragma once

#include <cstdint>

namespace tavik::ecc {

// count · bytes_each; an overflowing product is a need no machine can meet.
std::uint64_t bytes_for(std::uint64_t count, std::uint64_t bytes_each);

// Throws std::bad_alloc when `bytes` exceed half of the physical memory: one
// call's working memory and result must leave room for everything else.
void require_memory(std::uint64_t bytes);

}  // namespace tavik::ecc
