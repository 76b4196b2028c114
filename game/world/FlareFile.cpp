#include "game/world/FlareFile.h"

#include <cstring>

#include "engine/core/AtomicFile.h"
#include "engine/core/Debugger.h"

std::vector<uint8_t> FlareFileBytes(const Vector3& flarePoint) {
    std::vector<uint8_t> out{'Z', 'K', '2'};
    out.reserve(kFlareFileSize);
    auto u32 = [&out](uint32_t v) {
        for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
    };
    auto f32 = [&u32](float f) {
        uint32_t v;
        std::memcpy(&v, &f, 4);
        u32(v);
    };
    u32(kFlareFileVersion);
    f32(flarePoint.x);
    f32(flarePoint.y);
    f32(flarePoint.z);
    return out;
}

SharedString FlareFilePath(int32_t timeOfDay) { return SharedString::Format("Misc\\%d.CSS", timeOfDay); }

bool SaveFlarePoint(int32_t timeOfDay, const Vector3& flarePoint) {
    const SharedString path = FlareFilePath(timeOfDay);
    const std::vector<uint8_t> bytes = FlareFileBytes(flarePoint);
    if (WriteFileAtomically(path, bytes.data(), bytes.size())) return true;
    Debugger::Instance().Message("Could not save the flare point to %s", path.c_str());
    return false;
}
