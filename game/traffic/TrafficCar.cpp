#include "game/traffic/TrafficCar.h"

#include <algorithm>
#include <cmath>

#include "engine/audio/AudioDevice.h"
#include "engine/core/Camera.h"
#include "engine/render/D3D8Mesh.h"
#include "engine/render/MatrixStack.h"
#include "engine/render/RenderFacility.h"
#include "game/traffic/StreetEvents.h"
#include "game/traffic/TrafficCarType.h"
#include "game/vehicles/DrivingRules.h"
#include "game/vehicles/Explosion.h"
#include "game/vehicles/Vehicle.h"
#include "game/vehicles/VehicleContext.h"
#include "game/world/GameSession.h"
#include "game/world/LevelData.h"
#include "game/world/ParticleSystem.h"
#include "game/world/PhysicsGeom.h"
#include "game/world/RigidBody.h"
#include "game/world/World.h"
#include "platform/sys/Random.h"

namespace {

constexpr uint32_t kStaticBit = 0x01;
constexpr int32_t kWreckGameType = 10;

SurfaceMaterial& TrafficSurface() {
    static SurfaceMaterial s(100.0f);
    return s;
}

// The turn about y that heads the car along a direction (the car's front is its +z).
Quaternion HeadingAlong(const Vector3& d) {
    if (d.x == 0.0f && d.z == 0.0f) return Quaternion();
    return Quaternion(Vector3(0.0f, 1.0f, 0.0f), std::atan2(d.x, d.z));
}

Vector3 Turned(const Quaternion& q, const Vector3& v) { return q.ToMatrix().TransformNormal(v); }

Vector3 Normalised(const Vector3& v, const Vector3& fallback) {
    const float l = v.LengthSquared();
    return l > 0.0f && std::isfinite(l) ? v * (1.0f / std::sqrt(l)) : fallback;
}

void Raise(RoadNode* node) {
    if (node) node->occupancy = (node->occupancy & ~RoadNode::CountMask) | ((node->occupancy + 1) & RoadNode::CountMask);
}
void Lower(RoadNode* node) {
    if (node && (node->occupancy & RoadNode::CountMask) != 0) node->occupancy -= 1;
}

void Emit(ParticleSystem* system, const Vector3& at, const Vector3& velocity, float grey, float alpha) {
    if (!system) return;
    ParticleGroup* g = system->Emit(1);
    if (!g) return;
    g->position = at;
    g->velocity = velocity;
    g->colour[0] = g->colour[1] = g->colour[2] = grey;
    g->colour[3] = alpha;
    if (g->quads.empty()) g->quads.push_back(ParticleQuad{0, 0, 1, 1, -4, -4, 8, 8});
    g->UpdateRadius();
}

}  // namespace

TrafficFleet::TrafficFleet() = default;

TrafficFleet::~TrafficFleet() {
    AudioDevice* sound = world ? world->engine.sound : nullptr;
    for (AudioVoice* h : horns)
        if (sound) sound->ReleaseVoice(h);
    cars.clear();
}

TrafficCar::TrafficCar(TrafficCarType& type_, TrafficFleet& fleet_)
    : DamageReceiver(kMaxHealth, 2, 0.0f), type(type_), fleet(fleet_) {
    itemFlags = UpdateEachFrame | Culled;
    listenerFlags = AskForceReceiver | AskFilterContact;
    const Vector3 half(std::max(type.boxSize.x, 0.1f) * 0.5f, std::max(type.boxSize.y, 0.1f) * 0.5f,
                       std::max(type.boxSize.z, 0.1f) * 0.5f);
    box = std::make_unique<BoxGeom>(half);
    box->SetSurface(&TrafficSurface());
    box->SetOwner(this);
    box->listeners.push_back(this);
    box->SetCategoryBits(kTrafficCategory);
    box->SetCollideBits(kKinematicCollide);
    ownGeom = box.get();
    if (AudioDevice* sound = fleet.world ? fleet.world->engine.sound : nullptr) {
        auto voice = [&](const char* name) {
            AudioVoice* v = sound->CreateSound(SharedString(name), true);
            if (!v) return v;
            v->SetDistances(50.0f, 500.0f);
            if (fleet.vehicles && fleet.vehicles->effectsVolume) fleet.vehicles->effectsVolume->AttachChild(v);
            return v;
        };
        engineSound = voice("Audio\\Traffic\\Engine.WAV");
        fireSound = voice("Audio\\Fire.WAV");
    }
}

TrafficCar::~TrafficCar() {
    AudioDevice* sound = fleet.world ? fleet.world->engine.sound : nullptr;
    if (sound) {
        if (engineSound) sound->ReleaseVoice(engineSound);
        if (fireSound) sound->ReleaseVoice(fireSound);
    }
}

Quaternion TrafficCar::GetOrientation() const {
    Quaternion q;
    if (body) body->GetOrientation(q);
    else box->GetOrientation(q);
    return q;
}

Vector3 TrafficCar::GetPosition() const { return body ? body->GetPosition() : box->GetPosition(); }

Vector3 TrafficCar::Origin() const { return GetPosition() - Turned(GetOrientation(), type.boxCentre); }

void TrafficCar::PlaceBox(const Vector3& centre, const Quaternion& q) {
    if (body) {
        body->SetPosition(centre);
        body->SetOrientation(q);
    } else {
        box->SetPosition(centre);
        box->SetOrientation(q);
    }
}

bool TrafficCar::AdvanceNode() {
    if (!nextNode || nextNode->links.empty()) return false;
    seed = seed * 1664525u + 1013904223u;
    RoadNode* candidate = nextNode->links[seed % uint32_t(nextNode->links.size())];
    if (!candidate || (candidate->occupancy & RoadNode::CountMask) != 0) return false;
    if (nextNode->occupancy & RoadNode::Restricted) return false;
    Lower(nextNode);
    currentNode = nextNode;
    nextNode = candidate;
    Raise(nextNode);
    return true;
}

void TrafficCar::MakeDynamic() {
    if (body || !fleet.world) return;
    knockPoint = Origin();
    if (!fleet.spareBodies.empty()) {
        body = fleet.spareBodies.back();
        fleet.spareBodies.pop_back();
    } else {
        fleet.bodies.push_back(std::make_unique<RigidBody>(fleet.world->physics));
        body = fleet.bodies.back().get();
    }
    Quaternion q;
    box->GetOrientation(q);
    body->SetBoxMass(type.mass * 2.5f, box->GetHalfExtents());
    body->Enable();
    body->SetPosition(box->GetPosition());
    body->SetOrientation(q);
    box->SetBody(body);
    body->SetLinearVelocity(direction * speed);
    body->SetAngularVelocity(Vector3());
    box->SetCollideBits(kSimulatedCollide);
    settleTime = 2.5f;
    restTime = 0.0f;
}

void TrafficCar::MakeKinematic() {
    if (!body) return;
    Quaternion q;
    body->GetOrientation(q);
    const Vector3 p = body->GetPosition();
    const Vector3 v = body->GetLinearVelocity();
    box->SetBody(nullptr);
    box->SetPosition(p);
    box->SetOrientation(q);
    speed = std::sqrt(v.LengthSquared());
    direction = Normalised(Turned(q, Vector3(0.0f, 0.0f, 1.0f)), direction);
    body->Disable();
    fleet.spareBodies.push_back(body);
    body = nullptr;
    box->SetCollideBits(kKinematicCollide);
}

void TrafficCar::Wreck() {
    VehicleContext* context = fleet.vehicles;
    const bool wasWrecked = state == Wrecked;
    if (context && context->session.gameType == kWreckGameType && !wasWrecked && context->rules) context->rules->Fail();
    state = Wrecked;
    Vehicle* by = dynamic_cast<Vehicle*>(lastInstigator);
    if (fleet.events) fleet.events->OnTrafficCarWrecked(by);
    if (engineSound) engineSound->Stop();
    if (context)
        Explosion::Spawn(*context, by ? by->ChassisGeom() : nullptr, GetPosition(), Explosion::WreckStart,
                         Explosion::WreckMaximum, Explosion::WreckGrowth, true);
}

// ---------------------------------------------------------------------------------------------
// The world's tree

void TrafficCar::OnAdded(ObjectQuadTree&) {
    const Vector3 at = GetPosition();
    if (engineSound) {
        engineSound->SetPosition(at);
        engineSound->Play(true);
    }
    if (fireSound) fireSound->SetPosition(at);
}

void TrafficCar::OnRemoved(ObjectQuadTree&) {
    if (engineSound) engineSound->Stop();
    if (fireSound) fireSound->Stop();
}

void TrafficCar::GetBounds(BoundingBox& out) const { box->GetBounds(out); }

void TrafficCar::Update(ObjectQuadTree&, const Camera*, float) {
    visible = false;
    const Vector3 at = GetPosition();
    if (engineSound) engineSound->SetPosition(at);
    if (fireSound) fireSound->SetPosition(at);
    itemFlags |= Moved;
}

bool TrafficCar::Cull(ObjectQuadTree& tree, const Camera& camera) {
    // Every cull starts the lists afresh, seen or not: reflection passes and games without a
    // renderer cull without drawing, and a car must not be listed twice or after it left.
    const uint32_t pass = tree.CullPass();
    if (fleet.cullPass != pass) {
        fleet.cullPass = pass;
        for (const auto& t : fleet.types) t->drawList.clear();
        fleet.wrecked.clear();
    }
    BoundingBox b;
    GetBounds(b);
    if ((camera.position - b.centre).LengthSquared() > kVisibleSquared) return false;
    if (!camera.IsBoxVisible(b)) return false;
    if (health <= 0.0f) fleet.wrecked.push_back(this);
    else type.drawList.push_back(this);
    visible = true;
    return true;
}

void TrafficCar::Draw(ObjectQuadTree&, const Camera& camera) {
    RenderFacility* renderer = fleet.world ? fleet.world->engine.renderer : nullptr;
    MatrixStack* stack = renderer ? renderer->GetMatrixStack() : nullptr;
    if (!stack) return;
    const Quaternion q = GetOrientation();
    Matrix4 world = q.ToMatrix();
    const Vector3 origin = Origin();
    world.Translate(origin.x, origin.y, origin.z);
    const float d = std::sqrt((camera.position - GetPosition()).LengthSquared());
    const float fade = d < 1000.0f ? 1.0f : d < 2000.0f ? 1.0f - (d - 1000.0f) / 1000.0f : 0.0f;
    const uint32_t factor = uint32_t(255.0f * fade) << 24 | 0x00FFFFFFu;
    auto fadeMesh = [&](D3D8Mesh* mesh) {
        for (const ShaderVarsSlot& slot : mesh->ShaderVarsSlots())
            if (slot.name == "Fader") mesh->GetShaderVars(slot.name)->textureFactor = factor;
    };
    auto drawAt = [&](D3D8Mesh* mesh, const Matrix4& m) {
        if (!mesh) return;
        fadeMesh(mesh);
        stack->Push();
        stack->Load(m);
        mesh->Render();
        stack->Pop();
    };
    // The chassis models face the other way: half a turn about y.
    const Matrix4 turned = Matrix4::RotationY(3.14159265f) * world;
    if (health <= 0.0f) {
        drawAt(type.pieceMesh, turned);
        return;
    }
    if (!type.chassisMeshes.empty()) {
        const int32_t count = int32_t(type.chassisMeshes.size());
        const float ratio = maxHealth > 0.0f ? 1.0f - health / maxHealth : 0.0f;
        const int32_t index = std::clamp(int32_t(std::floor(ratio * float(count))), 0, count - 1);
        drawAt(type.chassisMeshes[size_t(index)], turned);
    }
    for (const Vector3& w : type.wheels) drawAt(type.wheelMesh, Matrix4::RotationX(wheelAngle) * Matrix4::Translation(w.x, w.y, w.z) * world);
}

// ---------------------------------------------------------------------------------------------
// Physics

void TrafficCar::OnAdded(PhysicsWorld& world) {
    box->AddToWorld(world);
    box->SetCategoryBits(kTrafficCategory);
    box->SetCollideBits(kKinematicCollide);
    Raise(nextNode);
    if (currentNode) {
        direction = nextNode ? Normalised(nextNode->position - currentNode->position, direction) : direction;
        const Quaternion q = HeadingAlong(direction);
        box->SetOrientation(q);
        box->SetPosition(currentNode->position + Turned(q, type.boxCentre));
    }
    recoverTime = settleTime = wreckTime = fireDebt = smokeDebt = contactTime = restTime = 0.0f;
    speed = kBaseSpeed;
    lastInstigator = nullptr;
    instigator = nullptr;
    health = maxHealth;
    fireEmitted = smokeEmitted = 0;
    knockPending_ = knockFromDamage_ = wreckPending_ = touchedStatic_ = touchedOther_ = false;
}

void TrafficCar::OnRemoved(PhysicsWorld& world) {
    MakeKinematic();
    box->RemoveFromWorld(world);
    Lower(nextNode);
}

bool TrafficCar::FilterContact(PhysicsGeom*, PhysicsGeom* other, Vector3*, Vector3* normal, float*) {
    if (state == Recovering) {
        const uint32_t bits = other ? other->GetCategoryBits() : 0u;
        if (bits & kStaticBit) {
            touchedStatic_ = true;
            if (normal && normal->y < 0.5f) knockPending_ = true;
        } else {
            touchedOther_ = true;
        }
    }
    return true;
}

JointForceReceiver* TrafficCar::GetForceReceiver(PhysicsGeom* own, PhysicsGeom* other) {
    if (state != Recovering) knockPending_ = true;
    else if (other && (other->GetCategoryBits() & kKinematicCollide)) knockPending_ = true;
    return DamageReceiver::GetForceReceiver(own, other);
}

void TrafficCar::OnDamaged(float, int32_t, const void*) {
    if (state != Recovering) {
        knockPending_ = true;
        knockFromDamage_ = true;
    }
    if (instigator) lastInstigator = instigator;
}

void TrafficCar::OnDestroyed(int32_t) { wreckPending_ = true; }

void TrafficCar::UpdateBounds(PhysicsWorld&, float dt) {
    lastStep_ = dt;
    if (state == Idle) return;
    if (knockPending_) {
        knockPending_ = false;
        MakeDynamic();
        if (state == Driving || state == Waiting || state == Recovering || (knockFromDamage_ && state != Wrecked))
            state = Knocked;
        knockFromDamage_ = false;
    }
    if (touchedOther_) contactTime = 0.0f;
    else if (touchedStatic_) contactTime += dt;
    touchedStatic_ = touchedOther_ = false;

    // A horn now and then.
    if (health > 0.25f && !fleet.horns.empty() && plat::EngineRand() % 100 == 0) {
        AudioVoice* horn = fleet.horns[size_t(plat::EngineRand()) % fleet.horns.size()];
        if (horn && !horn->IsPlaying()) {
            horn->SetPosition(GetPosition());
            horn->Play(false);
        }
    }
    if (health > 0.0f && health < 0.25f * maxHealth) TakeDamage(10.0f * dt, DamageImpact, nullptr);
    if (wreckPending_) {
        wreckPending_ = false;
        Wreck();
    }
    if (health <= 0.0f) wreckTime += dt;
    Effects(dt);

    switch (state) {
    case Knocked:
    case Wrecked:
        if (!body) break;
        if (body->GetLinearVelocity().LengthSquared() < kRestSpeedSquared) {
            settleTime -= dt;
            restTime += dt;
            if (health > 0.5f * maxHealth && settleTime <= 0.0f && body->GetUp().y > 0.75f &&
                (Origin() - knockPoint).LengthSquared() < kRecoverRadiusSquared) {
                MakeKinematic();
                state = Recovering;
                recoverTime = 5.0f;
                box->SetCollideBits(kSimulatedCollide);
                break;
            }
        }
        // The body goes back only once the car has had its chance to return to the road: a car
        // at rest that could recover would otherwise be frozen off the road for good.
        if (restTime > 2.0f && settleTime <= 0.0f) MakeKinematic();
        break;
    case Recovering:
        if (contactTime > 0.25f) {
            MakeDynamic();
            state = Knocked;
            break;
        }
        recoverTime -= dt;
        if (recoverTime < 0.0f) {
            state = Driving;
            box->SetCollideBits(kKinematicCollide);
        }
        Drive(dt);
        Move(dt);
        break;
    case Driving:
    case Waiting:
        Drive(dt);
        Move(dt);
        break;
    default:
        break;
    }
}

void TrafficCar::Drive(float dt) {
    if (state == Driving || state == Recovering) {
        const float target = kBaseSpeed * (currentNode ? currentNode->speedFactor : 1.0f);
        speed += (target - speed) * std::max(0.0f, 0.25f * dt);
        if (!nextNode) return;
        // From the car's origin, which stands on its node: the box's centre lies higher.
        const Vector3 aim = nextNode->position - Origin();
        if (aim.LengthSquared() < kArrivalSquared && !AdvanceNode()) state = Waiting;
        direction = Normalised(direction + (Normalised(aim, direction) - direction) * std::max(0.0f, 4.0f * dt), direction);
    } else if (state == Waiting) {
        speed -= speed * std::min(1.0f, std::max(0.0f, 4.0f * dt));
        if (AdvanceNode()) state = Driving;
    }
}

void TrafficCar::Move(float dt) {
    wheelAngle += speed * 0.002f;
    const Quaternion q = HeadingAlong(direction);
    PlaceBox(GetPosition() + direction * (speed * dt), q);
}

void TrafficCar::Effects(float dt) {
    const float max = maxHealth;
    if (!visible) {
        if (wreckTime <= 20.0f) return;
    } else if (health <= 0.25f * max && wreckTime < 10.0f) {
        fireDebt += dt;
        if (fireSound && !fireSound->IsPlaying()) {
            fireSound->SetPosition(GetPosition());
            fireSound->Play(true);
        }
        const Vector3 at = GetPosition();
        while (fireDebt > 0.0f) {
            Emit(ParticleSystems::fire, at + Vector3(RandomFloat(-5.0f, 5.0f), 0.0f, RandomFloat(-5.0f, 5.0f)),
                 Vector3(RandomFloat(-5.0f, 5.0f), RandomFloat(20.0f, 40.0f), RandomFloat(-5.0f, 5.0f)), 1.0f, 0.5f);
            ++fireEmitted;
            fireDebt -= 0.01f;
        }
        return;
    } else if (health <= 0.5f * max && wreckTime < 20.0f) {
        smokeDebt += dt;
        const Vector3 at = GetPosition();
        while (smokeDebt > 0.0f) {
            Emit(ParticleSystems::smoke, at + Vector3(RandomFloat(-3.0f, 3.0f), 0.0f, RandomFloat(-3.0f, 3.0f)),
                 Vector3(RandomFloat(-3.0f, 3.0f), RandomFloat(10.0f, 30.0f), RandomFloat(-3.0f, 3.0f)),
                 RandomFloat(0.0f, 0.5f), 1.0f);
            ++smokeEmitted;
            smokeDebt -= 0.01f;
        }
        return;
    }
    if (fireSound && fireSound->IsPlaying()) fireSound->Stop();
}
