#include "tools/writers/SettingsWriter.h"

#include "engine/core/AtomicFile.h"

namespace tools {

SettingsRecord ExampleSettingsRecord(int32_t missions) {
    SettingsRecord r;
    r.path = "Misc\\Default.VQS";
    r.displayMode = "800*600@32";
    r.textureLevel = 2;
    r.viewDistance = 0.5f;
    r.detailLevel = 3;
    r.sampleRate = 2;
    r.voiceCount = 3;
    r.effectsVolume = r.speechVolume = r.ambientVolume = 0.66f;
    r.musicVolume = 1.0f;
    static constexpr InputCode kKeys[kStoredActionCount] = {70, 71, 72, 73, 63, 57, 57, 1, 55, 17, 11, 10};
    for (auto& scheme : r.bindings)
        for (int32_t a = 0; a < kStoredActionCount; ++a) {
            scheme[a][0] = kKeys[a];
            scheme[a][1] = kInputNone;
        }
    r.playerName = "Player";
    r.sessionName = "Session";
    r.missionCount = missions;
    for (int32_t m = 0; m < missions; ++m) {
        HighScoreTable table(kHighScoreEntries);
        for (int32_t i = 0; i < kHighScoreEntries; ++i) {
            table[size_t(i)].name = SharedString::Format("Driver %d", i + 1);
            table[size_t(i)].carName = "Taxi";
            table[size_t(i)].score = 200.0f - 20.0f * float(i);
        }
        r.scoreTables.push_back(table);
    }
    return r;
}

bool WriteSettingsFile(const SharedString& path, SettingsRecord record) {
    record.path = path;
    const std::vector<uint8_t> bytes = SettingsBytes(record);
    return WriteFileAtomically(path, bytes.data(), bytes.size());
}

} // namespace tools
