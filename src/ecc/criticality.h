// Criticality ranking of QUBO variables: which variables most deserve the
// protection of a surface-code patch (select_patches.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "common/qubo.h"

namespace tavik::ecc {

// (variable, criticality) pairs.
using Ranking = std::vector<std::pair<std::uint64_t, double>>;

// Criticality of variable k: Σ |w| over the terms touching it (a linear term
// once, a term with an index ≥ n_vars not at all). Sorted by criticality,
// descending and stable; with two or more variables a NaN criticality is an
// internal failure. MemoryError up front unless the ranking fits with
// `result_bytes_per_variable` more for each variable: what the caller's form
// of the result costs.
Ranking qubo_criticality(QuboView qubo, std::uint64_t n_vars,
                         std::size_t result_bytes_per_variable);

}  // namespace tavik::ecc
