#include "game/frontend/GameSettings.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "engine/audio/AudioDevice.h"
#include "engine/core/AtomicFile.h"
#include "engine/core/Debugger.h"
#include "engine/core/FileStream.h"
#include "engine/core/InputDevice.h"
#include "engine/core/Thread.h"
#include "engine/render/RenderFacility.h"

const char* const kDefaultSettingsPath = "Misc\\Default.VQS";

namespace {

// Language texts the settings read.
constexpr int32_t kTextMissionCount = 9980000;
constexpr int32_t kTextPlayerName = 908076;
constexpr int32_t kTextSessionName = 3004;
constexpr int32_t kTextNamePoolSize = 5550000;
constexpr int32_t kTextNamePool = 5550001;

// More missions and pool names than any language set holds; bounds what a bad count asks for.
constexpr int32_t kMaxMissions = 1024;
constexpr int32_t kMaxPoolNames = 1024;
// Missions per episode of the career, and the episode the unlock command stores.
constexpr int32_t kMissionsPerEpisode = 4;
constexpr int32_t kUnlockedEpisode = 5;

// The default score of each table entry, best first.
constexpr float kDefaultScores[kHighScoreEntries] = {200.0f, 180.0f, 160.0f, 140.0f, 120.0f};

struct DefaultBinding {
    InputCode primary;
    InputCode secondary;
};
// [action in file order][scheme]
constexpr DefaultBinding kDefaultBindings[kStoredActionCount][kControlSchemeCount] = {
    {{70, -1}, {0x101, -1}, {0x402, -1}},   // Accelerate: Up, mouse button 1, joystick y-
    {{71, -1}, {0x100, -1}, {0x403, -1}},   // Brake: Down, mouse button 0, joystick y+
    {{72, -1}, {0x108, -1}, {0x400, -1}},   // SteerLeft: Left, mouse x-, joystick x-
    {{73, -1}, {0x109, -1}, {0x401, -1}},   // SteerRight: Right, mouse x+, joystick x+
    {{63, 59}, {63, 59}, {0x406, -1}},      // Handbrake: Space / left Ctrl, joystick button 0
    {{57, -1}, {7, -1}, {0x407, -1}},       // UseSpecial: left Shift, H, joystick button 1
    {{57, -1}, {57, -1}, {0x408, -1}},      // FireWeapon: left Shift, joystick button 2
    {{1, -1}, {1, -1}, {1, -1}},            // LookBack: B
    {{55, -1}, {55, -1}, {55, -1}},         // Confirm: Return
    {{17, -1}, {17, -1}, {17, -1}},         // Respawn: R
    {{11, -1}, {11, -1}, {11, -1}},         // ToggleSwitch: L
    {{10, -1}, {10, -1}, {10, -1}},         // DropPassenger: K
};

SharedString InputName(InputDevice* input, InputCode code) {
    if (input) return input->GetKeyName(code);
    return SharedString(code == kInputNone ? "None" : "");
}

int32_t Clamp(int32_t value, int32_t low, int32_t high) { return std::max(low, std::min(value, high)); }

// A stored fraction: kept within 0..1; a value that is no number at all gets the default.
float Fraction(float value, float fallback) { return std::isfinite(value) ? std::clamp(value, 0.0f, 1.0f) : fallback; }

// The last index of a list of `count` items (0 for an empty list).
int32_t LastIndex(int32_t count) { return std::max(count - 1, 0); }

void SetBinding(InputDevice* input, ActionBinding& binding, InputCode primary, InputCode secondary) {
    binding.primary.code = primary;
    binding.primary.name = InputName(input, primary);
    binding.secondary.code = secondary;
    binding.secondary.name = InputName(input, secondary);
}

} // namespace

GameSettings::GameSettings(const EngineServices& engine_)
    : engine(engine_), textureLevel(engine_), sampleRate(engine_), voiceCount(engine_), effectsVolume(engine_) {}

int32_t GameSettings::LanguageMissionCount() const {
    return Clamp(engine.Text(kTextMissionCount).ToInt(), 0, kMaxMissions);
}

ActionBinding& GameSettings::Binding(int32_t scheme, StoredAction action) {
    ActionBinding* records = ActionBindingSet(StoredActionSet(action));
    return records[Clamp(scheme, 0, kControlSchemeCount - 1)];
}

SharedString GameSettings::ProfileFileName(int32_t index) const {
    if (index < 0 || size_t(index) >= profileList.size()) return SharedString();
    return SharedString::Format("%s.VQS", profileList[size_t(index)].c_str());
}

void GameSettings::Init() {
    profileList.clear();
    highestUnlockedMission = 0;
    for (const SharedString& name : ListFiles(SharedString("Misc\\*.VQS"), true)) {
        SharedString upper = name.Clone();
        upper.ToUpper();
        if (upper == "DEFAULT.VQS") continue;
        profileList.push_back(name.Mid(0, name.Length() - 4));
    }
    currentProfile = -1;

    // Never start on the all-zero values of construction: without a usable file, the defaults.
    const SharedString path(kDefaultSettingsPath);
    const SettingsReadResult result = Read(path);
    if (result == SettingsReadResult::NotSettings) SetAside(path, "not a settings file");
    if (result == SettingsReadResult::Missing || result == SettingsReadResult::NotSettings) SetDefaults();
    missionCount = LanguageMissionCount();
}

GameSettings::TablePools GameSettings::LoadTablePools() const {
    TablePools pools;
    const int32_t poolSize = engine.Text(kTextNamePoolSize).ToInt() - 1;
    for (int32_t i = 0; i < std::min(poolSize, kMaxPoolNames); ++i) pools.names.push_back(engine.Text(kTextNamePool + i));
    for (const SharedString& file : ListFiles(SharedString("Vehicles\\*.vqc"), true))
        pools.cars.push_back(file.Mid(0, file.Length() - 4));
    return pools;
}

HighScoreTable GameSettings::DefaultTable(const TablePools& pools) {
    HighScoreTable table(kHighScoreEntries);
    for (int32_t i = 0; i < kHighScoreEntries; ++i) {
        HighScoreEntry& e = table[size_t(i)];
        // Name first, then car, entry by entry; an empty pool leaves the field empty.
        const int32_t nameDraw = std::rand();
        if (!pools.names.empty()) e.name = pools.names[size_t(nameDraw) % pools.names.size()];
        e.score = kDefaultScores[i];
        const int32_t carDraw = std::rand();
        if (!pools.cars.empty()) e.carName = pools.cars[size_t(carDraw) % pools.cars.size()];
    }
    return table;
}

void GameSettings::SetDefaultBindings() {
    for (int32_t a = 0; a < kStoredActionCount; ++a)
        for (int32_t scheme = 0; scheme < kControlSchemeCount; ++scheme) {
            const DefaultBinding& d = kDefaultBindings[a][scheme];
            SetBinding(engine.input, Binding(scheme, StoredAction(a)), d.primary, d.secondary);
        }
}

void GameSettings::SetDefaults() {
    displayMode.Set(displayMode.IndexOf(SharedString(kMenuDisplayModeText)));
    textureLevel.Set(int32_t(2));
    carEffect.Set(int32_t(0));
    environmentMap.Set(int32_t(0));
    viewDistance.Set(0.5f);
    detailLevel.Set(int32_t(3));
    staticGeometryMode.Set(int32_t(0));
    sampleRate.Set(int32_t(2));
    voiceCount.Set(int32_t(3));
    effectsVolume.Set(0.66f);
    speechVolume.Set(0.66f);
    ambientVolume.Set(0.66f);
    musicVolume.Set(1.0f);

    missionCount = LanguageMissionCount();
    lastPlayedMission = 0;
    highestUnlockedMission = 0;

    SetDefaultBindings();

    furthestEpisode = furthestMission = currentEpisode = currentMission = 0;
    flag = false;
    playerName = engine.Text(kTextPlayerName);
    sessionName = engine.Text(kTextSessionName);

    missionCount = LanguageMissionCount();
    scoreTables.clear();
    const TablePools pools = LoadTablePools();
    for (int32_t m = 0; m < missionCount; ++m) scoreTables.push_back(DefaultTable(pools));

    // The page's actions see a change in both before they settle on the first car and mission.
    carChoice.Set(int32_t(1));
    missionChoice.Set(int32_t(1));
    carChoice.Set(int32_t(0));
    missionChoice.Set(int32_t(0));
}

SettingsReadResult GameSettings::Read(const SharedString& path) {
    SettingsRecord record;
    std::string problem;
    switch (ReadSettingsRecord(path, record, problem)) {
    case SettingsParse::Missing:
        return SettingsReadResult::Missing;
    case SettingsParse::NotSettings:
        Debugger::Instance().Log(2, "SETTINGS: %s is not a settings file (%s); ignored", path.c_str(),
                                 problem.c_str());
        return SettingsReadResult::NotSettings;
    case SettingsParse::Damaged:
        SetAside(path, problem);
        SetDefaults();
        return SettingsReadResult::Damaged;
    case SettingsParse::Ok:
        break;
    }
    Apply(record);
    return SettingsReadResult::Loaded;
}

void GameSettings::SetAside(const SharedString& path, const std::string& problem) {
    const SharedString aside = SharedString::Format("%s.bad", path.c_str());
    if (RenameFile(path, aside))
        Debugger::Instance().Message("SETTINGS: %s cannot be used (%s); kept as %s, defaults set", path.c_str(),
                                 problem.c_str(), aside.c_str());
    else
        Debugger::Instance().Message("SETTINGS: %s cannot be used (%s) nor renamed to %s; defaults set",
                                 path.c_str(), problem.c_str(), aside.c_str());
}

void GameSettings::Apply(const SettingsRecord& r) {
    displayMode.Set(displayMode.IndexOf(r.displayMode));
    textureLevel.Set(Clamp(r.textureLevel, 0, 2));
    carEffect.Set(Clamp(r.carEffect, 0, 1));
    environmentMap.Set(Clamp(r.environmentMap, 0, 3));
    viewDistance.Set(Fraction(r.viewDistance, 0.5f));
    detailLevel.Set(Clamp(r.detailLevel, 0, 3));
    staticGeometryMode.Set(Clamp(r.staticGeometryMode, 0, 1));
    sampleRate.Set(Clamp(r.sampleRate, 0, LastIndex(int32_t(sampleRate.items.size()))));
    voiceCount.Set(Clamp(r.voiceCount, 0, LastIndex(int32_t(voiceCount.items.size()))));
    effectsVolume.Set(Fraction(r.effectsVolume, 0.66f));
    speechVolume.Set(Fraction(r.speechVolume, 0.66f));
    ambientVolume.Set(Fraction(r.ambientVolume, 0.66f));
    musicVolume.Set(Fraction(r.musicVolume, 1.0f));

    for (int32_t scheme = 0; scheme < kControlSchemeCount; ++scheme)
        for (int32_t a = 0; a < kStoredActionCount; ++a) {
            const InputCode* codes = r.bindings[scheme][a];
            SetBinding(engine.input, Binding(scheme, StoredAction(a)), IsBindableInputCode(codes[0]) ? codes[0] : kInputNone,
                       IsBindableInputCode(codes[1]) ? codes[1] : kInputNone);
        }

    // The tables, the mission values and the episodes follow the language's missions, whatever
    // the file says.
    missionCount = LanguageMissionCount();
    const int32_t lastEpisode =
        std::max(kUnlockedEpisode, (missionCount + kMissionsPerEpisode - 1) / kMissionsPerEpisode);
    furthestEpisode = Clamp(r.furthestEpisode, 0, lastEpisode);
    furthestMission = Clamp(r.furthestMission, 0, kMissionsPerEpisode - 1);
    currentEpisode = Clamp(r.currentEpisode, 0, lastEpisode);
    currentMission = Clamp(r.currentMission, 0, kMissionsPerEpisode - 1);
    flag = r.flag;
    playerName = r.playerName;
    sessionName = r.sessionName;
    lastPlayedMission = Clamp(r.lastPlayedMission, 0, LastIndex(missionCount));
    highestUnlockedMission = Clamp(r.highestUnlockedMission, 0, LastIndex(missionCount));

    scoreTables.clear();
    for (const HighScoreTable& stored : r.scoreTables) {
        if (int32_t(scoreTables.size()) == missionCount) break;
        HighScoreTable table = stored;
        table.resize(kHighScoreEntries);
        for (HighScoreEntry& e : table)
            if (!std::isfinite(e.score)) e.score = 0.0f;
        scoreTables.push_back(std::move(table));
    }
    if (int32_t(scoreTables.size()) < missionCount) {
        const TablePools pools = LoadTablePools();
        while (int32_t(scoreTables.size()) < missionCount) scoreTables.push_back(DefaultTable(pools));
    }

    carChoice.Set(int32_t(1));
    missionChoice.Set(int32_t(1));
    carChoice.Set(carCount > 0 ? Clamp(r.carChoice, 0, carCount - 1) : std::max(r.carChoice, 0));
    missionChoice.Set(Clamp(r.missionChoice, 0, LastIndex(missionCount)));
}

SettingsRecord GameSettings::Capture(const SharedString& path) const {
    SettingsRecord r;
    r.path = path;
    r.displayMode = displayMode.ModeText();
    r.textureLevel = textureLevel.cachedInt;
    r.carEffect = carEffect.cachedInt;
    r.environmentMap = environmentMap.cachedInt;
    r.viewDistance = viewDistance.cachedFloat;
    r.detailLevel = detailLevel.cachedInt;
    r.staticGeometryMode = staticGeometryMode.cachedInt;
    r.sampleRate = sampleRate.cachedInt;
    r.voiceCount = voiceCount.cachedInt;
    r.effectsVolume = effectsVolume.cachedFloat;
    r.speechVolume = speechVolume.cachedFloat;
    r.ambientVolume = ambientVolume.cachedFloat;
    r.musicVolume = musicVolume.cachedFloat;
    for (int32_t scheme = 0; scheme < kControlSchemeCount; ++scheme)
        for (int32_t a = 0; a < kStoredActionCount; ++a) {
            const ActionBinding& b = Binding(scheme, StoredAction(a));
            r.bindings[scheme][a][0] = b.primary.code;
            r.bindings[scheme][a][1] = b.secondary.code;
        }
    r.furthestEpisode = furthestEpisode;
    r.furthestMission = furthestMission;
    r.currentEpisode = currentEpisode;
    r.currentMission = currentMission;
    r.flag = flag;
    r.playerName = playerName;
    r.sessionName = sessionName;
    r.missionCount = missionCount;
    r.lastPlayedMission = lastPlayedMission;
    r.highestUnlockedMission = highestUnlockedMission;
    r.scoreTables = scoreTables;
    r.carChoice = carChoice.cachedInt;
    r.missionChoice = missionChoice.cachedInt;
    return r;
}

bool GameSettings::Write(const SharedString& path) const {
    AtomicFileWriter out(path);
    WriteSettingsRecord(out, Capture(path));
    return out.Commit();
}

void GameSettings::ApplyGameVideoMode(const std::function<void()>& modeChanged) {
    Write(SharedString(kDefaultSettingsPath));
    MenuSoundGroup().SetVolume(0.0f);
    DisplayMode mode = kMenuDisplayMode;
    if (!ParseDisplayModeText(displayMode.ModeText(), mode))
        Debugger::Instance().Log(2, "SETTINGS: display mode \"%s\" cannot be read; %s used",
                                 displayMode.ModeText().c_str(), kMenuDisplayModeText);
    if (engine.renderer) engine.renderer->RequestMode(mode);
    if (modeChanged) modeChanged();
    SetProcessPriority(2);
}

void GameSettings::ApplyMenuVideoMode() {
    EffectsVolumeGroup().SetVolume(0.0f);
    SpeechVolumeGroup().SetVolume(0.0f);
    AmbientVolumeGroup().SetVolume(0.0f);
    MenuSoundGroup().SetVolume(effectsVolume.cachedFloat);
    if (engine.renderer) engine.renderer->RequestMode(kMenuDisplayMode);
    SetProcessPriority(2);
}
