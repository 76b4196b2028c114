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

namespace {

constexpr int kMaxCavityFaces = 4500;

struct Tetra {
    uint32_t v[4];
    double cx, cy, cz, r2;  // circumsphere: centre and squared radius
    bool live;
};

struct Face {
    uint32_t v[3];     // corners in record order
    uint32_t key[3];   // the same, sorted, for matching
};

struct P3 {
    double x, y, z;
};

P3 Sub(const P3& a, const P3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
P3 Cross(const P3& a, const P3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double Dot(const P3& a, const P3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// Circumsphere of the tetrahedron (a, b, c, d); the squared radius is measured to d.
void Circumsphere(const P3& a, const P3& b, const P3& c, const P3& d, Tetra& t) {
    const P3 u = Sub(b, a), v = Sub(c, a), w = Sub(d, a);
    const P3 vw = Cross(v, w), wu = Cross(w, u), uv = Cross(u, v);
    double det = Dot(u, vw);
    if (det == 0.0) det = 0.01;  // flat: any finite sphere keeps the walk going
    const double k = 0.5 / det;
    const double uu = Dot(u, u), vv = Dot(v, v), ww = Dot(w, w);
    t.cx = a.x + (uu * vw.x + vv * wu.x + ww * uv.x) * k;
    t.cy = a.y + (uu * vw.y + vv * wu.y + ww * uv.y) * k;
    t.cz = a.z + (uu * vw.z + vv * wu.z + ww * uv.z) * k;
    const double dx = d.x - t.cx, dy = d.y - t.cy, dz = d.z - t.cz;
    t.r2 = dx * dx + dy * dy + dz * dz;
}

void MakeKey(Face& f) {
    f.key[0] = f.v[0];
    f.key[1] = f.v[1];
    f.key[2] = f.v[2];
    std::sort(f.key, f.key + 3);
}

}  // namespace

bool TriangulatePointSet(std::span<const Vector3> points, std::vector<uint32_t>& outIndices) {
    outIndices.clear();
    const size_t n = points.size();
    if (n < 4 || n > (size_t(1) << 24)) return false;

    // Working copy with room for the four enclosing corners.
    std::vector<P3> work(n + 4);
    Vector3 lo = points[0], hi = points[0];
    for (size_t i = 0; i < n; ++i) {
        const Vector3& p = points[i];
        work[i] = {p.x, p.y, p.z};
        Enclose(lo, hi, p);
    }
    Vector3 extent = hi - lo;
    const float largest = std::max(extent.x, std::max(extent.y, extent.z));
    if (!(largest > 0.0f) || !std::isfinite(largest)) return false;

    // A tiny jitter breaks the ties of co-spherical and co-planar points.
    const float eps = 5e-6f * largest;
    for (size_t i = 0; i < n; ++i) {
        work[i].x += RandomFloat(-eps, eps);
        work[i].y += RandomFloat(-eps, eps);
        work[i].z += RandomFloat(-eps, eps);
    }

    // The enclosing tetrahedron; a flat axis is given some depth so that it has a volume.
    const float minDepth = largest * 0.01f;
    extent.x = std::max(extent.x, minDepth);
    extent.y = std::max(extent.y, minDepth);
    extent.z = std::max(extent.z, minDepth);
    static constexpr float kCorner[4][3] = {{80, -10, -10}, {-10, 80, -10}, {-10, -10, 80}, {-10, -10, -10}};
    for (int c = 0; c < 4; ++c) {
        work[n + c] = {double(lo.x) + double(extent.x) * kCorner[c][0],
                       double(lo.y) + double(extent.y) * kCorner[c][1],
                       double(lo.z) + double(extent.z) * kCorner[c][2]};
    }
    const uint32_t firstOuter = uint32_t(n);

    // Tetrahedron pool with a free list; sized generously for small sets.
    const size_t capacity = std::max<size_t>(16 * n, 256);
    std::vector<Tetra> tetras;
    tetras.reserve(capacity);
    std::vector<uint32_t> freeSlots;
    freeSlots.reserve(capacity);
    auto addTetra = [&](uint32_t a, uint32_t b, uint32_t c, uint32_t d) -> bool {
        uint32_t slot;
        if (!freeSlots.empty()) {
            slot = freeSlots.back();
            freeSlots.pop_back();
        } else {
            if (tetras.size() >= capacity) return false;
            slot = uint32_t(tetras.size());
            tetras.push_back({});
        }
        Tetra& t = tetras[slot];
        t.v[0] = a;
        t.v[1] = b;
        t.v[2] = c;
        t.v[3] = d;
        t.live = true;
        Circumsphere(work[a], work[b], work[c], work[d], t);
        return true;
    };
    addTetra(firstOuter, firstOuter + 1, firstOuter + 2, firstOuter + 3);

    std::vector<Face> faces;
    faces.reserve(kMaxCavityFaces);
    for (uint32_t pi = 0; pi < firstOuter; ++pi) {
        const P3& p = work[pi];
        faces.clear();
        // Every tetrahedron whose circumsphere holds the point goes; the faces that are not
        // shared by two of them bound the cavity.
        for (uint32_t ti = 0; ti < tetras.size(); ++ti) {
            Tetra& t = tetras[ti];
            if (!t.live) continue;
            const double dx = p.x - t.cx, dy = p.y - t.cy, dz = p.z - t.cz;
            if (t.r2 - (dx * dx + dy * dy + dz * dz) < 0.0) continue;
            t.live = false;
            freeSlots.push_back(ti);
            for (int skip = 0; skip < 4; ++skip) {
                Face f;
                int k = 0;
                for (int c = 0; c < 4; ++c)
                    if (c != skip) f.v[k++] = t.v[c];
                MakeKey(f);
                auto same = std::find_if(faces.begin(), faces.end(), [&f](const Face& g) {
                    return g.key[0] == f.key[0] && g.key[1] == f.key[1] && g.key[2] == f.key[2];
                });
                if (same != faces.end()) {
                    *same = faces.back();
                    faces.pop_back();
                } else {
                    if (faces.size() >= size_t(kMaxCavityFaces)) return false;
                    faces.push_back(f);
                }
            }
        }
        for (const Face& f : faces)
            if (!addTetra(f.v[0], f.v[1], f.v[2], pi)) return false;
    }

    // The hull is the boundary of the tetrahedra made of real points only: their faces that
    // no second such tetrahedron shares. Each is wound away from the tetrahedron's fourth corner.
    struct HullFace {
        Face f;
        uint32_t opposite;
    };
    std::vector<HullFace> candidates;
    for (const Tetra& t : tetras) {
        if (!t.live || t.v[0] >= firstOuter) continue;  // enclosing corners come first
        for (int skip = 0; skip < 4; ++skip) {
            HullFace h;
            int k = 0;
            for (int c = 0; c < 4; ++c)
                if (c != skip) h.f.v[k++] = t.v[c];
            h.opposite = t.v[skip];
            MakeKey(h.f);
            candidates.push_back(h);
        }
    }
    auto keyLess = [](const HullFace& l, const HullFace& r) {
        return std::lexicographical_compare(l.f.key, l.f.key + 3, r.f.key, r.f.key + 3);
    };
    std::sort(candidates.begin(), candidates.end(), keyLess);
    for (size_t i = 0; i < candidates.size();) {
        size_t j = i + 1;
        while (j < candidates.size() && !keyLess(candidates[i], candidates[j])) ++j;
        if (j - i == 1) {
            const HullFace& h = candidates[i];
            uint32_t a = h.f.v[0], b = h.f.v[1], c = h.f.v[2];
            const P3 normal = Cross(Sub(work[b], work[a]), Sub(work[c], work[a]));
            if (Dot(normal, Sub(work[h.opposite], work[a])) > 0.0) std::swap(b, c);
            outIndices.push_back(a);
            outIndices.push_back(b);
            outIndices.push_back(c);
        }
        i = j;
    }
    if (outIndices.empty()) return false;
    outIndices.shrink_to_fit();
    return true;
}
