// A cheap monotonic clock, for deciding when a periodic check is due.
#pragma once

#include <cstdint>

namespace tavik::platform {

// Nanoseconds since an arbitrary start; only differences mean anything. Where
// the system offers a coarse clock (a few milliseconds of resolution, and the
// cheapest to read) it is that one.
std::int64_t coarse_now_ns() noexcept;

}  // namespace tavik::platform
