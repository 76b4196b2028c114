#include "game/frontend/GameOptions.h"

#include <algorithm>

#include "engine/audio/AudioDevice.h"
#include "engine/core/Camera.h"
#include "engine/core/EngineServices.h"
#include "engine/core/InputActions.h"
#include "engine/render/D3D8TextureManager.h"

const char* const kMenuDisplayModeText = "800*600@32";

namespace {

int32_t IntOf(const void* value) { return *static_cast<const int32_t*>(value); }
float FloatOf(const void* value) { return *static_cast<const float*>(value); }

// The item's leading number ("44khz" gives 44, no digits 0); nothing outside the list.
bool ItemNumber(const std::vector<SharedString>& items, int32_t index, int32_t& number) {
    if (index < 0 || size_t(index) >= items.size()) return false;
    number = items[size_t(index)].ToInt();
    return true;
}

std::vector<SharedString> Texts(std::initializer_list<const char*> texts) {
    std::vector<SharedString> out;
    for (const char* t : texts) out.emplace_back(t);
    return out;
}

} // namespace

void MarkSettingsChanged() { SettingsSaveCountdown = 1.0f; }

VolumeGroup& MusicVolumeGroup() {
    static VolumeGroup group;
    return group;
}
VolumeGroup& EffectsVolumeGroup() {
    static VolumeGroup group;
    return group;
}
VolumeGroup& SpeechVolumeGroup() {
    static VolumeGroup group;
    return group;
}
VolumeGroup& AmbientVolumeGroup() {
    static VolumeGroup group;
    return group;
}

SharedString DisplayModeText(const DisplayMode& mode) {
    return SharedString::Format("%d*%d@%d", mode.width, mode.height, mode.bitsPerPixel);
}

bool ParseDisplayModeText(const SharedString& text, DisplayMode& mode) {
    const int32_t star = text.Find('*');
    const int32_t at = text.Find('@');
    if (star >= text.Length() || at >= text.Length()) return false;
    const DisplayMode parsed{text.ToInt(0), text.ToInt(star + 1), text.ToInt(at + 1), -1};
    if (parsed.width <= 0 || parsed.height <= 0 || parsed.bitsPerPixel <= 0) return false;
    mode = parsed;
    return true;
}

void DisplayModeOption::SetValue(const void*) { MarkSettingsChanged(); }

void DisplayModeOption::SetModes(const std::vector<DisplayMode>& renderModes) {
    modes.clear();
    for (const DisplayMode& m : renderModes) {
        if (m.width < 640 || m.height < 480) continue;
        SharedString text = DisplayModeText(m);
        if (std::find(modes.begin(), modes.end(), text) == modes.end()) modes.push_back(text);
    }
}

SharedString DisplayModeOption::ModeText() const {
    if (cachedInt < 0 || size_t(cachedInt) >= modes.size()) return SharedString(kMenuDisplayModeText);
    return modes[size_t(cachedInt)];
}

int32_t DisplayModeOption::IndexOf(const SharedString& text) const {
    auto it = std::find(modes.begin(), modes.end(), text);
    return it == modes.end() ? 0 : int32_t(it - modes.begin());
}

void TextureLevelOption::SetValue(const void* value) {
    D3D8TextureManager* textures = engine_.renderer ? engine_.renderer->GetTextureManager() : nullptr;
    if (textures) textures->SetMaxMipLevel(2 - IntOf(value));
    MarkSettingsChanged();
}

void CarEffectOption::SetValue(const void*) { MarkSettingsChanged(); }
void EnvironmentMapOption::SetValue(const void*) { MarkSettingsChanged(); }
void DetailLevelOption::SetValue(const void*) { MarkSettingsChanged(); }
void StaticGeometryModeOption::SetValue(const void*) { MarkSettingsChanged(); }
void VideoBackOption::SetValue(const void*) { MarkSettingsChanged(); }

void ViewDistanceOption::ApplyTo(Camera& target, float value) {
    target.SetFarPlane(FarPlane(value));
    target.SetFogRange(0.75f, 1.0f);
}

void ViewDistanceOption::SetValue(const void* value) {
    if (camera) ApplyTo(*camera, FloatOf(value));
    MarkSettingsChanged();
}

SampleRateOption::SampleRateOption(const EngineServices& engine)
    : items(Texts({"11khz", "22khz", "44khz"})), engine_(engine) {}

void SampleRateOption::SetValue(const void* value) {
    int32_t kiloHertz = 0;
    AudioDevice* sound = engine_.sound;
    if (sound && ItemNumber(items, IntOf(value), kiloHertz)) sound->SetSampleRateKHz(kiloHertz);
    MarkSettingsChanged();
}

VoiceCountOption::VoiceCountOption(const EngineServices& engine)
    : items(Texts({"4", "8", "16", "32", "64"})), engine_(engine) {}

void VoiceCountOption::SetValue(const void* value) {
    int32_t voices = 0;
    AudioDevice* sound = engine_.sound;
    if (sound && ItemNumber(items, IntOf(value), voices)) sound->SetMaxVoices(voices);
    MarkSettingsChanged();
}

void EffectsVolumeOption::SetValue(const void* value) {
    const float volume = FloatOf(value);
    MenuSoundGroup().SetVolume(volume);
    if (engine_.masterVolume) engine_.masterVolume->SetVolume(volume);
    MarkSettingsChanged();
}

void SpeechVolumeOption::SetValue(const void*) { MarkSettingsChanged(); }
void AmbientVolumeOption::SetValue(const void*) { MarkSettingsChanged(); }

void MusicVolumeOption::SetValue(const void* value) {
    MusicVolumeGroup().SetVolume(FloatOf(value));
    MarkSettingsChanged();
}

void CarChoiceOption::SetValue(const void* value) {
    if (action) action(IntOf(value));
    MarkSettingsChanged();
}

void MissionChoiceOption::SetValue(const void* value) {
    if (action) action(IntOf(value));
    MarkSettingsChanged();
}
