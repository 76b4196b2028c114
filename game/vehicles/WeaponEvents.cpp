#include "game/vehicles/WeaponEvents.h"

#include <algorithm>
#include <cstring>

#include "engine/net/PayloadReader.h"

namespace {

// Writes a frame's fields in order after its header.
class FrameWriter {
public:
    FrameWriter(uint8_t* frame, uint8_t channel, int32_t playerId) : frame_(frame) {
        frame_[0] = channel;
        frame_[1] = frame_[2] = frame_[3] = 0;
        i32(playerId);
    }
    void i32(int32_t value) {
        const uint32_t v = uint32_t(value);
        for (int32_t i = 0; i < 4; ++i) frame_[at_ + i] = uint8_t(v >> (8 * i));
        at_ += 4;
    }
    void f32(float value) {
        uint32_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        i32(int32_t(bits));
    }
    void vec(const Vector3& v) {
        f32(v.x);
        f32(v.y);
        f32(v.z);
    }

private:
    uint8_t* frame_;
    int32_t at_ = 4;
};

// Reads a payload of exactly the frame's size less the channel byte, past its header.
class EventReader {
public:
    EventReader(const uint8_t* payload, int32_t size, int32_t frameSize)
        : r_(payload, size < 0 ? 0 : size_t(size)) {
        if (size < 0) r_.fail();
        r_.ExpectExactly(size_t(frameSize - 1));
        r_.skip(3);
    }
    int32_t i32() { return r_.i32(); }
    float f32() { return r_.f32Finite(); }
    Vector3 vec() {
        Vector3 v;
        v.x = f32();
        v.y = f32();
        v.z = f32();
        return v;
    }
    bool ok() const { return r_.ok(); }

private:
    PayloadReader r_;
};

} // namespace

void EncodeWeaponSwitch(uint8_t channel, const WeaponSwitchEvent& event, uint8_t* frame) {
    FrameWriter w(frame, channel, event.playerId);
    w.i32(event.on);
}

void EncodeGrenadeEvent(const GrenadeEvent& event, uint8_t* frame) {
    FrameWriter w(frame, GrenadeChannel, event.playerId);
    w.vec(event.point);
    for (const GrenadeEvent::Grenade& g : event.grenades) {
        w.vec(g.velocity);
        w.f32(g.fuse);
    }
}

void EncodeMissileEvent(const MissileEvent& event, uint8_t* frame) {
    FrameWriter w(frame, MissileChannel, event.playerId);
    w.vec(event.point);
    w.vec(event.direction);
    w.vec(event.aim);
    w.f32(event.speed);
    w.i32(event.targetId);
    w.i32(0);
}

void EncodeRocketEvent(const RocketEvent& event, uint8_t* frame) {
    FrameWriter w(frame, RocketChannel, event.playerId);
    w.vec(event.position);
    w.f32(event.orientation.x);
    w.f32(event.orientation.y);
    w.f32(event.orientation.z);
    w.f32(event.orientation.w);
    w.f32(event.speed);
    for (float phase : event.phases) w.f32(phase);
}

bool DecodeWeaponSwitch(const uint8_t* payload, int32_t size, WeaponSwitchEvent& out) {
    EventReader r(payload, size, WeaponSwitchEvent::FrameSize);
    WeaponSwitchEvent e;
    e.playerId = r.i32();
    e.on = r.i32();
    if (!r.ok()) return false;
    out = e;
    return true;
}

bool DecodeGrenadeEvent(const uint8_t* payload, int32_t size, GrenadeEvent& out) {
    EventReader r(payload, size, GrenadeEvent::FrameSize);
    GrenadeEvent e;
    e.playerId = r.i32();
    e.point = r.vec();
    for (GrenadeEvent::Grenade& g : e.grenades) {
        g.velocity = r.vec();
        g.fuse = std::clamp(r.f32(), 0.0f, GrenadeEvent::MaxFuse);
    }
    if (!r.ok()) return false;
    out = e;
    return true;
}

bool DecodeMissileEvent(const uint8_t* payload, int32_t size, MissileEvent& out) {
    EventReader r(payload, size, MissileEvent::FrameSize);
    MissileEvent e;
    e.playerId = r.i32();
    e.point = r.vec();
    e.direction = r.vec();
    e.aim = r.vec();
    e.speed = r.f32();
    e.targetId = r.i32();
    if (!r.ok()) return false;
    out = e;
    return true;
}

bool DecodeRocketEvent(const uint8_t* payload, int32_t size, RocketEvent& out) {
    EventReader r(payload, size, RocketEvent::FrameSize);
    RocketEvent e;
    e.playerId = r.i32();
    e.position = r.vec();
    e.orientation.x = r.f32();
    e.orientation.y = r.f32();
    e.orientation.z = r.f32();
    e.orientation.w = r.f32();
    e.speed = r.f32();
    for (float& phase : e.phases) phase = r.f32();
    if (!r.ok()) return false;
    out = e;
    return true;
}
