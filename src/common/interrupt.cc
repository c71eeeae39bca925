#include "common/interrupt.h"

#include <time.h>

#include <chrono>
#include <utility>

namespace tavik {
namespace interrupt_detail {
namespace {

// Often enough to answer within a fraction of the 0.2 s a person notices,
// rarely enough that a check that must take a lock costs nothing measurable.
constexpr std::int64_t kCheckIntervalNs = 2'000'000;

// A clock read costs tens of nanoseconds; the coarse one (a few milliseconds
// of resolution) is the cheapest and fine enough here.
std::int64_t coarse_now_ns() {
#ifdef CLOCK_MONOTONIC_COARSE
  timespec t;
  if (clock_gettime(CLOCK_MONOTONIC_COARSE, &t) == 0) return std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
#endif
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

void poll_slow() {
  ThreadState& s = state;
  s.steps_left = kStepsPerClockRead;
  if (s.shared != nullptr && s.shared->load(std::memory_order_relaxed)) throw Interrupted{};
  if (s.check == nullptr) return;
  const std::int64_t now = coarse_now_ns();
  if (now < s.next_check_ns) return;
  s.next_check_ns = now + kCheckIntervalNs;
  if (!s.check()) return;
  if (s.shared != nullptr) s.shared->store(true, std::memory_order_relaxed);
  throw Interrupted{};
}

}  // namespace interrupt_detail

// A call starts afresh: its first poll runs the check, and it belongs to no
// job of an enclosing call (a signal handler may call in while one runs).
StopCheckScope::StopCheckScope(StopCheck check)
    : saved_(std::exchange(interrupt_detail::state, interrupt_detail::ThreadState{check})) {}

StopCheckScope::~StopCheckScope() { interrupt_detail::state = saved_; }

SharedStopScope::SharedStopScope(std::atomic<bool>& stopped)
    : saved_(std::exchange(interrupt_detail::state.shared, &stopped)) {}

SharedStopScope::~SharedStopScope() { interrupt_detail::state.shared = saved_; }

}  // namespace tavik
