#include "bindings/core/bindings.h"
#include "ecc/remapper.h"
#include "ecc/selector.h"
#include "ecc/surface_code.h"

namespace tavik::bindings {

using namespace ecc;

py::Module ecc_module() {
  py::Module m("ecc");
  m.add(py::Class<SurfaceCodePatch, "SurfaceCodePatch">(
            "A rotated surface-code patch of distance d: data qubits 0 … d²−1 (row-major on the d × d grid),\n"
            "the X- and Z-stabilizer supports in generation order, and the logical X (first row) and\n"
            "logical Z (first column) supports. Built by build_surface_code; read-only.")
            .get<&SurfaceCodePatch::distance>("distance", "")
            .get<&SurfaceCodePatch::data_qubits>("data_qubits", "")
            .get<&SurfaceCodePatch::x_stabilizers>("x_stabilizers", "")
            .get<&SurfaceCodePatch::z_stabilizers>("z_stabilizers", "")
            .get<&SurfaceCodePatch::logical_x>("logical_x", "")
            .get<&SurfaceCodePatch::logical_z>("logical_z", "")
            .repr<&SurfaceCodePatch::repr>()
            .rebuild<&surface_code_patch_from_fields,
                     "(distance, data_qubits, x_stabilizers, z_stabilizers, logical_x, logical_z)">());
  m.def<&build_surface_code, "build_surface_code(distance=3)">(
      "The rotated surface-code patch of the given distance. Stabilizers come from the plaquettes\n"
      "walked by top-left corner, rows then columns from -1; their order is the syndrome bit order of\n"
      "build_ecc_lookup_table. A patch too large for memory raises MemoryError.");
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
  m.def<&remap_circuit, "remap_circuit(circuit, assignments)">(
      "Rewrite a (gate_name, operands) list: each operand naming an assigned logical variable becomes\n"
      "the first physical qubit of its patch (the last PatchAssignment for a variable wins); all other\n"
      "operands and every gate name are returned unchanged.");
  return m;
}

}  // namespace tavik::bindings
