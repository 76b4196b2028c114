#include "game/world/DamageReceiver.h"
#include "tests/physics/PhysicsFixture.h"

namespace {

struct Victim : DamageReceiver {
    using DamageReceiver::DamageReceiver;
    struct Hit {
        float amount;
        int32_t kind;
        const void* source;
        GeomOwner* instigator;
    };
    std::vector<Hit> hits;
    std::vector<int32_t> destroyed;
    void OnDamaged(float amount, int32_t kind, const void* source) override {
        hits.push_back({amount, kind, source, instigator});
    }
    void OnDestroyed(int32_t kind) override { destroyed.push_back(kind); }
};

class DamageTest : public PhysicsFixture {
protected:
    DamageTest() { DamageTable::Global().Reset(); }
    ~DamageTest() override { DamageTable::Global().Reset(); }
};

TEST_F(DamageTest, ThresholdScaleAndDestructionOnce) {
    const struct {
        const char* name;
        float maxHealth, threshold;
        int32_t type;
        float tableScale;
        float amount;
        float taken; // 0: ignored
        bool destroyed;
    } cases[] = {
        {"pedestrian: exactly the threshold is ignored", 0.5f, 0.01f, 1, 1.0f, 0.01f, 0.0f, false},
        {"pedestrian: just above is taken", 0.5f, 0.01f, 1, 1.0f, 0.011f, 0.011f, false},
        {"overkill reports the remaining health", 0.5f, 0.01f, 1, 1.0f, 2.0f, 0.5f, true},
        {"vehicle: table halves bullets", 1000.0f, 0.0f, 2, 0.5f, 5.0f, 2.5f, false},
        {"zero scale: nothing", 1000.0f, 0.0f, 2, 0.0f, 5.0f, 0.0f, false},
        {"NaN amount: nothing", 1000.0f, 0.0f, 2, 1.0f, std::numeric_limits<float>::quiet_NaN(), 0.0f, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DamageTable::Global().Reset();
        DamageTable::Global().Set(c.type, DamageBullet, c.tableScale);
        Victim v(c.maxHealth, c.type, c.threshold);
        int marker = 0;
        v.TakeDamage(c.amount, DamageBullet, &marker);
        if (c.taken == 0.0f) {
            EXPECT_TRUE(v.hits.empty());
            EXPECT_EQ(v.GetHealth(), c.maxHealth);
            continue;
        }
        ASSERT_EQ(v.hits.size(), 1u);
        EXPECT_FLOAT_EQ(v.hits[0].amount, c.taken);
        EXPECT_EQ(v.hits[0].kind, DamageBullet);
        EXPECT_EQ(v.hits[0].source, &marker);
        EXPECT_FLOAT_EQ(v.GetHealth(), c.maxHealth - c.taken);
        EXPECT_EQ(v.destroyed.size(), c.destroyed ? 1u : 0u);
        // Once wrecked, further damage is ignored and destruction is not reported again.
        v.TakeDamage(c.amount, DamageBullet, nullptr);
        if (c.destroyed) {
            EXPECT_EQ(v.hits.size(), 1u);
            EXPECT_EQ(v.destroyed.size(), 1u);
        }
    }
    EXPECT_EQ(DamageTable::Global().Get(7, 9), 1.0f); // outside the table
}

// A damageable thing: owner of its geom and of its receiver.
struct Thing : GeomOwner {
    explicit Thing(float health) : receiver(health, 2, 0.0f) {}
    DamageReceiver* GetDamageReceiver() override { return &receiver; }
    Victim receiver;
};

TEST_F(DamageTest, InstigatorIsTheOwnerOfAHittingVehicleGeom) {
    Thing attacker(100.0f), target(100.0f);
    SphereGeom vehicleGeom(1.0f), wallGeom(1.0f);
    vehicleGeom.SetOwner(&attacker);
    vehicleGeom.SetCategoryBits(0x84);
    wallGeom.SetCategoryBits(0x84); // vehicle category, but no owner
    target.receiver.TakeDamageFrom(&vehicleGeom, 10.0f, DamageImpact, nullptr);
    target.receiver.TakeDamageFrom(&wallGeom, 10.0f, DamageImpact, nullptr);
    vehicleGeom.SetCategoryBits(0x01);
    target.receiver.TakeDamageFrom(&vehicleGeom, 10.0f, DamageImpact, nullptr);
    ASSERT_EQ(target.receiver.hits.size(), 3u);
    EXPECT_EQ(target.receiver.hits[0].instigator, &attacker);
    EXPECT_EQ(target.receiver.hits[1].instigator, nullptr);
    EXPECT_EQ(target.receiver.hits[2].instigator, nullptr);
    EXPECT_EQ(target.receiver.GetInstigator(), nullptr); // only set during the call
}

// Two damageable boxes colliding hurt each other through the contact joints' forces; each names
// the other as the attacker. A box hitting the static floor takes nothing this way.
TEST_F(DamageTest, ImpactForcesBecomeDamageForBothSides) {
    PlaneGeom& floor = Floor();
    Thing lower(1000.0f), upper(1000.0f);
    Box& a = MakeBox(Vector3(0, 5, 0), Vector3(5, 5, 5), 100.0f);
    Box& b = MakeBox(Vector3(0, 40, 0), Vector3(5, 5, 5), 100.0f);
    a.geom->SetOwner(&lower);
    b.geom->SetOwner(&upper);
    a.geom->SetCategoryBits(0x80);
    b.geom->SetCategoryBits(0x80);
    a.geom->listeners.push_back(&lower.receiver);
    b.geom->listeners.push_back(&upper.receiver);
    b.body->SetLinearVelocity(Vector3(0, -300, 0));
    EXPECT_EQ(lower.receiver.GetForceReceiver(a.geom.get(), &floor), nullptr);
    EXPECT_EQ(lower.receiver.GetForceReceiver(a.geom.get(), b.geom.get()), &lower.receiver);

    Run(40);
    ASSERT_FALSE(lower.receiver.hits.empty());
    ASSERT_FALSE(upper.receiver.hits.empty());
    for (const auto& h : lower.receiver.hits) {
        EXPECT_EQ(h.kind, DamageImpact);
        EXPECT_EQ(h.instigator, &upper);
        EXPECT_EQ(h.source, b.body.get());
    }
    for (const auto& h : upper.receiver.hits) EXPECT_EQ(h.instigator, &lower);
    EXPECT_LT(lower.receiver.GetHealth(), 1000.0f);
    EXPECT_LT(upper.receiver.GetHealth(), 1000.0f);
}

} // namespace
