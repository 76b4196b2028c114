#pragma once
// The meshes' tests: a render facility over a recording device or the real GL device, the
// engine pointed at it, a temporary data tree and the writers' models and textures in it.
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/Engine.h"
#include "engine/render/D3D8RenderFacility.h"
#include "engine/render/MeshFactory.h"
#include "engine/render/TextureFactory.h"
#include "platform/gfx/RecordingDevice.h"
#include "tests/support/RecordingFacility.h"
#include "tests/support/TestSupport.h"
#include "tools/writers/MeshShapes.h"
#include "tools/writers/MeshWriter.h"
#include "tools/writers/ZktWriter.h"

namespace meshtest {

using testing_support::RecordingFacility;

// The engine sees `facility` as its ready renderer with this thread as the main one; the
// factories start empty and are emptied again afterwards.
struct EngineOn {
    explicit EngineOn(RenderFacility* facility) {
        ZKEngine& e = ZKEngine::Instance();
        e.renderer = facility;
        e.rendererReady = facility != nullptr;
        e.mainThread = Thread::Current();
        MeshFactory::Instance().ClearForTests();
        TextureFactory::Instance().ClearForTests();
    }
    ~EngineOn() {
        MeshFactory::Instance().ClearForTests();
        TextureFactory::Instance().ClearForTests();
        ZKEngine& e = ZKEngine::Instance();
        e.renderer = nullptr;
        e.rendererReady = false;
    }
};

inline bool WriteModel(const std::string& path, const tools::ZkmModel& model) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    return tools::WriteZkm(path.c_str(), model);
}

// A one-colour 8 x 8 texture.
inline bool WriteSolidTexture(const std::string& path, uint32_t argb, int size = 8) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    tools::ZktTexture t = tools::ArgbTexture(size, size, std::vector<uint32_t>(size_t(size * size), argb));
    t.mayCompress = 0;
    return tools::WriteZkt(path.c_str(), t);
}

// One triangle with `vertices` vertices in all (the rest unused), direct part, own collision.
inline tools::ZkmModel TriangleModel(uint32_t vertices = 3) {
    tools::ZkmModel m;
    tools::AddTexturedMaterial(m, "Tri.ZKT");
    for (uint32_t v = 0; v < vertices; ++v) {
        tools::ZkmVertex x;
        x.position = {float(v % 3 == 1), float(v % 3 == 2), 0};
        m.vertices.push_back(x);
    }
    m.indices = {0, 1, 2};
    tools::ZkmNode n;
    n.collisionPositions = {{0, 0, 0}, {3, 4, 0}, {0, 1, 0}};
    n.collisionIndices = {0, 1, 2};
    tools::ZkmPart p;
    p.ranges = {{0, 3, 0, 3}};
    n.parts = {p};
    m.nodes = {n};
    return m;
}

}  // namespace meshtest
