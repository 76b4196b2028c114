#include "tools/writers/WorldWriter.h"

#include <cstring>

#include "engine/core/FileStream.h"
#include "game/world/FlareFile.h"
#include "tools/writers/ZktWriter.h"

namespace tools {

namespace {

class ByteSink final : public BinaryOutputStream {
public:
    void Write(const void* buffer, int32_t count) override {
        const auto* p = static_cast<const uint8_t*>(buffer);
        bytes.insert(bytes.end(), p, p + count);
    }
    void Str(const std::string& s) { WriteString(SharedString(s.c_str(), int32_t(s.size()))); }
    void Vec(const Vector3& v) {
        WriteFloat(v.x);
        WriteFloat(v.y);
        WriteFloat(v.z);
    }
    void Pose(const WorldPose& p) {
        Vec(p.position);
        WriteFloat(p.orientation.x);
        WriteFloat(p.orientation.y);
        WriteFloat(p.orientation.z);
        WriteFloat(p.orientation.w);
    }
    void Rgba(const WorldFile::Rgba& c) {
        WriteU8(c.r);
        WriteU8(c.g);
        WriteU8(c.b);
        WriteU8(c.a);
    }
    void Vertex(const WorldFile::Vertex& v) {
        Vec(v.position);
        Vec(v.normal);
        WriteFloat(v.u);
        WriteFloat(v.v);
    }
    void Graph(const WorldFile::Graph& g, bool value, bool nodeClass, bool spare) {
        WriteU32(uint32_t(g.nodes.size()));
        for (const WorldFile::Node& n : g.nodes) {
            Vec(n.position);
            if (value) WriteFloat(n.value);
            if (nodeClass) WriteU8(n.nodeClass);
            WriteU32(uint32_t(n.links.size()));
            for (uint32_t l : n.links) WriteU32(l);
        }
        if (spare) WriteU32(g.spareWord);
    }
    void Zeros(size_t n) { bytes.insert(bytes.end(), n, 0); }
    std::vector<uint8_t> bytes;
};

} // namespace

std::vector<uint8_t> WorldBytes(const WorldFile& w) {
    ByteSink s;
    s.Write("VQ ", 3);
    s.WriteU32(w.version);

    s.WriteU32(uint32_t(w.textures.size()));
    for (const std::string& t : w.textures) s.Str(t);
    s.WriteU32(uint32_t(w.materials.size()));
    for (const auto& m : w.materials) {
        s.Rgba(m.a);
        s.WriteFloat(m.value);
        s.Rgba(m.b);
        s.Rgba(m.c);
        s.Rgba(m.d);
        s.WriteI32(m.texture);
        s.WriteI32(m.secondTexture);
        s.WriteU32(m.flags);
    }
    s.WriteU32(uint32_t(w.vertices.size()));
    for (const auto& v : w.vertices) s.Vertex(v);
    s.Zeros(w.vertices.size() * 4);
    s.WriteU32(uint32_t(w.indices.size()));
    for (uint32_t i : w.indices) s.WriteU32(i);
    s.WriteU32(uint32_t(w.groups.size()));
    for (const auto& g : w.groups) {
        s.Zeros(16);
        s.WriteU32(g.firstIndex);
        s.WriteU32(g.indexCount);
        s.WriteU32(g.material);
        s.WriteU32(g.reserved);
        s.WriteU32(g.flags);
    }
    s.WriteU32(uint32_t(w.soundNames.size()));
    for (const auto& n : w.soundNames) {
        s.Str(n.name);
        s.WriteU8(uint8_t(n.value));
    }
    s.WriteU32(uint32_t(w.collisionVertices.size()));
    for (const auto& v : w.collisionVertices) s.Vec(v);
    s.WriteU32(uint32_t(w.collisionTriangles.size()));
    for (const auto& t : w.collisionTriangles) {
        s.WriteU32(t.v[0]);
        s.WriteU32(t.v[1]);
        s.WriteU32(t.v[2]);
        s.Zeros(3);
        s.WriteI32(t.variant);
    }
    s.WriteU32(uint32_t(w.extraWords.size()));
    for (uint32_t x : w.extraWords) s.WriteU32(x);

    s.WriteU32(uint32_t(w.objectMaterials.size()));
    for (const auto& m : w.objectMaterials) {
        s.Rgba(m.a);
        s.WriteFloat(m.value);
        s.Rgba(m.b);
        s.Rgba(m.c);
        s.Rgba(m.d);
        s.WriteI32(m.texture);
        s.WriteI32(m.secondTexture);
        s.WriteU8(m.flags);
    }
    s.WriteU32(uint32_t(w.meshes.size()));
    for (const auto& m : w.meshes) {
        s.WriteU32(uint32_t(m.vertices.size()));
        for (const auto& v : m.vertices) s.Vertex(v);
        s.WriteU32(uint32_t(m.indices.size()));
        for (uint32_t i : m.indices) s.WriteU32(i);
    }
    s.WriteU32(uint32_t(w.boxes.size()));
    for (const auto& b : w.boxes) {
        s.Vec(b.centre);
        s.Vec(b.halfExtents);
    }
    s.WriteU32(uint32_t(w.kinds.size()));
    for (const auto& k : w.kinds) {
        s.Write(k.bytes, 16);
        s.WriteU32(k.mesh);
        s.WriteI32(k.variant);
        s.WriteU32(uint32_t(k.parts.size()));
        for (const auto& p : k.parts) {
            for (int32_t r : p.range) s.WriteI32(r);
            s.WriteU32(p.material);
        }
        s.WriteU32(k.flags);
        if (k.flags & 0x04) {
            s.WriteU32(k.box);
            s.WriteFloat(k.mass);
            s.WriteU8(uint8_t(k.hitSound));
        }
    }
    s.WriteU32(uint32_t(w.objects.size()));
    for (const auto& o : w.objects) {
        s.WriteU32(o.kind);
        s.Pose(o.pose);
    }

    s.Graph(w.sharedGraph, true, false, false);
    s.Graph(w.driverGraph, true, false, false);
    s.Graph(w.trafficGraph, true, true, false);
    for (const auto& g : w.episodeGraphs) s.Graph(g, true, false, true);
    s.Graph(w.pedestrianGraph, false, false, false);
    s.WriteU32(uint32_t(w.spotsA.size()));
    for (const auto& p : w.spotsA) s.Vec(p.position);
    s.WriteU32(uint32_t(w.spotsB.size()));
    for (const auto& p : w.spotsB) {
        s.Vec(p.position);
        s.WriteFloat(p.value);
    }
    s.WriteU32(uint32_t(w.spotsC.size()));
    for (const auto& p : w.spotsC) {
        s.Vec(p.position);
        s.WriteU32(uint32_t(p.indices.size()));
        for (uint32_t i : p.indices) s.WriteU32(i);
    }
    s.Zeros(48);
    s.WriteU32(w.countE);
    s.Zeros(size_t(w.countE) * 36);
    s.WriteU32(w.countF);
    s.Zeros(size_t(w.countF) * 32);
    s.WriteU32(w.countG);
    s.Zeros(size_t(w.countG) * 16);
    s.Graph(w.worldGraph, false, false, false);
    s.WriteU32(uint32_t(w.routes.size()));
    for (const auto& r : w.routes) {
        s.WriteU32(uint32_t(r.size()));
        for (uint32_t i : r) s.WriteU32(i);
    }
    s.Graph(w.pathGraph, true, false, false);
    s.WriteU32(uint32_t(w.pathObjects.size()));
    for (const auto& p : w.pathObjects) {
        s.WriteU32(p.letter);
        s.WriteU32(uint32_t(p.route.size()));
        for (uint32_t i : p.route) s.WriteU32(i);
    }

    s.WriteU32(uint32_t(w.lookAts.size()));
    for (const auto& [a, b] : w.lookAts) {
        s.Vec(a);
        s.Vec(b);
    }
    s.WriteU32(w.count16);
    s.Zeros(size_t(w.count16) * 16);
    s.WriteU32(uint32_t(w.respawnZones.size()));
    for (const auto& z : w.respawnZones) {
        s.WriteU32(z.zone);
        s.WriteU32(z.subZone);
        s.WriteU32(uint32_t(z.points.size()));
        for (const auto& p : z.points) s.Pose(p);
    }
    s.WriteU32(uint32_t(w.dropPoints.size()));
    for (const auto& d : w.dropPoints) {
        s.Str(d.name);
        s.WriteU32(d.object);
        s.WriteU32(uint32_t(d.variants.size()));
        for (uint32_t v : d.variants) s.WriteU32(v);
    }
    s.WriteU32(uint32_t(w.nodeRecords.size()));
    for (const auto& p : w.nodeRecords) s.Pose(p);
    s.WriteU32(uint32_t(w.waterVolumes.size()));
    for (const auto& v : w.waterVolumes) {
        s.Vec(v.centre);
        s.WriteFloat(v.radius);
        for (float f : v.axes) s.WriteFloat(f);
        s.Vec(v.halfExtents);
    }
    s.WriteU32(uint32_t(w.trafficLights.size()));
    for (const auto& c : w.trafficLights) {
        s.WriteU32(uint32_t(c.size()));
        for (const auto& g : c) {
            s.WriteU32(uint32_t(g.size()));
            for (const auto& l : g) {
                s.WriteU32(l.node);
                s.WriteU32(l.object);
            }
        }
    }
    s.WriteU32(uint32_t(w.worldLights.size()));
    for (const auto& l : w.worldLights) {
        s.WriteU32(uint32_t(l.lamps.size()));
        for (const auto& p : l.lamps) s.Vec(p);
        s.WriteU32(l.object);
    }
    s.WriteU32(uint32_t(w.words.size()));
    for (uint32_t x : w.words) s.WriteU32(x);
    s.WriteU32(uint32_t(w.crates.size()));
    for (const auto& c : w.crates) {
        s.WriteU32(c.type);
        s.WriteU32(c.object);
    }
    s.WriteU32(uint32_t(w.emitters.size()));
    for (const auto& e : w.emitters) {
        s.Str(e.name);
        s.Vec(e.position);
        s.WriteFloat(e.minDistance);
        s.WriteFloat(e.radius);
        s.WriteU8(e.timeOfDayMask);
    }
    s.WriteU32(w.fileCameraCount);
    s.Zeros(size_t(w.fileCameraCount) * 44);
    s.WriteU32(uint32_t(w.placements1.size()));
    for (const auto& p : w.placements1) {
        s.Str(p.name);
        s.WriteI32(p.mission);
        s.WriteI32(p.episode);
        s.Pose(p.pose);
    }
    s.WriteU32(uint32_t(w.placements2.size()));
    for (const auto& p : w.placements2) {
        s.Str(p.name);
        s.WriteI32(p.mission);
        s.WriteI32(p.episode);
        s.WriteU32(p.values[0]);
        s.Pose(p.pose);
    }
    s.WriteU32(uint32_t(w.parkedCars.size()));
    for (const auto& p : w.parkedCars) {
        s.Str(p.name);
        s.WriteI32(p.mission);
        s.WriteI32(p.episode);
        s.Pose(p.pose);
        s.WriteU32(p.values[0]);
    }
    static const struct {
        bool name;
        int values;
    } shapes[7] = {{false, 2}, {false, 2}, {true, 3}, {false, 3}, {false, 3}, {true, 0}, {false, 0}};
    for (size_t l = 0; l < 7; ++l) {
        s.WriteU32(uint32_t(w.lists[l].size()));
        for (const auto& p : w.lists[l]) {
            if (shapes[l].name) s.Str(p.name);
            s.Pose(p.pose);
            for (int v = 0; v < shapes[l].values; ++v) s.WriteU32(p.values[v]);
        }
    }
    for (const auto& g : w.pedestrianEpisodeGraphs) s.Graph(g, true, false, true);
    s.WriteU32(uint32_t(w.lastList.size()));
    for (const auto& p : w.lastList) {
        s.Zeros(12);
        s.Pose(p);
    }
    return std::move(s.bytes);
}

bool WriteWorld(const std::string& path, const WorldFile& world) {
    return WriteFileBytes(SharedString(path.c_str()), WorldBytes(world));
}

std::vector<uint8_t> CssBytes(const Vector3& p) { return FlareFileBytes(p); }

bool WriteCss(const std::string& path, const Vector3& flarePoint) {
    return WriteFileBytes(SharedString(path.c_str()), CssBytes(flarePoint));
}

std::vector<uint8_t> CameraDataBytes(const std::vector<CameraRecord>& records) {
    ByteSink s;
    WriteCameraRecords(s, records);
    return std::move(s.bytes);
}

bool WriteCameraData(const std::string& path, const std::vector<CameraRecord>& records) {
    return WriteFileBytes(SharedString(path.c_str()), CameraDataBytes(records));
}

} // namespace tools
