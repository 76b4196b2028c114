// The start barrier's receivers on arbitrary frames: the first byte is the sender's index as
// the host sees it, the rest is the frame as the network delivers it, handed to both sides.
#include <cstddef>
#include <cstdint>

#include "engine/net/ZKClient.h"
#include "engine/net/ZKServer.h"
#include "game/play/StartBarrier.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using fuzz_support::Check;
    fuzz_support::DiscardLog();
    if (size < 1) return 0;
    static ZKClient* client = new ZKClient;
    static ZKServer* server = new ZKServer(SharedString("fuzz"), SharedString("Fuzz"), 0, 4);
    StartBarrier barrier(client, server);
    barrier.Register();
    client->DispatchFrame(data + 1, size - 1);
    server->DispatchFrame(int32_t(int8_t(data[0])), data + 1, size - 1);
    barrier.Update();
    Check(barrier.Released() == (size == 2 && data[1] == StartBarrier::kChannel));
    // Nobody is in the host's table: no sender index, however made, marks a player.
    Check(barrier.ReadyPlayers().empty());
    barrier.Unregister();
    return 0;
}
