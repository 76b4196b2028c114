#include "game/vehicles/VehicleKillPlane.h"

#include <algorithm>

#include "game/vehicles/ChaseCamera.h"
#include "game/vehicles/DrivingRules.h"
#include "game/vehicles/Vehicle.h"
#include "game/vehicles/VehicleContext.h"
#include "game/vehicles/VehicleDriver.h"
#include "game/world/BoundaryPlane.h"

Vehicle* VehicleKillPlane::PlayerCar() const { return context_.localDriver ? context_.localDriver->vehicle : nullptr; }

void VehicleKillPlane::OnKillPlane(GeomOwner& owner) {
    auto* car = dynamic_cast<Vehicle*>(&owner);
    if (car && car == PlayerCar()) touched_ = car;
}

void VehicleKillPlane::UpdateBounds(PhysicsWorld&, float) {
    const Vehicle* touched = touched_;
    touched_ = nullptr;
    Vehicle* car = PlayerCar();
    if (fallen_ && (fallen_ != car || car->GetPosition().y > BoundaryPlane::KillPlaneHeight + LeftPlaneHeight)) {
        // Back from the fall (the respawn after the wreck, or the player's own): the camera that
        // watched it follows the car from behind again.
        ChaseCamera* camera = context_.chaseCamera;
        if (watching_ && fallen_ == car && camera && camera->CameraIndex() == ChaseCamera::SpectatorView)
            camera->SetCameraIndex(0);
        fallen_ = nullptr;
        watching_ = false;
    }
    if (!car || touched != car || fallen_ == car) return;
    fallen_ = car;

    DrivingRules* rules = context_.rules;
    if (rules && rules->respawn) {
        if (car->damage.health != 0.0f) rules->OnVehicleDestroyed(car, car);
        car->Respawn(false);
        return;
    }
    car->ResetControls();
    if (ChaseCamera* camera = context_.chaseCamera; camera && camera->CameraIndex() != ChaseCamera::FreeView) {
        if (camera->CameraIndex() != ChaseCamera::SpectatorView) {
            camera->SetCameraIndex(ChaseCamera::SpectatorView);
            camera->wreckViewPoint = camera->position;
            watching_ = true;
        }
        camera->wreckViewPoint.y = std::max(camera->wreckViewPoint.y, -100.0f);
    }
    if (rules) rules->Fail();
}
