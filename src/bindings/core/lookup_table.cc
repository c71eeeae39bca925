#include "bindings/core/bindings.h"
#include "bindings/core/convert/lookup_table.h"
#include "bindings/core/convert/supports.h"
#include "bindings/core/result_costs.h"
#include "ecc/lookup_table.h"

namespace tavik::bindings {
namespace {

ecc::LookupTable build_ecc_lookup_table(std::uint64_t n_data,
                                        const std::vector<std::vector<std::uint64_t>>& z_stabilizers) {
  return ecc::build_ecc_lookup_table(ecc::lookup_shape(n_data, FlatSupports(z_stabilizers).rows(), kLookupRowCost),
                                     pool::Threads::caller);
}

}  // namespace

void register_lookup_table(py::Module& m) {
  m.def<&build_ecc_lookup_table, "build_ecc_lookup_table(n_data, z_stabilizers)">(
      "Minimum-weight lookup decoder of a code under bit flips: (syndrome_bits, error_bits) for every\n"
      "syndrome some flip pattern produces, ascending by syndrome (stabilizer 0 is the low bit).\n"
      "Equal-weight candidates go to the first pattern met walking with qubit 0 varying slowest.\n"
      "n_data <= 26 and at most 32 stabilizers (SizeViolation); a support index >= n_data raises\n"
      "ValueError. Memory grows with the number of producible syndromes (at most 2^n_data).");
}

}  // namespace tavik::bindings
