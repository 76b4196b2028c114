#include "game/vehicles/CarCamera.h"

#include <cmath>

#include "engine/core/AtomicFile.h"
#include "engine/core/Debugger.h"
#include "engine/core/FileStream.h"

namespace {

float Finite(float read, float fallback) { return std::isfinite(read) ? read : fallback; }

}  // namespace

SharedString CarCameraPath(const SharedString& carName, int32_t index) {
    return SharedString::Format("Vehicles\\%s\\%d.CAM", carName.c_str(), int(index));
}

CarCamera ReadCarCamera(const SharedString& path) {
    CarCamera c;
    FileReader reader(path);
    uint32_t version = 0;
    // The header test alone would take a 10-byte file; the record needs all 45.
    if (reader.Length() < CarCamera::kFileSize || reader.CheckZK2Header(version) != 0) {
        Debugger::Instance().Message("%s is missing!", path.c_str());
        return c;
    }
    c.position.x = Finite(reader.ReadFloat(), 0.0f);
    c.position.y = Finite(reader.ReadFloat(), 0.0f);
    c.position.z = Finite(reader.ReadFloat(), 0.0f);
    Quaternion q;
    q.x = reader.ReadFloat();
    q.y = reader.ReadFloat();
    q.z = reader.ReadFloat();
    q.w = reader.ReadFloat();
    const float norm = q.Dot(q);
    if (std::isfinite(norm) && norm > 1e-12f) c.rotation = q;
    c.distance = Finite(reader.ReadFloat(), c.distance);
    c.lerp = Finite(reader.ReadFloat(), c.lerp);
    c.viewCar = reader.ReadU8() != 0;
    c.attached = reader.ReadU8() != 0;
    return c;
}

bool SaveCarCameras(const SharedString& carName, const CarCamera (&cameras)[CarCamera::kPerCar]) {
    bool ok = true;
    for (int32_t n = 0; n < CarCamera::kPerCar; ++n) {
        const std::vector<uint8_t> bytes = CarCameraBytes(cameras[n]);
        ok = WriteFileAtomically(CarCameraPath(carName, n), bytes.data(), bytes.size()) && ok;
    }
    return ok;
}
