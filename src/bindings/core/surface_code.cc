#include "bindings/core/bindings.h"
#include "ecc/surface_code.h"

namespace tavik::bindings {

using namespace ecc;


void register_surface_code(py::Module& m) {
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
}

}  // namespace tavik::bindings
