#pragma once
// The rules of the running game. This one holds only the flags the cars read: it has started
// once the player has a car, allows resets and respawns a car that falls off the world.
#include "game/vehicles/DrivingRules.h"

class GameMode : public DrivingRules {
public:
    GameMode();
    // Once a frame while started.
    virtual void Update(float /*dt*/) {}
    // Logged once; the car's own respawn and the kill plane may call it many times.
    void Fail() override;

    bool failed = false;
};
