// The quick free drive started on a demo tree with one file damaged, at the default warning
// level: the reason is always in the log, and without a world no game starts.
#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>
#include <random>
#include <string>

#include "tests/support/GameHarness.h"

using testing_support::GameHarness;

namespace {

constexpr uint32_t kQuickStart = 51; // the main page's quick-start key

enum class Damage { Truncated, Random, Deleted };

struct DamagedFile {
    const char* name;
    const char* file; // relative to the tree
    Damage damage;
    const char* line; // a part of the line the log must hold
    bool gameStarts;
};

void Spoil(const std::filesystem::path& path, Damage damage) {
    namespace fs = std::filesystem;
    ASSERT_TRUE(fs::exists(path)) << path;
    const auto size = fs::file_size(path);
    switch (damage) {
    case Damage::Truncated: fs::resize_file(path, size / 2); break;
    case Damage::Deleted: fs::remove(path); break;
    case Damage::Random: {
        std::mt19937 random(7);
        std::string bytes(size, '\0');
        for (char& c : bytes) c = char(random());
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        break;
    }
    }
}

void PrintTo(const DamagedFile& c, std::ostream* out) { *out << c.name; }

class DamagedTreeRun : public ::testing::TestWithParam<DamagedFile> {};

} // namespace

TEST_P(DamagedTreeRun, TheReasonIsLoggedAndNoGameRunsWithoutAWorld) {
    const DamagedFile& c = GetParam();
    GameHarness harness(METROFARE_DEMO_BINARY);
    ASSERT_TRUE(harness.TreeWritten());
    Spoil(std::filesystem::path(harness.Root()) / c.file, c.damage);
    harness.Tap(3, kQuickStart);

    bool loading = false, played = false, backToMain = false;
    harness.Run(
        [&](GameHarness& h, int32_t) {
            const std::string current = h.CurrentName();
            if (current == "Mission") loading = true;
            if (current == "Game") played = true;
            if (loading && current == "Main") backToMain = true;
            return !played && !backToMain;
        },
        75 * 20);
    EXPECT_TRUE(loading);
    EXPECT_EQ(played, c.gameStarts);
    EXPECT_EQ(backToMain, !c.gameStarts);
    EXPECT_TRUE(harness.LogContains(c.line)) << "no line holds \"" << c.line << "\"";
}

INSTANTIATE_TEST_SUITE_P(
    Files, DamagedTreeRun,
    ::testing::Values(
        DamagedFile{"WorldTruncated", "Maps/World.VQW", Damage::Truncated, "the world could not be loaded", false},
        DamagedFile{"WorldRandom", "Maps/World.VQW", Damage::Random, "World is NOT a VQW file", false},
        DamagedFile{"WorldDeleted", "Maps/World.VQW", Damage::Deleted, "Failed loading world", false},
        DamagedFile{"LightsTruncated", "Misc/1.LIT", Damage::Truncated, "LIGHTS: Misc\\1.LIT", true},
        DamagedFile{"LightsDeleted", "Misc/1.LIT", Damage::Deleted, "LIGHTS: Misc\\1.LIT", true},
        DamagedFile{"SkyPointTruncated", "Misc/1.CSS", Damage::Truncated, "Misc\\1.CSS is damaged", true},
        DamagedFile{"SkyPointRandom", "Misc/1.CSS", Damage::Random, "Misc\\1.CSS is damaged", true},
        DamagedFile{"CameraRecordsTruncated", "Misc/CameraData.cut", Damage::Truncated, "CameraData.cut is cut short",
                    true},
        DamagedFile{"WorldShaderRandom", "Misc/zkWorld2.vso", Damage::Random, "World vertex shader missing or refused",
                    true},
        DamagedFile{"WorldShaderDeleted", "Misc/zkWorld2.vso", Damage::Deleted,
                    "World vertex shader missing or refused", true}),
    [](const ::testing::TestParamInfo<DamagedFile>& info) { return std::string(info.param.name); });
