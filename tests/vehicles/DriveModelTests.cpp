// The drive model's arithmetic: gearbox, steering, tyre slip and the guards against
// division by zero.
#include <gtest/gtest.h>

#include <cmath>

#include "engine/core/Math.h"
#include "game/vehicles/DriveModel.h"
#include "tools/writers/CarWriter.h"

using namespace vehicles_detail;

namespace {

// The demo taxi's handling.
DriveHandling Handling() { return HandlingOf(tools::TaxiCar("Taxi").handling); }

} // namespace

TEST(DriveModel, GearboxShiftsAtItsRevs) {
    struct Case {
        int32_t gear;
        float revs;
        int32_t expected;
    } cases[] = {
        {1, 5.0f, 1},  {1, 5.01f, 2}, {2, 8.25f, 2}, {2, 8.3f, 3},  {3, 9.0f, 4},  {4, 9.9f, 4},   // top gear stays
        {0, 8.3f, 1},  {0, 8.0f, 0},  {-1, 9.9f, -1}, {-1, 0.0f, -1},                             // neutral, reverse
        {2, 1.49f, 1}, {2, 1.5f, 2},  {3, 2.99f, 2}, {4, 2.0f, 3},  {1, 0.0f, 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ShiftGear(c.gear, 4, c.revs), c.expected) << "gear " << c.gear << " revs " << c.revs;
}

TEST(DriveModel, SteeringAimsWithinAQuarterTurnAndFadesToItsFloor) {
    DriveHandling h = Handling();
    // At rest full input gives pi/4 x lock.
    EXPECT_FLOAT_EQ(SteeringTarget(h, 1, 0.0f, 1.0f), QuarterPi * 0.6f);
    EXPECT_FLOAT_EQ(SteeringTarget(h, -1, 0.0f, -1.0f), -QuarterPi * 0.48f);
    // Very fast: the fade reaches the floor, never below it.
    EXPECT_FLOAT_EQ(SteeringTarget(h, 1, 1e6f, 1.0f), QuarterPi * 0.6f * 0.3f);
    // A huge lock is clamped to a quarter turn either way.
    h.forwardSteeringLock = 100.0f;
    EXPECT_FLOAT_EQ(SteeringTarget(h, 1, 0.0f, 1.0f), HalfPi);
    EXPECT_FLOAT_EQ(SteeringTarget(h, 1, 0.0f, -1.0f), -HalfPi);
    // Zero reference speed or speed scale: no fade, and no NaN.
    DriveHandling noReference = Handling(), noScale = Handling();
    noReference.steeringReferenceSpeed = 0.0f;
    noScale.steeringSpeedScale = 0.0f;
    for (const DriveHandling& z : {noReference, noScale}) {
        EXPECT_EQ(SteeringSpeedTerm(z, 500.0f), 0.0f);
        EXPECT_FLOAT_EQ(SteeringTarget(z, 1, 500.0f, 1.0f), QuarterPi * 0.6f);
    }
    // Steering skid only while aiming somewhere.
    EXPECT_EQ(SteeringSkid(1.0f, 0.3f, 0.0f, DriveTuning()), 0.0f);
    EXPECT_FLOAT_EQ(SteeringSkid(3.0f, 0.2f, 0.4f, DriveTuning()), 2.0f * 0.5f * 0.2f * 1.5f);
}

TEST(DriveModel, WheelMotorsGuardRestAndEmptyGears) {
    const DriveHandling h = Handling();
    WheelMotorInput in;
    for (float& m : in.wheelMasses) m = 50.0f;
    in.gear = 1;
    in.throttle = 1.0f;
    in.speed = 0.0f;
    const WheelMotorPlan rest = PlanWheelMotors(h, DriveTuning(), in);
    EXPECT_TRUE(std::isfinite(rest.maxForce[0]));
    in.speed = 1.0f;
    EXPECT_FLOAT_EQ(PlanWheelMotors(h, DriveTuning(), in).maxForce[0], rest.maxForce[0]) << "speed counts as at least 1";
    // A gear with no target speed gives revs 0, not NaN.
    DriveHandling still = h;
    still.forwardSpeedFactor = 0.0f;
    in.gear = 2;
    const WheelMotorPlan none = PlanWheelMotors(still, DriveTuning(), in);
    EXPECT_EQ(none.targetSpeed, 0.0f);
    EXPECT_EQ(NextRevs(4.0f, 2, none.targetSpeed, 1.0f, 30.0f, 0.1f), 4.0f - 4.0f * 0.4f);
    // A long frame does not overshoot the aim.
    EXPECT_FLOAT_EQ(NextRevs(2.0f, 1, 30.0f, 1.0f, 30.0f, 1.0f), 10.0f);
    // Neutral: revs fall, then the throttle lifts them, up to the red line.
    EXPECT_FLOAT_EQ(NextRevs(5.0f, 0, 0.0f, 0.0f, 0.0f, 0.5f), 3.0f);
    EXPECT_FLOAT_EQ(NextRevs(9.5f, 0, 0.0f, 1.0f, 0.0f, 0.5f), 10.0f);
}

TEST(DriveModel, TyreSlipFollowsSpeedHandbrakeBrakeAndGear) {
    const DriveHandling h = Handling();
    const DriveTuning t;
    struct Case {
        int32_t gear;
        float speed, skid, brake, handbrake;
        float front, back;
    } cases[] = {
        // Below 25 units/s the tyres never slip.
        {1, 20.0f, 50.0f, 0.0f, 1.0f, 0.0f, 0.0f},
        // Handbrake at full speed-range: the back wheels let go far more than the front.
        {1, 60.0f, 0.0f, 0.0f, 1.0f, 2100.0f * 0.00018181818f, 2100.0f * 0.0013333333f},
        // In reverse the ends swap.
        {-1, 60.0f, 0.0f, 0.0f, 1.0f, 2100.0f * 0.0013333333f, 2100.0f * 0.00018181818f},
        // Skidding without the brake: half range, less the speed term.
        {2, 37.5f, 10.0f, 0.0f, 0.0f, (0.2f - 37.5f * 4e-06f) * 0.5f, (0.2f - 37.5f * 4e-06f) * 0.5f},
        // Braking hard while skidding forwards would be negative slip: held at none.
        {2, 60.0f, 10.0f, 1.0f, 0.0f, 0.0f, 0.0f},
        // Braking in neutral adds to the slip.
        {0, 60.0f, 10.0f, 0.001f, 0.0f, 3000.0f * 0.001f * 0.125f * 0.2f + 0.2f * 0.0625f,
         3000.0f * 0.001f * 0.125f * 0.2f + 0.2f * 0.0625f},
    };
    for (const Case& c : cases) {
        float slip[4];
        WheelSlip(h, t, c.gear, c.speed, c.skid, c.brake, c.handbrake, slip);
        EXPECT_NEAR(slip[0], c.front, 1e-5f) << "gear " << c.gear << " speed " << c.speed;
        EXPECT_EQ(slip[1], slip[0]);
        EXPECT_NEAR(slip[2], c.back, 1e-5f) << "gear " << c.gear << " speed " << c.speed;
        EXPECT_EQ(slip[3], slip[2]);
    }
}

TEST(DriveModel, WeightLeansOutOfTheTurnWithinItsBounds) {
    const DriveHandling h = Handling();
    EXPECT_FLOAT_EQ(WeightShiftAim(h, 0, 0.0f, 100.0f), 1000.0f);
    const float d = 0.5f * 0.3f * 1000.0f * 100.0f * 100.0f * 6.6666666e-06f;
    EXPECT_FLOAT_EQ(WeightShiftAim(h, 0, 0.3f, 100.0f), 1000.0f + d);
    EXPECT_FLOAT_EQ(WeightShiftAim(h, 3, 0.3f, 100.0f), 1000.0f - d);
    EXPECT_FLOAT_EQ(WeightShiftAim(h, 1, 0.3f, 1e4f), 500.0f);
    EXPECT_FLOAT_EQ(WeightShiftAim(h, 2, 0.3f, 1e4f), 10000.0f);
}
