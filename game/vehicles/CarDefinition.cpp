#include "game/vehicles/CarDefinition.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include "engine/core/Debugger.h"
#include "engine/core/FileStream.h"
#include "engine/core/Geometry.h"
#include "engine/render/D3D8Mesh.h"
#include "engine/render/D3D8RenderFacility.h"
#include "engine/render/MeshFactory.h"
#include "engine/render/TextureFactory.h"
#include "engine/render/TextureTypes.h"
#include "engine/render/ZkmFormat.h"
#include "game/vehicles/CarCatalogue.h"
#include "game/vehicles/CarFileFormat.h"

namespace {

SharedString Upper(const SharedString& s) {
    SharedString u(s.c_str(), s.Length());
    u.ToUpper();
    return u;
}

bool StartsWith(const SharedString& s, const char* prefix) { return std::strncmp(s.c_str(), prefix, std::strlen(prefix)) == 0; }

// Reads the car file, every count and value checked against what is left. Once the file runs
// short nothing more is read and the rest keeps its defaults.
class CarFileReader {
public:
    CarFileReader(FileReader& r, const SharedString& fileName) : r_(r), fileName_(fileName) {}

    bool Has(uint64_t bytes) {
        if (!short_ && uint64_t(r_.Remaining()) < bytes) Damage(true);
        return !short_;
    }
    void U8() {
        if (Has(1)) r_.ReadU8();
    }
    void I8(float& out) {
        if (Has(1)) out = float(int8_t(r_.ReadU8()));
    }
    bool U32(uint32_t& out) {
        if (!Has(4)) return false;
        out = r_.ReadU32();
        return true;
    }
    void I32(int32_t& out) {
        if (Has(4)) out = int32_t(r_.ReadU32());
    }
    // A value that is not finite keeps the default.
    void F32(float& out, float storedScale = 1.0f) {
        if (!Has(4)) return;
        const float v = r_.ReadFloat() / storedScale;
        if (std::isfinite(v)) out = v;
        else Damage(false);
    }
    void Point(Vector3& p) {
        F32(p.x);
        F32(p.y);
        F32(p.z);
    }
    void String(SharedString& out) {
        if (!Has(4)) return;
        SharedString s = r_.ReadString();
        if (r_.Failed()) Damage(true);
        else out = s;
    }
    // A record count that the bytes left can hold.
    bool Count(uint32_t& n, uint64_t recordBytes) {
        if (!U32(n)) return false;
        return Has(uint64_t(n) * recordBytes);
    }
    // Logs "Car %s is invalid" at most once per file.
    void LogInvalid() {
        if (logged_) return;
        logged_ = true;
        Debugger::Instance().Message("Car %s is invalid", fileName_.c_str());
    }
    bool Damaged() const { return damaged_; }

private:
    void Damage(bool stop) {
        damaged_ = true;
        if (stop) short_ = true;
        LogInvalid();
    }
    FileReader& r_;
    SharedString fileName_;
    bool short_ = false;
    bool damaged_ = false;
    bool logged_ = false;
};

D3D8Mesh* LoadMesh(const SharedString& path) { return MeshFactory::Instance().GetByName(path, true); }

// "Vehicles\<car>\<pattern>" files in name order, loaded.
std::vector<D3D8Mesh*> LoadMeshList(const SharedString& car, const char* pattern) {
    std::vector<D3D8Mesh*> meshes;
    for (const SharedString& file : ListFiles(SharedString::Format("Vehicles\\%s\\%s", car.c_str(), pattern), true))
        meshes.push_back(LoadMesh(SharedString::Format("Vehicles\\%s\\%s", car.c_str(), file.c_str())));
    return meshes;
}

const std::vector<Vector3>& PointsOf(const D3D8Mesh* mesh) {
    static const std::vector<Vector3> none;
    return mesh ? mesh->Positions() : none;
}

// Merges p into the set: an existing point within the tolerance on all three axes, else a new one.
size_t Merge(std::vector<Vector3>& set, const Vector3& p, float tolerance) {
    for (size_t i = 0; i < set.size(); ++i) {
        const Vector3& q = set[i];
        if (std::fabs(q.x - p.x) <= tolerance && std::fabs(q.y - p.y) <= tolerance && std::fabs(q.z - p.z) <= tolerance)
            return i;
    }
    set.push_back(p);
    return set.size() - 1;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

uint32_t CarNameFlags(const SharedString& fileName) {
    const SharedString upper = Upper(fileName);
    static const struct {
        const char* keyword;
        uint32_t bit;
    } tests[] = {{"AMBULANCE", kCarProtected}, {"TANK", kCarTank},   {"CAB", kCarCab},
                 {"CROSS", kCarCross},         {"POLICE", kCarPolice}, {"AMBULANCE", kCarAiTemplate}};
    uint32_t flags = 0;
    for (const auto& t : tests) {
        if (StartsWith(upper, t.keyword)) flags |= t.bit;
        else flags &= ~t.bit;
    }
    return flags;
}

void GatherHullPoints(const std::vector<Vector3>& meshPoints, const Vector3& offset, float tolerance,
                      std::vector<Vector3>& gathered) {
    std::vector<uint32_t> triangles;
    if (!TriangulatePointSet(meshPoints, triangles)) return;
    for (size_t t = 0; t + 2 < triangles.size(); t += 3) {
        const size_t before = gathered.size();
        size_t merged[3];
        for (int c = 0; c < 3; ++c) merged[c] = Merge(gathered, meshPoints[triangles[t + size_t(c)]] + offset, tolerance);
        if (merged[0] == merged[1] || merged[1] == merged[2] || merged[0] == merged[2]) gathered.resize(before);
    }
}

ShadowHull MakeShadowHull(const std::vector<Vector3>& points) {
    ShadowHull hull;
    std::vector<uint32_t> triangles;
    if (!TriangulatePointSet(points, triangles)) return hull;
    hull.vertices = points;
    hull.indices.assign(triangles.begin(), triangles.end());
    for (size_t t = 0; t + 2 < triangles.size(); t += 3) {
        const Vector3 &a = points[triangles[t]], &b = points[triangles[t + 1]], &c = points[triangles[t + 2]];
        hull.normals.push_back(Vector3::Cross(b - a, c - a).Normalized());
    }
    return hull;
}

// ---------------------------------------------------------------------------------------------

CarDefinition::CarDefinition(const SharedString& fileName) {
    missileDirection = Vector3(0.0f, 0.1f, -1.0f).Normalized();
    for (WeaponMount& m : rocketMounts) m = {Vector3(0.0f, 10.0f, 0.0f), Vector3(0.0f, 0.0f, -1.0f)};
    const int32_t length = fileName.Length();
    name = SharedString(fileName.c_str(), std::max(length - 4, 0));

    // A missing or foreign file: the definition keeps its defaults and is still catalogued.
    if (!ReadCarFile(SharedString::Format("Vehicles\\%s", fileName.c_str()), fileName)) return;

    LoadMeshes();
    ComputeBoxes();
    nameFlags = CarNameFlags(fileName);
    ScanMarkers();
    BuildShadowHulls();
    for (int32_t n = 0; n < CarCamera::kPerCar; ++n) cameras[n] = ReadCarCamera(CarCameraPath(name, n));
    menuImage = TextureFactory::Instance().GetByName(SharedString::Format("Vehicles\\%s\\MPImage.ZKT", name.c_str()), true);
    D3D8Mesh** riders[kRiders] = {&riderMeshChick, &riderMeshPolice, &riderMeshHermes, &riderMeshTony};
    const char* riderNames[kRiders] = {"Chick", "Police", "Hermes", "Tony"};
    for (int32_t i = 0; i < kRiders; ++i) {
        const SharedString path = SharedString::Format("Vehicles\\%s\\%s.ZKM", name.c_str(), riderNames[i]);
        if (FileExists(path)) *riders[i] = LoadMesh(path);
    }

    const Vector3& half = chassisBox.halfExtents;
    valid = !chassisMeshes.empty() && !PointsOf(chassisMeshes.front()).empty() && half.x > 0.0f && half.y > 0.0f &&
            half.z > 0.0f;
    for (float r : wheelRadii) valid = valid && r > 0.0f;
}

bool CarDefinition::ReadCarFile(const SharedString& path, const SharedString& fileName) {
    FileReader file(path);
    char magic[3] = {};
    if (file.Length() >= car_file::kMinimumSize) file.Read(magic, 3);
    if (file.Length() < car_file::kMinimumSize || std::memcmp(magic, car_file::kMagic, 3) != 0) return false;
    CarFileReader in(file, fileName);
    uint32_t version = 0;
    in.U32(version);
    if (version == car_file::kVersionUpdate) Debugger::Instance().Message("Update car %s", fileName.c_str());
    else if (version != car_file::kVersionCurrent) in.LogInvalid();
    in.String(displayName);

    if (version == car_file::kVersionUpdate) {
        uint32_t n = 0;
        if (in.Count(n, 4)) {
            for (uint32_t i = 0; i < n && in.Has(4); ++i) {
                SharedString discarded;
                in.String(discarded);
            }
        }
    }
    in.U8();
    if (version != car_file::kVersionOld) in.U8();
    CarHandling& h = handling;
    in.F32(h.forwardSpeedFactor);
    in.F32(h.engineForce);
    in.F32(h.weightShiftFactor);
    in.F32(h.forwardSteeringLock);
    in.F32(h.reverseSteeringLock);
    in.F32(h.steeringReferenceSpeed);
    in.F32(h.brakeStrength);
    in.F32(h.handbrakeStrength);
    in.I32(h.gearCount);
    in.F32(h.steeringSpeedScale);
    in.F32(h.reverseSpeedFactor);
    in.F32(h.massValue, car_file::kMassScale);
    in.U8();
    in.F32(h.minimumSteeringFactor, car_file::kMinimumSteeringScale);
    in.F32(h.spareB);
    in.F32(h.steeringExponent, car_file::kSteeringExponentScale);
    if (version != car_file::kVersionOld) in.F32(h.spareA);
    else h.spareA = car_file::kOldSpareA;
    in.Point(doorPoint1);

    for (int axle = 0; axle < 2; ++axle) {
        uint32_t n = 0;
        if (!in.Count(n, car_file::kWheelPairBytes)) break;
        for (uint32_t i = 0; i < n; ++i) {
            in.Point(wheelPoints[axle * 2]);
            in.Point(wheelPoints[axle * 2 + 1]);
        }
    }
    if (version != car_file::kVersionUpdate) {
        std::vector<HaloPoint>* lists[car_file::kHaloLists] = {&haloListA, &haloListB, &haloListC};
        for (std::vector<HaloPoint>* list : lists) {
            uint32_t n = 0;
            if (!in.Count(n, car_file::kHaloBytes)) break;
            list->assign(n, HaloPoint{});
            for (HaloPoint& p : *list) {
                p.position = Vector3();
                in.Point(p.position);
                for (int v = 0; v < 3; ++v) in.I8(p.values[v]);
            }
        }
    }
    fileDamaged = in.Damaged();
    // Halves first: the sum of two finite points near the float limit would not be finite.
    auto mean = [](const Vector3& a, const Vector3& b) { return a * 0.5f + b * 0.5f; };
    frontAxleCentre = mean(wheelPoints[0], wheelPoints[1]);
    backAxleCentre = mean(wheelPoints[2], wheelPoints[3]);
    wheelCentre = mean(frontAxleCentre, backAxleCentre);
    return true;
}

void CarDefinition::LoadMeshes() {
    // Every texture layer 1 of these models shows the environment cube.
    ForceEnvironmentFlag.store(1);
    chassisMeshes = LoadMeshList(name, "Chassis*.ZKM");
    frontWheelMesh = LoadMesh(SharedString::Format("Vehicles\\%s\\FrontWheel.ZKM", name.c_str()));
    backWheelMesh = LoadMesh(SharedString::Format("Vehicles\\%s\\BackWheel.ZKM", name.c_str()));
    const SharedString shadow = SharedString::Format("Vehicles\\%s\\Shadow.ZKM", name.c_str());
    if (FileExists(shadow)) shadowMesh = LoadMesh(shadow);
    doorMeshes = LoadMeshList(name, "Door*.ZKM");
    ForceEnvironmentFlag.store(0);
    environmentMap = 1;
}

void CarDefinition::ComputeBoxes() {
    if (!chassisMeshes.empty()) {
        const std::vector<Vector3>& p = PointsOf(chassisMeshes.front());
        chassisBox = BoundingBox::FromPoints(p.data(), 0, int32_t(p.size()));
    }
    for (int32_t i = 0; i < kWheels; ++i) {
        float top = 0.0f;
        for (const Vector3& v : PointsOf(i < 2 ? frontWheelMesh : backWheelMesh)) top = std::max(top, v.y);
        wheelRadii[i] = top;
    }
    float m = -1e7f;
    for (int32_t i = 0; i < kWheels; ++i)
        if (m < wheelPoints[i].y) m = wheelPoints[i].y + 0.5f * wheelRadii[i];
    chassisCollisionBox = chassisBox;
    const float d = (m - (chassisBox.centre.y - chassisBox.halfExtents.y)) * 0.5f;
    if (d > 0.0f) {
        chassisCollisionBox.centre.y += d;
        chassisCollisionBox.halfExtents.y -= d;
    }
}

void CarDefinition::ScanMarkers() {
    if (chassisMeshes.empty()) return;
    for (const MeshMarker& marker : chassisMeshes.front()->Markers()) {
        const SharedString n = Upper(marker.name);
        const Vector3 &a = marker.first, &b = marker.second;
        const Vector3 direction = (b - a).Normalized();
        if (n == "MISSILE") {
            missilePoint = a;
            missileDirection = direction;
            continue;
        }
        bool rocket = false;
        for (int32_t r = 0; r < kRocketMounts && !rocket; ++r) {
            if (n == SharedString::Format("ROCKET_%d", int(r + 1))) {
                rocketMounts[r] = {a, direction};
                rocket = true;
            }
        }
        if (rocket) continue;
        if (n == "FLAMER") {
            flamerPoint = a;
            flamerDirection = direction;
        } else if (n == "CHAINGUN") {
            chaingunPointA = a;
            chaingunPointB = b;
        } else if (n == "GRENADE") {
            grenadePoint = a;
        } else if (n == "BOOST") {
            boostPoint = a;
        } else if (n == "DRIVER") {
            driverPoint = a;
        } else if (n == "DOORPOS2") {
            doorPoint2 = a;
        } else if (n == "DOORPOS3") {
            doorPoint3 = a;
        }
        // DOORPOS1: the first door point comes from the file.
    }
}

void CarDefinition::BuildShadowHulls() {
    shadowHulls.assign(chassisMeshes.size(), ShadowHull{});
    if (shadowMesh) {
        std::vector<Vector3> points;
        GatherHullPoints(PointsOf(shadowMesh), Vector3(), 0.0001f, points);
        const ShadowHull hull = MakeShadowHull(points);
        for (ShadowHull& h : shadowHulls) h = hull;
        return;
    }
    for (size_t k = 0; k < chassisMeshes.size(); ++k) {
        std::vector<Vector3> points;
        GatherHullPoints(PointsOf(chassisMeshes[k]), Vector3(), 0.1f, points);
        if (!doorMeshes.empty()) GatherHullPoints(PointsOf(doorMeshes.front()), Vector3(), 0.1f, points);
        for (int32_t i = 0; i < kWheels; ++i)
            GatherHullPoints(PointsOf(i < 2 ? frontWheelMesh : backWheelMesh), wheelPoints[i], 0.1f, points);
        shadowHulls[k] = MakeShadowHull(points);
    }
}

CarDefinition::CarDefinition(const CarDefinition& other)
    : name(other.name),
      displayName(other.displayName),
      chassisMeshes(other.chassisMeshes),
      shadowHulls(other.shadowHulls),
      doorMeshes(other.doorMeshes),
      frontWheelMesh(other.frontWheelMesh),
      backWheelMesh(other.backWheelMesh),
      shadowMesh(other.shadowMesh),
      riderMeshChick(other.riderMeshChick),
      riderMeshPolice(other.riderMeshPolice),
      riderMeshHermes(other.riderMeshHermes),
      riderMeshTony(other.riderMeshTony),
      driverPoint(other.driverPoint),
      handling(other.handling),
      frontAxleCentre(other.frontAxleCentre),
      backAxleCentre(other.backAxleCentre),
      wheelCentre(other.wheelCentre),
      doorPoint1(other.doorPoint1),
      doorPoint2(other.doorPoint2),
      doorPoint3(other.doorPoint3),
      chassisBox(other.chassisBox),
      chassisCollisionBox(other.chassisCollisionBox),
      haloListA(other.haloListA),
      haloListB(other.haloListB),
      haloListC(other.haloListC),
      missilePoint(other.missilePoint),
      missileDirection(other.missileDirection),
      flamerPoint(other.flamerPoint),
      flamerDirection(other.flamerDirection),
      chaingunPointA(other.chaingunPointA),
      chaingunPointB(other.chaingunPointB),
      grenadePoint(other.grenadePoint),
      boostPoint(other.boostPoint),
      nameFlags(other.nameFlags),
      menuImage(other.menuImage ? other.menuImage->Share() : nullptr),
      valid(other.valid),
      fileDamaged(other.fileDamaged),
      ownsMeshes_(false) {
    std::copy(std::begin(other.wheelPoints), std::end(other.wheelPoints), std::begin(wheelPoints));
    std::copy(std::begin(other.wheelRadii), std::end(other.wheelRadii), std::begin(wheelRadii));
    std::copy(std::begin(other.rocketMounts), std::end(other.rocketMounts), std::begin(rocketMounts));
    std::copy(std::begin(other.cameras), std::end(other.cameras), std::begin(cameras));
}

CarDefinition::~CarDefinition() {
    delete menuImage;
    if (!ownsMeshes_) return;
    for (D3D8Mesh* m : chassisMeshes) delete m;
    for (D3D8Mesh* m : doorMeshes) delete m;
    for (D3D8Mesh* m : {frontWheelMesh, backWheelMesh, shadowMesh, riderMeshChick, riderMeshPolice, riderMeshHermes,
                        riderMeshTony})
        delete m;
}

bool CarDefinition::BuiltBy(const RenderFacility* facility) const {
    auto by = [facility](const D3D8Mesh* m) { return m && static_cast<const RenderFacility*>(m->Facility()) == facility; };
    for (const std::vector<D3D8Mesh*>* list : {&chassisMeshes, &doorMeshes})
        for (const D3D8Mesh* m : *list)
            if (by(m)) return true;
    for (const D3D8Mesh* m : {frontWheelMesh, backWheelMesh, shadowMesh, riderMeshChick, riderMeshPolice,
                              riderMeshHermes, riderMeshTony})
        if (by(m)) return true;
    return false;
}

void CarDefinition::LoadAll() {
    CarCatalogue& catalogue = CarCatalogue::Instance();
    // The models go with the renderer that built them: the catalogue lets them go first and is
    // built again, with the renderer of the time, on the next call.
    static std::once_flag listening;
    std::call_once(listening, [] {
        MeshFactory::Instance().AddDisconnectListener([](const RenderFacility* facility) {
            CarCatalogue& cars = CarCatalogue::Instance();
            for (const CarDefinition* d : cars.Entries())
                if (d->BuiltBy(facility)) {
                    cars.Release();
                    return;
                }
        });
    });
    if (catalogue.Count() != 0) return;
    std::vector<SharedString> names = ListFiles("Vehicles\\*.VQC", true);
    for (const SharedString& n : names) catalogue.Add(new CarDefinition(n));
}
