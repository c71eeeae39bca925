#include "pool/pool.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <limits>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "common/interrupt.h"

namespace tavik::pool {
namespace {

// Set on a thread while it works on a job: work it starts then runs inline.
constinit thread_local bool t_in_job = false;

// How often a caller that waits for other threads' chunks wakes to poll:
// about as often as polls may run the stop check (interrupt.cc).
constexpr std::chrono::milliseconds kPollWhileWaiting{2};

struct Job {
  const std::function<void(std::size_t, std::size_t)>* body;
  std::size_t count;
  std::size_t chunk_size;
  std::size_t chunks;
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> first_failed{std::numeric_limits<std::size_t>::max()};
  std::vector<std::exception_ptr> errors;
  // Set by the caller's poll that was interrupted; every thread's next poll
  // then stops its chunk, and chunks not yet claimed lie above the failed one.
  std::atomic<bool> interrupted{false};
  // Chunks run or skipped. The thread that finishes the last one wakes the
  // caller, which may be waiting for it.
  std::atomic<std::size_t> finished{0};
  std::mutex mutex;
  std::condition_variable all_finished;
  const std::thread::id caller = std::this_thread::get_id();

  // Claims and runs chunks until none is left; runs on the caller and on
  // every worker that joins, through the Workers table.
  static void work(void* self) { static_cast<Job*>(self)->claim_and_run(); }

  void claim_and_run() {
    const SharedStopScope shared(interrupted);
    const bool was_in_job = std::exchange(t_in_job, true);
    for (std::size_t c; (c = next.fetch_add(1)) < chunks;) {
      if (c <= first_failed.load()) run(c);  // else a lower chunk failed already
      if (finished.fetch_add(1) + 1 == chunks) {
        const std::lock_guard lock(mutex);
        all_finished.notify_one();
      }
    }
    // This runs in the caller's copy of the pool code, where its stop check
    // lives; the Workers' own wait for the job's threads cannot run it.
    if (std::this_thread::get_id() == caller) wait_for_other_chunks();
    t_in_job = was_in_job;
  }

  void run(std::size_t c) {
    const std::size_t begin = c * chunk_size, end = std::min(count, begin + chunk_size);
    try {
      (*body)(begin, end);
    } catch (...) {
      errors[c] = std::current_exception();
      for (std::size_t f = first_failed.load(); c < f && !first_failed.compare_exchange_weak(f, c);) {
      }
    }
  }

  // The workers' last chunks may last most of a chunk after the caller ran
  // out of them: the caller keeps polling meanwhile, so that a stop it is
  // asked for reaches their polls through `interrupted` within milliseconds.
  void wait_for_other_chunks() {
    std::unique_lock lock(mutex);
    while (!all_finished.wait_for(lock, kPollWhileWaiting, [&] { return finished.load() == chunks; })) {
      // Not while holding the lock: the check may run a signal handler.
      lock.unlock();
      try {
        poll_interrupt_waiting();
      } catch (const Interrupted&) {  // recorded in `interrupted`, rethrown after the join
      }
      lock.lock();
    }
  }
};

std::atomic<const Workers*> g_workers{nullptr};

const Workers& workers() {
  const Workers* w = g_workers.load(std::memory_order_acquire);
  return w != nullptr ? *w : own_workers();
}

}  // namespace

void use_workers(const Workers& w) { g_workers.store(&w, std::memory_order_release); }

std::size_t concurrency() { return workers().concurrency(); }

void parallel_for(std::size_t count, std::size_t grain,
                  const std::function<void(std::size_t, std::size_t)>& body) {
  if (count == 0) return;
  if (t_in_job) {
    body(0, count);
    return;
  }
  grain = std::max<std::size_t>(grain, 1);
  const Workers& w = workers();
  const std::size_t threads = w.concurrency();
  // A few chunks per thread balance uneven work without much overhead.
  const std::size_t max_chunks = std::min((count + grain - 1) / grain, threads * 4);
  if (max_chunks <= 1 || threads == 1) {
    body(0, count);
    return;
  }
  const std::size_t chunk_size = (count + max_chunks - 1) / max_chunks;
  Job job{&body, count, chunk_size, (count + chunk_size - 1) / chunk_size};
  job.errors.resize(job.chunks);
  // The caller takes a chunk itself.
  if (!w.run(job.chunks - 1, &Job::work, &job)) {
    body(0, count);
    return;
  }
  if (job.interrupted.load()) throw Interrupted{};
  if (const std::size_t f = job.first_failed.load(); f < job.chunks) std::rethrow_exception(job.errors[f]);
}

void parallel_for(Threads threads, std::size_t count, std::size_t grain,
                  const std::function<void(std::size_t, std::size_t)>& body) {
  if (threads == Threads::pool)
    parallel_for(count, grain, body);
  else if (count > 0)
    body(0, count);
}

}  // namespace tavik::pool
