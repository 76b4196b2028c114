// The car's network record: where each field lies, the short buffer, a wreck's record on a live
// copy, records a peer must not be able to break a car with, a copy without bodies, and the
// object channel forgetting a car that goes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

#include "game/vehicles/VehicleSnapshot.h"
#include "game/world/RigidBody.h"
#include "tests/vehicles/SpecialTestSupport.h"

using namespace special_test;
namespace snap = vehicle_snapshot;

namespace {

float FloatAt(const std::vector<uint8_t>& b, int32_t offset) {
    uint32_t bits = uint32_t(b[size_t(offset)]) | uint32_t(b[size_t(offset) + 1]) << 8 |
                    uint32_t(b[size_t(offset) + 2]) << 16 | uint32_t(b[size_t(offset) + 3]) << 24;
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

void PutFloatAt(std::vector<uint8_t>& b, int32_t offset, float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    for (int i = 0; i < 4; ++i) b[size_t(offset + i)] = uint8_t(bits >> (8 * i));
}

int32_t IntAt(const std::vector<uint8_t>& b, int32_t offset) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t(b[size_t(offset + i)]) << (8 * i);
    return int32_t(v);
}

class SnapshotTest : public SpecialTest {
protected:
    // Every body of the car in a state of its own; the drive fields distinct.
    void Stir(Vehicle& v) {
        RigidBody* bodies[5] = {v.ChassisBody(), v.WheelBody(0), v.WheelBody(1), v.WheelBody(2), v.WheelBody(3)};
        for (int i = 0; i < 5; ++i) {
            const float k = float(i + 1);
            bodies[i]->SetPosition(Vector3(10.0f * k, 20.0f * k, 30.0f * k));
            bodies[i]->SetOrientation(Quaternion(Vector3(0, 1, 0), 0.1f * k));
            bodies[i]->SetLinearVelocity(Vector3(k, 2.0f * k, 3.0f * k));
            bodies[i]->SetAngularVelocity(Vector3(-k, -2.0f * k, -3.0f * k));
        }
        v.drive.revs = 7.5f;
        v.drive.gear = -1;
        v.drive.steerAngle = 0.25f;
        v.controls.throttle = 0.5f;
        v.controls.brake = 0.125f;
        v.controls.steerInput = -0.75f;
        v.controls.handbrake = 1.0f;
        v.damage.health = 640.0f;
        v.effects.headlightsOn = 1;
    }
    std::vector<uint8_t> Record(Vehicle& v) {
        std::vector<uint8_t> b(snap::Size, 0xFF);
        EXPECT_EQ(v.WriteSnapshot(b.data(), int32_t(b.size())), snap::Size);
        return b;
    }
};

} // namespace

TEST_F(SnapshotTest, EveryFieldLiesAtItsOffset) {
    Stir(*car);
    const std::vector<uint8_t> b = Record(*car);
    struct Field {
        const char* name;
        int32_t offset;
        float expected;
    };
    std::vector<Field> fields;
    RigidBody* bodies[5] = {car->ChassisBody(), car->WheelBody(0), car->WheelBody(1), car->WheelBody(2), car->WheelBody(3)};
    for (int i = 0; i < 5; ++i) {
        const int32_t at = i * snap::BodySize;
        const Vector3 p = bodies[i]->GetPosition(), v = bodies[i]->GetLinearVelocity(), w = bodies[i]->GetAngularVelocity();
        Quaternion q;
        bodies[i]->GetOrientation(q);
        const float values[13] = {p.x, p.y, p.z, q.x, q.y, q.z, q.w, v.x, v.y, v.z, w.x, w.y, w.z};
        for (int j = 0; j < 13; ++j) fields.push_back({"body", at + 4 * j, values[j]});
    }
    fields.push_back({"revs", 260, 7.5f});
    fields.push_back({"steer angle", 268, 0.25f});
    fields.push_back({"throttle", 272, 0.5f});
    fields.push_back({"brake", 276, 0.125f});
    fields.push_back({"steer input", 280, -0.75f});
    fields.push_back({"handbrake", 284, 1.0f});
    fields.push_back({"health", 288, 640.0f});
    for (const Field& f : fields) EXPECT_EQ(FloatAt(b, f.offset), f.expected) << f.name << " at " << f.offset;
    EXPECT_EQ(FloatAt(b, 52), 20.0f) << "wheel 0's position follows the chassis record";
    EXPECT_EQ(IntAt(b, 264), -1) << "gear";
    EXPECT_EQ(IntAt(b, 292), 1) << "headlights in bit 0, the other bits 0";
}

TEST_F(SnapshotTest, AShortBufferGetsTheSizeAndStaysUntouched) {
    std::vector<uint8_t> b(snap::Size - 1, 0xAB);
    EXPECT_EQ(car->WriteSnapshot(b.data(), int32_t(b.size())), snap::Size);
    EXPECT_EQ(b, std::vector<uint8_t>(snap::Size - 1, 0xAB));
    EXPECT_EQ(car->WriteSnapshot(nullptr, 0), snap::Size);
}

TEST_F(SnapshotTest, ARecordMovesAnotherCarsBodiesAndFields) {
    Vehicle* copy = flat.AddCar(taxi, 200.0f, 0.0f);
    Stir(*car);
    const std::vector<uint8_t> b = Record(*car);
    copy->ReadSnapshot(b.data(), int32_t(b.size()));
    EXPECT_EQ(Record(*copy), b) << "the copy writes the same record back";
    EXPECT_EQ(copy->GetPosition().x, car->GetPosition().x);
    EXPECT_EQ(copy->drive.gear, -1);
    EXPECT_EQ(copy->effects.headlightsOn, 1);
}

TEST_F(SnapshotTest, AWreckRecordExplodesALiveCopyOnce) {
    Vehicle* copy = flat.AddCar(taxi, 200.0f, 0.0f);
    car->damage.health = 0.0f;
    const std::vector<uint8_t> b = Record(*car);
    copy->ReadSnapshot(b.data(), int32_t(b.size()));
    EXPECT_EQ(copy->damage.health, 0.0f);
    ASSERT_EQ(LiveExplosions(), 1u);
    EXPECT_EQ(flat.context.explosions->pool.Live()[0]->owner, copy->ChassisGeom());
    copy->ReadSnapshot(b.data(), int32_t(b.size()));
    EXPECT_EQ(LiveExplosions(), 1u) << "the same record again: still one";
}

TEST_F(SnapshotTest, RecordsAPeerCouldBreakACarWithAreDroppedOrMendedWhole) {
    Vehicle* copy = flat.AddCar(taxi, 200.0f, 0.0f);
    Stir(*car);
    const std::vector<uint8_t> good = Record(*car);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> change;
        bool applies;
        std::function<void(Vehicle&)> check;
    };
    const std::vector<Case> cases = {
        {"295 bytes", [](auto& b) { b.pop_back(); }, false, nullptr},
        {"297 bytes", [](auto& b) { b.push_back(0); }, false, nullptr},
        {"NaN position", [&](auto& b) { PutFloatAt(b, 4, nan); }, false, nullptr},
        {"1e30 wheel velocity", [](auto& b) { PutFloatAt(b, snap::Wheels + 28, 1e30f); }, false, nullptr},
        {"a position far beyond the world", [](auto& b) { PutFloatAt(b, 0, 1e20f); }, false, nullptr},
        {"a wheel spinning beyond reason", [](auto& b) { PutFloatAt(b, snap::Wheels + 3 * snap::BodySize + 40, -5e7f); }, false, nullptr},
        {"infinite health", [](auto& b) { PutFloatAt(b, snap::Health, std::numeric_limits<float>::infinity()); }, false, nullptr},
        {"zero quaternion", [](auto& b) { for (int i = 0; i < 4; ++i) PutFloatAt(b, 12 + 4 * i, 0.0f); }, true,
         [](Vehicle& v) {
             Quaternion q;
             v.ChassisBody()->GetOrientation(q);
             EXPECT_NEAR(q.w, 1.0f, 1e-5f);
             EXPECT_NEAR(q.x * q.x + q.y * q.y + q.z * q.z, 0.0f, 1e-6f);
         }},
        {"long quaternion", [](auto& b) { for (int i = 0; i < 4; ++i) PutFloatAt(b, 12 + 4 * i, 2.0f); }, true,
         [](Vehicle& v) {
             Quaternion q;
             v.ChassisBody()->GetOrientation(q);
             EXPECT_NEAR(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w, 1.0f, 1e-4f);
         }},
        {"gear 99", [](auto& b) { b[snap::Gear] = 99; b[snap::Gear + 1] = b[snap::Gear + 2] = b[snap::Gear + 3] = 0; }, true,
         [](Vehicle& v) { EXPECT_EQ(v.drive.gear, v.Definition().handling.gearCount); }},
        {"gear -7", [](auto& b) { b[snap::Gear] = 0xF9; b[snap::Gear + 1] = b[snap::Gear + 2] = b[snap::Gear + 3] = 0xFF; }, true,
         [](Vehicle& v) { EXPECT_EQ(v.drive.gear, -1); }},
        {"health 5000", [](auto& b) { PutFloatAt(b, snap::Health, 5000.0f); }, true,
         [](Vehicle& v) { EXPECT_EQ(v.damage.health, VehicleDamage::MaxHealth); }},
        {"health -3", [](auto& b) { PutFloatAt(b, snap::Health, -3.0f); }, true,
         [](Vehicle& v) { EXPECT_EQ(v.damage.health, 0.0f); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        copy->SetPosition(Vector3(200.0f, 2.0f, 0.0f));
        copy->damage.health = VehicleDamage::MaxHealth;
        copy->drive.gear = 1;
        std::vector<uint8_t> b = good;
        c.change(b);
        copy->ReadSnapshot(b.data(), int32_t(b.size()));
        if (c.applies) {
            EXPECT_EQ(copy->ChassisBody()->GetPosition().x, FloatAt(good, 0));
            c.check(*copy);
        } else {
            EXPECT_EQ(copy->GetPosition().x, 200.0f) << "nothing of the record applied";
            EXPECT_EQ(copy->drive.gear, 1);
            EXPECT_EQ(copy->damage.health, VehicleDamage::MaxHealth);
        }
        for (int i = 0; i < 5; ++i) flat.Frame();
        EXPECT_FALSE(std::isnan(copy->GetPosition().y));
    }
}

TEST_F(SnapshotTest, ACopyWithoutBodiesTakesTheFieldsOnly) {
    Stir(*car);
    car->damage.health = 0.0f;
    const std::vector<uint8_t> b = Record(*car);
    std::unique_ptr<Vehicle> loose = Vehicle::Create(flat.context, taxi);
    ASSERT_FALSE(loose->InPhysics());
    loose->ReadSnapshot(b.data(), int32_t(b.size()));
    EXPECT_EQ(loose->drive.revs, 7.5f);
    EXPECT_EQ(loose->damage.health, 0.0f);
    EXPECT_EQ(LiveExplosions(), 0u) << "no chassis to blow up";
}

TEST_F(SnapshotTest, ACarThatGoesLeavesTheObjectChannelAndAResetNumbersFromZero) {
    ObjectChannel& channel = flat.world.objectChannel;
    Vehicle* copy = flat.AddCar(taxi, 200.0f, 0.0f);
    channel.Register(car);
    channel.Register(copy);
    ASSERT_EQ(copy->objectId, 1u);
    std::erase(flat.context.vehicles, copy);
    std::erase_if(flat.context.ownedVehicles, [&](auto& owned) { return owned.get() == copy; });
    EXPECT_EQ(channel.GetObjects(), std::vector<NetObject*>{car});
    // A record for the gone car's id arrives: nobody takes it.
    std::vector<uint8_t> message(4 + snap::Size, 0);
    message[0] = 1;
    channel.Receive(message.data(), int32_t(message.size()));
    channel.Clear();
    EXPECT_TRUE(channel.GetObjects().empty());
    channel.Register(car);
    EXPECT_EQ(car->objectId, 0u);
}
