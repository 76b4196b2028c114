// One whole game frame from a peer, handed to the client's or the server's dispatch with the
// channels a network game registers: chat, the world's object channel, the item receivers and
// the item relays. The first byte picks the side (bit 0) and, on the server, the sender's place
// in the player table (the rest of it; 0 is a sender without a place).
#include <cstddef>
#include <cstdint>

#include "engine/net/ChatChannel.h"
#include "engine/net/ZKClient.h"
#include "engine/net/ZKServer.h"
#include "game/vehicles/ItemEvents.h"
#include "game/vehicles/VehicleContext.h"
#include "game/world/GameSession.h"
#include "game/world/World.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/support/EngineDoubles.h"

namespace {

struct NetworkGame {
    NetworkGame()
        : world(session, testing_support::NoEngine()), context(world, session), items(context),
          server(SharedString("fuzz"), SharedString("fuzz"), 0, 8) {
        for (uint8_t c = MissileChannel; c < SpecialChannel; ++c)
            items.SetWeaponHandler(c, [](const uint8_t* payload, int32_t size) {
                fuzz_support::Check(payload != nullptr && size > 0);
            });
        client.AddChannel(&chatClient);
        client.AddChannel(&world.objectChannel);
        server.AddChannel(&chatServer);
        server.AddChannel(&world.objectChannel);
        for (uint8_t id = FirstItemChannel; id < FirstItemChannel + ItemChannelCount; ++id) {
            client.AddChannel(&items.Receiver(id));
            server.AddChannel(&items.Relay(id));
        }
    }
    GameSession session;
    World world;
    VehicleContext context;
    ItemEventChannels items;
    ChatClientChannel chatClient;
    ChatServerChannel chatServer;
    ZKClient client;
    ZKServer server;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_support::DiscardLog();
    static NetworkGame* game = new NetworkGame;
    if (size < 2) return 0;
    const uint8_t* frame = data + 1;
    const size_t length = size - 1;
    if (data[0] & 1) game->server.DispatchFrame(int32_t(data[0] >> 1) % 9 - 1, frame, length);
    else game->client.DispatchFrame(frame, length);
    return 0;
}
