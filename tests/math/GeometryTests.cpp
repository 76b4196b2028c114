#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

#include "MathTestUtil.h"
#include "engine/core/Geometry.h"
#include "platform/sys/Random.h"

namespace {

// --- Frames --------------------------------------------------------------------------------

TEST(Geometry, OrthonormalBasisBranchesAndProperties) {
    struct Case {
        Vector3 n, p, q;
    } cases[] = {
        {{0, 0, 1}, {0, -1, 0}, {1, 0, 0}},  // |n.z| large: second branch
        {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}},   // first branch
    };
    for (const Case& c : cases) {
        Vector3 p, q;
        OrthonormalBasis(c.n, p, q);
        ExpectVecNear(p, c.p);
        ExpectVecNear(q, c.q);
    }
    plat::SetEngineRandSeed(3);
    for (int i = 0; i < 200; ++i) {
        const Vector3 n = Vector3(RandomFloat(-1, 1), RandomFloat(-1, 1), RandomFloat(-1, 1)).Normalized();
        if (n.LengthSquared() == 0) continue;
        Vector3 p, q;
        OrthonormalBasis(n, p, q);
        EXPECT_NEAR(p.Length(), 1.0f, 1e-5f);
        EXPECT_NEAR(q.Length(), 1.0f, 1e-5f);
        EXPECT_NEAR(p.Dot(n), 0.0f, 1e-5f);
        EXPECT_NEAR(q.Dot(n), 0.0f, 1e-5f);
        EXPECT_NEAR(p.Dot(q), 0.0f, 1e-5f);
    }
}

TEST(Geometry, RotationFramesWriteThreeRowsOnly) {
    float frame[3][4];
    for (auto& row : frame) row[3] = 42;
    const Vector3 n = Vector3(0.2f, 0.9f, -0.3f).Normalized();
    RotationFromNormal(n, frame);
    Vector3 p, q;
    OrthonormalBasis(n, p, q);
    ExpectVecNear({frame[0][0], frame[0][1], frame[0][2]}, q);
    ExpectVecNear({frame[1][0], frame[1][1], frame[1][2]}, p);
    ExpectVecNear({frame[2][0], frame[2][1], frame[2][2]}, -n);
    for (auto& row : frame) EXPECT_EQ(row[3], 42);

    struct Case {
        Vector3 d, side, up;
    } cases[] = {
        {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}},
        {{1, 0, 0}, {0, 0, -1}, {0, 1, 0}},
    };
    for (const Case& c : cases) {
        Matrix4 m;  // Matrix4 rows work too; row 3 stays as it was
        m.m[3][0] = 9;
        RotationFromDirection(c.d, m.m);
        ExpectVecNear({m.m[0][0], m.m[0][1], m.m[0][2]}, c.side);
        ExpectVecNear({m.m[1][0], m.m[1][1], m.m[1][2]}, c.up);
        ExpectVecNear({m.m[2][0], m.m[2][1], m.m[2][2]}, c.d);
        EXPECT_EQ(m.m[3][0], 9);
    }
    // A sloping direction still gives an orthonormal frame.
    const Vector3 d = Vector3(1, -0.5f, 2).Normalized();
    RotationFromDirection(d, frame);
    const Vector3 side{frame[0][0], frame[0][1], frame[0][2]}, up{frame[1][0], frame[1][1], frame[1][2]};
    EXPECT_NEAR(side.Length(), 1, 1e-5f);
    EXPECT_NEAR(up.Length(), 1, 1e-5f);
    EXPECT_NEAR(side.Dot(up), 0, 1e-5f);
    EXPECT_NEAR(side.y, 0, 1e-6f);  // the side stays horizontal
}

// --- Planes, spheres, boxes ----------------------------------------------------------------

TEST(Geometry, PlanesSpheresAndPointBoxes) {
    const Plane fromPoints = Plane::FromPoints({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    ExpectVecNear(fromPoints.n, {0, 0, 1});
    EXPECT_EQ(fromPoints.d, 0.0f);
    const Plane lifted = Plane::FromPoints({0, 0, 5}, {0, 2, 5}, {2, 0, 5});
    ExpectVecNear(lifted.n, {0, 0, -1});
    EXPECT_FLOAT_EQ(lifted.d, -5.0f);
    const Plane collinear = Plane::FromPoints({0, 0, 0}, {1, 1, 1}, {2, 2, 2});
    EXPECT_TRUE(std::isfinite(collinear.d) && collinear.n == Vector3());
    const Plane fromNormal({1, 2, 3}, {0, 2, 0});  // normal taken as it is
    EXPECT_EQ(fromNormal.n, Vector3(0, 2, 0));
    EXPECT_EQ(fromNormal.d, 4.0f);
    EXPECT_EQ(fromNormal.Distance({0, 5, 0}), 6.0f);

    struct { float gap; bool hit; } spheres[] = {{2.0f, true}, {2.0001f, false}, {0.0f, true}, {1.5f, true}};
    for (auto& s : spheres) {
        const Sphere a{{10, 0, 0}, 1}, b{{10 + s.gap, 0, 0}, 1};
        EXPECT_EQ(a.Intersects(b), s.hit) << s.gap;
        EXPECT_EQ(b.Intersects(a), s.hit) << s.gap;
    }

    const Vector3 pts[] = {{9, 9, 9}, {1, -2, 3}, {-1, 4, 0}, {0, 0, 7}, {-50, -50, -50}};
    const BoundingBox one = BoundingBox::FromPoints(pts, 1, 1);
    EXPECT_EQ(one.centre, Vector3(1, -2, 3));
    EXPECT_EQ(one.halfExtents, Vector3());
    const BoundingBox run = BoundingBox::FromPoints(pts, 1, 3);  // skips the first and last
    ExpectVecNear(run.centre, {0, 1, 3.5f});
    ExpectVecNear(run.halfExtents, {1, 3, 3.5f});
    const BoundingBox none = BoundingBox::FromPoints(pts, 0, 0);
    EXPECT_EQ(none.halfExtents, Vector3());
}

OrientedBox MakeBox(const Matrix4& rotation, const Vector3& centre, const Vector3& half) {
    OrientedBox b;
    b.transform = rotation;
    b.transform.m[3][0] = centre.x;
    b.transform.m[3][1] = centre.y;
    b.transform.m[3][2] = centre.z;
    b.halfExtents = half;
    return b;
}

// Separated on one of the six face axes alone?
bool SeparatedByFaceAxis(const OrientedBox& a, const OrientedBox& b) {
    auto radius = [](const OrientedBox& o, const Vector3& l) {
        return o.halfExtents.x * std::fabs(o.Axis(0).Dot(l)) + o.halfExtents.y * std::fabs(o.Axis(1).Dot(l)) +
               o.halfExtents.z * std::fabs(o.Axis(2).Dot(l));
    };
    for (int i = 0; i < 6; ++i) {
        const Vector3 l = i < 3 ? a.Axis(i) : b.Axis(i - 3);
        if (std::fabs((b.Centre() - a.Centre()).Dot(l)) > radius(a, l) + radius(b, l)) return true;
    }
    return false;
}

TEST(Geometry, OrientedBoxOverlap) {
    const Vector3 far{1000, -2000, 500};  // away from the origin
    const Vector3 unitHalf{0.5f, 0.5f, 0.5f}, cubeHalf{1, 1, 1};
    const Matrix4 turned = Matrix4::RotationX(HalfPi * 0.5f) * Matrix4::RotationZ(HalfPi * 0.5f);
    const Matrix4 tilted = Matrix4::RotationY(0.3f) * Matrix4::RotationX(-0.7f);
    const Vector3 diag = Vector3(1, 0, 1).Normalized();
    struct Case {
        const char* what;
        OrientedBox a, b;
        bool overlap;
    } cases[] = {
        {"identical", MakeBox(tilted, far, cubeHalf), MakeBox(tilted, far, cubeHalf), true},
        {"faces exactly touching", MakeBox({}, far, unitHalf), MakeBox({}, far + Vector3(1, 0, 0), unitHalf), true},
        {"faces just apart", MakeBox({}, far, unitHalf), MakeBox({}, far + Vector3(1.001f, 0, 0), unitHalf), false},
        {"turned box corner in a face", MakeBox({}, far, cubeHalf), MakeBox(turned, far + Vector3(2.5f, 0, 0), cubeHalf), true},
        {"turned box clear of a face", MakeBox({}, far, cubeHalf), MakeBox(turned, far + Vector3(3.0f, 0, 0), cubeHalf), false},
        {"edges crossing", MakeBox({}, far, cubeHalf), MakeBox(turned, far + diag * 2.75f, cubeHalf), true},
        {"edges apart", MakeBox({}, far, cubeHalf), MakeBox(turned, far + diag * 2.9f, cubeHalf), false},
        {"one inside the other", MakeBox(tilted, far, {10, 10, 10}), MakeBox(turned, far, {1, 2, 3}), true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.a.Intersects(c.b), c.overlap) << c.what;
        EXPECT_EQ(c.b.Intersects(c.a), c.overlap) << c.what << " (swapped)";
    }
    // The "edges apart" pair is separated only by an edge-edge axis.
    EXPECT_FALSE(SeparatedByFaceAxis(cases[6].a, cases[6].b));
}

// --- Point-set hull ------------------------------------------------------------------------

struct HullCheck {
    int triangles = 0;
    bool closed = false;
    bool outward = false;
    bool convex = false;
    std::set<uint32_t> used;
};

HullCheck CheckHull(const std::vector<Vector3>& pts, const std::vector<uint32_t>& idx) {
    HullCheck r;
    r.triangles = int(idx.size() / 3);
    EXPECT_EQ(idx.size() % 3, 0u);
    Vector3 centroid;
    for (const Vector3& p : pts) centroid += p;
    centroid = centroid / float(pts.size());
    std::map<std::pair<uint32_t, uint32_t>, int> edges;
    r.outward = r.convex = true;
    float size = 0;
    for (const Vector3& p : pts) size = std::max(size, (p - centroid).Length());
    for (size_t t = 0; t < idx.size(); t += 3) {
        for (int k = 0; k < 3; ++k) {
            EXPECT_LT(idx[t + k], pts.size());
            r.used.insert(idx[t + k]);
            ++edges[{idx[t + k], idx[t + (k + 1) % 3]}];
        }
        const Vector3 &a = pts[idx[t]], &b = pts[idx[t + 1]], &c = pts[idx[t + 2]];
        const Vector3 n = Vector3::Cross(b - a, c - a).Normalized();
        if (n.Dot((a + b + c) / 3.0f - centroid) <= 0) r.outward = false;
        for (const Vector3& p : pts)
            if (n.Dot(p - a) > size * 1e-3f) r.convex = false;
    }
    // Closed and consistently wound: every directed edge once, and its reverse once.
    r.closed = true;
    for (auto& [e, count] : edges)
        if (count != 1 || edges.count({e.second, e.first}) != 1 || edges.at({e.second, e.first}) != 1)
            r.closed = false;
    return r;
}

TEST(Geometry, TriangulateCubeCornersGivesClosedOutwardHull) {
    for (const Vector3 offset : {Vector3(0, 0, 0), Vector3(5000, -3000, 12000)}) {
        std::vector<Vector3> cube;
        for (int i = 0; i < 8; ++i)
            cube.push_back(offset + Vector3(i & 1 ? 1.0f : -1.0f, i & 2 ? 2.0f : -2.0f, i & 4 ? 0.5f : -0.5f));
        plat::SetEngineRandSeed(11);
        std::vector<uint32_t> idx;
        ASSERT_TRUE(TriangulatePointSet(cube, idx)) << offset.x;
        const HullCheck h = CheckHull(cube, idx);
        EXPECT_EQ(h.triangles, 12);
        EXPECT_TRUE(h.closed);
        EXPECT_TRUE(h.outward);
        EXPECT_TRUE(h.convex);
        EXPECT_EQ(h.used.size(), 8u);
    }
}

// The largest distance by which any point lies beyond a hull triangle's plane.
float MaxOutside(const std::vector<Vector3>& pts, const std::vector<uint32_t>& idx) {
    float worst = 0;
    for (size_t t = 0; t + 2 < idx.size(); t += 3) {
        const Vector3 &a = pts[idx[t]], &b = pts[idx[t + 1]], &c = pts[idx[t + 2]];
        const Vector3 n = Vector3::Cross(b - a, c - a).Normalized();
        for (const Vector3& p : pts) {
            const float d = n.Dot(p - a);
            if (!(d <= worst)) worst = d;  // a degenerate triangle's NaN counts too
        }
    }
    return worst;
}

// A car-body-like box: points scattered over every side (many points share each hull face),
// each corner twice, and points inside.
std::vector<Vector3> BoxLikeSet(const Vector3& centre, const Vector3& half, const Quaternion& turn) {
    std::vector<Vector3> pts;
    for (int axis = 0; axis < 3; ++axis)
        for (float side : {-1.0f, 1.0f})
            for (int i = 0; i < 60; ++i) {
                float c[3];
                c[axis] = side;
                c[(axis + 1) % 3] = RandomFloat(-1, 1);
                c[(axis + 2) % 3] = RandomFloat(-1, 1);
                pts.push_back(Vector3(c[0] * half.x, c[1] * half.y, c[2] * half.z));
            }
    for (int i = 0; i < 16; ++i) pts.push_back(Vector3(i & 1 ? half.x : -half.x, i & 2 ? half.y : -half.y, i & 4 ? half.z : -half.z));
    for (int i = 0; i < 20; ++i) pts.push_back(Vector3(RandomFloat(-0.9f, 0.9f) * half.x, RandomFloat(-0.9f, 0.9f) * half.y, RandomFloat(-0.9f, 0.9f) * half.z));
    const Matrix4 rotation = turn.ToMatrix();
    for (Vector3& p : pts) p = centre + rotation.TransformNormal(p);
    return pts;
}

// Every point of a k x k x k grid: most of them in line or in plane with many others.
std::vector<Vector3> GridPoints(int k) {
    std::vector<Vector3> pts;
    for (int i = 0; i < k * k * k; ++i) pts.push_back(Vector3(float(i % k), float(i / k % k), float(i / (k * k))) * 0.25f);
    return pts;
}

TEST(Geometry, TriangulateBoxLikeSetsGiveTheExactHull) {
    plat::SetEngineRandSeed(12);
    const Vector3 half{1.5f, 0.625f, 3.0f};
    const struct Case {
        const char* what;
        std::vector<Vector3> pts;
        bool axisAligned;  // faces exactly flat: the hull is the box's 12 triangles
    } cases[] = {
        {"box at the origin", BoxLikeSet({}, half, Quaternion()), true},
        {"box far out", BoxLikeSet({5000, -3000, 12000}, half, Quaternion()), true},
        {"every point of a 5 x 5 x 5 grid", GridPoints(5), true},
        {"turned box", BoxLikeSet({3, 1, -2}, half, Quaternion(Vector3(1, 2, 3).Normalized(), 0.7f)), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint32_t> idx;
        ASSERT_TRUE(TriangulatePointSet(c.pts, idx));
        const HullCheck h = CheckHull(c.pts, idx);
        EXPECT_TRUE(h.closed);
        EXPECT_TRUE(h.outward);
        EXPECT_LE(MaxOutside(c.pts, idx), 1e-5f);  // every point inside or on the hull
        if (c.axisAligned) {
            EXPECT_EQ(h.triangles, 12);
            std::set<std::tuple<float, float, float>> corners;  // a corner may come twice
            for (uint32_t i : h.used) corners.insert({c.pts[i].x, c.pts[i].y, c.pts[i].z});
            EXPECT_EQ(corners.size(), 8u);
        }
    }
}

TEST(Geometry, TriangulateLargerAndSmallSets) {
    // Points on a sphere plus points inside: every surface point is on the hull, none inside.
    plat::SetEngineRandSeed(5);
    std::vector<Vector3> pts;
    const Vector3 centre{-300, 40, 800};
    for (int i = 0; i < 120; ++i) {
        Vector3 d(RandomFloat(-1, 1), RandomFloat(-1, 1), RandomFloat(-1, 1));
        if (d.LengthSquared() < 0.01f) d = Vector3(0, 0, 1);
        pts.push_back(centre + d.Normalized() * 20.0f);
    }
    for (int i = 0; i < 30; ++i) pts.push_back(centre + Vector3(RandomFloat(-5, 5), RandomFloat(-5, 5), RandomFloat(-5, 5)));
    std::vector<uint32_t> idx;
    ASSERT_TRUE(TriangulatePointSet(pts, idx));
    HullCheck h = CheckHull(pts, idx);
    EXPECT_TRUE(h.closed);
    EXPECT_TRUE(h.outward);
    EXPECT_TRUE(h.convex);
    EXPECT_EQ(h.triangles, 2 * 120 - 4);  // Euler: a closed triangulated sphere over V points
    for (uint32_t i : h.used) EXPECT_LT(i, 120u);

    // A single tetrahedron.
    const std::vector<Vector3> tet = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    ASSERT_TRUE(TriangulatePointSet(tet, idx));
    h = CheckHull(tet, idx);
    EXPECT_EQ(h.triangles, 4);
    EXPECT_TRUE(h.closed && h.outward);

    // Too few or coincident points fail cleanly with an empty result.
    const std::vector<Vector3> three = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    idx = {1, 2, 3};
    EXPECT_FALSE(TriangulatePointSet(three, idx));
    EXPECT_TRUE(idx.empty());
    EXPECT_FALSE(TriangulatePointSet(std::vector<Vector3>(6, Vector3(3, 3, 3)), idx));
    EXPECT_TRUE(idx.empty());

    // A flat set or a line has no volume; a non-finite point has no place.
    std::vector<Vector3> flat;
    for (int i = 0; i < 9; ++i) flat.push_back({float(i % 3), float(i / 3), 0});
    EXPECT_FALSE(TriangulatePointSet(flat, idx));
    std::vector<Vector3> line;
    for (int i = 0; i < 9; ++i) line.push_back(Vector3(1, 2, 3) * (float(i) * 0.125f));
    EXPECT_FALSE(TriangulatePointSet(line, idx));
    std::vector<Vector3> bad = tet;
    bad.push_back({0.5f, std::nanf(""), 0});
    EXPECT_FALSE(TriangulatePointSet(bad, idx));
    EXPECT_TRUE(idx.empty());
}

TEST(Geometry, TriangulateLeavesOutTheCentreOfAFinelySampledSphere) {
    // The centre, added last, lies inside the hull of the surface: it is no corner, and the
    // surface's every point is.
    plat::SetEngineRandSeed(9);
    std::vector<Vector3> pts;
    while (pts.size() < 2400) {
        const Vector3 d(RandomFloat(-1, 1), RandomFloat(-1, 1), RandomFloat(-1, 1));
        if (d.LengthSquared() > 0.04f && d.LengthSquared() <= 1.0f) pts.push_back(d.Normalized() * 50.0f);
    }
    pts.push_back({0, 0, 0});
    std::vector<uint32_t> idx = {7};
    ASSERT_TRUE(TriangulatePointSet(pts, idx));
    const HullCheck h = CheckHull(pts, idx);
    EXPECT_TRUE(h.closed && h.outward && h.convex);
    EXPECT_EQ(idx.size() / 3, 2 * (pts.size() - 1) - 4);
    EXPECT_EQ(h.used.size(), pts.size() - 1);
    EXPECT_EQ(h.used.count(uint32_t(pts.size() - 1)), 0u);
}

}  // namespace
