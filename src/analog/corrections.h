// Calibration pre-distortion of analog parameters: each requested value is
// corrected so that, after the hardware applies its measured error, the
// executed value is the target.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "common/qubo.h"

namespace tavik {

// detunings[k] − offset of site k (0.0 without one); the last offset given for
// a site wins, offsets for sites past the end are ignored.
std::vector<double> apply_detuning_correction(const std::vector<double>& detunings,
                                              const std::vector<std::pair<std::uint64_t, double>>& offsets);

// ((i, j), J / max(e + 1, 0.01)) for each coupling, e the error given for the
// ordered pair (i, j) (last one wins); J / 1.0 without one.
std::vector<QuboTerm> apply_coupling_correction(QuboView couplings, QuboView errors);

// rabi_frequency / max(global_rabi_error + 1, 0.01).
double apply_rabi_correction(double rabi_frequency, double global_rabi_error);

}  // namespace tavik
