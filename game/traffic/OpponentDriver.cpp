// The opponent's driver: home, siren and giving up.
#include "game/traffic/OpponentDriver.h"

#include "game/vehicles/CarItem.h"
#include "game/vehicles/Vehicle.h"
#include "game/world/World.h"

OpponentDriver::OpponentDriver(VehicleContext& context_) : AIDriver(context_) {}

OpponentDriver::~OpponentDriver() {
    if (CarSpecial* special = FirstSpecial()) special->Stop();
}

void OpponentDriver::PlaceAt(const Vector3& position, const Matrix4& matrix, bool routeFlag_) {
    AIDriver::PlaceAt(position, matrix, routeFlag_);
    home = position;
    homing = routeFlag_;
    roaming = !routeFlag_;
    chasing = !routeFlag_;
    halted = false;
    placedCounter = 0;
    guard = 0;
    if (CarSpecial* special = FirstSpecial()) special->Start();
}

void OpponentDriver::StopChase() {
    homing = false;
    if (CarSpecial* special = FirstSpecial()) special->Stop();
}

void OpponentDriver::Update(float dt) {
    if (!vehicle) return;
    if (guard == 0 && homing) {
        const Vector3 d = vehicle->GetPosition() - home;
        const bool near = d.LengthSquared() < kHomeRadius * kHomeRadius;
        if (!near && halted) {
            ClearInputs();
            vehicle->SetBrake(kHaltBrake);
            return;
        }
        if (near || reached) {
            if (!halted) {
                graph = world.graphs.shared.get();
                ReRoute();
            }
            halted = true;
            ClearInputs();
            vehicle->SetBrake(kHaltBrake);
            return;
        }
    }
    if (vehicle->IsWrecked())
        if (CarSpecial* special = FirstSpecial()) special->Stop();
    AIDriver::Update(dt);
}
