#pragma once
// A pedestrian who wants a cab: it notices a car with a free seat, waves at it, walks to its
// door when the car is near and slow, gets in, rides, and gets out at the destination, where it
// judges the ride by its average speed and the damage the cab took. It never decides where it
// goes or whether the trip counts: the game mode places it, tells it to arrive or get out, and
// hears what happened through the street events.
#include <cstdint>
#include <vector>

#include "engine/core/SharedString.h"
#include "game/traffic/Pedestrian.h"
#include "game/vehicles/Passenger.h"

struct DropPoint;

class Fare : public Pedestrian, public Passenger {
public:
    // The states a fare adds to the pedestrian's.
    enum FareState : int32_t { WalkingToCab = 8, InCab = 9, InCabToo = 10 };

    static constexpr float kNoticeSquared = 150.0f * 150.0f;
    static constexpr float kRunSquared = 100.0f * 100.0f;
    static constexpr float kReachSquared = 5.0f * 5.0f;
    // A cab slower than this (squared speed) is walked to; a faster one is waved at.
    static constexpr float kWalkableCabSpeedSquared = 250.0f;
    static constexpr float kWalkToCabSpeed = 30.0f;
    static constexpr float kLeaveSpeed = 20.0f;
    // After getting out every contact is ignored this long: the cab cannot run it down.
    static constexpr float kLeaveTime = 3.0f;
    // Slower than this on average (km/h, straight line from boarding to arrival) is a bad ride.
    static constexpr float kGoodAverageSpeed = 70.0f;
    // More ride damage than this share of the car's maximum health is a bad ride.
    static constexpr float kGoodDamageShare = 0.2f;
    // Where a rider sits in the car's frame.
    static const Vector3 kSeatOffset;

    Fare(PedestrianType& type, PedestrianSite& site);
    // Leaves the car it rides in: no car keeps a rider that is gone.
    ~Fare() override;
    // Out of the car without a word to anyone (the game is being taken down or recycled).
    void LeaveCabQuietly();

    // Passenger
    bool Board(Vehicle& car) override;
    void Arrive(bool success) override;
    void GetOut() override;
    // The fare is hurt as a pedestrian is: knocked down, and killed by a blow that kills.
    void TakeHit(float amount, int32_t kind) override;

    void Update(ObjectQuadTree& tree, const Camera* camera, float dt) override;
    void UpdateBounds(PhysicsWorld& world, float dt) override;
    bool IgnorePair(PhysicsGeom* own, PhysicsGeom* other) override;

    // Faces along the direction (flattened) and stands still; starts waving, with a wave call,
    // unless it already waves.
    void Wave(const Vector3& direction);
    // The nearest car with room within the notice radius: the point compared (the car, or in
    // state 8 the door of the next seat) and its squared distance. Null when none.
    Vehicle* FindCab(Vector3& point, float& distanceSquared) const;
    bool Riding() const { return state == InCab || state == InCabToo; }
    // Whether it looks for a cab now.
    virtual bool WantsCab() const { return looksForCabs; }
    // What delivering it earns: nothing for a plain fare.
    virtual int32_t Price() const { return 0; }

    float rideTime = 0.0f;
    bool mayBoard = true;
    bool mayWave = true;
    Vector3 boardPosition;
    Vector3 arrivalPosition;
    // The tariff record of the hailing pedestrians.
    float tariff = 0.0f;
    float tariffSpread = 0.0f;
    float spare = 0.0f;
    float limit = 0.0f;
    float leaveTimer = 0.0f;
    bool looksForCabs = true;
    float waveSoundTimer = 0.0f;
    // Where the mode sends it, and the names it goes by (the third: the destination's).
    std::vector<DropPoint*> destinations;
    SharedString names[3];

protected:
    // The ride's verdict and its voice ("Nega*.wav" or "Posi*.wav"), then the mode's hook.
    void Judge(bool success, bool logVerdict);
    // The fare reached the car: aboard, at the door of its seat, with its get-in move.
    void Enter(Vehicle& car);
    // Out at the car's first door: walking on when it has somewhere to go, else standing.
    void Leave(Vehicle& car);
    // Zeroes the ride and remembers where it started.
    void StartRide(Vehicle& car);
    // One random file of the pattern (in the kind's folder) at the fare; nothing when none.
    void PlayRandomSound(const char* pattern);
    StreetEvents* Events() const;
    static int32_t NextWaveCall();
};
