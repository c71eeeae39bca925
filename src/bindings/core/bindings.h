// One registration function per topic, each adding that topic's names to a
// Python module in registration order; module.cc calls them in the order
// the module lists its names.
#pragma once

#include "bindings/core/convert/qubo_term.h"
#include "bindings/core/records.h"
#include "py/module.h"

namespace tavik::bindings {

// Words broken input rules as this module's contract does; called first.
void use_input_wording();

// The top level.
void register_stackelberg(py::Module& m);
void register_corrections(py::Module& m);
void register_criticality(py::Module& m);
void register_enumeration(py::Module& m);
void register_statevector(py::Module& m);
void register_noisy_runs(py::Module& m);
void register_vrp_qubo(py::Module& m);
void register_lookup_table(py::Module& m);
void register_failure_probability(py::Module& m);
void register_stoer_wagner(py::Module& m);
// sim
void register_ising_graphs(py::Module& m);
void register_qudit(py::Module& m);
// analog
void register_analog_records(py::Module& m);
void register_neutral_atom(py::Module& m);
void register_photonic(py::Module& m);
// ecc
void register_surface_code(py::Module& m);
void register_select_patches(py::Module& m);
void register_remap_circuit(py::Module& m);
// cutting
void register_reconstruct(py::Module& m);

}  // namespace tavik::bindings
