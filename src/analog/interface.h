// Records exchanged with the host package's analog layer: continuous-field
// data and the calibration deltas of a device.
#pragma once

#include <vector>

namespace tavik::analog {

struct ContinuousFieldIR {
  std::vector<double> data;
};

struct HardwareDeltaModel {
  std::vector<double> calibration_data;
};

}  // namespace tavik::analog
