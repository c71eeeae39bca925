#include "analog/interface.h"
#include "analog/neutral_atom.h"
#include "analog/photonic.h"
#include "bindings/core/bindings.h"

namespace tavik::bindings {

using namespace analog;

py::Module analog_module() {
  py::Module m("analog");
  m.add(py::Class<ContinuousFieldIR, "ContinuousFieldIR">("Continuous-field data of an analog program.")
            .rw<&ContinuousFieldIR::data>("data")
            .rebuild<&continuous_field_ir_from_fields, "(data)">());
  m.add(py::Class<HardwareDeltaModel, "HardwareDeltaModel">("Calibration deltas measured on an analog device.")
            .rw<&HardwareDeltaModel::calibration_data>("calibration_data")
            .rebuild<&hardware_delta_model_from_fields, "(calibration_data)">());
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
  m.add(py::Class<PhotonicGBSParameters, "PhotonicGBSParameters(adjacency_matrix, phases)">(
            "Gaussian-boson-sampling program: the symmetric adjacency matrix and one phase per mode. Stored as\n"
            "given; read-only.")
            .init<std::vector<std::vector<double>>, std::vector<double>>()
            .get<&PhotonicGBSParameters::adjacency_matrix>("adjacency_matrix")
            .get<&PhotonicGBSParameters::phases>("phases"));
  m.add(py::Class<PhotonicCompiler, "PhotonicCompiler()">("Compiles a logical graph for a photonic GBS device.")
            .init<>()
            .method<&PhotonicCompiler::build_arrazola_bromley_encoding, "build_arrazola_bromley_encoding($self, graph)">(
                "Mode k is variable k. Each interaction between distinct variables sets A[a][b] = A[b][a] to its\n"
                "weight; a self-interaction sets phase k to atan(weight). Later interactions overwrite earlier\n"
                "ones; names not in the graph are skipped; a repeated name means its last variable."));
  return m;
}

}  // namespace tavik::bindings
