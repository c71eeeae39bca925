#include "py/record.h"

#include <algorithm>

namespace tavik::py {
namespace detail {

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

namespace {

std::vector<std::pair<PyTypeObject*, Pickling>>& picklings() {
  static std::vector<std::pair<PyTypeObject*, Pickling>> registry;  // as long-lived as the types
  return registry;
}

const Pickling* find_pickling(PyObject* type) {
  const auto& all = picklings();
  const auto it = std::find_if(all.begin(), all.end(),
                               [&](const auto& e) { return reinterpret_cast<PyObject*>(e.first) == type; });
  return it == all.end() ? nullptr : &it->second;
}

std::string field_list(const Pickling& p) {
  std::string out;
  for (std::size_t i = 0; i < p.arity; ++i) out.append(i ? ", " : "").append(p.fields[i]);
  return out;
}

PyObject* state_of_record(PyObject*, PyObject* record) {
  return guarded([&] {
    const Pickling* p = find_pickling(reinterpret_cast<PyObject*>(Py_TYPE(record)));
    if (p == nullptr) raise(PyExc_TypeError, "state() needs a tavik_core record, not '" + type_name(record) + "'");
    return p->state(record);
  });
}

PyObject* rebuild_record(PyObject*, PyObject* args) {
  PyObject *cls, *state;
  if (!PyArg_UnpackTuple(args, "rebuild", 2, 2, &cls, &state)) return nullptr;
  return guarded([&] {
    const Pickling* p = find_pickling(cls);
    if (p == nullptr) raise(PyExc_TypeError, "rebuild() needs a tavik_core record class");
    const std::string record(p->record);
    if (!PyTuple_Check(state))
      raise(PyExc_TypeError, record + " state: must be a tuple, not '" + type_name(state) + "'");
    if (const auto n = static_cast<std::size_t>(PyTuple_Size(state)); n != p->arity)
      raise(PyExc_ValueError, record + " state: must have " + std::to_string(p->arity) + " items (" +
                                  field_list(*p) + "), not " + std::to_string(n));
    return p->rebuild(reinterpret_cast<PyTypeObject*>(cls), state);
  });
}

PyMethodDef g_functions[] = {
    {"state", &state_of_record, METH_O, "state(record, /)\n--\n\nThe record's fields, in declaration order, as a tuple."},
    {"rebuild", &rebuild_record, METH_VARARGS,
     "rebuild(cls, state, /)\n--\n\nA new cls from a state, checked as the class's constructor or the functions\n"
     "that make its instances check their arguments."},
    {nullptr, nullptr, 0, nullptr}};

}  // namespace

void register_pickling(PyTypeObject* type, const Pickling& pickling) { picklings().emplace_back(type, pickling); }

void raise_field_error(std::string_view record, std::string_view field) {
  // A wrong type stays a TypeError; a value out of range (OverflowError
  // included) is bad data, a ValueError. Anything else (MemoryError,
  // KeyboardInterrupt) passes as it is.
  PyObject* kind = PyErr_ExceptionMatches(PyExc_TypeError) ? PyExc_TypeError
                   : PyErr_ExceptionMatches(PyExc_ValueError) || PyErr_ExceptionMatches(PyExc_OverflowError)
                       ? PyExc_ValueError
                       : nullptr;
  if (kind == nullptr) throw_error_already_set();
  PyObject *type, *value, *traceback;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  std::string message = std::string(record).append(".").append(field).append(": ");
  if (PyObject* text = value ? PyObject_Str(value) : nullptr) {
    Py_ssize_t size = 0;
    if (const char* utf8 = PyUnicode_AsUTF8AndSize(text, &size)) message.append(utf8, static_cast<std::size_t>(size));
    Py_DECREF(text);
  }
  PyErr_Clear();
  Py_XDECREF(type);
  Py_XDECREF(value);
  Py_XDECREF(traceback);
  raise(kind, message);
}

}  // namespace detail

void publish_record_state() {
  Ref module = Ref::steal(PyModule_New("tavik._record_state"));
  if (PyModule_AddFunctions(module.get(), detail::g_functions) < 0) throw_error_already_set();
  if (PyDict_SetItemString(PyImport_GetModuleDict(), "tavik._record_state", module.get()) < 0)
    throw_error_already_set();
}

}  // namespace tavik::py
