// The demo city as metrofare-demo writes it, drawn headless at 800 x 600 from the first respawn
// point: sky above, road below, a picture with detail in it.
#include <gtest/gtest.h>

#include <algorithm>
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

// From high over the city, looking level past its wall, at every time of day and with the
// camera's own fog off as the game's camera has it above water: the fields beyond the wall reach
// the far plane and fade there into the sky's colour, so the horizon has no hard edge: down the
// middle of the picture, from the horizon to below the fields' far edge, no row differs much
// from the next; the fields nearer by show their own colour.
TEST(DemoCity, TheFieldsFadeIntoTheSkyAtTheHorizonAtEveryTimeOfDay) {
    auto facility = std::make_unique<D3D8RenderFacility>();
    facility->ChooseDevice(-1);
    facility->RequestMode({kW, kH, 32, 60});
    facility->CreateDevice(false);
    ASSERT_TRUE(facility->DeviceReady());
    testing_support::TempWorkDir dir;
    ASSERT_EQ(std::system((std::string(METROFARE_DEMO_BINARY) + " . > demo.log").c_str()), 0);
    EngineOn engine{facility.get()};
    GameSession session;
    MorningLights(session);
    World world(session, engine.Services());
    ASSERT_TRUE(testing_support::LoadWholeWorld(world));
    // The game's far plane at the middle view distance.
    constexpr float kFar = 1500.0f + 8500.0f * 0.5f, kHeight = 900.0f;
    const Vector3 eye(0, kHeight, 0), ahead(1, 0, 0);
    const auto channel = [](uint32_t c, int shift) { return int((c >> shift) & 0xFF); };
    const auto step = [&](uint32_t a, uint32_t b) {
        int most = 0;
        for (int shift : {0, 8, 16}) most = std::max(most, std::abs(channel(a, shift) - channel(b, shift)));
        return most;
    };
    for (int time = 0; time < 4; ++time) {
        SCOPED_TRACE(time);
        session.timeOfDay = time;
        Camera camera = LookingCamera(eye, ahead, kW, kH, kFar);
        ASSERT_FALSE(camera.FogEnabled());
        // The sky gives the camera its colour, which the next frame clears to.
        for (int frame = 0; frame < 2; ++frame) {
            world.decals->BeginFrame(&camera, 0.0f);
            world.BeginFrame(camera);
            world.Cull(camera);
            facility->PushState(&camera);
            facility->Clear(kClearTarget | kClearDepth);
            world.Draw(camera);
            facility->PopState();
        }
        const std::vector<uint32_t> shot = facility->GrabScreen(true);
        ASSERT_EQ(shot.size(), size_t(kW * kH));
        const auto at = [&](int row) { return shot[size_t(kW / 2 + row * kW)]; };
        const int horizon = int(camera.Project(eye + ahead * 1e5f).y);
        const int edge = int(camera.Project(Vector3(kFar * 0.99f, 0, 0)).y);
        const int near = int(camera.Project(Vector3(kFar * 0.6f, 0, 0)).y);
        ASSERT_LT(horizon, edge);
        ASSERT_LT(edge + 10, near);
        ASSERT_LT(near, kH);
        int worst = 0, worstRow = 0;
        for (int row = horizon - 10; row < edge + 10; ++row)
            if (step(at(row), at(row + 1)) > worst) {
                worst = step(at(row), at(row + 1));
                worstRow = row;
            }
        EXPECT_LE(worst, 12) << "a hard edge at row " << worstRow << " (horizon " << horizon << ", fields' edge " << edge
                             << "): " << std::hex << at(worstRow) << " over " << at(worstRow + 1);
        const Color fog = world.skies[size_t(time)].colour;
        const uint32_t sky = 0xFF000000u | uint32_t(fog.r) << 16 | uint32_t(fog.g) << 8 | fog.b;
        EXPECT_LE(step(at(edge - 2), sky), 16) << std::hex << at(edge - 2) << " against the sky's " << sky;
        if (time != 3) EXPECT_GT(step(at(near), sky), 30) << std::hex << at(near) << " against the sky's " << sky;
    }
}

// The park's railings with the city's stages registered again, as every start of a game does:
// looking at them level from the street, the park shows between the bars (the gaps' texels are
// clear black; drawn solid, most of the row would be black).
TEST(DemoCity, TheParkShowsBetweenTheBarsOfItsRailings) {
    auto facility = std::make_unique<D3D8RenderFacility>();
    facility->ChooseDevice(-1);
    facility->RequestMode({kW, kH, 32, 60});
    facility->CreateDevice(false);
    ASSERT_TRUE(facility->DeviceReady());
    testing_support::TempWorkDir dir;
    ASSERT_EQ(std::system((std::string(METROFARE_DEMO_BINARY) + " . > demo.log").c_str()), 0);
    EngineOn engine{facility.get()};
    GameSession session;
    MorningLights(session);
    World world(session, engine.Services());
    ASSERT_TRUE(testing_support::LoadWholeWorld(world));
    world.staticGeometry->RecreateShaders();
    // The railing along the park's near side stands at z = -864 from x = -864 to -96, 2 to 22
    // high, facing -z.
    Camera camera = LookingCamera(Vector3(-480, 12, -1000), Vector3(0, 0, 1), kW, kH, 4000.0f);
    for (int frame = 0; frame < 2; ++frame) {
        world.decals->BeginFrame(&camera, 0.0f);
        world.BeginFrame(camera);
        world.Cull(camera);
        facility->PushState(&camera);
        facility->Clear(kClearTarget | kClearDepth);
        world.Draw(camera);
        facility->PopState();
    }
    const std::vector<uint32_t> shot = facility->GrabScreen(true);
    ASSERT_EQ(shot.size(), size_t(kW * kH));
    const int row = int(camera.Project(Vector3(-480, 12, -864)).y);
    ASSERT_GT(row, 0);
    ASSERT_LT(row, kH);
    int black = 0, bar = 0;
    for (int x = 0; x < kW; ++x) {
        const uint32_t c = shot[size_t(x + row * kW)];
        const int r = int((c >> 16) & 0xFF), g = int((c >> 8) & 0xFF), b = int(c & 0xFF);
        black += r < 8 && g < 8 && b < 8;
        bar += std::abs(r - 0x50) < 40 && std::abs(g - 0x54) < 40 && std::abs(b - 0x58) < 40 && std::abs(r - b) < 16;
    }
    EXPECT_LT(black, kW / 20) << "the gaps drawn solid";
    EXPECT_GT(bar, kW / 20) << "no railing in front of the park";
}

} // namespace
