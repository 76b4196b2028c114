// Car items: the special list's rules, pools, and the special event's wire format and its
// receiver.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

#include "game/vehicles/CarItem.h"
#include "game/vehicles/ItemEvents.h"
#include "game/vehicles/ItemPool.h"
#include "game/vehicles/PlayerController.h"
#include "tests/vehicles/VehicleTestSupport.h"

using namespace vehicle_test;

namespace {

// A special that counts its starts and stops.
class Counting : public CarSpecial {
public:
    void Start() override { ++starts; }
    void Stop() override { ++stops; }
    int starts = 0;
    int stops = 0;
};

CarItem* Make(ItemPool& pool, bool exclusive = false) {
    CarItem* item = pool.Take();
    item->exclusive = exclusive ? 1 : 0;
    return item;
}

} // namespace

TEST_F(VehicleTest, TheSpecialListKeepsItsOrder) {
    Vehicle* car = flat.AddCar(taxi);
    ItemPool jumps([] { return new Counting; });
    ItemPool cannons([] { return new Counting; });
    auto* own = new Counting;
    own->permanent = 1;
    own->pooled = 0;
    car->AddSpecial(own);
    CarItem* cannon = Make(cannons);
    car->AddSpecial(cannon);
    EXPECT_EQ(car->items.specials, (std::vector<CarItem*>{cannon, own})) << "the newest pickup goes first";
    CarItem* jump = Make(jumps, true);
    car->AddSpecial(jump);
    EXPECT_EQ(car->items.specials.front(), jump);
    CarItem* secondJump = Make(jumps, true);
    car->AddSpecial(secondJump);
    EXPECT_EQ(car->items.specials, (std::vector<CarItem*>{secondJump, cannon, own})) << "an exclusive replaces the last";
    EXPECT_TRUE(jumps.Holds(jump));
    EXPECT_EQ(jump->owner, nullptr);
    CarItem* anotherCannon = Make(cannons);
    car->AddSpecial(anotherCannon);
    EXPECT_EQ(car->items.specials[1], anotherCannon) << "second behind an exclusive";
    EXPECT_EQ(anotherCannon->owner, car);

    // Used up: a pooled item goes back to its pool, a permanent one is never removed by itself.
    static_cast<CarSpecial*>(anotherCannon)->UsedUp();
    EXPECT_TRUE(cannons.Holds(anotherCannon));
    own->UsedUp();
    EXPECT_EQ(car->items.specials.back(), own);
    // A respawn strips every special but the car's own, wherever it sits.
    car->items.specials = {cannon, own, secondJump};
    car->Respawn(false);
    EXPECT_EQ(car->items.specials, (std::vector<CarItem*>{own}));
    EXPECT_TRUE(cannons.Holds(cannon));
    EXPECT_TRUE(jumps.Holds(secondJump));
}

TEST_F(VehicleTest, APermanentSpecialTakesTheFirstPlaceWhateverHeldIt) {
    // The list before, by name; the permanent newcomer replaces the first entry (which goes back
    // to its pool, or is destroyed when it has none) and leaves the rest where they were.
    struct Case {
        std::vector<const char*> before;
        std::vector<const char*> after;
    };
    const Case cases[] = {
        {{}, {"new"}},
        {{"own"}, {"new"}},
        {{"cannon", "own"}, {"new", "own"}},
        {{"jump", "cannon", "own"}, {"new", "cannon", "own"}},
    };
    for (const Case& c : cases) {
        Vehicle* car = flat.AddCar(taxi);
        ItemPool pool([] { return new Counting; });
        std::map<std::string, CarItem*> byName;
        std::vector<CarItem*> before;
        for (const char* name : c.before) {
            CarItem* item = pool.Take();
            if (std::string(name) == "own") item->permanent = 1;
            if (std::string(name) == "jump") item->exclusive = 1;
            byName[name] = item;
            before.push_back(item);
        }
        car->items.specials = before;
        for (CarItem* item : before) item->owner = car;
        auto* fresh = new Counting;
        fresh->permanent = 1;
        fresh->pooled = 0;
        byName["new"] = fresh;
        car->AddSpecial(fresh);
        std::vector<CarItem*> expected;
        for (const char* name : c.after) expected.push_back(byName[name]);
        EXPECT_EQ(car->items.specials, expected) << c.before.size() << " before";
        EXPECT_EQ(fresh->owner, car);
        if (!before.empty()) {
            EXPECT_TRUE(pool.Holds(before.front())) << "the replaced entry goes back to its pool";
            EXPECT_EQ(before.front()->owner, nullptr);
        }
        // The car goes before its pool.
        std::erase_if(flat.context.ownedVehicles, [car](const std::unique_ptr<Vehicle>& v) { return v.get() == car; });
    }
}

TEST(ItemPools, TakingFromAPoolClearsTheActiveByteAndThePermanentFlag) {
    ItemPool pool([] { return new Counting; });
    CarItem* item = pool.Take();
    item->active = 1;
    item->permanent = 1;
    pool.Return(item);
    CarItem* again = pool.Take();
    ASSERT_EQ(again, item);
    EXPECT_EQ(again->active, 0);
    EXPECT_EQ(again->permanent, 0);
    pool.Return(again);
}

TEST(ItemPools, TakeReturnAndPreload) {
    int made = 0;
    ItemPool pool([&made] {
        ++made;
        return new Counting;
    });
    CarItem* a = pool.Take();
    EXPECT_EQ(made, 1) << "an empty pool builds";
    a->permanent = 1;
    a->Attach(nullptr);
    EXPECT_EQ(pool.Size(), 1u);
    a->Attach(nullptr);
    EXPECT_EQ(pool.Size(), 1u) << "never twice";
    CarItem* again = pool.Take();
    EXPECT_EQ(again, a);
    EXPECT_EQ(again->permanent, 0) << "the taker's copy is not the car's own";
    EXPECT_EQ(made, 1);
    pool.Return(again);
    pool.Preload();
    EXPECT_EQ(pool.Size(), 2u);
    ItemPool none;
    EXPECT_EQ(none.Take(), nullptr);
}

TEST(ItemEvents, SpecialEventBytesAndTheirChecks) {
    SpecialEvent e;
    e.playerId = 0x01020304;
    e.on = 1;
    e.index = -1;
    uint8_t frame[SpecialEvent::FrameSize];
    EncodeSpecialEvent(e, frame);
    const uint8_t expected[16] = {39, 0, 0, 0, 4, 3, 2, 1, 1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(std::memcmp(frame, expected, 16), 0);
    SpecialEvent back;
    ASSERT_TRUE(DecodeSpecialEvent(frame + 1, 15, back));
    EXPECT_EQ(back.playerId, e.playerId);
    EXPECT_EQ(back.on, 1);
    EXPECT_EQ(back.index, -1);
    EXPECT_FALSE(DecodeSpecialEvent(frame + 1, 14, back)) << "short";
    EXPECT_FALSE(DecodeSpecialEvent(frame + 1, -1, back));
    EXPECT_FALSE(DecodeSpecialEvent(nullptr, 15, back));
    for (uint8_t c = 30; c < 45; ++c) {
        const int32_t size = ItemFrameSize(c);
        EXPECT_EQ(size != 0, c >= 34 && c <= 39) << int(c);
    }
}

TEST_F(VehicleTest, AReceivedSpecialEventStartsItOnlyOnAKnownRemoteCarsListedSpecial) {
    Vehicle* remote = flat.AddCar(taxi, 0.0f, 0.0f);
    Vehicle* local = flat.AddCar(taxi, 200.0f, 0.0f);
    remote->network.networkPlayerId = 7;
    local->network.networkPlayerId = 9;
    PlayerController player(flat.context);
    player.camera = &flat.camera;
    player.AttachVehicle(local);
    auto* remoteSpecial = new Counting;
    remoteSpecial->pooled = 0;
    remote->AddSpecial(remoteSpecial);
    auto* localSpecial = new Counting;
    localSpecial->pooled = 0;
    local->AddSpecial(localSpecial);
    ItemEventChannels channels(flat.context);
    auto send = [&](int32_t player, int32_t on, int32_t index, int32_t size = 15) {
        SpecialEvent e{player, on, index};
        uint8_t frame[16];
        EncodeSpecialEvent(e, frame);
        channels.Receiver(SpecialChannel).Receive(frame + 1, size);
    };
    send(7, 1, 0);
    EXPECT_EQ(remoteSpecial->starts, 1);
    send(7, 0, 0);
    EXPECT_EQ(remoteSpecial->stops, 1);
    send(7, 1, 1);   // past the list
    send(7, 1, -1);  // not found on the sender
    send(8, 1, 0);   // nobody
    send(9, 1, 0);   // the local car's own echo
    send(7, 1, 0, 14);
    EXPECT_EQ(remoteSpecial->starts, 1);
    EXPECT_EQ(localSpecial->starts, 0);
    // Using a special without a network game only starts it.
    localSpecial->Use();
    EXPECT_EQ(localSpecial->starts, 1);
    EXPECT_EQ(localSpecial->IndexInOwner(), 0);
}
