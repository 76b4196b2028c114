#pragma once
// The settings file ("Misc\Default.VQS" and the profiles beside it): its plain record, the one
// writer and the one reader. The game (GameSettings) and the tools (tools/writers) both go
// through these functions, so the bytes the tools make are the bytes the game makes.
//
// Layout, little-endian, no padding:
//   "ZK2", u32 0x10000000, the path the file was written under (string; ignored on reading),
//   the display mode text (string, "800*600@32"), eight u32 / f32 option values in the order of
//   SettingsRecord, four f32 volumes, the bindings (scheme by scheme, action by action in
//   kStoredActions order, primary then secondary i32), four u32 career values, one flag byte,
//   the player and session names (strings), u32 mission count, last played and highest unlocked
//   mission, the score tables (five entries each: inverted-string name, f32 score, inverted-string
//   car name; as many tables as the writer held, no count), u32 car choice, u32 mission choice.
// A string is a u32 byte count and the bytes; an inverted string stores every byte complemented.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/core/FileStream.h"
#include "engine/core/InputActions.h"
#include "engine/core/SharedString.h"

// The version word of the settings file.
constexpr uint32_t kSettingsVersion = 0x10000000u;
// A stored text longer than this marks the file as damaged.
constexpr int32_t kMaxSettingsString = 4096;
// Entries of one mission's score table.
constexpr int32_t kHighScoreEntries = 5;
// The game actions the file stores, per control scheme.
constexpr int32_t kStoredActionCount = 12;

// The stored actions in file order, each with the binding set of the input-action map that
// holds its three records.
enum class StoredAction : int32_t {
    Accelerate,
    Brake,
    SteerLeft,
    SteerRight,
    Handbrake,
    UseSpecial,
    FireWeapon,
    LookBack,
    Confirm,
    Respawn,
    ToggleSwitch,
    DropPassenger,
};
constexpr std::array<int32_t, kStoredActionCount> kStoredActionSets = {
    kActionUp, kActionDown, kActionLeft, kActionRight, 5, 6, 7, 8, 9, 10, 11, 12};
constexpr int32_t StoredActionSet(StoredAction action) { return kStoredActionSets[size_t(action)]; }

// True for -1 (none) and for the codes an input can have: a key 0..255, a mouse button 0..7, a
// direction of the mouse's x, y or wheel axis, a joystick axis direction or one of its buttons.
bool IsBindableInputCode(InputCode code);

struct HighScoreEntry {
    SharedString name;
    SharedString carName;
    float score = 0.0f;
};
// Five entries, best first.
using HighScoreTable = std::vector<HighScoreEntry>;
// One table per mission.
using MissionScoreTables = std::vector<HighScoreTable>;

// Everything the file holds, as stored (no value checked or clamped).
struct SettingsRecord {
    SharedString path;         // the path the file was written under
    SharedString displayMode;  // "width*height@depth"
    int32_t textureLevel = 0;
    int32_t carEffect = 0;
    int32_t environmentMap = 0;
    float viewDistance = 0.0f;
    int32_t detailLevel = 0;
    int32_t staticGeometryMode = 0;
    int32_t sampleRate = 0;
    int32_t voiceCount = 0;
    float effectsVolume = 0.0f;
    float speechVolume = 0.0f;
    float ambientVolume = 0.0f;
    float musicVolume = 0.0f;
    // [scheme][action in file order][0 primary, 1 secondary]
    InputCode bindings[kControlSchemeCount][kStoredActionCount][2] = {};
    int32_t furthestEpisode = 0;
    int32_t furthestMission = 0;
    int32_t currentEpisode = 0;
    int32_t currentMission = 0;
    bool flag = false;
    SharedString playerName;
    SharedString sessionName;
    int32_t missionCount = 0;
    int32_t lastPlayedMission = 0;
    int32_t highestUnlockedMission = 0;
    // Written with exactly five entries per table (missing entries as empty ones).
    MissionScoreTables scoreTables;
    int32_t carChoice = 0;
    int32_t missionChoice = 0;
};

// Writes the whole record.
void WriteSettingsRecord(BinaryOutputStream& out, const SettingsRecord& record);
// The record's bytes, as WriteSettingsRecord makes them.
std::vector<uint8_t> SettingsBytes(const SettingsRecord& record);

enum class SettingsParse {
    Ok,
    Missing,      // no such file
    NotSettings,  // shorter than 10 bytes, another magic or another version: not a settings file
    Damaged,      // a settings file that ends early or holds a text longer than the bytes left or 4 KiB
};

// Reads a settings file into `record`. Score tables are read while more than the two final
// values remain; the file must then end exactly after them. On Damaged or NotSettings,
// `problem` says what was wrong and `record` holds whatever was read.
SettingsParse ReadSettingsRecord(const SharedString& path, SettingsRecord& record, std::string& problem);
SettingsParse ReadSettingsRecord(FileReader& in, SettingsRecord& record, std::string& problem);
