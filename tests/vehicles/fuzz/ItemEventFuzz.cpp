// A received item-channel frame (channel byte, then the payload) through the client's receiver
// with the weapons' own decoders and handlers, in a game without cars (an event naming nobody
// changes nothing); every decoder on its own, which accepts only a whole event of finite values.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "game/vehicles/ItemEvents.h"
#include "game/vehicles/VehicleContext.h"
#include "game/vehicles/WeaponEvents.h"
#include "game/vehicles/Weapons.h"
#include "game/world/GameSession.h"
#include "game/world/World.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/support/EngineDoubles.h"

namespace {

struct Game {
    Game() : world(session, testing_support::NoEngine()), context(world, session), channels(context) {
        RegisterWeaponHandlers(context, channels);
    }
    GameSession session;
    World world;
    VehicleContext context;
    ItemEventChannels channels;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_support::DiscardLog();
    static Game* game = new Game;
    if (size < 1) return 0;
    const uint8_t channel = data[0];
    if (channel < FirstItemChannel || channel > SpecialChannel) return 0;
    game->channels.Receiver(channel).Receive(data + 1, int32_t(size - 1));
    const uint8_t* payload = data + 1;
    const int32_t n = int32_t(size - 1);
    SpecialEvent e;
    if (DecodeSpecialEvent(payload, n, e)) fuzz_support::Check(size == SpecialEvent::FrameSize);
    WeaponSwitchEvent s;
    if (DecodeWeaponSwitch(payload, n, s)) fuzz_support::Check(size == WeaponSwitchEvent::FrameSize);
    GrenadeEvent g;
    if (DecodeGrenadeEvent(payload, n, g)) {
        fuzz_support::Check(size == GrenadeEvent::FrameSize);
        for (const auto& grenade : g.grenades) fuzz_support::Check(grenade.fuse >= 0.0f && grenade.fuse <= GrenadeEvent::MaxFuse);
    }
    MissileEvent m;
    if (DecodeMissileEvent(payload, n, m)) fuzz_support::Check(size == MissileEvent::FrameSize && std::isfinite(m.speed));
    RocketEvent r;
    if (DecodeRocketEvent(payload, n, r)) fuzz_support::Check(size == RocketEvent::FrameSize && std::isfinite(r.phases[7]));
    return 0;
}
