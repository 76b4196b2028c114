#pragma once
// A car's health and what it keeps about hits. The damage receiver is the listener of the car's
// chassis box and wheels (their contacts, impact forces between damageable things, weapons'
// damage); beside the health it holds the damage stage the chassis shows, the crash sound's
// window, the last attacker and the traffic code's impact mark.
#include <cstdint>

#include "game/world/DamageReceiver.h"

class Vehicle;

class VehicleDamage : public DamageReceiver {
public:
    static constexpr float MaxHealth = 1000.0f;
    // The car's row of the damage table.
    static constexpr int32_t DamageType = 2;

    explicit VehicleDamage(Vehicle& car);
    VehicleDamage(const VehicleDamage&) = delete;
    VehicleDamage& operator=(const VehicleDamage&) = delete;

    // Any contact of a wheel keeps the car on the ground; every contact stays.
    bool FilterContact(PhysicsGeom* own, PhysicsGeom* other, Vector3* position, Vector3* normal,
                       float* depth) override;

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
};
