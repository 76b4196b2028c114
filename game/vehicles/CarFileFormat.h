#pragma once
// The car file "Vehicles\<name>.VQC", shared by the reader (CarDefinition) and the tools' writer.
// Little-endian; a string is a u32 byte count and the bytes.
//
//   "VQ " magic, u32 version, string display name,
//   [0x20 only: u32 n, n strings, discarded]
//   u8 ignored, [not 0x10: u8 ignored],
//   f32 forward speed factor, engine force, weight-shift factor, forward steering lock,
//       reverse steering lock, steering reference speed, brake strength, handbrake strength,
//   i32 gear count, f32 steering speed scale, reverse speed factor,
//   f32 mass value x kMassScale, u8 ignored, f32 minimum steering factor x kMinimumSteeringScale,
//   f32 spare B, f32 steering exponent x kSteeringExponentScale,
//   [not 0x10: f32 spare A; 0x10 reads kOldSpareA],
//   3 x f32 first door point,
//   u32 n, n x (left, right: 6 x f32) front wheel pairs (the last one counts),
//   u32 n, n x (left, right) back wheel pairs,
//   [not 0x20: three halo lists A, B, C, each u32 n, n x (3 x f32 position, 3 x i8)]
//
// "Stored multiplied by f": the file holds value x f; the reader divides, the writer multiplies.
#include <cstdint>

namespace car_file {

constexpr char kMagic[3] = {'V', 'Q', ' '};
constexpr int32_t kMinimumSize = 10;

constexpr uint32_t kVersionCurrent = 0x30;
constexpr uint32_t kVersionUpdate = 0x20;  // read with "Update car %s"
constexpr uint32_t kVersionOld = 0x10;     // read with "Car %s is invalid"

constexpr float kMassScale = 0.1f;
constexpr float kMinimumSteeringScale = 0.2f;
constexpr float kSteeringExponentScale = 5.0f;
constexpr float kOldSpareA = 2.5f;

constexpr int32_t kWheelPairBytes = 24;  // two points
constexpr int32_t kHaloBytes = 15;       // a point and three signed bytes
constexpr int32_t kHaloLists = 3;

}  // namespace car_file
