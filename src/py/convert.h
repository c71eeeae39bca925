// Conversions between Python objects and native values: one converter per
// native type, each holding the rules and messages of its kind.
//
//   from_py<T>(obj)  -> T     throws ErrorAlreadySet with the Python error set
//   to_py(value)     -> Ref   a new object; throws ErrorAlreadySet on failure
//
// Record classes of the module convert through record.h; plain result structs
// convert as tuples through their `as_tuple()` member. Results with their own
// shape (histograms, amplitudes, named QUBOs, ...) have a converter header of
// their own beside this one.
#pragma once

#include <concepts>
#include <cstdint>
#include <new>
#include <optional>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "common/interrupt.h"
#include "py/fast_read.h"
#include "py/ref.h"
#include "py/translate.h"

namespace tavik::py {

template <class>
inline constexpr bool kNoConverter = false;

// One specialisation per supported type; record classes opt in (record.h).
template <class T>
struct Converter {
  static_assert(kNoConverter<T>,
                "no conversion between Python and this C++ type: give it a Converter, or declare it a record");
};

template <class T>
T from_py(PyObject* obj) {
  return Converter<T>::from(obj);
}

template <class T>
Ref to_py(T&& value) {
  return Converter<std::remove_cvref_t<T>>::to(std::forward<T>(value));
}

template <>
struct Converter<std::uint64_t> {
  static std::uint64_t from(PyObject* obj) {
    std::uint64_t small;
    if (fast::small_int(obj, small)) return small;
    unsigned long long v;
    if (PyLong_CheckExact(obj)) {
      v = PyLong_AsUnsignedLongLong(obj);
    } else {
      Ref index = Ref::steal(PyNumber_Index(obj));
      v = PyLong_AsUnsignedLongLong(index.get());
    }
    if (v == static_cast<unsigned long long>(-1) && PyErr_Occurred()) throw_error_already_set();
    return v;
  }
  static Ref to(std::uint64_t v) { return Ref::steal(PyLong_FromUnsignedLongLong(v)); }
};

template <>
struct Converter<std::uint8_t> {
  static std::uint8_t from(PyObject* obj) {
    // Read as 64 bits whatever the width of the platform's C long, so that
    // the same values fail with the same message everywhere.
    int overflow = 0;
    const long long v = PyLong_AsLongLongAndOverflow(obj, &overflow);
    if (v == -1 && PyErr_Occurred()) throw_error_already_set();
    if (overflow != 0) raise(PyExc_OverflowError, "Python int too large to convert to C long");
    if (v < 0 || v > 255) raise(PyExc_OverflowError, "out of range integral type conversion attempted");
    return static_cast<std::uint8_t>(v);
  }
  static Ref to(std::uint8_t v) { return Ref::steal(PyLong_FromLong(v)); }
};

// Integers that only travel outwards (spins, small counts).
template <class T>
  requires(std::integral<T> && !std::same_as<T, bool> && !std::same_as<T, std::uint64_t> &&
           !std::same_as<T, std::uint8_t>)
struct Converter<T> {
  static Ref to(T v) {
    if constexpr (std::is_signed_v<T>)
      return Ref::steal(PyLong_FromLongLong(v));
    else
      return Ref::steal(PyLong_FromUnsignedLongLong(v));
  }
};

template <>
struct Converter<double> {
  static double from(PyObject* obj) {
    double v;
    if (fast::float_value(obj, v)) return v;
    v = PyFloat_AsDouble(obj);
    if (v == -1.0 && PyErr_Occurred()) throw_error_already_set();
    return v;
  }
  static Ref to(double v) { return Ref::steal(PyFloat_FromDouble(v)); }
};

template <>
struct Converter<std::string> {
  static std::string from(PyObject* obj) {
    if (!PyUnicode_Check(obj)) raise_cannot_convert(obj, "PyString");
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(obj, &size);
    if (utf8 == nullptr) throw_error_already_set();
    return std::string(utf8, static_cast<std::size_t>(size));
  }
  static Ref to(const std::string& v) {
    return Ref::steal(PyUnicode_FromStringAndSize(v.data(), static_cast<Py_ssize_t>(v.size())));
  }
};

// A parameter with a default: null (not given) converts to nullopt.
template <class T>
struct Converter<std::optional<T>> {
  static std::optional<T> from(PyObject* obj) {
    if (obj == nullptr) return std::nullopt;
    return from_py<T>(obj);
  }
};

// Visits the items of a sequence argument in iteration order, with the rules
// and messages of a list conversion: for converters that read a sequence
// without building a vector of it. `size_hint(n)` hears the length first
// when it can be read; it is only a hint.
//
// Lists and tuples are read by index: the same items in the same order as
// their iterators give (a list's length is re-read at every step, as its
// iterator does), without an iterator object and a call per item.
template <class Visit, class SizeHint>
void for_each_item(PyObject* obj, Visit&& visit, SizeHint&& size_hint) {
  PyObject* (*get)(PyObject*, Py_ssize_t) = PyList_CheckExact(obj)    ? &PyList_GetItem
                                            : PyTuple_CheckExact(obj) ? &PyTuple_GetItem
                                                                      : nullptr;
  BatchedPoll poll;  // a list of millions takes seconds to convert
  if (get != nullptr) {
    size_hint(static_cast<std::size_t>(Py_SIZE(obj)));
    for (Py_ssize_t i = 0; i < Py_SIZE(obj); ++i) {
      poll.step();
      // Converting an item may run Python code that shrinks the list: hold
      // the item while it converts.
      Ref item = Ref::borrow(get(obj, i));
      visit(item.get());
    }
    return;
  }
  if (PyUnicode_Check(obj)) raise(PyExc_TypeError, "Can't extract `str` to `Vec`");
  if (!PySequence_Check(obj)) raise_cannot_convert(obj, "Sequence");
  const Py_ssize_t n = PySequence_Size(obj);
  if (n < 0)
    PyErr_Clear();
  else
    size_hint(static_cast<std::size_t>(n));
  Ref iterator = Ref::steal(PyObject_GetIter(obj));
  while (PyObject* item = PyIter_Next(iterator.get())) {
    Ref owned = Ref::steal(item);
    poll.step();
    visit(item);
  }
  if (PyErr_Occurred()) throw_error_already_set();
}

template <class Visit>
void for_each_item(PyObject* obj, Visit&& visit) {
  for_each_item(obj, std::forward<Visit>(visit), [](std::size_t) {});
}

template <class T>
struct Converter<std::vector<T>> {
  static std::vector<T> from(PyObject* obj) {
    std::vector<T> out;
    for_each_item(obj, [&](PyObject* item) { out.push_back(from_py<T>(item)); },
                  [&](std::size_t n) { reserve_hint(out, n); });
    return out;
  }

  template <class V>
  static Ref to(V&& values) {
    Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(values.size())));
    Py_ssize_t i = 0;
    BatchedPoll poll;
    for (auto&& v : values) {
      poll.step();
      Ref item = [&] {
        if constexpr (std::is_rvalue_reference_v<V&&>)
          return to_py(std::move(v));
        else
          return to_py(v);
      }();
      PyList_SetItem(list.get(), i++, item.release());
    }
    return list;
  }

 private:
  // A sequence whose length is too large to reserve is still converted item
  // by item.
  static void reserve_hint(std::vector<T>& out, std::size_t n) {
    try {
      out.reserve(n);
    } catch (const std::exception&) {
    }
  }
};

namespace detail {

template <std::size_t N>
[[gnu::always_inline]] inline void check_tuple(PyObject* obj) {
  if (!PyTuple_CheckExact(obj) && !PyTuple_Check(obj)) raise_cannot_convert(obj, "PyTuple");
  const Py_ssize_t size = Py_SIZE(obj);
  if (size != static_cast<Py_ssize_t>(N))
    raise(PyExc_ValueError, "expected tuple of length " + std::to_string(N) + ", but got tuple of length " +
                                std::to_string(size));
}

template <class Tuple, std::size_t... I>
[[gnu::always_inline]] inline Tuple tuple_from(PyObject* obj, std::index_sequence<I...>) {
  check_tuple<sizeof...(I)>(obj);
  // Braced initialisation converts the items in order.
  return Tuple{from_py<std::tuple_element_t<I, Tuple>>(fast::tuple_item(obj, I))...};
}

template <class Tuple, std::size_t... I>
Ref tuple_to(Tuple&& values, std::index_sequence<I...>) {
  Ref tuple = Ref::steal(PyTuple_New(sizeof...(I)));
  ((PyTuple_SetItem(tuple.get(), I, to_py(std::get<I>(std::forward<Tuple>(values))).release())), ...);
  return tuple;
}

}  // namespace detail

template <class... T>
struct Converter<std::tuple<T...>> {
  static std::tuple<T...> from(PyObject* obj) {
    return detail::tuple_from<std::tuple<T...>>(obj, std::index_sequence_for<T...>{});
  }
  template <class V>
  static Ref to(V&& values) {
    return detail::tuple_to(std::forward<V>(values), std::index_sequence_for<T...>{});
  }
};

template <class A, class B>
struct Converter<std::pair<A, B>> {
  static std::pair<A, B> from(PyObject* obj) {
    return detail::tuple_from<std::pair<A, B>>(obj, std::index_sequence<0, 1>{});
  }
  template <class V>
  static Ref to(V&& values) {
    return detail::tuple_to(std::forward<V>(values), std::index_sequence<0, 1>{});
  }
};

// Result structs: a struct with `as_tuple()` (a tuple of references to its
// members) becomes a Python tuple of those members.
template <class T>
concept TupleResult = requires(const T& t) { t.as_tuple(); };

template <TupleResult T>
struct Converter<T> {
  static Ref to(const T& value) {
    auto refs = value.as_tuple();
    return detail::tuple_to(refs, std::make_index_sequence<std::tuple_size_v<decltype(refs)>>{});
  }
};

}  // namespace tavik::py
