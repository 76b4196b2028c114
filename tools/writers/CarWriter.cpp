#include "tools/writers/CarWriter.h"

#include <cmath>
#include <cstring>
#include <filesystem>

#include "game/vehicles/CarFileFormat.h"
#include "tools/writers/MeshShapes.h"
#include "tools/writers/ZktWriter.h"

namespace tools {
namespace {

class Bytes {
public:
    void U8(uint8_t v) { out.push_back(v); }
    void U32(uint32_t v) {
        for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
    }
    void F32(float f) {
        uint32_t v;
        std::memcpy(&v, &f, 4);
        U32(v);
    }
    void Point(const Vector3& p) {
        F32(p.x);
        F32(p.y);
        F32(p.z);
    }
    void String(const std::string& s) {
        U32(uint32_t(s.size()));
        out.insert(out.end(), s.begin(), s.end());
    }
    std::vector<uint8_t> out;
};

// Corners of a box, the order CollisionBox-style: bit 0 x, bit 1 y, bit 2 z.
void BoxCorners(std::vector<Vector3>& out, const Vector3& c, const Vector3& h) {
    for (int i = 0; i < 8; ++i)
        out.push_back({c.x + ((i & 1) ? h.x : -h.x), c.y + ((i & 2) ? h.y : -h.y), c.z + ((i & 4) ? h.z : -h.z)});
}

void BoxTriangles(std::vector<uint32_t>& out, uint32_t first) {
    static const uint32_t corners[36] = {0, 2, 3, 0, 3, 1, 4, 5, 7, 4, 7, 6, 0, 1, 5, 0, 5, 4,
                                         2, 6, 7, 2, 7, 3, 0, 4, 6, 0, 6, 2, 1, 3, 7, 1, 7, 5};
    for (uint32_t c : corners) out.push_back(first + c);
}

// The model's single direct part over all its indices.
void WholeNode(ZkmModel& m, const std::string& name) { SingleNode(m, name); }

}  // namespace

std::vector<uint8_t> VqcBytes(const VqcCar& car) {
    Bytes b;
    b.out.insert(b.out.end(), std::begin(car_file::kMagic), std::end(car_file::kMagic));
    b.U32(car.version);
    b.String(car.displayName);
    if (car.version == car_file::kVersionUpdate) {
        b.U32(uint32_t(car.discarded.size()));
        for (const std::string& s : car.discarded) b.String(s);
    }
    b.U8(car.ignored[0]);
    if (car.version != car_file::kVersionOld) b.U8(car.ignored[1]);
    const CarHandling& h = car.handling;
    for (float v : {h.forwardSpeedFactor, h.engineForce, h.weightShiftFactor, h.forwardSteeringLock,
                    h.reverseSteeringLock, h.steeringReferenceSpeed, h.brakeStrength, h.handbrakeStrength})
        b.F32(v);
    b.U32(uint32_t(h.gearCount));
    b.F32(h.steeringSpeedScale);
    b.F32(h.reverseSpeedFactor);
    b.F32(h.massValue * car_file::kMassScale);
    b.U8(car.ignored[2]);
    b.F32(h.minimumSteeringFactor * car_file::kMinimumSteeringScale);
    b.F32(h.spareB);
    b.F32(h.steeringExponent * car_file::kSteeringExponentScale);
    if (car.version != car_file::kVersionOld) b.F32(h.spareA);
    b.Point(car.doorPoint1);
    for (const std::vector<VqcWheelPair>* pairs : {&car.frontWheels, &car.backWheels}) {
        b.U32(uint32_t(pairs->size()));
        for (const VqcWheelPair& p : *pairs) {
            b.Point(p.left);
            b.Point(p.right);
        }
    }
    if (car.version != car_file::kVersionUpdate) {
        for (const std::vector<VqcHalo>& list : car.halos) {
            b.U32(uint32_t(list.size()));
            for (const VqcHalo& halo : list) {
                b.Point(halo.position);
                for (int8_t v : halo.values) b.U8(uint8_t(v));
            }
        }
    }
    return b.out;
}

bool WriteVqc(const SharedString& path, const VqcCar& car) { return WriteFileBytes(path, VqcBytes(car)); }

bool WriteCam(const SharedString& path, const CarCamera& camera) { return WriteFileBytes(path, CarCameraBytes(camera)); }

namespace {

// A rectangle of the body texture.
struct Region {
    float u0, v0, u1, v1;
};

// The body texture is in four quarters (kept a little apart, so that filtering does not bleed
// one into another): the body's sides top left, its front with the head lights top right, its
// back with the tail lights bottom left and the cabin's windows bottom right; the roof is a
// plain part of the sides.
constexpr Region kSides{0.02f, 0.02f, 0.48f, 0.48f}, kFront{0.52f, 0.02f, 0.98f, 0.48f}, kBack{0.02f, 0.52f, 0.48f, 0.98f},
    kWindows{0.52f, 0.52f, 0.98f, 0.98f}, kRoof{0.1f, 0.05f, 0.4f, 0.2f};

// Lays the texture's regions on the box that AddBox put at `first` (centre c, half extents h):
// the sides its `side` region, the front (-z) and back (+z) theirs and the top and bottom
// `top`, each with the picture's first row at the top and its first column at the left.
void PaintBox(ZkmModel& m, uint32_t first, const Vector3& c, const Vector3& h, const Region& side, const Region& front,
              const Region& back, const Region& top) {
    for (uint32_t i = first; i < first + 24 && i < m.vertices.size(); ++i) {
        ZkmVertex& v = m.vertices[i];
        const Vector3 p = v.position - c, n = v.normal;
        const float acrossX = 0.5f + p.x / (2 * h.x), acrossZ = 0.5f + p.z / (2 * h.z), down = 0.5f - p.y / (2 * h.y);
        Region r = top;
        float s = acrossX, t = acrossZ;
        if (std::fabs(n.x) > 0.5f) r = side, s = n.x > 0 ? acrossZ : 1 - acrossZ, t = down;
        else if (n.z < -0.5f) r = front, s = acrossX, t = down;
        else if (n.z > 0.5f) r = back, s = 1 - acrossX, t = down;
        v.u = r.u0 + (r.u1 - r.u0) * s;
        v.v = r.v0 + (r.v1 - r.v0) * t;
    }
}

}  // namespace

ZkmModel CarChassisModel(const std::string& texture, const Vector3& half, float damage) {
    ZkmModel m;
    AddTexturedMaterial(m, texture);
    const Vector3 bodyCentre(0.0f, half.y, 0.0f);
    const float dent = 1.0f - 0.35f * damage;
    const Vector3 cabinHalf(half.x * (0.85f - 0.1f * damage), half.y * dent, half.z * 0.45f);
    const Vector3 cabinCentre(0.0f, 2.0f * half.y + cabinHalf.y, half.z * 0.1f);
    PaintBox(m, AddBox(m, bodyCentre, half), bodyCentre, half, kSides, kFront, kBack, kRoof);
    PaintBox(m, AddBox(m, cabinCentre, cabinHalf), cabinCentre, cabinHalf, kWindows, kWindows, kWindows, kRoof);
    WholeNode(m, "Chassis");
    ZkmNode& n = m.nodes[0];
    BoxCorners(n.collisionPositions, bodyCentre, half);
    BoxCorners(n.collisionPositions, cabinCentre, cabinHalf);
    BoxTriangles(n.collisionIndices, 0);
    BoxTriangles(n.collisionIndices, 8);

    const float top = cabinCentre.y + cabinHalf.y, front = -half.z, roof = 2.0f * half.y;
    m.markers = {
        {"DRIVER", {half.x * 0.4f, roof, cabinCentre.z}, {half.x * 0.4f, roof + 1.0f, cabinCentre.z}},
        {"DOORPOS1", {half.x + 4.0f, 0.0f, cabinCentre.z}, {half.x + 4.0f, 1.0f, cabinCentre.z}},
        {"DOORPOS2", {half.x + 6.0f, 0.0f, cabinCentre.z + 4.0f}, {half.x + 6.0f, 1.0f, cabinCentre.z + 4.0f}},
        {"DOORPOS3", {-half.x - 6.0f, 0.0f, cabinCentre.z + 4.0f}, {-half.x - 6.0f, 1.0f, cabinCentre.z + 4.0f}},
        {"MISSILE", {0.0f, top + 1.0f, 0.0f}, {0.0f, top + 1.1f, -1.0f}},
        {"FLAMER", {0.0f, half.y, front - 1.0f}, {0.0f, half.y, front - 2.0f}},
        {"CHAINGUN", {half.x * 0.5f, roof, front}, {-half.x * 0.5f, roof, front}},
        {"GRENADE", {0.0f, roof, half.z}, {0.0f, roof + 1.0f, half.z + 1.0f}},
        {"BOOST", {0.0f, half.y * 0.5f, half.z + 1.0f}, {0.0f, half.y * 0.5f, half.z + 2.0f}},
    };
    for (int r = 0; r < 8; ++r) {
        const float x = (r % 2 ? -1.0f : 1.0f) * half.x * 0.8f, y = top + 0.5f + float(r / 2) * 0.5f;
        m.markers.push_back({"ROCKET_" + std::to_string(r + 1), {x, y, 0.0f}, {x, y, -1.0f}});
    }
    m.markerSection = true;
    return m;
}

ZkmModel CarDoorModel(const std::string& texture, const Vector3& hinge, float length, float height, float angle) {
    ZkmModel m;
    AddTexturedMaterial(m, texture);
    const Vector3 half(0.3f, height * 0.5f, length * 0.5f), centre(0.0f, height * 0.5f, length * 0.5f);
    PaintBox(m, AddBox(m, centre, half), centre, half, kSides, kSides, kSides, kSides);
    // Swing the panel about the hinge's vertical.
    const float c = std::cos(angle), s = std::sin(angle);
    for (ZkmVertex& v : m.vertices) {
        const Vector3 p = v.position, n = v.normal;
        v.position = hinge + Vector3(p.x * c + p.z * s, p.y, -p.x * s + p.z * c);
        v.normal = Vector3(n.x * c + n.z * s, n.y, -n.x * s + n.z * c);
    }
    WholeNode(m, "Door");
    for (const ZkmVertex& v : m.vertices) m.nodes[0].collisionPositions.push_back(v.position);
    return m;
}

ZkmModel CarShadowModel(const Vector3& half) {
    ZkmModel m;
    AddTexturedMaterial(m, "Shadow.ZKT");
    const Vector3 centre(0.0f, half.y, 0.0f), grown(half.x + 1.0f, half.y, half.z + 1.0f);
    AddBox(m, centre, grown);
    WholeNode(m, "Shadow");
    BoxCorners(m.nodes[0].collisionPositions, centre, grown);
    BoxTriangles(m.nodes[0].collisionIndices, 0);
    return m;
}

VqcCar TrafficCarFile(const TrafficCarFolder& f) {
    VqcCar car = TaxiCar(f.name);
    car.version = f.version;
    const Vector3& h = f.halfBody;
    const float track = h.x - f.wheelRadius * 0.3f, axle = h.z * 0.65f;
    car.frontWheels = {WheelPair(track, f.wheelRadius, -axle)};
    car.backWheels = {WheelPair(track, f.wheelRadius, axle)};
    // Head lights at the front corners, tail lights at the back ones.
    car.halos[0] = {{{h.x * 0.7f, h.y + f.wheelRadius * 0.5f, -h.z}, {0, 0, 0}},
                    {{-h.x * 0.7f, h.y + f.wheelRadius * 0.5f, -h.z}, {0, 0, 0}}};
    car.halos[1] = {{{h.x * 0.7f, h.y + f.wheelRadius * 0.5f, h.z}, {0, 0, 0}},
                    {{-h.x * 0.7f, h.y + f.wheelRadius * 0.5f, h.z}, {0, 0, 0}}};
    return car;
}

namespace {
// The model raised by dy: its vertices, collision points and markers.
ZkmModel Lifted(ZkmModel model, float dy) {
    for (ZkmVertex& v : model.vertices) v.position.y += dy;
    for (ZkmNode& n : model.nodes)
        for (Vector3& p : n.collisionPositions) p.y += dy;
    for (ZkmMarker& m : model.markers) {
        m.first.y += dy;
        m.second.y += dy;
    }
    ModulateByLight(model);
    return model;
}
}  // namespace

bool WriteTrafficCar(const std::string& root, const TrafficCarFolder& f) {
    namespace fs = std::filesystem;
    const fs::path traffic = fs::path(root) / "Vehicles" / "Traffic";
    const fs::path folder = traffic / f.name;
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec || !WriteVqc((traffic / (f.name + ".VQC")).string().c_str(), TrafficCarFile(f))) return false;
    // The body stands on the ground: raised by its half height plus half a wheel.
    const float lift = f.halfBody.y + f.wheelRadius * 0.5f;
    for (int stage = 0; stage < f.stages; ++stage) {
        const float dent = f.stages > 1 ? float(stage) / float(f.stages - 1) : 0.0f;
        const ZkmModel chassis = Lifted(CarChassisModel(f.texture, f.halfBody, dent), lift);
        if (!WriteZkm((folder / ("Chassis" + std::to_string(stage + 1) + ".ZKM")).string().c_str(), chassis)) return false;
    }
    const Vector3 flat(f.halfBody.x, f.halfBody.y * 0.5f, f.halfBody.z);
    const ZkmModel wreck = Lifted(CarChassisModel(f.texture, flat, 1.0f), flat.y);
    const ZkmModel wheel = Lifted(WheelModel(f.texture, 12, f.wheelRadius, f.wheelRadius * 0.4f), 0.0f);
    return WriteZkm((folder / "Wheel.ZKM").string().c_str(), wheel) && WriteZkm((folder / "Stuk.ZKM").string().c_str(), wreck);
}

VqcWheelPair WheelPair(float halfTrack, float height, float z) {
    return {Vector3(halfTrack, height, z), Vector3(-halfTrack, height, z)};
}

VqcCar TaxiCar(const std::string& displayName) {
    VqcCar car;
    car.displayName = displayName;
    CarHandling& h = car.handling;
    h.forwardSpeedFactor = 1.0f;
    h.engineForce = 4000.0f;
    h.weightShiftFactor = 0.5f;
    h.forwardSteeringLock = 0.6f;
    h.reverseSteeringLock = 0.48f;
    h.steeringReferenceSpeed = 300.0f;
    h.brakeStrength = 3000.0f;
    h.handbrakeStrength = 2100.0f;
    h.gearCount = 4;
    h.steeringSpeedScale = 1.0f;
    h.reverseSpeedFactor = 0.4f;
    h.steeringExponent = 1.5f;
    h.spareA = 2.5f;
    h.minimumSteeringFactor = 0.3f;
    h.massValue = 1000.0f;
    car.frontWheels = {WheelPair(8.0f, 1.4f, -14.0f)};
    car.backWheels = {WheelPair(8.0f, 1.4f, 14.0f)};
    return car;
}

}  // namespace tools
