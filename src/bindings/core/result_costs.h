// What the list face's results cost as Python objects, element by element.
// The kernels count their own storage in their memory checks and are told
// these, so that a result the interpreter could not hold is refused before
// any work. Figures are CPython's 64-bit object sizes, rounded up.
#pragma once

#include <cstddef>

#include "ecc/lookup_table.h"
#include "validation/noisy_runs.h"

namespace tavik::bindings {

// QuditSimulator.simulate: per site, a list slot and a float object.
inline constexpr std::size_t kQuditSiteBytes = 8 + 24;

// run_statevector: per amplitude, its list slot, its tuple (with the
// collector header) and two floats.
inline constexpr std::size_t kAmplitudeBytes = 8 + 56 + 48;

// qubo_criticality: per variable, the tuple of an int and a float.
inline constexpr std::size_t kRankedVariableBytes = 160;

// vrp_qubo_terms: per entry, a key tuple (with its collector header), a float
// and a dict slot with growth slack.
inline constexpr std::size_t kVrpEntryBytes = 128;

// build_ecc_lookup_table: each row becomes a tuple of two lists of small ints,
// about 200 bytes of object headers plus 8 per list item, with the table's
// own 8 bytes.
inline constexpr ecc::LookupRowCost kLookupRowCost{208, 8};

// simulate_qubo_runs: per entry, its item pointer in the run's list; per run,
// the list's header (with its collector header), the energy's float, one slot
// in each outer list, and allocator slack.
inline constexpr RunsCost kRunsCost{8, 56 + 24 + 16 + 24};

}  // namespace tavik::bindings
