// How many CPUs this process may run on.
#pragma once

#include <cstddef>

namespace tavik::platform {

// The CPUs of the process's affinity mask (a container or `taskset` may
// allow fewer than the machine has), else the machine's count; at least 1.
std::size_t usable_cpus();

}  // namespace tavik::platform
