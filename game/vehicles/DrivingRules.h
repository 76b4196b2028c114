#pragma once
// What the cars read of the running game mode and how they report to it. The game mode derives
// from it; the cars and their controllers only see this face.
#include <cstdint>

class Vehicle;

class DrivingRules {
public:
    virtual ~DrivingRules() = default;

    // The mission fails. Called after a physics step, never inside one; calling it again must
    // do no harm.
    virtual void Fail() {}
    // A player's or network car was wrecked; killer may be null.
    virtual void OnVehicleDestroyed(Vehicle* /*killer*/, Vehicle* /*victim*/) {}
    // The car select has handed the player a car.
    virtual void OnCarSelected() {}
    // In a network game: every player's ticker shows the language text.
    virtual void BroadcastTickerText(int32_t /*textId*/) {}

    uint8_t loaded = 0;
    // Traffic, pedestrians and the mode's own update run only once it is set.
    uint8_t started = 0;
    uint8_t ended = 0;
    // The player controller ignores its input while set.
    uint8_t inputLocked = 0;
    // The player's drop-passenger key works.
    uint8_t dropAllowed = 0;
    // The player's reset key works; while clear, a respawn of the player's car during a started
    // mode fails the mission instead.
    uint8_t resetAllowed = 0;
    // The game does not call its controller's Update.
    uint8_t inputFreeze = 0;
    // Set by the car select once the player has a car.
    uint8_t startedRequest = 0;
    // Respawns pick a free road node at random.
    uint8_t randomRespawns = 0;
    // The player's car collides with driven cars only while set.
    uint8_t collisionFlag = 0;
    // A player's car that falls onto the kill plane is respawned instead of failing the mission.
    uint8_t respawn = 0;
};
