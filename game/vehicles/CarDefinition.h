#pragma once
// Everything the game knows about one kind of car before a car of that kind exists: names,
// handling, wheel, door and light points, the weapon, driver and door markers of its chassis
// model, its meshes, one convex shadow hull per chassis model, its ten camera set-ups and its
// menu image. One definition is built per file "Vehicles\<file>.VQC" by the car catalogue
// (CarDefinition::LoadAll) and not changed afterwards, except that an AI driver's own copy takes
// another definition's handling (CopyHandling).
//
// The constructor does all the work, in order: defaults, the car file, the meshes (with the
// environment-map switch on), boxes and wheel radii, name flags, markers, shadow hulls, cameras,
// menu image, rider meshes. It never fails: a definition that cannot make a car (no chassis
// model, a flat chassis box or a wheel radius <= 0) is still catalogued, with IsValid() false;
// no Vehicle is built from it and car choices skip it.
//
// Handedness: "left" wheel points have x > 0 (the driver's left, seen from behind the car that
// faces -z).
#include <cstdint>
#include <vector>

#include "engine/core/Math.h"
#include "engine/core/SharedString.h"
#include "game/vehicles/CarCamera.h"

class D3D8Mesh;
class RenderFacility;
class TextureHandle;

// The sixteen handling values, in file and copy order. Their meaning is the drive model's.
struct CarHandling {
    float forwardSpeedFactor = 0.0f;
    float engineForce = 0.0f;
    float weightShiftFactor = 0.0f;
    float forwardSteeringLock = 0.0f;
    float reverseSteeringLock = 0.0f;
    float steeringReferenceSpeed = 0.0f;
    float brakeStrength = 0.0f;
    float handbrakeStrength = 0.0f;
    int32_t gearCount = 0;
    float steeringSpeedScale = 0.0f;
    float reverseSpeedFactor = 0.0f;
    float steeringExponent = 0.0f;
    float spareA = 0.0f;  // read and carried, used by nothing
    float minimumSteeringFactor = 0.0f;
    float massValue = 0.0f;  // the chassis mass is a quarter of it
    float spareB = 0.0f;  // read and carried, used by nothing

    bool operator==(const CarHandling&) const = default;
};
static_assert(sizeof(CarHandling) == 64);

// A light point of the car (headlight, brake light, reversing light); only the position is used.
struct HaloPoint {
    Vector3 position;  // chassis space
    float values[4] = {1.0f, 1.0f, 1.0f, 1.0f};  // three signed bytes of the file, then 1.0
};

// A convex hull: the points it was made from, three point indices per triangle (wound so that
// the normal points out) and one unit normal per triangle.
struct ShadowHull {
    std::vector<Vector3> vertices;
    std::vector<int32_t> indices;
    std::vector<Vector3> normals;
};

struct WeaponMount {
    Vector3 point;
    Vector3 direction;
};

// Name flag bits, set from the file name's upper-cased start.
enum CarNameFlag : uint32_t {
    kCarPolice = 1u << 0,      // "POLICE": the traffic's police car
    kCarTank = 1u << 1,        // "TANK"
    kCarCross = 1u << 2,       // "CROSS"
    kCarProtected = 1u << 3,   // "AMBULANCE": cannot be hurt
    kCarAiTemplate = 1u << 4,  // "AMBULANCE": the AI driver's handling template
    kCarCab = 1u << 5,         // "CAB"
};

class CarDefinition {
public:
    static constexpr int32_t kWheels = 4;  // front left, front right, back left, back right
    static constexpr int32_t kRocketMounts = 8;
    static constexpr int32_t kRiders = 4;

    // Builds the definition of "Vehicles\<fileName>" (file name with extension).
    explicit CarDefinition(const SharedString& fileName);
    // The AI driver's copy of another definition (meshes shared with it, not owned).
    CarDefinition(const CarDefinition& other);
    CarDefinition& operator=(const CarDefinition&) = delete;
    ~CarDefinition();

    // Fills the catalogue from "Vehicles\*.VQC" in ascending byte order of the names; nothing
    // when it already holds a car.
    static void LoadAll();
    // Whether one of its models was built by this renderer.
    bool BuiltBy(const RenderFacility* facility) const;

    // The constructor's first step: reads the car file at `path` into the names, handling, wheel,
    // door and light values (fileName names it in the log lines). False, with nothing read, for
    // a file under 10 bytes or without the magic; a short or lying file logs "Car %s is
    // invalid", sets fileDamaged and keeps defaults for what it could not give.
    bool ReadCarFile(const SharedString& path, const SharedString& fileName);

    // Copies the handling block of `other`, nothing else.
    void CopyHandling(const CarDefinition& other) { handling = other.handling; }

    // Whether a Vehicle can be built from it: a chassis model, a chassis box with volume and
    // four wheel radii above 0.
    bool IsValid() const { return valid; }
    bool HasFlag(uint32_t bit) const { return (nameFlags & bit) != 0; }
    // The largest vertex y of the front (i = 0, 1) or back (i = 2, 3) wheel model, at least 0.
    float WheelRadius(int32_t i) const { return wheelRadii[i]; }

    SharedString name;         // the file name less its extension: the folder of the car's files
    SharedString displayName;  // from the file
    std::vector<D3D8Mesh*> chassisMeshes;  // damage stages, "Chassis*.ZKM" in name order
    std::vector<ShadowHull> shadowHulls;   // one per chassis mesh
    std::vector<D3D8Mesh*> doorMeshes;     // frames of the opening door, "Door*.ZKM"
    D3D8Mesh* frontWheelMesh = nullptr;
    D3D8Mesh* backWheelMesh = nullptr;
    D3D8Mesh* shadowMesh = nullptr;         // "Shadow.ZKM" when present
    D3D8Mesh* riderMeshChick = nullptr;
    D3D8Mesh* riderMeshPolice = nullptr;
    D3D8Mesh* riderMeshHermes = nullptr;
    D3D8Mesh* riderMeshTony = nullptr;
    Vector3 driverPoint;                    // DRIVER

    CarHandling handling;

    Vector3 wheelPoints[kWheels];
    Vector3 frontAxleCentre, backAxleCentre, wheelCentre;
    Vector3 doorPoint1;                     // from the file
    Vector3 doorPoint2{20.0f, 0.0f, 8.0f};  // DOORPOS2
    Vector3 doorPoint3{-20.0f, 0.0f, 8.0f}; // DOORPOS3
    BoundingBox chassisBox;                 // of the first chassis model's vertices
    BoundingBox chassisCollisionBox;        // its bottom raised to the wheel line
    float wheelRadii[kWheels] = {};

    std::vector<HaloPoint> haloListA;  // headlights
    std::vector<HaloPoint> haloListB;  // brake lights
    std::vector<HaloPoint> haloListC;  // reversing lights

    Vector3 missilePoint{0.0f, 10.0f, 0.0f};
    Vector3 missileDirection;           // unit (0, 0.1, -1) by default
    WeaponMount rocketMounts[kRocketMounts];  // ROCKET_1 .. ROCKET_8
    Vector3 flamerPoint, flamerDirection;     // FLAMER
    Vector3 chaingunPointA, chaingunPointB;   // CHAINGUN, raw
    Vector3 grenadePoint{0.0f, 0.0f, 10.0f};  // GRENADE
    Vector3 boostPoint;                       // BOOST

    uint32_t nameFlags = 0;
    // Its models were loaded with the environment switch on (their second layer shows the
    // environment cube): the game keeps the cube up to date around the player's car of this kind.
    uint8_t environmentMap = 0;
    CarCamera cameras[CarCamera::kPerCar];
    TextureHandle* menuImage = nullptr;

    bool valid = false;
    // The file was short, lied about a count or held a non-finite value.
    bool fileDamaged = false;

private:
    void LoadMeshes();
    void ComputeBoxes();
    void ScanMarkers();
    void BuildShadowHulls();
    bool ownsMeshes_ = true;
};

// The name flags of a car file name ("starts with", upper-cased).
uint32_t CarNameFlags(const SharedString& fileName);

// Gathers points for a shadow hull: the hull triangles of one model's points, each corner (plus
// the offset) merged into the set within the tolerance; a triangle whose merged corners are not
// three different points is dropped with the points it added.
void GatherHullPoints(const std::vector<Vector3>& meshPoints, const Vector3& offset, float tolerance,
                      std::vector<Vector3>& gathered);
// The hull over gathered points: every point kept as a vertex, the hull's triangles and their
// unit normals (empty when the points span no volume).
ShadowHull MakeShadowHull(const std::vector<Vector3>& points);
