// Seeds of whole game frames, each behind the side byte (0 the client, odd the server with a
// sender): chat lines, object states, item events from the game's own encoder and frames of
// each weapon channel's size.
#include <string>
#include <vector>

#include "engine/net/ChatChannel.h"
#include "engine/net/ObjectChannel.h"
#include "game/vehicles/ItemEvents.h"
#include "tests/fuzz/FuzzSupport.h"

int main(int argc, char** argv) {
    const fuzz_support::SeedDir seeds(argc, argv);
    const uint8_t sides[] = {0, 1 | (2 << 1)};
    for (uint8_t side : sides) {
        const std::string at = side ? "server_" : "client_";
        std::vector<uint8_t> chat{side, kChatChannelId};
        for (char c : std::string("hello, city")) chat.push_back(uint8_t(c));
        seeds.Write(at + "chat", chat);
        std::vector<uint8_t> object{side, kObjectChannelId, 0, 0, 0, 0};
        object.resize(object.size() + 296, 0);
        seeds.Write(at + "object_state", object);
        std::vector<uint8_t> special(1 + SpecialEvent::FrameSize);
        special[0] = side;
        EncodeSpecialEvent(SpecialEvent{7, 1, 0}, special.data() + 1);
        seeds.Write(at + "special_on", special);
        for (uint8_t c = MissileChannel; c < SpecialChannel; ++c) {
            std::vector<uint8_t> weapon(size_t(ItemFrameSize(c)) + 1, 0);
            weapon[0] = side;
            weapon[1] = c;
            seeds.Write(at + "weapon_" + std::to_string(int(c)), weapon);
        }
    }
    return 0;
}
