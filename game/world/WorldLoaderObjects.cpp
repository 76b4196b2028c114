// Loading steps 4 to 6: objects, routes, placements and the hand-over of every record.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "engine/core/Debugger.h"
#include "engine/core/FileStream.h"
#include "engine/render/RenderFacility.h"
#include "engine/render/TextureTypes.h"
#include "game/world/ShaderCodes.h"
#include "game/world/World.h"
#include "game/world/WorldFileReader.h"

using world_detail::WorldFileReader;
namespace sc = world_detail::shader;

namespace {

constexpr size_t PoseBytes = 28;

Quaternion ReadRotation(WorldFileReader& in) {
    const Quaternion q = in.Quat();
    const float n = q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w;
    if (!(n > 1e-12f) || !std::isfinite(n)) {
        if (!in.Failed()) in.Warn("zero or invalid rotation taken as the identity");
        return {};
    }
    const float s = 1.0f / std::sqrt(n);
    return {q.x * s, q.y * s, q.z * s, q.w * s};
}

void ReadPose(WorldFileReader& in, Vector3& position, Quaternion& orientation) {
    position = in.Vec3();
    orientation = ReadRotation(in);
}

Color RgbaColour(WorldFileReader& in) {
    uint8_t c[4];
    in.Bytes(c, 4);
    return Color::FromBytes(c[0], c[1], c[2], c[3]);
}

bool Finite(const Vector3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// Object material description from its one-byte flags.
ShaderDescription ObjectDescription(uint8_t flags, bool base, bool second, bool& translucent) {
    ShaderDescription d;
    d.lighting = (flags & 0x08) ? 0 : 1;
    d.specular = (flags & 0x04) && d.lighting ? 1 : 0;
    d.zWrite = 1;
    d.zFunc = sc::LessEqual;
    d.srcBlend = sc::SrcAlpha;
    d.dstBlend = sc::InvSrcAlpha;
    d.stageMask = second ? 3 : 1;
    d.stages[0].colorOp = d.stages[0].alphaOp = base ? sc::Modulate : sc::SelectArg2;
    d.stages[0].colorArg1 = d.stages[0].alphaArg1 = sc::Texture;
    d.stages[0].colorArg2 = d.stages[0].alphaArg2 = sc::Diffuse;
    for (uint32_t i = 1; i < 8; ++i) {
        d.stages[i].colorOp = d.stages[i].alphaOp = sc::Modulate;
        d.stages[i].colorArg1 = d.stages[i].alphaArg1 = sc::Texture;
        d.stages[i].colorArg2 = d.stages[i].alphaArg2 = sc::Current;
        d.stages[i].texCoord = i;
    }
    if (second) {
        d.zParam = 3;
        d.stages[1].colorOp = sc::Add;
        d.stages[1].alphaOp = sc::SelectArg2;
        d.stages[1].alphaArg2 = sc::Current;
        d.stages[1].texCoord = sc::CameraSpaceNormal1;
    } else {
        d.zParam = 1;
    }
    if (base) d.blend = 1;
    translucent = false;
    if (flags & 0x02) {
        d.blend = 1;
        d.zWrite = 0;
        translucent = true;
    }
    if (flags & 0x10) {
        d.alphaFunc = sc::Greater;
        d.blend = 1;
        d.zWrite = 0;
        translucent = true;
    }
    if (flags & 0x20) {
        d.blend = 1;
        d.srcBlend = sc::SrcAlpha;
        d.dstBlend = sc::One;
        d.zWrite = 0;
    }
    return d;
}

int32_t DistanceClass(const Vector3& h) {
    const float m = std::max({h.x, h.y, h.z});
    return m > 300.0f ? 0 : m > 200.0f ? 1 : m > 100.0f ? 2 : 3;
}

} // namespace

// -------------------------------------------------------------------------------------------------
// Step 4: object materials, meshes, boxes, kinds and placed objects

bool World::LoadObjects() {
    if (!Begin()) return true;
    WorldFileReader& in = *reader_;
    WorldObjectManager& om = *objects;
    const int32_t textureCount = texturesLoaded;
    auto texture = [&](int32_t index) -> TextureHandle* {
        return index >= 0 && index < textureCount ? textures[size_t(index)].get() : nullptr;
    };

    in.Section("object materials");
    const uint32_t materialCount = in.Count(29);
    om.Materials().assign(materialCount, {});
    for (uint32_t i = 0; i < materialCount && !in.Failed(); ++i) {
        in.Record(i);
        MaterialDescription md;
        md.ambient = RgbaColour(in);
        md.power = in.F32();
        const Color b = RgbaColour(in);
        md.emissive = RgbaColour(in);
        md.specularColor = RgbaColour(in);
        int32_t base = in.I32();
        int32_t second = in.I32();
        const uint8_t flags = in.U8();
        if (in.Failed()) break;
        md.diffuseAlpha = b.a;
        if (base < -1 || base >= textureCount) {
            in.Warn("texture index outside the texture table; drawn untextured");
            base = -1;
        }
        if (second < -1 || second >= textureCount) {
            in.Warn("second texture index outside the texture table; dropped");
            second = -1;
        }
        md.textures[0] = texture(base);
        md.textures[1] = texture(second);
        ObjectMaterialHandles& h = om.Materials()[i];
        bool translucent = false;
        ShaderDescription d = ObjectDescription(flags, base != -1, second != -1, translucent);
        h.translucent = translucent;
        h.secondTexture = second != -1;
        if (renderer_) {
            h.material = renderer_->AddMaterial(md);
            h.pass = renderer_->AddShader(d);
            ShaderDescription second2 = d;
            second2.zFunc = sc::Equal;
            second2.alphaFunc = 0;
            h.secondPass = renderer_->AddShader(second2);
        }
    }
    if (in.Failed()) return Fail();

    in.Section("object meshes");
    const uint32_t meshCount = in.Count(8);
    om.Meshes().resize(meshCount);
    for (uint32_t i = 0; i < meshCount && !in.Failed(); ++i) {
        in.Record(i);
        ObjectMesh& mesh = om.Meshes()[i];
        const uint32_t vc = in.Count(32);
        mesh.vertices.resize(vc);
        in.Bytes(mesh.vertices.data(), size_t(vc) * 32);
        const uint32_t ic = in.Count(4);
        mesh.indices.resize(ic);
        in.Bytes(mesh.indices.data(), size_t(ic) * 4);
        if (in.Failed()) break;
        if (std::any_of(mesh.indices.begin(), mesh.indices.end(), [&](uint32_t v) { return v >= vc; })) {
            in.Warn("vertex index outside the mesh; the mesh is left empty");
            mesh.indices.clear();
            mesh.vertices.clear();
        }
    }
    if (in.Failed()) return Fail();

    in.Section("object boxes");
    const uint32_t boxCount = in.Count(24);
    std::vector<BoundingBox> boxes(boxCount);
    for (uint32_t i = 0; i < boxCount && !in.Failed(); ++i) {
        boxes[i].centre = in.Vec3();
        Vector3 h = in.Vec3();
        for (int a = 0; a < 3; ++a) h[a] = std::max(h[a] * 1.01f, 0.5f);
        boxes[i].halfExtents = h;
    }
    if (in.Failed()) return Fail();

    in.Section("object kinds");
    const uint32_t kindCount = in.Count(32);
    om.Kinds().assign(kindCount, {});
    std::vector<uint8_t> kindValid(kindCount, 0);
    for (uint32_t k = 0; k < kindCount && !in.Failed(); ++k) {
        in.Record(k);
        WorldObjectKind& kind = om.Kinds()[k];
        in.Bytes(kind.fileBytes, 16);
        const uint32_t meshIndex = in.U32();
        kind.missionVariant = in.I32();
        const uint32_t partCount = in.Count(20);
        bool valid = meshIndex < meshCount;
        if (!valid && !in.Failed()) in.Warn("mesh index outside the object meshes; kind skipped");
        kind.mesh = valid ? int32_t(meshIndex) : 0;
        kind.parts.resize(partCount);
        for (uint32_t p = 0; p < partCount && !in.Failed(); ++p) {
            ObjectPart& part = kind.parts[p];
            in.Bytes(part.range, 16);
            part.materialIndex = in.U32();
            if (in.Failed()) break;
            if (part.materialIndex >= materialCount) {
                if (valid) in.Warn("material index outside the object materials; kind skipped");
                valid = false;
                continue;
            }
            const ObjectMaterialHandles& h = om.Materials()[part.materialIndex];
            part.material = h.material;
            part.pass = h.pass;
            part.secondPass = h.secondPass;
            if (h.translucent) kind.flags |= WorldObjectKind::TransparentKind;
            if (h.secondTexture) kind.flags |= WorldObjectKind::SecondTexture;
            if (valid) {
                const ObjectMesh& mesh = om.Meshes()[meshIndex];
                const int64_t first = part.range[0], count = part.range[1], v0 = part.range[2], vn = part.range[3];
                if (first < 0 || count < 0 || v0 < 0 || vn < 0 || first + count > int64_t(mesh.indices.size()) ||
                    v0 + vn > int64_t(mesh.vertices.size())) {
                    in.Warn("draw range outside the mesh; kind skipped");
                    valid = false;
                }
            }
        }
        const uint32_t fileFlags = in.U32();
        if (fileFlags & 0x04) {
            const uint32_t boxIndex = in.U32();
            float mass = in.F32();
            kind.hitSound = int8_t(in.U8());
            kind.hasBox = true;
            if (boxIndex >= boxCount) {
                if (valid && !in.Failed()) in.Warn("box index outside the object boxes; kind skipped");
                valid = false;
            } else {
                kind.boxCentre = boxes[boxIndex].centre;
                kind.halfExtents = boxes[boxIndex].halfExtents;
            }
            kind.flags |= WorldObjectKind::Movable;
            if (fileFlags & 0x01) kind.flags &= uint8_t(~WorldObjectKind::Movable);
            if (fileFlags & 0x20) kind.flags |= WorldObjectKind::Shatters;
            mass *= 0.1f;
            if (mass != WorldObjectKind::Immovable && (!(mass > 0.0f) || !std::isfinite(mass))) {
                if (!in.Failed()) in.Warn("mass not a positive number; the kind does not move");
                mass = WorldObjectKind::Immovable;
            }
            kind.mass = mass;
        } else if (valid) {
            Vector3 lo(1e8f, 1e8f, 1e8f), hi(-1e8f, -1e8f, -1e8f);
            const ObjectMesh& mesh = om.Meshes()[meshIndex];
            for (const ObjectPart& part : kind.parts)
                for (int32_t v = part.range[2]; v < part.range[2] + part.range[3]; ++v)
                    for (int a = 0; a < 3; ++a) {
                        lo[a] = std::min(lo[a], mesh.vertices[size_t(v)].position[a]);
                        hi[a] = std::max(hi[a], mesh.vertices[size_t(v)].position[a]);
                    }
            if (lo.x <= hi.x) {
                kind.boxCentre = (lo + hi) * 0.5f;
                kind.halfExtents = hi - kind.boxCentre;
            }
        }
        if (fileFlags & 0x20) kind.flags |= WorldObjectKind::DoubleSided;
        kind.narrowCollide = (fileFlags & 0x08) != 0;
        kind.radiusSquared = kind.halfExtents.LengthSquared();
        if (valid && kind.parts.size() == 1 && !(kind.flags & WorldObjectKind::TransparentKind)) {
            const ObjectPart& p = kind.parts.front();
            const std::array<uintptr_t, 4> key = {uintptr_t(p.material), uintptr_t(p.pass), p.reserved, p.secondTexture};
            auto& keys = om.BatchKeys();
            auto it = std::find(keys.begin(), keys.end(), key);
            if (it == keys.end()) {
                keys.push_back(key);
                it = keys.end() - 1;
            }
            kind.batchKey = int32_t(it - keys.begin());
        }
        kindValid[k] = valid ? 1 : 0;
    }
    if (in.Failed()) return Fail();

    om.CreateObjectSpace(worldBox.centre, worldBox.halfExtents, spaceKind);
    in.Section("placed objects");
    const uint32_t objectCount = in.Count(4 + PoseBytes);
    om.ResizeObjects(int32_t(objectCount));
    for (uint32_t i = 0; i < objectCount && !in.Failed(); ++i) {
        in.Record(i);
        const uint32_t kindIndex = in.U32();
        Vector3 position;
        Quaternion orientation;
        ReadPose(in, position, orientation);
        if (in.Failed()) break;
        if (kindIndex >= kindCount || !kindValid[kindIndex]) {
            in.Warn("kind index outside the kinds or of a skipped kind; object skipped");
            continue;
        }
        if (!Finite(position)) {
            in.Warn("position not finite; object skipped");
            continue;
        }
        WorldObjectKind& kind = om.Kinds()[kindIndex];
        WorldObject& o = om.Object(int32_t(i));
        o.manager = &om;
        o.kind = &kind;
        o.itemFlags = QuadTreeItem::Culled;
        o.distanceClass = DistanceClass(kind.halfExtents);
        o.SetPosition(position);
        o.SetOrientation(orientation);
        for (const ObjectPart& part : kind.parts) staticTriangles += part.range[1] / 3;
        if (kind.TakesBody()) {
            auto* geom = new BoxGeom(kind.halfExtents);
            geom->flags |= PhysicsGeom::AlwaysCollide | PhysicsGeom::AnyContacts;
            geom->SetSurface(&om.surface);
            geom->SetCategoryBits(WorldObject::ObjectCategory);
            geom->SetCollideBits(kind.narrowCollide ? WorldObject::ObjectCollideNarrow : WorldObject::ObjectCollide);
            geom->listeners.push_back(&o);
            geom->SetOwner(&o);
            o.SetGeom(geom);
            om.ObjectSpace()->Add(geom);
        }
        o.Update();
        if (kind.hasBox) {
            const int32_t n = kind.hitSound;
            const int32_t sound = n == 0 ? 0 : n - 1;
            if (sound < 0 || sound >= 8) {
                in.Warn("hit sound outside the eight surface sounds; none attached");
            } else {
                records.hitSounds.push_back({&o, sound});
                if (factories.hitSound) factories.hitSound(*this, records.hitSounds.back());
            }
        }
        Add(&o);
    }
    if (in.Failed()) return Fail();
    if (!factories.hitSound && !records.hitSounds.empty()) NoFactory("hit sound", records.hitSounds.size());
    om.AddObjectSpaceToWorld();
    om.BuildMeshes();
    physics.AddObject(&om);
    return true;
}

// -------------------------------------------------------------------------------------------------
// Step 5: road graphs, the traffic and pedestrian record lists, routes and path objects

bool World::LoadRoutes() {
    if (!Begin()) return true;
    WorldFileReader& in = *reader_;
    auto ensure = [](std::unique_ptr<RoadGraph>& g) -> RoadGraph& {
        if (!g) g = std::make_unique<RoadGraph>();
        return *g;
    };
    graphs.shared = std::make_unique<RoadGraph>();
    ReadGraph(*graphs.shared, true, false, false, "shared road graph");
    graphs.driver = std::make_unique<RoadGraph>();
    ReadGraph(*graphs.driver, true, false, false, "driver road graph");
    ReadGraph(ensure(graphs.traffic), true, true, false, "traffic road graph");
    for (auto& g : graphs.episodes) ReadGraph(ensure(g), true, false, true, "episode road graph");
    ReadGraph(ensure(graphs.pedestrian), false, false, false, "pedestrian road graph");
    if (in.Failed()) return Fail();

    auto spot = [&](const PedestrianSpotRecord& r) {
        records.pedestrianSpots.push_back(r);
        if (factories.pedestrianSpot) factories.pedestrianSpot(*this, r);
    };
    in.Section("pedestrian spots");
    uint32_t n = in.Count(12);
    for (uint32_t i = 0; i < n && !in.Failed(); ++i) {
        PedestrianSpotRecord r;
        r.typeFlag = 0x02;
        r.position = in.Vec3();
        if (!in.Failed()) spot(r);
    }
    n = in.Count(16);
    for (uint32_t i = 0; i < n && !in.Failed(); ++i) {
        PedestrianSpotRecord r;
        r.typeFlag = 0x04;
        r.position = in.Vec3();
        r.value = in.F32();
        if (!in.Failed()) spot(r);
    }
    n = in.Count(16);
    for (uint32_t i = 0; i < n && !in.Failed(); ++i) {
        in.Record(i);
        PedestrianSpotRecord r;
        r.typeFlag = 0x10;
        r.position = in.Vec3();
        const uint32_t k = in.Count(4);
        r.indices.resize(k);
        in.Bytes(r.indices.data(), size_t(k) * 4);
        if (!in.Failed()) spot(r);
    }
    in.Section("traffic record lists");
    in.Skip(48);
    for (size_t size : {size_t(36), size_t(32), size_t(16)}) {
        n = in.Count(size);
        in.Skip(size_t(n) * size);
    }
    if (in.Failed()) return Fail();
    if (!factories.pedestrianSpot && !records.pedestrianSpots.empty())
        NoFactory("pedestrian spot", records.pedestrianSpots.size());

    ReadGraph(roads, false, false, false, "world road graph");
    in.Section("routes");
    n = in.Count(4);
    routes.assign(n, {});
    for (uint32_t i = 0; i < n && !in.Failed(); ++i) {
        in.Record(i);
        const uint32_t k = in.Count(4);
        routes[i].resize(k);
        in.Bytes(routes[i].data(), size_t(k) * 4);
    }
    graphs.path = std::make_unique<RoadGraph>();
    ReadGraph(*graphs.path, true, false, false, "path road graph");
    if (in.Failed()) return Fail();

    in.Section("path objects");
    n = in.Count(8);
    const uint32_t pathNodes = uint32_t(graphs.path->Count());
    for (uint32_t i = 0; i < n && !in.Failed(); ++i) {
        in.Record(i);
        PathObjectRecord r;
        const uint32_t letter = in.U32();
        const uint32_t k = in.Count(4);
        r.route.resize(k);
        in.Bytes(r.route.data(), size_t(k) * 4);
        if (in.Failed()) break;
        if (letter > 25) {
            in.Warn("model letter outside A..Z; path object skipped");
            continue;
        }
        if (std::any_of(r.route.begin(), r.route.end(), [&](uint32_t v) { return v >= pathNodes; })) {
            in.Warn("route node outside the path graph; path object skipped");
            continue;
        }
        r.letter = int32_t(letter);
        char model[24];
        std::snprintf(model, sizeof(model), "Models\\%c.ZKM", char('A' + letter));
        r.model = SharedString(model);
        // Short routes and routes past node 10000 are followed but never culled or drawn.
        r.inTree = k >= 3 && std::none_of(r.route.begin(), r.route.end(), [](uint32_t v) { return v > 10000; });
        records.pathObjects.push_back(r);
        if (factories.pathObject) pathObjects.push_back(factories.pathObject(*this, records.pathObjects.back()));
    }
    if (in.Failed()) return Fail();
    if (!factories.pathObject && !records.pathObjects.empty()) NoFactory("path object", records.pathObjects.size());
    return true;
}

// -------------------------------------------------------------------------------------------------
// Step 6: respawns, drop points, volumes, traffic lights, lights, crates, emitters, cameras,
// placements and the last graphs; the file is closed

bool World::FinishLoading() {
    if (!Begin()) return true;
    WorldFileReader& in = *reader_;

    in.Section("look-at records");
    uint32_t n = in.Count(24);
    in.Skip(size_t(n) * 24);
    n = in.Count(16);
    in.Skip(size_t(n) * 16);

    in.Section("respawn zones");
    n = in.Count(12);
    respawnZones.assign(n, {});
    for (uint32_t i = 0; i < n && !in.Failed(); ++i) {
        in.Record(i);
        RespawnZone& z = respawnZones[i];
        z.zone = in.I32();
        z.subZone = in.I32();
        const uint32_t points = in.Count(PoseBytes);
        z.points.resize(points);
        for (RespawnPoint& p : z.points) ReadPose(in, p.position, p.orientation);
    }
    if (in.Failed()) return Fail();

    in.Section("drop points");
    n = in.Count(12);
    dropPoints.clear();
    dropPoints.reserve(n);
    for (uint32_t i = 0; i < n && !in.Failed(); ++i) {
        in.Record(i);
        DropPoint d;
        d.name = in.String();
        const uint32_t object = in.U32();
        const uint32_t k = in.Count(4);
        d.variants.resize(k);
        in.Bytes(d.variants.data(), size_t(k) * 4);
        if (in.Failed()) break;
        d.marker = ObjectAt(object, "drop point", i);
        if (!d.marker) continue;
        d.marker->distanceClass = 0;
        dropPoints.push_back(std::move(d));
    }
    if (in.Failed()) return Fail();

    in.Section("node records");
    n = in.Count(PoseBytes);
    nodeRecords.assign(n, {});
    for (NodeRecord& r : nodeRecords) ReadPose(in, r.position, r.orientation);
    in.Section("water volumes");
    n = in.Count(92);
    waterVolumes.assign(n, {});
    for (WaterVolume& w : waterVolumes) {
        in.Bytes(&w.sphere, 16);
        in.Bytes(w.box.transform.m, 64);
        in.Bytes(&w.box.halfExtents, 12);
    }
    if (in.Failed()) return Fail();

    in.Section("traffic lights");
    RoadGraph& trafficGraph = *graphs.traffic;
    n = in.Count(4);
    for (uint32_t c = 0; c < n && !in.Failed(); ++c) {
        in.Record(c);
        TrafficLightControllerRecord controller;
        size_t lightsKept = 0;
        const uint32_t groups = in.Count(4);
        for (uint32_t g = 0; g < groups && !in.Failed(); ++g) {
            std::vector<TrafficLightRecord> group;
            const uint32_t lightCount = in.Count(8);
            for (uint32_t l = 0; l < lightCount && !in.Failed(); ++l) {
                TrafficLightRecord light;
                light.nodeIndex = in.U32();
                const uint32_t object = in.U32();
                if (in.Failed()) break;
                if (light.nodeIndex >= uint32_t(trafficGraph.Count())) {
                    in.Warn("traffic light node outside the traffic graph; light skipped");
                    continue;
                }
                light.object = ObjectAt(object, "traffic light", l);
                if (!light.object) continue;
                light.node = &trafficGraph.nodes[light.nodeIndex];
                light.node->occupancy |= RoadNode::LightControlled;
                light.ground = ProbeGround(light.object->PlacedPosition());
                group.push_back(light);
            }
            // A group without lights keeps its phase in the junction's cycle.
            lightsKept += group.size();
            controller.groups.push_back(std::move(group));
        }
        if (in.Failed()) break;
        if (lightsKept == 0) {
            in.Warn("controller without lights skipped");
            continue;
        }
        records.trafficLights.push_back(std::move(controller));
        if (factories.trafficLights)
            trafficLightControllers.push_back(factories.trafficLights(*this, records.trafficLights.back()));
        for (const auto& group : records.trafficLights.back().groups)
            for (const TrafficLightRecord& light : group) light.object->Update();
    }
    if (in.Failed()) return Fail();
    if (!factories.trafficLights && !records.trafficLights.empty())
        NoFactory("traffic light", records.trafficLights.size());

    in.Section("world lights");
    n = in.Count(8);
    for (uint32_t i = 0; i < n && !in.Failed(); ++i) {
        in.Record(i);
        WorldLightRecord light;
        const uint32_t lamps = in.Count(12);
        light.lamps.resize(lamps);
        for (Vector3& lamp : light.lamps) lamp = in.Vec3();
        const uint32_t object = in.U32();
        if (in.Failed()) break;
        light.object = ObjectAt(object, "world light", i);
        if (!light.object) continue;
        const Matrix4 r = light.object->PlacedOrientation().ToMatrix();
        for (const Vector3& lamp : light.lamps)
            light.ground.push_back(ProbeGround(light.object->PlacedPosition() + r.TransformNormal(lamp)));
        records.lights.push_back(std::move(light));
        if (factories.light) lights.push_back(factories.light(*this, records.lights.back()));
    }
    n = in.Count(4);
    in.Skip(size_t(n) * 4);
    if (in.Failed()) return Fail();
    if (!factories.light && !records.lights.empty()) NoFactory("world light", records.lights.size());

    in.Section("crates");
    n = in.Count(8);
    for (uint32_t i = 0; i < n && !in.Failed(); ++i) {
        in.Record(i);
        CrateRecord crate;
        uint32_t type = in.U32();
        const uint32_t object = in.U32();
        if (in.Failed()) break;
        crate.object = ObjectAt(object, "crate", i);
        if (!crate.object) continue;
        while (type == 6 || type > 11) type = uint32_t(std::rand() % 12);
        crate.type = int32_t(type);
        records.crates.push_back(crate);
        if (factories.crate) crates.push_back(factories.crate(*this, crate));
    }
    if (in.Failed()) return Fail();
    if (!factories.crate && !records.crates.empty()) NoFactory("crate", records.crates.size());

    in.Section("ambient emitters");
    n = in.Count(25);
    for (uint32_t i = 0; i < n && !in.Failed(); ++i) {
        in.Record(i);
        EmitterRecord e;
        e.name = in.String();
        e.position = in.Vec3();
        e.minDistance = in.F32();
        e.radius = in.F32();
        e.timeOfDayMask = in.U8();
        if (in.Failed()) break;
        records.emitters.push_back(e);
        if (factories.emitter) emitters.push_back(factories.emitter(*this, e));
    }
    if (in.Failed()) return Fail();
    if (!factories.emitter && !records.emitters.empty()) NoFactory("emitter", records.emitters.size());

    in.Section("camera records");
    n = in.Count(44);
    in.Skip(size_t(n) * 44);
    std::vector<CameraRecord> cameras;
    const SharedString cameraFile("Misc\\CameraData.cut");
    if (FileExists(cameraFile)) {
        FileReader file(cameraFile);
        if (!ReadCameraRecords(file, cameras))
            Debugger::Instance().Message("WORLD: Misc\\CameraData.cut is cut short; %zu camera records kept", cameras.size());
    }

    in.Section("placements");
    std::vector<PlacementRecord> list1, list2;
    n = in.Count(4 + 8 + PoseBytes);
    for (uint32_t i = 0; i < n && !in.Failed(); ++i) {
        PlacementRecord r;
        r.name = in.String();
        r.mission = in.I32();
        r.episode = in.I32();
        ReadPose(in, r.position, r.orientation);
        list1.push_back(r);
    }
    n = in.Count(44);
    for (uint32_t i = 0; i < n && !in.Failed(); ++i) {
        PlacementRecord r;
        r.name = in.String();
        r.mission = in.I32();
        r.episode = in.I32();
        r.values[0] = in.U32();
        ReadPose(in, r.position, r.orientation);
        list2.push_back(r);
    }
    auto& parked = placements.parkedCars();
    parked.clear();
    n = in.Count(44);
    for (uint32_t i = 0; i < n && !in.Failed(); ++i) {
        PlacementRecord r;
        r.name = in.String();
        r.mission = in.I32();
        r.episode = in.I32();
        ReadPose(in, r.position, r.orientation);
        r.values[0] = in.U32();
        parked.push_back(r);
    }
    if (in.Failed()) return Fail();
    missionTable.Reset();
    for (const PlacementRecord& r : list2) {
        MissionTable::Cell* cell = missionTable.At(r.mission, r.episode);
        if (!cell) break;
        cell->placements.push_back(r);
    }
    for (const PlacementRecord& r : list1) {
        MissionTable::Cell* cell = missionTable.At(r.mission, r.episode);
        if (!cell) break;
        cell->spots.push_back(r);
    }
    for (const CameraRecord& r : cameras) {
        MissionTable::Cell* cell = missionTable.At(r.mission, r.episode);
        if (!cell) break;
        cell->cameras.push_back(r);
    }
    missionTable.SortCameras();
    cameraRecords = std::move(cameras);

    // Lists (a) to (g) with the list of LevelPlacements each fills.
    struct ListShape {
        int32_t list;
        bool name;
        int32_t values;
    };
    static const ListShape shapes[] = {{4, false, 2}, {5, false, 2}, {3, true, 3}, {2, false, 3},
                                       {1, false, 3}, {0, true, 0},  {6, false, 0}};
    for (const ListShape& s : shapes) {
        n = in.Count(PoseBytes + size_t(s.values) * 4 + (s.name ? 4 : 0));
        auto& list = placements.lists[size_t(s.list)];
        list.assign(n, {});
        for (PlacementRecord& r : list) {
            if (s.name) r.name = in.String();
            ReadPose(in, r.position, r.orientation);
            for (int32_t v = 0; v < s.values; ++v) r.values[v] = in.U32();
        }
    }
    if (in.Failed()) return Fail();

    auto ensure = [](std::unique_ptr<RoadGraph>& g) -> RoadGraph& {
        if (!g) g = std::make_unique<RoadGraph>();
        return *g;
    };
    for (auto& g : graphs.pedestrianEpisodes) ReadGraph(ensure(g), true, false, true, "pedestrian episode road graph");
    in.Section("last placements");
    n = in.Count(40);
    auto& last = placements.lists[8];
    last.assign(n, {});
    for (PlacementRecord& r : last) {
        in.Skip(12);
        ReadPose(in, r.position, r.orientation);
    }
    if (in.Failed()) return Fail();

    bytesRead_ = in.Position();
    reader_.reset();
    physics.CleanSpace();
    return true;
}
