// One fuzz input: the first byte picks the reader, the rest is the message as it would arrive.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "engine/net/Channel.h"
#include "engine/net/NetProtocol.h"
#include "engine/net/PayloadReader.h"

namespace {

// Reads an object-channel message the way a vehicle snapshot reader would: id, then a
// fixed run of finite floats when the state is long enough.
struct SnapshotChannel {
    uint8_t id;
    void Receive(const uint8_t* payload, int32_t size) {
        PayloadReader r(payload, size_t(size));
        if (!r.ExpectAtLeast(4)) return;
        r.u32();
        if (r.remaining() < 296) return;
        float sum = 0;
        for (int i = 0; i < 74; ++i) sum += r.f32Finite();
        if (!r.ok()) return;
        volatile float sink = sum;
        (void)sink;
    }
};

void Check(bool condition) {
    if (!condition) std::abort();
}

} // namespace

static int FuzzNetMessage(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t selector = data[0];
    const uint8_t* body = data + 1;
    const size_t n = size - 1;
    switch (selector % 6) {
    case 0: {
        netproto::ServerInfo info;
        if (netproto::ParseServerInfo(body, n, info)) {
            // Whatever parses must survive a rebuild unchanged.
            std::vector<uint8_t> again;
            netproto::BuildServerInfo(again, info);
            netproto::ServerInfo back;
            Check(netproto::ParseServerInfo(again.data() + 1, again.size() - 1, back));
            Check(back.players.size() == info.players.size() && back.serverData == info.serverData);
        }
        break;
    }
    case 1: {
        netproto::ClientInfo info;
        if (netproto::ParseClientInfo(body, n, info))
            Check(info.data.size() >= netproto::kMinClientData && info.data.size() <= netproto::kMaxClientData &&
                  info.name.size() <= netproto::kMaxNameBytes);
        break;
    }
    case 2: {
        netproto::EnumAnswer answer;
        if (netproto::ParseEnumAnswer(body, n, answer))
            Check(answer.sessionName.size() <= netproto::kMaxNameBytes &&
                  answer.responseData.size() <= netproto::kMaxServerData);
        break;
    }
    case 3: {
        uint32_t v;
        netproto::ParseEnumQuery(body, n, v);
        netproto::ParseAssign(body, n, v);
        netproto::ParseReject(body, n, v);
        break;
    }
    case 4: {
        // Dispatch of a game frame over channels with clashing ids.
        SnapshotChannel a{1}, b{1}, c{255};
        std::vector<SnapshotChannel*> channels{&a, &b, &c};
        netdetail::DispatchFrame(
            channels, body, n, [](SnapshotChannel* ch) { return ch->id; },
            [](SnapshotChannel* ch, const uint8_t* p, int32_t s) { ch->Receive(p, s); });
        break;
    }
    default: {
        auto text = netproto::TextUpToZero(body, n);
        Check(text.size() <= n);
        break;
    }
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { return FuzzNetMessage(data, size); }
