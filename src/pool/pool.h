// The process-wide worker pool. Threads are created on first use and sleep
// between calls; the calling thread works alongside them. A child process
// made by fork() starts with a fresh pool.
#pragma once

#include <cstddef>
#include <functional>

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
// The caller's polls (interrupt.h) stop every thread of the job: once the
// caller is interrupted, Interrupted is rethrown. Work started while the pool
// is busy (from inside a job, or by another thread) runs on its caller alone.
void parallel_for(std::size_t count, std::size_t grain, const std::function<void(std::size_t, std::size_t)>& body);

// Threads that take part in a parallel_for, the caller included.
std::size_t concurrency();

}  // namespace tavik::pool
