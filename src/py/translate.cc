#include "py/translate.h"

#include <new>
#include <source_location>
#include <stdexcept>

#include "common/errors.h"

namespace tavik::py {
namespace {

// Interned once, kept for the life of the process (the module is never torn
// down and the interpreter lock serialises initialisation).
PyObject* g_size_violation = nullptr;
PyObject* g_panic_exception = nullptr;
InputWording g_input_wording = nullptr;

constexpr const char* kSizeViolationPath = "tavik.exceptions.SizeViolation";

PyObject* text_object(std::string_view text) {
  return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
}


// Resolves the host package's SizeViolation class on first use. On failure an
// ImportError or TypeError naming the class is set and null returned.
PyObject* size_violation_class() {
  if (g_size_violation != nullptr) return g_size_violation;
  PyObject* module = PyImport_ImportModule("tavik.exceptions");
  PyObject* cls = module ? PyObject_GetAttrString(module, "SizeViolation") : nullptr;
  Py_XDECREF(module);
  if (cls == nullptr) {
    PyObject *type, *value, *tb;
    PyErr_Fetch(&type, &value, &tb);
    PyErr_NormalizeException(&type, &value, &tb);
    PyErr_Format(PyExc_ImportError, "cannot import %s: %S", kSizeViolationPath, value);
    PyObject *type2, *value2, *tb2;
    PyErr_Fetch(&type2, &value2, &tb2);
    PyErr_NormalizeException(&type2, &value2, &tb2);
    PyException_SetCause(value2, value);  // steals value
    Py_XDECREF(type);
    Py_XDECREF(tb);
    PyErr_Restore(type2, value2, tb2);
    return nullptr;
  }
  if (!PyType_Check(cls)) {
    set_error(PyExc_TypeError,
              std::string(kSizeViolationPath) + " must be an exception class, not '" + type_name(cls) + "'");
    Py_DECREF(cls);
    return nullptr;
  }
  g_size_violation = cls;
  return cls;
}

// The class users catch by name, tavik.exceptions.PanicException, which the
// package makes on first need. Should the package be unable to provide one
// (unimportable, or the name rebound to something that is not an exception
// class), the module makes its own: an internal failure must still be reported
// as what it is, never as a failure to report it.
PyObject* panic_exception_class() {
  if (g_panic_exception != nullptr) return g_panic_exception;
  PyObject* module = PyImport_ImportModule("tavik.exceptions");
  PyObject* cls = module ? PyObject_GetAttrString(module, "PanicException") : nullptr;
  Py_XDECREF(module);
  if (cls != nullptr && PyType_Check(cls) &&
      PyType_IsSubtype(reinterpret_cast<PyTypeObject*>(cls), reinterpret_cast<PyTypeObject*>(PyExc_BaseException))) {
    g_panic_exception = cls;
    return cls;
  }
  Py_XDECREF(cls);
  PyErr_Clear();
  g_panic_exception = PyErr_NewExceptionWithDoc("tavik.tavik_core.PanicException",
                                                "An internal failure of tavik_core.", PyExc_BaseException, nullptr);
  return g_panic_exception;
}

void raise_size_violation(std::string_view message) {
  PyObject* cls = size_violation_class();
  if (cls == nullptr) return;
  if (!PyType_IsSubtype(reinterpret_cast<PyTypeObject*>(cls),
                        reinterpret_cast<PyTypeObject*>(PyExc_BaseException))) {
    set_error(PyExc_TypeError, "exceptions must derive from BaseException");
    return;
  }
  PyObject* text = text_object(message);
  if (text == nullptr) return;
  PyObject* exc = PyObject_CallFunctionObjArgs(cls, text, nullptr);
  Py_DECREF(text);
  if (exc == nullptr) return;
  PyErr_SetObject(cls, exc);
  Py_DECREF(exc);
}

// Source paths are absolute at build time; the diagnostic names them from the
// project's own src/ directory.
const char* short_path(const char* path) {
  std::string_view p(path);
  auto at = p.rfind("/src/");
  return at == std::string_view::npos ? path : path + at + 1;
}

}  // namespace

void set_error(PyObject* exception_type, std::string_view message) {
  PyObject* text = text_object(message);
  if (text == nullptr) return;
  PyErr_SetObject(exception_type, text);
  Py_DECREF(text);
}

void set_panic(std::string_view message, const std::source_location& where) {
  PyObject* cls = panic_exception_class();
  if (cls == nullptr) return;
  PyObject* text = text_object(message);
  if (text == nullptr) return;
  PySys_FormatStderr("tavik_core: internal failure at %s:%u: %U\n", short_path(where.file_name()),
                     static_cast<unsigned>(where.line()), text);
  PyErr_SetObject(cls, text);
  Py_DECREF(text);
}

std::string type_name(PyObject* obj) {
  PyObject* name = PyType_GetQualName(Py_TYPE(obj));
  if (name == nullptr) {
    PyErr_Clear();
    return "?";
  }
  Py_ssize_t size = 0;
  const char* utf8 = PyUnicode_AsUTF8AndSize(name, &size);
  std::string out = utf8 ? std::string(utf8, static_cast<std::size_t>(size)) : "?";
  if (utf8 == nullptr) PyErr_Clear();
  Py_DECREF(name);
  return out;
}

void raise(PyObject* exception_type, std::string_view message) {
  set_error(exception_type, message);
  throw_error_already_set();
}

void raise_cannot_convert(PyObject* obj, std::string_view target) {
  std::string message = "'";
  message.append(type_name(obj)).append("' object cannot be converted to '").append(target).append("'");
  raise(PyExc_TypeError, message);
}

void prefix_argument_error(std::string_view param) noexcept {
  PyObject *type, *value, *tb;
  PyErr_Fetch(&type, &value, &tb);
  if (type != PyExc_TypeError) {
    PyErr_Restore(type, value, tb);
    return;
  }
  PyErr_NormalizeException(&type, &value, &tb);
  PyObject* name = PyUnicode_FromStringAndSize(param.data(), static_cast<Py_ssize_t>(param.size()));
  PyObject* prefixed = name ? PyUnicode_FromFormat("argument '%U': %S", name, value) : nullptr;
  Py_XDECREF(name);
  PyObject* replacement = prefixed ? PyObject_CallFunctionObjArgs(PyExc_TypeError, prefixed, nullptr) : nullptr;
  Py_XDECREF(prefixed);
  if (replacement == nullptr) {  // keep the original rather than lose the error
    PyErr_Clear();
    PyErr_Restore(type, value, tb);
    return;
  }
  PyException_SetCause(replacement, PyException_GetCause(value));  // steals the new cause reference
  Py_XDECREF(type);
  Py_XDECREF(value);
  Py_XDECREF(tb);
  PyErr_SetObject(PyExc_TypeError, replacement);
  Py_DECREF(replacement);
}

void set_input_wording(InputWording wording) { g_input_wording = wording; }

bool signal_handler_raised() { return PyErr_CheckSignals() != 0; }

void set_error_from_current_exception() noexcept {
  try {
    throw;
  } catch (const ErrorAlreadySet&) {
  } catch (const Interrupted&) {  // the stop check left its exception set
  } catch (const tavik::ValueError& e) {
    set_error(PyExc_ValueError, e.text());
  } catch (const tavik::SizeViolation& e) {
    raise_size_violation(e.text());
  } catch (const tavik::InputError& e) {
    g_input_wording(e);
  } catch (const tavik::Panic& e) {
    set_panic(e.text(), e.where);
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::length_error&) {  // a container asked for more than it can ever hold
    PyErr_NoMemory();
  } catch (const std::exception& e) {
    set_panic(e.what(), std::source_location::current());
  } catch (...) {
    set_panic("unknown C++ exception", std::source_location::current());
  }
}

}  // namespace tavik::py
