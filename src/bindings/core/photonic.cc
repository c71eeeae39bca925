#include "analog/photonic.h"
#include "bindings/core/bindings.h"

namespace tavik::bindings {

using namespace analog;


void register_photonic(py::Module& m) {
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
}

}  // namespace tavik::bindings
