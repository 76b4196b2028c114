// Placed objects drawn through the real GL facility, offscreen.
#include "tests/world/EffectsTestSupport.h"
#include "tests/world/WorldTestSupport.h"

using namespace effects_test;

TEST_F(EffectsTest, APlacedObjectDrawsWhereItStands) {
    tools::WorldFile file = world_testing::FlatWorld(500.0f);
    file.objectMaterials[0].flags = 0x08; // unlit: the plain vertex colour
    const uint32_t box = world_testing::AddKind(file, {10, 10, 10}, 0x00, 0.0f);
    world_testing::Place(file, box, {0, 40, 0});
    GameSession session;
    {
        World world(session, engine.services);
        ASSERT_FALSE(world_testing::LoadWorld(world, file).failed) << ::testing::PrintToString(log.Lines());
        Camera camera = LookAt(Vector3(0, 40, 60), Vector3(0, 40, 0));
        world.objects->BeginFrame(&camera);
        world.Cull(camera);
        ASSERT_EQ(world.objects->OpaqueQueue().size(), 1u);
        BeginFrame(camera);
        world.objects->DrawOpaque(camera);
        const std::vector<uint32_t> shot = EndFrame();
        EXPECT_EQ(world.objects->Object(0).fadeAlpha, 255u);
        EXPECT_NE(At(shot, kW / 2, kH / 2), 0u) << "the box covers the middle";
        EXPECT_EQ(At(shot, 1, 1), 0u) << "and not the corner";
    }
}
