#pragma once
// The record a network game sends of a car: the chassis and the four wheels (position,
// orientation, linear and angular velocity each), the drive state that sounds, lights and wheel
// motors follow, the health and the headlights. Little-endian, no header: the object channel
// adds its own. Vehicle::WriteSnapshot and Vehicle::ReadSnapshot write and apply it.
#include <cstdint>

namespace vehicle_snapshot {

constexpr int32_t Size = 296;
// One body: position 12, quaternion (x, y, z, w) 16, linear velocity 12, angular velocity 12.
constexpr int32_t BodySize = 52;
constexpr int32_t Chassis = 0;
// Wheel i (front left, front right, back left, back right) at Wheels + i x BodySize.
constexpr int32_t Wheels = 52;
constexpr int32_t Revs = 260;
constexpr int32_t Gear = 264;
constexpr int32_t SteerAngle = 268;
constexpr int32_t Throttle = 272;
constexpr int32_t Brake = 276;
constexpr int32_t SteerInput = 280;
constexpr int32_t Handbrake = 284;
constexpr int32_t Health = 288;
// Bit 0: the headlights. The other bits are written 0 (the channel writes every object into
// one buffer, so bits left as they were would be another object's) and ignored on reading.
constexpr int32_t Flags = 292;

} // namespace vehicle_snapshot
