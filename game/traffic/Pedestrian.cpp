#include "game/traffic/Pedestrian.h"

#include <algorithm>
#include <cmath>

#include "engine/audio/AudioDevice.h"
#include "engine/core/Camera.h"
#include "engine/core/Geometry.h"
#include "engine/core/Debugger.h"
#include "engine/render/BoneAnimation.h"
#include "engine/render/D3D8Mesh.h"
#include "engine/render/MatrixStack.h"
#include "engine/render/RenderFacility.h"
#include "game/traffic/PedestrianType.h"
#include "game/traffic/StreetEvents.h"
#include "game/vehicles/Vehicle.h"
#include "game/vehicles/VehicleContext.h"
#include "game/world/BoundaryPlane.h"
#include "game/world/Decals.h"
#include "game/world/GameSession.h"
#include "game/world/LevelData.h"
#include "game/world/ParticleSystem.h"
#include "game/world/PhysicsGeom.h"
#include "game/world/RigidBody.h"
#include "game/world/World.h"
#include "platform/sys/Random.h"

namespace {

constexpr uint32_t kPedestrianCategory = 0x10;
constexpr uint32_t kStaticBit = 0x01;  // the city's collision mesh
constexpr uint32_t kVehicleBit = 0x80;
constexpr uint32_t kPedestrianBit = 0x100;

SurfaceMaterial& LivingSurface() {
    static SurfaceMaterial s(INFINITY);
    return s;
}
SurfaceMaterial& DeadSurface() {
    static SurfaceMaterial s(10000000.0f);
    return s;
}

// The turn about y that looks along a horizontal direction ((0, 0, -1) unturned).
Quaternion LookAlong(const Vector3& d) {
    if (d.x == 0.0f && d.z == 0.0f) return Quaternion();
    return Quaternion(Vector3(0.0f, 1.0f, 0.0f), std::atan2(-d.x, -d.z));
}

Vector3 Turned(const Quaternion& q, const Vector3& v) { return q.ToMatrix().TransformNormal(v); }

}  // namespace

Pedestrian::Pedestrian(PedestrianType& type_, PedestrianSite& site_)
    : DamageReceiver(0.5f, 1, 0.01f), type(type_), site(site_) {
    itemFlags = 3;
    listenerFlags = AskIgnorePair | AskForceReceiver | AskFilterContact;
    LivingSurface().friction = INFINITY;
    DeadSurface().friction = 10000000.0f;
    animationClock = RandomFloat(0.0f, 1.0f);
    randomState = uint32_t(plat::EngineRand());
    if (type.body) {
        player.reset(type.body->Clone());
        for (BoneAnimation* a : {type.walk.get(), type.jump.get(), type.run.get(), type.idle.get(), type.getIn2.get(),
                                 type.getIn3.get()})
            if (a) player->AddAnimation(a);
    }
    geom = std::make_unique<BoxGeom>(type.size * 0.5f);
    geom->SetCategoryBits(kPedestrianCategory);
    geom->SetOwner(this);
    geom->listeners.push_back(this);
    ownGeom = geom.get();
}

Pedestrian::~Pedestrian() = default;

Quaternion Pedestrian::GetOrientation() const {
    Quaternion q;
    if (body) body->GetOrientation(q);
    else geom->GetOrientation(q);
    return q;
}

Vector3 Pedestrian::GetPosition() const {
    const Vector3 centre = body ? body->GetPosition() : geom->GetPosition();
    return centre - Turned(GetOrientation(), type.footOffset);
}

void Pedestrian::SetPosition(const Vector3& feet) {
    const Vector3 centre = feet + Turned(GetOrientation(), type.footOffset);
    if (body) body->SetPosition(centre);
    else geom->SetPosition(centre);
}

void Pedestrian::SetOrientation(const Quaternion& q) {
    if (body) body->SetOrientation(q);
    else geom->SetOrientation(q);
}

void Pedestrian::Play(BoneAnimation* animation) {
    if (player && animation) player->PlayAnimation(animation, 0xFFFFFFFFu, false);
}

void Pedestrian::SetMoving(int32_t newState, BoneAnimation* animation) {
    state = newState;
    speed = 50.0f / type.SpeedLength(animation);
    Play(animation);
}

void Pedestrian::StandAt(const Vector3& direction) {
    facing = direction;
    speed = 0.0f;
    if (state != Standing) {
        state = Standing;
        Play(type.idle.get());
    }
}

void Pedestrian::ResumeWalking() {
    if (state != Walking) SetMoving(Walking, type.walk.get());
}

bool Pedestrian::PickNextNode() {
    if (!targetNode) return false;
    const int32_t count = int32_t(targetNode->links.size());
    if (count <= 0) return false;
    int32_t index = 0;
    if (count == 1) {
        // A dead end: turn a little so the way back is not straight through, and go back.
        facing.x += 0.1f;
        facing.y = 0.0f;
        facing.z += 0.01f;
    } else {
        randomState = randomState * 1664525u + 1013904223u;
        index = int32_t(randomState % uint32_t(count));
        if (targetNode->links[size_t(index)] == previousNode) index = (index + 1) % count;
    }
    RoadNode* next = targetNode->links[size_t(index)];
    if (!next) return false;
    previousNode = targetNode;
    targetNode = next;
    return true;
}

void Pedestrian::AttachBody() {
    if (body) return;
    if (!site.freeBodies.empty()) {
        body = site.freeBodies.front();
        site.freeBodies.erase(site.freeBodies.begin());
    } else {
        site.bodies.push_back(std::make_unique<RigidBody>(site.world->physics));
        body = site.bodies.back().get();
    }
    body->SetMass(1000.0f);
    body->SetBoxInertia(type.size * 0.5f);
    body->Enable();
    Quaternion q;
    geom->GetOrientation(q);
    body->SetPosition(geom->GetPosition());
    body->SetOrientation(q);
    // Through the body, so that the contacts' force hooks find this pedestrian from it; the
    // geom is bound once the collision call it may be made in is over.
    body->SetGeom(geom.get());
    body->SetLinearVelocity(facing * speed);
    body->SetAngularVelocity(Vector3());
}

void Pedestrian::ReleaseBody() {
    if (!body) return;
    Quaternion q;
    body->GetOrientation(q);
    const Vector3 p = body->GetPosition();
    body->SetGeom(nullptr);
    geom->SetPosition(p);
    geom->SetOrientation(q);
    body->Disable();
    site.freeBodies.push_back(body);
    body = nullptr;
}

void Pedestrian::OnAdded(ObjectQuadTree&) {
    Play(type.idle.get());
    state = Standing;
}

void Pedestrian::GetBounds(BoundingBox& out) const { geom->GetBounds(out); }

void Pedestrian::OnAdded(PhysicsWorld& world) {
    geom->AddToWorld(world);
    geom->SetCategoryBits(0x104);
    // The static city (category 1) too: a pedestrian thrown by a car lands on the ground
    // instead of falling through it. A walker has no body, so the pair costs nothing.
    geom->SetCollideBits(0x183);
    geom->SetSurface(&LivingSurface());
    geom->Enable();
    killedByHit = false;
    visible = false;
    if (previousNode && targetNode) {
        const Vector3 a = previousNode->position, b = targetNode->position;
        const Vector3 along = b - a;
        const Vector3 p = a + along * RandomFloat(0.0f, 1.0f) + Vector3(0.0f, 10.0f, 0.0f);
        Vector3 flat(along.x, 0.0f, along.z);
        if (flat.LengthSquared() > 0.0f) facing = flat.Normalized();
        SetOrientation(LookAlong(facing));
        SetPosition(p);
        speed = 20.0f;
    }
    hitter = nullptr;
}

void Pedestrian::OnRemoved(PhysicsWorld& world) {
    ReleaseBody();
    geom->RemoveFromWorld(world);
}

void Pedestrian::Update(ObjectQuadTree&, const Camera* camera, float dt) {
    itemFlags |= Moved;
    splashCooldown -= dt;
    const uint32_t frame = site.world->engine.FrameNumber();
    if ((drawnFrame + 1u == frame || state == Dead) && player) {
        animationClock += dt;
        float interval = 1.0f / 30.0f;
        if (camera) interval = std::max(interval, (camera->position - GetPosition()).LengthSquared() * (1.0f / 600000.0f));
        if (animationClock > interval) {
            player->Step(animationClock);
            animationClock = 0.0f;
        }
    }
    if (geom->IsEnabled()) Dodge(dt);
    if (splashPending) {
        splashPending = false;
        PlayHere(type.bloodSounds, nullptr);
    }
    if (splatPending) {
        splatPending = false;
        if (BloodShown()) LaySplats();
    }
    visible = false;
}

void Pedestrian::Dodge(float dt) {
    if (!site.vehicles) return;
    for (Vehicle* car : site.vehicles->vehicles)
        if (car && !React(CarMotion{car->GetPosition(), car->GetLinearVelocity()}, dt)) return;
}

bool Pedestrian::React(const CarMotion& car, float dt) {
    if (!geom->IsEnabled()) return true;
    if (!(state == Walking || state == Running || (state == Jumping && dodgeClock > 0.25f))) return true;
    const Vector3 me = GetPosition();
    const float s = car.velocity.LengthSquared();
    const float threshold = s < 100.0f ? 1500.0f : 750.0f;
    for (int k = 1; k <= 5; ++k) {
        const Vector3 predicted = car.position + car.velocity * (float(k) * 0.2f);
        const Vector3 d = me - predicted;
        if (d.LengthSquared() >= threshold) continue;
        Vector3 side(-d.z, 0.0f, d.x);
        if (side.LengthSquared() > 0.0f) side.Normalize();
        if (!targetNode) return false;
        if ((targetNode->position - me).LengthSquared() < 1000.0f && !PickNextNode()) {
            state = Waiting;
            Debugger::Instance().Log(3, "Ped has no target");
        }
        if (s >= kFastCarSpeedSquared && state != Jumping) {
            facing = side;
            dodgeClock = 0.0f;
            SetMoving(Jumping, type.jump.get());
        } else if (s < kFastCarSpeedSquared) {
            const float f = Clamp(dt * 3.0f, 0.0f, 1.0f);
            facing = facing + (side - facing) * f;
            facing.y = 0.0f;
            if (facing.LengthSquared() > 0.0f) facing.Normalize();
        }
        return true;
    }
    return true;
}

void Pedestrian::UpdateBounds(PhysicsWorld&, float dt) {
    if (state == Running && geom->IsEnabled()) {
        runTimer -= dt;
        if (runTimer < 0.0f) SetMoving(Walking, type.walk.get());
    }
    if ((state == Walking || state == Running || state == Knocked) && targetNode) {
        const Quaternion q = GetOrientation();
        const Vector3 aim = targetNode->position + Turned(q, Vector3(sideOffset, 10.0f, 0.0f));
        const Vector3 me = GetPosition();
        Vector3 to = aim - me;
        if (to.LengthSquared() < kArrivalRadiusSquared * radiusFactor && !PickNextNode()) {
            speed = 0.0f;
            if (state != Standing) {
                state = Standing;
                Play(type.idle.get());
            }
        }
        if (state != Standing) {
            to.y = 0.0f;
            if (to.LengthSquared() > 0.0f) to.Normalize();
            const float f = std::max(0.0f, dt * turnFactor * 3.0f);
            facing = facing + (to - facing) * std::min(f, 1.0f);
            if (facing.LengthSquared() > 0.0f) facing.Normalize();
        }
    }
    if (state == Jumping) {
        dodgeClock += dt;
        if (dodgeClock >= type.SpeedLength(type.jump.get())) {
            runTimer = 2.0f;
            SetMoving(Running, type.run.get());
        }
    }
    if (state == Dead) {
        bleedTimer -= dt;
        // Bursts from the body of one not killed by a hit (a blast, flames), while it is seen.
        if (bleedTimer > 0.0f && !killedByHit && visible && BloodShown()) {
            burstAccumulator += dt;
            const Quaternion q = GetOrientation();
            const Vector3 at = GetPosition();
            while (burstAccumulator >= 0.0f) {
                for (const Vector3& point : bodyPoints)
                    EmitBlood(at + Turned(q, point),
                              Vector3(RandomFloat(-0.5f, 0.5f), RandomFloat(-0.5f, 0.5f), RandomFloat(-0.5f, 0.5f)) * 150.0f,
                              1.0f);
                burstAccumulator -= 0.1f / std::max(bleedTimer, 1.0f);
            }
        }
        if (bleedTimer < 0.0f) {
            geom->Disable();
            if (body && bleedTimer < -2.0f) ReleaseBody();
        }
    }
    // Knocked down, or lying dead after a hit: blood sprays from it while it is seen.
    if ((state == Knocked || (state == Dead && killedByHit && bleedTimer > -5.0f)) && visible && BloodShown()) {
        sprayAccumulator += dt;
        BoundingBox b;
        GetBounds(b);
        while (sprayAccumulator > 0.0f) {
            const Vector3 at = b.centre + Vector3(RandomFloat(-7.5f, 7.5f), RandomFloat(-b.halfExtents.y, b.halfExtents.y),
                                                  RandomFloat(-7.5f, 7.5f));
            EmitBlood(at, Vector3(RandomFloat(-25.0f, 25.0f), RandomFloat(10.0f, 35.0f), RandomFloat(0.0f, 25.0f)), 0.5f);
            sprayAccumulator -= 0.01f;
        }
    }
    if (state == Knocked) {
        if (thrownOnDamage) AttachBody();
        knockTimer -= dt;
        if (knockTimer < 0.0f) {
            AttachBody();
            instigator = hitter;
            health = 0.0f;
            knockTimer = 0.0f;
            Die(true);
        }
    }
    if (state != Dead) {
        if (!(facing.LengthSquared() > 0.0f)) facing = Vector3(0.0f, 0.0f, -1.0f);
        const Quaternion q = LookAlong(facing);
        const Vector3 p = GetPosition() + facing * (speed * dt * speedFactor);
        SetOrientation(q);
        SetPosition(p);
    }
}

bool Pedestrian::Cull(ObjectQuadTree&, const Camera& camera) {
    BoundingBox b;
    GetBounds(b);
    if ((camera.position - b.centre).LengthSquared() > 2000.0f * 2000.0f) return false;
    if (!camera.IsBoxVisible(b)) return false;
    const uint32_t frame = site.world->engine.FrameNumber();
    // A frame's first cull empties the kind's list: a game that culls without drawing must not
    // pile up pedestrians there.
    if (type.drawListFrame != frame) {
        type.drawList.clear();
        type.drawListFrame = frame;
    }
    type.drawList.push_back(this);
    drawnFrame = frame;
    visible = true;
    return true;
}

void Pedestrian::Draw(ObjectQuadTree&, const Camera&) {
    RenderFacility* renderer = site.world->engine.renderer;
    MatrixStack* stack = renderer ? renderer->GetMatrixStack() : nullptr;
    if (!stack || !player) return;
    Matrix4 world = GetOrientation().ToMatrix();
    const Vector3 p = GetPosition() + Turned(GetOrientation(), type.footOffset);
    world.Translate(p.x, p.y, p.z);
    stack->Push();
    stack->Load(world);
    player->Render();
    stack->Pop();
}

bool Pedestrian::IgnorePair(PhysicsGeom*, PhysicsGeom* other) {
    const uint32_t bits = other ? other->GetCategoryBits() : 0u;
    if (bits & kVehicleBit) {
        // A car's space is asked first: its chassis box, which has the body, decides.
        if (other->flags & PhysicsGeom::IsSpace) return false;
        if (state == Dead) return true;
        RigidBody* carBody = other->GetBody();
        if (!thrownOnDamage && (!carBody || carBody->GetLinearVelocity().LengthSquared() < 75.0f * 75.0f)) return true;
        return false;
    }
    if (!(bits & kPedestrianBit)) return false;
    auto* them = dynamic_cast<Pedestrian*>(other->GetOwner());
    if (them) {
        if (them->state == Knocked && health > 0.0f) OnDamaged(0.0f, 0, nullptr);
        // Pedestrians never push each other: they drift apart sideways.
        const Vector3 right = Turned(GetOrientation(), Vector3(1.0f, 0.0f, 0.0f));
        sideOffset += 0.1f * (geom->GetPosition() - other->GetPosition()).Dot(right);
    }
    return true;
}

bool Pedestrian::FilterContact(PhysicsGeom*, PhysicsGeom* other, Vector3* position, Vector3* normal, float*) {
    // Inside the collision: only noted here, acted on by the frame's update.
    if (!body) return true;
    const uint32_t bits = other ? other->GetCategoryBits() : 0u;
    const Vector3 v = body->GetLinearVelocity();
    const bool city = bits == 0u || (bits & kStaticBit);
    if ((city || (state == Dead && (bits & kVehicleBit))) && v.LengthSquared() > 50.0f && splashCooldown < 0.0f) {
        splashCooldown = 0.25f;
        splashDirection = v.Normalized();
        splashPending = true;
    }
    if ((bits & kStaticBit) && health < maxHealth * 0.5f && !killedByHit && position && normal && !splatPending) {
        const float speed = v.Length();
        const bool still = speed < 20.0f && body->GetAngularVelocity().Length() < 10.0f;
        if (!still && !(speed * 0.04f > RandomFloat(0.0f, 1.0f))) {
            splatPending = true;
            splatPoint = *position;
            splatNormal = *normal;
        }
    }
    return true;
}

JointForceReceiver* Pedestrian::GetForceReceiver(PhysicsGeom* own, PhysicsGeom* other) {
    if (state != Dead) AttachBody();
    return DamageReceiver::GetForceReceiver(own, other);
}

void Pedestrian::OnDamaged(float, int32_t kind, const void*) {
    hitMark = 1.0f;
    if (kind != 0) health = 0.0f;
    if (!hitter) hitter = instigator;
    if (state != Knocked && state != Dead) {
        knockTimer = (RandomFloat(0.0f, 1.0f) + 1.0f) * 5.0f;
        state = Knocked;
        speed = 80.0f;
    }
}

void Pedestrian::OnDestroyed(int32_t) {
    // A hit knocks first: the death comes when the knock runs out.
    if (state == Knocked && knockTimer > 0.0f) return;
    Die(instigator != nullptr);
}

void Pedestrian::Die(bool byHit) {
    if (state == Dead) return;
    if (site.events) site.events->OnPedestrianHit(dynamic_cast<Vehicle*>(hitter), *this);
    const Vector3 forward = Turned(GetOrientation(), Vector3(0.0f, 0.0f, -1.0f));
    BoneAnimation* fall = type.falls[forward.Dot(splashDirection) >= 0.0f ? 0 : 1];
    if (player && fall) player->PlayAnimation(fall, 1, false);
    speed = 0.0f;
    geom->SetSurface(&DeadSurface());
    state = Dead;
    bleedTimer = 5.0f;
    // Eight points up the body, from the bottom of its bounds.
    const float bottom = type.footOffset.y - type.size.y * 0.5f;
    for (int i = 0; i < 8; ++i)
        bodyPoints[size_t(i)] = Vector3(type.footOffset.x, bottom + float(i) * type.size.y / 8.0f, type.footOffset.z);
    if (byHit) PlayHere(type.hitSounds, "HitPed.WAV");
    killedByHit = byHit;
}

bool Pedestrian::BloodShown() const { return site.world && site.world->session.bloodEnabled; }

void Pedestrian::EmitBlood(const Vector3& at, const Vector3& velocity, float alpha) {
    BloodParticleSystem* blood = ParticleSystems::blood;
    ParticleGroup* g = blood ? blood->Emit(ParticleSystem::kFromPool) : nullptr;
    if (!g) return;
    g->position = at;
    g->velocity = velocity;
    g->colour[3] = alpha;
}

void Pedestrian::LaySplats() {
    BloodParticleSystem* blood = ParticleSystems::blood;
    if (!blood) return;
    Vector3 p, q;
    OrthonormalBasis(splatNormal, p, q);
    BoundaryPlane* city = site.world ? site.world->boundary.get() : nullptr;
    for (int i = 0; i < 10; ++i) {
        const float size = (RandomFloat(0.0f, 1.0f) + 1.0f) * 2.5f;
        const float turn = RandomFloat(0.0f, 6.2831853f);
        const Vector3 u = (p * std::cos(turn) + q * std::sin(turn)) * size;
        const Vector3 w = (q * std::cos(turn) - p * std::sin(turn)) * size;
        const Vector3 centre = splatPoint + p * RandomFloat(-6.0f, 6.0f) + q * RandomFloat(-6.0f, 6.0f) + splatNormal * 0.2f;
        const int32_t number = DecalRing::Counter();
        DecalRecord* record = DecalRing::Next(&blood->SplatOwner());
        if (!record) return;
        // The city keeps the numbers of the decals that lie on it.
        if (city) city->staticDecals.push_back(number);
        const Vector3 corners[4] = {centre - u - w, centre - u + w, centre + u - w, centre + u + w};
        static const Vector2 uv[4] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}};
        for (int k = 0; k < 4; ++k) {
            record->quad.corners[k] = corners[k];
            record->quad.texCoords[k] = uv[k];
            for (float& c : record->quad.colour) c = 1.0f;
        }
    }
}

void Pedestrian::PlayHere(const std::vector<SharedString>& sounds, const char* fallback) {
    AudioDevice* sound = site.world ? site.world->engine.sound : nullptr;
    if (!sound || (sounds.empty() && !fallback)) return;
    const SharedString name = sounds.empty() ? SharedString(fallback) : sounds[size_t(plat::EngineRand()) % sounds.size()];
    VolumeGroup* effects = site.vehicles ? site.vehicles->effectsVolume : nullptr;
    sound->PlaySound3D(name, GetPosition(), 10.0f, 150.0f, effects ? effects->GetEffectiveVolume() : 1.0f);
}
