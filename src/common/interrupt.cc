#include "common/interrupt.h"

#include <utility>

#include "platform/coarse_clock.h"

namespace tavik {
namespace interrupt_detail {
namespace {

// Often enough to answer within a fraction of the 0.2 s a person notices,
// rarely enough that a check that must take a lock costs nothing measurable.
constexpr std::int64_t kCheckIntervalNs = 2'000'000;

}  // namespace

void poll_slow() {
  ThreadState& s = state;
  s.steps_left = kStepsPerClockRead;
  if (s.shared != nullptr && s.shared->load(std::memory_order_relaxed)) throw Interrupted{};
  if (s.check == nullptr) return;
  // A clock read costs tens of nanoseconds; a coarse clock is fine enough here.
  const std::int64_t now = platform::coarse_now_ns();
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
