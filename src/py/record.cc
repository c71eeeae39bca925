#include "py/record.h"

namespace tavik::py::detail {

void raise_no_constructor(std::string_view name) {
  raise(PyExc_TypeError, "No constructor defined for " + std::string(name));
}

Ref create_type(std::unique_ptr<ClassStorage> storage, std::size_t basicsize, destructor dealloc, newfunc tp_new,
                reprfunc repr) {
  // Type objects point into their storage for as long as they live, which is
  // as long as the process: the module is never torn down.
  static std::vector<std::unique_ptr<ClassStorage>> registry;
  ClassStorage& s = *registry.emplace_back(std::move(storage));

  s.slots.push_back({Py_tp_dealloc, reinterpret_cast<void*>(dealloc)});
  s.slots.push_back({Py_tp_new, reinterpret_cast<void*>(tp_new)});
  s.slots.push_back({Py_tp_doc, const_cast<char*>(s.doc.c_str())});
  if (repr != nullptr) s.slots.push_back({Py_tp_repr, reinterpret_cast<void*>(repr)});
  if (!s.getset.empty()) {
    s.getset.push_back({});
    s.slots.push_back({Py_tp_getset, s.getset.data()});
  }
  if (!s.methods.empty()) {
    s.methods.push_back({});
    s.slots.push_back({Py_tp_methods, s.methods.data()});
  }
  s.slots.push_back({0, nullptr});

  // No Py_TPFLAGS_BASETYPE: record classes are final. No dict or weakref
  // offsets: instances carry only their value. Immutable, as built-in types
  // are: replacing __new__ on the class would let object.__new__ make an
  // instance whose value was never constructed.
  s.type_spec = {s.type_name.c_str(), static_cast<int>(basicsize), 0, Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE,
                 s.slots.data()};
  return Ref::steal(PyType_FromSpec(&s.type_spec));
}

}  // namespace tavik::py::detail
