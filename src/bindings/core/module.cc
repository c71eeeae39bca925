// The module's only exported symbol: creates tavik_core once per process and
// registers its names in order.
#include "bindings/core/bindings.h"

namespace {

PyObject* g_module = nullptr;

PyModuleDef g_definition = {PyModuleDef_HEAD_INIT, "tavik_core", "", 0, nullptr, nullptr, nullptr, nullptr, nullptr};

tavik::py::Ref build() {
  using namespace tavik;
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
}

}  // namespace

PyMODINIT_FUNC PyInit_tavik_core() { return tavik::py::init_module_once("tavik_core", g_module, &build); }
