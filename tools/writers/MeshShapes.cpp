#include "tools/writers/MeshShapes.h"

#include <cmath>

namespace tools {
namespace {

ZkmVertex Vertex(const Vector3& p, const Vector3& n, float u, float v) {
    ZkmVertex out;
    out.position = p;
    out.normal = n;
    out.u = u;
    out.v = v;
    return out;
}

// Appends triangle (a, b, c) wound so that its face points along `outward`.
void AddTriangle(ZkmModel& m, uint32_t a, uint32_t b, uint32_t c, const Vector3& outward) {
    const Vector3& p = m.vertices[a].position;
    const Vector3 face = Vector3::Cross(m.vertices[b].position - p, m.vertices[c].position - p);
    if (Vector3::Dot(face, outward) < 0.0f) std::swap(b, c);
    m.indices.insert(m.indices.end(), {a, b, c});
}

ZkmPart WholePart(const ZkmModel& m, uint32_t firstIndex = 0, uint32_t firstVertex = 0) {
    ZkmPart p;
    p.ranges = {{firstIndex, uint32_t(m.indices.size()) - firstIndex, firstVertex, uint32_t(m.vertices.size()) - firstVertex}};
    return p;
}

// The node's collision mesh: an axis-aligned box.
void CollisionBox(ZkmNode& n, const Vector3& lo, const Vector3& hi) {
    for (int i = 0; i < 8; ++i)
        n.collisionPositions.push_back({(i & 1) ? hi.x : lo.x, (i & 2) ? hi.y : lo.y, (i & 4) ? hi.z : lo.z});
    // Two triangles per side, corner numbers as above.
    n.collisionIndices = {0, 2, 3, 0, 3, 1, 4, 5, 7, 4, 7, 6, 0, 1, 5, 0, 5, 4,
                          2, 6, 7, 2, 7, 3, 0, 4, 6, 0, 6, 2, 1, 3, 7, 1, 7, 5};
}

Matrix4 AboutPivot(const Vector3& pivot, const Matrix4& turn) {
    Matrix4 m = Matrix4::Translation(-pivot.x, -pivot.y, -pivot.z) * turn;
    m.Translate(pivot.x, pivot.y, pivot.z);
    return m;
}

}  // namespace

uint32_t AddBox(ZkmModel& m, const Vector3& c, const Vector3& h) {
    // Per side: the outward normal and two axes with u x v = n.
    static const Vector3 sides[6][3] = {
        {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}},  {{-1, 0, 0}, {0, 0, 1}, {0, 1, 0}}, {{0, 1, 0}, {0, 0, 1}, {1, 0, 0}},
        {{0, -1, 0}, {1, 0, 0}, {0, 0, 1}}, {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}},  {{0, 0, -1}, {0, 1, 0}, {1, 0, 0}}};
    const uint32_t first = uint32_t(m.vertices.size());
    auto scaled = [&](const Vector3& d) { return Vector3(d.x * h.x, d.y * h.y, d.z * h.z); };
    for (const auto& s : sides) {
        const Vector3 n = scaled(s[0]), u = scaled(s[1]), v = scaled(s[2]);
        const uint32_t b = uint32_t(m.vertices.size());
        m.vertices.push_back(Vertex(c + n - u - v, s[0], 0, 1));
        m.vertices.push_back(Vertex(c + n + u - v, s[0], 1, 1));
        m.vertices.push_back(Vertex(c + n + u + v, s[0], 1, 0));
        m.vertices.push_back(Vertex(c + n - u + v, s[0], 0, 0));
        m.indices.insert(m.indices.end(), {b, b + 1, b + 2, b, b + 2, b + 3});
    }
    return first;
}

void AddTexturedMaterial(ZkmModel& m, const std::string& texture) {
    m.textures = {texture};
    ZkmMaterial material;
    material.textures[0] = 0;
    m.materials = {material};
    m.shaders = {ZkmShader()};
}

void SingleNode(ZkmModel& model, const std::string& name) {
    ZkmNode n;
    n.name = name;
    n.parts = {WholePart(model)};
    model.nodes = {n};
}

void ModulateByLight(ZkmModel& m) {
    for (ZkmShader& shader : m.shaders) {
        shader.lighting = 1;
        shader.stages[0].colorOp = 3;  // modulate
        shader.stages[0].colorArg1 = 2;  // texture
        shader.stages[0].colorArg2 = 1;  // diffuse
        shader.stages[0].alphaOp = 1;  // the texture's alpha
        shader.stages[0].alphaArg1 = 2;
    }
}

ZkmModel CrateModel(const std::string& texture, float half) {
    ZkmModel m;
    AddTexturedMaterial(m, texture);
    AddBox(m, {0, 0, 0}, {half, half, half});
    ZkmNode n;
    n.name = "Crate";
    CollisionBox(n, {-half, -half, -half}, {half, half, half});
    n.parts = {WholePart(m)};
    m.nodes = {n};
    m.markers = {{"Top", {0, half, 0}, {0, 1, 0}}, {"Side", {half, 0, 0}, {1, 0, 0}}};
    return m;
}

ZkmModel WheelModel(const std::string& texture, int sides, float radius, float halfWidth) {
    ZkmModel m;
    AddTexturedMaterial(m, texture);
    for (int i = 0; i < sides; ++i) {
        const float a0 = TwoPi * float(i) / float(sides), a1 = TwoPi * float(i + 1) / float(sides);
        const Vector3 d0{0, std::cos(a0), std::sin(a0)}, d1{0, std::cos(a1), std::sin(a1)};
        const Vector3 mid = (d0 + d1).Normalized();
        const uint32_t b = uint32_t(m.vertices.size());
        const float u0 = float(i) / float(sides), u1 = float(i + 1) / float(sides);
        m.vertices.push_back(Vertex(Vector3(-halfWidth, 0, 0) + d0 * radius, d0, u0, 0));
        m.vertices.push_back(Vertex(Vector3(halfWidth, 0, 0) + d0 * radius, d0, u0, 1));
        m.vertices.push_back(Vertex(Vector3(halfWidth, 0, 0) + d1 * radius, d1, u1, 1));
        m.vertices.push_back(Vertex(Vector3(-halfWidth, 0, 0) + d1 * radius, d1, u1, 0));
        AddTriangle(m, b, b + 1, b + 2, mid);
        AddTriangle(m, b, b + 2, b + 3, mid);
    }
    for (float side : {-1.0f, 1.0f}) {
        const Vector3 n{side, 0, 0};
        const uint32_t centre = uint32_t(m.vertices.size());
        m.vertices.push_back(Vertex({side * halfWidth, 0, 0}, n, 0.5f, 0.5f));
        for (int i = 0; i < sides; ++i) {
            const float a = TwoPi * float(i) / float(sides);
            m.vertices.push_back(Vertex({side * halfWidth, radius * std::cos(a), radius * std::sin(a)}, n,
                                        0.5f + 0.5f * std::cos(a), 0.5f + 0.5f * std::sin(a)));
        }
        for (int i = 0; i < sides; ++i)
            AddTriangle(m, centre, centre + 1 + uint32_t(i), centre + 1 + uint32_t((i + 1) % sides), n);
    }
    ZkmNode n;
    n.name = "Wheel";
    n.flags = 0;  // grouped parts
    CollisionBox(n, {-halfWidth, -radius, -radius}, {halfWidth, radius, radius});
    ZkmGroup g;
    g.name = "Rim";
    g.parts = {WholePart(m)};
    n.groups = {g};
    m.nodes = {n};
    return m;
}

namespace {
// Boxes of the figure in bone order: hip, torso, head, left arm, right arm.
const Vector3 kFigureCentres[5] = {{0, 1.0f, 0}, {0, 1.6f, 0}, {0, 2.3f, 0}, {-0.5f, 1.65f, 0}, {0.5f, 1.65f, 0}};
const Vector3 kFigureHalves[5] = {{0.3f, 0.15f, 0.15f}, {0.35f, 0.45f, 0.2f}, {0.2f, 0.2f, 0.2f}, {0.1f, 0.4f, 0.1f},
                                  {0.1f, 0.4f, 0.1f}};
const char* const kFigureBones[5] = {"Hip", "Torso", "Head", "ArmL", "ArmR"};
const Vector3 kRightShoulder{0.5f, 2.05f, 0};
}  // namespace

ZkmModel FigureModel(const std::string& texture) {
    ZkmModel m;
    AddTexturedMaterial(m, texture);
    ZkmBone bones[5];
    for (int b = 0; b < 5; ++b) {
        bones[b].name = kFigureBones[b];
        const uint32_t first = AddBox(m, kFigureCentres[b], kFigureHalves[b]);
        for (uint32_t v = 0; v < 24; ++v) bones[b].vertices.push_back(first + v);
    }
    bones[1].children = {bones[2], bones[3], bones[4]};
    bones[0].children = {bones[1]};
    ZkmNode n;
    n.name = "Figure";
    n.flags = ZkmNode::kDirect | ZkmNode::kBones;
    CollisionBox(n, {-0.6f, 0.85f, -0.2f}, {0.6f, 2.5f, 0.2f});
    n.parts = {WholePart(m)};
    n.bones = {bones[0]};
    m.nodes = {n};
    return m;
}

ZkaAnimation WaveAnimation(int keys, float duration) {
    ZkaAnimation a;
    a.bones.assign(std::begin(kFigureBones), std::end(kFigureBones));
    for (int k = 0; k < keys; ++k) {
        ZkaKey key;
        key.duration = duration;
        key.matrices.assign(5, Matrix4());
        // Up from hanging to raised and back: a half turn at the middle key.
        const float angle = Pi * std::sin(Pi * float(k) / float(keys));
        key.matrices[4] = AboutPivot(kRightShoulder, Matrix4::RotationZ(angle));
        a.keys.push_back(key);
    }
    return a;
}

ZkmModel BallModel(const std::string& texture, float radius, int slices, int stacks) {
    ZkmModel m;
    AddTexturedMaterial(m, texture);
    m.materials[0].textures[1] = 0x10000;  // the environment cube
    ZkmShader& s = m.shaders[0];
    s.stageMask = 3;
    s.stages[1].colorOp = 6;  // add the reflection
    s.stages[1].colorArg1 = 2;
    s.stages[1].colorArg2 = 0;
    for (int j = 0; j <= stacks; ++j) {
        const float theta = Pi * float(j) / float(stacks);
        for (int i = 0; i <= slices; ++i) {
            const float phi = TwoPi * float(i) / float(slices);
            const Vector3 d{std::sin(theta) * std::cos(phi), std::cos(theta), std::sin(theta) * std::sin(phi)};
            m.vertices.push_back(Vertex(d * radius, d, float(i) / float(slices), float(j) / float(stacks)));
        }
    }
    const uint32_t row = uint32_t(slices) + 1;
    for (uint32_t j = 0; j < uint32_t(stacks); ++j)
        for (uint32_t i = 0; i < uint32_t(slices); ++i) {
            const uint32_t a = j * row + i, b = a + 1, c = a + row, d = c + 1;
            const Vector3 out = (m.vertices[a].normal + m.vertices[b].normal + m.vertices[c].normal + m.vertices[d].normal);
            if (j > 0) AddTriangle(m, a, b, d, out);
            if (j + 1 < uint32_t(stacks)) AddTriangle(m, a, d, c, out);
        }
    ZkmNode n;
    n.name = "Ball";
    CollisionBox(n, {-radius, -radius, -radius}, {radius, radius, radius});
    n.parts = {WholePart(m)};
    m.nodes = {n};
    return m;
}

ZkmModel GroundModel(const std::string& texture, int n, float size) {
    ZkmModel m;
    AddTexturedMaterial(m, texture);
    const float step = size / float(n - 1), origin = -0.5f * size;
    m.vertices.reserve(size_t(n) * size_t(n));
    for (int z = 0; z < n; ++z)
        for (int x = 0; x < n; ++x)
            m.vertices.push_back(Vertex({origin + step * float(x), 0, origin + step * float(z)}, {0, 1, 0},
                                        float(x) / float(n - 1), float(z) / float(n - 1)));
    m.indices.reserve(size_t(n - 1) * size_t(n - 1) * 6);
    for (uint32_t z = 0; z + 1 < uint32_t(n); ++z)
        for (uint32_t x = 0; x + 1 < uint32_t(n); ++x) {
            const uint32_t p00 = z * uint32_t(n) + x, p10 = p00 + 1, p01 = p00 + uint32_t(n), p11 = p01 + 1;
            m.indices.insert(m.indices.end(), {p00, p01, p11, p00, p11, p10});
        }
    ZkmNode node;
    node.name = "Ground";
    const float h = 0.5f * size;
    node.collisionPositions = {{-h, 0, -h}, {h, 0, -h}, {-h, 0, h}, {h, 0, h}};
    node.collisionIndices = {0, 2, 3, 0, 3, 1};
    node.parts = {WholePart(m)};
    m.nodes = {node};
    return m;
}

ZkmModel CurrencyModel(const std::string& texture) {
    ZkmModel m = BallModel(texture, 1.0f, 16, 8);
    for (ZkmVertex& v : m.vertices) v.position = Vector3(v.position.x * 5.0f, v.position.y * 5.0f, v.position.z * 1.2f);
    m.materials[0].textures[1] = 0xFFFFFFFFu;  // no reflection
    ZkmShader& s = m.shaders[0];
    s.stageMask = 1;
    s.lighting = 0;
    // In the file's numbering: modulate (3) the texture (2) by the texture factor (4).
    s.stages[0].colorOp = 3;
    s.stages[0].colorArg1 = 2;
    s.stages[0].colorArg2 = 4;
    m.slots = {"Fader"};
    for (ZkmNode& n : m.nodes)
        for (ZkmPart& p : n.parts) p.slot = 0;
    return m;
}

}  // namespace tools
