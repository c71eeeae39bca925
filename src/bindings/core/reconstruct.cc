#include "bindings/core/bindings.h"
#include "bindings/core/convert/reconstruct.h"
#include "cutting/reconstruct.h"

namespace tavik::bindings {

using namespace cutting;


void register_reconstruct(py::Module& m) {
  m.add(py::Class<SubcircuitSampleCounts, "SubcircuitSampleCounts(sample_index, subcircuit_label, counts, shots)">(
            "The measurement histogram (bitstring -> count) of one sub-circuit in one joint sample, and the\n"
            "number of shots it was measured with. Stored as given; read-only.")
            .init<std::uint64_t, std::string, Histogram, std::uint64_t>()
            .get<&SubcircuitSampleCounts::sample_index>("sample_index")
            .get<&SubcircuitSampleCounts::subcircuit_label>("subcircuit_label")
            .get<&SubcircuitSampleCounts::counts>("counts")
            .get<&SubcircuitSampleCounts::shots>("shots")
            .repr<&SubcircuitSampleCounts::repr>());
  m.add(py::Class<SampleCoefficient, "SampleCoefficient(sample_index, coefficient)">(
            "The real coefficient of one joint sample of a cut circuit. Read-only.")
            .init<std::uint64_t, double>()
            .get<&SampleCoefficient::sample_index>("sample_index")
            .get<&SampleCoefficient::coefficient>("coefficient")
            .repr<&SampleCoefficient::repr>());
  m.def<&reconstruct_expectation, "reconstruct_expectation(counts, coefficients, subcircuit_labels)">(
      "Expectation value of the uncut circuit: the sum over coefficients (in order, from -0.0) of\n"
      "coefficient x the product over subcircuit_labels (in order) of the histogram's parity expectation,\n"
      "(count of even-parity bitstrings - count of odd-parity bitstrings) / shots, where a bitstring's parity\n"
      "is that of its number of '1' characters. Every (sample, label) pair needs exactly one histogram\n"
      "(ValueError for a duplicate among `counts` or a missing pair), and every histogram used needs\n"
      "shots > 0 (ValueError); an empty subcircuit_labels is a ValueError.");
}

}  // namespace tavik::bindings
