// A car's damage part: its health and the listener of its chassis box and wheels.
#include "game/vehicles/VehicleDamage.h"

#include "game/vehicles/Vehicle.h"

VehicleDamage::VehicleDamage(Vehicle& car_) : DamageReceiver(MaxHealth, DamageType, 0.0f), car(car_) {
    listenerFlags |= AskFilterContact | AskOnTriangles;
}

bool VehicleDamage::FilterContact(PhysicsGeom* own, PhysicsGeom*, Vector3*, Vector3*, float*) {
    if (own != car.body.chassisBox.get()) car.drive.airTime = 0.0f;
    return true;
}
