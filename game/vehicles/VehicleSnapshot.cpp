// The car's network record: writing from the live bodies, applying to a remote player's copy.
#include "game/vehicles/VehicleSnapshot.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/net/PayloadReader.h"
#include "game/vehicles/CarDefinition.h"
#include "game/vehicles/Explosion.h"
#include "game/vehicles/Vehicle.h"
#include "game/world/RigidBody.h"

namespace {

struct BodyState {
    Vector3 position;
    Quaternion orientation;
    Vector3 linear;
    Vector3 angular;
};

void PutFloat(uint8_t*& out, float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    out[0] = uint8_t(bits);
    out[1] = uint8_t(bits >> 8);
    out[2] = uint8_t(bits >> 16);
    out[3] = uint8_t(bits >> 24);
    out += 4;
}

void PutU32(uint8_t*& out, uint32_t v) {
    out[0] = uint8_t(v);
    out[1] = uint8_t(v >> 8);
    out[2] = uint8_t(v >> 16);
    out[3] = uint8_t(v >> 24);
    out += 4;
}

void PutVector(uint8_t*& out, const Vector3& v) {
    PutFloat(out, v.x);
    PutFloat(out, v.y);
    PutFloat(out, v.z);
}

void PutBody(uint8_t*& out, RigidBody* body) {
    BodyState s;
    if (body) {
        s.position = body->GetPosition();
        body->GetOrientation(s.orientation);
        s.linear = body->GetLinearVelocity();
        s.angular = body->GetAngularVelocity();
    }
    PutVector(out, s.position);
    PutFloat(out, s.orientation.x);
    PutFloat(out, s.orientation.y);
    PutFloat(out, s.orientation.z);
    PutFloat(out, s.orientation.w);
    PutVector(out, s.linear);
    PutVector(out, s.angular);
}

// The physics world's reach: a body placed or moving beyond it could stop the step (the bodies
// treat larger values as suspect), so no record brings one there.
constexpr float Reach = 1000000.0f;

// Reads a float of the record; an invalid one (NaN, infinite, beyond the world's reach) marks the
// record bad.
float TakeFloat(PayloadReader& in, bool& bad) {
    const float f = in.f32();
    if (IsInvalidFloat(f) || !(f >= -Reach && f <= Reach)) bad = true;
    return f;
}

Vector3 TakeVector(PayloadReader& in, bool& bad) {
    const float x = TakeFloat(in, bad);
    const float y = TakeFloat(in, bad);
    const float z = TakeFloat(in, bad);
    return Vector3(x, y, z);
}

// A unit quaternion; one of zero length turns nothing.
Quaternion Normalised(Quaternion q) {
    const float length = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
    if (!(length > 1e-6f) || !std::isfinite(length)) return Quaternion();
    return Quaternion(q.x / length, q.y / length, q.z / length, q.w / length);
}

BodyState TakeBody(PayloadReader& in, bool& bad) {
    BodyState s;
    s.position = TakeVector(in, bad);
    const float x = TakeFloat(in, bad);
    const float y = TakeFloat(in, bad);
    const float z = TakeFloat(in, bad);
    const float w = TakeFloat(in, bad);
    s.orientation = bad ? Quaternion() : Normalised(Quaternion(x, y, z, w));
    s.linear = TakeVector(in, bad);
    s.angular = TakeVector(in, bad);
    return s;
}

void Apply(RigidBody* body, const BodyState& s) {
    if (!body) return;
    // The turn first: a body that reports a point off its centre of mass places that point by
    // its current turn.
    body->SetOrientation(s.orientation);
    body->SetPosition(s.position);
    body->SetLinearVelocity(s.linear);
    body->SetAngularVelocity(s.angular);
}

} // namespace

int32_t Vehicle::WriteSnapshot(uint8_t* buffer, int32_t capacity) {
    using namespace vehicle_snapshot;
    if (!buffer || capacity < Size) return Size;
    uint8_t* out = buffer;
    PutBody(out, ChassisBody());
    for (int32_t i = 0; i < 4; ++i) PutBody(out, WheelBody(i));
    PutFloat(out, drive.revs);
    PutU32(out, uint32_t(drive.gear));
    PutFloat(out, drive.steerAngle);
    PutFloat(out, controls.throttle);
    PutFloat(out, controls.brake);
    PutFloat(out, controls.steerInput);
    PutFloat(out, controls.handbrake);
    PutFloat(out, damage.health);
    PutU32(out, effects.headlightsOn ? 1u : 0u);
    return Size;
}

void Vehicle::ReadSnapshot(const uint8_t* buffer, int32_t size) {
    using namespace vehicle_snapshot;
    // Only a whole record of good numbers applies: a peer's short, long or broken record is
    // dropped whole rather than half applied.
    PayloadReader in(buffer, size < 0 ? 0 : size_t(size));
    if (!in.ExpectExactly(size_t(Size))) return;
    bool bad = false;
    BodyState bodies[5];
    for (BodyState& b : bodies) b = TakeBody(in, bad);
    const float revs = TakeFloat(in, bad);
    const int32_t gear = in.i32();
    const float steerAngle = TakeFloat(in, bad);
    const float throttle = TakeFloat(in, bad);
    const float brake = TakeFloat(in, bad);
    const float steerInput = TakeFloat(in, bad);
    const float handbrake = TakeFloat(in, bad);
    const float health = TakeFloat(in, bad);
    const uint32_t flags = in.u32();
    if (bad || !in.ok()) return;

    // A car whose bodies are not in the physics world takes the fields only.
    const bool live = InPhysics() && ChassisBody();
    if (live) {
        Apply(ChassisBody(), bodies[0]);
        for (int32_t i = 0; i < 4; ++i) Apply(WheelBody(i), bodies[i + 1]);
    }
    drive.revs = revs;
    drive.gear = std::clamp(gear, -1, std::max(definition->handling.gearCount, 0));
    drive.steerAngle = steerAngle;
    controls.throttle = throttle;
    controls.brake = brake;
    controls.steerInput = steerInput;
    controls.handbrake = handbrake;
    const float newHealth = std::clamp(health, 0.0f, VehicleDamage::MaxHealth);
    // The wreck's blast on this machine; the wreck itself is the sender's.
    if (live && damage.health != 0.0f && newHealth == 0.0f)
        Explosion::Spawn(context, ChassisGeom(), bodies[0].position, Explosion::WreckStart, Explosion::WreckMaximum,
                         Explosion::WreckGrowth, true, SharedString());
    damage.health = newHealth;
    effects.headlightsOn = (flags & 1u) ? 1 : 0;
}
