#include "bindings/core/bindings.h"
#include "ecc/select_patches.h"

namespace tavik::bindings {

using namespace ecc;


void register_select_patches(py::Module& m) {
  m.add(py::Class<PatchAssignment, "PatchAssignment">(
            "One logical variable's surface-code patch: its distance and its block of physical qubits,\n"
            "the half-open range physical_start … physical_end. Produced by select_patches; read-only.")
            .get<&PatchAssignment::logical_var>("logical_var", "index of the protected logical variable")
            .get<&PatchAssignment::distance>("distance", "code distance of the patch")
            .get<&PatchAssignment::physical_start>("physical_start", "first physical qubit of the block")
            .get<&PatchAssignment::physical_end>("physical_end", "one past the last physical qubit of the block")
            .repr<&PatchAssignment::repr>()
            .rebuild<&patch_assignment_from_fields, "(logical_var, distance, physical_start, physical_end)">());
  m.def<&select_patches, "select_patches(ranked, physical_qubit_budget, distance)">(
      "Walk a (variable, criticality) ranking in order, giving each variable a block of distance²\n"
      "physical qubits back to back from qubit 0, until the next block would exceed the budget.\n"
      "Distance 0 gives []; a distance whose square overflows 64 bits raises ValueError.");
}

}  // namespace tavik::bindings
