// Progress counters: a kernel adds to one while another thread (a progress
// bar) reads it.
#pragma once

#include <atomic>
#include <cstdint>

namespace tavik {

// A relaxed add to a counter shared with a reader. libc++ before 19 has no
// std::atomic_ref; its compilers have the builtin.
inline void add_progress(std::uint64_t* counter, std::uint64_t amount) {
  if (counter == nullptr) return;
#if defined(__cpp_lib_atomic_ref)
  std::atomic_ref<std::uint64_t>(*counter).fetch_add(amount, std::memory_order_relaxed);
#else
  __atomic_fetch_add(counter, amount, __ATOMIC_RELAXED);
#endif
}

}  // namespace tavik
