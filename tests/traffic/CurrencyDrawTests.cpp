// The currency symbol drawn by the real GL device (offscreen): above a waiting fare it shows its
// texture tinted green for a near destination and red for a far one; a riding fare shows none.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "engine/render/D3D8RenderFacility.h"
#include "game/traffic/CurrencyPedestrian.h"
#include "game/traffic/PedestrianType.h"
#include "game/world/GameSession.h"
#include "game/world/LevelData.h"
#include "game/world/World.h"
#include "tests/support/TestSupport.h"
#include "tests/world/RenderTestSupport.h"
#include "tools/writers/MeshShapes.h"
#include "tools/writers/MeshWriter.h"

namespace {

constexpr int kW = 160, kH = 120;

int Channel(uint32_t argb, int shift) { return int((argb >> shift) & 0xFF); }

TEST(CurrencyDraw, TheSymbolShowsGreenNearRedFarAndNoneWhileRiding) {
    auto facility = world_testing::OffscreenFacility(kW, kH);
    ASSERT_TRUE(facility->DeviceReady());
    testing_support::TempWorkDir dir;
    std::filesystem::create_directories("Models");
    std::filesystem::create_directories("Pedestrians/PED01");
    ASSERT_TRUE(tools::WriteZkm("Models/Currency.ZKM", tools::CurrencyModel("Currency.ZKT")));
    ASSERT_TRUE(world_testing::WriteSolidTexture("Textures/Currency.ZKT", 0xFFFFFFFFu));
    world_testing::EngineOn engine{facility.get()};
    GameSession session;
    World world(session, engine.Services());
    PedestrianType type(SharedString("PED01.VQP"), engine.Services());
    PedestrianSite site;
    site.world = &world;
    for (float d : {0.0f, 15000.0f}) {
        DropPoint to;
        to.position = Vector3(d, 0, 0);
        world.dropPoints.push_back(to);
    }

    struct Row {
        int32_t destination;
        bool riding;
        int red, green;  // -1: the cleared screen shows through
    } rows[] = {{0, false, 0, 255}, {1, false, 255, 0}, {0, true, -1, -1}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "destination " << row.destination << (row.riding ? ", riding" : ""));
        LocalCurrencyPedestrian fare(type, site);
        fare.SetPosition(Vector3(0, 0, 0));
        fare.SetDestination(row.destination);
        fare.OnAdded(static_cast<ObjectQuadTree&>(world));
        if (row.riding) fare.state = Fare::InCab;
        // Looking at the symbol from in front, as it stands at the start of its turn.
        fare.bobClock = 0.0f;
        const Matrix4 at = fare.SymbolMatrix();
        const Vector3 symbol(at.m[3][0], at.m[3][1], at.m[3][2]);
        Camera camera = world_testing::LookingCamera(symbol + Vector3(0, 0, 30), Vector3(0, 0, -1), kW, kH);
        auto centre = [&](bool draw) {
            for (int frame = 0; frame < 2; ++frame) {
                facility->PushState(&camera);
                facility->Clear(kClearTarget | kClearDepth);
                if (draw) fare.Draw(world, camera);
                facility->PopState();
            }
            uint32_t p = 0;
            facility->Device()->ReadPixels(true, kW / 2, kH / 2, 1, 1, &p);
            return p;
        };
        const uint32_t cleared = centre(false), p = centre(true);
        SCOPED_TRACE(testing::Message() << "pixel " << Channel(p, 16) << ", " << Channel(p, 8) << ", " << Channel(p, 0));
        if (row.red < 0) {
            EXPECT_EQ(p & 0xFFFFFFu, cleared & 0xFFFFFFu);
            continue;
        }
        EXPECT_NEAR(Channel(p, 16), row.red, 3);
        EXPECT_NEAR(Channel(p, 8), row.green, 3);
        EXPECT_NEAR(Channel(p, 0), 0, 3);
    }
}

}  // namespace
