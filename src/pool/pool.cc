#include "pool/pool.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

#include "common/interrupt.h"

namespace tavik::pool {
namespace {

struct Job {
  const std::function<void(std::size_t, std::size_t)>* body;
  std::size_t count;
  std::size_t chunk_size;
  std::size_t chunks;
  std::atomic<std::size_t> next{0};
  std::atomic<std::size_t> first_failed{std::numeric_limits<std::size_t>::max()};
  std::vector<std::exception_ptr> errors;
  std::size_t helpers = 0;  // workers inside this job; guarded by the pool mutex
  // Set by the caller's poll that was interrupted; every thread's next poll
  // then stops its chunk, and chunks not yet claimed lie above the failed one.
  std::atomic<bool> interrupted{false};

  // Claims and runs chunks until none is left.
  void work() {
    const SharedStopScope shared(interrupted);
    for (std::size_t c; (c = next.fetch_add(1)) < chunks;) {
      if (c > first_failed.load()) continue;  // a lower chunk failed already
      const std::size_t begin = c * chunk_size, end = std::min(count, begin + chunk_size);
      try {
        (*body)(begin, end);
      } catch (...) {
        errors[c] = std::current_exception();
        for (std::size_t f = first_failed.load(); c < f && !first_failed.compare_exchange_weak(f, c);) {
        }
      }
    }
  }
};

class Pool {
 public:
  // Runs with the threads it could get, down to none (the caller alone): a
  // thread that cannot start, for want of thread resources or of memory for
  // its state, is no failure of the call that needed the pool. Room for every
  // worker is reserved first, so that once one runs nothing but starting the
  // next can throw, and no running worker is ever destroyed joinable.
  explicit Pool(std::size_t threads) {
    try {
      workers_.reserve(threads);
      for (std::size_t t = 0; t < threads; ++t) workers_.emplace_back([this] { serve(); });
    } catch (const std::exception&) {
    }
  }

  std::size_t concurrency() const { return workers_.size() + 1; }

  // Returns false, having run nothing, while another job holds the pool; the
  // caller then works alone. Waiting instead could deadlock: a job's caller
  // may run a signal handler (see interrupt.h) that releases the interpreter
  // lock to a thread that calls in, or that calls in itself.
  bool try_run(Job& job) {
    if (busy_.test_and_set(std::memory_order_acquire)) return false;
    struct Release {
      std::atomic_flag& flag;
      ~Release() { flag.clear(std::memory_order_release); }
    } release{busy_};
    {
      std::lock_guard lock(mutex_);
      current_ = &job;
      ++generation_;
    }
    wake_.notify_all();
    job.work();
    std::unique_lock lock(mutex_);
    current_ = nullptr;  // late risers find no job
    done_.wait(lock, [&] { return job.helpers == 0; });
    return true;
  }

 private:
  void serve() {
    std::uint64_t seen = 0;
    std::unique_lock lock(mutex_);
    for (;;) {
      wake_.wait(lock, [&] { return generation_ != seen; });
      seen = generation_;
      Job* job = current_;
      if (job == nullptr) continue;
      ++job->helpers;
      lock.unlock();
      job->work();
      lock.lock();
      if (--job->helpers == 0) done_.notify_all();
    }
  }

  std::atomic_flag busy_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  std::uint64_t generation_ = 0;
  Job* current_ = nullptr;
  std::vector<std::thread> workers_;
};

// Never destroyed: idle workers may still be waiting when the process exits,
// and in a forked child the parent's threads do not exist, so the old pool is
// abandoned (its mutexes may even be held) and a new one made on demand.
Pool* g_pool = nullptr;

std::size_t usable_cpus() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof(set), &set) == 0) return std::max(1, CPU_COUNT(&set));
  return std::max(1u, std::thread::hardware_concurrency());
}

Pool& the_pool() {
  static const bool registered = [] {
    pthread_atfork(nullptr, nullptr, [] { g_pool = nullptr; });
    return true;
  }();
  (void)registered;
  if (g_pool == nullptr) g_pool = new Pool(usable_cpus() - 1);
  return *g_pool;
}

}  // namespace

std::size_t concurrency() { return the_pool().concurrency(); }

void parallel_for(std::size_t count, std::size_t grain,
                  const std::function<void(std::size_t, std::size_t)>& body) {
  if (count == 0) return;
  grain = std::max<std::size_t>(grain, 1);
  Pool& pool = the_pool();
  // A few chunks per thread balance uneven work without much overhead.
  const std::size_t max_chunks = std::min((count + grain - 1) / grain, pool.concurrency() * 4);
  if (max_chunks <= 1 || pool.concurrency() == 1) {
    body(0, count);
    return;
  }
  const std::size_t chunk_size = (count + max_chunks - 1) / max_chunks;
  Job job{&body, count, chunk_size, (count + chunk_size - 1) / chunk_size};
  job.errors.resize(job.chunks);
  if (!pool.try_run(job)) {
    body(0, count);
    return;
  }
  if (job.interrupted.load()) throw Interrupted{};
  if (const std::size_t f = job.first_failed.load(); f < job.chunks) std::rethrow_exception(job.errors[f]);
}

}  // namespace tavik::pool
