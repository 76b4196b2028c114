// The option values and the switch between the menus and a game.
#include "engine/audio/AudioDevice.h"
#include "engine/core/Camera.h"
#include "tests/frontend/SettingsFixture.h"

using namespace settings_test;

namespace {

std::string ModeString(const DisplayMode& m) {
    return std::to_string(m.width) + "x" + std::to_string(m.height) + "x" + std::to_string(m.bitsPerPixel) + "@" +
           std::to_string(m.refreshRate);
}

} // namespace

TEST_F(SettingsTest, ModeListKeepsTheRenderersOrderOnceEachFromVga) {
    settings.displayMode.SetModes({{640, 480, 16, 60},
                                   {512, 384, 32, 60},
                                   {640, 480, 32, 60},
                                   {800, 600, 32, 60},
                                   {800, 600, 32, 75},
                                   {1024, 400, 32, 60}});
    std::vector<std::string> items;
    for (const SharedString& m : settings.displayMode.modes) items.emplace_back(m.c_str());
    EXPECT_EQ(items, (std::vector<std::string>{"640*480@16", "640*480@32", "800*600@32"}));
}

// Entering a game writes the settings, silences the menu sounds and asks for the chosen mode;
// a mode that cannot be had is the menus' own.
TEST_F(SettingsTest, AGameRunsInTheChosenModeTheMenusIn800x600x32) {
    struct Case {
        std::vector<const char*> modes;
        int32_t index;
        const char* requested;
    } cases[] = {
        {{"800*600@32", "1024*768@16"}, 1, "1024x768x16@-1"},
        {{"800*600@32"}, 0, "800x600x32@-1"},
        {{}, 0, "800x600x32@-1"},
        {{"640*480@32"}, 3, "800x600x32@-1"},
        {{"1024x768@16"}, 0, "800x600x32@-1"},
        {{"1024*768"}, 0, "800x600x32@-1"},
    };
    settings.SetDefaults();
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.requested << " at " << c.index);
        settings.displayMode.modes.assign(c.modes.begin(), c.modes.end());
        settings.displayMode.cachedInt = c.index;
        renderer.requests.clear();
        std::filesystem::remove("Misc/Default.VQS");
        MenuSoundGroup().SetVolume(0.66f);
        int rebuilt = 0;
        settings.ApplyGameVideoMode([&] {
            EXPECT_EQ(renderer.requests.size(), 1u);
            ++rebuilt;
        });
        ASSERT_EQ(renderer.requests.size(), 1u);
        EXPECT_EQ(ModeString(renderer.requests[0]), c.requested);
        EXPECT_EQ(rebuilt, 1);
        EXPECT_EQ(MenuSoundGroup().Value(), 0.0f);
        EXPECT_TRUE(Exists("Misc/Default.VQS"));
    }

    EffectsVolumeGroup().SetVolume(1.0f);
    SpeechVolumeGroup().SetVolume(1.0f);
    AmbientVolumeGroup().SetVolume(1.0f);
    settings.effectsVolume.cachedFloat = 0.4f;
    renderer.requests.clear();
    settings.ApplyMenuVideoMode();
    ASSERT_EQ(renderer.requests.size(), 1u);
    EXPECT_EQ(ModeString(renderer.requests[0]), "800x600x32@-1");
    EXPECT_EQ(EffectsVolumeGroup().Value() + SpeechVolumeGroup().Value() + AmbientVolumeGroup().Value(), 0.0f);
    EXPECT_EQ(MenuSoundGroup().Value(), 0.4f);
}

TEST_F(SettingsTest, ViewDistanceSetsTheChaseCamerasRange) {
    Camera camera;
    settings.viewDistance.camera = &camera;
    for (auto [value, farPlane] : {std::pair{0.0f, 1500.0f}, {1.0f, 10000.0f}, {0.5f, 5750.0f}}) {
        settings.viewDistance.Set(value);
        EXPECT_EQ(camera.farPlane, farPlane);
        EXPECT_EQ(camera.fogStart, 0.75f);
        EXPECT_EQ(camera.fogEnd, 1.0f);
    }
    settings.viewDistance.camera = nullptr;
    settings.viewDistance.Set(0.0f);
    EXPECT_EQ(camera.farPlane, 5750.0f);
}

// The sound device gets the chosen item's number; an item without digits gives 0, an index
// outside the list nothing.
TEST_F(SettingsTest, SampleRateAndVoicesReadTheChosenItem) {
    struct Case {
        std::vector<const char*> items;
        int32_t index;
        std::vector<int> given;
    } cases[] = {
        {{"11khz", "22khz", "44khz"}, 2, {44}},
        {{"11khz", "22khz", "44khz"}, 0, {11}},
        {{"khz"}, 0, {0}},
        {{"44khz"}, 1, {}},
        {{"44khz"}, -1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.index);
        sound.sampleRates.clear();
        settings.sampleRate.items.assign(c.items.begin(), c.items.end());
        settings.sampleRate.Set(c.index);
        EXPECT_EQ(sound.sampleRates, c.given);
    }
    sound.voiceCounts.clear();
    for (int32_t i : {0, 4, 5}) settings.voiceCount.Set(i);
    EXPECT_EQ(sound.voiceCounts, (std::vector<int>{4, 64}));
}

TEST_F(SettingsTest, VolumesTextureLevelAndCarEffectsTakeEffectAsTheyAreSet) {
    settings.effectsVolume.Set(0.3f);
    EXPECT_EQ(MenuSoundGroup().Value(), 0.3f);
    EXPECT_EQ(engine.masterVolume.Value(), 0.3f);
    settings.musicVolume.Set(0.7f);
    EXPECT_EQ(MusicVolumeGroup().Value(), 0.7f);
    for (auto [level, mip] : {std::pair{0, 2}, {1, 1}, {2, 0}}) {
        settings.textureLevel.Set(int32_t(level));
        EXPECT_EQ(renderer.textures.maxMipLevel, mip);
    }
    settings.carEffect.Set(int32_t(1));
    EXPECT_TRUE(settings.carEffect.SkidMarks());
    EXPECT_TRUE(settings.carEffect.ShadowVolume());
    settings.carEffect.Set(int32_t(0));
    EXPECT_FALSE(settings.carEffect.SkidMarks() || settings.carEffect.ShadowVolume());
}

// Every option arms the save countdown, but the two that have no effect.
TEST_F(SettingsTest, EveryOptionButTwoMarksTheSettingsChanged) {
    struct Case {
        const char* name;
        MenuOption& option;
        bool changes;
    } cases[] = {
        {"display mode", settings.displayMode, true},     {"display device", settings.displayDevice, false},
        {"texture level", settings.textureLevel, true},   {"car effects", settings.carEffect, true},
        {"environment map", settings.environmentMap, true}, {"view distance", settings.viewDistance, true},
        {"detail level", settings.detailLevel, true},     {"static geometry", settings.staticGeometryMode, true},
        {"video back", settings.videoBack, true},         {"sample rate", settings.sampleRate, true},
        {"voices", settings.voiceCount, true},            {"effects volume", settings.effectsVolume, true},
        {"speech volume", settings.speechVolume, true},   {"ambient volume", settings.ambientVolume, true},
        {"music volume", settings.musicVolume, true},     {"audio back", settings.audioBack, false},
        {"car choice", settings.carChoice, true},         {"mission choice", settings.missionChoice, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SettingsSaveCountdown = 0.0f;
        const int32_t zero = 0; // 0 is a valid value of every kind
        c.option.SetValue(&zero);
        EXPECT_EQ(SettingsSaveCountdown, c.changes ? 1.0f : 0.0f);
    }
}
