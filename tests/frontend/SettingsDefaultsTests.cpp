// Defaults, profiles and the start-up read.
#include <filesystem>
#include <set>

#include "engine/audio/AudioDevice.h"
#include "tests/frontend/SettingsFixture.h"

using namespace settings_test;

TEST_F(SettingsTest, SetDefaultsGivesEveryValueItsDefault) {
    renderer.modes = {{640, 480, 16, 60}, {640, 480, 32, 60}, {800, 600, 32, 60}};
    settings.displayMode.SetModes(renderer.modes);
    settings.SetDefaults();

    EXPECT_EQ(settings.displayMode.cachedInt, 2);
    const int32_t ints[] = {settings.textureLevel.cachedInt, settings.carEffect.cachedInt,
                            settings.environmentMap.cachedInt, settings.detailLevel.cachedInt,
                            settings.staticGeometryMode.cachedInt, settings.sampleRate.cachedInt,
                            settings.voiceCount.cachedInt};
    EXPECT_EQ(std::vector<int32_t>(std::begin(ints), std::end(ints)), (std::vector<int32_t>{2, 0, 0, 3, 0, 2, 3}));
    EXPECT_EQ(settings.viewDistance.cachedFloat, 0.5f);
    EXPECT_EQ(settings.effectsVolume.cachedFloat, 0.66f);
    EXPECT_EQ(settings.speechVolume.cachedFloat, 0.66f);
    EXPECT_EQ(settings.ambientVolume.cachedFloat, 0.66f);
    EXPECT_EQ(settings.musicVolume.cachedFloat, 1.0f);
    // Each took effect as it was set.
    EXPECT_EQ(sound.sampleRates, (std::vector<int>{44}));
    EXPECT_EQ(sound.voiceCounts, (std::vector<int>{32}));
    EXPECT_EQ(renderer.textures.maxMipLevel, 0);
    EXPECT_FLOAT_EQ(MenuSoundGroup().Value(), 0.66f);
    EXPECT_FLOAT_EQ(MusicVolumeGroup().Value(), 1.0f);

    // [action][scheme] primary / secondary.
    const InputCode expected[kStoredActionCount][kControlSchemeCount][2] = {
        {{70, -1}, {0x101, -1}, {0x402, -1}}, {{71, -1}, {0x100, -1}, {0x403, -1}},
        {{72, -1}, {0x108, -1}, {0x400, -1}}, {{73, -1}, {0x109, -1}, {0x401, -1}},
        {{63, 59}, {63, 59}, {0x406, -1}},    {{57, -1}, {7, -1}, {0x407, -1}},
        {{57, -1}, {57, -1}, {0x408, -1}},    {{1, -1}, {1, -1}, {1, -1}},
        {{55, -1}, {55, -1}, {55, -1}},       {{17, -1}, {17, -1}, {17, -1}},
        {{11, -1}, {11, -1}, {11, -1}},       {{10, -1}, {10, -1}, {10, -1}},
    };
    for (int32_t a = 0; a < kStoredActionCount; ++a)
        for (int32_t s = 0; s < kControlSchemeCount; ++s) {
            SCOPED_TRACE(testing::Message() << "action " << a << " scheme " << s);
            const ActionBinding& b = settings.Binding(s, StoredAction(a));
            EXPECT_EQ(b.primary.code, expected[a][s][0]);
            EXPECT_EQ(b.secondary.code, expected[a][s][1]);
            EXPECT_EQ(b.primary.name, SharedString::Format("Input %d", expected[a][s][0]));
            EXPECT_EQ(b.secondary.name, expected[a][s][1] == -1 ? SharedString("Unbound") : SharedString("Input 59"));
        }
    // Sets 1 to 4 of the action map are left, right, up and down.
    EXPECT_EQ(ActionBindingSet(kActionLeft)[0].primary.code, 72);
    EXPECT_EQ(ActionBindingSet(kActionUp)[1].primary.code, 0x101);

    EXPECT_EQ(settings.furthestEpisode + settings.furthestMission + settings.currentEpisode + settings.currentMission, 0);
    EXPECT_EQ(settings.playerName, "Player");
    EXPECT_EQ(settings.sessionName, "Session");
    EXPECT_EQ(settings.missionCount, 4);
    ASSERT_EQ(settings.scoreTables.size(), 4u);
    const std::set<std::string> names = {"Ace", "Bea", "Cody", "Dot", "Eli"};
    const std::set<std::string> cars = {"Cab", "Taxi", "Van"};
    for (const HighScoreTable& table : settings.scoreTables) {
        ASSERT_EQ(table.size(), 5u);
        for (int32_t i = 0; i < 5; ++i) {
            EXPECT_EQ(table[size_t(i)].score, 200.0f - 20.0f * float(i));
            EXPECT_TRUE(names.count(table[size_t(i)].name.c_str())) << table[size_t(i)].name.c_str();
            EXPECT_TRUE(cars.count(table[size_t(i)].carName.c_str())) << table[size_t(i)].carName.c_str();
        }
    }
    // The page's actions see 1 before the first car and mission.
    EXPECT_EQ(carSeen, (std::vector<int32_t>{1, 0}));
    EXPECT_EQ(missionSeen, (std::vector<int32_t>{1, 0}));
    EXPECT_EQ(settings.carChoice.cachedInt, 0);
    EXPECT_EQ(settings.missionChoice.cachedInt, 0);
}

// A name pool of no names, or no car file, leaves those fields empty.
TEST_F(SettingsTest, EmptyNameOrCarPoolsLeaveTheTableFieldsEmpty) {
    std::filesystem::remove_all("Vehicles");
    for (const char* poolSize : {"1", "0", "none"}) {
        SCOPED_TRACE(poolSize);
        SetTexts(5550000, poolSize);
        settings.SetDefaults();
        ASSERT_EQ(settings.scoreTables.size(), 4u);
        for (const HighScoreTable& table : settings.scoreTables)
            for (const HighScoreEntry& e : table) {
                EXPECT_TRUE(e.name.IsEmpty());
                EXPECT_TRUE(e.carName.IsEmpty());
            }
        EXPECT_EQ(settings.scoreTables[0][4].score, 120.0f);
    }
}

TEST_F(SettingsTest, ProfilesAreTheOtherSettingsFilesInOrder) {
    struct Case {
        std::vector<const char*> files;
        std::vector<std::string> profiles;
    } cases[] = {
        {{"Misc/dEfAuLt.vqs"}, {}},
        {{"Misc/DEFAULT.VQS", "Misc/beta.VQS", "Misc/Alpha.VQS"}, {"Alpha", "beta"}},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all("Misc");
        for (const char* f : c.files) dir.WriteBytes(f, VqsBytes(4));
        settings.Init();
        std::vector<std::string> got;
        for (const SharedString& p : settings.profileList) got.emplace_back(p.c_str());
        EXPECT_EQ(got, c.profiles);
        EXPECT_EQ(settings.currentProfile, -1);
        // The file the default file stands for was read.
        EXPECT_EQ(settings.playerName, "Player");
    }
    EXPECT_EQ(settings.ProfileFileName(0), "Alpha.VQS");
    EXPECT_TRUE(settings.ProfileFileName(2).IsEmpty());
}

// Start-up never runs on the all-zero construction values: a missing or unusable file gives the
// defaults, and an unusable one is kept aside.
TEST_F(SettingsTest, StartUpReadsTheFileOrSetsTheDefaults) {
    const std::string good = VqsBytes(4, [](SettingsRecord& r) {
        r.textureLevel = 1;
        r.missionCount = 9;
    });
    struct Case {
        const char* name;
        const char* bytes; // null: no file
        int32_t textureLevel;
        bool setAside;
    } cases[] = {
        {"no file", nullptr, 2, false},
        {"a settings file", "good", 1, false},
        {"nine bytes", "short", 2, true},
        {"truncated", "truncated", 2, true},
    };
    // At the default warning level: a file set aside is a failure the user must see.
    testing_support::LogCapture log(0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        log.Clear();
        std::filesystem::remove_all("Misc");
        std::filesystem::create_directory("Misc");
        std::string bytes;
        if (c.bytes) {
            bytes = std::string(c.bytes) == "good" ? good : std::string(c.bytes) == "short" ? good.substr(0, 9)
                                                                                             : good.substr(0, 300);
            dir.WriteBytes("Misc/Default.VQS", bytes);
        }
        settings.textureLevel.Set(int32_t(0));
        settings.effectsVolume.Set(0.0f);
        settings.Init();
        EXPECT_EQ(settings.textureLevel.cachedInt, c.textureLevel);
        EXPECT_GT(settings.effectsVolume.cachedFloat, 0.0f);
        EXPECT_EQ(settings.missionCount, 4);
        EXPECT_EQ(settings.scoreTables.size(), 4u);
        EXPECT_EQ(Exists("Misc/Default.VQS.bad"), c.setAside);
        EXPECT_EQ(log.Contains("Default.VQS.bad"), c.setAside);
        if (c.setAside) {
            EXPECT_EQ(dir.ReadBytes("Misc/Default.VQS.bad"), bytes);
        }
    }
}
