// The car drawn by the real GL device (offscreen), seen through the chase camera's view 0: its
// +x side on the screen's left, its brake-light halo, its shadow on the road, and nothing at
// all while the view hides the player's own car; the missile launcher's sight over the picture;
// the demo's blast.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "engine/render/D3D8Mesh.h"
#include "engine/render/D3D8RenderFacility.h"
#include "engine/render/MatrixStack.h"
#include "engine/render/SpriteRenderer.h"
#include "engine/render/Sprite.h"
#include "game/vehicles/Explosion.h"
#include "game/vehicles/Launchers.h"
#include "game/vehicles/PlayerController.h"
#include "game/vehicles/Weapons.h"
#include "game/vehicles/VehicleResources.h"
#include "tests/vehicles/VehicleTestSupport.h"
#include "tools/demo/DemoTree.h"
#include "tools/writers/ZktWriter.h"

using namespace vehicle_test;

namespace {

constexpr int W = 160, H = 120;

D3D8RenderFacility& Facility() {
    static std::unique_ptr<D3D8RenderFacility> f = [] {
        auto r = std::make_unique<D3D8RenderFacility>();
        r->ChooseDevice(-1);
        r->RequestMode({W, H, 32, 60});
        r->CreateDevice(false);
        if (!r->DeviceReady()) abort();
        return r;
    }();
    return *f;
}

void WriteTexture(const std::string& path, uint32_t argb) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    tools::ZktTexture t = tools::ArgbTexture(8, 8, std::vector<uint32_t>(64, argb));
    t.mayCompress = 0;
    ASSERT_TRUE(tools::WriteZkt(path.c_str(), t));
}

int Brightness(uint32_t p) { return int((p >> 16) & 0xFF) + int((p >> 8) & 0xFF) + int(p & 0xFF); }

class VehicleRender : public VehicleTest {
protected:
    void SetUp() override {
        flat.engine.services.renderer = &f;
        ZKEngine::Instance().rendererReady = true;
        f.SetCullMode(1);
        WriteTexture("Textures/Body.ZKT", 0xFF2040A0u);
        WriteTexture("Textures/Wheel.ZKT", 0xFF202020u);
        WriteTexture("Textures/Road.ZKT", 0xFF808080u);
        WriteTexture("Textures/Halo01.ZKT", 0xFFFF0000u);
        WriteTexture("Textures/Halo02.ZKT", 0xFFFFFFFFu);
        VehicleTest::SetUp();
        WriteModel("Models/Road.ZKM", tools::GroundModel("Road.ZKT", 9, 2000.0f));
        road.reset(MeshFactory::Instance().GetByName(SharedString("Models\\Road.ZKM"), true));
        car = flat.AddCar(taxi);
        player = std::make_unique<PlayerController>(flat.context);
        player->camera = &flat.camera;
        player->AttachVehicle(car);
        flat.context.localDriver = player.get();
        flat.camera.SetTarget(car);
        flat.camera.SetViewport(Rect{0, 0, W, H});
        flat.session.lightDetail = 1;
        flat.Frames(20);
    }
    void TearDown() override {
        player.reset();
        flat.context.ownedVehicles.clear();
        flat.context.resources.reset();
        road.reset();
        flat.engine.services.renderer = nullptr;
        ZKEngine::Instance().rendererReady = false;
    }
    // Settles the camera and draws the road and the car; no frames: the car's frame work runs
    // without time passing.
    void Draw(int frames = 40) {
        if (frames == 0) car->Update(flat.world, &flat.camera, 0.0f);
        for (int i = 0; i < frames; ++i) {
            car->SetBrake(brake);
            flat.Frame();
            flat.camera.Update(Step);
        }
        f.PushState(&flat.camera);
        f.Clear(kClearTarget | kClearDepth | kClearStencil);
        f.GetMatrixStack()->LoadIdentity();
        road->Render();
        car->Draw(flat.world, flat.camera);
        f.PopState();
        f.GetMatrixStack()->LoadIdentity();
    }
    uint32_t Pixel(int x, int y) {
        uint32_t p = 0;
        f.Device()->ReadPixels(true, x, y, 1, 1, &p);
        return p;
    }
    std::vector<uint32_t> Screen() { return f.GrabScreen(true); }

    D3D8RenderFacility& f = Facility();
    std::unique_ptr<D3D8Mesh> road;
    Vehicle* car = nullptr;
    std::unique_ptr<PlayerController> player;
    float brake = 0.0f;
};

} // namespace

TEST_F(VehicleRender, TheCarsLeftSideIsOnTheScreensLeftAndItsBrakeLightGlows) {
    ASSERT_NE(road, nullptr);
    brake = 1.0f;
    Draw();
    ASSERT_GT(car->effects.brakeLights[0].intensity, 0.99f);
    // The only brake light sits at +x, the driver's left: seen from behind it is on the left.
    const Vector3 light = car->GetPosition() + car->GetOrientation().ToMatrix().TransformNormal(Vector3(6, 5, 22.5f));
    const Vector2 at = flat.camera.Project(light);
    EXPECT_LT(at.x, W * 0.5f);
    const uint32_t p = Pixel(int(at.x), int(at.y));
    const Vector2 mirror = flat.camera.Project(light - Vector3(12, 0, 0));
    EXPECT_GT(mirror.x, W * 0.5f);
    const uint32_t q = Pixel(int(mirror.x), int(mirror.y));
    EXPECT_GT(int((p >> 16) & 0xFF), int((q >> 16) & 0xFF) + 100) << std::hex << p << " glows red, " << q << " does not";
}

TEST_F(VehicleRender, TheShadowDarkensTheRoadBesideTheCar) {
    // Seen from the side and above: the light comes from behind the viewer, the shadow falls
    // beyond the car.
    flat.camera.SetCameraIndex(ChaseCamera::LookAtView);
    flat.camera.position = car->GetPosition() + Vector3(90, 70, 0);
    flat.camera.lookAtPoint = car->GetPosition();
    Draw();
    const std::vector<uint32_t> plain = Screen();
    flat.session.shadowDetail = 1;
    Draw(0);
    const std::vector<uint32_t> shaded = Screen();
    ASSERT_EQ(plain.size(), shaded.size());
    int darker = 0, lighter = 0;
    for (size_t i = 0; i < plain.size(); ++i) {
        if (Brightness(shaded[i]) + 30 < Brightness(plain[i])) ++darker;
        if (Brightness(shaded[i]) > Brightness(plain[i]) + 30) ++lighter;
    }
    EXPECT_GT(darker, 40);
    EXPECT_EQ(lighter, 0) << darker;
    EXPECT_EQ(shaded[0], plain[0]) << "the far road keeps its colour";
}

TEST_F(VehicleRender, NothingOfThePlayersCarIsDrawnWhileTheViewHidesIt) {
    brake = 1.0f;
    Draw();
    const std::vector<uint32_t> withCar = Screen();
    flat.camera.viewCar = false;
    Draw(1);
    const std::vector<uint32_t> hidden = Screen();
    flat.context.ownedVehicles.clear();
    car = nullptr;
    f.PushState(&flat.camera);
    f.Clear(kClearTarget | kClearDepth | kClearStencil);
    f.GetMatrixStack()->LoadIdentity();
    road->Render();
    f.PopState();
    EXPECT_EQ(hidden, Screen());
    EXPECT_NE(withCar, hidden);
}

TEST_F(VehicleRender, TheMissileSightShowsOverTheFinishedPicture) {
    // A frame as the game draws it: the world (the road, the car, then more of the world after
    // the car: the road again), then the HUD. The sight shows in its own colour where the
    // launcher aims, over everything the world drew.
    WriteTexture("Textures/Crosshair.ZKT", 0xFF20FF20u);
    InstallWeaponFactories(flat.context);
    car->SetWeapon(flat.context.itemPools[ItemKind::MissileLauncher].Take());
    auto* launcher = dynamic_cast<MissileWeapon*>(car->items.weapon);
    ASSERT_NE(launcher, nullptr);
    ASSERT_NE(launcher->aimSprites[AimMark::Crosshair], nullptr);
    EXPECT_EQ(launcher->aimSprites[AimMark::Crosshair]->width, 8) << "the sight is the texture of that name";
    Draw();
    const AimMark mark = launcher->Aim(flat.camera);
    ASSERT_EQ(mark.kind, AimMark::Crosshair);
    ASSERT_GT(mark.centre.x, 10.0f);
    ASSERT_LT(mark.centre.x, W - 10.0f);
    ASSERT_GT(mark.centre.y, 10.0f);
    ASSERT_LT(mark.centre.y, H - 10.0f);
    auto frame = [&](bool world) {
        f.BeginScene();
        f.PushState(&flat.camera);
        f.Clear(kClearTarget | kClearDepth | kClearStencil);
        if (world) {
            f.GetMatrixStack()->LoadIdentity();
            road->Render();
            car->Draw(flat.world, flat.camera);
            road->Render();
        }
        f.PopState();
        player->DrawHud();
        f.EndScene();
    };
    auto shown = [&](float x, float y) {
        uint32_t p = 0;
        f.Device()->ReadPixels(false, int(x), int(y), 1, 1, &p);
        return p;
    };
    frame(true);
    frame(true);
    // An 18-pixel square of the sight's colour round the mark, and no more.
    const uint32_t green = 0x20FF20u;
    for (const float d : {-8.0f, 0.0f, 8.0f}) {
        EXPECT_EQ(shown(mark.centre.x + d, mark.centre.y) & 0xFFFFFFu, green) << d;
        EXPECT_EQ(shown(mark.centre.x, mark.centre.y + d) & 0xFFFFFFu, green) << d;
    }
    EXPECT_NE(shown(mark.centre.x + 11.0f, mark.centre.y) & 0xFFFFFFu, green);
    // Drawn once per view: a HUD over a picture without the car shows none.
    frame(false);
    EXPECT_EQ(shown(mark.centre.x, mark.centre.y), shown(1, 1));
}

TEST_F(VehicleRender, TheDemosBlastAddsLightToWhatIsBehindIt) {
    // The demo's explosion model and texture: a growing blast in front of the car brightens the
    // road and sky behind it, nowhere darkens them.
    for (const tools::DemoStep& step : tools::DemoSteps())
        if (std::string(step.name) == "blast") ASSERT_TRUE(step.write("."));
    const Vector3 ahead = car->GetPosition() + car->GetOrientation().ToMatrix().TransformNormal(Vector3(0, 0, -300));
    Draw();
    auto frame = [&] {
        f.BeginScene();
        f.PushState(&flat.camera);
        f.Clear(kClearTarget | kClearDepth | kClearStencil);
        f.GetMatrixStack()->LoadIdentity();
        road->Render();
        if (flat.context.explosions)
            for (Explosion* e : flat.context.explosions->pool.Live()) e->Draw(flat.camera);
        f.PopState();
        f.EndScene();
        return f.GrabScreen(false);
    };
    frame();
    const std::vector<uint32_t> before = frame();
    Explosion::Spawn(flat.context, nullptr, ahead + Vector3(0, 30, 0), Explosion::WreckStart, Explosion::WreckMaximum,
                     Explosion::WreckGrowth, false);
    flat.Frames(8);
    ASSERT_EQ(flat.context.explosions->pool.Live().size(), 1u);
    ASSERT_NE(flat.context.explosions->mesh, nullptr);
    frame();
    const std::vector<uint32_t> after = frame();
    ASSERT_EQ(before.size(), after.size());
    int brighter = 0, darker = 0;
    for (size_t i = 0; i < before.size(); ++i) {
        if (Brightness(after[i]) > Brightness(before[i]) + 30) ++brighter;
        if (Brightness(after[i]) + 30 < Brightness(before[i])) ++darker;
    }
    EXPECT_GT(brighter, 100) << "the fire shows";
    EXPECT_EQ(darker, 0) << "a blast only adds light";
}
