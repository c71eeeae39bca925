#include "py/fast_read.h"

namespace tavik::py::fast {
namespace {

bool tuple_items_in_place() {
  PyObject* items[3] = {Py_None, Py_True, Py_False};
  Ref tuple = Ref::steal(PyTuple_Pack(3, items[0], items[1], items[2]));
  PyObject* in_place[3];
  std::memcpy(in_place, reinterpret_cast<const char*>(tuple.get()) + sizeof(PyVarObject), sizeof in_place);
  return in_place[0] == items[0] && in_place[1] == items[1] && in_place[2] == items[2];
}

bool float_value_in_place() {
  for (double x : {1.5, -0.0, -3e300, 5e-324}) {
    Ref f = Ref::steal(PyFloat_FromDouble(x));
    double in_place;
    std::memcpy(&in_place, reinterpret_cast<const char*>(f.get()) + sizeof(PyObject), sizeof in_place);
    if (std::bit_cast<std::uint64_t>(in_place) != std::bit_cast<std::uint64_t>(x)) return false;
  }
  return true;
}

void probe_small_ints(Layout& out) {
  constexpr long kCount = 257;
  Ref zero = Ref::steal(PyLong_FromLong(0)), one = Ref::steal(PyLong_FromLong(1));
  const auto base = reinterpret_cast<std::uintptr_t>(zero.get());
  const std::uintptr_t stride = reinterpret_cast<std::uintptr_t>(one.get()) - base;
  if (stride == 0 || (stride & (stride - 1)) != 0) return;
  for (long k = 0; k < kCount; ++k) {
    Ref v = Ref::steal(PyLong_FromLong(k));
    if (reinterpret_cast<std::uintptr_t>(v.get()) != base + static_cast<std::uintptr_t>(k) * stride) return;
  }
  out.int_base = base;
  out.int_mask = stride - 1;
  out.int_shift = static_cast<unsigned>(__builtin_ctzll(stride));
  out.int_limit = static_cast<std::uintptr_t>(kCount) * stride;
}

}  // namespace

void probe() {
  Layout found;
  found.tuple_items = tuple_items_in_place();
  found.float_value = float_value_in_place();
  probe_small_ints(found);
  layout = found;
}

}  // namespace tavik::py::fast
