#pragma once
// A car's health and what it keeps about hits. The damage receiver is the listener of the car's
// chassis box and wheels (their contacts, impact forces between damageable things, weapons'
// damage); beside the health it holds the damage stage the chassis shows, the crash sound's
// window, the last attacker, the traffic code's impact mark, the back wheels' skid trails and
// the surface under the car.
//
// Its collision and damage hooks run inside the physics step and only note what happened:
// sparks and skid marks are laid at once (effects only), while the surface sound, the
// driver's reaction, a passenger put out and the wreck (its blast, its rider, the game mode's
// report) wait for AfterStep, which the car runs once each step is over.
#include <cstdint>

#include "engine/core/Math.h"
#include "engine/core/SharedString.h"
#include "game/world/DamageReceiver.h"

class RigidBody;
class Vehicle;

class VehicleDamage : public DamageReceiver {
public:
    static constexpr float MaxHealth = 1000.0f;
    // The car's row of the damage table.
    static constexpr int32_t DamageType = 2;
    // Hits by a geom of this category (pedestrians) make no crash.
    static constexpr uint32_t SoftHitBit = 0x100;
    // The game type of the fare race, where a hard hit throws the passenger out.
    static constexpr int32_t FareRaceGameType = 16;
    // What a wreck's rider takes.
    static constexpr float RiderWreckDamage = 100000.0f;
    // A skid mark's side; a trail gap longer than this many units starts a new trail.
    static constexpr float SkidMarkSize = 3.5f;
    static constexpr int32_t SkidTrailGap = 10;
    // How long the car stays on one surface before its sound plays.
    static constexpr float SurfaceSoundDelay = 1.0f;

    explicit VehicleDamage(Vehicle& car);
    VehicleDamage(const VehicleDamage&) = delete;
    VehicleDamage& operator=(const VehicleDamage&) = delete;

    // Chassis contacts throw sparks (the local player's car); any wheel contact keeps the car
    // on the ground; back wheels on the static city lay skid marks. Every contact stays.
    bool FilterContact(PhysicsGeom* own, PhysicsGeom* other, Vector3* position, Vector3* normal,
                       float* depth) override;
    // Notes the static city's triangles under the car for the surface step.
    void OnTriangles(PhysicsGeom* triMesh, PhysicsGeom* own, const int32_t* triangles, int32_t count) override;
    // A car with the impact mark passes three quarters of its contact force with another
    // damageable thing on to it and hurts it; then the base step.
    bool OnJointForce(PhysicsJoint* joint, float dt, Vector4& f1, Vector4& t1, Vector4& f2, Vector4& t2) override;
    void OnDamaged(float amount, int32_t kind, const void* source) override;
    void OnDestroyed(int32_t kind) override;

    // Once a step is over: the surface under the car, then what the hooks noted.
    void AfterStep(float dt);
    // Nothing noted is left for a car that leaves the world or comes back.
    void ForgetPending();
    // The car's own body (chassis or wheel), or false.
    bool IsOwnBody(const RigidBody* body) const;

    Vehicle& car;
    // Which of the definition's chassis meshes the health calls for.
    int32_t damageStage = 0;
    // Marks a car made by the traffic code (cleared on players' cars).
    uint8_t impactDamage = 1;
    // The crash sound's window and the impact damage collected in it.
    float crashTimer = 0.0f;
    float crashDamage = 0.0f;
    // Forgotten when its timer runs out.
    Vehicle* lastAttacker = nullptr;
    float lastAttackerTimer = 0.0f;

    // The back wheels' (2 and 3) last skid points.
    Vector3 lastSkidPoint[2];

    // The surface under the car: its name (empty: none), its sound file, how long the car has
    // been on it, and the sound last played.
    SharedString surfaceName;
    SharedString surfaceSound;
    float surfaceTimer = 0.0f;
    SharedString surfaceSoundName;

    // Noted by the hooks for AfterStep.
    uint8_t wreckPending = 0;
    Vehicle* killer = nullptr;
    uint8_t dropPending = 0;
    uint8_t hitReactionPending = 0;

private:
    void LaySkidMarks(int32_t back, const Vector3& contact, const Vector3& normal);
    void SurfaceStep(float dt);
    void Wreck();

    // This step's triangles: whether one has the current surface, and the nearest one.
    uint8_t onCurrentSurface_ = 0;
    int32_t nearestTriangle_ = -1;
    float nearestDistance_ = 0.0f;
};
