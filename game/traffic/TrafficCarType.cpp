#include "game/traffic/TrafficCarType.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/core/Debugger.h"
#include "engine/core/FileStream.h"
#include "engine/render/D3D8Mesh.h"
#include "engine/render/MeshFactory.h"

namespace {

constexpr int32_t kMinimumSize = 10;
constexpr uint64_t kPointBytes = 12;
constexpr uint64_t kLightBytes = 15;

// Reads the fields in order, each count checked against the bytes left: once the file runs
// short nothing more is read and the rest keeps its zero defaults.
class Fields {
public:
    Fields(FileReader& r, const SharedString& name) : r_(r), name_(name) {}
    bool Has(uint64_t bytes) {
        if (!short_ && uint64_t(r_.Remaining()) < bytes) Stop();
        return !short_;
    }
    void Skip(int32_t bytes) {
        if (Has(uint64_t(bytes))) r_.Seek(r_.Position() + bytes);
    }
    bool U32(uint32_t& out) {
        if (!Has(4)) return false;
        out = r_.ReadU32();
        return true;
    }
    void String() {
        if (!Has(4)) return;
        (void)r_.ReadString();  // length-prefixed; a length past the end fails the reader
        if (r_.Failed()) Stop();
    }
    // A point; a value that is not finite reads as 0.
    void Point(Vector3& p) {
        if (!Has(kPointBytes)) return;
        for (float* v : {&p.x, &p.y, &p.z}) {
            const float f = r_.ReadFloat();
            *v = std::isfinite(f) ? f : 0.0f;
        }
    }
    bool Count(uint32_t& n, uint64_t recordBytes) { return U32(n) && Has(uint64_t(n) * recordBytes); }
    void Lights(std::vector<TrafficCarType::LightRecord>& out) {
        uint32_t n = 0;
        if (!Count(n, kLightBytes)) return;
        out.assign(n, TrafficCarType::LightRecord{});
        for (TrafficCarType::LightRecord& l : out) {
            Point(l.position);
            for (float& v : l.values) v = float(int8_t(r_.ReadU8()));
        }
    }
    void LogInvalid() {
        if (logged_) return;
        logged_ = true;
        Debugger::Instance().Message("Car %s is invalid", name_.c_str());
    }

private:
    void Stop() {
        short_ = true;
        LogInvalid();
    }
    FileReader& r_;
    SharedString name_;
    bool short_ = false;
    bool logged_ = false;
};

D3D8Mesh* LoadMesh(const SharedString& path) { return MeshFactory::Instance().GetByName(path, true); }

}  // namespace

bool TrafficCarType::ReadFile(const SharedString& path) {
    FileReader file(path);
    char magic[3] = {};
    if (file.Length() >= kMinimumSize) file.Read(magic, 3);
    if (file.Length() < kMinimumSize || std::memcmp(magic, "VQ ", 3) != 0) {
        Debugger::Instance().Message("Car %s is invalid", name.c_str());
        return false;
    }
    Fields in(file, name);
    in.U32(version);
    if (version != kVersionCurrent && version != kVersionOlder) in.LogInvalid();
    in.String();  // the car's name
    if (version == kVersionOlder) {
        uint32_t n = 0;
        if (in.Count(n, 4))
            for (uint32_t i = 0; i < n && in.Has(4); ++i) in.String();
    }
    in.Skip(2);      // two bytes
    in.Skip(8 * 4);  // handling
    in.Skip(4);
    in.Skip(2 * 4);
    in.Skip(4);  // the file's mass: every traffic car weighs kMass
    in.Skip(1);
    in.Skip(4 * 4);
    in.Skip(12);
    for (int axle = 0; axle < 2; ++axle) {
        uint32_t n = 0;
        if (!in.Count(n, 2 * kPointBytes)) break;
        for (uint32_t i = 0; i < n; ++i) {
            in.Point(wheels[size_t(axle * 2)]);
            in.Point(wheels[size_t(axle * 2 + 1)]);
        }
    }
    if (version != kVersionOlder) {
        in.Lights(frontLights);
        in.Lights(rearLights);
    }
    for (Vector3& w : wheels) w.z = -w.z;
    // Halves first: the sum of two finite points near the float limit would not be finite.
    frontAxle = wheels[0] * 0.5f + wheels[1] * 0.5f;
    rearAxle = wheels[2] * 0.5f + wheels[3] * 0.5f;
    wheelCentre = frontAxle * 0.5f + rearAxle * 0.5f;
    return true;
}

void TrafficCarType::ComputeBox(const std::vector<Vector3>& chassisPoints, const std::vector<Vector3>& wheelPoints) {
    float radius = 0.0f;
    for (const Vector3& p : wheelPoints) radius = std::max(radius, p.y);
    wheelRadius.fill(radius);
    if (chassisPoints.empty()) return;
    // Half a turn about y: (x, y, z) -> (-x, y, -z).
    Vector3 lo(-chassisPoints[0].x, chassisPoints[0].y, -chassisPoints[0].z), hi = lo;
    for (const Vector3& p : chassisPoints) {
        const Vector3 q(-p.x, p.y, -p.z);
        lo = Vector3(std::min(lo.x, q.x), std::min(lo.y, q.y), std::min(lo.z, q.z));
        hi = Vector3(std::max(hi.x, q.x), std::max(hi.y, q.y), std::max(hi.z, q.z));
    }
    const float bottom = wheels[0].y - radius;
    boxCentre = Vector3((lo.x + hi.x) * 0.5f, (hi.y + bottom) * 0.5f, -(lo.z + hi.z) * 0.5f);
    boxSize = Vector3(hi.x - lo.x, hi.y - bottom, hi.z - lo.z);
}

TrafficCarType::TrafficCarType(const SharedString& fileName) {
    name = SharedString::Format("%.*s", fileName.Length() >= 4 ? int(fileName.Length() - 4) : 0, fileName.c_str());
    if (!ReadFile(SharedString::Format("Vehicles\\Traffic\\%s", fileName.c_str()))) return;
    const char* n = name.c_str();
    for (const SharedString& file : ListFiles(SharedString::Format("Vehicles\\Traffic\\%s\\Chassis*.ZKM", n), true))
        chassisMeshes.push_back(LoadMesh(SharedString::Format("Vehicles\\Traffic\\%s\\%s", n, file.c_str())));
    wheelMesh = LoadMesh(SharedString::Format("Vehicles\\Traffic\\%s\\Wheel.ZKM", n));
    pieceMesh = LoadMesh(SharedString::Format("Vehicles\\Traffic\\%s\\Stuk.ZKM", n));
    static const std::vector<Vector3> none;
    ComputeBox(chassisMeshes.empty() || !chassisMeshes[0] ? none : chassisMeshes[0]->Positions(),
               wheelMesh ? wheelMesh->Positions() : none);
    if (chassisMeshes.empty())
        Debugger::Instance().Message("TRAFFIC: %s has no Chassis*.ZKM; no car of it takes to the streets", n);
}

TrafficCarType::~TrafficCarType() {
    for (D3D8Mesh* m : chassisMeshes) delete m;
    delete wheelMesh;
    delete pieceMesh;
}

std::vector<std::unique_ptr<TrafficCarType>> LoadTrafficCarTypes() {
    std::vector<std::unique_ptr<TrafficCarType>> types;
    for (const SharedString& file : ListFiles(SharedString("Vehicles\\Traffic\\*.VQC"), true))
        types.push_back(std::make_unique<TrafficCarType>(file));
    return types;
}
