// The array face's only exported symbol: creates tavik._arrays once per process.
#include "bindings/arrays/bindings.h"

namespace {

PyObject* g_module = nullptr;

PyModuleDef g_definition = {PyModuleDef_HEAD_INIT, "_arrays", "", 0, nullptr, nullptr, nullptr, nullptr, nullptr};

tavik::py::Ref build() {
  using namespace tavik::bindings::arrays;
  tavik::arrays::park_at_exit();
  use_input_wording();
  tavik::py::Module m(tavik::py::Ref::steal(PyModule_Create(&g_definition)));
  register_noisy_runs(m);
  register_enumeration(m);
  register_statevector(m);
  register_lookup_table(m);
  register_failure_probability(m);
  register_vrp_qubo(m);
  register_stoer_wagner(m);
  register_lists(m);
  register_qubo(m);
  register_qec(m);
  register_circuits(m);
  register_min_cut(m);
  return m.release();
}

}  // namespace

PyMODINIT_FUNC PyInit__arrays() {
  // The package loads the core first, and the interpreter that loads it owns
  // both modules. In any other interpreter the core has refused, and this
  // module must refuse too even where it was never loaded yet: it would start
  // a second worker pool in the process.
  if (g_module == nullptr && PyDict_GetItemString(PyImport_GetModuleDict(), "tavik.tavik_core") == nullptr) {
    PyErr_SetString(PyExc_ImportError, "tavik._arrays can only be imported by one interpreter per process");
    return nullptr;
  }
  return tavik::py::init_module_once("tavik._arrays", g_module, &build);
}
