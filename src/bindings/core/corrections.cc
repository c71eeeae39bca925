#include "analog/corrections.h"
#include "bindings/core/bindings.h"
#include "bindings/core/convert/columns.h"

namespace tavik::bindings {

void register_corrections(py::Module& m) {
  m.def<&apply_detuning_correction, "apply_detuning_correction(detunings, offsets)">(
      "Pre-distort site detunings against measured offsets: a new list with detunings[k] - offset of site k\n"
      "(0.0 for a site without one). offsets is a list of (site_index, offset); the last offset given for a\n"
      "site wins and sites past the end of detunings are ignored.");
  m.def<&apply_coupling_correction, "apply_coupling_correction(couplings, errors)">(
      "Pre-distort couplings ((i, j), J) against measured fractional errors ((i, j), e): a new list with\n"
      "J / max(e + 1.0, 0.01) where the ordered pair (i, j) has an error (the last one given wins) and J\n"
      "unchanged otherwise. A NaN error divides by 0.01.");
  m.def<&apply_rabi_correction, "apply_rabi_correction(rabi_frequency, global_rabi_error)">(
      "Pre-distort the global Rabi frequency against the measured fractional drive error:\n"
      "rabi_frequency / max(global_rabi_error + 1.0, 0.01). A NaN error divides by 0.01.");
}

}  // namespace tavik::bindings
