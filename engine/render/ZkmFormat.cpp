#include "engine/render/ZkmFormat.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>

#include "engine/core/Debugger.h"
#include "engine/core/FileStream.h"

std::atomic<uint8_t> ForceEnvironmentFlag{0};

static_assert(std::endian::native == std::endian::little, "the model reader copies little-endian words as they are");

ShaderVarsPtr NewDefaultShaderVariables() {
    auto vars = std::make_shared<ShaderVariables>();
    vars->textureFactor = 0xFFFFFFFFu;
    return vars;
}

MeshRecord DefaultMeshRecord() {
    MeshRecord record;
    record.nodes.emplace_back();
    return record;
}

namespace zkm {

SharedString TextureFileName(const SharedString& stored) {
    std::string name(stored.View());
    static const std::string kTga = ".TGA.ZKT";
    if (name.size() >= kTga.size() && name.compare(name.size() - kTga.size(), kTga.size(), kTga) == 0)
        name = name.substr(0, name.size() - kTga.size()) + ".ZKT";
    const size_t slash = name.rfind('\\');
    if (slash != std::string::npos) name = name.substr(slash + 1);
    return SharedString(std::string_view(name));
}

namespace {

// Smallest number of bytes each element of a counted section takes in the file.
constexpr uint64_t kStringMin = 4, kMaterialBytes = 44, kShaderBytes = 78, kVertexBytes = 40, kIndexBytes = 4;
constexpr uint64_t kNodeMin = 4 + 12 + 16 + 4 + 16 + 76 + 4 + 4 + 4, kGroupMin = 4 + 12 + 16 + 4;
constexpr uint64_t kGroupPartMin = 20, kDirectPartMin = 17, kRangeBytes = 16, kBoneMin = 12, kMarkerMin = 4 + 24;
constexpr uint32_t kNone = 0xFFFFFFFFu;

ShaderDescription DefaultShader() {
    ShaderDescription d;
    d.lighting = 1;
    d.specular = 0;
    d.zWrite = 1;
    d.zFunc = 4;
    d.zParam = 0;
    d.stencilFail = d.stencilZFail = d.stencilPass = 0;
    d.stencilFunc = 0;
    d.alphaFunc = 0;
    d.blend = 0;
    d.srcBlend = 6;
    d.dstBlend = 7;
    d.stageMask = 1;
    for (uint32_t s = 0; s < 8; ++s) {
        ShaderStageDescription& t = d.stages[s];
        t.colorOp = t.alphaOp = s == 0 ? 1 : 3;
        t.colorArg1 = t.alphaArg1 = 2;
        t.colorArg2 = t.alphaArg2 = s == 0 ? 1 : 0;
        t.resultArg = 0;
        t.texCoord = s;
        t.useTextureMatrix = 0;
    }
    return d;
}

uint32_t Signed(uint8_t b) { return uint32_t(int32_t(int8_t(b))); }

void DecodeShader(const uint8_t* b, ShaderDescription& d) {
    d.lighting = b[0] != 0;
    d.specular = b[1] != 0;
    d.zWrite = b[2] != 0;
    d.zFunc = int32_t(Signed(b[3]));
    d.zParam = b[4];
    d.stencilFail = Signed(b[5]);
    d.stencilZFail = Signed(b[6]);
    d.stencilPass = Signed(b[7]);
    d.stencilFunc = int32_t(Signed(b[8]));
    d.alphaFunc = int32_t(Signed(b[9]));
    d.blend = b[10] != 0;
    d.srcBlend = Signed(b[11]);
    d.dstBlend = Signed(b[12]);
    d.stageMask = b[13];
    for (int s = 0; s < 8; ++s) {
        const uint8_t* p = b + 14 + 8 * s;
        ShaderStageDescription& t = d.stages[s];
        t.colorOp = Signed(p[0]);
        t.colorArg1 = Signed(p[1]);
        t.colorArg2 = Signed(p[2]);
        t.alphaOp = Signed(p[3]);
        t.alphaArg1 = Signed(p[4]);
        t.alphaArg2 = Signed(p[5]);
        t.texCoord = Signed(p[6]);
        t.useTextureMatrix = p[7] != 0;
    }
}

Color ColorRGBA(const uint8_t* b) { return Color::FromBytes(b[0], b[1], b[2], b[3]); }

class Reader {
public:
    Reader(FileReader& in, MeshRecord& record, TextureSource& textures)
        : in_(in), record_(record), textures_(textures) {}

    bool Body() {
        return Textures() && Materials() && Shaders() && Slots() && Vertices() && Indices() && Nodes() && Markers();
    }
    bool RebuildNormals() const { return rebuildNormals_; }
    const SharedString& Reason() const { return reason_; }

private:
    bool Fail(const SharedString& reason) {
        if (ok_) reason_ = reason;
        ok_ = false;
        return false;
    }
    // Reads a count whose elements take at least `minBytes` each; false when they cannot fit.
    bool Count(uint32_t& n, uint64_t minBytes, const char* what) {
        if (!ok_) return false;
        if (in_.Remaining() < 4) return Fail(SharedString::Format("the %s count is cut off", what));
        n = in_.ReadU32();
        if (uint64_t(n) * minBytes > uint64_t(in_.Remaining()))
            return Fail(SharedString::Format("%u %s do not fit in the %d bytes left", n, what, in_.Remaining()));
        return true;
    }
    bool Bytes(void* out, uint64_t n, const char* what) {
        if (!ok_) return false;
        if (n > uint64_t(in_.Remaining())) return Fail(SharedString::Format("the %s are cut short", what));
        in_.Read(out, int32_t(n));
        return true;
    }
    bool String(SharedString& out, const char* what) {
        if (!ok_) return false;
        if (in_.Remaining() < 4) return Fail(SharedString::Format("a %s is cut short", what));
        out = in_.ReadString();
        if (in_.Failed()) return Fail(SharedString::Format("a %s is longer than the file", what));
        return true;
    }
    template <class T>
    bool Value(T& out, const char* what) {
        return Bytes(&out, sizeof out, what);
    }

    bool Textures() {
        uint32_t n = 0;
        if (!Count(n, kStringMin, "textures")) return false;
        names_.assign(n, SharedString(""));
        handles_.assign(n, nullptr);
        for (uint32_t i = 0; i < n; ++i) {
            SharedString stored;
            if (!String(stored, "texture name")) return false;
            names_[i] = TextureFileName(stored);
            handles_[i] = textures_.Load(names_[i], record_.share != 0);
        }
        return true;
    }

    bool Materials() {
        uint32_t n = 0;
        if (!Count(n, kMaterialBytes, "materials")) return false;
        MaterialDescription fresh;
        fresh.ambient = fresh.emissive = Color::FromBytes(0, 0, 0, 0);
        fresh.power = 0.0f;
        fresh.diffuseAlpha = 1;
        fresh.specularColor = Color::FromBytes(1, 1, 1, 1);
        record_.materials.assign(n, fresh);
        record_.textureNames.assign(n, SharedString(""));
        const bool forceEnvironment = ForceEnvironmentFlag.load() != 0;
        for (uint32_t i = 0; i < n; ++i) {
            uint8_t b[kMaterialBytes];
            if (!Bytes(b, sizeof b, "materials")) return false;
            MaterialDescription& m = record_.materials[i];
            m.ambient = ColorRGBA(b);
            memcpy(&m.power, b + 4, 4);
            m.emissive = ColorRGBA(b + 8);
            for (uint32_t stage = 0; stage < 6; ++stage) {
                uint32_t ref;
                memcpy(&ref, b + 12 + 4 * stage, 4);
                if (ref == kNone) continue;
                if (stage == 1 && forceEnvironment) ref |= 0x10000u;
                TextureHandle* cube = (ref & 0x10000u) ? textures_.EnvironmentCube() : nullptr;
                if (cube) {
                    m.textures[stage] = cube;
                    continue;
                }
                const uint32_t index = ref & 0xFFFFu;
                if (index >= handles_.size())
                    return Fail(SharedString::Format("material %u shows texture %u of %zu", i, index, handles_.size()));
                m.textures[stage] = handles_[index];
                if (stage == 0) record_.textureNames[i] = names_[index];
            }
            m.diffuseAlpha = b[36];
            m.specularColor = Color::FromBytes(b[41], b[42], b[43], b[40]);
        }
        return true;
    }

    bool Shaders() {
        uint32_t n = 0;
        if (!Count(n, kShaderBytes, "shader descriptions")) return false;
        record_.shaders.assign(n, DefaultShader());
        for (uint32_t i = 0; i < n; ++i) {
            uint8_t b[kShaderBytes];
            if (!Bytes(b, sizeof b, "shader descriptions")) return false;
            DecodeShader(b, record_.shaders[i]);
        }
        return true;
    }

    bool Slots() {
        uint32_t n = 0;
        if (!Count(n, kStringMin, "shader-variable slots")) return false;
        record_.slots.resize(n);
        for (ShaderVarsSlot& slot : record_.slots) {
            SharedString name;
            if (!String(name, "slot name")) return false;
            slot.name = name.TrimRight();
            slot.vars = NewDefaultShaderVariables();
        }
        return true;
    }

    bool Vertices() {
        uint32_t n = 0;
        if (!Count(n, kVertexBytes, "vertices")) return false;
        // Records come in a few thousand at a time (few large reads), and each vertex is
        // written once: position and normal as they lie, then u and v past the two skipped
        // words.
        static_assert(offsetof(MeshVertex, normal) == 12 && offsetof(MeshVertex, u) == 24 && offsetof(MeshVertex, v) == 28);
        record_.vertices.resize(n);
        constexpr uint32_t kChunk = 8192;
        const std::unique_ptr<uint8_t[]> chunk(new uint8_t[size_t(std::min(n, kChunk)) * kVertexBytes]);
        auto* out = reinterpret_cast<uint8_t*>(record_.vertices.data());
        for (uint32_t first = 0; first < n; first += kChunk) {
            const uint32_t count = std::min(kChunk, n - first);
            if (!Bytes(chunk.get(), uint64_t(count) * kVertexBytes, "vertices")) return false;
            const uint8_t* b = chunk.get();
            for (uint32_t k = 0; k < count; ++k, b += kVertexBytes, out += sizeof(MeshVertex)) {
                memcpy(out, b, 24);
                memcpy(out + 24, b + 32, 8);
            }
        }
        return true;
    }

    bool Indices() {
        uint32_t n = 0;
        if (!Count(n, kIndexBytes, "indices")) return false;
        record_.indices.resize(n);
        if (!Bytes(record_.indices.data(), uint64_t(n) * 4, "indices")) return false;
        const uint32_t vertices = uint32_t(record_.vertices.size());
        const uint32_t* idx = record_.indices.data();
        uint32_t bad = 0;
        for (uint32_t k = 0; k < n; ++k) bad |= uint32_t(idx[k] >= vertices);
        if (bad) {
            for (uint32_t k = 0; k < n; ++k)
                if (idx[k] >= vertices)
                    return Fail(SharedString::Format("index %u names vertex %u of %u", k, idx[k], vertices));
        }
        return true;
    }

    bool Range(DrawRange& r) {
        if (!Value(r, "draw ranges")) return false;
        if (uint64_t(r.startIndex) + r.indexCount > record_.indices.size())
            return Fail(SharedString::Format("a range draws indices %u+%u of %zu", r.startIndex, r.indexCount,
                                             record_.indices.size()));
        if (uint64_t(r.firstVertex) + r.vertexCount > record_.vertices.size())
            return Fail(SharedString::Format("a range uses vertices %u+%u of %zu", r.firstVertex, r.vertexCount,
                                             record_.vertices.size()));
        return true;
    }

    bool Part(MeshPart& part, bool direct) {
        uint32_t material = 0, shader = 0, slot = 0;
        if (!Value(material, "parts") || !Value(shader, "parts") || !Value(slot, "parts")) return false;
        if (direct) {
            uint8_t p = 0;
            if (!Value(p, "parts")) return false;
            part.parameter = int32_t(int8_t(p));
        } else {
            uint32_t p = 0;
            if (!Value(p, "parts")) return false;
            part.parameter = int32_t(p);
            part.materialIndex = material;
        }
        if (material >= record_.materials.size())
            return Fail(SharedString::Format("a part uses material %u of %zu", material, record_.materials.size()));
        if (shader >= record_.shaders.size())
            return Fail(SharedString::Format("a part uses shader %u of %zu", shader, record_.shaders.size()));
        if (slot != kNone && slot >= record_.slots.size())
            return Fail(SharedString::Format("a part uses slot %u of %zu", slot, record_.slots.size()));
        part.material = material;
        part.shader = shader;
        if (slot != kNone) part.shaderVars = record_.slots[slot].vars;
        uint32_t ranges = 0;
        if (!Count(ranges, kRangeBytes, "draw ranges")) return false;
        part.ranges.resize(ranges);
        for (DrawRange& r : part.ranges)
            if (!Range(r)) return false;
        return true;
    }

    bool Bone(BoneTree& bone, int depth) {
        if (depth > kMaxBoneDepth) return Fail(SharedString::Format("bones nest deeper than %d", kMaxBoneDepth));
        bone = std::make_shared<BoneNode>();
        uint32_t n = 0, children = 0;
        if (!String(bone->name, "bone name") || !Count(n, 4, "bone vertices")) return false;
        bone->vertices.resize(n);
        if (!Bytes(bone->vertices.data(), uint64_t(n) * 4, "bone vertices")) return false;
        for (uint32_t v : bone->vertices)
            if (v >= record_.vertices.size())
                return Fail(SharedString::Format("a bone moves vertex %u of %zu", v, record_.vertices.size()));
        if (!Count(children, kBoneMin, "child bones")) return false;
        bone->children.resize(children);
        for (BoneTree& child : bone->children)
            if (!Bone(child, depth + 1)) return false;
        return true;
    }

    // Moves the vertices a grouped part draws into the group's place.
    void PlaceGroup(const Matrix4& m, const MeshPart& part) {
        for (const DrawRange& r : part.ranges) {
            for (uint32_t v = r.firstVertex; v < r.firstVertex + r.vertexCount; ++v) {
                MeshVertex& vertex = record_.vertices[v];
                vertex.position = m.TransformCoord(vertex.position);
                vertex.normal = m.TransformNormal(vertex.normal);
            }
        }
    }

    bool Node(MeshNode& node) {
        if (!String(node.name, "node name")) return false;
        float head[3 + 4];
        if (!Value(head, "nodes") || !Value(node.flags, "nodes") || !Value(node.values, "nodes") ||
            !Value(node.transform.matrix.m, "nodes") || !Value(node.transform.extra, "nodes"))
            return false;
        node.position = {head[0], head[1], head[2]};
        node.rotation = {head[3], head[4], head[5], head[6]};
        uint32_t points = 0, indices = 0;
        if (!Count(points, 12, "collision points")) return false;
        node.collisionPositions.resize(points);
        if (!Bytes(node.collisionPositions.data(), uint64_t(points) * 12, "collision points")) return false;
        if (!Count(indices, 4, "collision indices")) return false;
        node.collisionIndices.resize(indices);
        if (!Bytes(node.collisionIndices.data(), uint64_t(indices) * 4, "collision indices")) return false;
        for (uint32_t i : node.collisionIndices)
            if (i >= points) return Fail(SharedString::Format("a collision index names point %u of %u", i, points));
        if (indices == 0) {
            // No collision mesh of its own: the whole model stands in, and its normals and
            // lighting are rebuilt once every node is read.
            node.collisionIndices = record_.indices;
            node.collisionPositions.resize(record_.vertices.size());
            for (size_t v = 0; v < record_.vertices.size(); ++v) node.collisionPositions[v] = record_.vertices[v].position;
            for (MaterialDescription& m : record_.materials)
                m.emissive = Color::FromBytes(m.ambient.r / 3, m.ambient.g / 3, m.ambient.b / 3, m.ambient.a / 3);
            rebuildNormals_ = true;
        }
        if (!(node.flags & MeshNode::kDirectParts)) {
            uint32_t groups = 0;
            if (!Count(groups, kGroupMin, "groups")) return false;
            for (uint32_t g = 0; g < groups; ++g) {
                SharedString dropped;
                float place[3 + 4];
                uint32_t parts = 0;
                if (!String(dropped, "group name") || !Value(place, "groups") || !Count(parts, kGroupPartMin, "parts"))
                    return false;
                Matrix4 m = Quaternion(place[3], place[4], place[5], place[6]).ToMatrix();
                m.Translate(place[0], place[1], place[2]);
                for (uint32_t p = 0; p < parts; ++p) {
                    node.parts.emplace_back();
                    if (!Part(node.parts.back(), false)) return false;
                    PlaceGroup(m, node.parts.back());
                }
            }
        } else {
            uint32_t parts = 0;
            if (!Count(parts, kDirectPartMin, "parts")) return false;
            node.parts.resize(parts);
            for (MeshPart& part : node.parts)
                if (!Part(part, true)) return false;
        }
        if (node.flags & MeshNode::kHasBones) {
            uint32_t bones = 0;
            if (!Count(bones, kBoneMin, "bones")) return false;
            node.boneTrees.resize(bones);
            for (BoneTree& bone : node.boneTrees)
                if (!Bone(bone, 1)) return false;
        }
        return true;
    }

    bool Nodes() {
        uint32_t n = 0;
        if (!Count(n, kNodeMin, "nodes")) return false;
        record_.nodes.resize(n);
        for (MeshNode& node : record_.nodes)
            if (!Node(node)) return false;
        // Every mesh reads its first node.
        if (record_.nodes.empty()) record_.nodes.emplace_back();
        return true;
    }

    bool Markers() {
        if (in_.Position() >= in_.Length()) return true;
        uint32_t n = 0;
        if (!Count(n, kMarkerMin, "markers")) return false;
        record_.markers.resize(n);
        for (MeshMarker& marker : record_.markers) {
            float points[6];
            if (!String(marker.name, "marker name") || !Value(points, "markers")) return false;
            marker.first = {points[0], points[1], points[2]};
            marker.second = {points[3], points[4], points[5]};
        }
        return true;
    }

    FileReader& in_;
    MeshRecord& record_;
    TextureSource& textures_;
    std::vector<SharedString> names_;
    std::vector<TextureHandle*> handles_;
    bool ok_ = true;
    bool rebuildNormals_ = false;
    SharedString reason_;
};

bool Finite(const Vector3& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

// Each vertex, in order, pulls every later vertex within 0.01 on each axis onto its own
// position. A grid of cells twice the tolerance finds the candidates: a pulled vertex moves
// to the puller's cell, so later comparisons see positions as they are by then.
void Weld(TrackedVector<MeshVertex>& vertices) {
    constexpr float kTolerance = 0.01f;
    constexpr double kCell = 0.02;
    auto cellOf = [](float x) {
        const double c = std::floor(double(x) / kCell);
        return int64_t(std::clamp(c, -1.0e15, 1.0e15));
    };
    auto key = [](int64_t x, int64_t y, int64_t z) {
        return uint64_t(x) * 0x9E3779B97F4A7C15ull ^ uint64_t(y) * 0xC2B2AE3D27D4EB4Full ^ uint64_t(z) * 0x165667B19E3779F9ull;
    };
    struct Cell {
        int64_t x, y, z;
        std::vector<uint32_t> members;
    };
    std::unordered_map<uint64_t, std::vector<Cell>> grid;
    auto cell = [&](int64_t x, int64_t y, int64_t z, bool create) -> Cell* {
        auto& bucket = grid[key(x, y, z)];
        for (Cell& c : bucket)
            if (c.x == x && c.y == y && c.z == z) return &c;
        if (!create) return nullptr;
        bucket.push_back({x, y, z, {}});
        return &bucket.back();
    };
    for (uint32_t v = 0; v < vertices.size(); ++v) {
        const Vector3& p = vertices[v].position;
        if (Finite(p)) cell(cellOf(p.x), cellOf(p.y), cellOf(p.z), true)->members.push_back(v);
    }
    std::vector<uint32_t> pulled;
    for (uint32_t i = 0; i < vertices.size(); ++i) {
        const Vector3 p = vertices[i].position;
        if (!Finite(p)) continue;
        const int64_t cx = cellOf(p.x), cy = cellOf(p.y), cz = cellOf(p.z);
        pulled.clear();
        for (int64_t dx = -1; dx <= 1; ++dx)
            for (int64_t dy = -1; dy <= 1; ++dy)
                for (int64_t dz = -1; dz <= 1; ++dz) {
                    Cell* c = cell(cx + dx, cy + dy, cz + dz, false);
                    if (!c) continue;
                    auto& m = c->members;
                    for (size_t k = 0; k < m.size();) {
                        const uint32_t j = m[k];
                        const Vector3& q = vertices[j].position;
                        if (j > i && std::fabs(q.x - p.x) <= kTolerance && std::fabs(q.y - p.y) <= kTolerance &&
                            std::fabs(q.z - p.z) <= kTolerance) {
                            vertices[j].position = p;
                            pulled.push_back(j);
                            m[k] = m.back();
                            m.pop_back();
                        } else {
                            ++k;
                        }
                    }
                }
        if (!pulled.empty()) {
            auto& home = cell(cx, cy, cz, true)->members;
            home.insert(home.end(), pulled.begin(), pulled.end());
        }
    }
}

// Area-weighted normals: every triangle's face vector goes to each vertex whose position
// equals one of its corners; then each normal is made unit length (one no triangle touches
// stays zero).
void RebuildNormals(MeshRecord& record) {
    TrackedVector<MeshVertex>& vertices = record.vertices;
    // Vertices grouped by exact position (-0 and +0 are one position; a position with a NaN
    // equals nothing, not even itself).
    auto bits = [](float f) {
        uint32_t u;
        f = f == 0.0f ? 0.0f : f;
        memcpy(&u, &f, 4);
        return u;
    };
    struct PositionHash {
        size_t operator()(const std::array<uint32_t, 3>& k) const {
            return size_t(k[0]) * 73856093u ^ size_t(k[1]) * 19349663u ^ size_t(k[2]) * 83492791u;
        }
    };
    constexpr uint32_t kNoGroup = 0xFFFFFFFFu;
    std::unordered_map<std::array<uint32_t, 3>, uint32_t, PositionHash> groups;
    std::vector<uint32_t> groupOf(vertices.size(), kNoGroup);
    for (size_t v = 0; v < vertices.size(); ++v) {
        const Vector3& p = vertices[v].position;
        if (std::isnan(p.x) || std::isnan(p.y) || std::isnan(p.z)) continue;
        groupOf[v] = groups.emplace(std::array<uint32_t, 3>{bits(p.x), bits(p.y), bits(p.z)}, uint32_t(groups.size()))
                         .first->second;
    }
    std::vector<Vector3> sums(groups.size());
    const TrackedVector<uint32_t>& idx = record.indices;
    for (size_t t = 0; t + 2 < idx.size(); t += 3) {
        const Vector3& p0 = vertices[idx[t]].position;
        const Vector3 face = Vector3::Cross(vertices[idx[t + 1]].position - p0, vertices[idx[t + 2]].position - p0);
        for (size_t c = 0; c < 3; ++c)
            if (groupOf[idx[t + c]] != kNoGroup) sums[groupOf[idx[t + c]]] += face;
    }
    for (size_t v = 0; v < vertices.size(); ++v) {
        Vector3 n = groupOf[v] != kNoGroup ? sums[groupOf[v]] : Vector3();
        const float length = n.Length();
        vertices[v].normal = length > 0.0f ? n * (1.0f / length) : Vector3();
    }
    for (MaterialDescription& m : record.materials) {
        m.specularColor = Color::FromBytes(128, 128, 128, 0);
        m.power = 160.0f;
    }
}

}  // namespace

bool ReadMesh(MeshRecord& record, TextureSource& textures) {
    Debugger& log = Debugger::Instance();
    FileReader in(record.name);
    uint32_t version = 0;
    if (in.CheckZK2Header(version) != 0) {
        log.Message("%s is NOT a ZKM file", record.name.c_str());
        return false;
    }
    if (version != kVersion) {
        log.Message("%s is obsolete! Only 5th generation ZKM files are supported.", record.name.c_str());
        return false;
    }
    Reader reader(in, record, textures);
    if (!reader.Body()) {
        log.Message("%s is damaged (%s)", record.name.c_str(), reader.Reason().c_str());
        return false;
    }
    if (reader.RebuildNormals()) {
        Weld(record.vertices);
        RebuildNormals(record);
    }
    return true;
}

}  // namespace zkm
