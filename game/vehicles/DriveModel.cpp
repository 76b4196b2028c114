#include "game/vehicles/DriveModel.h"

#include <algorithm>
#include <cmath>

#include "engine/core/Math.h"
#include "game/vehicles/CarDefinition.h"
#include "game/world/PhysicsWorld.h"

namespace vehicles_detail {

DriveHandling HandlingOf(const CarHandling& c) {
    DriveHandling h;
    h.forwardSpeedFactor = c.forwardSpeedFactor;
    h.engineForce = c.engineForce;
    h.weightShift = c.weightShiftFactor;
    h.forwardSteeringLock = c.forwardSteeringLock;
    h.reverseSteeringLock = c.reverseSteeringLock;
    h.steeringReferenceSpeed = c.steeringReferenceSpeed;
    h.brakeStrength = c.brakeStrength;
    h.handbrakeStrength = c.handbrakeStrength;
    h.gearCount = c.gearCount;
    h.steeringSpeedScale = c.steeringSpeedScale;
    h.reverseSpeedFactor = c.reverseSpeedFactor;
    h.steeringExponent = c.steeringExponent;
    h.minimumSteering = c.minimumSteeringFactor;
    h.massValue = c.massValue;
    return h;
}

namespace {
float Finite(float v) { return std::isfinite(v) ? v : 0.0f; }
} // namespace

float Approach(float rate, float dt) { return Clamp(rate * dt, 0.0f, 1.0f); }

int32_t ShiftGear(int32_t gear, int32_t gearCount, float revs) {
    if (gear != -1 && gear < gearCount) {
        if (gear == 1) {
            if (revs > 5.0f) gear = 2;
        } else if (revs > 8.25f) {
            ++gear;
        }
    }
    if (gear > 1) {
        if (gear == 2) {
            if (revs < 1.5f) gear = 1;
        } else if (revs < 3.0f) {
            --gear;
        }
    }
    return gear;
}

float SteeringSpeedTerm(const DriveHandling& h, float speed) {
    if (h.steeringReferenceSpeed == 0.0f || h.steeringSpeedScale == 0.0f) return 0.0f;
    const float ratio = speed / (2.0f * h.steeringReferenceSpeed);
    return Finite(std::pow(ratio, h.steeringExponent) / (h.steeringSpeedScale * 50000.0f));
}

float SteeringTarget(const DriveHandling& h, int32_t gear, float speed, float steerInput) {
    const float lock = gear == -1 ? h.reverseSteeringLock : h.forwardSteeringLock;
    const float grip = std::max(1.0f - SteeringSpeedTerm(h, speed), h.minimumSteering);
    return Clamp(Finite(grip * steerInput * QuarterPi * lock), -HalfPi, HalfPi);
}

float SteeringSkid(float speedTerm, float steerAngle, float target, const DriveTuning& t) {
    if (target == 0.0f) return 0.0f;
    return std::min(speedTerm, 2.0f) * std::fabs(steerAngle / target) * 0.2f * (t.power + 0.5f);
}

WheelMotorPlan PlanWheelMotors(const DriveHandling& h, const DriveTuning& t, const WheelMotorInput& in) {
    WheelMotorPlan plan;
    const float* y = in.wheelHeights;
    plan.climb = Clamp(((y[0] - y[2]) + (y[1] - y[2])) * 0.5f / 6.0f, 0.0f, 2.0f);
    const float healthShare = in.maxHealth > 0.0f ? in.health / in.maxHealth : 1.0f;
    plan.healthFactor = std::min(1.0f, Sqrt(std::max(0.0f, healthShare * 0.5f + 0.5f)));
    const float used = std::max(0.0f, in.throttle - 0.15f * h.brakeStrength * in.brake);

    const float a = 0.5f * t.gearing;
    const float b = 0.25f * t.power + 0.75f;
    const float e = 1.1f - 0.2f * t.loadA;
    const float f = 1.1f - 0.2f * t.loadB;
    float engine = 0.0f;
    float sign = 0.0f;
    if (in.gear >= 1) {
        const float g = std::pow(float(in.gear), 1.5f);
        plan.targetSpeed = g * h.forwardSpeedFactor * 30.0f * (a + 0.75f) * b * e * f;
        engine = h.engineForce * (1.25f - a) * b * e * in.throttle * plan.healthFactor * 20000.0f / (g + 3.0f);
        sign = 1.0f;
    } else if (in.gear == -1) {
        plan.targetSpeed = h.reverseSpeedFactor * 30.0f * (a + 0.75f) * b * e * f;
        engine = h.engineForce * (1.25f - a) * b * e * in.throttle * plan.healthFactor * 2500.0f;
        sign = -1.0f;
    }

    float force = h.brakeStrength * in.brake * 10000.0f + engine +
                  (1.0f - used) * h.handbrakeStrength * in.handbrake * 5000.0f;
    // At rest the holding force would be infinite: the speed counts as at least 1.
    if (in.speed < 100.0f) force += 100000.0f / std::max(in.speed, 1.0f);
    force = std::max(Finite(force), 2000.0f);

    plan.velocity = Finite(sign * plan.targetSpeed * used);
    const float share = h.massValue > 0.0f ? h.massValue * 0.125f : 1.0f;
    for (int i = 0; i < 4; ++i) plan.maxForce[i] = Finite(in.wheelMasses[i] * force * (plan.climb + 1.0f) / share);
    return plan;
}

float NextRevs(float revs, int32_t gear, float targetSpeed, float throttle, float meanBackSpin, float dt) {
    if (gear == 0) {
        revs = std::max(0.0f, revs - 4.0f * dt);
        return std::min(10.0f, revs + dt * throttle * 20.0f);
    }
    const float ratio = targetSpeed > 0.0f ? meanBackSpin / targetSpeed : 0.0f;
    const float aim = Finite(std::pow(ratio, 2.0f / Sqrt(float(std::abs(gear)))) * 10.0f);
    return revs + (aim - revs) * Approach(4.0f, dt);
}

float WeightShiftAim(const DriveHandling& h, int32_t wheel, float steerAngle, float speed) {
    const float k = h.massValue;
    const float d = Finite(h.weightShift * steerAngle * k * speed * speed * 6.6666666e-06f);
    const bool left = wheel == 0 || wheel == 2;
    return Clamp(left ? k + d : k - d, 0.5f * k, 10.0f * k);
}

void WheelSlip(const DriveHandling& h, const DriveTuning& t, int32_t gear, float speed, float skid, float brake,
               float handbrake, float out[4]) {
    const float high = Clamp(speed - 25.0f, 0.0f, 25.0f) * 0.04f;
    const float hand = h.handbrakeStrength * handbrake;
    float q = skid * skid * 0.002f;
    const float braking = h.brakeStrength * brake * t.grip * q;
    if (braking > 0.0f) q *= 0.0625f;
    float front;
    float back;
    if (gear > 0) {
        const float rolling = std::max(0.0f, q - speed * 4e-06f);
        front = (hand * 0.00018181818f - braking + rolling) * high;
        back = (hand * 0.0013333333f - braking + rolling) * high;
    } else {
        front = (hand * 0.0013333333f + braking + q) * high;
        back = (hand * 0.00018181818f + braking + q) * high;
    }
    // A negative slip would be a negative compliance in the solver: grip is at most full.
    front = std::max(0.0f, Finite(front));
    back = std::max(0.0f, Finite(back));
    out[0] = out[1] = front;
    out[2] = out[3] = back;
}

float WheelContactCfm(float wheelMass) {
    if (!(wheelMass > WheelMass) || !std::isfinite(wheelMass)) return PhysicsWorld::WorldCfm;
    return PhysicsWorld::WorldCfm * WheelMass / wheelMass;
}

} // namespace vehicles_detail
