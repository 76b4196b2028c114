#pragma once
// The world's drawing tests: a render facility over a recording device or the real GL device
// (offscreen), the engine pointed at it and at a sound device, and static city fixtures.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/Camera.h"
#include "engine/core/Engine.h"
#include "engine/render/D3D8RenderFacility.h"
#include "engine/render/MeshFactory.h"
#include "engine/render/TextureFactory.h"
#include "platform/gfx/RecordingDevice.h"
#include "tests/support/EngineDoubles.h"
#include "tests/support/RecordingFacility.h"
#include "tools/writers/ZktWriter.h"

namespace world_testing {

using testing_support::RecordingFacility;

// The factories load through `facility` (the engine's renderer ready, this thread the main one)
// and start and end empty; the game is handed `facility` and `sound` in `doubles`.
struct EngineOn {
    explicit EngineOn(RenderFacility* facility, AudioDevice* sound = nullptr) {
        doubles.services.renderer = facility;
        doubles.services.sound = sound;
        ZKEngine& e = ZKEngine::Instance();
        e.rendererReady = facility != nullptr;
        e.mainThread = Thread::Current();
        MeshFactory::Instance().ClearForTests();
        MeshFactory::Instance().Connect(facility);
        TextureFactory::Instance().ClearForTests();
        if (auto* f = dynamic_cast<D3D8RenderFacility*>(facility)) TextureFactory::Instance().Connect(f->GetTextureManager());
    }
    ~EngineOn() {
        MeshFactory::Instance().ClearForTests();
        MeshFactory::Instance().Connect(nullptr);
        TextureFactory::Instance().ClearForTests();
        TextureFactory::Instance().Connect(nullptr);
        ZKEngine::Instance().rendererReady = false;
    }
    // The services the tests hand the world.
    const EngineServices& Services() const { return doubles.services; }

    testing_support::EngineDoubles doubles;
};

// The real GL device (offscreen) in a w x h mode; check DeviceReady.
inline std::unique_ptr<D3D8RenderFacility> OffscreenFacility(int32_t w, int32_t h) {
    auto facility = std::make_unique<D3D8RenderFacility>();
    facility->ChooseDevice(-1);
    facility->RequestMode({w, h, 32, 60});
    facility->CreateDevice(false);
    return facility;
}

inline bool WriteSolidTexture(const std::string& path, uint32_t argb, int size = 8) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    tools::ZktTexture t = tools::ArgbTexture(size, size, std::vector<uint32_t>(size_t(size * size), argb));
    t.mayCompress = 0;
    return tools::WriteZkt(path.c_str(), t);
}

// A camera at the position looking along the direction (world up), viewport w x h.
inline Camera LookingCamera(const Vector3& position, const Vector3& direction, int32_t w, int32_t h, float far = 4000.0f) {
    Camera c;
    c.SetViewport(Rect{0, 0, w, h});
    c.SetFarPlane(far);
    c.position = position;
    // The view turns the orientation's rotation, then half a turn about y: the rotation takes
    // the direction to -z and the side to -x.
    const Vector3 d = direction.Normalized();
    Vector3 side = Vector3::Cross(Vector3(0, 1, 0), d);
    side = side.LengthSquared() > 1e-8f ? side.Normalized() : Vector3(1, 0, 0);
    const Vector3 up = Vector3::Cross(d, side);
    const Vector3 rows[3] = {-side, up, -d};
    Matrix4 r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) r.m[i][j] = rows[j][i];
    c.orientation = Quaternion(r);
    c.positionDirty = c.orientationDirty = 1;
    c.RebuildProjection();
    c.Apply();
    return c;
}

} // namespace world_testing
