// Fares with real cars on flat ground: which car a fare goes for, when it walks, waves, gets in,
// how it judges the ride and what it tells the mode; the hailing pedestrians' destinations and
// tariff; the currency pedestrians' colour, price, allowance and state record; and the cars'
// side of taking, delivering and forgetting their passengers.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "engine/audio/AudioDevice.h"
#include "game/traffic/CurrencyPedestrian.h"
#include "game/traffic/Fare.h"
#include "game/traffic/HailingPedestrian.h"
#include "game/traffic/PedestrianController.h"
#include "game/traffic/PedestrianType.h"
#include "game/traffic/StreetEvents.h"
#include "game/world/LevelData.h"
#include "game/world/PhysicsGeom.h"
#include "game/world/RigidBody.h"
#include "platform/sys/Random.h"
#include "tests/vehicles/VehicleTestSupport.h"
#include "tools/writers/MeshShapes.h"
#include "tools/writers/MeshWriter.h"

namespace {

// Remembers the names of the sounds played.
class RecordingSound : public NullAudioDevice {
public:
    void PlaySound(const SharedString& name, float, PlaybackObserver*) override { played.emplace_back(name.c_str()); }
    void PlaySound3D(const SharedString& name, const Vector3&, float, float, float, PlaybackObserver*) override {
        played.emplace_back(name.c_str());
    }
    int Count(const std::string& part) const {
        int n = 0;
        for (const std::string& p : played)
            if (p.find(part) != std::string::npos) ++n;
        return n;
    }
    std::vector<std::string> played;
};

class RecordingFareEvents : public StreetEvents {
public:
    void OnFareBoarded(Vehicle* cab, Fare& fare) override { calls.push_back({"boarded", cab, &fare}); }
    void OnFareGotOut(Vehicle* cab, Fare& fare) override { calls.push_back({"got out", cab, &fare}); }
    void OnFareDelivered(Vehicle* cab, Fare& fare) override {
        calls.push_back({"delivered", cab, &fare});
        deliveredPrice = fare.Price();
    }
    void OnFareFailed() override { calls.push_back({"failed", nullptr, nullptr}); }
    struct Call {
        std::string what;
        Vehicle* cab;
        Fare* fare;
    };
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const Call& c : calls) names.push_back(c.what);
        return names;
    }
    std::vector<Call> calls;
    int32_t deliveredPrice = -1;
};

using Names = std::vector<std::string>;

class FareTest : public vehicle_test::VehicleTest {
protected:
    void SetUp() override {
        vehicle_test::VehicleTest::SetUp();
        plat::SetEngineRandSeed(11);
        dir.WriteBytes("Pedestrians/PED01.VQP", "");
        std::filesystem::create_directories("Pedestrians/PED01");
        ASSERT_TRUE(tools::WriteZkm("Pedestrians/PED01/Body.ZKM", tools::FigureModel("Figure.ZKT")));
        ASSERT_TRUE(tools::WriteZka("Pedestrians/PED01/Walk.ZKA", tools::WaveAnimation(4, 0.25f)));
        ASSERT_TRUE(tools::WriteZka("Pedestrians/PED01/Wave1.ZKA", tools::WaveAnimation(4, 0.25f)));
        for (const char* voice : {"Posi1.wav", "Nega1.wav", "Wave1.wav"})
            dir.WriteBytes(std::string("Pedestrians/PED01/") + voice, "RIFF");
        flat.engine.services.sound = &sound;
        type = std::make_unique<PedestrianType>(SharedString("PED01.VQP"), flat.engine.services);
        site.world = &flat.world;
        site.vehicles = &flat.context;
        site.events = &events;
    }

    // The cars go while the sound device they play on is still here.
    void TearDown() override {
        flat.context.vehicles.clear();
        flat.context.ownedVehicles.clear();
    }

    template <class Kind = Fare>
    std::unique_ptr<Kind> Make(const Vector3& at) {
        auto p = std::make_unique<Kind>(*type, site);
        p->SetPosition(at);
        p->state = Pedestrian::Standing;
        return p;
    }
    // A car of the taxi kind at (x, z), moving along x at the speed (or with the velocity).
    Vehicle* Car(float x, float z, float speed = 0.0f, int32_t capacity = 1) {
        return Car(x, z, Vector3(speed, 0, 0), capacity);
    }
    Vehicle* Car(float x, float z, const Vector3& velocity, int32_t capacity = 1) {
        Vehicle* car = flat.AddCar(taxi, x, z);
        car->cab.singlePassenger = capacity;
        car->ChassisBody()->SetLinearVelocity(velocity);
        return car;
    }
    void Frame(Fare& fare, float dt = vehicle_test::Step) { fare.Update(flat.world, nullptr, dt); }
    float CarHeight() const { return vehicle_test::WheelRadius - 1.4f; }
    // A drop point at (x, z), on the ground.
    int32_t AddDropPoint(float x, float z, const char* name = "Harbour") {
        DropPoint d;
        d.position = Vector3(x, 0, z);
        d.name = SharedString(name);
        d.variants = {1};
        flat.world.dropPoints.push_back(d);
        return int32_t(flat.world.dropPoints.size()) - 1;
    }

    RecordingSound sound;
    RecordingFareEvents events;
    std::unique_ptr<PedestrianType> type;
    PedestrianSite site;
};

TEST_F(FareTest, ItGoesForTheNearestCarWithRoomAndInState8MeasuresToTheNextDoor) {
    // Equal distance: the car earlier in the list.
    {
        Vehicle* first = Car(60, 0);
        Car(-60, 0);
        auto fare = Make(Vector3(0, CarHeight(), 0));
        Vector3 point;
        float d = 0;
        EXPECT_EQ(fare->FindCab(point, d), first);
        EXPECT_FLOAT_EQ(d, 3600.0f);
        flat.context.vehicles.clear();
        flat.context.ownedVehicles.clear();
    }
    // A car for one with a passenger never attracts it; a car for three with two aboard does,
    // though it is farther.
    {
        auto rider = Make(Vector3(500, 0, 500));
        auto second = Make(Vector3(500, 0, 500));
        Vehicle* full = Car(20, 0, 0, 1);
        full->cab.passenger = rider.get();
        Vehicle* roomy = Car(0, 120, 0, 3);
        roomy->cab.passengers = {rider.get(), second.get()};
        roomy->cab.passenger = rider.get();
        auto fare = Make(Vector3(0, CarHeight(), 0));
        Vector3 point;
        float d = 0;
        EXPECT_EQ(fare->FindCab(point, d), roomy);
        // Walking to it, it aims at the third door: the one the next passenger takes.
        fare->state = Fare::WalkingToCab;
        EXPECT_EQ(fare->FindCab(point, d), roomy);
        const Vector3 door = roomy->GetDoorPoint(2);
        EXPECT_FLOAT_EQ(point.x, door.x);
        EXPECT_FLOAT_EQ(point.z, door.z);
        roomy->cab.passengers.clear();
        roomy->cab.passenger = nullptr;
        full->cab.passenger = nullptr;
    }
}

TEST_F(FareTest, ANearSlowCarIsWalkedToAFastOrFarOneWavedAtAndWithin5ItGetsIn) {
    // Velocities whose squares are exactly 250 and just under it.
    const Vector3 still, justSlow(15.0f, 0.0f, 4.99f), tooFast(15.0f, 0.0f, 5.0f);
    struct Row {
        float distance;
        Vector3 velocity;
        int32_t state;
    } rows[] = {
        {60.0f, justSlow, Fare::WalkingToCab}, // near and slow enough: walks to its door
        {60.0f, tooFast, Pedestrian::Waiting},  // squared speed 250: waves
        {120.0f, still, Pedestrian::Waiting},   // beyond 100: waves
        {160.0f, still, Pedestrian::Standing},  // beyond 150: not noticed
        {4.9f, still, Fare::InCab},             // within 5: in
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "distance " << row.distance << ", speed squared " << row.velocity.LengthSquared());
        events.calls.clear();
        Vehicle* car = Car(row.distance, 0, row.velocity);
        auto fare = Make(Vector3(0, CarHeight(), 0));
        Frame(*fare);
        EXPECT_EQ(fare->state, row.state);
        if (row.state == Fare::WalkingToCab) EXPECT_FLOAT_EQ(fare->speed, Fare::kWalkToCabSpeed);
        if (row.state == Fare::InCab) {
            EXPECT_EQ(car->cab.passenger, fare.get());
            EXPECT_EQ(fare->cab, car);
            EXPECT_EQ(events.Names(), Names{"boarded"});
            EXPECT_EQ(events.calls[0].cab, car);
            car->DropPassenger();
        } else {
            EXPECT_EQ(car->cab.passenger, nullptr);
            EXPECT_TRUE(events.calls.empty());
        }
        flat.context.vehicles.clear();
        flat.context.ownedVehicles.clear();
    }
}

TEST_F(FareTest, AWaverWithSomewhereToGoWalksOnOnceNoCarIsNear) {
    flat.world.graphs.pedestrian = std::make_unique<RoadGraph>();
    RoadGraph& graph = *flat.world.graphs.pedestrian;
    graph.Resize(2);
    graph.nodes[0].position = Vector3(0, 0, 0);
    graph.nodes[1].position = Vector3(0, 0, 400);
    graph.nodes[0].links.push_back(&graph.nodes[1]);
    graph.nodes[1].links.push_back(&graph.nodes[0]);
    Vehicle* car = Car(120, 0);
    auto fare = Make(Vector3(0, CarHeight(), 0));
    fare->previousNode = &graph.nodes[0];
    fare->targetNode = &graph.nodes[1];
    Frame(*fare);
    ASSERT_EQ(fare->state, Pedestrian::Waiting);
    EXPECT_EQ(sound.Count("Wave1.wav"), 1) << "a wave starts with a call";
    car->SetPosition(Vector3(2000, CarHeight(), 0));
    Frame(*fare);
    EXPECT_EQ(fare->state, Pedestrian::Walking);
}

// The verdict: slower than 70 km/h over the straight line, or more damage than a fifth of the
// car's health, is a bad ride (the Nega voice); the hook is the caller's choice.
TEST_F(FareTest, TheArrivalVerdictAndItsHook) {
    struct Row {
        const char* name;
        float distance, rideTime, rideDamage;
        bool success;
        const char* voice;
        const char* hook;
    } rows[] = {
        {"exactly 70 km/h", 194.44444f, 1.0f, 0.0f, true, "Posi", "delivered"},
        {"just under 70 km/h", 194.4f, 1.0f, 0.0f, true, "Nega", "delivered"},
        {"damage exactly a fifth", 1000.0f, 1.0f, 200.0f, true, "Posi", "delivered"},
        {"damage over a fifth", 1000.0f, 1.0f, 200.1f, true, "Nega", "delivered"},
        {"no ride time", 0.0f, 0.0f, 0.0f, true, "Posi", "delivered"},
        {"a good ride that failed", 1000.0f, 1.0f, 0.0f, false, "Posi", "failed"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        sound.played.clear();
        events.calls.clear();
        Vehicle* car = Car(0, 0);
        auto fare = Make(Vector3(0, 0, 0));
        car->AddPassenger(*fare);
        fare->state = Fare::InCab;
        fare->SetPosition(Vector3(0, 0, 0));
        fare->boardPosition = Vector3(-row.distance, 0, 0);
        fare->rideTime = row.rideTime;
        fare->rideDamage = row.rideDamage;
        events.calls.clear();
        fare->Arrive(row.success);
        EXPECT_EQ(sound.Count(std::string(row.voice) + "1.wav"), 1);
        EXPECT_EQ(sound.played.size(), 1u);
        EXPECT_EQ(events.Names(), Names{row.hook});
        // Out at the car's first door, standing (it has nowhere to walk).
        EXPECT_EQ(fare->state, Pedestrian::Standing);
        EXPECT_FLOAT_EQ(fare->leaveTimer, Fare::kLeaveTime);
        const Vector3 door = car->GetDoorPoint(0), at = fare->GetPosition();
        EXPECT_NEAR(at.x, door.x, 1e-3f);
        EXPECT_NEAR(at.z, door.z, 1e-3f);
        flat.context.vehicles.clear();
        flat.context.ownedVehicles.clear();
    }
}

TEST_F(FareTest, ForThreeSecondsAfterGettingOutNoContactCounts) {
    Vehicle* car = Car(0, 0);
    Vehicle* other = Car(300, 0, 100.0f);
    auto fare = Make(Vector3(0, 0, 0));
    car->AddPassenger(*fare);
    car->DropPassenger();
    car->SetPosition(Vector3(0, CarHeight(), 2000));  // driven off
    ASSERT_EQ(fare->cab, nullptr);
    ASSERT_EQ(events.Names(), (Names{"boarded", "got out"}));
    PhysicsGeom* fast = other->ChassisGeom();
    EXPECT_TRUE(fare->IgnorePair(fare->geom.get(), fast));
    // Uneven frames adding up to just under 3 s, then past it.
    const float frames[] = {0.013f, 0.05f, 0.021f, 0.1f};
    float t = 0.0f;
    for (int i = 0; t + 0.1f < 2.9f; ++i) {
        Frame(*fare, frames[i % 4]);
        t += frames[i % 4];
    }
    EXPECT_TRUE(fare->IgnorePair(fare->geom.get(), fast));
    while (t <= 3.0f) {
        Frame(*fare, 0.05f);
        t += 0.05f;
    }
    EXPECT_FLOAT_EQ(fare->leaveTimer, 0.0f);
    EXPECT_FALSE(fare->IgnorePair(fare->geom.get(), fast)) << "a fast car counts again";
}

TEST_F(FareTest, ACarTakesOneRiderOrAListAndDeliversOnlyWhenSlowOrForced) {
    // One at a time: the passenger, no list.
    {
        Vehicle* car = Car(0, 0);
        auto fare = Make(Vector3(0, 0, 0));
        car->AddPassenger(*fare);
        EXPECT_EQ(car->cab.passenger, fare.get());
        EXPECT_TRUE(car->cab.passengers.empty());
        EXPECT_EQ(fare->cab, car);
        EXPECT_EQ(car->cab.doorOpening, 1);
        car->DropPassenger();
    }
    // Several: the first is the passenger, each gets its place in the list.
    {
        Vehicle* car = Car(100, 0, 0, 3);
        auto a = Make(Vector3(0, 0, 0));
        auto b = Make(Vector3(0, 0, 0));
        car->AddPassenger(*a);
        car->AddPassenger(*b);
        EXPECT_EQ(car->cab.passenger, a.get());
        EXPECT_EQ(car->cab.passengers, (std::vector<Passenger*>{a.get(), b.get()}));
        EXPECT_EQ(a->seat, 0);
        EXPECT_EQ(b->seat, 1);
        EXPECT_EQ(b->cab, car);
        car->DeliverPassenger(true);
        EXPECT_EQ(car->cab.passenger, nullptr);
        EXPECT_EQ(car->cab.passengers, (std::vector<Passenger*>{b.get()}));
        EXPECT_EQ(a->cab, nullptr);
        car->cab.passengers.clear();
    }
    // A rider that will not board is not kept.
    {
        Vehicle* car = Car(200, 0);
        auto fare = Make(Vector3(0, 0, 0));
        fare->mayBoard = false;
        car->AddPassenger(*fare);
        EXPECT_EQ(car->cab.passenger, nullptr);
        EXPECT_EQ(fare->cab, nullptr);
    }
    // 20 km/h delivers, a hair faster waits, forced always delivers.
    struct Row {
        float speed;
        bool force, delivered;
    } rows[] = {{55.55555f, false, true}, {55.5556f, false, false}, {200.0f, true, true}, {0.0f, false, true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "speed " << row.speed << (row.force ? " forced" : ""));
        events.calls.clear();
        Vehicle* car = Car(300, 0);
        auto fare = Make(Vector3(0, 0, 0));
        car->AddPassenger(*fare);
        car->ChassisBody()->SetLinearVelocity(Vector3(row.speed, 0, 0));
        car->DeliverPassenger(row.force);
        EXPECT_EQ(car->cab.passenger == nullptr, row.delivered);
        EXPECT_EQ(events.Names().back(), row.delivered ? "delivered" : "boarded");
    }
}

TEST_F(FareTest, TheTillRingsOnlyInZones1And2) {
    for (int32_t zone : {0, 1, 2, 3}) {
        SCOPED_TRACE(zone);
        sound.played.clear();
        flat.session.zone = zone;
        Vehicle* car = Car(0, 0);
        auto fare = Make(Vector3(0, 0, 0));
        car->AddPassenger(*fare);
        car->DeliverPassenger(false);
        EXPECT_EQ(sound.Count("Cash.WAV"), zone == 1 || zone == 2 ? 1 : 0);
        flat.context.vehicles.clear();
        flat.context.ownedVehicles.clear();
    }
}

// A wreck puts its rider out and the blast hurts it: it is knocked down and will not get up.
TEST_F(FareTest, ARiderHitAsItsCarIsWreckedIsKnockedDownForGood) {
    Vehicle* car = Car(0, 0);
    auto fare = Make(Vector3(0, 0, 0));
    car->AddPassenger(*fare);
    car->DropPassenger();
    fare->TakeHit(100000.0f, 3);
    EXPECT_EQ(fare->state, Pedestrian::Knocked);
    EXPECT_FLOAT_EQ(fare->health, 0.0f);
}

TEST_F(FareTest, AGoneCarLeavesNoRiderPointingAtIt) {
    auto a = Make(Vector3(0, 0, 0));
    auto b = Make(Vector3(0, 0, 0));
    {
        Vehicle* car = Car(0, 0, 0, 3);
        car->AddPassenger(*a);
        car->AddPassenger(*b);
        ASSERT_EQ(a->cab, car);
        flat.context.vehicles.clear();
        flat.context.ownedVehicles.clear();
    }
    EXPECT_EQ(a->cab, nullptr);
    EXPECT_EQ(b->cab, nullptr);
}

// A wrecked cab puts its rider out once, once the step is over, and the blast kills it; bringing
// the car back puts nobody out again.
TEST_F(FareTest, AWreckedCabsRiderGetsOutOnceAndDies) {
    auto fare = Make(Vector3(0, 0, 0));
    Vehicle* car = Car(0, 0);
    car->AddPassenger(*fare);
    ASSERT_EQ(fare->cab, car);
    flat.Frames(5);
    car->damage.TakeDamage(5000.0f, DamageBlast, nullptr);
    EXPECT_EQ(fare->cab, car) << "not inside the hit";
    flat.Frame();
    EXPECT_EQ(fare->cab, nullptr);
    EXPECT_EQ(car->cab.passenger, nullptr);
    EXPECT_EQ(fare->GetHealth(), 0.0f);
    EXPECT_EQ(events.Names(), (Names{"boarded", "got out"}));
    car->Respawn(false);
    EXPECT_EQ(events.Names(), (Names{"boarded", "got out"}));
}

TEST_F(FareTest, BoardingLightsTheDestinationAndEveryEndOfTheRidePutsItOut) {
    const int32_t harbour = AddDropPoint(3000, 0);
    for (int end = 0; end < 3; ++end) {
        SCOPED_TRACE(end);
        Vehicle* car = Car(0, 0);
        auto fare = Make<HailingPedestrian>(Vector3(0, 0, 0));
        fare->SetDestination(harbour);
        EXPECT_EQ(fare->names[2], SharedString("Harbour"));
        fare->SetDestination(99);  // out of range: kept
        ASSERT_EQ(fare->Destination(), &flat.world.dropPoints[size_t(harbour)]);
        car->AddPassenger(*fare);
        EXPECT_TRUE(flat.world.dropPoints[size_t(harbour)].IsActive());
        if (end == 0) fare->Arrive(true);
        if (end == 1) fare->Arrive(false);
        if (end == 2) car->DropPassenger();
        EXPECT_FALSE(flat.world.dropPoints[size_t(harbour)].IsActive());
        flat.context.vehicles.clear();
        flat.context.ownedVehicles.clear();
    }
}

TEST_F(FareTest, TheTariffComesFromTheKindsEntryElseTheDefault) {
    auto plain = Make<HailingPedestrian>(Vector3());
    EXPECT_FLOAT_EQ(plain->tariff, HailingPedestrian::kDefaultTariff);
    EXPECT_FLOAT_EQ(plain->limit, 200.0f);
    EXPECT_FLOAT_EQ(plain->spare, 0.9f);
    // Two entries; the second is this kind's (named in lower case), its values beside it.
    flat.engine.SetText(8880000, "2");
    flat.engine.SetText(8880001, "PED02");
    flat.engine.SetText(8880101, "ped01");
    const char* first[] = {"0", "0", "5", "0", "1", "1", "0", "0"};
    const char* second[] = {"0", "0", "0.5", "0", "300", "300", "0.7", "0"};
    for (int k = 0; k < 8; ++k) {
        flat.engine.SetText(8880002 + k, first[k]);
        flat.engine.SetText(8880102 + k, second[k]);
    }
    auto priced = Make<HailingPedestrian>(Vector3());
    EXPECT_FLOAT_EQ(priced->tariff, 0.5f);
    EXPECT_FLOAT_EQ(priced->limit, 300.0f);
    EXPECT_FLOAT_EQ(priced->tariffSpread, 0.7f);
}

// ---------------------------------------------------------------------------------------------
// Currency pedestrians

TEST_F(FareTest, TheSymbolGoesFromGreenThroughYellowToRed) {
    struct Row {
        float distance;
        uint32_t colour;
    } rows[] = {{0.0f, 0xFF00FF00u}, {7500.0f, 0xFFFFFF00u}, {15000.0f, 0xFFFF0000u}, {40000.0f, 0xFFFF0000u}};
    for (const Row& row : rows) {
        const int32_t point = AddDropPoint(row.distance, 0);
        auto p = Make<LocalCurrencyPedestrian>(Vector3(0, 0, 0));
        p->SetDestination(point);
        flat.world.Add(p.get());
        EXPECT_EQ(p->faderColour, row.colour) << row.distance;
        flat.world.Remove(p.get());
    }
}

TEST_F(FareTest, BothKindsPriceAndTimeTheirRideByTheDistance) {
    const int32_t point = AddDropPoint(7500, 0);
    auto network = Make<CurrencyPedestrian>(Vector3(0, 0, 0));
    auto local = Make<LocalCurrencyPedestrian>(Vector3(0, 0, 0));
    EXPECT_FALSE(network->looksForCabs);
    EXPECT_TRUE(local->looksForCabs);
    for (CurrencyPedestrianBase* p : {static_cast<CurrencyPedestrianBase*>(network.get()),
                                      static_cast<CurrencyPedestrianBase*>(local.get())}) {
        p->SetDestination(point);
        flat.world.Add(p);
        EXPECT_NEAR(p->timeAllowance, std::pow(0.5f, 0.7f) * 100.0f, 1e-3f);
    }
    EXPECT_EQ(network->price, int32_t(std::pow(0.5f, 0.875f) * network->tariff * 300.0f));
    EXPECT_EQ(local->price, int32_t(std::pow(0.5f, 0.875f) * 200.0f));
    EXPECT_EQ(local->priceCopy, local->price);
    // Boarding: the single-player kind takes x = d / 10000 and the square root.
    Vehicle* car = Car(0, 0);
    car->network.flagWord = VehicleNetwork::NetworkCarFlag | VehicleNetwork::PlayerCarFlag;
    car->AddPassenger(*local);
    EXPECT_NEAR(local->timeAllowance, std::sqrt(0.75f) * 100.0f, 1e-3f);
    EXPECT_EQ(local->price, int32_t(std::pow(0.75f, 0.875f) * 200.0f));
    EXPECT_EQ(car->network.flagWord, VehicleNetwork::NetworkCarFlag | VehicleNetwork::PlayerCarFlag)
        << "outside a drop run the car keeps its flags";
    car->DropPassenger();
    car->AddPassenger(*network);
    EXPECT_EQ(car->network.flagWord, VehicleNetwork::PlayerCarFlag);
    car->DropPassenger();
    flat.world.Remove(network.get());
    flat.world.Remove(local.get());
}

TEST_F(FareTest, TheNetworkKindFailsAtTheEndOfItsTimeTheLocalKindDrainsItsPriceFirst) {
    const int32_t point = AddDropPoint(5000, 0);
    Vehicle* car = Car(0, 0);
    // The network kind: out and failed the frame its allowance goes below 0.
    auto network = Make<CurrencyPedestrian>(Vector3(0, 0, 0));
    network->SetDestination(point);
    car->AddPassenger(*network);
    network->state = Fare::InCab;
    network->timeAllowance = 0.02f;
    Frame(*network, 0.01f);
    EXPECT_EQ(car->cab.passenger, network.get());
    Frame(*network, 0.015f);
    EXPECT_EQ(car->cab.passenger, nullptr);
    EXPECT_EQ(network->cab, nullptr);
    EXPECT_TRUE(network->destinations.empty());
    EXPECT_EQ(events.Names(), (Names{"boarded", "failed"}));
    events.calls.clear();

    // The local kind: at 75 frames a second its price falls 10 a second once the time is up,
    // and it fails only when the price is gone.
    auto local = Make<LocalCurrencyPedestrian>(Vector3(0, 0, 0));
    local->SetDestination(point);
    car->AddPassenger(*local);
    local->state = Fare::InCab;
    local->timeAllowance = 0.0f;
    local->price = 25;
    for (int i = 0; i < 75; ++i) Frame(*local, 1.0f / 75.0f);
    EXPECT_NEAR(local->price, 15, 1);
    EXPECT_FLOAT_EQ(local->timeAllowance, 0.0f);
    EXPECT_EQ(car->cab.passenger, local.get());
    int frames = 0;
    while (car->cab.passenger && frames < 1000) {
        Frame(*local, 1.0f / 75.0f);
        ++frames;
    }
    EXPECT_NEAR(frames, 113, 2) << "15 left at 10 a second: 1.5 s";
    EXPECT_EQ(events.Names(), (Names{"boarded", "failed"}));
}

TEST_F(FareTest, TheLocalKindAtItsDestinationIsDeliveredAndAlwaysCounts) {
    const int32_t point = AddDropPoint(100, 0);
    Vehicle* car = Car(0, 0);
    auto local = Make<LocalCurrencyPedestrian>(Vector3(0, 0, 0));
    local->SetDestination(point);
    flat.world.Add(local.get());
    car->AddPassenger(*local);
    local->state = Fare::InCab;
    local->rideDamage = 900.0f;  // a bad ride by the fare's own verdict
    const int32_t price = local->price;
    Frame(*local);
    EXPECT_EQ(car->cab.passenger, nullptr);
    EXPECT_EQ(events.Names(), (Names{"boarded", "delivered"}));
    EXPECT_EQ(events.deliveredPrice, price);
    EXPECT_TRUE(local->destinations.empty());
    flat.world.Remove(local.get());
}

TEST_F(FareTest, InADropRunTheLocalKindGivesUpItsDestinationButIsPricedByIt) {
    flat.session.gameType = LocalCurrencyPedestrian::kDropRunGameType;
    const int32_t point = AddDropPoint(10000, 0);
    Vehicle* car = Car(0, 0);
    car->network.flagWord = VehicleNetwork::NetworkCarFlag;
    auto local = Make<LocalCurrencyPedestrian>(Vector3(0, 0, 0));
    local->SetDestination(point);
    car->AddPassenger(*local);
    EXPECT_TRUE(local->destinations.empty());
    EXPECT_FALSE(flat.world.dropPoints[size_t(point)].IsActive()) << "the run's own target stays the only one lit";
    EXPECT_EQ(car->network.flagWord, 0u);
    EXPECT_NEAR(local->timeAllowance, 100.0f, 1e-3f);
    EXPECT_EQ(local->price, 200);
    local->state = Fare::InCab;
    Frame(*local);  // no destination: no arrival test
    EXPECT_EQ(car->cab.passenger, local.get());
    car->DropPassenger();
}

TEST_F(FareTest, TheStateRecordRoundTripsAndBadRecordsChangeNothing) {
    auto from = Make<CurrencyPedestrian>(Vector3(12, 3, -40));
    from->state = Fare::WalkingToCab;
    from->speed = 30.0f;
    from->health = 0.25f;
    from->SetOrientation(Quaternion(Vector3(0, 1, 0), 0.7f));
    uint8_t record[CurrencyPedestrian::kStateSize + 4];
    EXPECT_EQ(from->WriteState(record, 39), 40);
    std::memset(record, 0xAB, sizeof record);
    EXPECT_EQ(from->WriteState(record, 39), 40);
    EXPECT_EQ(record[0], 0xAB) << "a short buffer is left alone";
    ASSERT_EQ(from->WriteState(record, sizeof record), 40);
    EXPECT_EQ(record[40], 0xAB);

    auto to = Make<CurrencyPedestrian>(Vector3(0, 0, 0));
    to->ReadState(record, 40);
    EXPECT_EQ(to->state, Fare::WalkingToCab);
    EXPECT_FLOAT_EQ(to->speed, 30.0f);
    EXPECT_FLOAT_EQ(to->health, 0.25f);
    const Vector3 p = to->GetPosition();
    EXPECT_NEAR(p.x, 12, 1e-3f);
    EXPECT_NEAR(p.y, 3, 1e-3f);
    EXPECT_NEAR(p.z, -40, 1e-3f);

    auto bad = [&](const char* name, const std::function<void(uint8_t*)>& spoil, int32_t size) {
        SCOPED_TRACE(name);
        uint8_t copy[sizeof record];
        std::memcpy(copy, record, sizeof record);
        spoil(copy);
        auto target = Make<CurrencyPedestrian>(Vector3(1, 2, 3));
        target->speed = 5.0f;
        target->ReadState(copy, size);
        EXPECT_EQ(target->state, Pedestrian::Standing);
        EXPECT_FLOAT_EQ(target->speed, 5.0f);
        EXPECT_NEAR(target->GetPosition().x, 1.0f, 1e-4f);
    };
    bad("short", [](uint8_t*) {}, 39);
    bad("state 11", [](uint8_t* r) { r[0] = 11; }, 40);
    bad("huge state", [](uint8_t* r) { r[3] = 0x80; }, 40);
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    bad("NaN position", [&](uint8_t* r) { std::memcpy(r + 4, &nan, 4); }, 40);
    bad("infinite health", [&](uint8_t* r) { std::memcpy(r + 36, &inf, 4); }, 40);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// The cab missions' crowd

namespace {

class ControllerTest : public FareTest {
protected:
    void SetUp() override {
        FareTest::SetUp();
        PedestrianManager::ForgetCrowdForTests();
        // A pavement ring of 8 nodes 1750 from the origin, where the player's car stands.
        flat.world.graphs.pedestrian = std::make_unique<RoadGraph>();
        RoadGraph& g = *flat.world.graphs.pedestrian;
        g.Resize(8);
        for (size_t i = 0; i < 8; ++i) {
            const float a = float(i) * 0.785398f;
            g.nodes[i].position = Vector3(1750.0f * std::cos(a), 0, 1750.0f * std::sin(a));
            g.nodes[i].links = {&g.nodes[(i + 1) % 8], &g.nodes[(i + 7) % 8]};
        }
        g.BuildStrides();
        player = Car(0, 0);
        player->network.flagWord |= VehicleNetwork::PlayerCarFlag;
    }
    void TearDown() override {
        controller.reset();
        FareTest::TearDown();
        PedestrianManager::ForgetCrowdForTests();
    }
    std::unique_ptr<PedestrianController> controller;
    Vehicle* player = nullptr;
};

TEST_F(ControllerTest, WithoutDropPointsThereAreNoCurrencyPedestrians) {
    controller = std::make_unique<PedestrianController>(flat.world, &flat.context, &events);
    controller->Init();
    for (int i = 0; i < 20; ++i) controller->Update();
    EXPECT_TRUE(controller->currency.empty());
    EXPECT_TRUE(controller->active.empty());
}

TEST_F(ControllerTest, EightWaitRoundThePlayerWithDestinationsAndGoWithTheCrowd) {
    for (int k = 0; k < 4; ++k) AddDropPoint(1750.0f * float(k % 2 ? 1 : -1), 1750.0f * float(k / 2 ? 1 : -1), "Corner");
    controller = std::make_unique<PedestrianController>(flat.world, &flat.context, &events);
    controller->density = 0.25f;
    controller->Init();
    ASSERT_EQ(controller->currency.size(), 8u);
    EXPECT_EQ(controller->free.size(), 8u);
    for (int i = 0; i < 12; ++i) controller->Update();
    ASSERT_EQ(controller->active.size(), 8u) << "one a frame";
    EXPECT_TRUE(controller->free.empty());
    for (LocalCurrencyPedestrian* p : controller->active) {
        ASSERT_NE(p->Destination(), nullptr);
        const Vector3 from = p->previousNode->position, to = p->Destination()->position;
        EXPECT_GT((to.x - from.x) * (to.x - from.x) + (to.z - from.z) * (to.z - from.z), 100.0f * 100.0f);
        EXPECT_EQ(p->state, Pedestrian::Walking);
        EXPECT_GT(p->price, 0);
    }
    EXPECT_FALSE(PedestrianManager::Crowd().active.empty());
    // The player drives far away: crowd and fares leave in the same update.
    player->SetPosition(Vector3(20000, 5, 0));
    controller->Update();
    EXPECT_TRUE(PedestrianManager::Crowd().active.empty());
    EXPECT_TRUE(controller->active.empty());
    EXPECT_EQ(controller->free.size(), 8u);
}

TEST_F(ControllerTest, AResetTakesARidingFareOutOfItsCar) {
    AddDropPoint(3000, 0, "Far");
    controller = std::make_unique<PedestrianController>(flat.world, &flat.context, &events);
    controller->Init();
    controller->Update();
    ASSERT_EQ(controller->active.size(), 1u);
    LocalCurrencyPedestrian* fare = controller->active.front();
    player->AddPassenger(*fare);
    ASSERT_EQ(player->cab.passenger, fare);
    controller->Reset();
    EXPECT_EQ(player->cab.passenger, nullptr) << "no car keeps a fare the crowd took back";
    EXPECT_EQ(fare->cab, nullptr);
    EXPECT_EQ(controller->free.size(), 8u);
}

}  // namespace
