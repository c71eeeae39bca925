#include "analog/neutral_atom.h"
#include "bindings/core/bindings.h"

namespace tavik::bindings {

using namespace analog;


void register_neutral_atom(py::Module& m) {
  m.add(py::Class<RydbergControlParameters, "RydbergControlParameters(omega, delta, atom_positions)">(
            "Global Rydberg drive (Rabi frequency omega and detuning delta, one value per time step) and the\n"
            "atom positions it acts on. Stored as given; read-only.")
            .init<std::vector<double>, std::vector<double>, std::vector<SpatialCoordinates>>()
            .get<&RydbergControlParameters::omega>("omega")
            .get<&RydbergControlParameters::delta>("delta")
            .get<&RydbergControlParameters::atom_positions>("atom_positions"));
  m.add(py::Class<SpatialCoordinates, "SpatialCoordinates">("The position of one atom: column x, row y.")
            .get<&SpatialCoordinates::x>("x")
            .get<&SpatialCoordinates::y>("y")
            .rebuild<&spatial_coordinates_from_fields, "(x, y)">());
  m.add(py::Class<NeutralAtomCompiler, "NeutralAtomCompiler()">("Compiles a logical graph for a neutral-atom array.")
            .init<>()
            .method<&NeutralAtomCompiler::map_to_spatial_geometry, "map_to_spatial_geometry($self, graph)">(
                "One atom per variable, in variable order, on a row-major square lattice of pitch 5.0 and side\n"
                "ceil(sqrt(n)): variable v at ((v mod side) * 5.0, (v div side) * 5.0).")
            .method<&NeutralAtomCompiler::generate_rydberg_controls,
                    "generate_rydberg_controls($self, graph, coords)">(
                "RydbergControlParameters for the given atom positions: 100 time steps of constant Rabi frequency\n"
                "1.0 and detuning 0.5 (the graph's content is not used)."));
}

}  // namespace tavik::bindings
