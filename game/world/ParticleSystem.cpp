#include "game/world/ParticleSystem.h"

#include <algorithm>
#include <cmath>

#include "engine/render/TextureFactory.h"
#include "platform/sys/Random.h"

// ---------------------------------------------------------------------------------------------
// Groups

void ParticleGroup::Reset() {
    position = Vector3();
    velocity = Vector3();
    radius = 0.0f;
    angle = 0.0f;
    colour[0] = colour[1] = colour[2] = colour[3] = 1.0f;
    layer = 0;
    flags = uint16_t((flags | kAlive | kVisible | kFrustumTested) & ~(kOneStep | kShowOnce));
    quads.clear();
}

void ParticleGroup::UpdateRadius() {
    float largest = 0.0f;
    for (const ParticleQuad& q : quads) {
        const float x = q.x + q.w, y = q.y + q.h;
        largest = std::max(largest, x * x + y * y);
    }
    radius = std::sqrt(largest);
}

void BloodParticleGroup::Reset() {
    ParticleGroup::Reset();
    for (int i = 0; i < 5; ++i) {
        ParticleQuad q;
        q.w = RandomFloat(0.0f, 1.0f) + 0.5f;
        q.h = RandomFloat(0.0f, 1.0f) + 0.5f;
        q.x = 1.5f * RandomFloat(-1.0f, 1.0f) - q.w * 0.5f;
        q.y = 1.5f * RandomFloat(-1.0f, 1.0f) - q.h * 0.5f;
        quads.push_back(q);
    }
    life = 1.0f;
    UpdateRadius();
}

void SparkParticleGroup::Reset() {
    ParticleGroup::Reset();
    const float s = 0.25f + 0.5f * RandomFloat(0.0f, 1.0f);
    quads.push_back(ParticleQuad{0, 0, 1, 1, -s * 0.5f, -s * 0.5f, s, s});
    life = 1.0f;
    UpdateRadius();
}

namespace {

void DrawSpin(uint8_t& divisor, int8_t& spin, float& angle) {
    divisor = uint8_t(plat::EngineRand() % 3 + 2);
    spin = int8_t(plat::EngineRand() % 20 - 10);
    angle = RandomFloat(0.0f, 1.0f) * TwoPi;
}

const ParticleQuad kBigQuad{0, 0, 1, 1, -5, -5, 10, 10};

}  // namespace

void FireParticleGroup::Reset() {
    ParticleGroup::Reset();
    DrawSpin(lifeDivisor, spin, angle);
    quads.push_back(kBigQuad);
    UpdateRadius();
}

void SmokeParticleGroup::Reset() {
    ParticleGroup::Reset();
    quads.push_back(kBigQuad);
    UpdateRadius();
}

// ---------------------------------------------------------------------------------------------
// The system

ParticleSystem::ParticleSystem(int32_t poolSize) {
    free_.assign(size_t(std::max(poolSize, 0)), nullptr);
    live_.reserve(free_.size());
}

ParticleSystem::~ParticleSystem() {
    for (ParticleGroup* g : live_) delete g;
    for (ParticleGroup* g : free_) delete g;
}

ParticleGroup* ParticleSystem::CreateGroup() {
    auto* g = new ParticleGroup();
    g->Reset();
    return g;
}

ParticleGroup* ParticleSystem::Emit(int32_t policy) {
    ParticleGroup* g = nullptr;
    if (!free_.empty()) {
        g = free_.back();
        free_.pop_back();
        if (g) g->Reset();
        else g = CreateGroup();
    } else if (policy == kGrow) {
        g = CreateGroup();
    } else if (policy == kRecycleOldest) {
        if (live_.empty()) return nullptr;
        g = live_.front();
        live_.erase(live_.begin());
        g->Reset();
    } else {
        return nullptr;
    }
    live_.push_back(g);
    return g;
}

void ParticleSystem::ReleaseAt(size_t index) {
    if (index >= live_.size()) return;
    ParticleGroup* g = live_[index];
    live_.erase(live_.begin() + std::ptrdiff_t(index));
    free_.push_back(g);
}

void ParticleSystem::Release(ParticleGroup* group) {
    auto it = std::find(live_.begin(), live_.end(), group);
    if (it != live_.end()) ReleaseAt(size_t(it - live_.begin()));
}

void ParticleSystem::Update(float dt) {
    const bool accelerate = acceleration_ != Vector3();
    const Vector3 dv = acceleration_ * dt;
    for (ParticleGroup* g : live_) {
        if (!(g->flags & ParticleGroup::kAlive)) continue;
        if (accelerate) g->velocity += dv;
        g->position += g->velocity * dt;
        if (g->flags & ParticleGroup::kOneStep) g->flags &= uint16_t(~ParticleGroup::kAlive);
    }
}

void ParticleSystem::Update(const Camera&, float dt) { Update(dt); }

template <class Dead>
void ParticleSystem::RetireWhere(Dead dead) {
    // One pass: survivors slide down in order, the dead go to the pool in order.
    size_t kept = 0;
    for (size_t i = 0; i < live_.size(); ++i) {
        ParticleGroup* g = live_[i];
        if (dead(*g)) free_.push_back(g);
        else live_[kept++] = g;
    }
    live_.resize(kept);
}

// ---------------------------------------------------------------------------------------------
// Kinds

TexturedParticleSystem::TexturedParticleSystem(RenderFacility* facility, int32_t poolSize,
                                               const SharedString& textureName,
                                               const std::vector<TextureLayer>& layers, bool triangles)
    : ParticleSystem(poolSize), batch_(facility, 10000, triangles) {
    texture_ = TextureFactory::Instance().GetByName(textureName, true);
    batch_.SetMaterial(layers);
}

TexturedParticleSystem::~TexturedParticleSystem() {
    // The groups point at the texture; they go first.
    for (ParticleGroup*& g : live_) { delete g; g = nullptr; }
    for (ParticleGroup*& g : free_) { delete g; g = nullptr; }
    live_.clear();
    free_.clear();
    delete texture_;
}

void TexturedParticleSystem::Update(const Camera& camera, float dt) {
    ParticleSystem::Update(dt);
    RetireWhere([this, dt](ParticleGroup& g) { return Age(g, dt); });
    batch_.AddSystem(camera, live_);
}

namespace {
const TextureLayer kModulate{"Modulate", 1, 6, 7};
const TextureLayer kAdd{"Add", 1, 6, 1};

bool Fade(ParticleGroup& g, float rate, float dt, uint8_t divisor, int8_t spin) {
    g.colour[3] = std::max(0.0f, g.colour[3] - rate * dt / float(divisor));
    g.angle += float(spin) * dt;
    return !(g.colour[3] > 0.0f);
}
}  // namespace

BloodParticleSystem::BloodParticleSystem(RenderFacility* facility, const Vector3& gravity, DecalRenderer* decals)
    : TexturedParticleSystem(facility, kPool, "Blood.ZKT", {kModulate}, false),
      splats_(facility, "BloodSplat.ZKT", kModulate) {
    SetAcceleration(gravity);
    if (decals) decals->Register(&splats_);
}

// The splat owner leaves the decal renderer by itself, if that is still there.
BloodParticleSystem::~BloodParticleSystem() = default;

ParticleGroup* BloodParticleSystem::CreateGroup() { return Make<BloodParticleGroup>(); }

bool BloodParticleSystem::Age(ParticleGroup& group, float dt) {
    auto& g = static_cast<BloodParticleGroup&>(group);
    g.life -= dt;
    return g.life <= 0.0f;
}

FireParticleSystem::FireParticleSystem(RenderFacility* facility)
    : TexturedParticleSystem(facility, kPool, "Fire.ZKT", {kAdd}, false) {}

ParticleGroup* FireParticleSystem::CreateGroup() { return Make<FireParticleGroup>(); }

bool FireParticleSystem::Age(ParticleGroup& group, float dt) {
    auto& g = static_cast<FireParticleGroup&>(group);
    return Fade(g, 1.5f, dt, g.lifeDivisor, g.spin);
}

SmokeParticleSystem::SmokeParticleSystem(RenderFacility* facility, const SharedString& textureName)
    : TexturedParticleSystem(facility, kPool, textureName, {kModulate, kAdd}, false) {}

ParticleGroup* SmokeParticleSystem::CreateGroup() {
    SmokeParticleGroup* g = Make<SmokeParticleGroup>();
    DrawSpin(g->lifeDivisor, g->spin, g->angle);
    return g;
}

bool SmokeParticleSystem::Age(ParticleGroup& group, float dt) {
    auto& g = static_cast<SmokeParticleGroup&>(group);
    return Fade(g, 3.0f, dt, g.lifeDivisor, g.spin);
}

SparkParticleSystem::SparkParticleSystem(RenderFacility* facility, const Vector3& gravity, bool triangles)
    : TexturedParticleSystem(facility, kPool, "Spark.ZKT", {kAdd}, triangles) {
    SetAcceleration(gravity);
}

ParticleGroup* SparkParticleSystem::CreateGroup() { return Make<SparkParticleGroup>(); }

bool SparkParticleSystem::Age(ParticleGroup& group, float dt) {
    auto& g = static_cast<SparkParticleGroup&>(group);
    g.life -= dt;
    g.colour[3] = g.life * g.life;
    return g.life <= 0.0f;
}

// ---------------------------------------------------------------------------------------------
// The game's slots

BloodParticleSystem* ParticleSystems::blood = nullptr;
FireParticleSystem* ParticleSystems::fire = nullptr;
SmokeParticleSystem* ParticleSystems::smoke = nullptr;
SparkParticleSystem* ParticleSystems::sparks = nullptr;
SparkParticleSystem* ParticleSystems::triangleSparks = nullptr;

void ParticleSystems::Create(RenderFacility* facility, const Vector3& gravity, DecalRenderer* decals) {
    Destroy();
    blood = new BloodParticleSystem(facility, gravity, decals);
    fire = new FireParticleSystem(facility);
    smoke = new SmokeParticleSystem(facility, "Smoke.ZKT");
    sparks = new SparkParticleSystem(facility, gravity, false);
    triangleSparks = new SparkParticleSystem(facility, gravity, true);
}

void ParticleSystems::Destroy() {
    delete blood;
    delete fire;
    delete smoke;
    delete sparks;
    delete triangleSparks;
    blood = nullptr;
    fire = nullptr;
    smoke = nullptr;
    sparks = nullptr;
    triangleSparks = nullptr;
}

void ParticleSystems::UpdateAll(const Camera& camera, float dt) {
    for (ParticleSystem* s : {static_cast<ParticleSystem*>(fire), static_cast<ParticleSystem*>(smoke),
                              static_cast<ParticleSystem*>(sparks), static_cast<ParticleSystem*>(triangleSparks),
                              static_cast<ParticleSystem*>(blood)})
        if (s) s->Update(camera, dt);
}

void ParticleSystems::DrawAll() {
    // Smoke last, over the glowing kinds.
    for (ParticleSystem* s : {static_cast<ParticleSystem*>(fire), static_cast<ParticleSystem*>(sparks),
                              static_cast<ParticleSystem*>(triangleSparks), static_cast<ParticleSystem*>(blood),
                              static_cast<ParticleSystem*>(smoke)})
        if (s) s->Draw();
}
