#include "game/world/PhysicsWorld.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>

#include "engine/core/Debugger.h"
#include "game/world/OdeBridge.h"

using namespace physics_detail;

namespace {

// ---------------------------------------------------------------------------------------------
// Library start-up. The library's error and debug handlers abort the process after they
// return; ours make sure the reason reaches the log first.

// The library aborts right after: the line goes to stderr as well as to the log (whose file
// is flushed line by line), whatever the warning level.
void FormatOdeLine(const char* kind, int errnum, const char* msg, va_list ap) {
    char text[768];
    std::vsnprintf(text, sizeof(text), msg ? msg : "", ap);
    std::fprintf(stderr, "ODE: %s %d: %s\n", kind, errnum, text);
    std::fflush(stderr);
    Debugger::Instance().Message("ODE: %s %d: %s", kind, errnum, text);
}

void OdeErrorHandler(int errnum, const char* msg, va_list ap) { FormatOdeLine("Error", errnum, msg, ap); }
void OdeDebugHandler(int errnum, const char* msg, va_list ap) { FormatOdeLine("Internal error", errnum, msg, ap); }
void OdeMessageHandler(int errnum, const char* msg, va_list ap) {
    char text[768];
    std::vsnprintf(text, sizeof(text), msg ? msg : "", ap);
    Debugger::Instance().Log(2, "ODE: Message %d: %s", errnum, text);
}

void InitOde() {
    static std::once_flag once;
    std::call_once(once, [] {
        dSetErrorHandler(OdeErrorHandler);
        dSetDebugHandler(OdeDebugHandler);
        dSetMessageHandler(OdeMessageHandler);
        dInitODE2(0);
    });
}

// ---------------------------------------------------------------------------------------------
// Space edits while a space is being collided abort the library; they wait here instead.

struct SpaceEdit {
    enum Kind { Add, Remove, Destroy, DestroyData, SetBody, DestroyBody } kind;
    dSpaceID space;
    dGeomID geom;
    dTriMeshDataID data;
    dBodyID body;
    Vector3 offset;
};

int32_t g_collideDepth = 0;
std::vector<SpaceEdit> g_pendingEdits;

void ApplyAdd(dSpaceID space, dGeomID geom) {
    dSpaceID current = dGeomGetSpace(geom);
    if (current == space) return;
    if (current) dSpaceRemove(current, geom);
    dSpaceAdd(space, geom);
}

void ApplyRemove(dSpaceID space, dGeomID geom) {
    if (dGeomGetSpace(geom) == space) dSpaceRemove(space, geom);
}

void ApplySetBody(dGeomID geom, dBodyID body, const Vector3& offset) {
    if (dGeomGetBody(geom) != body) dGeomSetBody(geom, body);
    // The library drops a geom's offset whenever its body changes.
    if (body && (offset.x != 0.0f || offset.y != 0.0f || offset.z != 0.0f)) {
        dGeomSetOffsetPosition(geom, offset.x, offset.y, offset.z);
    } else if (body) {
        dGeomClearOffset(geom);
    }
}

void FlushEdits() {
    // Applying an edit never collides, so the list cannot grow while it is walked.
    for (const SpaceEdit& e : g_pendingEdits) {
        switch (e.kind) {
        case SpaceEdit::Add: ApplyAdd(e.space, e.geom); break;
        case SpaceEdit::Remove: ApplyRemove(e.space, e.geom); break;
        case SpaceEdit::Destroy: dGeomDestroy(e.geom); break;
        case SpaceEdit::DestroyData: dGeomTriMeshDataDestroy(e.data); break;
        case SpaceEdit::SetBody: ApplySetBody(e.geom, e.body, e.offset); break;
        case SpaceEdit::DestroyBody: dBodyDestroy(e.body); break;
        }
    }
    g_pendingEdits.clear();
}

struct CollideScope {
    CollideScope() { ++g_collideDepth; }
    ~CollideScope() {
        if (--g_collideDepth == 0 && !g_pendingEdits.empty()) FlushEdits();
    }
};

// A state value is bad when it is invalid as f32 or beyond +-1e6.
bool BadValue(double v) {
    if (std::fabs(v) <= 1000000.0) return false; // the common case; NaN falls through
    const float f = ToF32(v);
    return IsInvalidFloat(f) || f > 1000000.0f || f < -1000000.0f;
}

bool BadVector(const dReal* v, int n) {
    for (int i = 0; i < n; ++i) {
        if (BadValue(v[i])) return true;
    }
    return false;
}

bool BadState(dBodyID b) {
    return BadVector(dBodyGetPosition(b), 3) || BadVector(dBodyGetQuaternion(b), 4) ||
           BadVector(dBodyGetLinearVel(b), 3) || BadVector(dBodyGetAngularVel(b), 3);
}

// Force and torque accumulators may be large (a heavy car's downforce passes 1e6); only values
// that are invalid as f32 are bad.
bool BadAccumulator(const dReal* v) {
    for (int i = 0; i < 3; ++i) {
        if (IsInvalidFloat(ToF32(v[i]))) return true;
    }
    return false;
}

dJointFeedback* Feedback(void* storage) { return std::launder(static_cast<dJointFeedback*>(storage)); }

bool Differs(const Vector4& a, const Vector4& b) { return a.x != b.x || a.y != b.y || a.z != b.z; }

// Velocity change of a body as if its joint force had been df and its torque dt higher in a
// step of h; the position follows the changed velocity.
void CorrectBody(dBodyID b, const double df[3], const double dt[3], double h) {
    if (!dBodyIsEnabled(b)) return;
    dMass mass;
    dBodyGetMass(b, &mass);
    if (!(mass.mass > 0.0)) return;
    const dReal* v = dBodyGetLinearVel(b);
    const double k = h / mass.mass;
    dBodySetLinearVel(b, v[0] + df[0] * k, v[1] + df[1] * k, v[2] + df[2] * k);
    const dReal* p = dBodyGetPosition(b);
    dBodySetPosition(b, p[0] + df[0] * k * h, p[1] + df[1] * k * h, p[2] + df[2] * k * h);

    // Inverse of the body-frame inertia (3x3, row-major with stride 4).
    const dReal* I = mass.I;
    const double a = I[0], bb = I[1], c = I[2], d = I[4], e = I[5], f = I[6], g = I[8], hh = I[9], i = I[10];
    const double c00 = e * i - f * hh, c01 = -(d * i - f * g), c02 = d * hh - e * g;
    const double det = a * c00 + bb * c01 + c * c02;
    if (!(std::fabs(det) > 1e-30)) return;
    const double inv[3][3] = {
        {c00 / det, -(bb * i - c * hh) / det, (bb * f - c * e) / det},
        {c01 / det, (a * i - c * g) / det, -(a * f - c * d) / det},
        {c02 / det, -(a * hh - bb * g) / det, (a * e - bb * d) / det},
    };
    // World frame: R inv R^T applied to the torque change.
    const dReal* R = dBodyGetRotation(b);
    double local[3], scaled[3], world[3];
    for (int r = 0; r < 3; ++r) local[r] = R[0 * 4 + r] * dt[0] + R[1 * 4 + r] * dt[1] + R[2 * 4 + r] * dt[2];
    for (int r = 0; r < 3; ++r) scaled[r] = inv[r][0] * local[0] + inv[r][1] * local[1] + inv[r][2] * local[2];
    for (int r = 0; r < 3; ++r) world[r] = R[r * 4 + 0] * scaled[0] + R[r * 4 + 1] * scaled[1] + R[r * 4 + 2] * scaled[2];
    const dReal* w = dBodyGetAngularVel(b);
    dBodySetAngularVel(b, w[0] + world[0] * h, w[1] + world[1] * h, w[2] + world[2] * h);
}

} // namespace

// -------------------------------------------------------------------------------------------------
// Shared helpers

bool IsInvalidFloat(float x) {
    if (x > -10000.0f && x < 10000.0f) return false;
    uint32_t bits;
    std::memcpy(&bits, &x, sizeof(bits));
    return ((bits >> 23) & 0xFFu) > 224u;
}

FrameSplit SplitFrame(float dt, float rate, float timeScale) {
    FrameSplit split;
    if (!(rate > 0.0f) || !std::isfinite(rate)) return split;
    if (!(dt > 0.0f) || !std::isfinite(dt)) dt = 0.0f;
    if (!std::isfinite(timeScale)) timeScale = 0.0f;
    const float step = 1.0f / rate;
    const float threshold = 1.0f / (rate * 0.8333333f);
    split.valid = true;
    float remainder = dt;
    if (dt > threshold) {
        // Bounded: a rate so high that the steps vanish against the frame time cannot spin.
        constexpr int32_t MaxSteps = 1000;
        while (remainder > threshold && split.fullSteps < MaxSteps) {
            remainder -= step;
            ++split.fullSteps;
        }
        if (remainder > threshold) remainder = step;
    }
    split.stepSize = step * timeScale;
    split.lastStep = remainder * timeScale;
    return split;
}

void SoftnessForStep(float erp, float cfm, float tuned, float step, float& erpOut, float& cfmOut) {
    erpOut = erp;
    cfmOut = cfm;
    if (!(erp > 0.0f) || !(cfm > 0.0f) || !(tuned > 0.0f) || !(step > 0.0f) || !std::isfinite(erp) ||
        !std::isfinite(cfm) || !std::isfinite(tuned) || !std::isfinite(step) || step == tuned)
        return;
    // Over a step h the pair stands for the spring k = erp / (h cfm) and the damper
    // c = (1 - erp) / cfm; the same k and c over another step give the pair below.
    const double k = double(erp) / (double(tuned) * double(cfm));
    const double c = (1.0 - double(erp)) / double(cfm);
    const double hk = double(step) * k;
    erpOut = float(hk / (hk + c));
    cfmOut = float(1.0 / (hk + c));
}

void physics_detail::EnsureOdeThread() {
    thread_local bool taken = false;
    if (taken) return;
    InitOde();
    dAllocateODEDataForThread(dAllocateMaskAll);
    taken = true;
}

// -------------------------------------------------------------------------------------------------
// Space edits

bool PhysicsWorld::IsColliding() { return g_collideDepth > 0; }

void PhysicsWorld::GeomSetBody(dxGeom* geom, dxBody* body, const Vector3& offset) {
    if (!geom) return;
    if (g_collideDepth > 0) {
        g_pendingEdits.push_back({SpaceEdit::SetBody, nullptr, geom, nullptr, body, offset});
        return;
    }
    ApplySetBody(geom, body, offset);
}

void PhysicsWorld::DestroyBody(dxBody* body) {
    if (!body) return;
    // Contacts still being made must not find the dead wrapper; the library unbinds the body's
    // geoms when it goes, which waits for the collision to end.
    dBodySetData(body, nullptr);
    if (g_collideDepth > 0) {
        g_pendingEdits.push_back({SpaceEdit::DestroyBody, nullptr, nullptr, nullptr, body, Vector3()});
        return;
    }
    dBodyDestroy(body);
}

void PhysicsWorld::SpaceAdd(dxSpace* space, dxGeom* geom) {
    if (!space || !geom) return;
    if (g_collideDepth > 0) {
        g_pendingEdits.push_back({SpaceEdit::Add, space, geom, nullptr, nullptr, Vector3()});
        return;
    }
    ApplyAdd(space, geom);
}

void PhysicsWorld::SpaceRemove(dxSpace* space, dxGeom* geom) {
    if (!space || !geom) return;
    if (g_collideDepth > 0) {
        g_pendingEdits.push_back({SpaceEdit::Remove, space, geom, nullptr, nullptr, Vector3()});
        return;
    }
    ApplyRemove(space, geom);
}

void PhysicsWorld::DestroyGeom(dxGeom* geom) {
    if (!geom) return;
    // Unbind at once so that a collision still running never reaches the dead wrapper (the
    // shape inside a transform carries the wrapper too).
    dGeomSetData(geom, nullptr);
    if (dGeomGetClass(geom) == dGeomTransformClass) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        if (dGeomID inner = dGeomTransformGetGeom(geom)) dGeomSetData(inner, nullptr);
#pragma GCC diagnostic pop
    }
    if (g_collideDepth > 0) {
        g_pendingEdits.push_back({SpaceEdit::Destroy, nullptr, geom, nullptr, nullptr, Vector3()});
        return;
    }
    dGeomDestroy(geom);
}

void PhysicsWorld::DestroyTriMeshData(dxTriMeshData* data) {
    if (!data) return;
    if (g_collideDepth > 0) {
        g_pendingEdits.push_back({SpaceEdit::DestroyData, nullptr, nullptr, data, nullptr, Vector3()});
        return;
    }
    dGeomTriMeshDataDestroy(data);
}

// -------------------------------------------------------------------------------------------------
// Construction

PhysicsWorld::PhysicsWorld() {
    EnsureOdeThread();
    world_ = dWorldCreate();
    contactGroup_ = dJointGroupCreate(0);
    dWorldSetCFM(world_, WorldCfm);
    dWorldSetERP(world_, WorldErp);
    contacts_.reset(new dContact[MaxContacts]);
    std::memset(static_cast<void*>(contacts_.get()), 0, sizeof(dContact) * MaxContacts);
    pool_.reset(new ContactJoint[ContactPoolSize]);
    scratchReceivers_.reserve(16);
    hookedContacts_.reserve(ContactPoolSize);
    // The ray of CastRay: in no space, nearest hit only, back faces culled like every ray of
    // the game.
    queryRay_ = std::make_unique<RayGeom>(1.0f);
    queryRay_->SetParams(false, true);
    queryRay_->SetClosestHit(true);
    queryRay_->SetCategoryBits(0);
}

PhysicsWorld::~PhysicsWorld() {
    // Bodies and wheel joints that outlive the world forget their library objects, which go
    // with the world.
    for (BodyRecord& r : bodies_) {
        r.body->body_ = nullptr;
        r.body->world_ = nullptr;
    }
    for (Hinge2Joint* j : hinges_) {
        j->joint_ = nullptr;
        j->world_ = nullptr;
    }
    for (int32_t i = 0; i < ContactPoolSize; ++i) pool_[size_t(i)].joint_ = nullptr;
    dJointGroupDestroy(contactGroup_);
    if (space_) dSpaceDestroy(space_);
    dWorldDestroy(world_);
}

dxSpace* PhysicsWorld::CreateSpace(const Vector3& centre, const Vector3& extents, int32_t depth, SpaceKind kind) {
    if (space_) {
        Debugger::Instance().Log(2, "PHYSICS: Collision space already exists");
        return space_;
    }
    if (kind != SpaceKind::QuadTree) {
        space_ = kind == SpaceKind::Hash ? dHashSpaceCreate(nullptr) : dSimpleSpaceCreate(nullptr);
        dSpaceSetCleanup(space_, 0);
        return space_;
    }
    // Each level multiplies the blocks by four; a broken depth must not exhaust memory.
    const int32_t safeDepth = std::clamp(depth, 1, 10);
    if (safeDepth != depth) Debugger::Instance().Log(2, "PHYSICS: Space depth %d clamped to %d", depth, safeDepth);
    dVector3 c, e;
    if (!SafeQuadTreeBounds(centre, extents, c, e)) {
        Debugger::Instance().Log(1, "PHYSICS: Invalid space bounds; using centre %.1f, %.1f, %.1f, extents %.1f, %.1f, %.1f",
                                 c[0], c[1], c[2], e[0], e[1], e[2]);
    }
    space_ = dQuadTreeSpaceCreate(nullptr, c, e, safeDepth);
    dSpaceSetCleanup(space_, 0);
    return space_;
}

void PhysicsWorld::SetGravity(const Vector3& g) {
    // A broken gravity would reach every body in the step and abort it.
    if (!IsFinite(g)) {
        Debugger::Instance().Log(1, "PHYSICS: Refused gravity %.3f, %.3f, %.3f", double(g.x), double(g.y), double(g.z));
        return;
    }
    dWorldSetGravity(world_, g.x, g.y, g.z);
}

Vector3 PhysicsWorld::GetGravity() const {
    dVector3 g;
    dWorldGetGravity(world_, g);
    return ToVector3(g);
}

// -------------------------------------------------------------------------------------------------
// Clients

void PhysicsWorld::AddObject(PhysicsClient* client) {
    if (!client) return;
    clients_.push_back(client);
    client->OnAdded(*this);
}

void PhysicsWorld::RemoveObject(PhysicsClient* client) {
    if (!client) return;
    auto it = std::find(clients_.begin(), clients_.end(), client);
    if (it == clients_.end()) return;
    if (clientLoopDepth_ > 0) {
        // Inside a client loop the slot is emptied and compacted afterwards, so no later
        // client moves under the loop's index and misses its call.
        *it = nullptr;
        clientsRemoved_ = true;
    } else {
        clients_.erase(it);
    }
    client->OnRemoved(*this);
}

int32_t PhysicsWorld::ClientCount() const {
    return int32_t(std::count_if(clients_.begin(), clients_.end(), [](PhysicsClient* c) { return c != nullptr; }));
}

void PhysicsWorld::FinishClientLoop() {
    if (--clientLoopDepth_ == 0 && clientsRemoved_) {
        clients_.erase(std::remove(clients_.begin(), clients_.end(), nullptr), clients_.end());
        clientsRemoved_ = false;
    }
}

void PhysicsWorld::PreStep() {
    ++clientLoopDepth_;
    for (size_t i = 0; i < clients_.size(); ++i) {
        if (PhysicsClient* c = clients_[i]) c->PreStep(*this);
    }
    FinishClientLoop();
    stats_ = PhysicsStats{};
    stats_.clients = uint32_t(ClientCount());
    stats_.geoms = space_ ? uint32_t(dSpaceGetNumGeoms(space_)) : 0u;
}

void PhysicsWorld::PostStep() {
    ++clientLoopDepth_;
    for (size_t i = 0; i < clients_.size(); ++i) {
        if (PhysicsClient* c = clients_[i]) c->PostStep(*this);
    }
    FinishClientLoop();
}

// -------------------------------------------------------------------------------------------------
// Collision

void PhysicsWorld::Collide() {
    if (!space_) return;
    EnsureOdeThread();
    CollideScope scope;
    dSpaceCollide(space_, this, &PhysicsWorld::NearCallback);
}

void PhysicsWorld::CollideGeom(PhysicsGeom* geom) {
    if (!space_ || !geom || !geom->GetOuterGeom()) return;
    EnsureOdeThread();
    CollideScope scope;
    dSpaceCollide2(reinterpret_cast<dGeomID>(space_), geom->GetOuterGeom(), this, &PhysicsWorld::NearCallback);
}

bool PhysicsWorld::TestPair(PhysicsGeom* a, PhysicsGeom* b) {
    EnsureOdeThread();
    CollideScope scope;
    return CollideGeoms(a, b) > 0;
}

void PhysicsWorld::CleanSpace() {
    if (space_) dSpaceClean(space_);
}

namespace {

struct RayQuery {
    dGeomID ray;
    dGeomID skip;
    dVector3 direction;
    RayHit* hit;
    bool found;
};

void RayQueryCallback(void* data, dGeomID o1, dGeomID o2) {
    RayQuery& q = *static_cast<RayQuery*>(data);
    dGeomID other = o1 == q.ray ? o2 : o1;
    if (other == q.skip) return;
    if (dGeomIsSpace(other)) {
        dSpaceCollide2(q.ray, other, data, &RayQueryCallback);
        return;
    }
    PhysicsGeom* wrapper = PhysicsGeom::FromOde(other);
    if (!wrapper) return;
    // The ray sits inside a lone dCollide here, so the trimesh callbacks see it as the other geom.
    dContactGeom contacts[8];
    const int n = dCollide(q.ray, other, 8, contacts, int(sizeof(dContactGeom)));
    for (int i = 0; i < n; ++i) {
        const dContactGeom& c = contacts[i];
        // The library reports the distance from the ray's start as the depth of a ray contact.
        const double distance = c.depth;
        if (!std::isfinite(distance) || (q.found && !(distance < double(q.hit->distance)))) continue;
        Vector3 position = ToVector3(c.pos), normal = ToVector3(c.normal);
        if (!IsFinite(position) || !IsFinite(normal)) continue;
        if (double(normal.x) * q.direction[0] + double(normal.y) * q.direction[1] + double(normal.z) * q.direction[2] > 0.0)
            normal.Negate();
        q.hit->geom = wrapper;
        q.hit->position = position;
        q.hit->normal = normal;
        q.hit->distance = ToF32(distance);
        q.found = true;
    }
}

} // namespace

bool PhysicsWorld::CastRay(const Vector3& start, const Vector3& direction, float length, uint32_t collideBits,
                           const PhysicsGeom* skip, RayHit& hit) {
    if (!space_ || !(length > 0.0f) || !std::isfinite(length) || !IsFinite(start) || !IsFinite(direction)) return false;
    const double len2 = double(direction.x) * direction.x + double(direction.y) * direction.y +
                        double(direction.z) * direction.z;
    if (!(len2 > 1e-20) || !std::isfinite(len2)) return false;
    EnsureOdeThread();
    dGeomID ray = queryRay_->GetOuterGeom();
    dGeomRaySetLength(ray, length);
    dGeomRaySet(ray, start.x, start.y, start.z, direction.x, direction.y, direction.z);
    dGeomSetCollideBits(ray, collideBits);
    RayHit nearest;
    RayQuery q{ray, skip ? skip->GetOuterGeom() : nullptr, {}, &nearest, false};
    dVector3 unused;
    dGeomRayGet(ray, unused, q.direction);
    CollideScope scope;
    dSpaceCollide2(ray, reinterpret_cast<dGeomID>(space_), &q, &RayQueryCallback);
    if (q.found) hit = nearest;
    return q.found;
}

void PhysicsWorld::NearCallback(void* data, dxGeom* o1, dxGeom* o2) {
    PhysicsWorld* world = static_cast<PhysicsWorld*>(data);
    ++world->stats_.nearCalls;
    PhysicsGeom* a = PhysicsGeom::FromOde(o1);
    PhysicsGeom* b = PhysicsGeom::FromOde(o2);
    if (!a || !b) return;
    const uint32_t fa = a->flags, fb = b->flags;
    if (!(fa & PhysicsGeom::IsSpace) && !(fb & PhysicsGeom::IsSpace)) {
        const bool a1 = fa & PhysicsGeom::OneSided, b1 = fb & PhysicsGeom::OneSided;
        const bool a16 = fa & PhysicsGeom::AlwaysCollide, b16 = fb & PhysicsGeom::AlwaysCollide;
        const bool skipBodyTest = (a16 && (b16 || !b1)) || (b16 && !a1);
        if (!skipBodyTest) {
            if (a1 && b1 && !a16 && !b16) return;
            // Active: a body that is enabled and not frozen. Planes and spaces have no body.
            auto active = [](dGeomID g) {
                dBodyID body = dGeomGetBody(g);
                if (!body || !dBodyIsEnabled(body)) return false;
                const RigidBody* r = RigidBody::FromOde(body);
                return r && !r->IsFrozen();
            };
            if (!active(a->GetOuterGeom()) && !active(b->GetOuterGeom())) return;
        }
    }
    for (size_t i = 0; i < a->listeners.size(); ++i) {
        CollisionListener* l = a->listeners[i];
        if ((l->listenerFlags & CollisionListener::AskIgnorePair) && l->IgnorePair(a, b)) return;
    }
    for (size_t i = 0; i < b->listeners.size(); ++i) {
        CollisionListener* l = b->listeners[i];
        if ((l->listenerFlags & CollisionListener::AskIgnorePair) && l->IgnorePair(b, a)) return;
    }
    world->CollideGeoms(a, b);
}

MixedSurface MixSurfaces(const SurfaceMaterial* ma, const SurfaceMaterial* mb) {
    MixedSurface s;
    if (!ma || !mb) {
        s.mu = HUGE_VALF;
        return s;
    }
    s.mu = ma->friction * mb->friction;
    if (std::isnan(s.mu) || s.mu < 0.0f) s.mu = 0.0f; // infinite x zero friction means none
    const float bounce = ma->bounce + mb->bounce;
    if (bounce > 0.0f) {
        s.mode |= dContactBounce;
        s.bounce = bounce;
        s.bounceVelocity = ma->bounceVelocity * mb->bounceVelocity;
    }
    const float erp = ma->softErp + mb->softErp;
    if (erp > 0.0f) {
        s.mode |= dContactSoftERP;
        s.softErp = erp;
    }
    const float cfm = ma->softCfm + mb->softCfm;
    if (cfm > 0.0f) {
        s.mode |= dContactSoftCFM;
        s.softCfm = cfm;
    }
    const float slip = ma->slip * mb->slip * 10.0f;
    if (slip > 0.0f) {
        s.mode |= dContactSlip1 | dContactSlip2;
        s.slip = slip;
    }
    return s;
}

ContactModeBits ContactModeBits::Get() {
    return {uint32_t(dContactBounce), uint32_t(dContactSoftERP), uint32_t(dContactSoftCFM),
            uint32_t(dContactSlip1),  uint32_t(dContactSlip2),   uint32_t(dContactMotionN)};
}

void PhysicsWorld::MakeContactSurface(dContact& contact, const PhysicsGeom* a, const PhysicsGeom* b) {
    const MixedSurface m = MixSurfaces(a ? a->GetSurface() : nullptr, b ? b->GetSurface() : nullptr);
    dSurfaceParameters& s = contact.surface;
    s = dSurfaceParameters{};
    s.mode = int(m.mode);
    s.mu = std::isinf(m.mu) ? dInfinity : dReal(m.mu);
    s.bounce = m.bounce;
    s.bounce_vel = m.bounceVelocity;
    s.soft_erp = m.softErp;
    s.soft_cfm = m.softCfm;
    s.slip1 = m.slip;
    s.slip2 = m.slip;
}

// -------------------------------------------------------------------------------------------------
// The collision dispatch
//
// A pair with a space on either side is collided member by member through the near callback. A
// pair of shapes gets its contacts from the library, and every contact takes the same steps:
// the pair's surface, the ray depth, the listeners' filters, then a joint binding the bodies the
// pair pushes. Which bodies those are is what tells the kinds of pair apart, so that step is one
// routine per kind, chosen from a table by the pair's one-sided geoms.

// What is decided once per pair of geoms: its listeners, surface, ray length and the bodies its
// joints bind. The contacts of one call normally share one pair; a contact naming other geoms
// starts another.
struct PhysicsWorld::ContactPair {
    PhysicsGeom* A = nullptr;
    PhysicsGeom* B = nullptr;
    bool started = false;
    bool oneSidedA = false, oneSidedB = false;
    bool filterA = false, filterB = false;
    bool ray = false;
    float rayLength = 0.0f;
    int surfaceSource = 0; // the contact whose surface the pair's later contacts copy
    // Decided at the pair's first surviving contact.
    bool bodiesDecided = false, noJoint = false;
    dBodyID bA = nullptr, bB = nullptr;
    RigidBody* rA = nullptr;
    RigidBody* rB = nullptr;
};

namespace {

using ContactPair = PhysicsWorld::ContactPair;

bool AsksAny(const PhysicsGeom* g, uint32_t flag) {
    for (size_t k = 0; k < g->listeners.size(); ++k) {
        if (g->listeners[k]->listenerFlags & flag) return true;
    }
    return false;
}

bool Vetoes(PhysicsGeom* own, PhysicsGeom* other) {
    for (size_t k = 0; k < own->listeners.size(); ++k) {
        CollisionListener* l = own->listeners[k];
        if ((l->listenerFlags & CollisionListener::AskVetoContacts) && l->VetoContacts(own, other)) return true;
    }
    return false;
}

void CollectReceivers(PhysicsGeom* own, PhysicsGeom* other, std::vector<JointForceReceiver*>& out) {
    for (size_t k = 0; k < own->listeners.size(); ++k) {
        CollisionListener* l = own->listeners[k];
        if (!(l->listenerFlags & CollisionListener::AskForceReceiver)) continue;
        if (JointForceReceiver* r = l->GetForceReceiver(own, other)) out.push_back(r);
    }
}

bool PassesFilters(PhysicsGeom* own, PhysicsGeom* other, Vector3& position, Vector3& normal, float& depth) {
    for (size_t k = 0; k < own->listeners.size(); ++k) {
        CollisionListener* l = own->listeners[k];
        if ((l->listenerFlags & CollisionListener::AskFilterContact) &&
            !l->FilterContact(own, other, &position, &normal, &depth))
            return false;
    }
    return true;
}

// Finite as f32 (a double beyond the f32 range is not).
bool InF32Range(double v) { return std::fabs(v) <= double(FLT_MAX); }

bool ContactInRange(const dContactGeom& g) {
    return InF32Range(g.pos[0]) && InF32Range(g.pos[1]) && InF32Range(g.pos[2]) && InF32Range(g.normal[0]) &&
           InF32Range(g.normal[1]) && InF32Range(g.normal[2]) && InF32Range(g.depth);
}

// The body's wrapper when a contact may push it (it has one and is not frozen).
RigidBody* Pushable(dBodyID body) {
    RigidBody* r = body ? RigidBody::FromOde(body) : nullptr;
    return r && !r->IsFrozen() ? r : nullptr;
}

// Two ordinary geoms push each other's bodies, except that a no-response body hitting a body
// that responds is not pushed itself: the other meets it as a static obstacle, and wakes.
void BindSolidPair(ContactPair& p, const dContactGeom& g) {
    p.bA = dGeomGetBody(g.g1);
    p.bB = dGeomGetBody(g.g2);
    p.rA = Pushable(p.bA);
    p.rB = Pushable(p.bB);
    if (p.rA && p.rB) {
        if (p.rA->HasNoResponse() && !p.rB->HasNoResponse()) {
            p.rA = nullptr;
            p.bA = nullptr;
            p.rB->Enable();
        } else if (p.rB->HasNoResponse() && !p.rA->HasNoResponse()) {
            p.rB = nullptr;
            p.bB = nullptr;
            p.rA->Enable();
        }
    } else if (p.rA) {
        p.bB = nullptr;
    } else if (p.rB) {
        p.bA = nullptr;
    } else {
        p.noJoint = true;
    }
    if (p.bA == p.bB) p.noJoint = true;
}

// A one-sided geom is pushed by what it meets and pushes nothing back: the joint binds its own
// body alone, woken.
void BindOneSidedPair(ContactPair& p, const dContactGeom& g) {
    const bool sideA = p.oneSidedA;
    dBodyID own = dGeomGetBody(sideA ? g.g1 : g.g2);
    if (own) dBodyEnable(own);
    RigidBody* r = Pushable(own);
    p.noJoint = !r;
    p.bA = sideA ? own : nullptr;
    p.bB = sideA ? nullptr : own;
    p.rA = sideA ? r : nullptr;
    p.rB = sideA ? nullptr : r;
}

// Two one-sided geoms (met only through AlwaysCollide or a direct test) push nothing; the first
// one's body is woken.
void BindOneSidedPairOfTwo(ContactPair& p, const dContactGeom& g) {
    if (dBodyID own = dGeomGetBody(g.g1)) dBodyEnable(own);
    p.noJoint = true;
}

using BindBodies = void (*)(ContactPair&, const dContactGeom&);
// Indexed by (A one-sided) + 2 x (B one-sided).
constexpr BindBodies kBindBodies[4] = {&BindSolidPair, &BindOneSidedPair, &BindOneSidedPair, &BindOneSidedPairOfTwo};

// A sphere touches a flat face at one point, but a mesh reports that point once for every
// triangle the sphere reaches (both triangles at an edge, all of them at a corner), and each
// report would bear the sphere's weight on its own: a wheel rolling over the edges of a flat road
// would rise and drop as if the road had bumps. Reports whose normals agree are one contact, and
// the deepest stands for them; reports of different faces (a floor and a wall) all stay.
int MergeSphereContacts(dContact* contacts, int n) {
    constexpr dReal SameFace = 0.9995; // normals within about 1.8 degrees
    int kept = 0;
    for (int i = 0; i < n; ++i) {
        const dContactGeom& c = contacts[i].geom;
        int same = -1;
        for (int k = 0; k < kept && same < 0; ++k) {
            const dReal* m = contacts[k].geom.normal;
            if (c.normal[0] * m[0] + c.normal[1] * m[1] + c.normal[2] * m[2] > SameFace) same = k;
        }
        if (same < 0) contacts[kept++].geom = c;
        else if (c.depth > contacts[same].geom.depth) contacts[same].geom = c;
    }
    return kept;
}

} // namespace

void PhysicsWorld::SoftenSurface(dSurfaceParameters& s) const {
    if (!(s.mode & (dContactSoftERP | dContactSoftCFM)) || softStep_ == tunedStep_) return;
    // A surface that sets only one of the pair has the world's other one.
    float erp = 0.0f, cfm = 0.0f;
    SoftnessForStep((s.mode & dContactSoftERP) ? float(s.soft_erp) : WorldErp,
                    (s.mode & dContactSoftCFM) ? float(s.soft_cfm) : WorldCfm, tunedStep_, softStep_, erp, cfm);
    if (s.mode & dContactSoftERP) s.soft_erp = erp;
    if (s.mode & dContactSoftCFM) s.soft_cfm = cfm;
}

int32_t PhysicsWorld::CollideGeoms(PhysicsGeom* a, PhysicsGeom* b) {
    ++stats_.collideCalls;
    if (!a || !b) return 0;
    dGeomID ga = a->GetOuterGeom();
    dGeomID gb = b->GetOuterGeom();
    if (!ga || !gb || ga == gb) return 0;
    if (dGeomIsSpace(ga) || dGeomIsSpace(gb)) {
        CollideScope scope;
        dSpaceCollide2(ga, gb, this, &PhysicsWorld::NearCallback);
        return 0;
    }
    int flags = MaxContacts;
    if ((a->flags | b->flags) & PhysicsGeom::AnyContacts) flags |= int(CONTACTS_UNIMPORTANT);
    int n = dCollide(ga, gb, flags, &contacts_[0].geom, int(sizeof(dContact)));
    if (n <= 0) return n;
    if (dGeomGetClass(ga) == dSphereClass || dGeomGetClass(gb) == dSphereClass) n = MergeSphereContacts(contacts_.get(), n);
    ++stats_.pairsWithContacts;
    ContactPair pair;
    for (int i = 0; i < n; ++i) {
        ++stats_.contacts;
        dContact& c = contacts_[size_t(i)];
        PhysicsGeom* A = PhysicsGeom::FromOde(c.geom.g1);
        PhysicsGeom* B = PhysicsGeom::FromOde(c.geom.g2);
        if (!A || !B) continue;
        if (!pair.started || A != pair.A || B != pair.B) {
            if (!BeginPair(pair, A, B, c, i)) return 0;
        } else {
            c.surface = contacts_[size_t(pair.surfaceSource)].surface;
        }
        if (!ContactInRange(c.geom) || !PrepareContact(pair, c.geom)) continue;
        if (!pair.bodiesDecided) {
            pair.bodiesDecided = true;
            pair.noJoint = false;
            kBindBodies[(pair.oneSidedA ? 1 : 0) + (pair.oneSidedB ? 2 : 0)](pair, c.geom);
        }
        if (!pair.noJoint) AddContactJoint(pair, c);
    }
    return n;
}

// A new pair: its listeners may veto every contact of the call (false; joints already made
// stay), and name the receivers of its joints' forces. A one-sided geom's partner is not asked.
bool PhysicsWorld::BeginPair(ContactPair& pair, PhysicsGeom* A, PhysicsGeom* B, dContact& c, int index) {
    pair = ContactPair{};
    pair.started = true;
    pair.A = A;
    pair.B = B;
    pair.oneSidedA = A->flags & PhysicsGeom::OneSided;
    pair.oneSidedB = B->flags & PhysicsGeom::OneSided;
    scratchReceivers_.clear();
    if ((!pair.oneSidedB && Vetoes(A, B)) || (!pair.oneSidedA && Vetoes(B, A))) return false;
    if (!pair.oneSidedB) CollectReceivers(A, B, scratchReceivers_);
    if (!pair.oneSidedA) CollectReceivers(B, A, scratchReceivers_);
    MakeContactSurface(c, A, B);
    SoftenSurface(c.surface);
    pair.surfaceSource = index;
    pair.ray = A->IsRay() || B->IsRay();
    pair.rayLength = A->IsRay() ? static_cast<RayGeom*>(A)->GetLength()
                                : (B->IsRay() ? static_cast<RayGeom*>(B)->GetLength() : 0.0f);
    const bool alwaysA = A->flags & PhysicsGeom::AlwaysCollide, alwaysB = B->flags & PhysicsGeom::AlwaysCollide;
    pair.filterA = (!pair.oneSidedB || alwaysA) && AsksAny(A, CollisionListener::AskFilterContact);
    pair.filterB = (!pair.oneSidedA || alwaysB) && AsksAny(B, CollisionListener::AskFilterContact);
    return true;
}

// The contact as the listeners see it: a ray's depth is its length less the hit's distance, so
// the nearest hit is the deepest. Each side's filters may drop it or change it; the second side
// sees the normal turned towards itself. False drops the contact.
bool PhysicsWorld::PrepareContact(const ContactPair& pair, dContactGeom& g) {
    if (pair.ray) g.depth = pair.rayLength - ToF32(g.depth);
    if (!pair.filterA && !pair.filterB) return true;
    Vector3 position = ToVector3(g.pos);
    Vector3 normal = ToVector3(g.normal);
    float depth = ToF32(g.depth);
    if (pair.filterA && !PassesFilters(pair.A, pair.B, position, normal, depth)) return false;
    normal.Negate();
    if (pair.filterB && !PassesFilters(pair.B, pair.A, position, normal, depth)) return false;
    normal.Negate();
    if (!IsFinite(position) || !IsFinite(normal) || !std::isfinite(depth)) return false;
    g.pos[0] = position.x; g.pos[1] = position.y; g.pos[2] = position.z;
    g.normal[0] = normal.x; g.normal[1] = normal.y; g.normal[2] = normal.z;
    g.depth = depth;
    return true;
}

// The contact's joint from the pool, binding the bodies the pair pushes. Only a joint somebody
// listens to has its forces measured and passed through the hook.
void PhysicsWorld::AddContactJoint(const ContactPair& pair, dContact& c) {
    if (poolInUse_ >= ContactPoolSize) {
        ++stats_.droppedJoints;
        if (!poolFullLogged_) {
            poolFullLogged_ = true;
            Debugger::Instance().Log(2, "PHYSICS: Contact joint pool full (%d joints); further contacts dropped",
                                     ContactPoolSize);
        }
        return;
    }
    ++stats_.joints;
    const int32_t index = poolInUse_++;
    ContactJoint& wrapper = pool_[size_t(index)];
    dJointID joint = dJointCreateContact(world_, contactGroup_, &c);
    wrapper.Reset(joint);
    dJointAttach(joint, pair.bA, pair.bB);
    wrapper.body1_ = pair.rA ? pair.rA : pair.rB;
    wrapper.body2_ = pair.rA ? pair.rB : nullptr;
    wrapper.attached_ = true;
    if (!scratchReceivers_.empty()) {
        wrapper.receivers.assign(scratchReceivers_.begin(), scratchReceivers_.end());
        dJointSetData(joint, &wrapper);
        wrapper.InstallFeedback();
        hookedContacts_.push_back(index);
    }
}

// -------------------------------------------------------------------------------------------------
// Bodies

void PhysicsWorld::RegisterBody(RigidBody* body) {
    BodyRecord record;
    record.body = body;
    record.odeBody = body->body_;
    bodies_.push_back(std::move(record));
}

void PhysicsWorld::UnregisterBody(RigidBody* body) {
    auto it = std::find_if(bodies_.begin(), bodies_.end(), [body](const BodyRecord& r) { return r.body == body; });
    if (it != bodies_.end()) bodies_.erase(it);
    if (body->suspect_) {
        suspects_.erase(std::remove(suspects_.begin(), suspects_.end(), body), suspects_.end());
        body->suspect_ = false;
    }
    // Contact wrappers of the current step must not keep pointing at the body.
    for (int32_t i = 0; i < poolInUse_; ++i) {
        ContactJoint& j = pool_[size_t(i)];
        if (j.body1_ == body) j.body1_ = nullptr;
        if (j.body2_ == body) j.body2_ = nullptr;
    }
}

void PhysicsWorld::MarkSuspect(RigidBody* body) {
    if (body->suspect_) return;
    body->suspect_ = true;
    suspects_.push_back(body);
}

void PhysicsWorld::RegisterJoint(Hinge2Joint* joint) { hinges_.push_back(joint); }

void PhysicsWorld::UnregisterJoint(Hinge2Joint* joint) {
    auto it = std::find(hinges_.begin(), hinges_.end(), joint);
    if (it != hinges_.end()) hinges_.erase(it);
    // A receiver may end a car while the hooked joints are being walked.
    std::replace(hookedHinges_.begin(), hookedHinges_.end(), joint, static_cast<Hinge2Joint*>(nullptr));
}

size_t PhysicsWorld::HistorySize(const RigidBody* body) const {
    for (const BodyRecord& r : bodies_) {
        if (r.body == body) return r.count;
    }
    return 0;
}

void PhysicsWorld::RepairBody(BodyRecord& record, bool beforeStep) {
    RigidBody* body = record.body;
    dBodyID b = body->body_;
    Debugger& log = Debugger::Instance();
    if ((body->flags & RigidBody::KeepHistory) && record.count > 0) {
        // The history holds the library's own centre and rotation, so an offset body comes back
        // exactly where it was.
        const PoseEntry& oldest = record.history[record.start];
        dQuaternion q;
        ToOdeQuaternion(oldest.orientation, q);
        dBodySetQuaternion(b, q);
        dBodySetPosition(b, oldest.position.x, oldest.position.y, oldest.position.z);
        dBodySetLinearVel(b, 0, 0, 0);
        dBodySetAngularVel(b, 0, 0, 0);
        dBodySetForce(b, 0, 0, 0);
        dBodySetTorque(b, 0, 0, 0);
        const Vector3 restored = body->GetPosition();
        log.Log(1, "Fixing body. Resetting to:");
        log.Log(1, "Pos = %.2f, %.2f, %.2f", double(restored.x), double(restored.y), double(restored.z));
        log.Log(1, "Rot = %.2f, %.2f, %.2f", double(oldest.orientation.x), double(oldest.orientation.y),
                double(oldest.orientation.z));
        return;
    }
    // No good state to go back to: stop the body where it is, on a finite pose.
    const bool badPosition = BadVector(dBodyGetPosition(b), 3);
    if (BadVector(dBodyGetQuaternion(b), 4)) {
        const dQuaternion identity = {1, 0, 0, 0};
        dBodySetQuaternion(b, identity);
    }
    if (badPosition) {
        dBodySetPosition(b, record.lastGoodPosition.x, record.lastGoodPosition.y, record.lastGoodPosition.z);
    }
    dBodySetLinearVel(b, 0, 0, 0);
    dBodySetAngularVel(b, 0, 0, 0);
    dBodySetForce(b, 0, 0, 0);
    dBodySetTorque(b, 0, 0, 0);
    if ((body->flags & RigidBody::KeepHistory) || badPosition) dBodyDisable(b);
    log.Log(1, "Fixing body. No good state recorded; body stopped%s (%s step).",
            ((body->flags & RigidBody::KeepHistory) || badPosition) ? " and disabled" : "",
            beforeStep ? "before" : "after");
}

void PhysicsWorld::ScreenSuspectsBeforeStep() {
    // The step aborts on a NaN angular velocity or torque. Bad values reach a body only through
    // its setters (which mark it) or through a step (caught by the pass after it), so only the
    // marked bodies are looked at here; asleep ones too, since a joint may wake them mid-step.
    for (RigidBody* body : suspects_) {
        body->suspect_ = false;
        dBodyID b = body->body_;
        if (!(BadState(b) || BadAccumulator(dBodyGetForce(b)) || BadAccumulator(dBodyGetTorque(b)))) continue;
        auto it = std::find_if(bodies_.begin(), bodies_.end(), [body](const BodyRecord& r) { return r.body == body; });
        if (it != bodies_.end()) RepairBody(*it, true);
    }
    suspects_.clear();
}

// The one pass over the bodies after a step: record good states, repair bad ones, put idle
// bodies to sleep.
void PhysicsWorld::RecordAndRepair(float dt) {
    // The wrappers, library bodies and history rings lie all over the heap: fetch a few bodies
    // ahead so the pass does not wait on memory for each one.
    constexpr size_t Ahead = 8;
    auto prefetch = [this](size_t i) {
        if (i >= bodies_.size()) return;
        const BodyRecord& r = bodies_[i];
        __builtin_prefetch(r.body);
        __builtin_prefetch(dBodyGetPosition(r.odeBody));
        __builtin_prefetch(dBodyGetAngularVel(r.odeBody));
        if (!r.history.empty()) {
            const uint32_t slot = (r.start + r.count) % HistoryLength;
            __builtin_prefetch(&r.history[slot], 1);
        }
    };
    for (size_t i = 0; i < Ahead; ++i) prefetch(i);
    for (size_t i = 0; i < bodies_.size(); ++i) {
        prefetch(i + Ahead);
        BodyRecord& r = bodies_[i];
        RigidBody* body = r.body;
        dBodyID b = r.odeBody;
        const uint32_t flags = body->flags;
        if (!dBodyIsEnabled(b)) {
            if (flags & RigidBody::AutoDisable) body->idleTime = 0.0f;
            continue;
        }
        const dReal* p = dBodyGetPosition(b);
        const dReal* q = dBodyGetQuaternion(b);
        const dReal* v = dBodyGetLinearVel(b);
        const dReal* w = dBodyGetAngularVel(b);
        const bool bad = BadVector(p, 3) || BadVector(q, 4) || BadVector(v, 3) || BadVector(w, 3);
        if (flags & RigidBody::KeepHistory) {
            if (r.count > HistoryLength - 1) {
                r.start = uint32_t((r.start + 1) % HistoryLength);
                --r.count;
            }
            if (bad) {
                RepairBody(r, false);
            } else {
                if (r.history.empty()) r.history.resize(HistoryLength);
                // Good values lie within +-1e6, so the plain conversions are exact enough and safe.
                PoseEntry& e = r.history[(r.start + r.count) % HistoryLength];
                e.position = Vector3(float(p[0]), float(p[1]), float(p[2]));
                e.orientation = Quaternion(float(q[1]), float(q[2]), float(q[3]), float(q[0]));
                ++r.count;
            }
        } else if (bad) {
            RepairBody(r, false);
        }
        if (!bad) r.lastGoodPosition = Vector3(float(p[0]), float(p[1]), float(p[2]));
        if (flags & RigidBody::AutoDisable) {
            // After a repair the pointers show the repaired (zero) velocities; a repair may also
            // have put the body to sleep.
            if (bad && !dBodyIsEnabled(b)) {
                body->idleTime = 0.0f;
                continue;
            }
            const Vector3 linear = ToVector3(v), angular = ToVector3(w);
            if (linear.LengthSquared() < 50.0f && angular.LengthSquared() < 50.0f) {
                body->idleTime += dt;
                if (body->idleTime > 1.0f) {
                    body->Disable();
                    body->idleTime = 0.0f;
                }
            } else {
                body->idleTime = 0.0f;
            }
        }
    }
}

// -------------------------------------------------------------------------------------------------
// Joint forces

void PhysicsWorld::ApplyForceHook(PhysicsJoint& joint, float h) {
    dJointID j = joint.joint_;
    if (!j) return;
    const dJointFeedback* fb = Feedback(joint.FeedbackStorage());
    const dBodyID ode[2] = {dJointGetBody(j, 0), dJointGetBody(j, 1)};
    if (!ode[0] && !ode[1]) return;
    const dReal* forces[2] = {fb->f1, fb->f2};
    const dReal* torques[2] = {fb->t1, fb->t2};
    auto slotOf = [&](const RigidBody* r) {
        if (!r || !r->body_) return -1;
        if (ode[0] == r->body_) return 0;
        if (ode[1] == r->body_) return 1;
        return -1;
    };
    const int s1 = slotOf(joint.body1_);
    const int s2 = slotOf(joint.body2_);
    Vector4 f1, t1, f2, t2;
    if (s1 >= 0) {
        f1 = ToVector4(forces[s1]);
        t1 = ToVector4(torques[s1]);
    }
    if (s2 >= 0) {
        f2 = ToVector4(forces[s2]);
        t2 = ToVector4(torques[s2]);
    }
    const Vector4 of1 = f1, ot1 = t1, of2 = f2, ot2 = t2;
    const bool keep = joint.OnForces(h, f1, t1, f2, t2);
    if (keep && !Differs(f1, of1) && !Differs(t1, ot1) && !Differs(f2, of2) && !Differs(t2, ot2)) return;

    // The forces were applied inside the step already; correct the bodies afterwards as if the
    // hook's forces (none, when discarded) had been applied instead.
    for (int k = 0; k < 2; ++k) {
        if (!ode[k]) continue;
        double newF[3] = {0, 0, 0}, newT[3] = {0, 0, 0};
        if (keep) {
            const Vector4* nf = nullptr;
            const Vector4* nt = nullptr;
            if (k == s1) { nf = &f1; nt = &t1; }
            else if (k == s2) { nf = &f2; nt = &t2; }
            if (!nf) continue; // a body the hook does not see keeps its force
            newF[0] = nf->x; newF[1] = nf->y; newF[2] = nf->z;
            newT[0] = nt->x; newT[1] = nt->y; newT[2] = nt->z;
        }
        double df[3], dt[3];
        bool finite = true;
        for (int a = 0; a < 3; ++a) {
            df[a] = newF[a] - forces[k][a];
            dt[a] = newT[a] - torques[k][a];
            finite = finite && std::isfinite(df[a]) && std::isfinite(dt[a]);
        }
        if (finite) CorrectBody(ode[k], df, dt, h);
    }
}

void PhysicsWorld::PrepareHingeFeedback() {
    // Feedback is measured only for attached wheel joints with receivers; it is zeroed first so
    // that a joint whose island is not stepped reports nothing instead of an old value.
    hookedHinges_.clear();
    for (Hinge2Joint* j : hinges_) {
        if (j->attached_ && !j->receivers.empty()) {
            j->InstallFeedback();
            hookedHinges_.push_back(j);
        } else if (j->feedbackInstalled_) {
            j->RemoveFeedback();
        }
    }
}

void PhysicsWorld::ProcessJointForces(float h) {
    // Only the joints this step solved: one a receiver makes now (by colliding) never was.
    const size_t contacts = hookedContacts_.size();
    for (size_t i = 0; i < contacts; ++i) ApplyForceHook(pool_[size_t(hookedContacts_[i])], h);
    for (size_t i = 0; i < hookedHinges_.size(); ++i) {
        if (Hinge2Joint* j = hookedHinges_[i]) ApplyForceHook(*j, h);
    }
}

// -------------------------------------------------------------------------------------------------
// Stepping

void PhysicsWorld::SetTunedStep(float seconds) {
    if (!(seconds > 0.0f) || !std::isfinite(seconds) || seconds == tunedStep_) return;
    tunedStep_ = seconds;
    // Everything holds values for the old tuned size: put them again.
    const float step = softStep_;
    softStep_ = 0.0f;
    SoftenFor(step);
}

void PhysicsWorld::SoftenFor(float step) {
    if (!(step > 0.0f) || !std::isfinite(step) || step == softStep_) return;
    softStep_ = step;
    float erp = WorldErp, cfm = WorldCfm;
    SoftnessForStep(WorldErp, WorldCfm, tunedStep_, step, erp, cfm);
    dWorldSetERP(world_, erp);
    dWorldSetCFM(world_, cfm);
    for (Hinge2Joint* j : hinges_) j->SoftenFor(tunedStep_, step);
}

void PhysicsWorld::Step(float dt) {
    // The library refuses a step that is not positive; such a sub-step only runs the clients.
    const bool integrate = dt > 0.0f && std::isfinite(dt);
    if (integrate) {
        EnsureOdeThread();
        SoftenFor(dt);
        if (!suspects_.empty()) ScreenSuspectsBeforeStep();
        PrepareHingeFeedback();
        dWorldStep(world_, dt);
        ProcessJointForces(dt);
    }
    // The pool is handed out afresh only now, so a receiver that collided something could not
    // have reused a wrapper still waiting for its hook.
    poolInUse_ = 0;
    hookedContacts_.clear();
    dJointGroupEmpty(contactGroup_);
    if (integrate) RecordAndRepair(dt);
    ++clientLoopDepth_;
    for (size_t i = 0; i < clients_.size(); ++i) {
        if (PhysicsClient* c = clients_[i]) c->UpdateBounds(*this, dt);
    }
    FinishClientLoop();
}

void PhysicsWorld::Simulate(float dt, float rate, float timeScale) {
    const FrameSplit split = SplitFrame(dt, rate, timeScale);
    if (split.valid) SetTunedStep(1.0f / rate);
    for (int32_t i = 0; i < split.SubSteps(); ++i) {
        const float step = i < split.fullSteps ? split.stepSize : split.lastStep;
        // The contacts this sub-step makes take the values for its size.
        SoftenFor(step);
        PreStep();
        Collide();
        PostStep();
        Step(step);
    }
}
