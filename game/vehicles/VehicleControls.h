#pragma once
// What a driver asks of its car: the four driver inputs and look back, one plain record that
// every driver writes the same way (the player's controller, AI drivers, a remote player's
// snapshot, the car select). The car reads it in its drive update after the frame's physics
// sub-steps; that update clears the throttle, brake and steering and lets the handbrake decay,
// so a driver writes its inputs every frame. Look back stays as last written: the chase camera
// watching the car reads it after the world update.
struct VehicleControls {
    float throttle = 0.0f;   // 0..1
    float brake = 0.0f;      // 0..1
    float steerInput = 0.0f; // -1..1: positive as the steer-left action gives it
    float handbrake = 0.0f;  // 0..1
    bool lookBack = false;
};
