// The structs that tavik_core exposes as record classes. Writable ones have
// attributes that Python code may assign to; the rest are fixed once built.
#pragma once

#include "analog/analog_records.h"
#include "analog/neutral_atom.h"
#include "analog/photonic.h"
#include "codesign/stackelberg_score.h"
#include "codesign/stackelberg.h"
#include "cutting/reconstruct.h"
#include "ecc/select_patches.h"
#include "ecc/surface_code.h"
#include "py/record.h"
#include "sim/enumeration.h"
#include "sim/qudit.h"

namespace tavik::py {

template <>
inline constexpr RecordKind record_kind<analog::ContinuousFieldIR> = RecordKind::writable;
template <>
inline constexpr RecordKind record_kind<analog::HardwareDeltaModel> = RecordKind::writable;
template <>
inline constexpr RecordKind record_kind<analog::NeutralAtomCompiler> = RecordKind::read_only;
template <>
inline constexpr RecordKind record_kind<analog::PhotonicCompiler> = RecordKind::read_only;
template <>
inline constexpr RecordKind record_kind<analog::PhotonicGBSParameters> = RecordKind::read_only;
template <>
inline constexpr RecordKind record_kind<analog::RydbergControlParameters> = RecordKind::read_only;
template <>
inline constexpr RecordKind record_kind<analog::SpatialCoordinates> = RecordKind::read_only;
template <>
inline constexpr RecordKind record_kind<EquilibriumScore> = RecordKind::read_only;
template <>
inline constexpr RecordKind record_kind<StackelbergSolver> = RecordKind::read_only;
template <>
inline constexpr RecordKind record_kind<cutting::SampleCoefficient> = RecordKind::read_only;
template <>
inline constexpr RecordKind record_kind<cutting::SubcircuitSampleCounts> = RecordKind::read_only;
template <>
inline constexpr RecordKind record_kind<ecc::PatchAssignment> = RecordKind::read_only;
template <>
inline constexpr RecordKind record_kind<ecc::SurfaceCodePatch> = RecordKind::read_only;
template <>
inline constexpr RecordKind record_kind<sim::Interaction> = RecordKind::writable;
template <>
inline constexpr RecordKind record_kind<sim::IsingSimulator> = RecordKind::read_only;
template <>
inline constexpr RecordKind record_kind<sim::LogicalGraph> = RecordKind::writable;
template <>
inline constexpr RecordKind record_kind<sim::QuditSimulator> = RecordKind::read_only;
template <>
inline constexpr RecordKind record_kind<sim::Variable> = RecordKind::writable;

}  // namespace tavik::py
