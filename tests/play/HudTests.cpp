// The free drive's HUD drawn by the real GL device (offscreen) with the demo tree's art: each
// needle points where its dial's numbers put the reading it shows, and the map window shows the
// city round the car, the car's own spot under the arrow. Each test makes its own device: the
// HUD's art is loaded again with it, never drawn from a device that is gone.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/render/D3D8RenderFacility.h"
#include "engine/render/SpriteRenderer.h"
#include "game/play/Game.h"
#include "game/vehicles/CarCatalogue.h"
#include "game/vehicles/CarDefinition.h"
#include "game/vehicles/Vehicle.h"
#include "tests/support/FakeInputDevice.h"
#include "tests/support/FakeMenuExits.h"
#include "tests/support/TestSupport.h"
#include "tests/world/RenderTestSupport.h"
#include "tools/writers/WorldWriter.h"

namespace {

constexpr int kW = 400, kH = 300, kMapSize = 256;

int Channel(uint32_t argb, int shift) { return int((argb >> shift) & 0xFF); }

class HudTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(facility->DeviceReady());
        ASSERT_EQ(std::system((std::string(METROFARE_DEMO_BINARY) + " . > demo.log").c_str()), 0);
        engine = std::make_unique<world_testing::EngineOn>(facility.get());
        engine->doubles.services.input = &input;
        game = std::make_unique<Game>(engine->Services(), &exits, &services);
        for (int calls = 0; !game->IsReady() && calls < 10000; ++calls) game->Load();
        ASSERT_TRUE(game->IsReady());
        ASSERT_FALSE(game->world.LoadFailed());
        game->session.gameType = 12;
        game->SetMode(std::make_unique<FreeDriveMode>(*game));
    }
    void TearDown() override {
        game.reset();
        engine.reset();
    }

    // The HUD over a black screen, twice, as the game would show it.
    void DrawHud() {
        for (int frame = 0; frame < 2; ++frame) {
            facility->BeginScene();
            facility->Clear(kClearTarget | kClearDepth);
            game->mode->DrawHud();
            facility->EndScene();
        }
    }
    // A pixel of the presented picture, (0, 0) the top left.
    uint32_t At(float x, float y) {
        uint32_t p = 0;
        EXPECT_TRUE(facility->Device()->ReadPixels(false, int32_t(std::lround(x)), int32_t(std::lround(y)), 1, 1, &p));
        return p;
    }
    // Whether the needle's red shows at the pixel or next to it (its edges are filtered).
    bool Red(float x, float y) {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
                const uint32_t p = At(x + float(dx), y + float(dy));
                if (Channel(p, 16) > 180 && Channel(p, 8) < 90 && Channel(p, 0) < 90) return true;
            }
        return false;
    }

    testing_support::TempWorkDir dir;
    std::unique_ptr<D3D8RenderFacility> facility = world_testing::OffscreenFacility(kW, kH);
    std::unique_ptr<world_testing::EngineOn> engine;
    testing_support::FakeInputDevice input;
    testing_support::FakeMenuExits exits;
    testing_support::RecordingFrontEndServices services;
    std::unique_ptr<Game> game;
};

} // namespace

// The dials are numbered in kilometres an hour (a unit is a tenth of a metre) and thousands of
// revolutions a minute, at the angles the HUD turns its needles to: 0.85 degrees a km/h from
// -120, and 24 degrees a thousand from -125 (no lower than -120), clockwise from straight up.
TEST_F(HudTest, TheNeedlesPointAtTheReadingsTheyShow) {
    struct Case {
        float kmh, revs;
    };
    for (const Case c : {Case{0, 0}, Case{100, 3}, Case{250, 8.5f}}) {
        SCOPED_TRACE(::testing::Message() << c.kmh << " km/h, " << c.revs << " thousand");
        game->hud.speed = c.kmh / 0.36f;
        game->hud.revolutions = c.revs;
        DrawHud();
        struct Dial {
            float x, y, radius, degrees;
        } dials[2] = {{64, kH - 64.0f, 30, c.kmh * 0.85f - 120}, {160, kH - 32.0f, 15, std::fmax(c.revs * 24 - 125, -120.0f)}};
        for (const Dial& d : dials) {
            const float a = d.degrees * 3.14159265f / 180.0f;
            EXPECT_TRUE(Red(d.x + std::sin(a) * d.radius, d.y - std::cos(a) * d.radius)) << "dial at " << d.x;
            EXPECT_FALSE(Red(d.x - std::sin(a) * d.radius, d.y + std::cos(a) * d.radius))
                << "dial at " << d.x << ": the needle points the other way";
        }
    }
}

// The map is the city from above over the world's box; in the window the car's own point is
// under the arrow (61 pixels in from the screen's corner) and the city lies round it as round
// the car. Car positions on the map's pixel grid keep the comparison texel for pixel.
TEST_F(HudTest, TheMapWindowShowsTheCityRoundTheCar) {
    const std::vector<uint32_t> map = tools::CityMapPicture(tools::GenerateCity(tools::CityOptions{}), kMapSize);
    const BoundingBox& box = game->world.worldBox;
    const float scale = 2.0f * std::fmax(box.halfExtents.x, box.halfExtents.z) / float(kMapSize);
    for (const auto& [kx, ky] : {std::pair{0, 0}, std::pair{-70, 40}, std::pair{90, -90}}) {
        SCOPED_TRACE(::testing::Message() << "car " << kx << ", " << ky << " map pixels from the centre");
        game->hud.position = Vector3(box.centre.x + float(kx) * scale, 2.0f, box.centre.z - float(ky) * scale);
        DrawHud();
        std::set<uint32_t> seen;
        int wrong = 0;
        for (int dy = -50; dy <= 50; dy += 10)
            for (int dx = -50; dx <= 50; dx += 10) {
                if (std::abs(dx) < 12 && std::abs(dy) < 12) continue;  // the arrow
                const int mx = kMapSize / 2 + kx + dx, my = kMapSize / 2 + ky + dy;
                if (mx < 0 || my < 0 || mx >= kMapSize || my >= kMapSize) continue;  // beyond the map's edge
                const uint32_t want = map[size_t(my) * kMapSize + size_t(mx)];
                const uint32_t got = At(float(kW - 61 + dx), float(kH - 61 + dy));
                seen.insert(want);
                bool same = true;
                for (int shift : {16, 8, 0}) same = same && std::abs(Channel(got, shift) - Channel(want, shift)) <= 8;
                if (!same && ++wrong <= 5)
                    ADD_FAILURE() << "offset " << dx << ", " << dy << ": " << std::hex << got << " on the screen, " << want << " on the map";
            }
        EXPECT_EQ(wrong, 0);
        EXPECT_GE(seen.size(), 2u) << "the window spans more than one kind of ground";
    }
}

// A police car sent after the player shows on the map as a spot that blinks four times a
// second while it lives; a wrecked one does not show.
TEST_F(HudTest, ThePoliceCarsAfterThePlayerBlinkOnTheMap) {
    const std::vector<uint32_t> map = tools::CityMapPicture(tools::GenerateCity(tools::CityOptions{}), kMapSize);
    const BoundingBox& box = game->world.worldBox;
    const float scale = 2.0f * std::fmax(box.halfExtents.x, box.halfExtents.z) / float(kMapSize);
    game->hud.position = Vector3(box.centre.x, 2.0f, box.centre.z);
    game->traffic = std::make_unique<TrafficManager>(game->world, game->vehicles, game->trafficFleet);
    CarDefinition::LoadAll();
    std::unique_ptr<Vehicle> cop = Vehicle::Create(game->vehicles, CarCatalogue::Instance().FindByFlag(kCarPolice));
    ASSERT_NE(cop, nullptr);
    game->world.physics.AddObject(cop.get());
    game->traffic->opponents.push_back(cop.get());
    // A spot 30 pixels right of and 20 below the car on the map, where the map is not white.
    int dx = 30, dy = 20;
    for (; dx < 55; dx += 3) {
        const uint32_t under = map[size_t(kMapSize / 2 + dy) * kMapSize + size_t(kMapSize / 2 + dx)];
        if (Channel(under, 16) < 200 || Channel(under, 8) < 200 || Channel(under, 0) < 200) break;
    }
    cop->SetPosition(Vector3(box.centre.x + float(dx) * scale, 2.0f, box.centre.z - float(dy) * scale));
    auto white = [&](uint32_t p) { return Channel(p, 16) > 230 && Channel(p, 8) > 230 && Channel(p, 0) > 230; };
    struct Case {
        float time;
        float health;
        bool shown;
    } cases[] = {{0.05f, 1.0f, true}, {0.2f, 1.0f, false}, {1.30f, 1.0f, true}, {0.05f, 0.0f, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "at " << c.time << " s, health " << c.health);
        game->timeCurrent = c.time;
        cop->damage.health = cop->damage.maxHealth * c.health;
        DrawHud();
        EXPECT_EQ(white(At(float(kW - 61 + dx), float(kH - 61 + dy))), c.shown);
        EXPECT_FALSE(white(At(float(kW - 61 + dx + 12), float(kH - 61 + dy)))) << "only there";
    }
    game->traffic->opponents.clear();
    game->traffic.reset();
    game->world.physics.RemoveObject(cop.get());
}
