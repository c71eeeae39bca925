// Stopping a long call early. Kernels call poll_interrupt between blocks of
// work; it throws Interrupted once the stop check that the calling face
// installed on this thread says the caller asked to stop (for Python callers:
// a signal handler raised, as on Ctrl-C). Polls sit between blocks only, so a
// call that is not stopped does exactly the arithmetic it did before.
//
// Vectorised kernels (platform/simd.h) do not poll inside: callers run them
// slice by slice and poll between slices, which keeps calls out of their
// loops. (The SIMD variants are plain functions, so unlike functions built
// with GCC's target_clones they would let a throw pass.)
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <utility>

namespace tavik {

// Not a std::exception: no kernel handler of those may swallow it. The stop
// check has already recorded why the call stopped.
struct Interrupted {};

// The face's question "must the call on this thread stop?". It runs on the
// thread that entered the call only, never on a pool worker.
using StopCheck = bool (*)();

namespace interrupt_detail {

// Work a thread may do between two looks at the clock.
inline constexpr std::int64_t kStepsPerClockRead = std::int64_t{1} << 16;

struct ThreadState {
  StopCheck check = nullptr;
  std::atomic<bool>* shared = nullptr;  // set when this thread works on a shared job
  std::int64_t steps_left = kStepsPerClockRead;
  std::int64_t next_check_ns = 0;  // the check runs again from this coarse time on
};

inline constinit thread_local ThreadState state;

void poll_slow();

}  // namespace interrupt_detail

// Reports `steps` inner-loop iterations done since the last poll. Costs a
// subtraction almost always; every 2^16 steps it reads a coarse clock, and
// it calls the stop check at most every few milliseconds.
inline void poll_interrupt(std::size_t steps) {
  auto& s = interrupt_detail::state;
  if ((s.steps_left -= static_cast<std::int64_t>(steps)) > 0) return;
  interrupt_detail::poll_slow();
}

// For a thread that waits for others instead of working: polls as if a block
// of work had passed, so the stop check runs at the pace of polls.
inline void poll_interrupt_waiting() { poll_interrupt(interrupt_detail::kStepsPerClockRead); }

// For loops whose iterations are too short to poll each: gathers their steps
// and polls once per few thousand.
class BatchedPoll {
 public:
  void step(std::size_t steps = 1) {
    if ((pending_ += steps) >= kBatch) poll_interrupt(std::exchange(pending_, 0));
  }

 private:
  static constexpr std::size_t kBatch = 4096;
  std::size_t pending_ = 0;
};

// Installs `check` for the calls this thread makes until the scope ends.
class StopCheckScope {
 public:
  explicit StopCheckScope(StopCheck check);
  ~StopCheckScope();
  StopCheckScope(const StopCheckScope&) = delete;
  StopCheckScope& operator=(const StopCheckScope&) = delete;

 private:
  interrupt_detail::ThreadState saved_;
};

// Joins this thread to a job shared with other threads: once a poll of any
// of them throws Interrupted, the polls of all of them throw.
class SharedStopScope {
 public:
  explicit SharedStopScope(std::atomic<bool>& stopped);
  ~SharedStopScope();
  SharedStopScope(const SharedStopScope&) = delete;
  SharedStopScope& operator=(const SharedStopScope&) = delete;

 private:
  std::atomic<bool>* saved_;
};

}  // namespace tavik
