#include "arrays/buffer.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <string_view>

#include "common/big_buffer.h"
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

namespace {

// A block of memory owned by a Python object, exported as writable bytes.
struct Block {
  PyObject_HEAD
  void* data;
  Py_ssize_t size;
};

int get_buffer(PyObject* self, Py_buffer* view, int flags) {
  const Block& block = *reinterpret_cast<Block*>(self);
  return PyBuffer_FillInfo(view, self, block.data, block.size, 0, flags);
}

void deallocate(PyObject* self) {
  std::free(reinterpret_cast<Block*>(self)->data);
  PyTypeObject* type = Py_TYPE(self);
  reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free))(self);
  Py_DECREF(type);
}

PyType_Slot g_block_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(&deallocate)},
    {Py_bf_getbuffer, reinterpret_cast<void*>(&get_buffer)},
    {0, nullptr},
};

PyType_Spec g_block_spec = {
    "tavik._arrays.Block", sizeof(Block), 0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_DISALLOW_INSTANTIATION, g_block_slots};

}  // namespace

py::Ref new_buffer(std::size_t bytes, bool zeroed, void*& data) {
  if (bytes > static_cast<std::size_t>(PY_SSIZE_T_MAX)) throw std::bad_alloc();
  // Made once, under the lock, and kept for the life of the process, as the
  // module is (one interpreter owns it).
  static PyObject* type = nullptr;
  if (type == nullptr && (type = PyType_FromSpec(&g_block_spec)) == nullptr) py::throw_error_already_set();
  // Zeroed blocks come from calloc, which takes large ones straight from the
  // system's zero pages: a sparse result touches only the pages it writes.
  void* memory = zeroed ? std::calloc(bytes == 0 ? 1 : bytes, 1) : allocate_big(bytes, 1);
  if (memory == nullptr) throw std::bad_alloc();
  auto* block = PyObject_New(Block, reinterpret_cast<PyTypeObject*>(type));
  if (block == nullptr) {
    std::free(memory);
    py::throw_error_already_set();
  }
  block->data = memory;
  block->size = static_cast<Py_ssize_t>(bytes);
  data = memory;
  return py::Ref::steal(reinterpret_cast<PyObject*>(block));
}

}  // namespace tavik::arrays
