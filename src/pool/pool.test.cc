// Races the pool's first use from several threads at once, nests parallel_for inside pool jobs, fails chunks on two
// threads at once, and stops a job whose caller waits for a worker's long last chunk; run under ThreadSanitizer by
// tools/test_tsan.sh, which fails on any report. Exits non-zero if a result is wrong.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <latch>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "common/interrupt.h"
#include "pool/pool.h"

namespace {

constexpr std::size_t kThreads = 4, kItems = 1000, kInner = 50;

// Every item of the outer loop runs an inner loop of its own; each writes its own slots only.
bool nested_sums_right() {
  std::vector<std::size_t> sums(kItems);
  tavik::pool::parallel_for(kItems, 1, [&](std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) {
      std::vector<std::size_t> inner(kInner);
      tavik::pool::parallel_for(kInner, 1, [&](std::size_t b, std::size_t e) {
        for (std::size_t k = b; k < e; ++k) inner[k] = i + k;
      });
      for (std::size_t v : inner) sums[i] += v;
    }
  });
  for (std::size_t i = 0; i < kItems; ++i)
    if (sums[i] != kInner * i + kInner * (kInner - 1) / 2) return false;
  return true;
}

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Far longer than a stop may take, even under the sanitizer.
constexpr std::chrono::milliseconds kLongChunk = 5s, kStopBound = 500ms;

// Whether the stop check asks to stop, and when it first did.
std::atomic<bool> g_stopping{false};
std::atomic<Clock::time_point> g_stop_asked{};

bool stop_check() {
  if (!g_stopping) return false;
  if (g_stop_asked.load() == Clock::time_point{}) g_stop_asked = Clock::now();
  return true;
}

// The first worker's chunk is long and polls like a kernel (or fails soon, if `fail`); the other chunks wait for it
// to start and do not poll, so the caller's stop check first runs once the caller has no chunk left to claim. Returns
// the time from the first stop asked, or from the failure, to the call's end; a negative time if the call ended
// otherwise or before the long chunk had left the job.
double tail_seconds(bool fail) {
  const auto caller = std::this_thread::get_id();
  std::atomic<bool> long_started{false}, long_left{false};
  std::atomic<Clock::time_point> failed_at{};
  const tavik::StopCheckScope stop(&stop_check);
  g_stopping = !fail;
  g_stop_asked = Clock::time_point{};
  try {
    tavik::pool::parallel_for(64, 1, [&](std::size_t, std::size_t) {
      const auto start = Clock::now();
      if (std::this_thread::get_id() == caller || long_started.exchange(true)) {
        while (!long_started && Clock::now() < start + kLongChunk) std::this_thread::sleep_for(1ms);
        return;
      }
      struct Leave {
        std::atomic<bool>& left;
        ~Leave() { left = true; }
      } leave{long_left};
      while (Clock::now() < start + kLongChunk) {
        tavik::poll_interrupt(std::size_t{1} << 16);  // a block of work a millisecond
        std::this_thread::sleep_for(1ms);
        if (fail && Clock::now() > start + 50ms) {
          failed_at = Clock::now();
          throw std::runtime_error("long chunk");
        }
      }
    });
  } catch (const tavik::Interrupted&) {
    if (!fail && long_left) return std::chrono::duration<double>(Clock::now() - g_stop_asked.load()).count();
  } catch (const std::runtime_error&) {
    if (fail && long_left) return std::chrono::duration<double>(Clock::now() - failed_at.load()).count();
  }
  return -1;
}

// Items 100 and 500 fail in chunks that run at once, on two threads: the lower one's error is the one reported,
// whether it fails first or last.
bool lowest_failure_reported(bool lowest_first) {
  std::atomic<bool> reached{false};
  try {
    tavik::pool::parallel_for(kItems, 1, [&](std::size_t begin, std::size_t end) {
      for (std::size_t i = begin; i < end; ++i) {
        if (i == 500) reached = true;
        if (i == 100)
          for (const auto until = Clock::now() + 1s; !reached && Clock::now() < until;) std::this_thread::yield();
        if (i == (lowest_first ? 500 : 100)) std::this_thread::sleep_for(50ms);
        if (i == 100 || i == 500) throw std::runtime_error(std::to_string(i));
      }
    });
  } catch (const std::runtime_error& error) {
    return std::string(error.what()) == "100";
  }
  return false;
}

}  // namespace

int main() {
  std::latch start(kThreads);
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < kThreads; ++t)
    threads.emplace_back([&] {
      start.arrive_and_wait();  // all at once, so that they race the pool's creation
      for (int round = 0; round < 20; ++round) failures += !nested_sums_right();
    });
  for (auto& t : threads) t.join();
  if (failures != 0) std::fprintf(stderr, "%d wrong results\n", failures.load());
  if (tavik::pool::concurrency() > 1)
    for (const bool lowest_first : {false, true})
      if (!lowest_failure_reported(lowest_first)) {
        std::fprintf(stderr, "a job whose chunks failed did not report the lowest one's error\n");
        ++failures;
      }
  if (tavik::pool::concurrency() > 1)
    for (const bool fail : {false, true})
      if (const double s = tail_seconds(fail); s < 0 || s > std::chrono::duration<double>(kStopBound).count()) {
        std::fprintf(stderr, s < 0 ? "a job %s in a worker's last chunk did not end so\n"
                                   : "a job %s in a worker's last chunk ended %.3f s later\n",
                     fail ? "failing" : "stopped", s);
        ++failures;
      }
  return failures != 0;
}
