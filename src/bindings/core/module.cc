// The module's only exported symbol: creates tavik_core once per process and
// registers its names in order.
#include <cstdint>

#include "bindings/core/bindings.h"
#include "platform/simd.h"
#include "py/fast_read.h"
#include "py/shared_pool.h"
#include "py/translate.h"

namespace {

PyObject* g_module = nullptr;
std::int64_t g_interpreter = -1;

PyModuleDef g_definition = {PyModuleDef_HEAD_INIT, "tavik_core", "", 0, nullptr, nullptr, nullptr, nullptr, nullptr};

}  // namespace

PyMODINIT_FUNC PyInit_tavik_core() {
  using namespace tavik;
  // Kernels and cached objects are process-wide; one interpreter owns them.
  const std::int64_t interpreter = PyInterpreterState_GetID(PyInterpreterState_Get());
  if (g_interpreter == -1) g_interpreter = interpreter;
  if (interpreter != g_interpreter) {
    PyErr_SetString(PyExc_ImportError, "tavik_core can only be imported by one interpreter per process");
    return nullptr;
  }
  if (g_module != nullptr) return py::Ref::borrow(g_module).release();
  // A build pinned to a SIMD path would crash at its first kernel call here.
  if (!platform::simd::runs(platform::simd::path())) {
    PyErr_SetString(PyExc_ImportError, "tavik_core was built for an instruction set this CPU lacks (TAVIK_ISA)");
    return nullptr;
  }

  g_module = py::guarded([] {
    py::fast::probe();
    py::share_pool();
    py::Module top(py::Ref::steal(PyModule_Create(&g_definition)));
    bindings::register_top_level(top);
    py::Module sim = bindings::sim_module();
    top.add(sim);
    py::Module analog = bindings::analog_module();
    top.add(analog);
    py::Module ecc = bindings::ecc_module();
    top.add(ecc);
    py::Module cutting = bindings::cutting_module();
    top.add(cutting);
    py::publish_record_state();
    return top.release();
  });
  return py::Ref::borrow(g_module).release();
}
