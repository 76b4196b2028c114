// The weapons' events between two games in one process on the loopback network: a host relays
// what each client sends to both. The chain gun and the flamer show the other player's weapon at
// once and ignore the echo of their own; the grenade thrower and the two launchers release
// their projectiles only when the echo comes back, in the shooter's game as in the other.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

#include "engine/net/ZKClient.h"
#include "engine/net/ZKServer.h"
#include "game/vehicles/ItemEvents.h"
#include "game/vehicles/Launchers.h"
#include "game/vehicles/Projectiles.h"
#include "game/vehicles/PlayerController.h"
#include "game/vehicles/Weapons.h"
#include "tests/vehicles/VehicleTestSupport.h"

using namespace vehicle_test;

namespace {

// Runs the clients until the condition holds (at most 10 s of wall time).
bool PumpUntil(const std::function<bool()>& done, std::initializer_list<ZKClient*> clients) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        for (ZKClient* c : clients) c->Update(0.001f);
        if (done()) return true;
        std::this_thread::yield();
    }
    return false;
}

bool Join(ZKClient& client, uint16_t port) {
    client.EnumerateHosts(SharedString("127.0.0.1"), port);
    const bool found = PumpUntil(
        [&] {
            client.Lock();
            const bool any = !client.GetHosts().empty();
            client.Unlock();
            return any;
        },
        {&client});
    return found && client.Connect(0);
}

// One player's game: both players' cars (ids 0 and 1), the local one driven by its controller;
// car 0 carries a chain gun and car 1 a flamer in both games.
struct PlayerGame {
    PlayerGame(const CarDefinition* taxi, int32_t localId) : channels(world.context), launchers(world.context) {
        world.context.launchers = &launchers;
        InstallWeaponFactories(world.context);
        RegisterWeaponHandlers(world.context, channels);
        for (int32_t id = 0; id < 2; ++id) {
            cars[id] = world.AddCar(taxi, float(id) * 100.0f, 0.0f);
            cars[id]->network.networkPlayerId = id;
        }
        cars[0]->SetWeapon(world.context.itemPools[ItemKind::ChainGun].Take());
        cars[1]->SetWeapon(world.context.itemPools[ItemKind::Flamer].Take());
        player = std::make_unique<PlayerController>(world.context, nullptr);
        player->camera = &world.camera;
        player->AttachVehicle(cars[localId]);
        world.context.localDriver = player.get();
        world.context.client = &client;
        for (uint8_t id = FirstItemChannel; id < FirstItemChannel + ItemChannelCount; ++id) client.AddChannel(&channels.Receiver(id));
    }
    ~PlayerGame() {
        world.context.client = nullptr;
        player.reset();
        ProjectileKinds::ReleaseAll(world.context);
        world.context.ownedVehicles.clear();
    }
    ChainGunWeapon* Gun() { return WeaponOf<ChainGunWeapon>(cars[0]); }
    FlamerWeapon* Flamer() { return WeaponOf<FlamerWeapon>(cars[1]); }

    // Projectiles in flight in this game: grenades, missiles, rockets.
    size_t Flying(char kind) {
        if (!world.context.projectiles) return 0;
        const ProjectileKinds& k = *world.context.projectiles;
        return kind == 'g' ? k.grenades.Live().size() : kind == 'm' ? k.missiles.Live().size() : k.rockets.Live().size();
    }
    template <class Kind>
    Kind* Arm(int32_t id, ItemKind pool) {
        cars[id]->SetWeapon(world.context.itemPools[pool].Take());
        return WeaponOf<Kind>(cars[id]);
    }

    FlatWorld world;
    ZKClient client;
    ItemEventChannels channels;
    ContextProjectileLaunchers launchers;
    Vehicle* cars[2] = {nullptr, nullptr};
    std::unique_ptr<PlayerController> player;
};

} // namespace

TEST_F(VehicleTest, TheChainGunAndTheFlamerShowAtOnceAndIgnoreTheirOwnEcho) {
    ZKServer server(SharedString("host"), SharedString("Combat"), 0, 4);
    ASSERT_TRUE(server.IsRunning());
    PlayerGame first(taxi, 0), second(taxi, 1);
    // The host relays the item channels (the first game hosts).
    for (uint8_t id = FirstItemChannel; id < FirstItemChannel + ItemChannelCount; ++id) server.AddChannel(&first.channels.Relay(id));
    ASSERT_TRUE(Join(first.client, server.GetPort()));
    ASSERT_TRUE(Join(second.client, server.GetPort()));
    const auto both = {&first.client, &second.client};

    // Both fire at once: each shows its own weapon before the network has said anything.
    first.Gun()->StartFiring();
    second.Flamer()->StartFiring();
    EXPECT_EQ(first.Gun()->firing, 1);
    EXPECT_TRUE(second.Flamer()->Burning());
    // Each local weapon moves on without telling anyone; the echo of its start must not change it.
    first.Gun()->firing = 0;
    second.Flamer()->flame.StopFiring();
    ASSERT_TRUE(PumpUntil([&] { return second.Gun()->firing == 1 && first.Flamer()->Burning(); }, both));
    for (int i = 0; i < 200; ++i)
        for (ZKClient* c : both) c->Update(0.001f);
    EXPECT_EQ(first.Gun()->firing, 0) << "the echo about the local car is ignored";
    EXPECT_FALSE(second.Flamer()->Burning());

    // The stops follow in the other game.
    first.Gun()->firing = 1;
    first.Gun()->StopFiring();
    second.Flamer()->flame.StartFiring();
    second.Flamer()->StopFiring();
    ASSERT_TRUE(PumpUntil([&] { return second.Gun()->firing == 0 && !first.Flamer()->Burning(); }, both));
    first.client.Disconnect();
    second.client.Disconnect();
}

TEST_F(VehicleTest, GrenadesMissilesAndRocketsFlyOnlyFromTheEchoInBothGames) {
    ZKServer server(SharedString("host"), SharedString("Combat"), 0, 4);
    ASSERT_TRUE(server.IsRunning());
    PlayerGame first(taxi, 0), second(taxi, 1);
    for (uint8_t id = FirstItemChannel; id < FirstItemChannel + ItemChannelCount; ++id) server.AddChannel(&first.channels.Relay(id));
    ASSERT_TRUE(Join(first.client, server.GetPort()));
    ASSERT_TRUE(Join(second.client, server.GetPort()));
    const auto both = {&first.client, &second.client};
    PlayerGame* games[2] = {&first, &second};
    // A few hundred more network updates: an echo received twice would show here.
    auto settle = [&] {
        for (int i = 0; i < 200; ++i)
            for (ZKClient* c : both) c->Update(0.001f);
    };

    struct Case {
        const char* name;
        char kind;
        size_t count;
    };
    for (const Case& c : {Case{"grenades", 'g', 3}, Case{"missile", 'm', 1}, Case{"rockets", 'r', 8}}) {
        SCOPED_TRACE(c.name);
        // The shooter is the first game's car 0 for the grenades and rockets, the second game's
        // car 1 for the missile (locked on car 0); both games carry the same weapons.
        PlayerGame& shooterGame = c.kind == 'm' ? second : first;
        const int32_t shooter = c.kind == 'm' ? 1 : 0;
        for (PlayerGame* g : games) {
            if (c.kind == 'g') g->Arm<GrenadeWeapon>(shooter, ItemKind::GrenadeThrower);
            if (c.kind == 'm') g->Arm<MissileWeapon>(shooter, ItemKind::MissileLauncher);
            if (c.kind == 'r') g->Arm<RocketWeapon>(shooter, ItemKind::RocketLauncher);
        }
        if (c.kind == 'g') WeaponOf<GrenadeWeapon>(shooterGame.cars[shooter])->Throw(5.0f);
        if (c.kind == 'm') {
            auto* launcher = WeaponOf<MissileWeapon>(shooterGame.cars[shooter]);
            launcher->SetTarget(shooterGame.cars[0]->ChassisGeom());
            launcher->Fire();
        }
        if (c.kind == 'r') WeaponOf<RocketWeapon>(shooterGame.cars[shooter])->Fire();
        EXPECT_EQ(shooterGame.Flying(c.kind), 0u) << "nothing flies before the host's echo";
        ASSERT_TRUE(PumpUntil([&] { return first.Flying(c.kind) == c.count && second.Flying(c.kind) == c.count; }, both));
        settle();
        for (PlayerGame* g : games) {
            EXPECT_EQ(g->Flying(c.kind), c.count) << "once in each game";
            // In each game the shot belongs to that game's shooting car.
            if (c.kind == 'g')
                for (const GrenadeProjectile* p : g->world.context.projectiles->grenades.Live())
                    EXPECT_EQ(p->owner, g->cars[shooter]->ChassisGeom());
            if (c.kind == 'm') {
                const HomingMissile* m = g->world.context.projectiles->missiles.Live()[0];
                EXPECT_EQ(m->owner, g->cars[shooter]->ChassisGeom());
                EXPECT_EQ(m->target, g->cars[0]->ChassisGeom()) << "homing on the car the event names, in this game";
            }
            if (c.kind == 'r')
                for (const RocketProjectile* p : g->world.context.projectiles->rockets.Live())
                    EXPECT_EQ(p->owner, g->cars[shooter]->ChassisGeom());
        }
    }
    first.client.Disconnect();
    second.client.Disconnect();
}
