// The array face, tavik._arrays: the kernels over buffers, with the
// interpreter lock released while they run. Its callers are the typed
// functions of tavik/arrays.py, which normalise every input and check it;
// results are made here, once the memory guard has counted them with the
// kernel's work space. One registration function per topic.
#pragma once

#include "arrays/buffer.h"
#include "arrays/unlocked.h"
#include "arrays/views.h"
#include "py/module.h"

namespace tavik::bindings::arrays {

using tavik::arrays::Copied;
using tavik::arrays::In;
using tavik::arrays::new_array;
using tavik::arrays::Out;
using tavik::arrays::Unlocked;

// Words broken input rules as ValueErrors naming the input; called first.
void use_input_wording();

void register_noisy_runs(py::Module& m);
void register_enumeration(py::Module& m);
void register_statevector(py::Module& m);
void register_lookup_table(py::Module& m);
void register_failure_probability(py::Module& m);
void register_vrp_qubo(py::Module& m);
void register_stoer_wagner(py::Module& m);
void register_lists(py::Module& m);
void register_qubo(py::Module& m);
void register_qec(py::Module& m);
void register_circuits(py::Module& m);
void register_min_cut(py::Module& m);

}  // namespace tavik::bindings::arrays
