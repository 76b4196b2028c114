// A received item-channel frame (channel byte, then the payload) through the client's receiver
// and the server's relay checks, with a game that has a remote car and the local one.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "game/vehicles/ItemEvents.h"
#include "game/vehicles/VehicleContext.h"
#include "game/world/GameSession.h"
#include "game/world/World.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/support/EngineDoubles.h"

namespace {

struct Game {
    Game() : world(session, testing_support::NoEngine()), context(world, session), channels(context) {
        for (uint8_t c = MissileChannel; c < SpecialChannel; ++c)
            channels.SetWeaponHandler(c, [](const uint8_t* payload, int32_t size) {
                // A weapon's decoder reads exactly its event.
                fuzz_support::Check(payload != nullptr && size > 0);
            });
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
    SpecialEvent e;
    if (DecodeSpecialEvent(data + 1, int32_t(size - 1), e)) fuzz_support::Check(size == SpecialEvent::FrameSize);
    return 0;
}
