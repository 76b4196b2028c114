// Seeds of the item channels: special events from the game's own encoder, and frames of each
// weapon channel's size.
#include <vector>

#include "game/vehicles/ItemEvents.h"
#include "tests/fuzz/FuzzSupport.h"

int main(int argc, char** argv) {
    const fuzz_support::SeedDir seeds(argc, argv);
    uint8_t frame[SpecialEvent::FrameSize];
    EncodeSpecialEvent(SpecialEvent{7, 1, 0}, frame);
    seeds.Write("special_on", std::vector<uint8_t>(frame, frame + sizeof frame));
    EncodeSpecialEvent(SpecialEvent{9, 0, -1}, frame);
    seeds.Write("special_off_unlisted", std::vector<uint8_t>(frame, frame + sizeof frame));
    for (uint8_t c = MissileChannel; c < SpecialChannel; ++c) {
        std::vector<uint8_t> weapon(size_t(ItemFrameSize(c)), 0);
        weapon[0] = c;
        seeds.Write("weapon_" + std::to_string(int(c)), weapon);
    }
    return 0;
}
