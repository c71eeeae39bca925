// One registration function per Python module, each listing its names in
// registration order.
#pragma once

#include "bindings/core/convert/qubo_term.h"
#include "bindings/core/records.h"
#include "py/module.h"

namespace tavik::bindings {

void register_top_level(py::Module& m);
py::Module sim_module();
py::Module analog_module();
py::Module ecc_module();
py::Module cutting_module();

}  // namespace tavik::bindings
