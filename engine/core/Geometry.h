#pragma once
// Solid-geometry helpers shared by the world, the vehicles and the traffic: rotation frames,
// planes, spheres, oriented-box overlap and the convex hull of a point set.
#include <cstdint>
#include <span>
#include <vector>

#include "engine/core/Math.h"

// Plane {n, d}: a point p lies on it when n . p = d; the positive side is where n . p - d > 0.
struct Plane {
    Vector3 n;
    float d = 0.0f;

    constexpr Plane() = default;
    constexpr Plane(float nx, float ny, float nz, float d_) : n(nx, ny, nz), d(d_) {}
    // Plane through point with the given normal, taken as it is (not normalised).
    Plane(const Vector3& point, const Vector3& normal) : n(normal), d(Vector3::Dot(point, normal)) {}
    // Unit-normal plane through a, b, c with n along (b - a) x (c - a). Collinear points give
    // the zero plane.
    static Plane FromPoints(const Vector3& a, const Vector3& b, const Vector3& c);

    float Distance(const Vector3& p) const { return Vector3::Dot(n, p) - d; }
};
static_assert(sizeof(Plane) == 16);

struct Sphere {
    Vector3 centre;
    float radius = 0.0f;

    // True when the spheres overlap or touch.
    bool Intersects(const Sphere& other) const;
};
static_assert(sizeof(Sphere) == 16);

// A box given by a transform whose upper 3x3 rows are the box's unit axes and whose fourth row
// is its centre, followed by the three half extents.
struct OrientedBox {
    Matrix4 transform;
    Vector3 halfExtents;

    Vector3 Axis(int i) const { return {transform.m[i][0], transform.m[i][1], transform.m[i][2]}; }
    Vector3 Centre() const { return {transform.m[3][0], transform.m[3][1], transform.m[3][2]}; }
    // Separating-axis test over the 15 candidate axes; touching counts as overlap.
    bool Intersects(const OrientedBox& other) const;
};

// Two unit vectors p, q perpendicular to the unit normal n and to each other.
void OrthonormalBasis(const Vector3& n, Vector3& p, Vector3& q);

// Rotation frames are written into three rows of four floats; the fourth float of each row is
// left untouched. Both a float[3][4] frame and Matrix4::m can be passed.
// Rows: q, p (from OrthonormalBasis), then -n.
void RotationFromNormal(const Vector3& n, float (*rows)[4]);
// Rows: side = normalize((0, 1, 0) x d), up' = d x side, d. A direction parallel to the
// vertical has no side; the side and up rows then come out zero.
void RotationFromDirection(const Vector3& d, float (*rows)[4]);

// The exact convex hull of a point set: every point lies inside it or on it, whatever the
// coplanar, collinear or repeated points. On success the out array holds three point indices per
// hull triangle, wound so that (p1 - p0) x (p2 - p0) points out of the hull; a flat side of the
// hull is fanned from its corners only, so points inside a side or along an edge are not used.
// Returns false (out emptied) for fewer than 4 points, a set without volume (all on one plane,
// line or point), a non-finite coordinate, or more than 2^24 points.
bool TriangulatePointSet(std::span<const Vector3> points, std::vector<uint32_t>& outIndices);
