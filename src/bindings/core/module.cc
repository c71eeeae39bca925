// The module's only exported symbol: creates tavik_core once per process and
// registers its names in order, topic by topic.
#include "bindings/core/bindings.h"

namespace {

PyObject* g_module = nullptr;

PyModuleDef g_definition = {PyModuleDef_HEAD_INIT, "tavik_core", "", 0, nullptr, nullptr, nullptr, nullptr, nullptr};

tavik::py::Ref build() {
  using namespace tavik;
  using namespace tavik::bindings;
  use_input_wording();
  py::Module top(py::Ref::steal(PyModule_Create(&g_definition)));
  register_stackelberg(top);
  register_corrections(top);
  register_criticality(top);
  register_enumeration(top);
  register_statevector(top);
  register_noisy_runs(top);
  register_vrp_qubo(top);
  register_lookup_table(top);
  register_failure_probability(top);
  register_stoer_wagner(top);
  py::Module sim("sim");
  register_ising_graphs(sim);
  register_qudit(sim);
  top.add(sim);
  py::Module analog("analog");
  register_analog_records(analog);
  register_neutral_atom(analog);
  register_photonic(analog);
  top.add(analog);
  py::Module ecc("ecc");
  register_surface_code(ecc);
  register_select_patches(ecc);
  register_remap_circuit(ecc);
  top.add(ecc);
  py::Module cutting("cutting");
  register_reconstruct(cutting);
  top.add(cutting);
  py::publish_record_state();
  return top.release();
}

}  // namespace

PyMODINIT_FUNC PyInit_tavik_core() { return tavik::py::init_module_once("tavik_core", g_module, &build); }
