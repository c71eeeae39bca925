// Large scratch arrays that live for one call.
//
// A fresh multi-megabyte array costs a page fault per 4 KiB page touched,
// which for short-lived buffers can cost more than the work done in them.
// Arrays of 2 MiB and more are therefore aligned to 2 MiB and offered to the
// kernel's transparent huge pages (one fault per 2 MiB where it accepts).
// Elements are left uninitialised: callers write each before reading it.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <type_traits>

namespace tavik {

struct FreeDeleter {
  void operator()(void* p) const noexcept { std::free(p); }
};

template <class T>
using BigBuffer = std::unique_ptr<T[], FreeDeleter>;

// At least `bytes` bytes (std::bad_alloc when they cannot be had).
void* allocate_big(std::size_t count, std::size_t size);

template <class T>
BigBuffer<T> big_buffer(std::size_t count) {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);
  return BigBuffer<T>(static_cast<T*>(allocate_big(count, sizeof(T))));
}

}  // namespace tavik
