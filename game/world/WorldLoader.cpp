// The six loading steps of the world file.
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/core/Debugger.h"
#include "engine/core/FileStream.h"
#include "engine/render/RenderFacility.h"
#include "engine/render/TextureFactory.h"
#include "engine/render/TextureTypes.h"
#include "game/world/ShaderCodes.h"
#include "game/world/ShardEffect.h"
#include "game/world/World.h"
#include "game/world/WorldFileReader.h"

using world_detail::WorldFileReader;
namespace sc = world_detail::shader;

// -------------------------------------------------------------------------------------------------
// The checked reader

namespace world_detail {

namespace {
// A failure stops the world's load: a message the user always sees. Warnings skip a record.
void LogRecordLine(bool failure, const char* section, int64_t record, const char* what) {
    char line[512];
    if (record >= 0)
        std::snprintf(line, sizeof(line), "WORLD: %s record %lld: %s", section, static_cast<long long>(record), what);
    else
        std::snprintf(line, sizeof(line), "WORLD: %s: %s", section, what);
    if (failure) Debugger::Instance().Message("%s", line);
    else Debugger::Instance().Log(2, "%s", line);
}
} // namespace

void WorldFileReader::Fail(const char* what) {
    if (failed_) return;
    failed_ = true;
    LogRecordLine(true, section_, record_, what);
}

void WorldFileReader::Warn(const char* what) { LogRecordLine(false, section_, record_, what); }

SharedString WorldFileReader::String() {
    const uint32_t length = U32();
    if (failed_) return {};
    if (length > MaxString || length > Remaining()) {
        Fail("string length beyond the file or 4096 bytes");
        return {};
    }
    pos_ += length;
    return SharedString(reinterpret_cast<const char*>(bytes_.data() + pos_ - length), int32_t(length));
}

uint32_t WorldFileReader::Count(size_t minBytes) {
    const uint32_t count = U32();
    if (failed_) return 0;
    if (minBytes && uint64_t(count) * minBytes > Remaining()) {
        char line[96];
        std::snprintf(line, sizeof(line), "count %u does not fit the %zu bytes left", count, Remaining());
        Fail(line);
        return 0;
    }
    return count;
}

} // namespace world_detail

// -------------------------------------------------------------------------------------------------
// Helpers

namespace {

bool Finite(const Vector3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

Color RgbaColour(WorldFileReader& in) {
    uint8_t c[4];
    in.Bytes(c, 4);
    return Color::FromBytes(c[0], c[1], c[2], c[3]);
}

// The defaults of every static and object material before its flags apply.
ShaderDescription BaseDescription() {
    ShaderDescription d;
    d.lighting = 1;
    d.specular = 0;
    d.zWrite = 1;
    d.zFunc = sc::LessEqual;
    d.blend = 0;
    d.srcBlend = sc::SrcAlpha;
    d.dstBlend = sc::InvSrcAlpha;
    d.stageMask = 1;
    d.stages[0].colorOp = d.stages[0].alphaOp = sc::SelectArg1;
    d.stages[0].colorArg1 = d.stages[0].alphaArg1 = sc::Texture;
    d.stages[0].colorArg2 = d.stages[0].alphaArg2 = sc::Diffuse;
    for (uint32_t i = 1; i < 8; ++i) {
        d.stages[i].colorOp = d.stages[i].alphaOp = sc::Modulate;
        d.stages[i].colorArg1 = d.stages[i].alphaArg1 = sc::Texture;
        d.stages[i].colorArg2 = d.stages[i].alphaArg2 = sc::Current;
        d.stages[i].texCoord = i;
    }
    return d;
}

void ApplyTextures(ShaderDescription& d, bool base, bool second) {
    d.stages[0].colorOp = d.stages[0].alphaOp = base ? sc::Modulate : sc::SelectArg2;
    if (second) {
        d.zParam = 3;
        d.stageMask = 3;
        d.stages[1].colorOp = sc::Add;
        d.stages[1].colorArg1 = sc::Texture;
        d.stages[1].colorArg2 = sc::Current;
        d.stages[1].alphaOp = sc::SelectArg2;
        d.stages[1].alphaArg2 = sc::Current;
        d.stages[1].texCoord = sc::CameraSpaceNormal1;
    } else {
        d.zParam = 1;
    }
}

} // namespace

// -------------------------------------------------------------------------------------------------
// Shared steps

bool World::Fail() {
    loadFailed_ = true;
    if (reader_) bytesRead_ = reader_->Position();
    reader_.reset();
    return true;
}

bool World::Begin() { return !loadFailed_ && reader_ != nullptr; }

WorldObject* World::ObjectAt(uint32_t index, const char* what, uint32_t record) {
    if (index < uint32_t(objects->ObjectCount()) && objects->Object(int32_t(index)).kind)
        return &objects->Object(int32_t(index));
    char line[128];
    std::snprintf(line, sizeof(line), "%s %u: placed object %u does not exist; skipped", what, record, index);
    reader_->Warn(line);
    return nullptr;
}

void World::NoFactory(const char* kind, size_t count) {
    if (std::find(unclaimedLogged_.begin(), unclaimedLogged_.end(), kind) != unclaimedLogged_.end()) return;
    unclaimedLogged_.push_back(kind);
    Debugger::Instance().Log(2, "WORLD: No factory for %s records; %zu kept", kind, count);
}

namespace {
// Lets no contact of the probe ray through and keeps the one on the surface that faces most
// nearly up (of equally flat ones the nearest: a ray's depth grows as its hit comes nearer).
class GroundRecorder final : public CollisionListener {
public:
    GroundRecorder() : CollisionListener(AskFilterContact) {}
    bool FilterContact(PhysicsGeom*, PhysicsGeom* other, Vector3* position, Vector3* normal, float* depth) override {
        if (!probe.hit || normal->y > probe.normal.y || (normal->y == probe.normal.y && *depth > depth_)) {
            probe.hit = true;
            probe.geom = other;
            probe.normal = *normal;
            probe.point = *position + *normal * 1.6f;
            depth_ = *depth;
        }
        return false;
    }
    GroundProbe probe;

private:
    float depth_ = 0.0f;
};
} // namespace

GroundProbe World::ProbeGround(const Vector3& start) {
    GroundRecorder recorder;
    if (!Finite(start) || !boundary) return recorder.probe;
    // Every triangle the ray crosses within 100 units below the start, front or back.
    RayGeom ray(100.0f);
    ray.SetCategoryBits(8);
    ray.SetCollideBits(1);
    ray.listeners.push_back(&recorder);
    ray.Set(start, Vector3(0.0f, -1.0f, 0.0f));
    physics.TestPair(&ray, boundary.get());
    return recorder.probe;
}

void World::ReadGraph(RoadGraph& graph, bool hasFloat, bool hasClass, bool hasSpare, const char* section) {
    WorldFileReader& in = *reader_;
    in.Section(section);
    const size_t nodeBytes = 12 + (hasFloat ? 4 : 0) + (hasClass ? 1 : 0) + 4;
    const uint32_t count = in.Count(nodeBytes);
    graph.Clear();
    graph.Resize(int32_t(count));
    uint32_t badLinks = 0;
    for (uint32_t i = 0; i < count && !in.Failed(); ++i) {
        in.Record(i);
        RoadNode& node = graph.nodes[i];
        node.position = in.Vec3();
        if (hasFloat) node.speedFactor = in.F32();
        if (hasClass && (in.U8() & 1)) node.occupancy |= RoadNode::Restricted;
        const uint32_t links = in.Count(4);
        node.links.reserve(links);
        for (uint32_t k = 0; k < links; ++k) {
            const uint32_t target = in.U32();
            if (target < count) node.links.push_back(&graph.nodes[target]);
            else ++badLinks;
        }
    }
    if (badLinks) {
        in.Record(-1);
        char line[96];
        std::snprintf(line, sizeof(line), "%u links to missing nodes skipped", badLinks);
        in.Warn(line);
    }
    if (hasSpare) graph.spareWord = in.U32();
    if (in.Failed()) graph.Clear();
    graph.BuildStrides();
}

// -------------------------------------------------------------------------------------------------
// Step 1: the file and its header

bool World::LoadHeader() {
    if (loadFailed_) return true;
    if (factories.sky)
        for (int i = 0; i < 4; ++i) skyFeatures[size_t(i)] = factories.sky(*this, skies[size_t(i)]);
    else
        NoFactory("sky", 4);
    records.skies.assign(skies.begin(), skies.end());
    // The shared buffer that shattered objects write their shards into.
    if (renderer_) {
        ShardEffect::SetRenderer(renderer_);
        ownsShardBuffer_ = true;
    }

    const SharedString path("Maps\\World.VQW");
    FileReader file(path);
    const int32_t length = file.IsOpen() ? file.Length() : -1;
    if (length < 10) {
        Debugger::Instance().Message("Failed loading world");
        return Fail();
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(length));
    file.Read(bytes.data(), length);
    fileSize_ = bytes.size();
    if (bytes[0] != 'V' || bytes[1] != 'Q' || bytes[2] != ' ') {
        Debugger::Instance().Message("World is NOT a VQW file");
        return Fail();
    }
    reader_ = std::make_unique<WorldFileReader>(std::move(bytes));
    reader_->Skip(3);
    const uint32_t version = reader_->U32();
    if (version == 15) Debugger::Instance().Message("Warning: World is obsolete. Version %d is required", 7);
    else if (version != 7) Debugger::Instance().Message("Warning: World is not a valid VQW file");
    return true;
}

// -------------------------------------------------------------------------------------------------
// Step 2: the texture table, one texture a call, then the shadow texture

bool World::LoadShadowTexture() {
    if (!Begin()) return true;
    WorldFileReader& in = *reader_;
    in.Section("texture table");
    if (!textureCountRead_) {
        const uint32_t count = in.Count(4);
        if (in.Failed()) return Fail();
        textures.clear();
        textures.resize(count);
        texturesLoaded = 0;
        textureCountRead_ = true;
        return false;
    }
    if (size_t(texturesLoaded) < textures.size()) {
        in.Record(texturesLoaded);
        const SharedString name = in.String();
        if (in.Failed()) return Fail();
        textures[size_t(texturesLoaded)].reset(TextureFactory::Instance().GetByName(name, true));
        ++texturesLoaded;
        return false;
    }
    TextureHandle* shadow = TextureFactory::Instance().GetByName(SharedString("Shadow.ZKT"), true);
    textures.emplace_back(shadow); // kept with the table so it lives as long as the World
    staticGeometry->shadowTexture = shadow;
    return true;
}

// -------------------------------------------------------------------------------------------------
// Step 3: static materials, render geometry, draw groups, surfaces, collision, the world box

bool World::LoadStaticGeometry() {
    if (!Begin()) return true;
    WorldFileReader& in = *reader_;
    StaticGeometryRenderer& sg = *staticGeometry;
    const int32_t textureCount = texturesLoaded;
    auto texture = [&](int32_t index) -> TextureHandle* {
        return index >= 0 && index < textureCount ? textures[size_t(index)].get() : nullptr;
    };

    in.Section("static materials");
    const uint32_t materialCount = in.Count(32);
    sg.materials.assign(materialCount, {});
    sg.descriptions.assign(materialCount, BaseDescription());
    for (uint32_t i = 0; i < materialCount && !in.Failed(); ++i) {
        in.Record(i);
        StaticMaterial& m = sg.materials[i];
        m.colourA = RgbaColour(in);
        m.value = in.F32();
        m.colourB = RgbaColour(in);
        m.colourC = RgbaColour(in);
        m.colourD = RgbaColour(in);
        m.textureIndex = in.I32();
        m.secondTextureIndex = in.I32();
        m.flags = in.U32();
        if (in.Failed()) break;
        if (m.textureIndex < -1 || m.textureIndex >= textureCount || m.secondTextureIndex < -1 ||
            m.secondTextureIndex >= textureCount) {
            in.Fail("texture index outside the texture table");
            break;
        }
        ShaderDescription& d = sg.descriptions[i];
        if (m.flags & 0x02 && !(m.flags & 0x10)) {
            d.blend = 1;
            d.srcBlend = sc::SrcAlpha;
            d.dstBlend = sc::InvSrcAlpha;
            d.zWrite = 0;
        }
        d.lighting = (m.flags & 0x08) ? 0 : 1;
        if (m.flags & 0x10) d.alphaFunc = sc::Greater;
        if (m.flags & 0x20) {
            d.blend = 1;
            d.srcBlend = sc::SrcAlpha;
            d.dstBlend = sc::One;
            d.zWrite = 0;
        }
        m.texture = texture(m.textureIndex);
        m.secondTexture = texture(m.secondTextureIndex);
        ApplyTextures(d, m.textureIndex != -1, m.secondTextureIndex != -1);
    }
    if (in.Failed()) return Fail();
    sg.RecreateShaders();

    in.Section("render vertices");
    const uint32_t vertexCount = in.Count(36);
    sg.vertices.resize(vertexCount);
    in.Bytes(sg.vertices.data(), size_t(vertexCount) * 32);
    sg.vertexColours.assign(vertexCount, 0);
    in.Skip(size_t(vertexCount) * 4);

    in.Section("render triangles");
    const uint32_t indexCount = in.Count(4);
    const uint32_t triangleCount = indexCount / 3;
    if (uint64_t(triangleCount) * 12 > in.Remaining()) in.Fail("triangles beyond the end of the file");
    if (in.Failed()) return Fail();
    sg.triangles.resize(triangleCount);
    in.Bytes(sg.triangles.data(), size_t(triangleCount) * 12);
    for (uint32_t t = 0; t < triangleCount; ++t)
        for (uint32_t c = 0; c < 3; ++c)
            if (sg.triangles[t].v[c] >= vertexCount) {
                in.Record(t);
                in.Fail("vertex index outside the render vertices");
                return Fail();
            }
    staticTriangles += triangleCount;

    in.Section("draw groups");
    const uint32_t groupCount = in.Count(36);
    sg.groups.resize(groupCount);
    sg.batches.clear();
    const uint64_t streamLength = uint64_t(triangleCount) * 3;
    for (uint32_t g = 0; g < groupCount && !in.Failed(); ++g) {
        in.Record(g);
        StaticDrawGroup& group = sg.groups[g];
        in.Skip(16);
        group.owner = &sg;
        group.firstIndex = in.U32();
        group.indexCount = in.U32();
        const uint32_t material = in.U32();
        group.reserved = in.U32();
        group.groupFlags = uint8_t(in.U32());
        if (in.Failed()) break;
        if (material >= materialCount) {
            in.Fail("material index outside the static materials");
            break;
        }
        if (uint64_t(group.firstIndex) + group.indexCount > streamLength) {
            in.Fail("index range outside the triangle stream");
            break;
        }
        Vector3 lo(1e8f, 1e8f, 1e8f), hi(-1e8f, -1e8f, -1e8f);
        for (uint32_t k = group.firstIndex; k < group.firstIndex + group.indexCount; ++k) {
            const Vector3& p = sg.vertices[sg.triangles[k / 3].v[k % 3]].position;
            for (int a = 0; a < 3; ++a) {
                lo[a] = std::min(lo[a], p[a]);
                hi[a] = std::max(hi[a], p[a]);
            }
        }
        group.bounds.centre = (lo + hi) * 0.5f;
        group.bounds.halfExtents = hi - group.bounds.centre;
        group.radius = group.bounds.halfExtents.Length();
        int32_t batch = -1;
        for (size_t b = 0; b < sg.batches.size(); ++b)
            if (sg.batches[b].material == int32_t(material)) {
                batch = int32_t(b);
                break;
            }
        if (batch < 0) {
            StaticBatch nb;
            nb.material = int32_t(material);
            const StaticMaterial& m = sg.materials[material];
            const Color* cs[3] = {&m.colourB, &m.colourA, &m.colourC};
            for (int c = 0; c < 3; ++c) {
                nb.colours[c][0] = float(cs[c]->r) * (1.0f / 255.0f);
                nb.colours[c][1] = float(cs[c]->g) * (1.0f / 255.0f);
                nb.colours[c][2] = float(cs[c]->b) * (1.0f / 255.0f);
                nb.colours[c][3] = float(cs[c]->a) * (1.0f / 255.0f);
            }
            sg.batches.push_back(nb);
            batch = int32_t(sg.batches.size() - 1);
        }
        group.batch = batch;
    }
    if (in.Failed()) return Fail();
    sg.PrepareBatches();

    in.Section("sound names");
    const uint32_t soundCount = in.Count(5);
    surfaces.assign(soundCount, {});
    for (uint32_t i = 0; i < soundCount && !in.Failed(); ++i) {
        in.Record(i);
        SurfaceName& s = surfaces[i];
        s.name = in.String();
        s.value = int32_t(int8_t(in.U8()));
        if (s.name.Length() > 0) {
            // Names repeat (one record per triangle): the file name of the same name is shared.
            if (i > 0 && surfaces[i - 1].name == s.name) {
                s.fileName = surfaces[i - 1].fileName;
            } else {
                char file[WorldFileReader::MaxString + 5];
                const int n = std::snprintf(file, sizeof(file), "%s.WAV", s.name.c_str());
                s.fileName = SharedString(file, n);
            }
        }
    }
    if (in.Failed()) return Fail();

    in.Section("collision vertices");
    const uint32_t cv = in.Count(12);
    if (!in.Failed() && cv < 3) in.Fail("fewer than three collision vertices");
    if (in.Failed()) return Fail();
    std::vector<float>& verts = boundary->Vertices();
    verts.resize(size_t(cv) * 3);
    in.Bytes(verts.data(), size_t(cv) * 12);
    for (float f : verts)
        if (!std::isfinite(f)) {
            in.Fail("collision vertex not a finite number");
            return Fail();
        }

    in.Section("collision triangles");
    const uint32_t ct = in.Count(19);
    if (!in.Failed() && ct == 0) in.Fail("no collision triangles");
    if (in.Failed()) return Fail();
    std::vector<int32_t>& indices = boundary->Indices();
    indices.resize(size_t(ct) * 3);
    boundary->triangleVariants.resize(ct);
    for (uint32_t t = 0; t < ct; ++t) {
        for (int c = 0; c < 3; ++c) {
            const uint32_t v = in.U32();
            if (v >= cv && !in.Failed()) {
                in.Record(t);
                in.Fail("vertex index outside the collision vertices");
            }
            indices[size_t(t) * 3 + size_t(c)] = int32_t(v);
        }
        in.Skip(3);
        boundary->triangleVariants[t] = in.I32();
        if (in.Failed()) return Fail();
    }
    if (soundCount != 0 && soundCount != ct) {
        in.Record(-1);
        char line[96];
        std::snprintf(line, sizeof(line), "%u sound names for %u collision triangles", soundCount, ct);
        in.Warn(line);
    }

    in.Section("extra words");
    const uint32_t extra = in.Count(4);
    extraWords.resize(extra);
    in.Bytes(extraWords.data(), size_t(extra) * 4);
    if (in.Failed()) return Fail();

    Vector3 lo(verts[0], verts[1], verts[2]), hi = lo;
    for (size_t i = 0; i < verts.size(); i += 3)
        for (int a = 0; a < 3; ++a) {
            lo[a] = std::min(lo[a], verts[i + size_t(a)]);
            hi[a] = std::max(hi[a], verts[i + size_t(a)]);
        }
    worldBox.centre = (lo + hi) * 0.5f;
    worldBox.halfExtents = hi - worldBox.centre;
    sg.groundMinX = lo.x;
    sg.groundMinZ = lo.z;
    sg.groundMaxX = hi.x;
    sg.groundMaxZ = hi.z;
    sg.groundScaleX = hi.x > lo.x ? -1.0f / (hi.x - lo.x) : 0.0f;
    sg.groundScaleZ = hi.z > lo.z ? -1.0f / (hi.z - lo.z) : 0.0f;

    Create(worldBox.centre, worldBox.halfExtents, TreeDepth);
    physics.CreateSpace(worldBox.centre, worldBox.halfExtents, TreeDepth, spaceKind);
    if (!boundary->Build()) {
        in.Fail("collision mesh could not be built");
        return Fail();
    }
    boundary->SetCategoryBits(1);
    boundary->SetCollideBits(0);
    boundary->SetSurface(&staticSurface);
    boundary->KillPlane().SetSurface(&staticSurface);
    boundary->AddToWorld(physics);
    boundary->KillPlane().AddToWorld(physics);

    for (StaticDrawGroup& group : sg.groups) {
        group.itemFlags = QuadTreeItem::Culled;
        if (sg.batches[size_t(group.batch)].colours[2][3] != 0.0f) Add(&group);
    }
    return true;
}
