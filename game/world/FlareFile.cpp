#include "game/world/FlareFile.h"

#include "engine/core/AtomicFile.h"
#include "engine/core/Debugger.h"

namespace {

void WriteFlareFile(BinaryOutputStream& out, const Vector3& flarePoint) {
    out.WriteZK2Header(kFlareFileVersion);
    out.WriteFloat(flarePoint.x);
    out.WriteFloat(flarePoint.y);
    out.WriteFloat(flarePoint.z);
}

} // namespace

std::vector<uint8_t> FlareFileBytes(const Vector3& flarePoint) {
    // Collected in memory and never committed: no file is touched.
    AtomicFileWriter out(FlareFilePath(0));
    WriteFlareFile(out, flarePoint);
    return out.Bytes();
}

SharedString FlareFilePath(int32_t timeOfDay) { return SharedString::Format("Misc\\%d.CSS", timeOfDay); }

bool SaveFlarePoint(int32_t timeOfDay, const Vector3& flarePoint) {
    const SharedString path = FlareFilePath(timeOfDay);
    AtomicFileWriter out(path);
    WriteFlareFile(out, flarePoint);
    if (out.Commit()) return true;
    Debugger::Instance().Message("Could not save the flare point to %s", path.c_str());
    return false;
}
