// Owned references and the "a Python exception is already set" signal.
#pragma once

#ifndef Py_LIMITED_API
#define Py_LIMITED_API 0x030B0000
#endif
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace tavik::py {

// Thrown after a Python exception has been set; the entry point that catches
// it returns the failure value to the interpreter as it is.
struct ErrorAlreadySet {};

[[noreturn]] inline void throw_error_already_set() { throw ErrorAlreadySet{}; }

// An owned (strong) reference. `steal` takes over a new reference and treats
// null as "the call that produced it failed"; `borrow` adds a reference.
class Ref {
 public:
  Ref() = default;
  static Ref steal(PyObject* p) {
    if (p == nullptr) throw_error_already_set();
    return Ref(p);
  }
  static Ref borrow(PyObject* p) {
    Py_XINCREF(p);
    return Ref(p);
  }
  Ref(Ref&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  Ref& operator=(Ref&& o) noexcept {
    Ref(std::move(o)).swap(*this);
    return *this;
  }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() { Py_XDECREF(p_); }

  PyObject* get() const { return p_; }
  PyObject* release() { return std::exchange(p_, nullptr); }
  explicit operator bool() const { return p_ != nullptr; }
  void swap(Ref& o) noexcept { std::swap(p_, o.p_); }

 private:
  explicit Ref(PyObject* p) : p_(p) {}
  PyObject* p_ = nullptr;
};

}  // namespace tavik::py
