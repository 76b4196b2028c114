// A traffic car on a three-node loop in a real physics world, at players' frame times: it waits
// where its way is taken and goes on once it is free, never passes a road block, returns to the
// road only when knocked near where it stood, smokes and burns by its health and, wrecked,
// explodes once and tells the game once.
#include <gtest/gtest.h>

#include <cmath>

#include "game/vehicles/Explosion.h"
#include "game/world/RigidBody.h"
#include "tests/support/FrameSchedule.h"
#include "tests/traffic/TrafficTestSupport.h"

using namespace traffic_test;
using testing_support::FrameSchedule;

namespace {

class TrafficCarTest : public TrafficTest {
protected:
    void SetUp() override {
        TrafficTest::SetUp();
        // A triangle in front of the camera, about 400 units a side, driven 0 -> 1 -> 2 -> 0.
        Graph().Resize(3);
        Graph().nodes[0].position = Vector3(-200, 0, 0);
        Graph().nodes[1].position = Vector3(200, 0, 0);
        Graph().nodes[2].position = Vector3(0, 0, -350);
        for (RoadNode& n : Graph().nodes) n.speedFactor = 1.0f;
        Link(Graph(), {0, 1, 2, 0});
        MakeManager();
    }
    // Frames of the schedule until the condition holds or the time is up; the seconds taken.
    template <class Done>
    float RunUntil(const FrameSchedule& schedule, float seconds, Done done) {
        float t = 0.0f;
        for (int32_t frame = 0; t < seconds; ++frame) {
            if (done()) return t;
            const float dt = schedule(frame);
            Frame(dt);
            t += dt;
        }
        return t;
    }
    static float Flat(const Vector3& a, const Vector3& b) { return std::hypot(a.x - b.x, a.z - b.z); }
};

const FrameSchedule kSchedules[] = {testing_support::SteadyFrames("1/75", 1.0f / 75.0f), testing_support::UnevenFrames(),
                                    testing_support::SteadyFrames("1/20", 1.0f / 20.0f)};

}  // namespace

TEST_F(TrafficCarTest, WaitsWhereItsWayIsTakenAndGoesOnOnceItIsFree) {
    enum Blocker { Held, Light, RoadBlock };
    struct Case {
        const char* name;
        Blocker blocker;
        bool freed;  // a road block is never lifted here
    } cases[] = {{"the next node is held", Held, true}, {"a light took the links", Light, true}, {"a road block", RoadBlock, false}};
    for (const FrameSchedule& schedule : kSchedules) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(schedule.name) + ": " + c.name);
            RoadNode& one = Graph().nodes[1];
            RoadNode& two = Graph().nodes[2];
            std::vector<RoadNode*> links = one.links;
            if (c.blocker == Held) two.occupancy += 1;
            if (c.blocker == Light) one.links.clear();
            if (c.blocker == RoadBlock) one.occupancy |= RoadNode::Restricted;

            TrafficCar* car = SpawnAt(0);
            ASSERT_NE(car, nullptr);
            EXPECT_EQ(car->state, TrafficCar::Driving);
            EXPECT_EQ(car->nextNode, &one);
            EXPECT_EQ(one.occupancy & RoadNode::CountMask, 1u) << "the car holds the node it drives to";
            // It drives up to node 1 and stops there.
            RunUntil(schedule, 8.0f, [&] { return car->state == TrafficCar::Waiting && car->speed < 1.0f; });
            ASSERT_EQ(car->state, TrafficCar::Waiting);
            EXPECT_LT(Flat(car->Origin(), one.position), 60.0f);
            // It stays while the way is taken.
            const Vector3 waitedAt = car->Origin();
            RunUntil(schedule, 3.0f, [] { return false; });
            EXPECT_EQ(car->state, TrafficCar::Waiting);
            EXPECT_EQ(car->nextNode, &one) << "never past node 1";
            EXPECT_LT(Flat(car->Origin(), waitedAt), 2.0f);

            if (c.blocker == Held) two.occupancy -= 1;
            if (c.blocker == Light) one.links = links;
            if (c.freed) {
                RunUntil(schedule, 10.0f, [&] { return car->nextNode == &Graph().nodes[0]; });
                EXPECT_EQ(car->currentNode, &two) << "round the loop";
                EXPECT_EQ(car->state, TrafficCar::Driving);
                EXPECT_EQ(one.occupancy & RoadNode::CountMask, 0u) << "node 1 let go";
            }
            traffic->Reset();
            one.occupancy = 0;
            for (const RoadNode& n : Graph().nodes) EXPECT_EQ(n.occupancy, 0u) << "the reset let every node go";
        }
    }
}

TEST_F(TrafficCarTest, AKnockedCarReturnsToTheRoadOnlyNearWhereItWasKnocked) {
    struct Case {
        float away;
        bool returns;
    } cases[] = {{40.0f, true}, {60.0f, false}};
    for (const FrameSchedule& schedule : kSchedules) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(schedule.name) + ": " + std::to_string(int(c.away)) + " units away");
            TrafficCar* car = SpawnAt(0);
            ASSERT_NE(car, nullptr);
            RunUntil(schedule, 0.5f, [] { return false; });
            car->TakeDamage(1.0f, DamageImpact, nullptr);
            EXPECT_EQ(car->body, nullptr) << "nothing moves inside the damage hook";
            Frame(schedule(0));
            ASSERT_EQ(car->state, TrafficCar::Knocked);
            ASSERT_NE(car->body, nullptr);
            // Put it down, upright and still, away from where it stood.
            const Vector3 lift = car->GetPosition() - car->Origin();
            car->body->SetOrientation(Quaternion());
            car->body->SetPosition(car->knockPoint + Vector3(c.away, 0, 0) + lift + Vector3(0, 0.5f, 0));
            car->body->SetLinearVelocity(Vector3());
            car->body->SetAngularVelocity(Vector3());

            const float rested = RunUntil(schedule, 6.0f, [&] { return car->state != TrafficCar::Knocked || !car->body; });
            if (c.returns) {
                EXPECT_EQ(car->state, TrafficCar::Recovering);
                EXPECT_EQ(car->body, nullptr);
                EXPECT_GE(rested, 2.4f) << "not before it has settled";
                RunUntil(schedule, 6.0f, [&] { return car->state == TrafficCar::Driving; });
                EXPECT_EQ(car->state, TrafficCar::Driving) << "five seconds later it drives again";
            } else {
                EXPECT_EQ(car->state, TrafficCar::Knocked);
                EXPECT_EQ(car->body, nullptr) << "at rest it gives its body back";
                EXPECT_GE(rested, 2.0f);
                EXPECT_LT(rested, 3.5f);
                const Vector3 at = car->GetPosition();
                RunUntil(schedule, 3.0f, [] { return false; });
                EXPECT_LT((car->GetPosition() - at).Length(), 0.01f) << "it stays as an obstacle";
                EXPECT_EQ(car->state, TrafficCar::Knocked);
            }
            EXPECT_EQ(fleet->spareBodies.size(), fleet->bodies.size()) << "the body went back to the spares";
            traffic->Reset();
        }
    }
}

TEST_F(TrafficCarTest, SmokesBelowHalfBurnsBelowAQuarterAndBurnsDown) {
    struct Case {
        float health;
        bool smokes, burns;
    } cases[] = {{0.6f, false, false}, {0.4f, true, false}, {0.2f, false, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.health);
        TrafficCar* car = SpawnAt(0);
        ASSERT_NE(car, nullptr);
        Frame(1.0f / 75.0f);
        car->TakeDamage(car->maxHealth * (1.0f - c.health), DamageBullet, nullptr);
        const float start = car->health;
        for (int i = 0; i < 75; ++i) Frame(1.0f / 75.0f);
        EXPECT_EQ(car->smokeEmitted > 0, c.smokes);
        EXPECT_EQ(car->fireEmitted > 0, c.burns);
        if (c.burns) EXPECT_NEAR(car->health, start - 10.0f, 0.5f) << "ten a second";
        else EXPECT_FLOAT_EQ(car->health, start);
        traffic->Reset();
    }
    // Burning on, it is wrecked in the end.
    TrafficCar* car = SpawnAt(0);
    car->TakeDamage(car->maxHealth - 5.0f, DamageBullet, nullptr);
    for (int i = 0; i < 75; ++i) Frame(1.0f / 75.0f);
    EXPECT_EQ(car->state, TrafficCar::Wrecked);
    EXPECT_EQ(events.wrecks.size(), 1u);
}

TEST_F(TrafficCarTest, AWreckExplodesOnceAndTellsTheGameOnceAndFailsTheOneTouchGame) {
    struct Case {
        int32_t gameType;
        float damage;
        int fails;
    } cases[] = {{0, 600.0f, 0}, {10, 0.5f, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.gameType);
        flat.session.gameType = c.gameType;
        events.wrecks.clear();
        flat.rules.fails = 0;
        TrafficCar* car = SpawnAt(0);
        ASSERT_NE(car, nullptr);
        Frame(1.0f / 75.0f);
        ExplosionPool& blasts = ExplosionPool::Of(flat.context);
        const size_t before = blasts.pool.Live().size();
        car->TakeDamage(c.damage, DamageBlast, nullptr);
        EXPECT_TRUE(events.wrecks.empty()) << "the hook only records";
        Frame(1.0f / 75.0f);
        EXPECT_EQ(car->state, TrafficCar::Wrecked);
        EXPECT_EQ(events.wrecks.size(), 1u);
        EXPECT_EQ(blasts.pool.Live().size(), before + 1) << "one explosion";
        for (int i = 0; i < 150; ++i) Frame(1.0f / 75.0f);
        car->TakeDamage(50.0f, DamageBlast, nullptr);
        Frame(1.0f / 75.0f);
        EXPECT_EQ(events.wrecks.size(), 1u) << "told once";
        EXPECT_EQ(flat.rules.fails, c.fails);
        traffic->Reset();
    }
}
