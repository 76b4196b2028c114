// The demo city as metrofare-demo writes it, drawn headless at 800 x 600 from the first respawn
// point: sky above, road below, a picture with detail in it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <set>
#include <string>

#include "engine/core/Camera.h"
#include "engine/render/QuadBatchRenderer.h"
#include "game/world/Decals.h"
#include "game/world/World.h"
#include "tests/support/WorldLoading.h"
#include "tests/world/RenderTestSupport.h"
#include "tests/world/WorldTestSupport.h"

using namespace world_testing;

namespace {

constexpr int kW = 800, kH = 600;

// The morning's lighting: a low sun from the east and a soft sky.
void MorningLights(GameSession& session) {
    SceneLight& sun = session.lights[0];
    Matrix4 m;
    const Vector3 z = Vector3(0.6f, 0.7f, 0.3f).Normalized();
    const Vector3 x = Vector3::Cross(Vector3(0, 1, 0), z).Normalized();
    const Vector3 y = Vector3::Cross(z, x);
    const Vector3 rows[3] = {x, y, z};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) m.m[i][j] = rows[i][j];
    sun.orientation = Quaternion(m);
    sun.intensity = 1.0f;
    const float ambient[4] = {0.45f, 0.42f, 0.42f, 1.0f}, diffuse[4] = {0.6f, 0.55f, 0.5f, 1.0f};
    for (int k = 0; k < 4; ++k) {
        sun.ambient[k] = ambient[k];
        sun.diffuse[k] = diffuse[k];
    }
}

TEST(DemoCity, FromTheFirstRespawnPointSkyAboveRoadBelow) {
    auto facility = std::make_unique<D3D8RenderFacility>();
    facility->ChooseDevice(-1);
    facility->RequestMode({kW, kH, 32, 60});
    facility->CreateDevice(false);
    ASSERT_TRUE(facility->DeviceReady());
    testing_support::TempWorkDir dir;
    ASSERT_EQ(std::system((std::string(METROFARE_DEMO_BINARY) + " . > demo.log").c_str()), 0);
    {
        EngineOn engine{facility.get()};
        GameSession session;
        MorningLights(session);
        World world(session, engine.Services());
        ASSERT_TRUE(testing_support::LoadWholeWorld(world));
        ASSERT_FALSE(world.respawnZones.empty());
        ASSERT_FALSE(world.respawnZones[0].points.empty());
        const RespawnPoint& start = world.respawnZones[0].points[0];
        // Behind and above the car, looking where it faces (its forward is -z).
        const Vector3 forward = start.orientation.ToMatrix().TransformNormal(Vector3(0, 0, -1));
        Camera camera = LookingCamera(start.position - forward * 60.0f + Vector3(0, 30, 0), forward + Vector3(0, -0.12f, 0), kW,
                                      kH, 4000.0f);
        camera.EnableFog(true);
        camera.SetFogRange(0.75f, 1.0f);
        for (int frame = 0; frame < 2; ++frame) {
            world.decals->BeginFrame(&camera, 0.0f);
            world.BeginFrame(camera);
            world.Cull(camera);
            facility->PushState(&camera);
            facility->Clear(kClearTarget | kClearDepth);
            world.Draw(camera);
            facility->PopState();
        }
        EXPECT_GT(world.staticGeometry->IndicesWritten(), 0u);
        const std::vector<uint32_t> shot = facility->GrabScreen(true);
        ASSERT_EQ(shot.size(), size_t(kW * kH));
        const uint32_t sky = shot[size_t(kW / 2 + 20 * kW)], road = shot[size_t(kW / 2 + (kH - 20) * kW)];
        const auto blue = [](uint32_t c) { return int(c & 0xFF); };
        const auto grey = [](uint32_t c) { return (int((c >> 16) & 0xFF) + int((c >> 8) & 0xFF) + int(c & 0xFF)) / 3; };
        EXPECT_NE(sky, road);
        EXPECT_GT(grey(sky), grey(road)) << std::hex << sky << " " << road; // a bright morning over a dark road
        EXPECT_GT(blue(sky), 100);
        std::set<uint32_t> colours(shot.begin(), shot.end());
        EXPECT_GT(colours.size(), 50u);
    }
}

} // namespace
