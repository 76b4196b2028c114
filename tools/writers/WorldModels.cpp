#include "tools/writers/WorldModels.h"

#include <algorithm>
#include <cmath>

#include "tools/writers/MeshShapes.h"

namespace tools {
namespace {

ZkmVertex At(const Vector3& p, const Vector3& n, float u, float v) {
    ZkmVertex out;
    out.position = p;
    out.normal = n;
    out.u = u;
    out.v = v;
    return out;
}

// Appends (a, b, c) wound so that the face points along `front`, as the engine draws it.
void Triangle(ZkmModel& m, uint32_t a, uint32_t b, uint32_t c, const Vector3& front) {
    const Vector3& p = m.vertices[a].position;
    const Vector3 face = Vector3::Cross(m.vertices[b].position - p, m.vertices[c].position - p);
    if (Vector3::Dot(face, front) < 0.0f) std::swap(b, c);
    m.indices.insert(m.indices.end(), {a, b, c});
}

// One node, one part over everything, the collision box around the vertices.
void SingleNode(ZkmModel& m) {
    ZkmNode n;
    Vector3 lo(1e9f, 1e9f, 1e9f), hi(-1e9f, -1e9f, -1e9f);
    for (const ZkmVertex& v : m.vertices)
        for (int a = 0; a < 3; ++a) {
            lo[a] = std::min(lo[a], v.position[a]);
            hi[a] = std::max(hi[a], v.position[a]);
        }
    for (int i = 0; i < 8; ++i) n.collisionPositions.push_back({(i & 1) ? hi.x : lo.x, (i & 2) ? hi.y : lo.y, (i & 4) ? hi.z : lo.z});
    n.collisionIndices = {0, 2, 3, 0, 3, 1, 4, 5, 7, 4, 7, 6, 0, 1, 5, 0, 5, 4, 2, 6, 7, 2, 7, 3, 0, 4, 6, 0, 6, 2, 1, 3, 7, 1, 7, 5};
    ZkmPart p;
    p.ranges = {{0, uint32_t(m.indices.size()), 0, uint32_t(m.vertices.size())}};
    n.parts = {p};
    m.nodes = {n};
}

void Unlit(ZkmModel& m, bool depth) {
    m.shaders[0].lighting = 0;
    if (!depth) {
        m.shaders[0].zWrite = 0;
        m.shaders[0].zFunc = 0;
    }
}

} // namespace

// v of 0..1 within the centres of the gradient's first and last rows, so the top never
// samples the wrapped-round horizon.
float Rows(float v) { return (0.5f + v * 63.0f) / 64.0f; }

ZkmModel SkyDomeModel(const std::string& texture, float radius, int slices, int stacks) {
    ZkmModel m;
    AddTexturedMaterial(m, texture);
    Unlit(m, false);
    // Rings from the horizon up; the top is one vertex.
    for (int s = 0; s < stacks; ++s) {
        const float elevation = HalfPi * float(s) / float(stacks);
        for (int k = 0; k <= slices; ++k) {
            const float a = TwoPi * float(k) / float(slices);
            const Vector3 dir(std::cos(elevation) * std::cos(a), std::sin(elevation), std::cos(elevation) * std::sin(a));
            m.vertices.push_back(At(dir * radius, -dir, float(k) / float(slices), Rows(1.0f - float(s) / float(stacks))));
        }
    }
    const uint32_t top = uint32_t(m.vertices.size());
    m.vertices.push_back(At(Vector3(0, radius, 0), Vector3(0, -1, 0), 0.5f, Rows(0.0f)));
    const uint32_t row = uint32_t(slices + 1);
    for (int s = 0; s < stacks; ++s)
        for (int k = 0; k < slices; ++k) {
            const uint32_t a = uint32_t(s) * row + uint32_t(k);
            const Vector3 inward = -m.vertices[a].position;
            if (s + 1 < stacks) {
                Triangle(m, a, a + 1, a + row, inward);
                Triangle(m, a + 1, a + row + 1, a + row, inward);
            } else {
                Triangle(m, a, a + 1, top, inward);
            }
        }
    SingleNode(m);
    return m;
}

ZkmModel CartModel(const std::string& texture) {
    ZkmModel m;
    AddTexturedMaterial(m, texture);
    AddBox(m, {0, 8, 0}, {7, 3, 14});    // body
    AddBox(m, {0, 14, 5}, {6, 3, 4});    // seat, at the back
    AddBox(m, {0, 13, -12}, {6, 2, 1});  // front board
    for (int i = 0; i < 4; ++i) AddBox(m, {(i & 1) ? 8.0f : -8.0f, 3, (i & 2) ? 9.0f : -9.0f}, {1, 3, 3});
    SingleNode(m);
    return m;
}

ZkmModel DropPointModel(const std::string& texture) {
    ZkmModel m;
    AddTexturedMaterial(m, texture);
    Unlit(m, true);
    const Vector3 low(0, 0, 0), high(0, 4.5f, 0);
    const Vector3 ring[4] = {{1.5f, 3, 0}, {0, 3, 1.5f}, {-1.5f, 3, 0}, {0, 3, -1.5f}};
    for (int k = 0; k < 4; ++k)
        for (const Vector3& tip : {low, high}) {
            const Vector3& a = ring[k];
            const Vector3& b = ring[(k + 1) % 4];
            const Vector3 centre = (a + b + tip) / 3.0f;
            const Vector3 out = centre - Vector3(0, 3, 0);
            const uint32_t first = uint32_t(m.vertices.size());
            m.vertices.push_back(At(a, out.Normalized(), 0, 0));
            m.vertices.push_back(At(b, out.Normalized(), 1, 0));
            m.vertices.push_back(At(tip, out.Normalized(), 0.5f, 1));
            Triangle(m, first, first + 1, first + 2, out);
        }
    SingleNode(m);
    return m;
}

ZktTexture GradientTexture(uint32_t top, uint32_t horizon) {
    std::vector<uint32_t> argb(4 * 64);
    for (int y = 0; y < 64; ++y) {
        const float t = float(y) / 63.0f;
        uint32_t c = 0xFF000000u;
        for (int s : {0, 8, 16}) {
            const float a = float((top >> s) & 0xFF), b = float((horizon >> s) & 0xFF);
            c |= uint32_t(std::lround(a + (b - a) * t)) << s;
        }
        for (int x = 0; x < 4; ++x) argb[size_t(y * 4 + x)] = c;
    }
    ZktTexture t = ArgbTexture(4, 64, argb);
    t.mayCompress = 0;
    return t;
}

ZktTexture LightPoolTexture(uint32_t rgb, int size) {
    std::vector<uint32_t> argb(size_t(size) * size_t(size));
    const float half = float(size) * 0.5f;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const float dx = (float(x) + 0.5f - half) / half, dy = (float(y) + 0.5f - half) / half;
            const float r = std::min(std::sqrt(dx * dx + dy * dy), 1.0f);
            const uint32_t alpha = uint32_t(std::lround(255.0f * (1.0f - r) * (1.0f - r)));
            argb[size_t(y * size + x)] = alpha << 24 | (rgb & 0xFFFFFFu);
        }
    ZktTexture t = ArgbTexture(size, size, argb);
    t.mayCompress = 0;
    return t;
}

} // namespace tools
