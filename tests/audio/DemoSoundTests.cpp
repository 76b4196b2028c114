// The demo tree holds every sound the engine, the menus and the game ask for by name, and each
// one opens and decodes through the sound factory.
#include <gtest/gtest.h>

#include "engine/audio/DS8Audio.h"
#include "engine/core/FileStream.h"
#include "tests/audio/AudioTestSupport.h"
#include "tools/demo/DemoTree.h"

using testing_support::LogCapture;
using testing_support::TempWorkDir;

TEST(DemoTree, HoldsEverySoundAskedForByNameAndEachDecodes) {
    TempWorkDir dir;
    audio_test::SetUpFactory();
    bool wrote = false;
    for (const tools::DemoStep& step : tools::DemoSteps())
        if (std::string(step.name) == "sounds") wrote = step.write(".");
    ASSERT_TRUE(wrote);

    // Names exactly as their callers pass them (bare names go through the "Audio" directory).
    const char* const named[] = {
        "Console.WAV", "Woosh.WAV", "MenuMove.WAV", "Menu.WAV", "False.WAV", "Click.WAV", "Back.WAV",
        "Slider.WAV", "Exit.WAV", "Intro.OGG", "Audio\\Accel.wav", "Audio\\Fire.wav", "Audio\\Fire.WAV",
        "Hit_Water.wav", "Ride_Water.wav", "Cash.WAV", "Boost.WAV", "Jump.WAV", "Rock.WAV", "Repair.WAV",
        "Slow.WAV", "RollOver.WAV", "Hit_Wood.WAV", "Hit_Phone.WAV", "Hit_Light.WAV", "Hit_Park.WAV",
        "Hit_Metal.WAV", "Hit_Traffic.WAV", "Hit_Leafs.WAV", "Hit_Cone.WAV", "Chain_Active.WAV",
        "Chain_Start.WAV", "Chain_Fire.WAV", "Chain_End.WAV", "Flamer_Active.WAV", "FlamerStart.WAV",
        "FlamerLoop.WAV", "Grenade_Active.WAV", "GrenadeFire.WAV", "GrenadeHit.WAV", "Missile_Start.WAV",
        "Missile_Loop.WAV", "Rocket_Active.WAV", "Rocket_Start.WAV", "Rocket_Loop.WAV", "Cannon.WAV",
        "Audio\\Shell.WAV", "Explosion.WAV", "Grenade_Explosion.WAV", "Missile_Explosion.WAV",
        "Rocket_Explosion.WAV", "Cannon_Explosion.WAV", "Audio\\Traffic\\Engine.WAV", "Audio\\Blood.WAV",
        "HitPed.WAV", "Panic.WAV"};
    // Banks filled from every file that matches.
    const char* const patterns[] = {
        "Audio\\Crash0*.WAV", "Audio\\Crash1*.WAV", "Audio\\Crash2*.WAV", "Audio\\Crash3*.WAV",
        "Audio\\Crash4*.WAV", "Audio\\Crash5*.WAV", "Audio\\bullethit_impact*.WAV",
        "Audio\\BulletHit_Reflected*.WAV", "Audio\\Gun_Fire*.WAV", "Audio\\Rifle_Fire*.WAV",
        "Audio\\Shell*.WAV", "Audio\\Explosion*.WAV", "Audio\\GrenadeHit*.WAV", "Audio\\Grenade_Explosion*.WAV",
        "Audio\\Missile_Explosion*.WAV", "Audio\\Rocket_Explosion*.WAV", "Audio\\Traffic\\Horn*.WAV",
        "Audio\\*.OGG"};
    std::vector<std::string> names(std::begin(named), std::end(named));
    for (const char* p : patterns) {
        SCOPED_TRACE(p);
        const std::string pattern = p;
        const std::string folder = pattern.substr(0, pattern.rfind('\\') + 1);
        const auto files = ListFiles(SharedString(p), true);
        EXPECT_FALSE(files.empty());
        for (const SharedString& f : files) names.push_back(folder + f.c_str());
    }

    LogCapture log;
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        log.Clear();
        SoundRequest request;
        ASSERT_TRUE(SoundFactory::Open(request, SharedString(name.c_str())));
        EXPECT_TRUE(log.Lines().empty()) << log.Lines()[0];
        ASSERT_NE(request.stream, nullptr);
        EXPECT_TRUE(request.stream->IsMixable());
        EXPECT_GT(request.stream->dataSize, 0u);
        // Decoded whole, the sound is not silence.
        std::unique_ptr<SampleBuffer> sample(DecodeStream(request.stream.get(), false));
        const auto* s = reinterpret_cast<const int16_t*>(sample->data.data());
        int peak = 0;
        for (int32_t i = 0; i < sample->size / 2; ++i) peak = std::max(peak, std::abs(int(s[i])));
        EXPECT_GT(peak, 1000);
    }
}
