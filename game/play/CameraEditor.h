#pragma once
// The cut-scene camera editor: the flat list of camera shots the world read, a current shot
// (-1 = none), the keys that add, delete and step through shots from the free camera, the
// console edits of the current shot's tags and the dump in the world's own layout.
#include <cstdint>
#include <vector>

#include "game/world/LevelData.h"

class Camera;
class InputDevice;

class CameraEditor {
public:
    // Engine key codes of the editor (pressed this frame).
    static constexpr uint32_t kAddKey = 0x0F, kDumpKey = 0x14, kDeleteKey = 0x41;
    static constexpr uint32_t kNextKey = 0x44, kPreviousKey = 0x45;
    // The file the dump writes (working directory), the layout of "Misc\CameraData.cut".
    static constexpr const char* kDumpFile = "CamOut.pcd";

    // A shot at the camera's pose, tags and time 0, empty sample: appended when there is no
    // current shot or the current one is the last (and then current), else put before the
    // current one, which it becomes.
    void Add(const Camera& camera);
    // Removes the current shot; the next one becomes current, or the previous one when the
    // last went (-1 when it was the only one). Nothing without a current shot.
    void Delete();
    // Step with wrap-around; nothing without a current shot.
    void Next();
    void Previous();
    // The current shot, null for none.
    CameraRecord* Current();
    // The console edits; episode and mission arrive 1-based and are kept 0-based.
    void SetEpisode(int32_t number);
    void SetMission(int32_t number);
    void SetIndex(int32_t index);
    void SetSample(const SharedString& name);
    // Writes every shot in list order to path through the atomic-write helper; false (and a
    // console line) when it cannot.
    bool Dump(const SharedString& path) const;
    // The editor keys of one frame; the camera takes the current shot's pose after a change.
    void Control(InputDevice& input, Camera& camera);
    // Puts the camera at the current shot, if any.
    void ShowCurrent(Camera& camera) const;

    std::vector<CameraRecord> records;
    int32_t current = -1;
    uint8_t on = 0;
};

// The editor's lines, top to bottom: the shot count and, with a current shot, its values as
// stored (episode and mission 0-based). Reuses lines.
void CameraEditorLines(CameraEditor& editor, std::vector<SharedString>& lines);
