// The process-wide worker pool. Threads are created on first use and sleep
// between calls; the calling thread works alongside them. A child process
// made by fork() starts with a fresh pool.
#pragma once

#include <algorithm>
#include <cstddef>
#include <functional>

#include "common/interrupt.h"

namespace tavik::pool {

// Runs body(begin, end) over contiguous chunks covering [0, count), at least
// `grain` items per chunk, and returns once every chunk is done. Each item's
// result must go to its own slot, so nothing depends on the pool's size.
//
// If chunks throw, the exception of the lowest-numbered failing chunk is
// rethrown after the join; since chunks are contiguous and run their items
// in order, that is the failure of the lowest failing item whatever the
// chunking. Chunks after a failed one may be skipped.
//
// The caller's polls (interrupt.h) stop every thread of the job, and the
// caller polls while it waits for the other threads' last chunks too: once
// the caller is interrupted, Interrupted is rethrown. Work started from inside a
// job runs inline on its thread; work started by another thread while the
// pool is busy runs on that thread alone.
void parallel_for(std::size_t count, std::size_t grain, const std::function<void(std::size_t, std::size_t)>& body);

// Where a kernel that can split its work runs it: on the calling thread
// alone (the list face keeps most kernels there) or on the pool as well.
// Kernels split only where each result's arithmetic is the same either way.
enum class Threads { caller, pool };

// parallel_for on the pool, or body(0, count) on the calling thread.
void parallel_for(Threads threads, std::size_t count, std::size_t grain,
                  const std::function<void(std::size_t, std::size_t)>& body);

// A streaming pass over [0, count) in blocks of `block` items:
// body(begin, end) for each block, after a poll (common/interrupt.h).
template <class Body>
void parallel_blocks(Threads threads, std::size_t count, std::size_t block, const Body& body) {
  parallel_for(threads, (count + block - 1) / block, 1, [&](std::size_t first, std::size_t last) {
    for (std::size_t b = first; b < last; ++b) {
      poll_interrupt(block);
      body(b * block, std::min(count, (b + 1) * block));
    }
  });
}

// Threads that take part in a parallel_for, the caller included.
std::size_t concurrency();

// The threads behind parallel_for, as a table of plain functions: every
// extension module of the package links its own copy of this code, and the
// modules hand one module's table to the others (py/shared_pool.h) so that
// they share one set of threads. Its layout is part of that hand-over.
struct Workers {
  // Threads that take part in a job, the caller included.
  std::size_t (*concurrency)();
  // Runs work(job) on the calling thread and on at most `helpers` workers,
  // and returns once every one of them has left it. Returns false, having
  // run nothing, while another job holds the threads: waiting could deadlock,
  // as a job's caller may run a signal handler (see interrupt.h) that
  // releases the interpreter lock to a thread that calls in, or calls in
  // itself.
  bool (*run)(std::size_t helpers, void (*work)(void* job), void* job);
};

// This copy's threads, made on first use.
const Workers& own_workers();

// Runs this copy's jobs on `workers` (another module's) from now on; called
// before the first job.
void use_workers(const Workers& workers);

}  // namespace tavik::pool
