// Arrays read and written in place through the buffer protocol. The typed
// Python layer (tavik/arrays.py) hands over C-contiguous arrays of the
// exact dtypes below; a buffer that is not one is refused with TypeError
// naming the argument, so a mistake in that layer cannot reach a kernel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <span>
#include <type_traits>
#include <utility>
#include <vector>

#include "common/memory.h"
#include "py/convert.h"

namespace tavik::sim {
struct Amplitude;
}

namespace tavik::arrays {

namespace detail {

// A held Py_buffer, released once.
class View {
 public:
  View(PyObject* obj, bool writable, const char* formats, std::size_t itemsize, std::size_t alignment);
  View(View&& other) noexcept : view_(std::exchange(other.view_, {})) {}
  View& operator=(View&&) = delete;
  ~View();

  void* data() const { return view_.buf; }
  std::size_t count() const { return static_cast<std::size_t>(view_.len) / static_cast<std::size_t>(view_.itemsize); }
  template <class T>
  std::span<const T> as() const {
    return {static_cast<const T*>(data()), count()};
  }

 private:
  Py_buffer view_{};
};

// The buffer format codes that hold a T: any 8-byte integer for an index
// (the typed layer has checked that it is not negative), exactly the type
// otherwise. A code is one character, or 'Z' and one for a complex type.
template <class T>
constexpr const char* kFormats = nullptr;
template <>
inline constexpr const char* kFormats<double> = "d";
template <>
inline constexpr const char* kFormats<std::uint64_t> = "qQlL";
template <>
inline constexpr const char* kFormats<std::uint8_t> = "B";
template <>
inline constexpr const char* kFormats<sim::Amplitude> = "Zd";  // complex128: {re, im}

}  // namespace detail

// Read-only elements of a C-contiguous buffer of T, any shape, flattened,
// read where they lie: values a kernel only computes with. While the lock is
// released another thread may write them, which makes a result stale but
// never sends a kernel outside its memory.
template <class T>
class In {
  static_assert(!std::is_same_v<T, std::uint64_t>, "indices are read as Copied");

 public:
  explicit In(PyObject* obj) : view_(obj, false, detail::kFormats<T>, sizeof(T), alignof(T)) {}
  std::span<const T> span() const { return view_.as<T>(); }
  operator std::span<const T>() const { return span(); }

 private:
  detail::View view_;
};

// The elements of a C-contiguous buffer of T, copied while the lock is held
// into memory the call owns: indices, offsets and values that choose a
// kernel's path. A kernel checks them once and then trusts them, so no
// thread of the caller's may change them after the check.
template <class T>
class Copied {
 public:
  explicit Copied(PyObject* obj) {
    const detail::View view(obj, false, detail::kFormats<T>, sizeof(T), alignof(T));
    const std::span<const T> source = view.as<T>();
    require_memory(source.size(), 1, sizeof(T));
    values_.assign(source.begin(), source.end());
  }
  std::span<const T> span() const { return values_; }
  operator std::span<const T>() const { return span(); }

 private:
  std::vector<T> values_;
};

// Writable elements of a C-contiguous buffer of T, any shape, flattened.
template <class T>
class Out {
 public:
  explicit Out(PyObject* obj) : view_(obj, true, detail::kFormats<T>, sizeof(T), alignof(T)) {}
  std::span<T> span() const { return {static_cast<T*>(view_.data()), view_.count()}; }
  operator std::span<T>() const { return span(); }

 private:
  detail::View view_;
};

// A result made by the call: a new object holding `count` elements of T,
// which the Python layer views as an array without a copy, and the span to
// fill. The memory guard counts it first; a call that makes several results,
// or needs work space of its own, counts them all together before the first.
template <class T>
struct NewArray {
  py::Ref object;
  std::span<T> span;
};

// `bytes` uninitialised bytes, or zeroed ones (the system's zero pages,
// granted as they are first written), exported through the buffer protocol;
// large ones on huge pages.
py::Ref new_buffer(std::size_t bytes, bool zeroed, void*& data);

template <class T>
NewArray<T> new_array(std::size_t count, bool zeroed = false) {
  static_assert(std::is_trivially_copyable_v<T>);
  require_memory(count, 1, sizeof(T));
  void* data = nullptr;
  py::Ref object = new_buffer(count * sizeof(T), zeroed, data);
  return {std::move(object), {static_cast<T*>(data), count}};
}

}  // namespace tavik::arrays

namespace tavik::py {

template <class T>
struct Converter<arrays::In<T>> {
  static arrays::In<T> from(PyObject* obj) { return arrays::In<T>(obj); }
};

template <class T>
struct Converter<arrays::Copied<T>> {
  static arrays::Copied<T> from(PyObject* obj) { return arrays::Copied<T>(obj); }
};

template <class T>
struct Converter<arrays::Out<T>> {
  static arrays::Out<T> from(PyObject* obj) { return arrays::Out<T>(obj); }
};

// A new object made by a binding goes back to the caller as it is.
template <>
struct Converter<Ref> {
  static Ref to(Ref&& obj) { return std::move(obj); }
};

}  // namespace tavik::py
