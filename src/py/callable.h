// Entry points: bind positional and keyword arguments to a callable's
// parameters, convert them in parameter order, call the kernel, convert the
// result, and translate any failure. A binding supplies only the kernel and
// its text signature.
#pragma once

#include <cstddef>
#include <functional>
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
// a default was not given), or sets the binding TypeError and throws.
void bind_arguments(const CallableInfo& info, PyObject* args, PyObject* kwargs, PyObject** slots);

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

template <class F>
struct FnTraits;
template <class R, class... A>
struct FnTraits<R (*)(A...)> {
  using Args = std::tuple<std::remove_cvref_t<A>...>;
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
  using Args = typename FnTraits<decltype(Fn)>::Args;
  static_assert(std::tuple_size_v<Args> == Sig::arity, "the text signature must name every kernel parameter");
  Args args{convert_argument<std::tuple_element_t<I, Args>>(slots[I], Sig::params[I])...};
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
Ref bind_and_invoke(std::string_view owner, const Self* self, PyObject* args, PyObject* kwargs) {
  PyObject* slots[Sig::arity + 1] = {};
  bind_arguments(callable_info<Sig>(owner, Sig::name), args, kwargs, slots);
  return invoke<Fn, Sig>(self, slots, std::make_index_sequence<Sig::arity>{});
}

// A module function: METH_VARARGS | METH_KEYWORDS.
template <auto Fn, Text S>
PyObject* function_entry(PyObject*, PyObject* args, PyObject* kwargs) noexcept {
  return guarded([&] { return bind_and_invoke<Fn, Signature<S>, void>({}, nullptr, args, kwargs); });
}

}  // namespace tavik::py
