// The weapons' network events: their bytes, what the decoders refuse, and what a received event
// does to the cars of the game.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "game/vehicles/WeaponEvents.h"

namespace {

float ReadF32(const uint8_t* p) {
    float f;
    std::memcpy(&f, p, 4);
    return f;
}

int32_t ReadI32(const uint8_t* p) { return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24); }

} // namespace

TEST(WeaponEvents, EachEventHasItsLayoutAndComesBackWhole) {
    uint8_t sw[WeaponSwitchEvent::FrameSize];
    EncodeWeaponSwitch(ChainGunChannel, WeaponSwitchEvent{0x01020304, 1}, sw);
    EXPECT_EQ(sw[0], ChainGunChannel);
    EXPECT_EQ(sw[4], 0x04);
    EXPECT_EQ(sw[7], 0x01);
    EXPECT_EQ(ReadI32(sw + 8), 1);
    WeaponSwitchEvent s;
    ASSERT_TRUE(DecodeWeaponSwitch(sw + 1, WeaponSwitchEvent::FrameSize - 1, s));
    EXPECT_EQ(s.playerId, 0x01020304);
    EXPECT_EQ(s.on, 1);

    GrenadeEvent g;
    g.playerId = 3;
    g.point = Vector3(1, 2, 3);
    for (int i = 0; i < 3; ++i) g.grenades[i] = {Vector3(float(i), 25, 150), 1.5f + float(i)};
    uint8_t gf[GrenadeEvent::FrameSize];
    EncodeGrenadeEvent(g, gf);
    EXPECT_EQ(gf[0], GrenadeChannel);
    EXPECT_EQ(ReadF32(gf + 8), 1.0f);
    EXPECT_EQ(ReadF32(gf + 20 + 16 + 12), 2.5f) << "the second grenade's fuse";
    GrenadeEvent gb;
    ASSERT_TRUE(DecodeGrenadeEvent(gf + 1, GrenadeEvent::FrameSize - 1, gb));
    EXPECT_EQ(gb.grenades[2].velocity, Vector3(2, 25, 150));
    EXPECT_EQ(gb.grenades[2].fuse, 3.5f);

    MissileEvent m;
    m.playerId = 2;
    m.point = Vector3(4, 5, 6);
    m.direction = Vector3(0, 0.1f, -1);
    m.aim = Vector3(0, 0, -1);
    m.speed = 120.0f;
    m.targetId = -1;
    uint8_t mf[MissileEvent::FrameSize];
    EncodeMissileEvent(m, mf);
    EXPECT_EQ(mf[0], MissileChannel);
    EXPECT_EQ(ReadF32(mf + 44), 120.0f);
    EXPECT_EQ(ReadI32(mf + 48), -1);
    MissileEvent mb;
    ASSERT_TRUE(DecodeMissileEvent(mf + 1, MissileEvent::FrameSize - 1, mb));
    EXPECT_EQ(mb.targetId, -1);
    EXPECT_EQ(mb.aim, m.aim);

    RocketEvent r;
    r.playerId = 7;
    r.position = Vector3(10, 0, -10);
    r.orientation = Quaternion(0, 0.5f, 0, 0.8660254f);
    r.speed = 50.0f;
    for (int i = 0; i < 8; ++i) r.phases[i] = float(i * 10);
    uint8_t rf[RocketEvent::FrameSize];
    EncodeRocketEvent(r, rf);
    EXPECT_EQ(rf[0], RocketChannel);
    EXPECT_EQ(ReadF32(rf + 20 + 4), 0.5f) << "the quaternion's y";
    EXPECT_EQ(ReadF32(rf + 40 + 28), 70.0f) << "the last phase";
    RocketEvent rb;
    ASSERT_TRUE(DecodeRocketEvent(rf + 1, RocketEvent::FrameSize - 1, rb));
    EXPECT_EQ(rb.orientation, r.orientation);
    EXPECT_EQ(rb.phases[7], 70.0f);
}

TEST(WeaponEvents, MalformedFramesChangeNothing) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    GrenadeEvent g;
    uint8_t gf[GrenadeEvent::FrameSize];
    EncodeGrenadeEvent(g, gf);
    MissileEvent m;
    uint8_t mf[MissileEvent::FrameSize];
    EncodeMissileEvent(m, mf);
    RocketEvent r;
    uint8_t rf[RocketEvent::FrameSize];
    EncodeRocketEvent(r, rf);
    uint8_t sf[WeaponSwitchEvent::FrameSize];
    EncodeWeaponSwitch(FlamerChannel, WeaponSwitchEvent{}, sf);

    struct Case {
        const char* what;
        uint8_t* frame;
        int32_t size;      // whole frame as sent
        int32_t poke;      // byte offset of a float to spoil, -1 for none
        float value;
    };
    const Case cases[] = {
        {"switch one byte short", sf, WeaponSwitchEvent::FrameSize - 1, -1, 0},
        {"switch one byte long", sf, WeaponSwitchEvent::FrameSize + 1, -1, 0},
        {"grenade empty", gf, 1, -1, 0},
        {"grenade launch point NaN", gf, GrenadeEvent::FrameSize, 8, nan},
        {"grenade velocity infinite", gf, GrenadeEvent::FrameSize, 20 + 16 + 4, inf},
        {"grenade fuse NaN", gf, GrenadeEvent::FrameSize, 20 + 12, nan},
        {"missile short", mf, MissileEvent::FrameSize - 4, -1, 0},
        {"missile aim NaN", mf, MissileEvent::FrameSize, 32, nan},
        {"missile speed infinite", mf, MissileEvent::FrameSize, 44, -inf},
        {"rocket orientation NaN", rf, RocketEvent::FrameSize, 20 + 12, nan},
        {"rocket phase infinite", rf, RocketEvent::FrameSize, 40 + 16, inf},
        {"rocket one byte long", rf, RocketEvent::FrameSize + 1, -1, 0},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes(c.frame, c.frame + ItemFrameSize(c.frame[0]));
        bytes.resize(size_t(std::max(c.size, 1)), 0);
        if (c.poke >= 0) std::memcpy(bytes.data() + c.poke, &c.value, 4);
        const uint8_t* payload = bytes.data() + 1;
        const int32_t size = c.size - 1;
        WeaponSwitchEvent s{5, 5};
        GrenadeEvent ge;
        ge.playerId = 5;
        MissileEvent me;
        me.playerId = 5;
        RocketEvent re;
        re.playerId = 5;
        bool decoded = false;
        switch (bytes[0]) {
        case FlamerChannel: decoded = DecodeWeaponSwitch(payload, size, s); break;
        case GrenadeChannel: decoded = DecodeGrenadeEvent(payload, size, ge); break;
        case MissileChannel: decoded = DecodeMissileEvent(payload, size, me); break;
        case RocketChannel: decoded = DecodeRocketEvent(payload, size, re); break;
        }
        EXPECT_FALSE(decoded) << c.what;
        EXPECT_EQ(s.playerId + ge.playerId + me.playerId + re.playerId, 20) << c.what << ": the output is untouched";
    }
    WeaponSwitchEvent none;
    EXPECT_FALSE(DecodeWeaponSwitch(nullptr, 11, none)) << "no bytes at all";
    EXPECT_FALSE(DecodeRocketEvent(rf + 1, -5, r));
}

TEST(WeaponEvents, AReceivedFuseIsKeptWithinWhatAThrowerCanGive) {
    for (const float fuse : {-3.0f, 0.0f, 2.0f, 5.25f, 90.0f}) {
        GrenadeEvent g;
        for (auto& grenade : g.grenades) grenade.fuse = fuse;
        uint8_t frame[GrenadeEvent::FrameSize];
        EncodeGrenadeEvent(g, frame);
        GrenadeEvent back;
        ASSERT_TRUE(DecodeGrenadeEvent(frame + 1, GrenadeEvent::FrameSize - 1, back));
        EXPECT_EQ(back.grenades[1].fuse, std::clamp(fuse, 0.0f, GrenadeEvent::MaxFuse)) << fuse;
    }
}
