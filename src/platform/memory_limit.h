// How much memory this process may use, as far as the operating system says.
#pragma once

#include <cstddef>

namespace tavik::platform {

// The smallest of the machine's physical memory, the memory limit of the
// process's control group (and of the groups above it), and its address-space
// and data-segment limits, in bytes; SIZE_MAX when none of them is known.
std::size_t memory_limit() noexcept;

}  // namespace tavik::platform
