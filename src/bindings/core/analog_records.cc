#include "analog/analog_records.h"
#include "bindings/core/bindings.h"

namespace tavik::bindings {

using namespace analog;


void register_analog_records(py::Module& m) {
  m.add(py::Class<ContinuousFieldIR, "ContinuousFieldIR">("Continuous-field data of an analog program.")
            .rw<&ContinuousFieldIR::data>("data")
            .rebuild<&continuous_field_ir_from_fields, "(data)">());
  m.add(py::Class<HardwareDeltaModel, "HardwareDeltaModel">("Calibration deltas measured on an analog device.")
            .rw<&HardwareDeltaModel::calibration_data>("calibration_data")
            .rebuild<&hardware_delta_model_from_fields, "(calibration_data)">());
}

}  // namespace tavik::bindings
