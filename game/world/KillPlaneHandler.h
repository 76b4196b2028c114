#pragma once
class GeomOwner;

// Told when something owned falls onto the kill plane below the city (the player's car is
// respawned or the mission fails). Reports only: it must not step or delete the world.
class KillPlaneHandler {
public:
    virtual ~KillPlaneHandler() = default;
    virtual void OnKillPlane(GeomOwner& owner) = 0;
};
