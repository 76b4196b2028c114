#pragma once
#include <cstdint>
#include <vector>

#include "engine/core/Math.h"
#include "game/world/CollisionListener.h"
#include "game/world/OdeHandles.h"

class PhysicsWorld;
class RigidBody;

// How a space sorts its geoms for the broad phase. All kinds give the same pairs.
enum class SpaceKind { Simple, QuadTree, Hash };

// One collision shape with its surface, behaviour flags, owner and listeners. The wrapper owns
// its ODE geom; the world's space only refers to it.
class PhysicsGeom {
public:
    enum : uint32_t {
        OneSided = 1,       // contacts move only this geom's own body
        IsSpace = 4,        // the geom is a space of geoms
        Transformed = 8,    // the geom is a transform around the real shape
        AlwaysCollide = 16, // collides without the active-body test and with one-sided geoms
        AnyContacts = 32,   // the collider may return any contacts, not the best ones
    };

    PhysicsGeom();
    virtual ~PhysicsGeom();
    PhysicsGeom(const PhysicsGeom&) = delete;
    PhysicsGeom& operator=(const PhysicsGeom&) = delete;

    // Binds the geom to a body, or to none (it then stays where the body left it). The geom
    // stays in whatever space holds it. During collision the change waits until the outermost
    // collision call returns.
    virtual void SetBody(RigidBody* body);
    // Where the geom sits relative to its body's centre of mass, in the body's frame. Kept by
    // the wrapper and applied every time the geom is bound to a body.
    void SetOffset(const Vector3& offset);
    const Vector3& GetOffset() const { return offset_; }

    void SetSurface(SurfaceMaterial* surface) { surface_ = surface; }
    SurfaceMaterial* GetSurface() const { return surface_; }
    void SetOwner(GeomOwner* owner) { owner_ = owner; }
    GeomOwner* GetOwner() const { return owner_; }

    void SetPosition(const Vector3& position);
    void SetOrientation(const Quaternion& orientation);
    Vector3 GetPosition() const;
    void GetOrientation(Quaternion& out) const;
    void GetTransform(Matrix4& out) const;

    void AddToWorld(PhysicsWorld& world);
    void RemoveFromWorld(PhysicsWorld& world);
    PhysicsWorld* GetWorld() const { return world_; }
    RigidBody* GetBody() const;

    void Enable();
    void Disable();
    bool IsEnabled() const;
    void SetCategoryBits(uint32_t bits);
    uint32_t GetCategoryBits() const;
    void SetCollideBits(uint32_t bits);
    uint32_t GetCollideBits() const;
    // Centre and half extents of the axis-aligned bounds.
    void GetBounds(BoundingBox& out) const;

    // The shape itself (the inner geom of a transform); null for a mesh not built yet.
    dxGeom* GetOdeGeom() const;
    // The geom that sits in spaces and carries position and body.
    dxGeom* GetOuterGeom() const { return geom_; }
    bool IsRay() const;
    bool IsTriMesh() const;

    // The wrapper of an ODE geom (its user data), or null.
    static PhysicsGeom* FromOde(dxGeom* geom);

    uint32_t flags = 0;
    std::vector<CollisionListener*> listeners;

protected:
    // Takes ownership of a freshly made geom and binds this wrapper to it.
    void Adopt(dxGeom* geom);
    void BindData();
    bool IsPlaceable() const;

    PhysicsWorld* world_ = nullptr;
    SurfaceMaterial* surface_ = nullptr;
    GeomOwner* owner_ = nullptr;
    dxGeom* geom_ = nullptr;
    Vector3 offset_;
};

// Infinite plane a x + b y + c z = d.
class PlaneGeom : public PhysicsGeom {
public:
    PlaneGeom(float a, float b, float c, float d);
};

class SphereGeom : public PhysicsGeom {
public:
    explicit SphereGeom(float radius);
    void SetRadius(float radius);
    float GetRadius() const;
};

class BoxGeom : public PhysicsGeom {
public:
    explicit BoxGeom(const Vector3& halfExtents);
    Vector3 GetHalfExtents() const;
};

// Capsule along its local z axis: a cylinder of the given length capped by two half spheres.
class CapsuleGeom : public PhysicsGeom {
public:
    CapsuleGeom(float radius, float length);
};

class RayGeom : public PhysicsGeom {
public:
    explicit RayGeom(float length);
    float GetLength() const;
    void SetLength(float length);
    void SetParams(bool firstContact, bool backfaceCull);
    // Report the nearest hit reliably (needed with first-contact mode against meshes).
    void SetClosestHit(bool closestHit);
    void Set(const Vector3& start, const Vector3& direction);
    void Get(Vector3& start, Vector3& direction) const;
};

// Triangle mesh. The owner fills Vertices() (3 floats per vertex) and Indices() (3 per
// triangle), then calls Build. A mesh that is empty or failed to build has no ODE geom and
// stays out of every space.
class TriMeshGeom : public PhysicsGeom {
public:
    TriMeshGeom();
    ~TriMeshGeom() override;

    std::vector<float>& Vertices() { return vertices_; }
    std::vector<int32_t>& Indices() { return indices_; }
    int32_t VertexCount() const { return int32_t(vertices_.size() / 3); }
    int32_t TriangleCount() const { return built_ ? int32_t(indices_.size() / 3) : 0; }
    // Validates the arrays and builds the collision data. False (with a log line) when an index
    // is out of range or the counts are broken; an empty mesh builds as empty and returns true.
    bool Build();
    bool IsBuilt() const { return built_; }
    // World-space centre of a triangle; zero for an index out of range.
    Vector3 GetTriangleCentre(int32_t triangle) const;
    // Unit normal (b - a) x (c - a); zero for an index out of range.
    Vector3 GetTriangleNormal(int32_t triangle) const;

private:
    // Destroys the ODE geom and then its collision data.
    void DropMesh();

    std::vector<float> vertices_;
    std::vector<int32_t> indices_;
    dxTriMeshData* data_ = nullptr;
    bool built_ = false;
};

// A group of geoms that enters the world's space as one.
class PhysicsSpace : public PhysicsGeom {
public:
    // A simple space.
    PhysicsSpace();
    // A quadtree space (or another kind, which ignores the bounds and depth).
    PhysicsSpace(const Vector3& centre, const Vector3& extents, int32_t depth,
                 SpaceKind kind = SpaceKind::QuadTree);
    void SetBody(RigidBody*) override {}
    virtual void Add(PhysicsGeom* geom);
    virtual void Remove(PhysicsGeom* geom);
    dxSpace* GetOdeSpace() const;
};
