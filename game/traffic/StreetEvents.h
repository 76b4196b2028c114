#pragma once
// What happens in the street that the running game wants to know: the game mode implements it
// and the crowd's manager hands it to its pedestrians. Null: nobody listens.
class Fare;
class Pedestrian;
class Vehicle;

class StreetEvents {
public:
    virtual ~StreetEvents() = default;
    // A pedestrian died of a hit; `hitter` is the car that hit it, or null.
    virtual void OnPedestrianHit(Vehicle* /*hitter*/, Pedestrian& /*pedestrian*/) {}
    // A traffic car was wrecked; `instigator` is the car that last hurt it, or null.
    virtual void OnTrafficCarWrecked(Vehicle* /*instigator*/) {}
    // A fare got into the car, got out before its destination, was delivered there, or its
    // ride failed.
    virtual void OnFareBoarded(Vehicle* /*cab*/, Fare& /*fare*/) {}
    virtual void OnFareGotOut(Vehicle* /*cab*/, Fare& /*fare*/) {}
    virtual void OnFareDelivered(Vehicle* /*cab*/, Fare& /*fare*/) {}
    virtual void OnFareFailed() {}
    // True once the session is decided: armed people in the street hold their fire.
    virtual bool SessionDecided() const { return false; }
};
