#pragma once
// The settings on a headless engine: a language set with the texts they read, an input device
// that names every code, a sound device and a renderer that record what the options tell them,
// and a working directory with "Misc" and a few car files.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/EngineDoubles.h"
#include "engine/render/D3D8TextureManager.h"
#include "engine/render/NullRenderFacility.h"
#include "game/frontend/GameSettings.h"
#include "tests/support/FakeAudioDevice.h"
#include "tests/support/FakeInputDevice.h"
#include "tests/support/TestSupport.h"
#include "tools/writers/SettingsWriter.h"

namespace settings_test {

class RecordingSound : public testing_support::FakeAudioDevice {
public:
    void SetSampleRateKHz(int kiloHertz) override { sampleRates.push_back(kiloHertz); }
    void SetMaxVoices(int count) override { voiceCounts.push_back(count); }
    std::vector<int> sampleRates;
    std::vector<int> voiceCounts;
};

class RecordingRenderer : public NullRenderFacility {
public:
    RecordingRenderer() : textures(nullptr, 32) {}
    const std::vector<DisplayMode>& Modes() const override { return modes; }
    bool RequestMode(const DisplayMode& mode) override {
        requests.push_back(mode);
        return NullRenderFacility::RequestMode(mode);
    }
    D3D8TextureManager* GetTextureManager() override { return &textures; }
    std::vector<DisplayMode> modes;
    std::vector<DisplayMode> requests;
    D3D8TextureManager textures;
};

// The texts of the settings; the tests change them where they need to.
inline void FillTexts(std::map<int32_t, SharedString>& t, int32_t missions) {
    t[9980000] = SharedString::Format("%d", missions);
    t[908076] = "Player";
    t[3004] = "Session";
    t[5550000] = "6";
    const char* names[] = {"Ace", "Bea", "Cody", "Dot", "Eli"};
    for (int32_t i = 0; i < 5; ++i) t[5550001 + i] = names[i];
}

// The bytes of a settings file: the example record with `tables` score tables, changed by
// `edit` before it is written.
inline std::string VqsBytes(int32_t tables, const std::function<void(SettingsRecord&)>& edit = nullptr) {
    SettingsRecord record = tools::ExampleSettingsRecord(tables);
    if (edit) edit(record);
    const std::vector<uint8_t> bytes = SettingsBytes(record);
    return std::string(bytes.begin(), bytes.end());
}

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        Debugger::Instance().ResetForTests();
        engine.services.input = &input;
        engine.services.sound = &sound;
        engine.services.renderer = &renderer;
        FillTexts(engine.texts.entries, 4);
        dir.WriteBytes("Misc/readme.txt", "");
        for (const char* car : {"Vehicles/Taxi.vqc", "Vehicles/Van.VQC", "Vehicles/Cab.vqc"}) dir.WriteBytes(car, "");
        SettingsSaveCountdown = 0.0f;
        settings.carChoice.action = [this](int32_t v) { carSeen.push_back(v); };
        settings.missionChoice.action = [this](int32_t v) { missionSeen.push_back(v); };
    }
    void TearDown() override {
        engine.services.input = nullptr;
        engine.services.sound = nullptr;
        engine.services.renderer = nullptr;
        Debugger::Instance().ResetForTests();
    }

    void SetTexts(int32_t key, const char* text) { engine.SetText(key, text); }
    bool Exists(const std::string& relative) const {
        return std::filesystem::exists(std::filesystem::path(dir.Path()) / relative);
    }
    // The live state as the file would hold it.
    std::vector<uint8_t> LiveBytes() const { return SettingsBytes(settings.Capture(SharedString("x"))); }

    testing_support::TempWorkDir dir;
    testing_support::FakeInputDevice input;
    RecordingSound sound;
    RecordingRenderer renderer;
    testing_support::EngineDoubles engine;
    GameSettings settings{engine.services};
    std::vector<int32_t> carSeen;
    std::vector<int32_t> missionSeen;
};

} // namespace settings_test
