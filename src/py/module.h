// Registration: a module receives functions, classes and submodules one line
// at a time; each name is appended to the module's __all__ in the same order.
#pragma once

#include <deque>
#include <string>
#include <string_view>

#include "py/callable.h"
#include "py/record.h"

namespace tavik::py {

class Module {
 public:
  // Wraps a new module object; `name` creates a plain submodule of that name.
  explicit Module(Ref module);
  explicit Module(const char* name);

  template <auto Fn, Text S>
  Module& def(const char* doc) {
    using Sig = Signature<S>;
    PyMethodDef& def = function_def(Sig::name, std::string(Sig::text) + "\n--\n\n" + doc);
    def.ml_meth = as_method(&function_entry<Fn, S>);
    def.ml_flags = kCallFlags;
    add_object(Sig::name, Ref::steal(PyCFunction_NewEx(&def, nullptr, name_.get())));
    return *this;
  }

  template <class T, Text S>
  Module& add(Class<T, S>& cls) {
    add_object(cls.name(), cls.create());
    return *this;
  }

  Module& add(Module& submodule);

  Ref release() { return std::move(module_); }

 private:
  // Stable storage for a function's PyMethodDef, which its function object
  // keeps pointing at.
  static PyMethodDef& function_def(std::string_view name, std::string doc);
  void add_object(std::string_view name, Ref obj);

  Ref module_;
  Ref name_;
  Ref all_;
};

// The body of an extension module's PyInit: the module object is made once
// per process, by `build`, and only in the first interpreter that imports
// it; every module of the package shares the pool and checks that this CPU
// runs the SIMD path it was built for. `name` is the module's own name.
PyObject* init_module_once(const char* name, PyObject*& cache, Ref (*build)());

}  // namespace tavik::py
