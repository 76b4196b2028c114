// The world drawn by the real GL device (offscreen): a lit batch through the world shaders and
// through fixed function, blended, cut-out and additive materials, back faces, fog at the far
// plane, the render option's depth pass, the sky dome and its fog colour, lamp halos and their
// pools of light at night, a knocked lamp.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

#include "engine/core/Camera.h"
#include "engine/render/D3D8LightManager.h"
#include "engine/render/MatrixStack.h"
#include "engine/render/QuadBatchRenderer.h"
#include "game/world/Decals.h"
#include "game/world/Sky.h"
#include "game/world/World.h"
#include "game/world/WorldLights.h"
#include "tests/world/RenderTestSupport.h"
#include "tests/world/WorldTestSupport.h"
#include "tools/writers/MeshWriter.h"
#include "tools/writers/VsAssembler.h"
#include "tools/writers/WorldModels.h"

using namespace world_testing;
using tools::WorldFile;

namespace {

constexpr int kW = 96, kH = 72;
const Color kBackground = Color::FromBytes(0, 0, 100, 255);

D3D8RenderFacility& Facility() {
    static std::unique_ptr<D3D8RenderFacility> f = [] {
        auto r = std::make_unique<D3D8RenderFacility>();
        r->ChooseDevice(-1);
        r->RequestMode({kW, kH, 32, 60});
        r->CreateDevice(false);
        if (!r->DeviceReady()) std::abort();
        return r;
    }();
    return *f;
}

int Channel(uint32_t argb, int shift) { return int((argb >> shift) & 0xFF); }

::testing::AssertionResult Near(uint32_t got, int r, int g, int b, int tolerance = 2) {
    if (std::abs(Channel(got, 16) - r) <= tolerance && std::abs(Channel(got, 8) - g) <= tolerance &&
        std::abs(Channel(got, 0) - b) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got " << Channel(got, 16) << ", " << Channel(got, 8) << ", "
                                         << Channel(got, 0) << " for " << r << ", " << g << ", " << b;
}

// The rotation that turns +z to point the given way (the light's direction towards it).
Quaternion Towards(const Vector3& d) {
    Matrix4 m;
    const Vector3 z = d.Normalized();
    Vector3 x = Vector3::Cross(Vector3(0, 0, 1), z);
    x = x.LengthSquared() > 1e-6f ? x.Normalized() : Vector3(1, 0, 0);
    const Vector3 y = Vector3::Cross(z, x);
    const Vector3 rows[3] = {x, y, z};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) m.m[i][j] = rows[i][j];
    return Quaternion(m);
}

// A flat world of one ground square (texture 0, static material 0) to which the tests add
// materials, textures and quads.
struct Scene {
    Scene() {
        w = FlatWorld(2000.0f);
        w.groups.clear(); // the ground is added as a quad when a test wants it
        w.indices.clear();
        w.vertices.clear();
    }
    uint32_t Texture(const std::string& name) {
        w.textures.push_back(name);
        return uint32_t(w.textures.size() - 1);
    }
    uint32_t Material(int32_t texture, uint32_t flags, WorldFile::Rgba a = {}, WorldFile::Rgba b = {0, 0, 0, 255},
                      WorldFile::Rgba c = {0, 0, 0, 255}) {
        WorldFile::StaticMaterial m;
        m.texture = texture;
        m.flags = flags;
        m.a = a;
        m.b = b;
        m.c = c;
        w.materials.push_back(m);
        return uint32_t(w.materials.size() - 1);
    }
    // A quad of corners p0..p3 in order round it, facing along the normal, u from p0 to p1.
    void Quad(uint32_t material, const Vector3& p0, const Vector3& p1, const Vector3& p2, const Vector3& p3, const Vector3& n) {
        const uint32_t first = uint32_t(w.vertices.size());
        const Vector3 p[4] = {p0, p1, p2, p3};
        const float uv[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        for (int i = 0; i < 4; ++i) w.vertices.push_back({p[i], n, uv[i][0], uv[i][1]});
        const uint32_t start = uint32_t(w.indices.size());
        for (uint32_t second : {1u, 2u}) {
            uint32_t a = first, b = first + second, c = first + second + 1;
            const Vector3 face = Vector3::Cross(w.vertices[b].position - w.vertices[a].position,
                                                w.vertices[c].position - w.vertices[a].position);
            if (Vector3::Dot(face, n) < 0) std::swap(b, c);
            w.indices.insert(w.indices.end(), {a, b, c});
        }
        w.groups.push_back({start, 6, material, 0, 0});
    }
    // A wall at depth z facing -z (towards a camera at the origin looking along +z).
    void Wall(uint32_t material, float x0, float x1, float y0, float y1, float z, bool facingAway = false) {
        Quad(material, {x0, y0, z}, {x1, y0, z}, {x1, y1, z}, {x0, y1, z}, {0, 0, facingAway ? 1.0f : -1.0f});
    }
    WorldFile w;
};

class WorldDraw : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(f.DeviceReady());
        f.SetCullMode(1);
        f.GetMatrixStack()->LoadIdentity();
        std::filesystem::create_directories("Misc");
        ASSERT_TRUE(tools::WriteWorldVertexShaders("Misc/"));
        ASSERT_TRUE(WriteSolidTexture("Textures/Halo02.ZKT", 0xFFFFFFFFu));
        // The ground shadow: mid grey, no shadow anywhere.
        ASSERT_TRUE(WriteSolidTexture("Textures/Shadow.ZKT", 0xFF808080u));
        for (const char* pool : {"Lightmap.ZKT", "Lightmap_R.ZKT", "Lightmap_G.ZKT"})
            ASSERT_TRUE(WriteSolidTexture(std::string("Textures/") + pool, 0xFFFFFFFFu));
    }
    void TearDown() override {
        for (D3D8DirectionalLight* l : deviceLights_) delete l;
    }
    // Light 0 with ambient and diffuse colours from the given direction, the others off: in the
    // session for the shaders and on the device for fixed function.
    void Light(const Vector3& towards, const float ambient[3], const float diffuse[3]) {
        session.lights[0].orientation = Towards(towards);
        session.lights[0].intensity = 1.0f;
        for (int k = 0; k < 3; ++k) {
            session.lights[0].ambient[k] = ambient[k];
            session.lights[0].diffuse[k] = diffuse[k];
        }
        session.lights[0].ambient[3] = session.lights[0].diffuse[3] = 1.0f;
        for (D3D8DirectionalLight* l : deviceLights_) delete l;
        deviceLights_.clear();
        D3D8DirectionalLight* l = f.GetLightManager()->CreateDirectionalLight();
        l->ambientSource = {ambient[0], ambient[1], ambient[2], 1.0f};
        l->diffuseSource = {diffuse[0], diffuse[1], diffuse[2], 1.0f};
        l->specularSource = {0, 0, 0, 0};
        l->intensity = 1.0f;
        l->SetOrientation(session.lights[0].orientation);
        l->Enable();
        deviceLights_.push_back(l);
    }
    // Everything lit to exactly the texture's colour.
    void PlainLight() {
        const float one[3] = {1, 1, 1}, zero[3] = {0, 0, 0};
        Light({0, 1, 0}, one, zero);
    }
    std::unique_ptr<World> Load(const WorldFile& file, bool shaders = true) {
        if (!shaders) std::filesystem::remove_all("Misc");
        auto world = std::make_unique<World>(session, engine.Services());
        EXPECT_FALSE(LoadWorld(*world, file).failed);
        if (!shaders) {
            std::filesystem::create_directories("Misc");
            EXPECT_TRUE(tools::WriteWorldVertexShaders("Misc/"));
        }
        return world;
    }
    void Release(std::unique_ptr<World>& world) { world.reset(); }
    // One frame as the game runs it: the decals' frame (which the world's update starts), the
    // objects' frame, the cull with the static city's gathering, then the draw.
    // `afterDraw` runs while the camera's states are still applied.
    void Frame(World& world, Camera& camera, const std::function<void()>& afterDraw = {}) {
        world.decals->BeginFrame(&camera, 0.0f);
        world.BeginFrame(camera);
        world.Cull(camera);
        f.PushState(&camera);
        f.Clear(kClearTarget | kClearDepth);
        world.Draw(camera);
        if (afterDraw) afterDraw();
        f.PopState();
    }
    uint32_t Pixel(int x, int y) {
        uint32_t p = 0;
        f.Device()->ReadPixels(true, x, y, 1, 1, &p);
        return p;
    }
    uint32_t PixelAt(const Camera& camera, const Vector3& world) {
        const Vector2 s = camera.Project(world);
        return Pixel(int(s.x), int(s.y));
    }
    Camera View(const Vector3& position, const Vector3& direction, float far = 4000.0f) {
        Camera c = LookingCamera(position, direction, kW, kH, far);
        c.SetFogColor(kBackground);
        c.EnableFog(true);
        c.SetFogRange(0.75f, 1.0f);
        return c;
    }

    D3D8RenderFacility& f = Facility();
    testing_support::TempWorkDir dir;
    EngineOn engine{&f};
    GameSession session;

private:
    std::vector<D3D8DirectionalLight*> deviceLights_;
};

// A lit floor is texture x (ambient x diffuse colour + emissive + light x N.L), within 2 per
// channel, through the world shaders and through fixed function alike; rendering with the depth
// pass (render option 1) gives the same picture.
TEST_F(WorldDraw, ALitBatchShowsTextureTimesItsLighting) {
    ASSERT_TRUE(WriteSolidTexture("Textures/Floor.ZKT", 0xFF80A0C8u)); // 128, 160, 200
    Scene s;
    const uint32_t tex = s.Texture("Floor.ZKT");
    const uint32_t m = s.Material(int32_t(tex), 0, {200, 100, 50, 255}, {20, 30, 40, 255});
    s.Quad(m, {-500, 0, -500}, {-500, 0, 500}, {500, 0, 500}, {500, 0, -500}, {0, 1, 0});
    const float ambient[3] = {0.5f, 0.5f, 0.5f}, diffuse[3] = {0.3f, 0.2f, 0.1f};
    float lit[3];
    const float a[3] = {200, 100, 50}, e[3] = {20, 30, 40}, t[3] = {128, 160, 200};
    int expected[3];
    for (int k = 0; k < 3; ++k) {
        lit[k] = std::min(a[k] / 255.0f * ambient[k] + e[k] / 255.0f + diffuse[k], 1.0f);
        expected[k] = int(std::lround(t[k] * lit[k]));
    }
    for (bool shaders : {true, false}) {
        SCOPED_TRACE(shaders ? "world shaders" : "fixed function");
        Light({0, 1, 0}, ambient, diffuse);
        session.renderOption = 0;
        auto world = Load(s.w, shaders);
        EXPECT_EQ(world->staticGeometry->HasShaders(), shaders);
        Camera camera = View({0, 200, -300}, {0, -200, 300});
        Frame(*world, camera); // the sky sets the fog colour the next frame clears to
        Frame(*world, camera);
        EXPECT_TRUE(Near(Pixel(kW / 2, kH / 2), expected[0], expected[1], expected[2]));
        const std::vector<uint32_t> plain = f.GrabScreen(true);

        session.renderOption = 1;
        world->staticGeometry->RecreateShaders();
        Frame(*world, camera);
        const std::vector<uint32_t> withDepthPass = f.GrabScreen(true);
        int differing = 0;
        for (size_t i = 0; i < plain.size(); ++i)
            for (int shift : {0, 8, 16}) differing += std::abs(Channel(plain[i], shift) - Channel(withDepthPass[i], shift)) > 2;
        EXPECT_EQ(differing, 0) << std::hex << plain[kW * kH / 2 + kW / 2] << " " << withDepthPass[kW * kH / 2 + kW / 2]
                                << " " << plain[0] << " " << withDepthPass[0];
        Release(world);
    }
}

// Blended, cut-out and additive materials over the background; a quad facing away is not drawn.
TEST_F(WorldDraw, BlendedCutOutAndAdditiveMaterials) {
    ASSERT_TRUE(WriteSolidTexture("Textures/Glass.ZKT", 0x80C80000u)); // 200, 0, 0 at half alpha
    ASSERT_TRUE(WriteSolidTexture("Textures/Neon.ZKT", 0xFF006400u));  // 0, 100, 0
    ASSERT_TRUE(WriteSolidTexture("Textures/Opaque.ZKT", 0xFFC8C8C8u));
    {
        // Left half see-through, right half green.
        std::vector<uint32_t> fence(64);
        for (int i = 0; i < 64; ++i) fence[size_t(i)] = (i % 8) < 4 ? 0x00FFFFFFu : 0xFF00C800u;
        tools::ZktTexture z = tools::ArgbTexture(8, 8, fence);
        z.mayCompress = 0;
        ASSERT_TRUE(tools::WriteZkt("Textures/Fence.ZKT", z));
    }
    Scene s;
    const uint32_t glass = s.Material(int32_t(s.Texture("Glass.ZKT")), 0x02);
    const uint32_t fence = s.Material(int32_t(s.Texture("Fence.ZKT")), 0x10);
    const uint32_t neon = s.Material(int32_t(s.Texture("Neon.ZKT")), 0x20);
    const uint32_t opaque = s.Material(int32_t(s.Texture("Opaque.ZKT")), 0);
    s.Wall(glass, -120, -60, -40, 40, 300);
    s.Wall(fence, -40, 40, -40, 40, 300);
    s.Wall(neon, 60, 120, -40, 40, 300);
    s.Wall(opaque, -120, 120, 60, 100, 300, true); // its back to the camera
    PlainLight();
    auto world = Load(s.w);
    Camera camera = View({0, 0, 0}, {0, 0, 1});
    // As loaded, and with the world's own stages (ground shadow and lighting) that every later
    // registration gives the city, as the game's video-mode change at its start does.
    // The frame clears to the camera's fog colour, which the sky sets for the next frame.
    for (const char* registration : {"as loaded", "registered again"}) {
        SCOPED_TRACE(registration);
        if (registration[0] == 'r') world->staticGeometry->RecreateShaders();
        const Color bg = camera.fogColor;
        Frame(*world, camera);
        EXPECT_TRUE(Near(PixelAt(camera, {-90, 0, 300}), (200 + bg.r) / 2, bg.g / 2, bg.b / 2));
        EXPECT_TRUE(Near(PixelAt(camera, {-20, 0, 300}), bg.r, bg.g, bg.b)); // cut out
        EXPECT_TRUE(Near(PixelAt(camera, {20, 0, 300}), 0, 200, 0));
        EXPECT_TRUE(Near(PixelAt(camera, {90, 0, 300}), bg.r, std::min(100 + bg.g, 255), bg.b));
        EXPECT_TRUE(Near(PixelAt(camera, {0, 80, 300}), bg.r, bg.g, bg.b)); // the back face
    }
    Release(world);
}

// Near geometry keeps its lit colour; geometry at the far plane takes the fog colour, with the
// shaders and without, whether the camera fogs (under water) or not (the game's camera above
// water, whose horizon must still fade into the sky's colour); what is drawn after the city
// gets the camera's own fog back.
TEST_F(WorldDraw, FadesIntoTheFogAtTheFarPlane) {
    ASSERT_TRUE(WriteSolidTexture("Textures/Wall.ZKT", 0xFFC8C8C8u));
    Scene s;
    const uint32_t m = s.Material(int32_t(s.Texture("Wall.ZKT")), 0, {255, 255, 255, 255}, {0, 0, 0, 255});
    s.Wall(m, -300, -10, -20, 100, 500);
    s.Wall(m, 10, 600, -50, 150, 990);
    // Half the light from all round, a quarter more from behind the camera onto the walls.
    const float ambient[3] = {0.5f, 0.5f, 0.5f}, diffuse[3] = {0.25f, 0.25f, 0.25f};
    const int lit = int(std::lround(200.0f * 0.75f));
    for (bool shaders : {true, false})
        for (bool cameraFog : {true, false}) {
            SCOPED_TRACE(std::string(shaders ? "world shaders" : "fixed function") +
                         (cameraFog ? ", camera fog" : ", camera without fog"));
            Light({0, 0, -1}, ambient, diffuse);
            auto world = Load(s.w, shaders);
            Camera camera = View({0, 50, 0}, {0, 0, 1}, 1000.0f);
            camera.EnableFog(cameraFog);
            camera.SetFogColor(Color::FromBytes(255, 0, 255, 255));
            // The camera's fog takes the colour it had when the frame began; without it the city
            // fogs into the colour the sky gives the camera as the world draws.
            const Color fog = cameraFog ? camera.fogColor : world->skies[size_t(session.timeOfDay)].colour;
            Frame(*world, camera, [&] { EXPECT_EQ(f.CachedRenderState(gfx::rs::FOGENABLE), cameraFog ? 1u : 0u); });
            EXPECT_TRUE(Near(PixelAt(camera, {-100, 40, 500}), lit, lit, lit));
            EXPECT_TRUE(Near(PixelAt(camera, {100, 60, 990}), fog.r, fog.g, fog.b, 16));
            Release(world);
        }
}

// The sky of the time of day: looking straight down shows its mirrored dome (drawn with reversed
// winding), and the camera's fog colour becomes the sky's.
TEST_F(WorldDraw, SkyDomeAndFogColourFollowTheTimeOfDay) {
    std::filesystem::create_directories("Models");
    ASSERT_TRUE(tools::WriteZkm("Models/Sky.ZKM", tools::SkyDomeModel("Sky.ZKT", 100.0f, 16, 6)));
    const uint32_t tops[4] = {0xFFE0C0D0u, 0xFF3070C0u, 0xFF203040u, 0xFF101018u};
    const char* folders[4] = {"Morning", "Afternoon", "Evening", "Night"};
    for (int i = 0; i < 4; ++i) {
        std::filesystem::create_directories(std::string("Textures/") + folders[i]);
        const std::string path = std::string("Textures/") + folders[i] + "/Sky.ZKT";
        ASSERT_TRUE(tools::WriteZkt(path.c_str(), tools::GradientTexture(tops[i], 0xFF808080u)));
    }
    Scene s;
    PlainLight();
    auto world = Load(s.w);
    for (int time : {0, 1, 3}) {
        SCOPED_TRACE(time);
        session.timeOfDay = time;
        Camera down = View({0, 0, 0}, {0, -1, 0});
        Frame(*world, down);
        EXPECT_EQ(down.fogColor, world->skies[size_t(time)].colour);
        // The mirrored dome's top lies straight below.
        const uint32_t top = tops[time];
        EXPECT_TRUE(Near(Pixel(kW / 2, kH / 2), Channel(top, 16), Channel(top, 8), Channel(top, 0), 6));
    }
    Release(world);
}

// Lamp halos show from light detail 2, their pools of light only at night; a knocked lamp is
// dark until its post is back home.
TEST_F(WorldDraw, LampHalosAndPoolsOfLight) {
    ASSERT_TRUE(WriteSolidTexture("Textures/Ground.ZKT", 0xFF404040u));
    Scene s;
    s.Quad(0, {-2000, 0, -2000}, {-2000, 0, 2000}, {2000, 0, 2000}, {2000, 0, -2000}, {0, 1, 0});
    const uint32_t lampKind = AddKind(s.w, {3, 60, 3}, 0x04 | 0x01, 100.0f);
    const uint32_t post = Place(s.w, lampKind, {0, 0, 300});
    s.w.worldLights.push_back({{Vector3(30, 50, 0)}, post});
    PlainLight();
    auto world = Load(s.w);
    ASSERT_EQ(world->lights.size(), 1u);
    WorldObject& object = world->objects->Object(int32_t(post));
    const Vector3 halo(30, 50, 300);
    Camera front = View({30, 50, 0}, {0, 0, 1});
    Camera above = View({100, 300, 300}, {0, -1, 0});

    struct Case {
        int32_t detail, time;
        bool knocked, halo, pool;
    } cases[] = {
        {3, 0, false, true, false}, {2, 1, false, true, false}, {1, 0, false, false, false},
        {3, 3, false, true, true},  {1, 3, false, false, false}, {3, 3, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "detail " << c.detail << " time " << c.time << (c.knocked ? " knocked" : ""));
        session.lightDetail = c.detail;
        session.timeOfDay = c.time;
        if (c.knocked)
            for (ObjectExtension* e = object.Extensions(); e; e = e->next) e->OnDisturbed();
        Frame(*world, front);
        const uint32_t h = PixelAt(front, halo);
        EXPECT_EQ(Channel(h, 16) > 200 && Channel(h, 8) > 200, c.halo);
        Frame(*world, above);
        const uint32_t g = Pixel(kW / 2, kH / 2);
        EXPECT_EQ(Channel(g, 8) > 0x60, c.pool) << Channel(g, 8);
        if (c.knocked) {
            // Home again (out of view): lit once more.
            object.Update();
            Frame(*world, front);
            const uint32_t back = PixelAt(front, halo);
            EXPECT_TRUE(Channel(back, 16) > 200 && Channel(back, 8) > 200);
        }
    }
    Release(world);
}

} // namespace
