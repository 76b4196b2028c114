#pragma once
// Everything the player configures or earns outside a game: the option values of the video,
// audio and single-player pages, the key bindings of the stored actions (kept in the engine's
// input-action map), the career, the multiplayer names, the score tables and the profiles; and
// the switch between the menus' display mode and sound and the game's.
//
// The front end owns one GameSettings and binds its pages' widgets to the option members. Every
// value that has an option goes through MenuOption::Set, from a widget, the defaults or the
// file alike.
#include <cstdint>
#include <functional>
#include <vector>

#include "engine/core/EngineServices.h"
#include "engine/core/InputActions.h"
#include "engine/core/SharedString.h"
#include "game/frontend/GameOptions.h"
#include "game/frontend/SettingsFile.h"

// The settings file the game reads at start and writes.
extern const char* const kDefaultSettingsPath; // "Misc\Default.VQS"

enum class SettingsReadResult {
    Loaded,
    Missing,      // no such file: nothing changed
    NotSettings,  // not a settings file (too short, another header or version): nothing changed
    Damaged,      // renamed "<path>.bad" and logged; the defaults are set
};

class GameSettings {
public:
    // The options apply their values through the engine's services, which outlive the settings.
    explicit GameSettings(const EngineServices& engine);
    GameSettings(const EngineServices&& engine) = delete;
    GameSettings(const GameSettings&) = delete;
    GameSettings& operator=(const GameSettings&) = delete;

    // Start-up, once the engine, its language set, the renderer, input and sound devices exist
    // and the widgets are bound: lists the profiles, then reads "Misc\Default.VQS" or, when it
    // is missing or unusable, sets the defaults. A file that exists but cannot be used is kept
    // as "Misc\Default.VQS.bad".
    void Init();
    // Every value to its default (options through MenuOption::Set, score tables generated).
    void SetDefaults();
    // Loads a settings file: parsed whole and checked first, then every value applied (clamped
    // to what it indexes, score tables fitted to the language's mission count).
    SettingsReadResult Read(const SharedString& path);
    // Stores the live state at `path` through the atomic writer: on any failure the old file
    // stays, an error is logged and false is returned.
    bool Write(const SharedString& path) const;

    // The live state as the file stores it, and a parsed record applied to the live state.
    SettingsRecord Capture(const SharedString& path) const;
    void Apply(const SettingsRecord& record);

    // Entering a game: writes "Misc\Default.VQS", silences the menu sounds, requests the chosen
    // display mode ("800*600@32" when it cannot be had), runs `modeChanged` (the static world's
    // shader rebuild) and sets normal process priority.
    void ApplyGameVideoMode(const std::function<void()>& modeChanged = nullptr);
    // The menus (and start-up): silences the in-game groups, gives the menu sounds the effects
    // volume, requests 800 x 600 x 32 and sets normal process priority.
    void ApplyMenuVideoMode();

    // The binding record of an action in a control scheme (0 keyboard, 1 keyboard and mouse,
    // 2 joystick).
    static ActionBinding& Binding(int32_t scheme, StoredAction action);

    // The number of missions the language set gives (text 9980000).
    int32_t LanguageMissionCount() const;
    // A profile's file name without the directory ("Alpha.VQS"); empty for a bad index.
    SharedString ProfileFileName(int32_t index) const;

    const EngineServices& engine;

    // --- video page ---
    DisplayDeviceOption displayDevice;
    DisplayModeOption displayMode;
    TextureLevelOption textureLevel;
    CarEffectOption carEffect;
    EnvironmentMapOption environmentMap;
    ViewDistanceOption viewDistance;
    DetailLevelOption detailLevel;
    StaticGeometryModeOption staticGeometryMode;
    VideoBackOption videoBack;
    // --- audio page ---
    SampleRateOption sampleRate;
    VoiceCountOption voiceCount;
    EffectsVolumeOption effectsVolume;
    SpeechVolumeOption speechVolume;
    AmbientVolumeOption ambientVolume;
    MusicVolumeOption musicVolume;
    AudioBackOption audioBack;
    // --- single-player page ---
    CarChoiceOption carChoice;
    MissionChoiceOption missionChoice;

    // Career: episodes of four missions.
    int32_t furthestEpisode = 0;
    int32_t furthestMission = 0;
    int32_t currentEpisode = 0;
    int32_t currentMission = 0;
    // A stored byte nothing reads.
    bool flag = false;
    SharedString playerName;
    SharedString sessionName;
    int32_t missionCount = 0;
    int32_t lastPlayedMission = 0;
    int32_t highestUnlockedMission = 0;
    MissionScoreTables scoreTables;

    // Cars the car choice can index (the car catalogue's size, set by its owner before Init);
    // 0 while unknown, and then the stored choice is only kept from going negative.
    int32_t carCount = 0;

    // The other settings files of "Misc", without extension, in ascending order.
    std::vector<SharedString> profileList;
    // Index into profileList; -1 (no profile) is the only value anything sets.
    int32_t currentProfile = -1;

private:
    // The name and car pools of generated score tables.
    struct TablePools {
        std::vector<SharedString> names;
        std::vector<SharedString> cars;
    };
    TablePools LoadTablePools() const;
    static HighScoreTable DefaultTable(const TablePools& pools);
    void SetDefaultBindings();
    // Moves an unusable file aside as "<path>.bad" (logged).
    static void SetAside(const SharedString& path, const std::string& problem);
};
