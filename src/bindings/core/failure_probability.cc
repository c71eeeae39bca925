#include "bindings/core/bindings.h"
#include "bindings/core/convert/supports.h"
#include "ecc/failure_probability.h"

namespace tavik::bindings {
namespace {

double logical_failure_probability(std::uint64_t n_data, const std::vector<std::vector<std::uint64_t>>& z_stabilizers,
                                   const std::vector<std::uint64_t>& logical_z, double physical_error_rate) {
  return ecc::FailureSet(n_data, FlatSupports(z_stabilizers).rows(), logical_z, pool::Threads::caller)
      .probability(physical_error_rate);
}

}  // namespace

void register_failure_probability(py::Module& m) {
  m.def<&logical_failure_probability,
        "logical_failure_probability(n_data, z_stabilizers, logical_z, physical_error_rate)">(
      "Exact probability that independent bit flips of the given rate, corrected by the lookup\n"
      "decoder of build_ecc_lookup_table, leave a residual that anticommutes with logical_z: a sum\n"
      "over all 2^n_data patterns in ascending order. Limits and errors as build_ecc_lookup_table,\n"
      "then ValueError for a logical_z index >= n_data. The rate is not range-checked.");
}

}  // namespace tavik::bindings
