// The demo city and its cars in the game's light, drawn by the real GL device (offscreen): a lit,
// textured facade shows its texture times the shading the light set gives it, and so does the
// cab's body; surfaces turned to and from the lights differ.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "engine/core/Camera.h"
#include "engine/render/D3D8LightManager.h"
#include "engine/render/D3D8Mesh.h"
#include "engine/render/MatrixStack.h"
#include "game/play/LightSet.h"
#include "game/world/StaticGeometryRenderer.h"
#include "game/world/World.h"
#include "tests/support/TestSupport.h"
#include "tests/support/WorldLoading.h"
#include "tests/world/RenderTestSupport.h"
#include "tools/writers/LightFileWriter.h"
#include "tools/writers/VsAssembler.h"
#include "tools/writers/WorldWriter.h"

using namespace world_testing;

namespace {

constexpr int kW = 160, kH = 120;
constexpr uint32_t kTexel = 0xFF8C7864u; // 140, 120, 100

int Channel(uint32_t argb, int shift) { return int((argb >> shift) & 0xFF); }

struct Wall {
    Vector3 centre, normal;
    size_t material = 0;
};

// One facade of the city facing each of the four ways, from the groups whose texture is a facade.
std::vector<Wall> FacadeWalls(const tools::WorldFile& file) {
    std::vector<Wall> walls;
    const Vector3 ways[4] = {{1, 0, 0}, {-1, 0, 0}, {0, 0, 1}, {0, 0, -1}};
    for (const Vector3& way : ways)
        for (const auto& g : file.groups) {
            const auto& m = file.materials[g.material];
            if (m.texture < 0 || file.textures[size_t(m.texture)].rfind("Facade", 0) != 0) continue;
            bool found = false;
            for (uint32_t i = g.firstIndex; i + 2 < g.firstIndex + g.indexCount && !found; i += 3) {
                const Vector3& a = file.vertices[file.indices[i]].position;
                const Vector3& b = file.vertices[file.indices[i + 1]].position;
                const Vector3& c = file.vertices[file.indices[i + 2]].position;
                const Vector3 n = Vector3::Cross(b - a, c - a).Normalized();
                // Tall enough to fill the view from 60 units away.
                const float low = std::min({a.y, b.y, c.y}), high = std::max({a.y, b.y, c.y});
                if (Vector3::Dot(n, way) < 0.99f || high - low < 60.0f) continue;
                walls.push_back({(a + b + c) / 3.0f, n, g.material});
                found = true;
            }
            if (found) break;
        }
    return walls;
}

TEST(CityShade, ALitFacadeShowsItsTextureTimesTheLightSetsShading) {
    auto facility = OffscreenFacility(kW, kH);
    ASSERT_TRUE(facility->DeviceReady());
    testing_support::TempWorkDir dir;

    // The demo city with every texture one plain colour, the afternoon's light file and the
    // world's shaders, as the demo tree has them.
    const tools::WorldFile file = tools::GenerateCity(tools::CityOptions{});
    std::filesystem::create_directories("Maps");
    std::filesystem::create_directories("Misc");
    ASSERT_TRUE(tools::WriteWorld("Maps/World.VQW", file));
    for (const std::string& name : file.textures) ASSERT_TRUE(WriteSolidTexture("Textures/" + name, kTexel));
    ASSERT_TRUE(WriteSolidTexture("Textures/Shadow.ZKT", 0xFF808080u));
    ASSERT_TRUE(tools::WriteWorldVertexShaders("Misc/"));
    ASSERT_TRUE(tools::WriteDefaultLightFile(SharedString("Misc/1.LIT"), 1));

    const std::vector<Wall> walls = FacadeWalls(file);
    ASSERT_EQ(walls.size(), 4u);
    EngineOn engine{facility.get()};
    GameSession session;
    session.timeOfDay = 1;
    LightSet lights;
    lights.Enter(session.timeOfDay);
    lights.ToSceneLights(session.lights);
    World world(session, engine.Services());
    ASSERT_TRUE(testing_support::LoadWholeWorld(world));
    // Entering the game sets its video mode, which makes the static city's passes again: from
    // then on they carry the world stages.
    world.staticGeometry->RecreateShaders();

    int darkest = 255, brightest = 0;
    for (const Wall& wall : walls) {
        SCOPED_TRACE(::testing::Message() << "facing " << wall.normal.x << ", " << wall.normal.z);
        // The shading the light set gives a surface of this normal, as the static city works it
        // out: ambient times the diffuse colour plus the emissive colour, then each light's
        // diffuse colour times its intensity (at most 1) over the angle to the light.
        const tools::WorldFile::StaticMaterial& m = file.materials[wall.material];
        const float a[3] = {m.a.r / 255.0f, m.a.g / 255.0f, m.a.b / 255.0f};
        const float e[3] = {m.b.r / 255.0f, m.b.g / 255.0f, m.b.b / 255.0f};
        float lit[3] = {};
        for (const SceneLight& l : session.lights) {
            const float f = std::min(l.intensity, 1.0f);
            const Vector3 towards = l.orientation.ToMatrix().TransformNormal(Vector3(0, 0, 1));
            const float nl = std::max(Vector3::Dot(wall.normal, towards), 0.0f);
            for (int k = 0; k < 3; ++k) lit[k] += f * (l.ambient[k] * a[k] + l.diffuse[k] * nl);
        }
        int expected[3];
        const int texel[3] = {Channel(kTexel, 16), Channel(kTexel, 8), Channel(kTexel, 0)};
        for (int k = 0; k < 3; ++k) expected[k] = int(std::lround(float(texel[k]) * std::min(lit[k] + e[k], 1.0f)));

        Camera camera = LookingCamera(wall.centre + wall.normal * 60.0f, wall.normal * -1.0f, kW, kH, 4000.0f);
        for (int frame = 0; frame < 2; ++frame) {
            world.BeginFrame(camera);
            world.Cull(camera);
            facility->PushState(&camera);
            facility->Clear(kClearTarget | kClearDepth);
            world.Draw(camera);
            facility->PopState();
        }
        uint32_t p = 0;
        facility->Device()->ReadPixels(true, kW / 2, kH / 2, 1, 1, &p);
        SCOPED_TRACE(::testing::Message() << "pixel " << Channel(p, 16) << ", " << Channel(p, 8) << ", " << Channel(p, 0));
        EXPECT_NEAR(Channel(p, 16), expected[0], 3);
        EXPECT_NEAR(Channel(p, 8), expected[1], 3);
        EXPECT_NEAR(Channel(p, 0), expected[2], 3);
        const int grey = (Channel(p, 16) + Channel(p, 8) + Channel(p, 0)) / 3;
        darkest = std::min(darkest, grey);
        brightest = std::max(brightest, grey);
    }
    // A wall turned away from the afternoon's lights is visibly darker than one facing them.
    EXPECT_GT(brightest - darkest, 30);
}

// The demo's cab in the game's three lights, drawn by fixed function: each side shows the body
// texture times what the lights give a surface of its normal (the material's emissive colour,
// its ambient colour times the lights' ambient, its white diffuse times each light's diffuse
// over the angle to the light), so the sides differ and none is brighter than full light.
TEST(CityShade, TheCabsSidesShowItsColourTimesTheLights) {
    auto facility = OffscreenFacility(kW, kH);
    ASSERT_TRUE(facility->DeviceReady());
    testing_support::TempWorkDir dir;
    ASSERT_EQ(std::system((std::string(METROFARE_DEMO_BINARY) + " . > demo.log").c_str()), 0);
    ASSERT_TRUE(WriteSolidTexture("Textures/CabMetro.ZKT", kTexel));
    EngineOn engine{facility.get()};
    // The lights as the game makes them from the afternoon's light set.
    LightSet set;
    set.ApplyDefaults(1);
    std::vector<std::unique_ptr<D3D8DirectionalLight>> lights;
    for (const GameLight& from : set.lights) {
        lights.emplace_back(facility->GetLightManager()->CreateDirectionalLight());
        D3D8DirectionalLight& to = *lights.back();
        to.ambientSource = Vector4{from.ambient[0], from.ambient[1], from.ambient[2], from.ambient[3]};
        to.diffuseSource = Vector4{from.diffuse[0], from.diffuse[1], from.diffuse[2], from.diffuse[3]};
        to.specularSource = Vector4{from.specular[0], from.specular[1], from.specular[2], from.specular[3]};
        to.intensity = from.intensity;
        to.colourDirty = 1;
        to.SetOrientation(LightSet::RendererOrientation(from.rotation));
        to.Enable();
    }
    std::unique_ptr<D3D8Mesh> cab(MeshFactory::Instance().GetByName(SharedString("Vehicles\\CabMetro\\Chassis0.ZKM"), true));
    ASSERT_NE(cab, nullptr);
    ASSERT_FALSE(cab->Nodes().empty());

    int darkest = 255, brightest = 0;
    const Vector3 sides[5] = {{1, 0, 0}, {-1, 0, 0}, {0, 0, 1}, {0, 0, -1}, {0, 1, 0}};
    for (const Vector3& normal : sides) {
        SCOPED_TRACE(::testing::Message() << "side " << normal.x << ", " << normal.y << ", " << normal.z);
        float lit[3] = {};
        for (const GameLight& l : set.lights) {
            const float f = std::clamp(l.intensity, 0.0f, 1.0f);
            const float nl = std::max(Vector3::Dot(normal, LightSet::TowardLight(l.rotation).Normalized()), 0.0f);
            for (int k = 0; k < 3; ++k) lit[k] += f * (l.ambient[k] + l.diffuse[k] * nl);
        }
        const int texel[3] = {Channel(kTexel, 16), Channel(kTexel, 8), Channel(kTexel, 0)};
        // The body's half height is 3.5: its sides are seen level with their middle.
        const Vector3 from = normal.y > 0 ? Vector3(0, 100, 0) : normal * 100.0f + Vector3(0, 3.5f, 0);
        Camera camera = LookingCamera(from, normal * -1.0f, kW, kH, 4000.0f);
        facility->PushState(&camera);
        facility->Clear(kClearTarget | kClearDepth);
        facility->GetMatrixStack()->LoadIdentity();
        cab->Render();
        facility->PopState();
        uint32_t p = 0;
        facility->Device()->ReadPixels(true, kW / 2, kH / 2, 1, 1, &p);
        SCOPED_TRACE(::testing::Message() << "pixel " << Channel(p, 16) << ", " << Channel(p, 8) << ", " << Channel(p, 0));
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(Channel(p, 16 - 8 * k), std::lround(float(texel[k]) * std::min(lit[k], 1.0f)), 3) << k;
        const int grey = (Channel(p, 16) + Channel(p, 8) + Channel(p, 0)) / 3;
        darkest = std::min(darkest, grey);
        brightest = std::max(brightest, grey);
    }
    EXPECT_GT(brightest - darkest, 30);
}

} // namespace
