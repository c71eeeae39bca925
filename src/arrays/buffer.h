// Arrays read and written in place through the buffer protocol. The typed
// Python layer (tavik/arrays.py) hands over C-contiguous arrays of the
// exact dtypes below; a buffer that is not one is refused with TypeError
// naming the argument, so a mistake in that layer cannot reach a kernel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

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

// Read-only elements of a C-contiguous buffer of T, any shape, flattened.
template <class T>
class In {
 public:
  explicit In(PyObject* obj) : view_(obj, false, detail::kFormats<T>, sizeof(T), alignof(T)) {}
  std::span<const T> span() const { return {static_cast<const T*>(view_.data()), view_.count()}; }
  operator std::span<const T>() const { return span(); }

 private:
  detail::View view_;
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

// A result whose size is known only once a kernel has run: a new bytearray
// of `count` elements of T (the Python layer views it as an array without a
// copy) and the span to fill.
template <class T>
struct NewArray {
  py::Ref object;
  std::span<T> span;
};

py::Ref new_bytearray(std::size_t bytes, void*& data);

template <class T>
NewArray<T> new_array(std::size_t count) {
  void* data = nullptr;
  py::Ref object = new_bytearray(count * sizeof(T), data);
  return {std::move(object), {static_cast<T*>(data), count}};
}

}  // namespace tavik::arrays

namespace tavik::py {

template <class T>
struct Converter<arrays::In<T>> {
  static arrays::In<T> from(PyObject* obj) { return arrays::In<T>(obj); }
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
