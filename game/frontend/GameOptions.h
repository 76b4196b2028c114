#pragma once
// The option values of the video, audio and single-player pages. Each is a MenuOption whose
// SetValue applies the new value to the running engine; the widgets, the defaults and the
// settings file all hand values over through MenuOption::Set, so a value takes effect the same
// way wherever it comes from. Every SetValue also arms the settings save countdown, except those
// of DisplayDeviceOption and AudioBackOption, which have no effect at all.
//
// Integer options keep their value in cachedInt, float options in cachedFloat, byte options in
// cachedByte.
#include <cstdint>
#include <functional>
#include <vector>

#include "engine/core/MenuOption.h"
#include "engine/core/SharedString.h"
#include "engine/render/RenderFacility.h"

class Camera;
class VolumeGroup;
struct EngineServices;

// Arms the settings save countdown (SettingsSaveCountdown := 1).
void MarkSettingsChanged();

// The volume groups of the game's sounds. The menus run with the three in-game groups at 0 and
// a game with the menu sound group (MenuSoundGroup) at 0.
VolumeGroup& MusicVolumeGroup();
VolumeGroup& EffectsVolumeGroup();
VolumeGroup& SpeechVolumeGroup();
VolumeGroup& AmbientVolumeGroup();

// The display mode that stands in for an empty mode list, a bad index or an unreadable text.
constexpr DisplayMode kMenuDisplayMode{800, 600, 32, -1};
extern const char* const kMenuDisplayModeText; // "800*600@32"

// "%d*%d@%d" of a mode.
SharedString DisplayModeText(const DisplayMode& mode);
// Takes "1024*768@16" apart: width from the start, height after the first '*', depth after the
// first '@' (any refresh rate). False, and `mode` untouched, when a part is missing or not
// positive.
bool ParseDisplayModeText(const SharedString& text, DisplayMode& mode);

// Index into the display-mode list; the mode itself is applied when a game is entered.
class DisplayModeOption : public MenuOption {
public:
    void SetValue(const void* value) override;
    // The list from the renderer's modes, in its order: every mode of at least 640 x 480 once.
    void SetModes(const std::vector<DisplayMode>& renderModes);
    // The mode text at the chosen index; "800*600@32" when the list is empty or the index is
    // outside it.
    SharedString ModeText() const;
    // The first item equal to the text (exact), 0 when none is.
    int32_t IndexOf(const SharedString& text) const;

    // The items of the display-mode choice.
    std::vector<SharedString> modes;
};

// The display-device choice (shown, disabled). No effect.
class DisplayDeviceOption : public MenuOption {};

// 0..2: the texture manager's highest-resolution level becomes 2 - value.
class TextureLevelOption : public MenuOption {
public:
    // The engine's renderer has the texture manager (the services outlive the option).
    explicit TextureLevelOption(const EngineServices& engine) : engine_(engine) {}
    void SetValue(const void* value) override;

private:
    const EngineServices& engine_;
};

// 0 or 1: at 1 the cars lay skid marks and the local player's car casts its shadow volume.
class CarEffectOption : public MenuOption {
public:
    void SetValue(const void* value) override;
    bool SkidMarks() const { return cachedInt == 1; }
    bool ShadowVolume() const { return cachedInt == 1; }
};

// 0: the game's environment cube is drawn during the first second only; 1: every frame, the
// sky only; 2: with the static city and objects; 3: everything. The video page offers 0 and 1,
// the settings file keeps all four; the game takes it when it is entered.
class EnvironmentMapOption : public MenuOption {
public:
    void SetValue(const void* value) override;
};

// 0..1 of the view range: the chase camera's far plane 1500 + 8500 x value, fog over the last
// quarter of the range.
class ViewDistanceOption : public MenuOption {
public:
    void SetValue(const void* value) override;
    static float FarPlane(float value) { return 1500.0f + 8500.0f * value; }
    static void ApplyTo(Camera& camera, float value);

    // The game's chase camera, once it exists; every new value is applied to it.
    Camera* camera = nullptr;
};

// 0..3: traffic-light lamps from 1, world-object animation from 2, car particles at 3.
class DetailLevelOption : public MenuOption {
public:
    void SetValue(const void* value) override;
};

// 0 or 1 (no widget): the static world's alternative render state and extra pass.
class StaticGeometryModeOption : public MenuOption {
public:
    void SetValue(const void* value) override;
};

// The video page's back button.
class VideoBackOption : public MenuOption {
public:
    void SetValue(const void* value) override;
};

// The audio page's back button. No effect.
class AudioBackOption : public MenuOption {};

// Index into "11khz", "22khz", "44khz": the sound device gets the item's leading number.
class SampleRateOption : public MenuOption {
public:
    // The engine's sound device takes the rate (the services outlive the option).
    explicit SampleRateOption(const EngineServices& engine);
    void SetValue(const void* value) override;
    std::vector<SharedString> items;

private:
    const EngineServices& engine_;
};

// Index into "4", "8", "16", "32", "64": the sound device's voice limit.
class VoiceCountOption : public MenuOption {
public:
    // The engine's sound device takes the limit (the services outlive the option).
    explicit VoiceCountOption(const EngineServices& engine);
    void SetValue(const void* value) override;
    std::vector<SharedString> items;

private:
    const EngineServices& engine_;
};

// The menu sound group and the engine's master group follow it; in a game the effects group.
class EffectsVolumeOption : public MenuOption {
public:
    // The engine's master group (the services outlive the option).
    explicit EffectsVolumeOption(const EngineServices& engine) : engine_(engine) {}
    void SetValue(const void* value) override;

private:
    const EngineServices& engine_;
};

// Read by the game where it plays voice lines (speech group in a game).
class SpeechVolumeOption : public MenuOption {
public:
    void SetValue(const void* value) override;
};

// Read by the game where it plays ambient and money sounds (ambient group in a game).
class AmbientVolumeOption : public MenuOption {
public:
    void SetValue(const void* value) override;
};

// The music group follows it.
class MusicVolumeOption : public MenuOption {
public:
    void SetValue(const void* value) override;
};

// The single-player page's car and mission choices. The page gives each its action (the car
// carousel, the mission view); until then only the countdown is armed.
class CarChoiceOption : public MenuOption {
public:
    void SetValue(const void* value) override;
    std::function<void(int32_t)> action;
};

class MissionChoiceOption : public MenuOption {
public:
    void SetValue(const void* value) override;
    std::function<void(int32_t)> action;
};

// A button's or field's option whose screen gives it its actions: `execute` when the widget
// fires, `setValue` with each new value (the value's type is the widget's).
class ActionOption : public MenuOption {
public:
    void Execute() override {
        if (execute) execute();
    }
    void SetValue(const void* value) override {
        if (setValue) setValue(value);
    }
    std::function<void()> execute;
    std::function<void(const void*)> setValue;
};
