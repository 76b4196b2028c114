#include "engine/core/Geometry.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// Widens the corners [lo, hi] to take in p.
void Enclose(Vector3& lo, Vector3& hi, const Vector3& p) {
    lo.x = std::min(lo.x, p.x);
    lo.y = std::min(lo.y, p.y);
    lo.z = std::min(lo.z, p.z);
    hi.x = std::max(hi.x, p.x);
    hi.y = std::max(hi.y, p.y);
    hi.z = std::max(hi.z, p.z);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Planes, spheres, boxes

Plane Plane::FromPoints(const Vector3& a, const Vector3& b, const Vector3& c) {
    Plane p;
    Vector3 n = Vector3::Cross(b - a, c - a);
    const float len = n.Length();
    if (len > 0.0f) {
        p.n = n / len;
        p.d = Vector3::Dot(a, n) / len;
    }
    return p;
}

bool Sphere::Intersects(const Sphere& other) const {
    const float r = radius + other.radius;
    return (centre - other.centre).LengthSquared() <= r * r;
}

BoundingBox BoundingBox::FromPoints(const Vector3* points, int32_t first, int32_t count) {
    BoundingBox box;
    if (!points || count <= 0) return box;
    Vector3 lo = points[first], hi = points[first];
    for (int32_t i = first + 1; i < first + count; ++i) Enclose(lo, hi, points[i]);
    box.centre = (lo + hi) * 0.5f;
    box.halfExtents = hi - box.centre;
    return box;
}

bool OrientedBox::Intersects(const OrientedBox& other) const {
    const float* a = &halfExtents.x;
    const float* b = &other.halfExtents.x;
    const Vector3 A[3] = {Axis(0), Axis(1), Axis(2)};
    const Vector3 B[3] = {other.Axis(0), other.Axis(1), other.Axis(2)};

    // R: the other box's axes in this box's frame; T: the centre offset in this box's frame.
    float R[3][3], AbsR[3][3];
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            R[i][j] = Vector3::Dot(A[i], B[j]);
            AbsR[i][j] = std::fabs(R[i][j]);
        }
    }
    const Vector3 offset = other.Centre() - Centre();
    const float T[3] = {Vector3::Dot(offset, A[0]), Vector3::Dot(offset, A[1]), Vector3::Dot(offset, A[2])};

    // This box's axes.
    for (int i = 0; i < 3; ++i) {
        const float rb = b[0] * AbsR[i][0] + b[1] * AbsR[i][1] + b[2] * AbsR[i][2];
        if (std::fabs(T[i]) > a[i] + rb) return false;
    }
    // The other box's axes.
    for (int j = 0; j < 3; ++j) {
        const float ra = a[0] * AbsR[0][j] + a[1] * AbsR[1][j] + a[2] * AbsR[2][j];
        const float t = T[0] * R[0][j] + T[1] * R[1][j] + T[2] * R[2][j];
        if (std::fabs(t) > ra + b[j]) return false;
    }
    // The nine edge-edge axes A[i] x B[j].
    for (int i = 0; i < 3; ++i) {
        const int i1 = (i + 1) % 3, i2 = (i + 2) % 3;
        for (int j = 0; j < 3; ++j) {
            const int j1 = (j + 1) % 3, j2 = (j + 2) % 3;
            const float ra = a[i1] * AbsR[i2][j] + a[i2] * AbsR[i1][j];
            const float rb = b[j1] * AbsR[i][j2] + b[j2] * AbsR[i][j1];
            const float t = T[i2] * R[i1][j] - T[i1] * R[i2][j];
            if (std::fabs(t) > ra + rb) return false;
        }
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Rotation frames

void OrthonormalBasis(const Vector3& n, Vector3& p, Vector3& q) {
    if (std::fabs(n.z) <= 0.70710677f) {
        const float a = n.x * n.x + n.y * n.y;
        const float k = 1.0f / Sqrt(a);
        p = Vector3(-n.y * k, n.x * k, 0.0f);
        q = Vector3(-n.z * p.y, n.z * p.x, a * k);
    } else {
        const float a = n.y * n.y + n.z * n.z;
        const float k = 1.0f / Sqrt(a);
        p = Vector3(0.0f, -n.z * k, n.y * k);
        q = Vector3(a * k, -n.x * p.z, n.x * p.y);
    }
}

namespace {
void WriteRow(float* row, const Vector3& v) {
    row[0] = v.x;
    row[1] = v.y;
    row[2] = v.z;
}
}  // namespace

void RotationFromNormal(const Vector3& n, float (*rows)[4]) {
    Vector3 p, q;
    OrthonormalBasis(n, p, q);
    WriteRow(rows[0], q);
    WriteRow(rows[1], p);
    WriteRow(rows[2], -n);
}

void RotationFromDirection(const Vector3& d, float (*rows)[4]) {
    const Vector3 side = Vector3::Cross(Vector3(0.0f, 1.0f, 0.0f), d).Normalized();
    const Vector3 up = Vector3::Cross(d, side);
    WriteRow(rows[0], side);
    WriteRow(rows[1], up);
    WriteRow(rows[2], d);
}

// ---------------------------------------------------------------------------------------------
// Point-set hull
//
// An incremental convex hull (each step adds the point farthest beyond a face) decided by exact
// orientation tests, so that coplanar and duplicate points never bend the result: a point counts
// as beyond a face only when it is truly on the outer side of the face's plane. The faces that
// end up in one plane are then merged and their outline re-triangulated, so that a flat side of
// the hull carries only its corners.

namespace {

constexpr uint32_t kNone = 0xFFFFFFFFu;

// Knuth's two-sum: s + err == a + b exactly.
inline void TwoSum(double a, double b, double& s, double& err) {
    s = a + b;
    const double bv = s - a;
    err = (a - (s - bv)) + (b - bv);
}

// The sign of the exact sum of `count` doubles (count <= 64). The terms are added into a
// non-overlapping expansion (Shewchuk's grow-expansion with zeros dropped), whose largest
// component carries the sign.
int ExactSumSign(const double* terms, int count) {
    double e[64];
    int m = 0;
    for (int i = 0; i < count; ++i) {
        double q = terms[i];
        int k = 0;
        for (int j = 0; j < m; ++j) {
            double err;
            TwoSum(q, e[j], q, err);
            if (err != 0.0) e[k++] = err;
        }
        if (q != 0.0) e[k++] = q;
        m = k;
    }
    return m == 0 ? 0 : (e[m - 1] > 0.0 ? 1 : -1);
}

// Appends sign * u * v * w exactly as two doubles. The product of two floats is exact in a
// double (48 bits); the third factor's rounding error is recovered with a fused multiply-add.
// Float ranges keep every part far from double overflow and underflow.
inline void AddTripleProduct(double* terms, int& count, double sign, float u, float v, float w) {
    const double uv = double(u) * double(v);
    const double hi = uv * double(w);
    const double lo = std::fma(uv, double(w), -hi);
    terms[count++] = sign * hi;
    terms[count++] = sign * lo;
}

// det[u; v; w] as twelve exact terms.
void AddDeterminant(double* terms, int& count, double sign, const Vector3& u, const Vector3& v, const Vector3& w) {
    AddTripleProduct(terms, count, sign, u.x, v.y, w.z);
    AddTripleProduct(terms, count, -sign, u.x, v.z, w.y);
    AddTripleProduct(terms, count, -sign, u.y, v.x, w.z);
    AddTripleProduct(terms, count, sign, u.y, v.z, w.x);
    AddTripleProduct(terms, count, sign, u.z, v.x, w.y);
    AddTripleProduct(terms, count, -sign, u.z, v.y, w.x);
}

// The sign of ((b - a) x (c - a)) . (p - a): positive when p lies on the side the normal of the
// triangle (a, b, c) points to, zero when the four points are coplanar. Exact for all finite
// floats: a quick double evaluation decides unless it is within its rounding error bound.
int Orient(const Vector3& a, const Vector3& b, const Vector3& c, const Vector3& p) {
    const double bax = double(b.x) - a.x, bay = double(b.y) - a.y, baz = double(b.z) - a.z;
    const double cax = double(c.x) - a.x, cay = double(c.y) - a.y, caz = double(c.z) - a.z;
    const double pax = double(p.x) - a.x, pay = double(p.y) - a.y, paz = double(p.z) - a.z;
    const double m0 = bay * caz, m1 = baz * cay, m2 = baz * cax, m3 = bax * caz, m4 = bax * cay, m5 = bay * cax;
    const double det = (m0 - m1) * pax + (m2 - m3) * pay + (m4 - m5) * paz;
    const double permanent = (std::fabs(m0) + std::fabs(m1)) * std::fabs(pax) +
                             (std::fabs(m2) + std::fabs(m3)) * std::fabs(pay) +
                             (std::fabs(m4) + std::fabs(m5)) * std::fabs(paz);
    const double bound = 1e-15 * permanent;  // above the proven 7.8e-16 for this evaluation
    if (det > bound) return 1;
    if (-det > bound) return -1;

    // det[b - a; c - a; p - a] = det[b; c; p] - det[a; c; p] - det[b; a; p] - det[b; c; a].
    double terms[48];
    int count = 0;
    AddDeterminant(terms, count, 1.0, b, c, p);
    AddDeterminant(terms, count, -1.0, a, c, p);
    AddDeterminant(terms, count, -1.0, b, a, p);
    AddDeterminant(terms, count, -1.0, b, c, a);
    return ExactSumSign(terms, count);
}

// True when a, b and c lie exactly on one line (or coincide).
bool Collinear(const Vector3& a, const Vector3& b, const Vector3& c) {
    // Each component of (b - a) x (c - a) expanded into six exact products of two floats.
    const float* A = &a.x;
    const float* B = &b.x;
    const float* C = &c.x;
    for (int axis = 0; axis < 3; ++axis) {
        const int i = (axis + 1) % 3, j = (axis + 2) % 3;
        const double terms[6] = {double(B[i]) * C[j], -double(B[i]) * A[j], -double(A[i]) * C[j],
                                 -double(B[j]) * C[i], double(B[j]) * A[i], double(A[j]) * C[i]};
        if (ExactSumSign(terms, 6) != 0) return false;
    }
    return true;
}

struct HullFace {
    uint32_t v[3];
    uint32_t adj[3];   // adj[e]: the face across the edge v[e] -> v[(e + 1) % 3]
    double n[3];       // unit normal and offset, only to rank points by distance
    double offset;
    uint32_t outside;  // first point of this face's outside list (kNone: empty)
    uint32_t farthest;
    double farthestDistance;
    uint32_t mark;     // visit stamp
    bool visible;
    bool live;
};

class HullBuilder {
public:
    explicit HullBuilder(std::span<const Vector3> points) : p_(points), nextOutside_(points.size(), kNone) {}

    bool Build(std::vector<uint32_t>& out);

private:
    int Side(const HullFace& f, uint32_t q) const { return Orient(p_[f.v[0]], p_[f.v[1]], p_[f.v[2]], p_[q]); }
    double Distance(const HullFace& f, uint32_t q) const {
        const Vector3& x = p_[q];
        return f.n[0] * x.x + f.n[1] * x.y + f.n[2] * x.z - f.offset;
    }
    bool FirstSimplex(uint32_t (&corner)[4]) const;
    uint32_t AddFace(uint32_t a, uint32_t b, uint32_t c);
    void AddOutside(uint32_t face, uint32_t q);
    // Assigns q to the first of the given faces it lies beyond; false when it is beyond none.
    bool Assign(const std::vector<uint32_t>& faces, uint32_t q);
    bool AddPoint(uint32_t face);
    bool Triangulate(std::vector<uint32_t>& out);

    std::span<const Vector3> p_;
    std::vector<HullFace> faces_;
    std::vector<uint32_t> freeFaces_;
    std::vector<uint32_t> nextOutside_;  // per point: the next point of the same outside list
    std::vector<uint32_t> pending_;      // faces that may have outside points
    uint32_t stamp_ = 0;
    // Scratch reused across steps.
    std::vector<uint32_t> visible_, stack_, newFaces_, startsAt_, startStamp_;
    struct HorizonEdge {
        uint32_t a, b, outerFace;
    };
    std::vector<HorizonEdge> horizon_;
};

bool HullBuilder::FirstSimplex(uint32_t (&corner)[4]) const {
    const uint32_t n = uint32_t(p_.size());
    // Two far-apart points: the lowest x, then the point farthest from it.
    uint32_t a = 0;
    for (uint32_t i = 1; i < n; ++i)
        if (p_[i].x < p_[a].x) a = i;
    uint32_t b = a;
    double best = 0.0;
    for (uint32_t i = 0; i < n; ++i) {
        const double dx = double(p_[i].x) - p_[a].x, dy = double(p_[i].y) - p_[a].y, dz = double(p_[i].z) - p_[a].z;
        const double d2 = dx * dx + dy * dy + dz * dz;
        if (d2 > best) best = d2, b = i;
    }
    if (b == a) return false;  // every point the same
    // The point farthest from their line, then the one farthest from their plane; when the
    // rounded measure picks a point that is exactly in line (or in plane), any that is not serves.
    const double ux = double(p_[b].x) - p_[a].x, uy = double(p_[b].y) - p_[a].y, uz = double(p_[b].z) - p_[a].z;
    uint32_t c = kNone;
    best = -1.0;
    for (uint32_t i = 0; i < n; ++i) {
        const double vx = double(p_[i].x) - p_[a].x, vy = double(p_[i].y) - p_[a].y, vz = double(p_[i].z) - p_[a].z;
        const double cx = uy * vz - uz * vy, cy = uz * vx - ux * vz, cz = ux * vy - uy * vx;
        const double m = cx * cx + cy * cy + cz * cz;
        if (m > best) best = m, c = i;
    }
    if (Collinear(p_[a], p_[b], p_[c])) {
        c = kNone;
        for (uint32_t i = 0; i < n && c == kNone; ++i)
            if (!Collinear(p_[a], p_[b], p_[i])) c = i;
        if (c == kNone) return false;  // all on one line
    }
    const double wx = double(p_[c].x) - p_[a].x, wy = double(p_[c].y) - p_[a].y, wz = double(p_[c].z) - p_[a].z;
    const double nx = uy * wz - uz * wy, ny = uz * wx - ux * wz, nz = ux * wy - uy * wx;
    uint32_t d4 = kNone;
    best = -1.0;
    for (uint32_t i = 0; i < n; ++i) {
        const double h = std::fabs(nx * (double(p_[i].x) - p_[a].x) + ny * (double(p_[i].y) - p_[a].y) +
                                   nz * (double(p_[i].z) - p_[a].z));
        if (h > best) best = h, d4 = i;
    }
    if (Orient(p_[a], p_[b], p_[c], p_[d4]) == 0) {
        d4 = kNone;
        for (uint32_t i = 0; i < n && d4 == kNone; ++i)
            if (Orient(p_[a], p_[b], p_[c], p_[i]) != 0) d4 = i;
        if (d4 == kNone) return false;  // all in one plane
    }
    corner[0] = a;
    corner[1] = b;
    corner[2] = c;
    corner[3] = d4;
    return true;
}

uint32_t HullBuilder::AddFace(uint32_t a, uint32_t b, uint32_t c) {
    uint32_t id;
    if (!freeFaces_.empty()) {
        id = freeFaces_.back();
        freeFaces_.pop_back();
    } else {
        id = uint32_t(faces_.size());
        faces_.emplace_back();
    }
    HullFace& f = faces_[id];
    f.v[0] = a;
    f.v[1] = b;
    f.v[2] = c;
    f.adj[0] = f.adj[1] = f.adj[2] = kNone;
    const Vector3 &A = p_[a], &B = p_[b], &C = p_[c];
    const double ux = double(B.x) - A.x, uy = double(B.y) - A.y, uz = double(B.z) - A.z;
    const double vx = double(C.x) - A.x, vy = double(C.y) - A.y, vz = double(C.z) - A.z;
    double nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
    const double len = std::sqrt(nx * nx + ny * ny + nz * nz);
    if (len > 0.0) nx /= len, ny /= len, nz /= len;
    f.n[0] = nx;
    f.n[1] = ny;
    f.n[2] = nz;
    f.offset = nx * A.x + ny * A.y + nz * A.z;
    f.outside = f.farthest = kNone;
    f.farthestDistance = 0.0;
    f.mark = 0;
    f.visible = false;
    f.live = true;
    return id;
}

void HullBuilder::AddOutside(uint32_t face, uint32_t q) {
    HullFace& f = faces_[face];
    const double dist = Distance(f, q);
    if (f.outside == kNone) pending_.push_back(face);
    if (f.farthest == kNone || dist > f.farthestDistance) {
        f.farthest = q;
        f.farthestDistance = dist;
    }
    nextOutside_[q] = f.outside;
    f.outside = q;
}

bool HullBuilder::Assign(const std::vector<uint32_t>& faces, uint32_t q) {
    for (uint32_t id : faces) {
        if (Side(faces_[id], q) > 0) {
            AddOutside(id, q);
            return true;
        }
    }
    return false;
}

// Adds the farthest point beyond `face`: the faces it sees go, and a fan from it to their
// outline (the horizon) takes their place; their outside points move to the new faces.
bool HullBuilder::AddPoint(uint32_t face) {
    const uint32_t q = faces_[face].farthest;
    const uint32_t mark = ++stamp_;

    // The faces q sees form one connected patch; walk it from the face q was found beyond.
    visible_.clear();
    horizon_.clear();
    stack_.assign(1, face);
    faces_[face].mark = mark;
    faces_[face].visible = true;
    while (!stack_.empty()) {
        const uint32_t id = stack_.back();
        stack_.pop_back();
        visible_.push_back(id);
        for (int e = 0; e < 3; ++e) {
            HullFace& g = faces_[faces_[id].adj[e]];
            if (g.mark != mark) {
                g.mark = mark;
                g.visible = Side(g, q) > 0;
                if (g.visible) stack_.push_back(faces_[id].adj[e]);
            }
        }
    }
    for (uint32_t id : visible_) {
        const HullFace& f = faces_[id];
        for (int e = 0; e < 3; ++e)
            if (!faces_[f.adj[e]].visible) horizon_.push_back({f.v[e], f.v[(e + 1) % 3], f.adj[e]});
    }

    // The fan: one face per horizon edge, joined to the face beyond the edge and to its two
    // neighbours in the fan (the horizon is a simple loop, so each vertex starts one edge).
    newFaces_.clear();
    for (const HorizonEdge& h : horizon_) {
        if (startStamp_[h.a] == mark) return false;  // not a simple loop: cannot happen exactly
        startStamp_[h.a] = mark;
        const uint32_t id = AddFace(h.a, h.b, q);
        startsAt_[h.a] = id;
        newFaces_.push_back(id);
        faces_[id].adj[0] = h.outerFace;
        HullFace& outer = faces_[h.outerFace];
        for (int e = 0; e < 3; ++e)
            if (outer.v[e] == h.b && outer.v[(e + 1) % 3] == h.a) outer.adj[e] = id;
    }
    for (uint32_t id : newFaces_) {
        const uint32_t b = faces_[id].v[1];
        if (startStamp_[b] != mark) return false;
        const uint32_t next = startsAt_[b];
        faces_[id].adj[1] = next;
        faces_[next].adj[2] = id;
    }

    // Retire the seen faces and hand their outside points to the new faces; a point beyond
    // none of them is inside the grown hull for good.
    for (uint32_t id : visible_) {
        HullFace& f = faces_[id];
        f.live = false;
        f.visible = false;
        for (uint32_t r = f.outside; r != kNone;) {
            const uint32_t next = nextOutside_[r];
            if (r != q) Assign(newFaces_, r);
            r = next;
        }
        f.outside = kNone;
        freeFaces_.push_back(id);
    }
    return true;
}

// Writes the hull's triangles: faces that lie exactly in one plane are merged into one convex
// polygon whose corners (the outline's points that are not in line with their neighbours) are
// fanned into triangles.
bool HullBuilder::Triangulate(std::vector<uint32_t>& out) {
    const uint32_t none = kNone;
    std::vector<uint32_t> group(faces_.size(), none);
    std::vector<uint32_t> members, outline, corners;
    std::vector<uint32_t> nextOnOutline(p_.size(), none);
    std::vector<uint32_t> groupStamp(p_.size(), none);
    std::vector<uint32_t> result;
    for (uint32_t seed = 0; seed < faces_.size(); ++seed) {
        if (!faces_[seed].live || group[seed] != none) continue;
        // The plane's faces: neighbours across an edge whose far corner is in the plane.
        members.assign(1, seed);
        group[seed] = seed;
        const HullFace& s = faces_[seed];
        for (size_t k = 0; k < members.size(); ++k) {
            const HullFace& f = faces_[members[k]];
            for (int e = 0; e < 3; ++e) {
                const uint32_t g = f.adj[e];
                if (group[g] != none) continue;
                const HullFace& h = faces_[g];
                uint32_t far = h.v[0];
                for (int c = 0; c < 3; ++c)
                    if (h.v[c] != f.v[e] && h.v[c] != f.v[(e + 1) % 3]) far = h.v[c];
                if (Orient(p_[s.v[0]], p_[s.v[1]], p_[s.v[2]], p_[far]) == 0) {
                    group[g] = seed;
                    members.push_back(g);
                }
            }
        }
        if (members.size() == 1) {
            result.insert(result.end(), {s.v[0], s.v[1], s.v[2]});
            continue;
        }
        // The outline: the edges whose far side is another plane, chained head to tail.
        uint32_t start = none, edges = 0;
        for (uint32_t id : members) {
            const HullFace& f = faces_[id];
            for (int e = 0; e < 3; ++e) {
                if (group[f.adj[e]] == seed) continue;
                if (groupStamp[f.v[e]] == seed) return false;  // an outline touching itself
                groupStamp[f.v[e]] = seed;
                nextOnOutline[f.v[e]] = f.v[(e + 1) % 3];
                start = f.v[e];
                ++edges;
            }
        }
        outline.clear();
        for (uint32_t v = start; outline.size() <= edges;) {
            outline.push_back(v);
            if (groupStamp[v] != seed) return false;
            v = nextOnOutline[v];
            if (v == start) break;
        }
        if (outline.size() != edges) return false;
        // Start at a true corner, then keep each point that is not in line with the last
        // corner kept and the next outline point.
        const size_t m = outline.size();
        size_t first = m;
        for (size_t i = 0; i < m && first == m; ++i)
            if (!Collinear(p_[outline[(i + m - 1) % m]], p_[outline[i]], p_[outline[(i + 1) % m]])) first = i;
        if (first == m) return false;
        corners.assign(1, outline[first]);
        for (size_t k = 1; k < m; ++k) {
            const uint32_t v = outline[(first + k) % m], next = outline[(first + k + 1) % m];
            if (!Collinear(p_[corners.back()], p_[v], p_[next])) corners.push_back(v);
        }
        if (corners.size() < 3) return false;
        for (size_t k = 1; k + 1 < corners.size(); ++k) result.insert(result.end(), {corners[0], corners[k], corners[k + 1]});
    }
    out.reserve(result.size());
    out.assign(result.begin(), result.end());
    return !out.empty();
}

bool HullBuilder::Build(std::vector<uint32_t>& out) {
    uint32_t corner[4];
    if (!FirstSimplex(corner)) return false;
    const uint32_t n = uint32_t(p_.size());
    startsAt_.assign(n, kNone);
    startStamp_.assign(n, 0);

    // The first tetrahedron, each face wound away from the corner it leaves out.
    static constexpr int kFaceOf[4][3] = {{1, 2, 3}, {0, 3, 2}, {0, 1, 3}, {0, 2, 1}};
    const bool flip = Orient(p_[corner[0]], p_[corner[1]], p_[corner[2]], p_[corner[3]]) < 0;
    for (const auto& f : kFaceOf) {
        uint32_t a = corner[f[0]], b = corner[f[1]], c = corner[f[2]];
        if (flip) std::swap(b, c);
        AddFace(a, b, c);
    }
    for (uint32_t i = 0; i < 4; ++i)
        for (int e = 0; e < 3; ++e) {
            const uint32_t a = faces_[i].v[e], b = faces_[i].v[(e + 1) % 3];
            for (uint32_t j = 0; j < 4; ++j)
                for (int k = 0; k < 3; ++k)
                    if (faces_[j].v[k] == b && faces_[j].v[(k + 1) % 3] == a) faces_[i].adj[e] = j;
        }
    const std::vector<uint32_t> first = {0, 1, 2, 3};
    for (uint32_t i = 0; i < n; ++i)
        if (i != corner[0] && i != corner[1] && i != corner[2] && i != corner[3]) Assign(first, i);

    while (!pending_.empty()) {
        const uint32_t id = pending_.back();
        pending_.pop_back();
        if (faces_[id].live && faces_[id].outside != kNone && !AddPoint(id)) return false;
    }
    return Triangulate(out);
}

}  // namespace

bool TriangulatePointSet(std::span<const Vector3> points, std::vector<uint32_t>& outIndices) {
    outIndices.clear();
    if (points.size() < 4 || points.size() > (size_t(1) << 24)) return false;
    for (const Vector3& p : points)
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return false;
    HullBuilder hull(points);
    if (!hull.Build(outIndices)) {
        outIndices.clear();
        return false;
    }
    return true;
}
