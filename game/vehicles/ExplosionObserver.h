#pragma once
// Told when a driven car's geom causes an explosion (the traffic manager listens). Pointed at by
// VehicleContext::explosionObserver; null: nobody listens.
#include "engine/core/Math.h"

class Vehicle;

class ExplosionObserver {
public:
    virtual ~ExplosionObserver() = default;
    // vehicle: the car whose chassis caused the explosion at position.
    virtual void OnExplosionHit(const Vector3& position, Vehicle& vehicle) = 0;
};
