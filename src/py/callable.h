// Entry points: bind positional and keyword arguments to a callable's
// parameters, convert them in parameter order, call the kernel, convert the
// result, and translate any failure. A binding supplies only the kernel and
// its text signature.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "py/convert.h"
#include "py/gc_pause.h"
#include "py/translate.h"
#include "py/signature.h"

namespace tavik::py {

// What the binding messages need to know of a callable.
struct CallableInfo {
  std::string_view owner;  // class name; empty for a module function
  std::string_view name;
  const std::string_view* params;
  std::size_t arity;
  std::size_t required;
};

// Fills slots[0..arity) with borrowed references (null where a parameter with
// a default was not given), or sets the binding TypeError and throws. The
// arguments come as a tuple and a dict (a constructor's) or in the
// vectorcall layout (METH_FASTCALL | METH_KEYWORDS): n_args positional ones,
// then one per name in the tuple kwnames.
void bind_arguments(const CallableInfo& info, PyObject* args, PyObject* kwargs, PyObject** slots);
void bind_arguments(const CallableInfo& info, PyObject* const* args, std::size_t n_args, PyObject* kwnames,
                    PyObject** slots);

template <class Sig>
constexpr CallableInfo callable_info(std::string_view owner, std::string_view name) {
  return {owner, name, Sig::params.data(), Sig::arity, Sig::required};
}

template <class T>
T convert_argument(PyObject* obj, std::string_view param) {
  try {
    return from_py<T>(obj);
  } catch (const ErrorAlreadySet&) {
    prefix_argument_error(param);
    throw;
  }
}

// Every result a caller receives (of a function, a method or an attribute
// read) is converted here, under the one collector pause: a result of
// millions of lists would otherwise set off thousands of collections. A
// number makes no container, and tiny calls are spared the pause.
template <class T>
Ref result_to_py(T&& value) {
  if constexpr (std::is_arithmetic_v<std::remove_cvref_t<T>>) {
    return to_py(std::forward<T>(value));
  } else {
    const GcPause pause;
    return to_py(std::forward<T>(value));
  }
}

// How an argument is held for the kernel's parameter of type P during a
// call: converted into a value of its own, except where record.h lends a
// record in place.
template <class P>
struct Held {
  using type = std::remove_cvref_t<P>;
  static type from(PyObject* obj) { return from_py<type>(obj); }
};

template <class P>
typename Held<P>::type hold_argument(PyObject* obj, std::string_view param) {
  try {
    return Held<P>::from(obj);
  } catch (const ErrorAlreadySet&) {
    prefix_argument_error(param);
    throw;
  }
}

template <class T>
inline constexpr bool kOptional = false;
template <class T>
inline constexpr bool kOptional<std::optional<T>> = true;

// A parameter with a default may be left out: its argument slot is then
// null, which only an optional converts.
template <class Sig, class... P>
constexpr bool defaults_are_optional() {
  std::size_t i = 0;
  return ((i++ < Sig::required || kOptional<std::remove_cvref_t<P>>) && ...);
}

template <class F>
struct FnTraits;
template <class R, class... A>
struct FnTraits<R (*)(A...)> {
  using Args = std::tuple<std::remove_cvref_t<A>...>;
  using Params = std::tuple<A...>;
};
template <class R, class... A>
struct FnTraits<R (*)(A...) noexcept> : FnTraits<R (*)(A...)> {};
template <class R, class C, class... A>
struct FnTraits<R (C::*)(A...) const> : FnTraits<R (*)(A...)> {};
template <class R, class C, class... A>
struct FnTraits<R (C::*)(A...) const noexcept> : FnTraits<R (*)(A...)> {};

// Converts slots[I] as the kernel's I-th parameter, in order, and calls the
// kernel (a free function, or a const member function of *self).
template <auto Fn, class Sig, class Self, std::size_t... I>
Ref invoke(const Self* self, PyObject* const* slots, std::index_sequence<I...>) {
  using Params = typename FnTraits<decltype(Fn)>::Params;
  static_assert(std::tuple_size_v<Params> == Sig::arity, "the text signature must name every kernel parameter");
  static_assert(defaults_are_optional<Sig, std::tuple_element_t<I, Params>...>(),
                "a parameter with a default in the text signature must be a std::optional in the kernel");
  std::tuple<typename Held<std::tuple_element_t<I, Params>>::type...> args{
      hold_argument<std::tuple_element_t<I, Params>>(slots[I], Sig::params[I])...};
  auto call = [&]() -> decltype(auto) {
    if constexpr (std::is_member_function_pointer_v<decltype(Fn)>)
      return std::invoke(Fn, *self, std::get<I>(std::move(args))...);
    else
      return std::invoke(Fn, std::get<I>(std::move(args))...);
  };
  if constexpr (std::is_void_v<decltype(call())>) {
    call();
    return Ref::borrow(Py_None);
  } else {
    return result_to_py(call());
  }
}

template <auto Fn, class Sig, class Self>
Ref bind_and_invoke(std::string_view owner, const Self* self, PyObject* const* args, Py_ssize_t n_args,
                    PyObject* kwnames) {
  PyObject* slots[Sig::arity + 1] = {};
  bind_arguments(callable_info<Sig>(owner, Sig::name), args, static_cast<std::size_t>(n_args), kwnames, slots);
  return invoke<Fn, Sig>(self, slots, std::make_index_sequence<Sig::arity>{});
}

// Functions and methods take their arguments in the vectorcall layout: no
// tuple or dict is built for a call.
inline constexpr int kCallFlags = METH_FASTCALL | METH_KEYWORDS;
using FastFunction = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*);

inline PyCFunction as_method(FastFunction f) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(f));
}

// A module function.
template <auto Fn, Text S>
PyObject* function_entry(PyObject*, PyObject* const* args, Py_ssize_t n_args, PyObject* kwnames) noexcept {
  return guarded([&] { return bind_and_invoke<Fn, Signature<S>, void>({}, nullptr, args, n_args, kwnames); });
}

}  // namespace tavik::py
