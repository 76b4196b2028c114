#include "tests/world/WorldTestSupport.h"

#include <filesystem>

#include "tools/writers/ZktWriter.h"

namespace world_testing {

tools::WorldFile FlatWorld(float half) {
    tools::WorldFile w;
    w.textures = {"Ground.ZKT"};
    w.materials.resize(1);
    w.materials[0].texture = 0;
    const Vector3 c[4] = {{-half, 0, -half}, {-half, 0, half}, {half, 0, half}, {half, 0, -half}};
    for (const Vector3& p : c) {
        w.vertices.push_back({p, {0, 1, 0}, 0, 0});
        w.collisionVertices.push_back(p);
    }
    w.indices = {0, 1, 2, 0, 2, 3};
    w.groups.push_back({0, 6, 0, 0, 0});
    w.collisionTriangles.push_back({{0, 1, 2}, 0});
    w.collisionTriangles.push_back({{0, 2, 3}, 0});
    w.soundNames = {{"Road", 0}, {"Road", 0}};
    w.objectMaterials.resize(2);
    w.objectMaterials[1].flags = 0x02; // translucent
    return w;
}

uint32_t AddKind(tools::WorldFile& w, const Vector3& half, uint32_t flags, float fileMass, int8_t hitSound,
                 uint32_t material, int32_t variant) {
    tools::WorldFile::Mesh mesh;
    for (int i = 0; i < 8; ++i)
        mesh.vertices.push_back({Vector3((i & 1) ? half.x : -half.x, (i & 2) ? half.y : -half.y, (i & 4) ? half.z : -half.z),
                                 {0, 1, 0}, 0, 0});
    mesh.indices = {0, 1, 2, 1, 3, 2};
    w.meshes.push_back(mesh);
    w.boxes.push_back({Vector3(), half});
    tools::WorldFile::Kind kind;
    kind.mesh = uint32_t(w.meshes.size() - 1);
    kind.variant = variant;
    tools::WorldFile::Part part;
    part.range[1] = 6;
    part.range[3] = 8;
    part.material = material;
    kind.parts.push_back(part);
    kind.flags = flags;
    kind.box = uint32_t(w.boxes.size() - 1);
    kind.mass = fileMass;
    kind.hitSound = hitSound;
    w.kinds.push_back(kind);
    return uint32_t(w.kinds.size() - 1);
}

uint32_t Place(tools::WorldFile& w, uint32_t kind, const Vector3& position, const Quaternion& q) {
    w.objects.push_back({kind, {position, q}});
    return uint32_t(w.objects.size() - 1);
}

LoadResult LoadBytes(World& world, const std::vector<uint8_t>& bytes) {
    std::filesystem::create_directories("Maps");
    tools::WriteFileBytes(SharedString("Maps/World.VQW"), bytes);
    LoadResult r;
    for (int step = 0; step < 6; ++step) {
        for (;;) {
            ++r.calls[step];
            bool done = false;
            switch (step) {
                case 0: done = world.LoadHeader(); break;
                case 1: done = world.LoadShadowTexture(); break;
                case 2: done = world.LoadStaticGeometry(); break;
                case 3: done = world.LoadObjects(); break;
                case 4: done = world.LoadRoutes(); break;
                default: done = world.FinishLoading(); break;
            }
            if (done || r.calls[step] >= 1 << 20) break;
        }
    }
    r.failed = world.LoadFailed();
    return r;
}

LoadResult LoadWorld(World& world, const tools::WorldFile& file) { return LoadBytes(world, tools::WorldBytes(file)); }

Camera MakeCamera(const Vector3& position) {
    Camera camera;
    camera.SetViewport(Rect{0, 0, 640, 480});
    camera.position = position;
    camera.positionDirty = 1;
    camera.orientationDirty = 1;
    camera.RebuildProjection();
    camera.Apply();
    return camera;
}

} // namespace world_testing
