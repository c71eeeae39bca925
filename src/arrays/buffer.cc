#include "arrays/buffer.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <string>
#include <string_view>

#include "py/translate.h"

namespace tavik::arrays {
namespace detail {
namespace {

// Whether `format` is exactly one of the codes listed in `codes`.
bool is_one_of(std::string_view format, std::string_view codes) {
  while (!codes.empty()) {
    const std::size_t length = codes[0] == 'Z' ? 2 : 1;
    if (format == codes.substr(0, length)) return true;
    codes.remove_prefix(std::min(length, codes.size()));
  }
  return false;
}

}  // namespace

View::View(PyObject* obj, bool writable, const char* formats, std::size_t itemsize, std::size_t alignment) {
  const int flags = PyBUF_C_CONTIGUOUS | PyBUF_FORMAT | (writable ? PyBUF_WRITABLE : 0);
  if (PyObject_GetBuffer(obj, &view_, flags) < 0) {
    view_ = {};
    py::throw_error_already_set();
  }
  // The format may carry a byte-order or alignment prefix; '=' and '@' are
  // this machine's, which is what a kernel reads.
  const char* f = view_.format != nullptr ? view_.format : "B";
  if (*f == '@' || *f == '=') ++f;
  if (!is_one_of(f, formats) || static_cast<std::size_t>(view_.itemsize) != itemsize) {
    const std::string found = view_.format != nullptr ? view_.format : "B";
    PyBuffer_Release(&view_);
    view_ = {};
    py::raise(PyExc_TypeError, "expected a C-contiguous buffer of " + std::to_string(itemsize) +
                                   "-byte items of format '" + formats + "', not '" + found + "'");
  }
  // A kernel reads items where they lie; a buffer unpickled from a network
  // frame may start anywhere.
  if (reinterpret_cast<std::uintptr_t>(view_.buf) % alignment != 0) {
    PyBuffer_Release(&view_);
    view_ = {};
    py::raise(PyExc_TypeError, "expected a buffer aligned to " + std::to_string(alignment) + " bytes");
  }
}

View::~View() {
  if (view_.obj != nullptr) PyBuffer_Release(&view_);
}

}  // namespace detail

py::Ref new_bytearray(std::size_t bytes, void*& data) {
  if (bytes > static_cast<std::size_t>(PY_SSIZE_T_MAX)) throw std::bad_alloc();
  py::Ref object = py::Ref::steal(PyByteArray_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(bytes)));
  data = PyByteArray_AsString(object.get());
  return object;
}

}  // namespace tavik::arrays
