// The threads of the pool: started once per process, asleep between jobs.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/cpus.h"
#include "platform/fork.h"
#include "platform/thread_signals.h"
#include "pool/pool.h"

namespace tavik::pool {
namespace {

class Threads {
 public:
  // Runs with the threads it could get, down to none (the caller alone): a
  // thread that cannot start, for want of thread resources or of memory for
  // its state, is no failure of the call that needed the pool. Room for every
  // worker is reserved first, so that once one runs nothing but starting the
  // next can throw, and no running worker is ever destroyed joinable.
  explicit Threads(std::size_t threads) {
    try {
      workers_.reserve(threads);
      platform::start_threads_without_signals([&] {
        for (std::size_t t = 0; t < threads; ++t) workers_.emplace_back([this] { serve(); });
      });
    } catch (const std::exception&) {
    }
  }

  std::size_t concurrency() const { return workers_.size() + 1; }

  bool run(std::size_t helpers, void (*work)(void*), void* job) {
    if (busy_.test_and_set(std::memory_order_acquire)) return false;
    struct Release {
      std::atomic_flag& flag;
      ~Release() { flag.clear(std::memory_order_release); }
    } release{busy_};
    helpers = std::min(helpers, workers_.size());
    {
      std::lock_guard lock(mutex_);
      work_ = work;
      job_ = job;
      seats_ = helpers;
    }
    // Only as many workers as can help: the others sleep on.
    for (std::size_t h = 0; h < helpers; ++h) wake_.notify_one();
    work(job);
    std::unique_lock lock(mutex_);
    seats_ = 0;  // late risers find no seat
    done_.wait(lock, [&] { return inside_ == 0; });
    return true;
  }

 private:
  void serve() {
    std::unique_lock lock(mutex_);
    for (;;) {
      wake_.wait(lock, [&] { return seats_ != 0; });
      --seats_;
      ++inside_;
      void (*work)(void*) = work_;
      void* job = job_;
      lock.unlock();
      work(job);
      lock.lock();
      if (--inside_ == 0) done_.notify_one();
    }
  }

  std::atomic_flag busy_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  void (*work_)(void*) = nullptr;
  void* job_ = nullptr;
  std::size_t seats_ = 0;   // workers the current job may still take in
  std::size_t inside_ = 0;  // workers inside the current job
  std::vector<std::thread> workers_;
};

// Never destroyed: idle workers may still be waiting when the process exits,
// and in a forked child the parent's threads do not exist, so the old pool is
// abandoned (its mutexes may even be held) and a new one made on demand.
std::atomic<Threads*> g_threads{nullptr};

// Held while the pool is made, and across fork(), so that a child never
// inherits it half made or the lock held.
std::mutex g_making;

Threads& the_threads() {
  if (Threads* threads = g_threads.load(std::memory_order_acquire)) return *threads;
  std::lock_guard lock(g_making);
  Threads* threads = g_threads.load(std::memory_order_relaxed);
  if (threads == nullptr) {
    static const bool hooked = (platform::on_fork([] { g_making.lock(); }, [] { g_making.unlock(); },
                                                  [] {
                                                    g_threads.store(nullptr, std::memory_order_relaxed);
                                                    g_making.unlock();
                                                  }),
                                true);
    (void)hooked;
    threads = new Threads(platform::usable_cpus() - 1);
    g_threads.store(threads, std::memory_order_release);
  }
  return *threads;
}

const Workers g_own{
    [] { return the_threads().concurrency(); },
    [](std::size_t helpers, void (*work)(void*), void* job) { return the_threads().run(helpers, work, job); },
};

}  // namespace

const Workers& own_workers() { return g_own; }

}  // namespace tavik::pool
