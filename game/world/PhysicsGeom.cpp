#include "game/world/PhysicsGeom.h"

#include <algorithm>

#include "engine/core/Debugger.h"
#include "game/world/OdeBridge.h"
#include "game/world/PhysicsWorld.h"
#include "game/world/RigidBody.h"

using namespace physics_detail;

namespace {

// The shape inside a geometry transform. Transforms are deprecated in the library but still
// supported; owners may wrap a shape in one.
dGeomID InnerOfTransform(dGeomID transform) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    return dGeomTransformGetGeom(transform);
#pragma GCC diagnostic pop
}

} // namespace

// -------------------------------------------------------------------------------------------------
// Listener defaults

bool CollisionListener::IgnoreTriangle(PhysicsGeom*, PhysicsGeom*, int32_t) { return true; }
bool CollisionListener::IgnorePair(PhysicsGeom*, PhysicsGeom*) { return true; }
bool CollisionListener::VetoContacts(PhysicsGeom*, PhysicsGeom*) { return false; }
bool CollisionListener::AcceptRayTriangle(PhysicsGeom*, PhysicsGeom*, int32_t, float, float) { return false; }
void CollisionListener::OnTriangles(PhysicsGeom*, PhysicsGeom*, const int32_t*, int32_t) {}
bool CollisionListener::FilterContact(PhysicsGeom*, PhysicsGeom*, Vector3*, Vector3*, float*) { return true; }
JointForceReceiver* CollisionListener::GetForceReceiver(PhysicsGeom*, PhysicsGeom*) { return nullptr; }

// -------------------------------------------------------------------------------------------------
// PhysicsGeom

PhysicsGeom::PhysicsGeom() = default;

PhysicsGeom::~PhysicsGeom() {
    if (geom_) {
        // The inner geom of a transform goes with it only when the transform owns it.
        PhysicsWorld::DestroyGeom(geom_);
        geom_ = nullptr;
    }
}

void PhysicsGeom::Adopt(dxGeom* geom) {
    geom_ = geom;
    BindData();
}

void PhysicsGeom::BindData() {
    if (!geom_) return;
    dGeomSetData(geom_, this);
    if ((flags & Transformed) && dGeomGetClass(geom_) == dGeomTransformClass) {
        if (dGeomID inner = InnerOfTransform(geom_)) dGeomSetData(inner, this);
    }
}

PhysicsGeom* PhysicsGeom::FromOde(dxGeom* geom) { return geom ? static_cast<PhysicsGeom*>(dGeomGetData(geom)) : nullptr; }

bool PhysicsGeom::IsPlaceable() const {
    // Planes and spaces have no position; the library aborts when one is moved or bound.
    return geom_ && !dGeomIsSpace(geom_) && dGeomGetClass(geom_) != dPlaneClass;
}

void PhysicsGeom::SetBody(RigidBody* body) {
    if (!IsPlaceable()) return;
    PhysicsWorld::GeomSetBody(geom_, body ? body->GetOdeBody() : nullptr, offset_);
}

void PhysicsGeom::SetOffset(const Vector3& offset) {
    if (!IsFinite(offset)) {
        Debugger::Instance().Log(1, "PHYSICS: Refused geom offset %.3f, %.3f, %.3f", double(offset.x),
                                 double(offset.y), double(offset.z));
        return;
    }
    offset_ = offset;
    // Applied now when bound (the library keeps an offset only while the geom has a body).
    if (IsPlaceable() && dGeomGetBody(geom_)) PhysicsWorld::GeomSetBody(geom_, dGeomGetBody(geom_), offset_);
}

void PhysicsGeom::SetPosition(const Vector3& p) {
    if (IsPlaceable()) dGeomSetPosition(geom_, p.x, p.y, p.z);
}

void PhysicsGeom::SetOrientation(const Quaternion& q) {
    if (!IsPlaceable()) return;
    dQuaternion oq;
    ToOdeQuaternion(q, oq);
    dMatrix3 r;
    dQtoR(oq, r);
    dGeomSetRotation(geom_, r);
}

Vector3 PhysicsGeom::GetPosition() const { return IsPlaceable() ? ToVector3(dGeomGetPosition(geom_)) : Vector3(); }

void PhysicsGeom::GetOrientation(Quaternion& out) const {
    if (!IsPlaceable()) {
        out = Quaternion();
        return;
    }
    dQuaternion q;
    dGeomGetQuaternion(geom_, q);
    out = FromOdeQuaternion(q);
}

void PhysicsGeom::GetTransform(Matrix4& out) const {
    if (!IsPlaceable()) {
        out.SetIdentity();
        return;
    }
    RotationToMatrix(dGeomGetRotation(geom_), dGeomGetPosition(geom_), out);
}

void PhysicsGeom::AddToWorld(PhysicsWorld& world) {
    world_ = &world;
    PhysicsWorld::SpaceAdd(world.GetSpace(), geom_);
}

void PhysicsGeom::RemoveFromWorld(PhysicsWorld& world) {
    PhysicsWorld::SpaceRemove(world.GetSpace(), geom_);
    if (world_ == &world) world_ = nullptr;
}

RigidBody* PhysicsGeom::GetBody() const {
    if (!IsPlaceable()) return nullptr;
    return RigidBody::FromOde(dGeomGetBody(geom_));
}

void PhysicsGeom::Enable() { if (geom_) dGeomEnable(geom_); }
void PhysicsGeom::Disable() { if (geom_) dGeomDisable(geom_); }
bool PhysicsGeom::IsEnabled() const { return geom_ && dGeomIsEnabled(geom_); }
void PhysicsGeom::SetCategoryBits(uint32_t bits) { if (geom_) dGeomSetCategoryBits(geom_, bits); }
uint32_t PhysicsGeom::GetCategoryBits() const { return geom_ ? uint32_t(dGeomGetCategoryBits(geom_)) : 0u; }
void PhysicsGeom::SetCollideBits(uint32_t bits) { if (geom_) dGeomSetCollideBits(geom_, bits); }
uint32_t PhysicsGeom::GetCollideBits() const { return geom_ ? uint32_t(dGeomGetCollideBits(geom_)) : 0u; }

void PhysicsGeom::GetBounds(BoundingBox& out) const {
    out.Clear();
    if (!geom_) return;
    dReal aabb[6];
    dGeomGetAABB(geom_, aabb);
    for (int axis = 0; axis < 3; ++axis) {
        const double lo = aabb[axis * 2], hi = aabb[axis * 2 + 1];
        out.centre[axis] = ToF32((lo + hi) * 0.5);
        out.halfExtents[axis] = ToF32((hi - lo) * 0.5);
    }
}

dxGeom* PhysicsGeom::GetOdeGeom() const {
    if (geom_ && (flags & Transformed) && dGeomGetClass(geom_) == dGeomTransformClass) {
        if (dGeomID inner = InnerOfTransform(geom_)) return inner;
    }
    return geom_;
}

bool PhysicsGeom::IsRay() const {
    dGeomID g = GetOdeGeom();
    return g && dGeomGetClass(g) == dRayClass;
}

bool PhysicsGeom::IsTriMesh() const {
    dGeomID g = GetOdeGeom();
    return g && dGeomGetClass(g) == dTriMeshClass;
}

// -------------------------------------------------------------------------------------------------
// Shapes

PlaneGeom::PlaneGeom(float a, float b, float c, float d) {
    // A zero normal cannot be normalised by the library.
    if (!(a * a + b * b + c * c > 0.0f)) {
        Debugger::Instance().Log(2, "PHYSICS: Plane without a normal; using +y");
        a = 0.0f; b = 1.0f; c = 0.0f;
    }
    Adopt(dCreatePlane(nullptr, a, b, c, d));
}

SphereGeom::SphereGeom(float radius) {
    Adopt(dCreateSphere(nullptr, radius >= 0.0f ? radius : 0.0f));
}

void SphereGeom::SetRadius(float radius) {
    if (geom_ && radius >= 0.0f && std::isfinite(radius)) dGeomSphereSetRadius(GetOdeGeom(), radius);
}

float SphereGeom::GetRadius() const { return geom_ ? ToF32(dGeomSphereGetRadius(GetOdeGeom())) : 0.0f; }

BoxGeom::BoxGeom(const Vector3& h) {
    auto side = [](float half) { return (half >= 0.0f && std::isfinite(half)) ? 2.0 * half : 0.0; };
    Adopt(dCreateBox(nullptr, side(h.x), side(h.y), side(h.z)));
}

Vector3 BoxGeom::GetHalfExtents() const {
    if (!geom_) return {};
    dVector3 l;
    dGeomBoxGetLengths(GetOdeGeom(), l);
    return {ToF32(l[0] * 0.5), ToF32(l[1] * 0.5), ToF32(l[2] * 0.5)};
}

CapsuleGeom::CapsuleGeom(float radius, float length) {
    auto size = [](float v) { return (v >= 0.0f && std::isfinite(v)) ? double(v) : 0.0; };
    Adopt(dCreateCapsule(nullptr, size(radius), size(length)));
}

RayGeom::RayGeom(float length) { Adopt(dCreateRay(nullptr, length >= 0.0f ? length : 0.0f)); }

float RayGeom::GetLength() const { return geom_ ? ToF32(dGeomRayGetLength(GetOdeGeom())) : 0.0f; }

void RayGeom::SetLength(float length) {
    if (geom_ && length >= 0.0f && std::isfinite(length)) dGeomRaySetLength(GetOdeGeom(), length);
}

void RayGeom::SetParams(bool firstContact, bool backfaceCull) {
    if (!geom_) return;
    dGeomRaySetFirstContact(GetOdeGeom(), firstContact ? 1 : 0);
    dGeomRaySetBackfaceCull(GetOdeGeom(), backfaceCull ? 1 : 0);
}

void RayGeom::SetClosestHit(bool closestHit) {
    if (geom_) dGeomRaySetClosestHit(GetOdeGeom(), closestHit ? 1 : 0);
}

void RayGeom::Set(const Vector3& start, const Vector3& direction) {
    if (!geom_) return;
    dGeomID ray = GetOdeGeom();
    // The library normalises the direction and aborts on a zero or broken one: such a ray keeps
    // its previous direction (and still moves to the new start).
    const double len2 = double(direction.x) * direction.x + double(direction.y) * direction.y +
                        double(direction.z) * direction.z;
    if (!(len2 > 1e-20) || !std::isfinite(len2)) {
        Debugger::Instance().Log(2, "PHYSICS: Ray direction %.3f, %.3f, %.3f refused; keeping the previous one",
                                 double(direction.x), double(direction.y), double(direction.z));
        dVector3 oldStart, oldDirection;
        dGeomRayGet(ray, oldStart, oldDirection);
        dGeomRaySet(ray, start.x, start.y, start.z, oldDirection[0], oldDirection[1], oldDirection[2]);
        return;
    }
    dGeomRaySet(ray, start.x, start.y, start.z, direction.x, direction.y, direction.z);
}

void RayGeom::Get(Vector3& start, Vector3& direction) const {
    if (!geom_) {
        start = direction = Vector3();
        return;
    }
    dVector3 s, d;
    dGeomRayGet(GetOdeGeom(), s, d);
    start = ToVector3(s);
    direction = ToVector3(d);
}

// -------------------------------------------------------------------------------------------------
// Triangle mesh

namespace {

int TriangleCallback(dGeomID triMesh, dGeomID other, int triangle) {
    // Called for every candidate triangle: a mesh nobody listens to answers at once.
    PhysicsGeom* mesh = PhysicsGeom::FromOde(triMesh);
    if (!mesh || mesh->listeners.empty()) return 1;
    PhysicsGeom* otherGeom = PhysicsGeom::FromOde(other);
    for (size_t i = 0; i < mesh->listeners.size(); ++i) {
        CollisionListener* l = mesh->listeners[i];
        if ((l->listenerFlags & CollisionListener::AskIgnoreTriangle) && l->IgnoreTriangle(otherGeom, mesh, triangle))
            return 0;
    }
    return 1;
}

void TriangleArrayCallback(dGeomID triMesh, dGeomID other, const int* triangles, int count) {
    PhysicsGeom* mesh = PhysicsGeom::FromOde(triMesh);
    PhysicsGeom* otherGeom = PhysicsGeom::FromOde(other);
    if (!mesh || !otherGeom) return;
    for (size_t i = 0; i < otherGeom->listeners.size(); ++i) {
        CollisionListener* l = otherGeom->listeners[i];
        if (l->listenerFlags & CollisionListener::AskOnTriangles) l->OnTriangles(mesh, otherGeom, triangles, count);
    }
}

int RayTriangleCallback(dGeomID triMesh, dGeomID ray, int triangle, dReal u, dReal v) {
    PhysicsGeom* mesh = PhysicsGeom::FromOde(triMesh);
    if (!mesh) return 1;
    PhysicsGeom* rayGeom = PhysicsGeom::FromOde(ray);
    for (size_t i = 0; i < mesh->listeners.size(); ++i) {
        CollisionListener* l = mesh->listeners[i];
        if ((l->listenerFlags & CollisionListener::AskRayTriangle) &&
            !l->AcceptRayTriangle(mesh, rayGeom, triangle, ToF32(u), ToF32(v)))
            return 0;
    }
    return 1;
}

} // namespace

TriMeshGeom::TriMeshGeom() = default;

TriMeshGeom::~TriMeshGeom() { DropMesh(); }

void TriMeshGeom::DropMesh() {
    if (geom_) {
        // During a collision both the geom and, after it, its data are destroyed once the
        // collision returns.
        PhysicsWorld::DestroyGeom(geom_);
        geom_ = nullptr;
    }
    if (data_) {
        PhysicsWorld::DestroyTriMeshData(data_);
        data_ = nullptr;
    }
}

bool TriMeshGeom::Build() {
    EnsureOdeThread(); // the loader builds meshes on its own thread
    Debugger& log = Debugger::Instance();
    if (vertices_.size() % 3 != 0 || indices_.size() % 3 != 0) {
        log.Log(1, "PHYSICS: Triangle mesh refused: %d vertex floats, %d indices", int(vertices_.size()),
                int(indices_.size()));
        return false;
    }
    const int32_t vertexCount = VertexCount();
    for (size_t i = 0; i < indices_.size(); ++i) {
        if (indices_[i] < 0 || indices_[i] >= vertexCount) {
            log.Log(1, "PHYSICS: Triangle mesh refused: index %d at %d is outside %d vertices", indices_[i], int(i),
                    vertexCount);
            return false;
        }
    }
    if (PhysicsWorld::IsColliding()) {
        log.Log(1, "PHYSICS: Triangle mesh cannot be rebuilt during collision");
        return false;
    }
    if (vertexCount == 0 || indices_.empty()) {
        // The library aborts on an empty mesh; an empty one stays without collision data and
        // out of every space, also when it held triangles before.
        DropMesh();
        built_ = false;
        return true;
    }
    dTriMeshDataID data = dGeomTriMeshDataCreate();
    dGeomTriMeshDataBuildSingle(data, vertices_.data(), 3 * sizeof(float), vertexCount, indices_.data(),
                                int(indices_.size()), 3 * sizeof(int32_t));
    if (geom_) {
        dGeomTriMeshSetData(geom_, data);
    } else {
        Adopt(dCreateTriMesh(nullptr, data, &TriangleCallback, &TriangleArrayCallback, &RayTriangleCallback));
        if (world_) PhysicsWorld::SpaceAdd(world_->GetSpace(), geom_);
    }
    if (data_) dGeomTriMeshDataDestroy(data_);
    data_ = data;
    built_ = true;
    return true;
}

Vector3 TriMeshGeom::GetTriangleCentre(int32_t triangle) const {
    if (!geom_ || triangle < 0 || triangle >= TriangleCount()) return {};
    dVector3 a, b, c;
    dGeomTriMeshGetTriangle(geom_, triangle, &a, &b, &c);
    return {ToF32((a[0] + b[0] + c[0]) / 3.0), ToF32((a[1] + b[1] + c[1]) / 3.0), ToF32((a[2] + b[2] + c[2]) / 3.0)};
}

Vector3 TriMeshGeom::GetTriangleNormal(int32_t triangle) const {
    if (!geom_ || triangle < 0 || triangle >= TriangleCount()) return {};
    dVector3 a, b, c;
    dGeomTriMeshGetTriangle(geom_, triangle, &a, &b, &c);
    const Vector3 va = ToVector3(a), vb = ToVector3(b), vc = ToVector3(c);
    return Vector3::Cross(vb - va, vc - va).Normalized();
}

// -------------------------------------------------------------------------------------------------
// Spaces

PhysicsSpace::PhysicsSpace() {
    dSpaceID space = dSimpleSpaceCreate(nullptr);
    dSpaceSetCleanup(space, 0); // the wrappers own their geoms
    flags |= IsSpace;
    Adopt(reinterpret_cast<dGeomID>(space));
}

PhysicsSpace::PhysicsSpace(const Vector3& centre, const Vector3& extents, int32_t depth, SpaceKind kind) {
    dSpaceID space;
    if (kind == SpaceKind::QuadTree) {
        dVector3 c, e;
        if (!SafeQuadTreeBounds(centre, extents, c, e)) Debugger::Instance().Log(1, "PHYSICS: Invalid space bounds replaced");
        space = dQuadTreeSpaceCreate(nullptr, c, e, std::clamp(depth, 1, 10));
    } else {
        space = kind == SpaceKind::Hash ? dHashSpaceCreate(nullptr) : dSimpleSpaceCreate(nullptr);
    }
    dSpaceSetCleanup(space, 0);
    flags |= IsSpace;
    Adopt(reinterpret_cast<dGeomID>(space));
}

dxSpace* PhysicsSpace::GetOdeSpace() const { return reinterpret_cast<dSpaceID>(geom_); }

void PhysicsSpace::Add(PhysicsGeom* geom) {
    if (geom) PhysicsWorld::SpaceAdd(GetOdeSpace(), geom->GetOuterGeom());
}

void PhysicsSpace::Remove(PhysicsGeom* geom) {
    if (geom) PhysicsWorld::SpaceRemove(GetOdeSpace(), geom->GetOuterGeom());
}
