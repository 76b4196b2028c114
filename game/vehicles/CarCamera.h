#pragma once
// A car's camera set-up: where the chase camera sits relative to the car and how it follows it.
// Every car kind has ten, one per file "Vehicles\<name>\<n>.CAM" (n = 0..9), read when its
// definition is built and written back by the game's camera editing command.
//
// The file, little-endian, 45 bytes: "ZK2", u32 version (written 0, any value read), position
// 3 x f32, rotation x, y, z, w 4 x f32, distance f32, lerp f32, viewCar u8, attached u8.
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/core/Math.h"
#include "engine/core/SharedString.h"

struct CarCamera {
    static constexpr int32_t kFileSize = 45;
    static constexpr int32_t kPerCar = 10;

    Vector3 position;        // pivot in the car's frame; the camera circles it
    Quaternion rotation;     // relative to the car's frame
    float distance = 100.0f; // back from the pivot along the camera's own +z
    float lerp = 1.0f;       // the camera turns dt x lerp x 4 of the way a frame
    bool viewCar = true;     // the car itself is drawn (false for views from inside)
    bool attached = false;   // follows the car's full orientation, else its heading only

    bool operator==(const CarCamera&) const = default;
};

// The file's bytes for a record (the one serializer of the format; the tools' writer and the
// game's save use it).
inline std::vector<uint8_t> CarCameraBytes(const CarCamera& c) {
    std::vector<uint8_t> out;
    out.reserve(CarCamera::kFileSize);
    auto u32 = [&out](uint32_t v) {
        for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
    };
    auto f32 = [&u32](float f) {
        uint32_t v;
        std::memcpy(&v, &f, 4);
        u32(v);
    };
    out.insert(out.end(), {'Z', 'K', '2'});
    u32(0);
    f32(c.position.x); f32(c.position.y); f32(c.position.z);
    f32(c.rotation.x); f32(c.rotation.y); f32(c.rotation.z); f32(c.rotation.w);
    f32(c.distance);
    f32(c.lerp);
    out.push_back(c.viewCar ? 1 : 0);
    out.push_back(c.attached ? 1 : 0);
    return out;
}

// Reads one camera file. A missing file, one under 45 bytes or one without the magic gives the
// default record and the line "<path> is missing!". Non-finite values keep their defaults; a
// zero or non-finite rotation becomes the identity.
CarCamera ReadCarCamera(const SharedString& path);
// "Vehicles\<carName>\<n>.CAM".
SharedString CarCameraPath(const SharedString& carName, int32_t index);
// Writes the ten records of a car through the atomic-write helper; false when any failed.
bool SaveCarCameras(const SharedString& carName, const CarCamera (&cameras)[CarCamera::kPerCar]);
