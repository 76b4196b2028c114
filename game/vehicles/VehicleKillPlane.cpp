#include "game/vehicles/VehicleKillPlane.h"

#include <algorithm>

#include "game/vehicles/ChaseCamera.h"
#include "game/vehicles/DrivingRules.h"
#include "game/vehicles/Vehicle.h"
#include "game/vehicles/VehicleContext.h"
#include "game/vehicles/VehicleDriver.h"

void VehicleKillPlane::OnKillPlane(GeomOwner& owner) {
    auto* car = dynamic_cast<Vehicle*>(&owner);
    if (!car || !context_.localDriver || context_.localDriver->vehicle != car) return;
    DrivingRules* rules = context_.rules;
    if (rules && rules->respawn) {
        car->respawn.fellOffWorld = 1;
        return;
    }
    car->ResetControls();
    if (ChaseCamera* camera = context_.chaseCamera; camera && camera->CameraIndex() != ChaseCamera::FreeView) {
        if (camera->CameraIndex() != ChaseCamera::SpectatorView) {
            camera->SetCameraIndex(ChaseCamera::SpectatorView);
            camera->wreckViewPoint = camera->position;
        }
        camera->wreckViewPoint.y = std::max(camera->wreckViewPoint.y, -100.0f);
    }
    if (rules) rules->Fail();
}
