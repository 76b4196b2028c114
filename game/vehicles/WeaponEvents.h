#pragma once
// The weapons' network events. Every frame starts with its channel byte, three unused bytes and
// the shooter's network player id; numbers are little-endian. The decoders take the payload (the
// frame after its channel byte) and accept only a whole event whose floats are all finite.
#include <cstdint>

#include "engine/core/Math.h"
#include "game/vehicles/ItemEvents.h"

// Chain gun (channel 36) and flamer (38) switched on or off: 12 bytes.
struct WeaponSwitchEvent {
    static constexpr int32_t FrameSize = 12;
    int32_t playerId = 0;
    int32_t on = 0;
};

// Three grenades thrown from one point (channel 37): 68 bytes.
struct GrenadeEvent {
    static constexpr int32_t FrameSize = 68;
    // The longest fuse a thrower can give (5 s of charge and the random quarter second).
    static constexpr float MaxFuse = 5.25f;
    struct Grenade {
        Vector3 velocity;
        float fuse = 0.0f;
    };
    int32_t playerId = 0;
    Vector3 point;
    Grenade grenades[3];
};

// A homing missile fired (channel 34): 56 bytes.
struct MissileEvent {
    static constexpr int32_t FrameSize = 56;
    int32_t playerId = 0;
    Vector3 point;
    Vector3 direction;
    Vector3 aim;
    float speed = 0.0f;
    // The target car's player id; -1 for none.
    int32_t targetId = -1;
};

// A salvo of eight rockets (channel 35): 72 bytes.
struct RocketEvent {
    static constexpr int32_t FrameSize = 72;
    int32_t playerId = 0;
    Vector3 position;
    Quaternion orientation;
    float speed = 0.0f;
    float phases[8] = {};
};

// `frame` holds FrameSize bytes; `channel` is 36 or 38 for the switch event.
void EncodeWeaponSwitch(uint8_t channel, const WeaponSwitchEvent& event, uint8_t* frame);
void EncodeGrenadeEvent(const GrenadeEvent& event, uint8_t* frame);
void EncodeMissileEvent(const MissileEvent& event, uint8_t* frame);
void EncodeRocketEvent(const RocketEvent& event, uint8_t* frame);

// False, with `out` untouched, for anything but a whole event with finite values. A grenade's
// fuse is brought into 0..MaxFuse.
bool DecodeWeaponSwitch(const uint8_t* payload, int32_t size, WeaponSwitchEvent& out);
bool DecodeGrenadeEvent(const uint8_t* payload, int32_t size, GrenadeEvent& out);
bool DecodeMissileEvent(const uint8_t* payload, int32_t size, MissileEvent& out);
bool DecodeRocketEvent(const uint8_t* payload, int32_t size, RocketEvent& out);
