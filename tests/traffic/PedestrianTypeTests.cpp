// Pedestrian kinds: found by listing the .VQP files, flagged by their names' prefixes, loaded
// from their folders; a missing animation never gives an endless walking speed.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/render/BoneAnimation.h"
#include "engine/render/D3D8Mesh.h"
#include "engine/render/MeshFactory.h"
#include "game/traffic/PedestrianType.h"
#include "tests/support/TestSupport.h"
#include "tools/writers/MeshShapes.h"
#include "tools/writers/MeshWriter.h"

namespace {

using testing_support::LogCapture;
using testing_support::TempWorkDir;

class PedestrianTypeTest : public ::testing::Test {
protected:
    void SetUp() override { MeshFactory::Instance().ClearForTests(); }
    void TearDown() override { MeshFactory::Instance().ClearForTests(); }
    TempWorkDir dir;
    EngineServices engine;
};

TEST_F(PedestrianTypeTest, FlagsComeFromNamePrefixesAndOnlyUnflaggedKindsAreOrdinary) {
    struct Case {
        const char* name;
        uint8_t flags;
        bool ordinary;
    } cases[] = {
        {"PED01", 0x00, true},   {"PED08", 0x01, false}, {"PED080", 0x01, false}, {"MOB", 0x0A, false},
        {"MOB2", 0x0A, false},   {"PED13", 0x04, false}, {"PED17", 0x04, false},  {"PED12", 0x00, true},
        {"PED18", 0x00, true},   {"PED05", 0x10, true},  {"PED050", 0x10, true},  {"PED06", 0x10, true},
        {"TONY", 0x60, false},   {"HERMES", 0xA0, false}, {"XPED05", 0x00, true}, {"mob", 0x00, true},
        {"Walker", 0x00, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        dir.WriteBytes(std::string("Pedestrians/") + c.name + ".VQP", "");
    }
    std::vector<std::unique_ptr<PedestrianType>> types = LoadPedestrianTypes(engine);
    ASSERT_EQ(types.size(), std::size(cases));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const PedestrianType* found = nullptr;
        for (const auto& t : types)
            if (t->name == c.name) found = t.get();
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found->flags, c.flags);
        EXPECT_EQ(found->IsOrdinary(), c.ordinary);
    }
    for (size_t i = 1; i < types.size(); ++i) EXPECT_TRUE(types[i - 1]->name < types[i]->name);
}

TEST_F(PedestrianTypeTest, AnEmptyFolderGivesNoKinds) {
    dir.WriteBytes("Pedestrians/readme.txt", "not a kind");
    EXPECT_TRUE(LoadPedestrianTypes(engine).empty());
}

TEST_F(PedestrianTypeTest, AKindLoadsItsBodyAnimationsAndVoices) {
    dir.WriteBytes("Pedestrians/PED01.VQP", "");
    std::filesystem::create_directories("Pedestrians/PED01");
    ASSERT_TRUE(tools::WriteZkm("Pedestrians/PED01/Body.ZKM", tools::FigureModel("Figure.ZKT")));
    for (const char* a : {"Walk", "Run", "Jump", "get_in", "get_out", "Idle", "Wave1", "Wave2"})
        ASSERT_TRUE(tools::WriteZka(SharedString::Format("Pedestrians/PED01/%s.ZKA", a), tools::WaveAnimation(4, 0.25f)));
    dir.WriteBytes("Pedestrians/PED01/English/Pickup1.wav", "x");
    dir.WriteBytes("Pedestrians/PED01/English/Pickup2.wav", "x");
    dir.WriteBytes("Pedestrians/PED01/English/Jump1.wav", "x");

    std::vector<std::unique_ptr<PedestrianType>> types = LoadPedestrianTypes(engine);
    ASSERT_EQ(types.size(), 1u);
    const PedestrianType& t = *types[0];
    EXPECT_EQ(t.name, "PED01");
    ASSERT_NE(t.body, nullptr);
    EXPECT_GT(t.size.y, 0.0f);
    EXPECT_FLOAT_EQ(t.size.y, t.body->Bounds().halfExtents.y * 2.0f);
    EXPECT_EQ(t.footOffset.y, t.body->Bounds().centre.y);
    EXPECT_FLOAT_EQ(t.walk->GetLength(), 1.0f);
    EXPECT_FLOAT_EQ(t.SpeedLength(t.walk.get()), 1.0f);
    EXPECT_EQ(t.waves.size(), 2u);
    ASSERT_NE(t.idle, nullptr);
    EXPECT_EQ(t.getIn2, nullptr);  // optional files that are not there
    EXPECT_EQ(t.getIn3, nullptr);
    EXPECT_EQ(t.fire, nullptr);    // an ordinary kind loads no category animations
    EXPECT_EQ(t.voices[PedestrianType::Pickup].size(), 2u);
    EXPECT_EQ(t.voices[PedestrianType::Jump].size(), 1u);
    EXPECT_TRUE(t.voices[PedestrianType::Run].empty());
}

TEST_F(PedestrianTypeTest, AMissingAnimationCountsAsOneSecondAndIsReportedOnce) {
    dir.WriteBytes("Pedestrians/PED02.VQP", "");
    LogCapture log;
    std::vector<std::unique_ptr<PedestrianType>> types = LoadPedestrianTypes(engine);
    ASSERT_EQ(types.size(), 1u);
    const PedestrianType& t = *types[0];
    ASSERT_NE(t.walk, nullptr);
    EXPECT_EQ(t.walk->GetLength(), 0.0f);
    log.Clear();
    EXPECT_EQ(t.SpeedLength(t.walk.get()), 1.0f);
    EXPECT_EQ(t.SpeedLength(t.run.get()), 1.0f);
    EXPECT_EQ(t.SpeedLength(nullptr), 1.0f);
    int reports = 0;
    for (const std::string& line : log.Lines()) reports += line.find("PED02 has an empty or missing animation") != std::string::npos;
    EXPECT_EQ(reports, 1);
}

}  // namespace
