// Records exchanged with the host package's analog layer: continuous-field
// data and the calibration deltas of a device.
#pragma once

#include <utility>
#include <vector>

namespace tavik::analog {

struct ContinuousFieldIR {
  std::vector<double> data;
};

struct HardwareDeltaModel {
  std::vector<double> calibration_data;
};

// From their fields: any list of doubles, as assigning the attribute accepts.
inline ContinuousFieldIR continuous_field_ir_from_fields(std::vector<double> data) { return {std::move(data)}; }
inline HardwareDeltaModel hardware_delta_model_from_fields(std::vector<double> calibration_data) {
  return {std::move(calibration_data)};
}

}  // namespace tavik::analog
