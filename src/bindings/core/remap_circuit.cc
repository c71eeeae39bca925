#include "bindings/core/bindings.h"
#include "ecc/remap_circuit.h"

namespace tavik::bindings {

using namespace ecc;


void register_remap_circuit(py::Module& m) {
  m.def<&remap_circuit, "remap_circuit(circuit, assignments)">(
      "Rewrite a (gate_name, operands) list: each operand naming an assigned logical variable becomes\n"
      "the first physical qubit of its patch (the last PatchAssignment for a variable wins); all other\n"
      "operands and every gate name are returned unchanged.");
}

}  // namespace tavik::bindings
