#include "game/play/LightSet.h"

#include <algorithm>
#include <cstring>

#include "engine/core/AtomicFile.h"
#include "engine/core/Debugger.h"
#include "engine/core/FileStream.h"
#include "game/world/GameSession.h"

namespace {

constexpr float kDegrees = 3.14159265f / 180.0f;

// A light whose beam is turned about the vertical by the yaw, then pitched about its own side
// axis (negative: shining down). The stored rotation is the inverse turn: it carries +z towards
// the light.
Quaternion BeamYawPitch(float yawDegrees, float pitchDegrees) {
    Quaternion q;
    q.RotateY(-yawDegrees * kDegrees);
    q.PreRotateX(-pitchDegrees * kDegrees);
    return q;
}

void SetColour(float (&c)[4], float r, float g, float b, float a) {
    c[0] = r;
    c[1] = g;
    c[2] = b;
    c[3] = a;
}

void ReadQuaternion(InputStream& in, Quaternion& q) {
    float v[4];
    in.Read(v, sizeof v);
    q = Quaternion(v[0], v[1], v[2], v[3]);
}

void ReadColour(InputStream& in, float (&c)[4]) { in.Read(c, sizeof c); }

} // namespace

LightSet::LightSet() {
    // The key light from the side and above, a warm light and a faint blue back light.
    lights[0].rotation = BeamYawPitch(-90.0f, -45.0f);
    SetColour(lights[0].ambient, 0.15f, 0.15f, 0.15f, 0.15f);
    lights[0].intensity = 1.0f;

    lights[1].rotation = BeamYawPitch(10.0f, -45.0f);
    SetColour(lights[1].ambient, 0, 0, 0, 0);
    SetColour(lights[1].diffuse, 1.0f, 0.7f, 0.4f, 1.0f);
    SetColour(lights[1].specular, 1.0f, 0.7f, 0.4f, 1.0f);
    lights[1].intensity = 1.0f;

    lights[2].rotation = BeamYawPitch(-170.0f, -45.0f);
    SetColour(lights[2].ambient, 0, 0, 0, 0);
    SetColour(lights[2].diffuse, 0, 0, 1, 1);
    SetColour(lights[2].specular, 0, 0, 1, 1);
    lights[2].intensity = 0.35f;
}

int32_t LightSet::ClampTimeOfDay(int32_t timeOfDay) { return std::clamp(timeOfDay, 0, 3); }

SharedString LightSet::FilePath(int32_t timeOfDay) {
    return SharedString::Format("Misc\\%d.LIT", ClampTimeOfDay(timeOfDay));
}

void LightSet::ApplyDefaults(int32_t timeOfDay) {
    struct Defaults {
        float ambient0, intensity0, night1, intensity1, ambient2, intensity2;
    };
    static const Defaults kTable[4] = {
        {0.15f, 1.1f, 0.0f, 0.6f, 0.1f, 1.4f * 0.35f},
        {0.15f, 1.0f, 0.0f, 1.0f, 0.0f, 1.0f * 0.35f},
        {0.12f, 0.8f, 0.0f, 0.7f, 0.0f, 0.5f * 0.35f},
        {0.05f, 0.4f, 0.05f, 0.8f, 0.0f, 0.4f * 0.35f},
    };
    const Defaults& d = kTable[ClampTimeOfDay(timeOfDay)];
    SetColour(lights[0].ambient, d.ambient0, d.ambient0, d.ambient0, d.ambient0);
    lights[0].intensity = d.intensity0;
    SetColour(lights[1].ambient, d.night1, d.night1 * 0.7f, d.night1 * 0.4f, d.night1);
    lights[1].intensity = d.intensity1;
    SetColour(lights[1].diffuse, 1.0f, 0.7f, 0.4f, 1.0f);
    SetColour(lights[1].specular, 1.0f, 0.7f, 0.4f, 1.0f);
    SetColour(lights[2].ambient, 0, 0, d.ambient2, d.ambient2);
    lights[2].intensity = d.intensity2;
    SetColour(lights[2].diffuse, 0, 0, 1, 1);
    SetColour(lights[2].specular, 0, 0, 1, 1);
    for (GameLight& l : lights) l.changed = 1;
}

void LightSet::ResetRecords() {
    for (LightRecord& r : records) r = LightRecord{};
}

void LightSet::Enter(int32_t timeOfDay) {
    ApplyDefaults(timeOfDay);
    ResetRecords();
    const SharedString path = FilePath(timeOfDay);
    if (!ReadFile(path))
        Debugger::Instance().Message("LIGHTS: %s is missing or damaged; the default lights are used", path.c_str());
}

bool LightSet::ReadFile(const SharedString& path) {
    FileReader in(path);
    // Only a whole file is read: a shorter one would leave records half made of its bytes.
    if (!in.IsOpen() || in.Length() < kFileSize) return false;
    char magic[3];
    in.Read(magic, 3);
    if (in.Failed() || std::memcmp(magic, "ZK2", 3) != 0) return false;
    in.ReadU32(); // version, not used
    LightRecord read[kLightCount];
    for (LightRecord& r : read) {
        ReadQuaternion(in, r.rotation);
        r.intensity = in.ReadFloat();
        ReadColour(in, r.ambient);
        ReadColour(in, r.diffuse);
        ReadColour(in, r.specular);
    }
    if (in.Failed()) return false;
    std::copy(std::begin(read), std::end(read), std::begin(records));
    return true;
}

void LightSet::Write(BinaryOutputStream& out, const GameLight (&set)[kLightCount]) {
    out.WriteZK2Header(0);
    for (const GameLight& l : set) {
        const float rotation[4] = {l.rotation.x, l.rotation.y, l.rotation.z, l.rotation.w};
        for (float v : rotation) out.WriteFloat(v);
        out.WriteFloat(l.intensity);
        for (float v : l.ambient) out.WriteFloat(v);
        for (float v : l.diffuse) out.WriteFloat(v);
        for (float v : l.specular) out.WriteFloat(v);
    }
}

bool LightSet::Save(int32_t timeOfDay) const {
    const SharedString path = FilePath(timeOfDay);
    AtomicFileWriter out(path);
    Write(out, lights);
    if (out.Commit()) return true;
    Debugger::Instance().Print(SharedString::Format("Could not save the light file %s", path.c_str()));
    return false;
}

void LightSet::TurnCurrent(float yawRadians, float pitchRadians) {
    GameLight& l = lights[current];
    // Yaw about the world's vertical (after the rotation), pitch about the light's own side axis
    // (before it).
    if (yawRadians != 0.0f) l.rotation.RotateY(yawRadians);
    if (pitchRadians != 0.0f) l.rotation.PreRotateX(pitchRadians);
    l.rotationChanged = 1;
    l.changed = 1;
}

Vector3 LightSet::TowardLight(const Quaternion& rotation) {
    const Matrix4 r = rotation.ToMatrix();
    return Vector3(r.m[2][0], r.m[2][1], r.m[2][2]);
}

Quaternion LightSet::RendererOrientation(const Quaternion& rotation) {
    // A renderer light shines along the negated third column of its orientation's matrix: the
    // inverse turn's image of -z.
    return Quaternion(-rotation.x, -rotation.y, -rotation.z, rotation.w);
}

void LightSet::ToSceneLights(SceneLight (&out)[kLightCount]) const {
    for (int32_t i = 0; i < kLightCount; ++i) {
        const LightRecord& from = records[i];
        SceneLight& to = out[i];
        // The city's shading turns +z into the direction towards the light, as the record does.
        to.orientation = from.rotation;
        to.intensity = from.intensity;
        std::copy(std::begin(from.ambient), std::end(from.ambient), std::begin(to.ambient));
        std::copy(std::begin(from.diffuse), std::end(from.diffuse), std::begin(to.diffuse));
        std::copy(std::begin(from.specular), std::end(from.specular), std::begin(to.specular));
    }
}

void LightSet::SelectByNumber(int32_t number) { current = std::clamp(number - 1, 0, kLightCount - 1); }

void LightSet::PrintCurrent() const {
    Debugger& log = Debugger::Instance();
    const GameLight& l = lights[current];
    const int32_t n = current + 1;
    log.Message("Light %d Intensity: %.0f", n, l.intensity * 255.0f);
    log.Message("Light %d Ambient: %.0f, %.0f, %.0f", n, l.ambient[0] * 255.0f, l.ambient[1] * 255.0f,
                l.ambient[2] * 255.0f);
    log.Message("Light %d Diffuse: %.0f, %.0f, %.0f", n, l.diffuse[0] * 255.0f, l.diffuse[1] * 255.0f,
                l.diffuse[2] * 255.0f);
    log.Message("Light %d Specular: %.0f, %.0f, %.0f", n, l.specular[0] * 255.0f, l.specular[1] * 255.0f,
                l.specular[2] * 255.0f);
}
