#include "py/module.h"

#include <cstdint>

#include "platform/simd.h"
#include "py/fast_read.h"
#include "py/shared_pool.h"

namespace tavik::py {

Module::Module(Ref module) : module_(std::move(module)) {
  name_ = Ref::steal(PyModule_GetNameObject(module_.get()));
}

Module::Module(const char* name) : Module(Ref::steal(PyModule_New(name))) {}

Module& Module::add(Module& submodule) {
  Ref name = std::move(submodule.name_);
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(name.get(), &size);
  if (utf8 == nullptr) throw_error_already_set();
  add_object(std::string_view(utf8, static_cast<std::size_t>(size)), submodule.release());
  return *this;
}

PyMethodDef& Module::function_def(std::string_view name, std::string doc) {
  struct Storage {
    std::string name;
    std::string doc;
    PyMethodDef def{};
  };
  static std::deque<Storage> storage;  // never shrinks: function objects point here
  Storage& s = storage.emplace_back(Storage{std::string(name), std::move(doc)});
  s.def.ml_name = s.name.c_str();
  s.def.ml_doc = s.doc.c_str();
  return s.def;
}

void Module::add_object(std::string_view name, Ref obj) {
  if (!all_) {
    all_ = Ref::steal(PyList_New(0));
    if (PyModule_AddObjectRef(module_.get(), "__all__", all_.get()) < 0) throw_error_already_set();
  }
  Ref key = Ref::steal(PyUnicode_FromStringAndSize(name.data(), static_cast<Py_ssize_t>(name.size())));
  if (PyList_Append(all_.get(), key.get()) < 0) throw_error_already_set();
  if (PyObject_SetAttr(module_.get(), key.get(), obj.get()) < 0) throw_error_already_set();
}

PyObject* init_module_once(const char* name, PyObject*& cache, Ref (*build)()) {
  // Kernels and cached objects are process-wide; one interpreter owns them.
  static std::int64_t owner = -1;
  const std::int64_t interpreter = PyInterpreterState_GetID(PyInterpreterState_Get());
  if (owner == -1) owner = interpreter;
  if (interpreter != owner) {
    PyErr_Format(PyExc_ImportError, "%s can only be imported by one interpreter per process", name);
    return nullptr;
  }
  if (cache != nullptr) return Ref::borrow(cache).release();
  // A build pinned to a SIMD path would crash at its first kernel call here.
  if (!platform::simd::runs(platform::simd::path())) {
    PyErr_Format(PyExc_ImportError, "%s was built for an instruction set this CPU lacks (TAVIK_ISA)", name);
    return nullptr;
  }
  cache = guarded([build] {
    fast::probe();
    share_pool();
    return build();
  });
  return Ref::borrow(cache).release();
}

}  // namespace tavik::py
