#pragma once
// The arithmetic of a car's drive model: gearbox, steering, wheel motors, revs, weight shift and
// tyre slip. Pure functions of plain values, so that the car's update stays readable and every
// formula can be checked on its own. Speeds are world units per second.
#include <cstdint>

struct CarHandling;

namespace vehicles_detail {

// The car's handling numbers that the drive model reads (taken from its definition).
struct DriveHandling {
    float forwardSpeedFactor = 0.0f;
    float engineForce = 0.0f;
    float weightShift = 0.0f;
    float forwardSteeringLock = 0.0f;
    float reverseSteeringLock = 0.0f;
    float steeringReferenceSpeed = 0.0f;
    float brakeStrength = 0.0f;
    float handbrakeStrength = 0.0f;
    int32_t gearCount = 0;
    float steeringSpeedScale = 0.0f;
    float reverseSpeedFactor = 0.0f;
    float steeringExponent = 0.0f;
    float minimumSteering = 0.0f;
    float massValue = 0.0f;
};

// The drive model's numbers out of a car definition's handling.
DriveHandling HandlingOf(const CarHandling& c);

// The per-car tuning values. Every car keeps the defaults, with which the motor factors are 1.
struct DriveTuning {
    float gearing = 0.5f;
    float power = 1.0f;
    float loadA = 0.5f;
    float loadB = 0.5f;
    float suspension = 0.5f;
    float grip = 0.125f;
    float wheelTurn = 0.0f;
    float wheelDrop = 0.0f;
};

// The gear after one frame's shift check (reverse is left alone; neutral goes into gear 1).
int32_t ShiftGear(int32_t gear, int32_t gearCount, float revs);

// How much the steering fades with speed (0 at rest); 0 when the reference speed or the speed
// scale is 0.
float SteeringSpeedTerm(const DriveHandling& h, float speed);
// The wheel angle the steering aims at for an input of -1..1, within a quarter turn either way.
float SteeringTarget(const DriveHandling& h, int32_t gear, float speed, float steerInput);
// The extra skid that steering adds for the current angle toward its target.
float SteeringSkid(float speedTerm, float steerAngle, float target, const DriveTuning& t);

// The wheel joints' motor settings for one frame.
struct WheelMotorInput {
    int32_t gear = 1;
    float throttle = 0.0f;
    float brake = 0.0f;
    float handbrake = 0.0f;
    float health = 1.0f;
    float maxHealth = 1.0f;
    float speed = 0.0f;
    float wheelHeights[4] = {};
    float wheelMasses[4] = {};
};
struct WheelMotorPlan {
    float targetSpeed = 0.0f;   // V: the wheel speed the gear aims at
    float velocity = 0.0f;      // signed motor velocity of every wheel
    float maxForce[4] = {};     // per wheel
    float climb = 0.0f;
    float healthFactor = 1.0f;
};
WheelMotorPlan PlanWheelMotors(const DriveHandling& h, const DriveTuning& t, const WheelMotorInput& in);

// Revs after one frame: in neutral they follow the throttle, in gear the back wheels' spin
// against the gear's target speed. meanBackSpin is the mean length of the back wheels'
// angular velocities.
float NextRevs(float revs, int32_t gear, float targetSpeed, float throttle, float meanBackSpin, float dt);

// The mass a wheel aims at while the car leans into a turn (left wheels 0 and 2, right 1 and 3).
float WeightShiftAim(const DriveHandling& h, int32_t wheel, float steerAngle, float speed);

// The slip of each wheel's tyre for this frame.
void WheelSlip(const DriveHandling& h, const DriveTuning& t, int32_t gear, float speed, float skid, float brake,
               float handbrake, float out[4]);

// A wheel body's mass when the car is built; the weight shift moves it toward the car's mass
// value from there.
constexpr float WheelMass = 50.0f;

// The CFM of a wheel's contact with what it stands on, for a wheel of this mass. The world's CFM
// holds a body of a wheel's built mass on the ground; a wheel as heavy as the weight shift makes
// it (the car's mass value, a thousand and more) would sink a good part of its radius into the
// road under that CFM, and dropping onto the road it would pass right through, since a mesh gives
// a sphere no contact once its centre is under a face. The contact keeps the built wheel's
// stiffness: the CFM falls as the mass grows.
float WheelContactCfm(float wheelMass);

// The fraction of the way a smoothed value moves toward its aim at a rate per second, within
// 0..1 so that a long frame cannot overshoot.
float Approach(float rate, float dt);

} // namespace vehicles_detail
