#include "bindings/core/bindings.h"
#include "bindings/core/convert/columns.h"
#include "bindings/core/result_costs.h"
#include "ecc/criticality.h"

namespace tavik::bindings {
namespace {

// Told what the ranked pairs cost as Python objects.
ecc::Ranking qubo_criticality(QuboView qubo, std::uint64_t n_vars) {
  return ecc::qubo_criticality(qubo, n_vars, kRankedVariableBytes);
}

}  // namespace

void register_criticality(py::Module& m) {
  m.def<&qubo_criticality, "qubo_criticality(qubo, n_vars)">(
      "Rank the variables 0 … n_vars-1 of a QUBO ((i, j), w) term list by criticality, the sum of |w|\n"
      "over the terms touching them (a linear term counted once; a term with an index >= n_vars\n"
      "ignored): (variable, criticality) pairs, descending, ties in index order. A NaN criticality\n"
      "among two or more variables raises PanicException.");
}

}  // namespace tavik::bindings
