#pragma once
// Someone who rides in a car: the fares implement it. The car calls these when it takes a
// passenger aboard, delivers or drops it.
#include <cstdint>

class Vehicle;

class Passenger {
public:
    virtual ~Passenger() = default;
    // Taken aboard the car (it has made room): true when the rider rides.
    virtual bool Board(Vehicle& car) = 0;
    // The ride is over: delivered at the destination (true) or failed (false).
    virtual void Arrive(bool success) = 0;
    virtual void GetOut() = 0;
    // Hurt while riding or getting out (a wreck's blast); a rider that cannot be hurt ignores it.
    virtual void TakeHit(float /*amount*/, int32_t /*kind*/) {}

    // The car it rides in, cleared when it leaves (and when the car goes).
    Vehicle* cab = nullptr;
    // Its place in the car's passenger list: the door it gets in by.
    int32_t seat = 0;
    // What the ride has cost it so far.
    float rideDamage = 0.0f;
};
