// Seeds of the item channels: special events and the weapons' events from the game's own
// encoders.
#include <vector>

#include "game/vehicles/ItemEvents.h"
#include "game/vehicles/WeaponEvents.h"
#include "tests/fuzz/FuzzSupport.h"

int main(int argc, char** argv) {
    const fuzz_support::SeedDir seeds(argc, argv);
    uint8_t frame[SpecialEvent::FrameSize];
    EncodeSpecialEvent(SpecialEvent{7, 1, 0}, frame);
    seeds.Write("special_on", std::vector<uint8_t>(frame, frame + sizeof frame));
    EncodeSpecialEvent(SpecialEvent{9, 0, -1}, frame);
    seeds.Write("special_off_unlisted", std::vector<uint8_t>(frame, frame + sizeof frame));
    const auto write = [&](const char* name, const uint8_t* bytes, int32_t size) {
        seeds.Write(name, std::vector<uint8_t>(bytes, bytes + size));
    };
    uint8_t sw[WeaponSwitchEvent::FrameSize];
    EncodeWeaponSwitch(ChainGunChannel, WeaponSwitchEvent{0, 1}, sw);
    write("chaingun_on", sw, sizeof sw);
    EncodeWeaponSwitch(FlamerChannel, WeaponSwitchEvent{1, 0}, sw);
    write("flamer_off", sw, sizeof sw);
    GrenadeEvent g;
    g.playerId = 1;
    g.point = Vector3(10, 5, -20);
    for (int i = 0; i < 3; ++i) g.grenades[i] = {Vector3(float(i) * 20 - 20, 30, -150), 1.0f + float(i)};
    uint8_t gf[GrenadeEvent::FrameSize];
    EncodeGrenadeEvent(g, gf);
    write("grenades", gf, sizeof gf);
    MissileEvent m;
    m.playerId = 0;
    m.point = Vector3(0, 12, 0);
    m.direction = Vector3(0, 0.1f, -1);
    m.aim = Vector3(0, -0.1f, -1).Normalized();
    m.speed = 80.0f;
    m.targetId = 1;
    uint8_t mf[MissileEvent::FrameSize];
    EncodeMissileEvent(m, mf);
    write("missile", mf, sizeof mf);
    RocketEvent r;
    r.playerId = 1;
    r.position = Vector3(100, 3, 40);
    r.speed = 20.0f;
    for (int i = 0; i < 8; ++i) r.phases[i] = float(i) * 12.5f;
    uint8_t rf[RocketEvent::FrameSize];
    EncodeRocketEvent(r, rf);
    write("rockets", rf, sizeof rf);
    return 0;
}
