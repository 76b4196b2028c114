#pragma once
class GeomOwner;

// Told when something owned touches the kill plane below the city (the player's car is then
// respawned or the mission fails). OnKillPlane is called from inside the collision of a physics
// step, while the space is locked: it only records what touched the plane. Whatever the fall
// calls for (moving or resetting a body, switching the camera, failing the mission) is done by
// the handler's owner after the step.
class KillPlaneHandler {
public:
    virtual ~KillPlaneHandler() = default;
    virtual void OnKillPlane(GeomOwner& owner) = 0;
};
