#include "engine/core/SliderWidget.h"

#include <algorithm>

#include "engine/audio/AudioDevice.h"
#include "engine/core/Engine.h"
#include "engine/core/InputDevice.h"
#include "engine/core/MenuCanvas.h"
#include "engine/core/MenuResources.h"

using namespace menu_detail;

namespace {

InputDevice* Input() {
    ZKEngine* engine = ZKEngine::Get();
    return engine ? engine->input : nullptr;
}

// Shared by every slider, like their one voice.
float g_soundLevel = 0.0f;
// The level fades once per frame however many sliders the screen updates (a page of four
// would otherwise fade it four times as fast and, at 40 frames a second or fewer, stop the
// voice in the very frame that started it). A movement lets the fade run again.
bool g_fadedThisFrame = false;
uint32_t g_fadedFrame = 0;

constexpr int32_t kGrabX = 10;
constexpr int32_t kGrabY = 5;

} // namespace

float SliderWidget::SoundLevel() { return g_soundLevel; }

SliderWidget::SliderWidget(const SharedString& captionText, MenuOption* boundOption)
    : TextWidget(captionText, nullptr), option(boundOption) {
    LoadMenuPicture(MenuImage::Slider);
    MakeMenuSound(MenuSound::Slider);
    picture = GetMenuPicture(MenuImage::Slider);
    if (!option) return;
    option->widget = this;
    option->Set(option->cachedFloat);
}

float SliderWidget::Value() const { return option ? option->cachedFloat : 0.0f; }

void SliderWidget::MoveTo(float value) {
    if (option) option->Set(value);
    if (AudioVoice* voice = GetMenuSound(MenuSound::Slider)) {
        voice->SetPitch(value + 1.0f);
        voice->SetPan(2.0f * value - 1.0f);
        if (g_soundLevel == 0.0f) voice->Play(true);
    }
    g_soundLevel = 1.0f;
    g_fadedThisFrame = false;
}

void SliderWidget::HandleInput(const Point2i& cursor) {
    InputDevice* input = Input();
    if (!input) return;
    const float dt = FrameTime();
    if (input->Held(kKeyLeft)) MoveTo(Clamp(Value() - dt, 0.0f, 1.0f));
    if (input->Held(kKeyRight)) MoveTo(Clamp(Value() + dt, 0.0f, 1.0f));
    if (!input->MouseHeld(0) || !picture || picture->Width() <= 0) return;
    const int32_t left = area.left + barX - kGrabX, top = area.top + barY - kGrabY;
    const int32_t right = left + picture->Width() + 2 * kGrabX, bottom = top + picture->Height() + 2 * kGrabY;
    if (cursor.x >= left && cursor.x < right && cursor.y >= top && cursor.y < bottom)
        MoveTo(Clamp(float(cursor.x - area.left - barX) / float(picture->Width()), 0.0f, 1.0f));
}

void SliderWidget::Update() {
    TextWidget::Update();
    ZKEngine* engine = ZKEngine::Get();
    const uint32_t frame = engine ? engine->frameNumber : 0;
    if (g_fadedThisFrame && g_fadedFrame == frame) return;
    g_fadedThisFrame = true;
    g_fadedFrame = frame;
    AudioVoice* voice = GetMenuSound(MenuSound::Slider);
    if (g_soundLevel <= 0.0f) {
        if (voice) voice->Stop();
        return;
    }
    if (voice) voice->SetVolume(g_soundLevel);
    g_soundLevel = std::max(g_soundLevel - FrameTime() * 10.0f, 0.0f);
}

bool SliderWidget::SetFocus(bool focus) {
    if (focus && !IsEnabled()) return false;
    if (!focus)
        if (AudioVoice* voice = GetMenuSound(MenuSound::Slider)) voice->Stop();
    return Widget::SetFocus(focus);
}

bool SliderWidget::HandleMouse(const Point2i& point) {
    if (!IsEnabled()) return false;
    if (Widget::HandleMouse(point)) return true;
    // A bar without width cannot be pointed at.
    if (!picture || picture->Width() <= 0) return false;
    const Rect bar{area.left + barX, area.top + barY, area.left + barX + picture->Width(),
                   area.top + barY + picture->Height()};
    return point.x >= bar.left && point.x < bar.right && point.y >= bar.top && point.y < bar.bottom;
}

void SliderWidget::Draw(float alpha) {
    TextWidget::Draw(alpha);
    MenuCanvas* canvas = GetMenuCanvas();
    if (!canvas) return;
    const float x = float(area.left + barX), y0 = float(area.top + barY);
    if (picture) {
        float value = Value();
        if (!(value >= 0.0f)) value = 0.0f; // NaN too
        if (value > 1.0f) value = 1.0f;
        const Rect source{0, 0, int32_t(float(picture->Width()) * value), picture->Height()};
        Color c;
        c.a = AlphaByte(IsEnabled() ? alpha : alpha * 0.5f);
        canvas->DrawSprite(picture, &source, {x, y0}, &c, kMenuDrawAlpha);
    }
    if (!labelFont) return;
    const float y = y0 + float(int32_t(-float(canvas->FontSize(labelFont)) * 1.5f));
    canvas->DrawText(minLabel, {x, y}, kMenuAnchorTopLeft, nullptr, labelFont, true);
    const int32_t width = picture ? picture->Width() : 0;
    canvas->DrawText(maxLabel, {x + float(int32_t(float(width) - float(canvas->TextWidth(labelFont, maxLabel)))), y},
                     kMenuAnchorTopLeft, nullptr, labelFont, true);
}
