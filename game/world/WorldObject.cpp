#include "game/world/WorldObject.h"

#include <cmath>

#include "engine/core/Camera.h"
#include "engine/core/Debugger.h"
#include "game/world/WorldEffects.h"
#include "game/world/WorldObjectManager.h"

namespace {
// The box reaching the light pool on the ground: 200 lower, 225 wider on each side.
void Widen(BoundingBox& b) {
    b.centre.y -= 100.0f;
    b.halfExtents.y += 100.0f;
    b.halfExtents.x += 225.0f;
    b.halfExtents.z += 225.0f;
}

ObjectExtension* LastOf(ObjectExtension* e) {
    // Bounded walk: a chain never holds more links than this.
    for (int i = 0; e->next && i < 1 << 16; ++i) e = e->next;
    return e;
}

bool InChain(ObjectExtension* chain, ObjectExtension* e) {
    for (int i = 0; chain && i < 1 << 16; ++i, chain = chain->next)
        if (chain == e) return true;
    return false;
}

void LogLoop() { Debugger::Instance().Log(1, "Extension loop not possible!!"); }
} // namespace

WorldObject::WorldObject()
    : CollisionListener(AskIgnorePair | AskVetoContacts | AskFilterContact) {}

WorldObject::~WorldObject() { delete geom_; }

Vector3 WorldObject::GetPosition() const { return body_ ? body_->GetPosition() : position_; }

Quaternion WorldObject::GetOrientation() const {
    if (!body_) return orientation_;
    Quaternion q;
    body_->GetOrientation(q);
    return q;
}

Vector3 WorldObject::HomeGeomPosition() const {
    const Vector3 offset = kind ? kind->boxCentre : Vector3();
    return position_ + orientation_.ToMatrix().TransformNormal(offset);
}

void WorldObject::GetBounds(BoundingBox& out) const {
    out.centre = centre_;
    out.halfExtents = halfExtents_;
    if (kind && (kind->flags & WorldObjectKind::CarriesLight)) Widen(out);
}

void WorldObject::AddExtension(ObjectExtension* e) {
    if (!e) return;
    if (!extensions_) {
        extensions_ = e;
        return;
    }
    if (InChain(extensions_, e) || InChain(e, extensions_)) {
        LogLoop();
        return;
    }
    ObjectExtension* head = extensions_;
    if (!head->chainable) {
        if (!e->chainable) {
            LogLoop();
            return;
        }
        ObjectExtension* last = LastOf(e);
        if (last->chainable) last->next = head;
        else LogLoop();
        extensions_ = e;
        return;
    }
    ObjectExtension* last = LastOf(head);
    if (last->chainable) {
        last->next = e;
        return;
    }
    if (!e->chainable) {
        LogLoop();
        return;
    }
    // The shared node moves to the end of e's chain; e takes its place.
    ObjectExtension* eLast = LastOf(e);
    if (eLast->chainable) eLast->next = last;
    else LogLoop();
    ObjectExtension* before = head;
    while (before->next != last) before = before->next;
    before->next = e;
}

void WorldObject::NotifyTouched() {
    for (ObjectExtension* e = extensions_; e; e = e->next) {
        e->OnDisturbed();
        e->OnTouched(position_);
    }
}

void WorldObject::Update() {
    for (ObjectExtension* e = extensions_; e; e = e->next) e->OnRestored();
    if (body_) ReleaseBody();
    PlaceOnPose();
    far = false;
}

void WorldObject::MovePlacedPose(const Vector3& position, const Quaternion& orientation) {
    position_ = position;
    orientation_ = orientation;
    if (!body_) PlaceOnPose();
}

void WorldObject::PlaceOnPose() {
    if (geom_) {
        geom_->SetPosition(HomeGeomPosition());
        geom_->SetOrientation(orientation_);
        BoundingBox b;
        geom_->GetBounds(b);
        centre_ = b.centre;
        halfExtents_ = b.halfExtents;
    } else if (kind) {
        const Matrix4 w = orientation_.ToMatrix();
        centre_ = position_ + w.TransformNormal(kind->boxCentre);
        for (int j = 0; j < 3; ++j)
            halfExtents_[j] = std::fabs(w.m[0][j]) * kind->halfExtents.x + std::fabs(w.m[1][j]) * kind->halfExtents.y +
                              std::fabs(w.m[2][j]) * kind->halfExtents.z;
    }
    if (block && manager) manager->Tree().ItemMoved(this);
}

bool WorldObject::Cull(ObjectQuadTree&, const Camera& camera) {
    if (!kind || !manager) return false;
    if (kind->missionVariant != 0) {
        if (kind->missionVariant - 1 != manager->MissionVariant()) return false;
    } else {
        if (far) return false;
        const float d2 = (camera.position - centre_).LengthSquared();
        viewDistanceSquared = d2;
        const float r = camera.DistanceForClass(distanceClass);
        if (d2 > r * r) return false;
        BoundingBox b;
        GetBounds(b);
        if (!camera.IsBoxVisible(b)) return false;
    }
    if (kind->flags & WorldObjectKind::TransparentKind) manager->QueueTransparent(this, viewDistanceSquared);
    else manager->QueueOpaque(this);
    for (ObjectExtension* e = extensions_; e; e = e->next) e->OnVisible();
    return true;
}

bool WorldObject::IgnorePair(PhysicsGeom*, PhysicsGeom* other) {
    if (far) return true;
    const uint32_t category = other ? other->GetCategoryBits() : 0u;
    if (!manager) return true;
    if (!manager->Acquiring() && (category & PlacedObjectBit)) return true;
    if (body_ && !body_->IsEnabled() && (category & StaticBit)) return true;
    if (const Camera* camera = manager->CurrentCamera()) {
        const float r = 1.25f * camera->DistanceForClass(distanceClass);
        if ((GetPosition() - camera->position).LengthSquared() > r * r) return true;
    }
    if (kind && (kind->flags & WorldObjectKind::Shatters)) return (category & PlacedObjectBit) == 0;
    return false;
}

bool WorldObject::VetoContacts(PhysicsGeom*, PhysicsGeom* other) {
    if (!kind || !manager) return true;
    const uint32_t category = other ? other->GetCategoryBits() : 0u;
    if (!(kind->flags & WorldObjectKind::Shatters)) {
        if (body_) return !body_->IsEnabled() && (category & StaticBit);
        manager->Pending().push_back(this);
        NotifyTouched();
        return true;
    }
    if (shattered_) return true;
    NotifyTouched();
    if (!kind->shardPool.empty()) {
        shards_ = kind->shardPool.front();
        kind->shardPool.erase(kind->shardPool.begin());
        world_detail::RestartShards(shards_, *this);
    } else {
        shards_ = world_detail::MakeShards(*kind, *this);
    }
    shattered_ = true;
    manager->Live().push_back(this);
    return true;
}

bool WorldObject::FilterContact(PhysicsGeom*, PhysicsGeom*, Vector3*, Vector3*, float*) {
    return !(manager && manager->Acquiring());
}

void WorldObject::UpdateBounds(PhysicsWorld&, float) {
    if (!geom_) return;
    BoundingBox b;
    geom_->GetBounds(b);
    centre_ = b.centre;
    halfExtents_ = b.halfExtents;
}

void WorldObject::DropShards() {
    if (shards_ && kind) kind->shardPool.push_back(shards_);
    shards_ = nullptr;
    shattered_ = false;
}

void WorldObject::AcquireBody() {
    if (body_ || !geom_ || !kind || !manager) return;
    PhysicsWorld& physics = manager->Physics();
    physics.AddObject(this);
    RigidBody* body;
    auto& pool = manager->FreeBodies();
    if (!pool.empty()) {
        body = pool.front();
        pool.pop_front();
        body->SetLinearVelocity(Vector3());
        body->SetAngularVelocity(Vector3());
    } else {
        body = manager->NewBody();
    }
    body_ = body;
    body->Enable();
    body->SetGeom(geom_);
    body->SetMass(kind->mass * 10.0f);
    body->SetCentreOfMass(kind->boxCentre);
    body->SetOrientation(orientation_);
    body->SetPosition(position_);
    const Vector3 h = kind->halfExtents;
    body->SetBoxInertia(Vector3(std::fmax(h.x, 5.0f), std::fmax(h.y, 5.0f), std::fmax(h.z, 5.0f)));
    restTime = 0.0f;
    manager->SetAcquiring(true);
    physics.TestPair(geom_, manager->ObjectSpace());
    manager->SetAcquiring(false);
    geom_->flags |= PhysicsGeom::OneSided;
    manager->Tree().SetItemFlags(this, itemFlags | ReplaceEachFrame);
}

void WorldObject::ReleaseBody() {
    if (!body_ || !manager) return;
    PhysicsWorld& physics = manager->Physics();
    physics.RemoveObject(this);
    body_->SetGeom(nullptr);
    body_->Disable();
    manager->FreeBodies().push_back(body_);
    body_ = nullptr;
    if (geom_) {
        if (inWorldSpace_) {
            geom_->RemoveFromWorld(physics);
            inWorldSpace_ = false;
        } else if (manager->ObjectSpace()) {
            manager->ObjectSpace()->Remove(geom_);
        }
        geom_->SetPosition(HomeGeomPosition());
        geom_->SetOrientation(orientation_);
        if (manager->ObjectSpace()) manager->ObjectSpace()->Add(geom_);
        geom_->flags &= ~uint32_t(PhysicsGeom::OneSided);
    }
    manager->Tree().SetItemFlags(this, itemFlags & ~uint32_t(ReplaceEachFrame));
}
