#pragma once
// What happens when a car falls onto the kill plane below the city: the local player's car is
// respawned where the mode allows it, otherwise the camera watches the fall and the mission
// fails. Other cars trigger nothing.
#include "game/world/KillPlaneHandler.h"

struct VehicleContext;

class VehicleKillPlane : public KillPlaneHandler {
public:
    explicit VehicleKillPlane(VehicleContext& context) : context_(context) {}
    // Called from inside the collision of every sub-step the car touches the plane: the respawn
    // is queued on the car and done after the step; Fail may be called again and again.
    void OnKillPlane(GeomOwner& owner) override;

private:
    VehicleContext& context_;
};
