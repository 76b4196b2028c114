// The settings reader (.VQS) on arbitrary bytes: a file is either refused or read whole, and
// what it applies is always in range and survives being written and read again unchanged.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "game/frontend/GameSettings.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/support/EngineDoubles.h"

namespace {

bool InRange(int32_t v, int32_t low, int32_t high) { return v >= low && v <= high; }
bool Fraction(float v) { return std::isfinite(v) && v >= 0.0f && v <= 1.0f; }

testing_support::EngineDoubles& Engine() {
    static testing_support::EngineDoubles* engine = new testing_support::EngineDoubles;
    return *engine;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // A language set of four missions and a pool of two names.
    testing_support::EngineDoubles& engine = Engine();
    engine.SetText(9980000, "4");
    engine.SetText(5550000, "3");
    engine.SetText(5550001, "Ace");
    engine.SetText(5550002, "Bea");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using fuzz_support::Check;
    fuzz_support::DiscardLog();
    static const fuzz_support::ScratchFile file("input.vqs");
    const SharedString path(file.Write(data, size).c_str());

    SettingsRecord record;
    std::string problem;
    const SettingsParse parse = ReadSettingsRecord(path, record, problem);
    Check(parse == SettingsParse::Ok || !problem.empty());
    if (parse != SettingsParse::Ok) return 0;
    // Every table entry takes at least 12 bytes.
    Check(record.scoreTables.size() * kHighScoreEntries * 12 <= size);

    static GameSettings settings(Engine().services);
    settings.carCount = 3;
    settings.Apply(record);
    Check(InRange(settings.textureLevel.cachedInt, 0, 2) && InRange(settings.carEffect.cachedInt, 0, 1) &&
          InRange(settings.environmentMap.cachedInt, 0, 3) && InRange(settings.detailLevel.cachedInt, 0, 3) &&
          InRange(settings.staticGeometryMode.cachedInt, 0, 1) && InRange(settings.sampleRate.cachedInt, 0, 2) &&
          InRange(settings.voiceCount.cachedInt, 0, 4) && InRange(settings.carChoice.cachedInt, 0, 2) &&
          InRange(settings.missionChoice.cachedInt, 0, 3) && InRange(settings.lastPlayedMission, 0, 3) &&
          InRange(settings.highestUnlockedMission, 0, 3) && InRange(settings.furthestMission, 0, 3));
    Check(Fraction(settings.viewDistance.cachedFloat) && Fraction(settings.effectsVolume.cachedFloat) &&
          Fraction(settings.speechVolume.cachedFloat) && Fraction(settings.ambientVolume.cachedFloat) &&
          Fraction(settings.musicVolume.cachedFloat));
    for (int32_t scheme = 0; scheme < kControlSchemeCount; ++scheme)
        for (int32_t a = 0; a < kStoredActionCount; ++a) {
            const ActionBinding& b = GameSettings::Binding(scheme, StoredAction(a));
            Check(IsBindableInputCode(b.primary.code) && IsBindableInputCode(b.secondary.code));
        }
    Check(settings.scoreTables.size() == 4);
    for (const HighScoreTable& t : settings.scoreTables) {
        Check(t.size() == size_t(kHighScoreEntries));
        for (const HighScoreEntry& e : t) Check(std::isfinite(e.score));
    }

    // What was applied is written, read and applied again to the same bytes.
    const std::vector<uint8_t> first = SettingsBytes(settings.Capture(path));
    file.Write(first.data(), first.size());
    SettingsRecord again;
    Check(ReadSettingsRecord(path, again, problem) == SettingsParse::Ok);
    settings.Apply(again);
    Check(SettingsBytes(settings.Capture(path)) == first);
    return 0;
}
