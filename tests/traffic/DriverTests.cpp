// The computer drivers on real cars in a real physics world on flat ground: a recorder after the
// car in the physics client list keeps what the driver asked of the car after each sub-step
// (the car clears its controls record once a frame). Routes on small hand-made road graphs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "game/traffic/AIDriver.h"
#include "game/traffic/OpponentDriver.h"
#include "game/vehicles/Launchers.h"
#include "game/vehicles/ProjectileLaunchers.h"
#include "game/vehicles/Specials.h"
#include "game/vehicles/Weapons.h"
#include "game/world/LevelData.h"
#include "platform/sys/Random.h"
#include "tests/support/FrameSchedule.h"
#include "tests/vehicles/VehicleTestSupport.h"

using namespace vehicle_test;
using testing_support::FrameSchedule;

namespace {

// What the driver asked of its car after each physics sub-step.
class InputRecorder : public PhysicsClient {
public:
    struct Sample {
        float time;
        VehicleControls controls;
        int32_t gear;
        Vector3 position;
    };
    explicit InputRecorder(Vehicle& car_) : car(car_) {}
    void UpdateBounds(PhysicsWorld&, float dt) override {
        time += dt;
        samples.push_back({time, car.controls, car.drive.gear, car.GetPosition()});
    }
    const Sample& Last() const { return samples.back(); }

    Vehicle& car;
    float time = 0.0f;
    std::vector<Sample> samples;
};

class RecordingLaunchers : public ProjectileLaunchers {
public:
    struct Shot {
        char kind;
        float value;
        PhysicsGeom* target;
    };
    void LaunchGrenade(PhysicsGeom*, const Vector3&, const Vector3&, float fuse) override {
        shots.push_back({'g', fuse, nullptr});
    }
    void LaunchMissile(PhysicsGeom*, const Vector3&, const Vector3&, const Vector3&, float speed, PhysicsGeom* target) override {
        shots.push_back({'m', speed, target});
    }
    void LaunchRocket(PhysicsGeom*, const Vector3&, const Vector3&, const Vector3&, float speed, float) override {
        shots.push_back({'r', speed, nullptr});
    }
    std::vector<Shot> shots;
};

float FlatDistance(const Vector3& a, const Vector3& b) {
    const float dx = a.x - b.x, dz = a.z - b.z;
    return std::sqrt(dx * dx + dz * dz);
}

float DistanceToSegment(const Vector3& p, const Vector3& a, const Vector3& b) {
    Vector3 ab = b - a;
    ab.y = 0.0f;
    Vector3 ap = p - a;
    ap.y = 0.0f;
    const float t = std::clamp(Vector3::Dot(ap, ab) / ab.LengthSquared(), 0.0f, 1.0f);
    return (ap - ab * t).Length();
}

Quaternion Yaw(float angle) { return Quaternion(Vector3(0, 1, 0), angle); }

// Three kinds of car: the taxi, a police car (its own special the siren) and the AI handling
// template, whose handling differs from the taxi's only in a value nothing drives with.
class DriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        plat::SetEngineRandSeed(20261211);
        std::filesystem::create_directories("Vehicles");
        WriteCar("Taxi", Taxi());
        WriteCar("PoliceCruiser", Taxi());
        tools::VqcCar ambulance = Taxi();
        ambulance.handling.spareA = 7.0f;
        WriteCar("AmbulanceVan", ambulance);
        CarDefinition::LoadAll();
        taxi = CarCatalogue::Instance().FindByName(SharedString("Taxi"));
        police = CarCatalogue::Instance().FindByName(SharedString("PoliceCruiser"));
        ASSERT_TRUE(taxi && police);
        flat.world.graphs.driver = std::make_unique<RoadGraph>();
        flat.world.graphs.shared = std::make_unique<RoadGraph>();
    }
    void TearDown() override {
        for (auto& r : recorders) flat.world.physics.RemoveObject(r.get());
        drivers.clear();
        for (PhysicsGeom* g : walls) g->RemoveFromWorld(flat.world.physics);
    }

    // The driver graph: nodes at the points, links as (from, to) pairs.
    RoadGraph& Graph(const std::vector<Vector3>& points, const std::vector<std::pair<int, int>>& links) {
        RoadGraph& g = *flat.world.graphs.driver;
        g.Resize(int32_t(points.size()));
        for (size_t i = 0; i < points.size(); ++i) g.nodes[i].position = points[i];
        for (auto [from, to] : links) g.nodes[size_t(from)].links.push_back(&g.nodes[size_t(to)]);
        return g;
    }
    RoadNode* Node(int i) { return &flat.world.graphs.driver->nodes[size_t(i)]; }

    // A car of the kind driven by a new driver of type D; its inputs are recorded.
    template <class D = AIDriver>
    D* Drive(const CarDefinition* kind, float x = 0.0f, float z = 0.0f) {
        Vehicle* car = flat.AddCar(kind, x, z);
        auto driver = std::make_unique<D>(flat.context);
        D* d = driver.get();
        d->vehicle = car;
        car->controller = d;
        drivers.push_back(std::move(driver));
        recorders.push_back(std::make_unique<InputRecorder>(*car));
        flat.world.physics.AddObject(recorders.back().get());
        return d;
    }
    InputRecorder& Recorder(const AIDriver* d) {
        for (auto& r : recorders)
            if (&r->car == d->vehicle) return *r;
        throw std::runtime_error("no recorder");
    }
    // A static block (the city's category) centred at the point.
    void Wall(const Vector3& centre, const Vector3& half) {
        auto box = std::make_unique<BoxGeom>(half);
        box->SetCategoryBits(1);
        box->SetCollideBits(0);
        box->SetSurface(&flat.world.staticSurface);
        box->SetPosition(centre);
        box->AddToWorld(flat.world.physics);
        walls.push_back(box.get());
        wallGeoms.push_back(std::move(box));
    }
    // Frames at the schedule's times for this many seconds of game time.
    void Run(const FrameSchedule& schedule, float seconds, const std::function<void()>& each = {}) {
        float t = 0.0f;
        for (int32_t f = 0; t < seconds; ++f) {
            const float dt = schedule(f);
            flat.Frame(dt);
            t += dt;
            if (each) each();
        }
    }

    testing_support::TempWorkDir dir;
    EngineThread engine;
    testing_support::LogCapture log{3};
    FlatWorld flat;
    const CarDefinition* taxi = nullptr;
    const CarDefinition* police = nullptr;
    std::vector<std::unique_ptr<BoxGeom>> wallGeoms;
    std::vector<PhysicsGeom*> walls;
    std::vector<std::unique_ptr<InputRecorder>> recorders;
    std::vector<std::unique_ptr<AIDriver>> drivers;
};

} // namespace

TEST(SteerValue, TurnsTowardsThePointFromAnyHeading) {
    struct Case {
        const char* what;
        Vector3 local; // in the car's frame: nose -z
        float expected;
    };
    const Case cases[] = {
        {"straight ahead", {0, 0, -1}, 0.0f},
        {"straight behind", {0, 0, 1}, 1.0f},
        {"beside, +x", {1, 0, 0}, 1.0f},
        {"beside, -x", {-1, 0, 0}, -0.5f},
        {"ahead, +x", {1, 0, -1}, 0.5f * std::sqrt(0.5f)},
        {"ahead, -x", {-1, 0, -1}, -0.5f * std::sqrt(0.5f)},
        {"behind, -x", {-1, 0, 1}, -1.0f},
        {"behind, +x", {1, 0, 1}, 1.0f},
        {"ahead, far off and up", {0, 30, -60}, 0.0f},
    };
    for (const float yaw : {0.0f, 0.5f * Pi, 2.5f}) {
        const Quaternion q = Yaw(yaw);
        const Matrix4 turn = q.ToMatrix();
        for (const Case& c : cases) {
            EXPECT_NEAR(AIDriver::SteerValue(turn.TransformNormal(c.local) * 40.0f, q), c.expected, 1e-4f)
                << c.what << " at yaw " << yaw;
        }
    }
    EXPECT_EQ(AIDriver::SteerValue(Vector3(), Quaternion()), 0.0f) << "no direction: no steering";
}

// A ring of 32 roads round a circle 6000 across, driven at the players' frame times: the car
// passes node after node in order and never leaves the road by much.
TEST_F(DriverTest, DrivesRoundTheLoopAtPlayersFrameTimes) {
    for (const FrameSchedule& schedule : {testing_support::SteadyFrames("1/75", Step), testing_support::UnevenFrames(),
                                          testing_support::SteadyFrames("1/20", 1.0f / 20.0f)}) {
        SCOPED_TRACE(schedule.name);
        constexpr int kNodes = 32;
        constexpr float kRadius = 3000.0f;
        std::vector<Vector3> corners;
        std::vector<std::pair<int, int>> links;
        for (int i = 0; i < kNodes; ++i) {
            const float a = 2.0f * Pi * float(i) / float(kNodes);
            corners.push_back(Vector3(kRadius * (std::cos(a) - 1.0f), 0.0f, -kRadius * std::sin(a)));
            links.push_back({i, (i + 1) % kNodes});
        }
        Graph(corners, links);
        AIDriver* d = Drive(taxi);
        d->PlaceAt(Vector3(50, 0, 50), Matrix4(), false);
        ASSERT_EQ(d->currentNode, Node(0)) << "the nearest free node";
        ASSERT_FALSE(d->route.empty());
        EXPECT_EQ(d->route.front(), Node(1));
        float worst = 0.0f;
        int nulls = 0;
        Run(schedule, 30.0f, [&] {
            const Vector3 at = d->vehicle->GetPosition();
            float best = 1e9f;
            for (size_t i = 0; i < kNodes; ++i)
                best = std::min(best, DistanceToSegment(at, corners[i], corners[(i + 1) % kNodes]));
            worst = std::max(worst, best);
            nulls += int(std::count(d->route.begin(), d->route.end(), nullptr));
        });
        EXPECT_EQ(nulls, 0);
        // It weaves (it aims at the road a look-ahead on once it is 50 off it), but no wider
        // than a street.
        EXPECT_LT(worst, 500.0f) << "kept to the road";
        // Node after node, in the loop's order.
        EXPECT_GE(d->visited.size(), 5u);
        for (size_t i = 1; i < d->visited.size(); ++i) {
            const auto index = [&](const RoadNode* n) { return n - Node(0); };
            EXPECT_EQ(index(d->visited[i]), (index(d->visited[i - 1]) + 1) % kNodes);
        }
        TearDown();
        recorders.clear();
        flat.context.ownedVehicles.clear();
        flat.context.vehicles.clear();
    }
}

// Boxed in between two walls, the car backs out after two seconds below 50, drives forward two
// seconds later, and after the fifth shift it is put back on the road at its next node.
TEST_F(DriverTest, AStuckCarShiftsEveryTwoSecondsAndIsPutBackAfterTheFifthShift) {
    for (const FrameSchedule& schedule : {testing_support::SteadyFrames("1/75", Step), testing_support::UnevenFrames()}) {
        SCOPED_TRACE(schedule.name);
        Graph({{0, 0, 0}, {0, 0, -800}, {-800, 0, -800}}, {{0, 1}, {1, 2}, {2, 0}});
        AIDriver* d = Drive(taxi);
        d->PlaceAt(Vector3(), Matrix4(), false);
        // Three units clear of either bumper.
        Wall(Vector3(0, 10, -(HalfBody.z + 8.0f)), Vector3(100, 20, 5));
        Wall(Vector3(0, 10, HalfBody.z + 8.0f), Vector3(100, 20, 5));
        InputRecorder& rec = Recorder(d);
        std::vector<float> shiftTimes;
        float putBackAt = -1.0f;
        int32_t gear = 1;
        size_t seen = 0;
        Run(schedule, 12.0f, [&] {
            for (; seen < rec.samples.size(); ++seen) {
                const auto& s = rec.samples[seen];
                if (putBackAt < 0.0f && FlatDistance(s.position, Node(1)->position) < 40.0f) putBackAt = s.time;
                if (putBackAt < 0.0f) {
                    EXPECT_LT(FlatDistance(s.position, Vector3()), 15.0f) << "held by the walls at " << s.time;
                    if ((s.gear == -1) != (gear == -1)) shiftTimes.push_back(s.time);
                }
                gear = s.gear;
            }
        });
        ASSERT_EQ(shiftTimes.size(), 4u) << "reverse, forward, reverse, forward; the fifth puts it back";
        for (size_t i = 1; i < shiftTimes.size(); ++i) EXPECT_NEAR(shiftTimes[i] - shiftTimes[i - 1], 2.0f, 0.1f);
        ASSERT_GT(putBackAt, 0.0f) << "never put back";
        EXPECT_NEAR(putBackAt - shiftTimes.back(), 2.0f, 0.1f);
        EXPECT_EQ(d->currentNode, Node(1));
        EXPECT_EQ(d->shifts, 0);
        TearDown();
        walls.clear();
        recorders.clear();
        flat.context.ownedVehicles.clear();
        flat.context.vehicles.clear();
    }
}

// At a fork, wandering prefers the way it has not been: of nodes with a fresh link beside links
// back to the last 50 passed, it takes the fresh one far more often than a free pick does.
TEST_F(DriverTest, WanderingAvoidsTheLastFiftyNodesPassed) {
    // Nodes 0..49 are the recent past; 50..249 a road on which each node links to the next one
    // and to `back` nodes of the past.
    struct Case {
        int back;
        int mode;
        float mostVisitedShare;
        float leastVisitedShare;
    };
    const Case cases[] = {
        {1, AIDriver::Wander, 0.0f, 0.0f},   // every second try is the fresh link
        {2, AIDriver::Wander, 0.2f, 0.0f},   // five tries miss it (2/3)^5 of the time
        {1, AIDriver::FollowRoad, 1.0f, 0.3f},
        {2, AIDriver::FollowRoad, 1.0f, 0.5f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.back << " links back, mode " << c.mode);
        std::vector<Vector3> points;
        std::vector<std::pair<int, int>> links;
        for (int i = 0; i < 250; ++i) points.push_back(Vector3(float(i) * 10.0f, 0, float(i % 7)));
        for (int i = 50; i < 249; ++i) {
            links.push_back({i, i + 1});
            for (int k = 0; k < c.back; ++k) links.push_back({i, (i * 7 + k * 13) % 50});
        }
        Graph(points, links);
        AIDriver d(flat.context);
        d.mode = c.mode;
        d.seed = 99;
        for (int i = 0; i < 50; ++i) d.visited.push_back(Node(i));
        int intoPast = 0, steps = 0;
        for (int i = 50; i < 249; ++i, ++steps) {
            // One node at a time: the route has just run out at node i.
            d.route.clear();
            d.currentNode = Node(i);
            float length = 0.0f;
            const float travelled = 1.0f - AIDriver::kRouteAhead;
            int last = -1;
            d.ExtendRoute(length, travelled, last);
            ASSERT_EQ(d.route.size(), 1u);
            ASSERT_EQ(last, 0);
            if (d.route[0] - Node(0) < 50) ++intoPast;
        }
        const float share = float(intoPast) / float(steps);
        EXPECT_LE(share, c.mostVisitedShare);
        EXPECT_GE(share, c.leastVisitedShare);
    }

    // Every link leads back: the route still grows (the last try is taken).
    Graph({{0, 0, 0}, {10, 0, 0}, {20, 0, 0}}, {{0, 1}, {0, 2}, {1, 0}, {2, 0}});
    AIDriver d(flat.context);
    d.mode = AIDriver::Wander;
    d.visited = {Node(1), Node(2)};
    d.currentNode = Node(0);
    float length = 0.0f;
    int last = -1;
    d.ExtendRoute(length, 0.0f, last);
    EXPECT_GE(length, AIDriver::kRouteAhead);
    for (const RoadNode* n : d.route) EXPECT_NE(n, nullptr);
}

// The weapon a driver fires at its target, by kind, distance and bearing.
TEST_F(DriverTest, FiresItsWeaponByDistanceAndAim) {
    InstallWeaponFactories(flat.context);
    RecordingLaunchers launchers;
    flat.context.launchers = &launchers;
    struct Case {
        const char* what;
        ItemKind kind;
        float distance;
        float bearing; // radians off the nose, towards the car's +x
        float ownSpeed;
        bool firingBefore; // the chain gun or flamer already firing
        int mode;
        // Chain gun firing or flamer burning afterwards, or the launches.
        bool firing;
        const char* launched;
    };
    const Case cases[] = {
        {"chain gun, ahead", ItemKind::ChainGun, 600, 0.0f, 0, false, 1, true, ""},
        {"chain gun, a little off", ItemKind::ChainGun, 600, 0.3f, 0, false, 1, true, ""},
        {"chain gun, beside", ItemKind::ChainGun, 600, 0.5f * Pi, 0, true, 1, false, ""},
        {"chain gun, out of range", ItemKind::ChainGun, 1600, 0.0f, 0, true, 1, false, ""},
        {"chain gun, wandering", ItemKind::ChainGun, 600, 0.0f, 0, false, 2, false, ""},
        {"flamer, close ahead", ItemKind::Flamer, 200, 0.0f, 0, false, 1, true, ""},
        {"flamer, ahead beyond 300", ItemKind::Flamer, 400, 0.0f, 0, true, 1, false, ""},
        {"flamer, close beside", ItemKind::Flamer, 200, 0.5f * Pi, 0, true, 1, false, ""},
        {"missile, ahead", ItemKind::MissileLauncher, 800, 0.0f, 0, false, 1, false, "m"},
        {"missile, beside", ItemKind::MissileLauncher, 800, 0.5f * Pi, 0, true, 1, false, ""},
        {"missile, wandering", ItemKind::MissileLauncher, 800, 0.0f, 0, false, 2, false, ""},
        {"rockets, ahead", ItemKind::RocketLauncher, 800, 0.0f, 0, false, 1, false, "rrrrrrrr"},
        {"rockets, behind", ItemKind::RocketLauncher, 800, Pi, 0, false, 1, false, ""},
        {"grenades, behind and driving fast", ItemKind::GrenadeThrower, 1400, Pi, 700, false, 1, false, "ggg"},
        {"grenades, behind but slow", ItemKind::GrenadeThrower, 1400, Pi, 0, false, 1, false, ""},
        {"grenades, ahead", ItemKind::GrenadeThrower, 1400, 0.0f, 700, false, 1, false, ""},
        {"grenades, too close", ItemKind::GrenadeThrower, 140, Pi, 700, false, 1, false, ""},
    };
    Graph({{0, 0, 0}, {0, 0, -3000}}, {{0, 1}, {1, 0}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        launchers.shots.clear();
        AIDriver* d = Drive(taxi);
        Vehicle* car = d->vehicle;
        Vehicle* target = flat.AddCar(taxi, c.distance * std::sin(c.bearing), -c.distance * std::cos(c.bearing));
        d->mode = c.mode;
        d->target = target;
        d->currentNode = Node(0);
        d->route = {Node(1)};
        car->SetWeapon(flat.context.itemPools[c.kind].Take());
        ASSERT_NE(car->items.weapon, nullptr);
        auto* gun = WeaponOf<ChainGunWeapon>(car);
        if (gun && c.firingBefore) gun->firing = 1;
        if (auto* flamer = WeaponOf<FlamerWeapon>(car); flamer && c.firingBefore) flamer->StartFiring();
        if (c.ownSpeed > 0.0f) {
            const Vector3 v(0, 0, -c.ownSpeed);
            car->ChassisBody()->SetLinearVelocity(v);
            for (int w = 0; w < 4; ++w) car->WheelBody(w)->SetLinearVelocity(v);
        }
        flat.Frame();
        if (gun) EXPECT_EQ(gun->firing != 0, c.firing);
        if (auto* flamer = WeaponOf<FlamerWeapon>(car)) EXPECT_EQ(flamer->Burning(), c.firing);
        std::string kinds;
        for (const auto& s : launchers.shots) kinds += s.kind;
        EXPECT_EQ(kinds, c.launched);
        for (const auto& s : launchers.shots) {
            if (s.kind == 'm') EXPECT_EQ(s.target, target->ChassisGeom()) << "locked on the target";
            if (s.kind == 'g') EXPECT_NEAR(s.value, 1400.0f / c.ownSpeed, 0.15f) << "fuse: distance over speed";
        }
        // A second frame: no second launch within three seconds.
        if (!launchers.shots.empty() && c.kind != ItemKind::GrenadeThrower && car->items.weapon) {
            const size_t before = launchers.shots.size();
            flat.Frame();
            EXPECT_EQ(launchers.shots.size(), before);
        }
        car->SetWeapon(nullptr);
        TearDown();
        flat.context.launchers = &launchers;
        recorders.clear();
        flat.context.ownedVehicles.clear();
        flat.context.vehicles.clear();
    }
    flat.context.launchers = nullptr;
}

// A target that is wrecked is dropped, and the gun stops.
TEST_F(DriverTest, AWreckedTargetIsDroppedAndTheGunStops) {
    InstallWeaponFactories(flat.context);
    Graph({{0, 0, 0}, {0, 0, -3000}}, {{0, 1}, {1, 0}});
    AIDriver* d = Drive(taxi);
    Vehicle* target = flat.AddCar(taxi, 0.0f, -500.0f);
    d->mode = AIDriver::Chase;
    d->target = target;
    d->currentNode = Node(0);
    d->route = {Node(1)};
    d->vehicle->SetWeapon(flat.context.itemPools[ItemKind::ChainGun].Take());
    auto* gun = WeaponOf<ChainGunWeapon>(d->vehicle);
    ASSERT_NE(gun, nullptr);
    flat.Frame();
    ASSERT_EQ(gun->firing, 1);
    target->damage.health = 0.0f;
    flat.Frame();
    EXPECT_EQ(d->target, nullptr);
    EXPECT_EQ(gun->firing, 0);
    flat.Frames(5);
    EXPECT_EQ(gun->firing, 0) << "nothing to shoot at";
    d->vehicle->SetWeapon(nullptr);
}

// The police car's siren runs while its opponent driver drives and stops when the car is wrecked
// and when the driver goes; the car drives with the handling template's handling meanwhile and
// gets its own definition back.
TEST_F(DriverTest, TheSirenStopsOnAWreckAndWhenTheDriverGoes) {
    Graph({{0, 0, 0}, {0, 0, -900}, {-900, 0, -900}}, {{0, 1}, {1, 2}, {2, 0}});
    const CarDefinition* ambulance = CarCatalogue::Instance().FindByFlag(kCarAiTemplate);
    ASSERT_NE(ambulance, nullptr);
    for (const bool wreck : {true, false}) {
        SCOPED_TRACE(wreck ? "wrecked" : "driver removed");
        auto* d = Drive<OpponentDriver>(police);
        Vehicle* car = d->vehicle;
        auto* siren = dynamic_cast<CopSirenSpecial*>(car->items.specials.empty() ? nullptr : car->items.specials.front());
        ASSERT_NE(siren, nullptr);
        EXPECT_EQ(siren->active, 0);
        d->PlaceAt(Vector3(10, 0, 10), Matrix4(), false);
        d->mode = AIDriver::Chase;
        EXPECT_EQ(siren->active, 1);
        ASSERT_NE(car->definition, police) << "a private copy";
        EXPECT_EQ(car->definition->handling, ambulance->handling);
        EXPECT_EQ(car->definition->name, police->name);
        flat.Frames(30);
        EXPECT_EQ(siren->active, 1) << "on while it drives";
        if (wreck) {
            car->damage.health = 0.0f;
            flat.Frame();
            EXPECT_EQ(siren->active, 0);
        } else {
            d->StopChase();
            EXPECT_EQ(siren->active, 0) << "the chase is over";
            EXPECT_FALSE(d->homing);
            siren->Start();
            drivers.clear(); // as the traffic removes an opponent
            EXPECT_EQ(siren->active, 0);
            EXPECT_EQ(car->definition, police) << "its own definition back";
            EXPECT_EQ(car->controller, nullptr);
            flat.Frames(3);
        }
        TearDown();
        recorders.clear();
        flat.context.ownedVehicles.clear();
        flat.context.vehicles.clear();
    }
}

// Placed with the route flag, an opponent gives up within 300 of home and only brakes; made as
// the traffic makes them (no route flag) it never does.
TEST_F(DriverTest, AnOpponentGivesUpNearHomeOnlyWhenPlacedWithTheRouteFlag) {
    Graph({{0, 0, 0}, {0, 0, -900}, {-900, 0, -900}}, {{0, 1}, {1, 2}, {2, 0}});
    for (const bool routeFlag : {false, true}) {
        SCOPED_TRACE(routeFlag ? "route flag" : "no route flag");
        auto* d = Drive<OpponentDriver>(police);
        d->graph = flat.world.graphs.driver.get();
        d->PlaceAt(Vector3(0, 0, 50), Matrix4(), routeFlag);
        EXPECT_EQ(d->homing, routeFlag);
        flat.Frames(250);
        EXPECT_EQ(d->halted, routeFlag);
        const auto& last = Recorder(d).Last();
        if (routeFlag) {
            EXPECT_EQ(last.controls.brake, OpponentDriver::kHaltBrake);
            EXPECT_EQ(last.controls.throttle, 0.0f);
        } else {
            EXPECT_GT(FlatDistance(last.position, Vector3(0, 0, 50)), 300.0f) << "drove off";
        }
        TearDown();
        recorders.clear();
        flat.context.ownedVehicles.clear();
        flat.context.vehicles.clear();
    }
}

// A road that ends: the route never takes a null node; the car stops at the end and brakes. A
// way on that is taken is waited for and driven once free. Placed where no node is free, the
// driver has no route and only brakes.
TEST_F(DriverTest, AtADeadEndTheRouteKeepsItsNodesAndTheCarBrakes) {
    Graph({{0, 0, 0}, {0, 0, -500}, {0, 0, -1000}, {0, 0, -1500}}, {{0, 1}, {1, 2}, {2, 3}});
    Node(3)->occupancy = 1; // the way on from the end is taken, then freed
    Node(3)->links.push_back(Node(0));
    AIDriver* d = Drive(taxi);
    d->PlaceAt(Vector3(), Matrix4(), false);
    ASSERT_EQ(d->route.front(), Node(1));
    int nulls = 0, empty = 0;
    Run(testing_support::UnevenFrames(), 15.0f, [&] {
        empty += d->route.empty() ? 1 : 0;
        nulls += int(std::count(d->route.begin(), d->route.end(), nullptr));
    });
    EXPECT_EQ(nulls, 0);
    EXPECT_EQ(empty, 0) << "the last node stays";
    const auto& last = Recorder(d).Last();
    EXPECT_LT(FlatDistance(last.position, Node(2)->position), 80.0f) << "waits at the end";
    EXPECT_LT(d->vehicle->GetLinearVelocity().Length(), 30.0f);
    EXPECT_GT(last.controls.brake, 0.0f);
    EXPECT_EQ(d->route.back(), Node(2));

    Node(3)->occupancy = 0;
    flat.Frames(450);
    EXPECT_NE(std::find(d->visited.begin(), d->visited.end(), Node(3)), d->visited.end()) << "drove on once free";

    // No free node anywhere.
    for (RoadNode& n : flat.world.graphs.driver->nodes) n.occupancy = 1;
    AIDriver* stranded = Drive(taxi, 300.0f, 0.0f);
    stranded->PlaceAt(Vector3(300, 0, 0), Matrix4(), false);
    EXPECT_TRUE(stranded->route.empty());
    EXPECT_EQ(stranded->currentNode, nullptr);
    flat.Frames(10);
    EXPECT_EQ(Recorder(stranded).Last().controls.brake, 1.0f);
    EXPECT_EQ(Recorder(stranded).Last().controls.throttle, 0.0f);
}

// A block across the +x half of the road ahead: the +x ray feels it, the car swerves the other
// way at full lock and passes it.
TEST_F(DriverTest, TheRaysSteerTheCarAwayFromAWallAhead) {
    Graph({{0, 0, 0}, {0, 0, -4000}, {-4000, 0, -4000}}, {{0, 1}, {1, 2}, {2, 0}});
    AIDriver* d = Drive(taxi);
    d->PlaceAt(Vector3(), Matrix4(), false);
    Wall(Vector3(60, 20, -900), Vector3(60, 20, 10));
    InputRecorder& rec = Recorder(d);
    bool swerved = false;
    float xAtWall = 1e9f;
    float lowestHealth = d->vehicle->damage.GetHealth();
    Run(testing_support::UnevenFrames(), 9.0f, [&] {
        const auto& s = rec.Last();
        if (s.position.z > -900.0f && s.controls.steerInput == -1.0f) swerved = true;
        if (xAtWall == 1e9f && s.position.z < -900.0f) xAtWall = s.position.x;
        lowestHealth = std::min(lowestHealth, d->vehicle->damage.GetHealth());
    });
    EXPECT_TRUE(swerved) << "full lock away from the block";
    EXPECT_LT(xAtWall, -HalfBody.x) << "passed on the free side";
    EXPECT_EQ(lowestHealth, d->vehicle->damage.maxHealth) << "never touched it";
}
