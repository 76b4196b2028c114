#pragma once
// The car of the game: the player's, an opponent, a parked car or a remote player's. A chassis
// body and four wheel bodies on wheel joints, its own collision space, the drive model run once
// a frame, the per-step work that keeps the wheels aligned, its items, sounds and light halos.
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/Math.h"
#include "engine/core/SharedString.h"
#include "game/vehicles/DriveModel.h"
#include "game/vehicles/VehicleControls.h"
#include "game/world/DamageReceiver.h"
#include "game/world/ObjectQuadTree.h"
#include "game/world/ParticleSystem.h"
#include "game/world/PhysicsWorld.h"

class AudioVoice;
class CarDefinition;
class CarItem;
class CarSpecial;
class D3D8Mesh;
class Passenger;
class VehicleDriver;
struct CarCamera;
struct RespawnPoint;
struct VehicleContext;
struct WaterVolume;

class Vehicle : public QuadTreeItem, public PhysicsClient, public DamageReceiver, public GeomOwner {
public:
    static constexpr float MaxHealth = 1000.0f;
    static constexpr int32_t DamageType = 2;
    // Collision categories of a car.
    static constexpr uint32_t CarCategory = 0x84;
    static constexpr uint32_t CarCollide = 7;
    static constexpr uint32_t WheelCollide = 1;
    static constexpr uint32_t DrivenCarBit = 0x400;
    static constexpr uint32_t FastWheelFlag = 0x20;
    static constexpr int32_t BubbleCapacity = 128;

    // Flag word bits.
    static constexpr uint32_t PlayerCarFlag = 2;
    static constexpr uint32_t CollisionFlagBit = 4;
    static constexpr uint32_t NetworkCarFlag = 8;

    struct Halo {
        Vector3 point;                 // in chassis space
        ParticleGroup* particle = nullptr;
        float intensity = 0.0f;
    };
    struct Bubble {
        Vector3 position;
        const WaterVolume* volume = nullptr; // null: free
    };

    // A car of that definition, not yet in the world; null (logged) for a definition no car
    // can be built from.
    static std::unique_ptr<Vehicle> Create(VehicleContext& context, const CarDefinition* definition);
    Vehicle(VehicleContext& context, const CarDefinition& definition);
    ~Vehicle() override;
    Vehicle(const Vehicle&) = delete;
    Vehicle& operator=(const Vehicle&) = delete;

    // The first car of the game with that network player id, else null.
    static Vehicle* FindByNetworkPlayerId(VehicleContext& context, int32_t id);

    // Quadtree item: halos, voices and the car's own special; drawing; the frame's drive model.
    void OnAdded(ObjectQuadTree& tree) override;
    void OnRemoved(ObjectQuadTree& tree) override;
    void GetBounds(BoundingBox& out) const override;
    void Update(ObjectQuadTree& tree, const Camera* camera, float dt) override;
    bool Cull(ObjectQuadTree& tree, const Camera& camera) override;
    void Draw(ObjectQuadTree& tree, const Camera& camera) override;

    // Physics client: bodies, geoms and joints; the per-step work after each integration step.
    void OnAdded(PhysicsWorld& world) override;
    void OnRemoved(PhysicsWorld& world) override;
    void UpdateBounds(PhysicsWorld& world, float dt) override;

    // Collision listener of the chassis box and the wheels.
    bool FilterContact(PhysicsGeom* own, PhysicsGeom* other, Vector3* position, Vector3* normal,
                       float* depth) override;
    DamageReceiver* GetDamageReceiver() override { return this; }

    // The driver's controls, written into `controls`. Values of exactly 0 and a wrecked car's
    // inputs are ignored.
    void ResetControls();
    // A driver's whole record for the frame, each input taken as its own setter takes it; look
    // back as given.
    void ApplyControls(const VehicleControls& wanted);
    void SetThrottle(float x);
    void SetBrake(float x);
    void SetSteering(float x);
    void SetSteeringNegated(float x);
    void SetHandbrake(float x);
    // Positive steers left (toward the car's +x), negative right.
    void SteerSigned(float x);
    void ShiftForward();
    void ShiftBackward();
    bool ToggleHeadlights();
    void OpenDoor();
    void DropPassenger();
    void Respawn(bool keepItems);
    void PutBackOnWheels();
    void AlignWheels();

    // Teleports: the wheels follow the chassis, every body at rest.
    void SetPosition(const Vector3& position);
    void SetOrientation(const Quaternion& orientation);
    Vector3 GetPosition() const;
    Quaternion GetOrientation() const;
    Vector3 GetLinearVelocity() const;
    void SetCollisionFlag(bool on);
    Vector3 GetDoorPoint(int32_t index) const;
    // Moves the car 10 above the point, puts it on its wheels and faces the point's first
    // direction point; it flashes for a while.
    void PlaceAt(const RespawnPoint& point);

    // Items.
    void SetWeapon(CarItem* item);
    // A permanent special replaces the first entry of the list (back to its pool, or deleted);
    // another goes first, or second behind an exclusive one, which replaces the last exclusive.
    void AddSpecial(CarItem* item);
    void RemoveSpecial(CarItem* item);
    bool ItemsAllow();
    // Whether the car got its own special: the siren, boost or horn chosen by its name.
    const char* OwnSpecialName() const;
    // While in water: bubbles burst at random spots around the car.
    void BurstBubbles(const WaterVolume& volume);

    // The local player's car: its driver holds the chase camera.
    bool IsLocalPlayerCar() const;
    bool IsWrecked() const { return health == 0.0f; }
    const CarDefinition& Definition() const { return *definition; }
    const CarCamera& CameraRecord(uint32_t index) const;
    RigidBody* ChassisBody() const { return chassisBody.get(); }
    RigidBody* WheelBody(int32_t i) const { return wheelBodies[size_t(i)].get(); }
    Hinge2Joint* WheelJoint(int32_t i) const { return wheelJoints[size_t(i)].get(); }
    BoxGeom* ChassisGeom() const { return chassisBox.get(); }
    PhysicsGeom* WheelGeom(int32_t i) const { return wheelGeoms[size_t(i)].get(); }
    PhysicsSpace* Space() const { return space.get(); }
    SurfaceMaterial& WheelSurface(int32_t i) { return wheelSurfaces[size_t(i)]; }
    bool InPhysics() const { return physics_ != nullptr; }

    // The drive model's motor step (from the middle of Update).
    void UpdateWheelMotors(float dt);
    vehicles_detail::DriveHandling Handling() const;
    const vehicles_detail::DriveTuning& Tuning() const { return tuning; }

    VehicleContext& context;
    const CarDefinition* definition;
    const WaterVolume* waterVolume = nullptr;

    std::unique_ptr<BoxGeom> chassisBox;
    std::array<std::unique_ptr<SphereGeom>, 4> wheelGeoms;
    std::unique_ptr<PhysicsSpace> space;
    std::unique_ptr<RigidBody> chassisBody;
    std::array<std::unique_ptr<RigidBody>, 4> wheelBodies;
    std::array<std::unique_ptr<Hinge2Joint>, 4> wheelJoints;
    std::array<SurfaceMaterial, 4> wheelSurfaces;

    float handbrakeHeldTime = 0.0f;
    float airTime = 0.0f;
    int32_t damageStage = 0;
    D3D8Mesh* chassisMesh = nullptr;
    float doorAngle = 0.0f;
    uint8_t doorOpening = 0;
    // Passenger capacity: 1 takes a single passenger.
    int32_t singlePassenger = 1;
    float skid = 0.0f;
    float skidSmoothed = 0.0f;

    std::vector<CarItem*> specials;
    CarItem* weapon = nullptr;
    std::vector<Passenger*> passengers;
    VehicleDriver* controller = nullptr;

    // What the driver asks this frame.
    VehicleControls controls;
    float steerAngle = 0.0f;
    float revs = 0.0f;
    float tripDistance = 0.0f;
    int32_t gear = 1;
    float upsideDownTime = 0.0f;
    float skidPuffTimer = 0.0f;

    // Marks a car made by the traffic code (cleared on players' cars).
    uint8_t impactDamage = 1;
    uint8_t flashing = 0;
    uint8_t blink = 0;
    float chassisBoxTimer = 0.0f;
    float blinkTimer = 0.0f;
    float crashTimer = 0.0f;
    float crashDamage = 0.0f;
    Vehicle* lastAttacker = nullptr;
    float lastAttackerTimer = 0.0f;

    std::vector<Halo> headlights;
    std::vector<Halo> brakeLights;
    std::vector<Halo> reverseLights;
    uint8_t headlightsOn = 0;
    float handbrakeKick = 0.0f;
    vehicles_detail::DriveTuning tuning;

    BoundingBox localBounds;
    D3D8Mesh* riderMesh = nullptr;
    AudioVoice* engineVoice = nullptr;
    AudioVoice* skidVoice = nullptr;
    AudioVoice* gearVoice = nullptr;
    AudioVoice* doorVoice = nullptr;
    AudioVoice* burningVoice = nullptr;
    AudioVoice* launchVoice = nullptr;

    Passenger* passenger = nullptr;
    const RespawnPoint* respawnPoint = nullptr;
    std::vector<const RespawnPoint*> ownRespawnPoints;

    uint32_t flagWord = 0;
    int32_t networkPlayerId = 0;

    std::array<Bubble, BubbleCapacity> bubbles{};
    int32_t bubbleCount = BubbleCapacity;
    uint8_t bubbleWrite = 0;

private:
    void LightStep(std::vector<Halo>& list, bool on, float dt);
    void SoundStep(float dt);
    void SmokeStep(float dt);
    void DamageStageStep();
    void ShadowStep(const Camera& camera);
    void PuffStep(float dt);
    void BubbleStep(float dt);
    void CrashSoundStep(float dt);
    void AttachJoints();
    void DetachJoints();
    void MakeOwnSpecial();
    void ReleaseVoices();
    void ClearItems(bool keepPermanent);
    // The point a respawn uses when the car has none of its own.
    const RespawnPoint* FallbackRespawnPoint();
    void PickRandomRespawn();

    enum class OwnSpecial { None, Siren, Boost, Horn };

    PhysicsWorld* physics_ = nullptr;
    ObjectQuadTree* tree_ = nullptr;
    // One camera-facing group per halo, drawn through the shared halo batch.
    std::vector<ParticleGroup> haloGroups_;
    std::vector<ParticleGroup*> drawList_;
    OwnSpecial ownSpecialKind_ = OwnSpecial::None;
    float smokeCarry_ = 0.0f;
    Vector3 shadowLight_;
    // The last good wheel rotations relative to the chassis (a collapsed column keeps these).
    std::array<Quaternion, 4> lastWheelTurn_{};
};
