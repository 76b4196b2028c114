#pragma once
// The car of the game: the player's, an opponent, a parked car or a remote player's. A chassis
// body and four wheel bodies on wheel joints, its own collision space, the drive model run once
// a frame, the per-step work that keeps the wheels aligned, its items, sounds and light halos.
// Its state is kept in parts, one plain member each with its own header: the driver's controls
// record, the bodies, the drive model's state, damage and health, items, the cab, respawning,
// sounds, effects and lights, and who it is among the players. The operations stay here.
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/Math.h"
#include "engine/net/ObjectChannel.h"
#include "game/vehicles/DriveModel.h"
#include "game/vehicles/VehicleBody.h"
#include "game/vehicles/VehicleCab.h"
#include "game/vehicles/VehicleControls.h"
#include "game/vehicles/VehicleDamage.h"
#include "game/vehicles/VehicleDrive.h"
#include "game/vehicles/VehicleEffects.h"
#include "game/vehicles/VehicleItems.h"
#include "game/vehicles/VehicleNetwork.h"
#include "game/vehicles/VehicleRespawn.h"
#include "game/vehicles/VehicleSounds.h"
#include "game/world/ObjectQuadTree.h"
#include "game/world/PhysicsWorld.h"

class CarDefinition;
class CarItem;
class VehicleDriver;
struct CarCamera;
struct RespawnPoint;
struct VehicleContext;
struct WaterVolume;

class Vehicle : public QuadTreeItem, public PhysicsClient, public GeomOwner, public NetObject {
public:
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

    // The damage part listens to the chassis box and the wheels.
    DamageReceiver* GetDamageReceiver() override { return &damage; }

    // The network record of the car (VehicleSnapshot.h): written from the live bodies and fields,
    // applied to a remote player's copy. The object channel reaches them as the net object's
    // state.
    int32_t WriteSnapshot(uint8_t* buffer, int32_t capacity);
    void ReadSnapshot(const uint8_t* buffer, int32_t size);
    int32_t WriteState(uint8_t* buffer, int32_t capacity) override { return WriteSnapshot(buffer, capacity); }
    void ReadState(const uint8_t* data, int32_t size) override { ReadSnapshot(data, size); }

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
    // Takes the rider aboard (a car for one: as the passenger; otherwise into the list, as the
    // passenger too while there is none) and boards it; a rider that does not board is let go.
    void AddPassenger(Passenger& rider);
    // The passenger arrives (success) and leaves the car, unless the car is faster than 20 km/h
    // and the delivery is not forced; in an offline game in zone 1 or 2 the till rings.
    void DeliverPassenger(bool force);
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
    bool IsWrecked() const { return damage.health == 0.0f; }
    const CarDefinition& Definition() const { return *definition; }
    const CarCamera& CameraRecord(uint32_t index) const;
    RigidBody* ChassisBody() const { return body.chassisBody.get(); }
    RigidBody* WheelBody(int32_t i) const { return body.wheelBodies[size_t(i)].get(); }
    Hinge2Joint* WheelJoint(int32_t i) const { return body.wheelJoints[size_t(i)].get(); }
    BoxGeom* ChassisGeom() const { return body.chassisBox.get(); }
    PhysicsGeom* WheelGeom(int32_t i) const { return body.wheelGeoms[size_t(i)].get(); }
    PhysicsSpace* Space() const { return body.space.get(); }
    SurfaceMaterial& WheelSurface(int32_t i) { return body.wheelSurfaces[size_t(i)]; }
    bool InPhysics() const { return physics_ != nullptr; }

    // The drive model's motor step (from the middle of Update).
    void UpdateWheelMotors(float dt);
    vehicles_detail::DriveHandling Handling() const;
    const vehicles_detail::DriveTuning& Tuning() const { return drive.tuning; }

    VehicleContext& context;
    const CarDefinition* definition;
    // The driver that drives the car; null for none.
    VehicleDriver* controller = nullptr;

    // What the driver asks this frame.
    VehicleControls controls;
    VehicleBody body;
    VehicleDrive drive;
    VehicleDamage damage;
    VehicleItems items;
    VehicleCab cab;
    VehicleRespawn respawn;
    VehicleSounds sounds;
    VehicleEffects effects;
    VehicleNetwork network;

private:
    void LightStep(std::vector<VehicleEffects::Halo>& list, bool on, float dt);
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
    void ClearItems(bool keepPermanent);
    // The point a respawn uses when the car has none of its own.
    const RespawnPoint* FallbackRespawnPoint();
    void PickRandomRespawn();

    PhysicsWorld* physics_ = nullptr;
    ObjectQuadTree* tree_ = nullptr;
};
