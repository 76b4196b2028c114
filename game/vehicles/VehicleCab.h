#pragma once
// Who rides in a car: the passenger aboard (a car that takes one at a time) or the list of them,
// the capacity, the trip meter, and the door that opens for them.
#include <cstdint>
#include <vector>

class Passenger;

struct VehicleCab {
    Passenger* passenger = nullptr;
    std::vector<Passenger*> passengers;
    // Passenger capacity: 1 takes a single passenger.
    int32_t singlePassenger = 1;
    // Metres driven with a passenger aboard.
    float tripDistance = 0.0f;
    float doorAngle = 0.0f; // 0 shut .. 1 open
    uint8_t doorOpening = 0;
};
