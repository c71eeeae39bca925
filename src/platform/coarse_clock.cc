#include "platform/coarse_clock.h"

#include <chrono>

#if defined(__linux__)
#include <time.h>
#endif

namespace tavik::platform {

std::int64_t coarse_now_ns() noexcept {
#if defined(__linux__) && defined(CLOCK_MONOTONIC_COARSE)
  timespec t;
  if (clock_gettime(CLOCK_MONOTONIC_COARSE, &t) == 0) return std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
#endif
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace tavik::platform
