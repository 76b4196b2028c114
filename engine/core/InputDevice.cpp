#include "engine/core/InputDevice.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/core/AppWindow.h"
#include "engine/core/Debugger.h"
#include "engine/core/LanguageSet.h"

namespace {

// Language texts that name inputs.
constexpr int32_t kTextNoBinding = 32768;
constexpr int32_t kTextKey = 32769;
constexpr int32_t kTextMouseBase = 32514; // code + base: 256.. -> 32770..
constexpr int32_t kTextJoystick = 32784;
constexpr int32_t kTextJoystickAxis = 32785;
constexpr int32_t kTextJoystickButton = 32791;

const float kZeroAxes[3] = {0.0f, 0.0f, 0.0f};

} // namespace

InputDevice* CreateInputDevice() { return new DInputDevice; }

DInputDevice::DInputDevice() { InitDefaultKeyTable(); }

DInputDevice::~DInputDevice() { Shutdown(); }

void DInputDevice::InitDefaultKeyTable() {
    // Scancodes are positional (USB usage ids), so bindings do not depend on the layout.
    static const int32_t kRest[kEngineKeyCount - 46] = {
        68, 69,                 // 46, 47 F11, F12
        41,                     // 48 Escape
        70,                     // 49 Print Screen
        71,                     // 50 Scroll Lock
        72,                     // 51 Pause
        53,                     // 52 grave
        42,                     // 53 Backspace
        43,                     // 54 Tab
        40,                     // 55 Return
        57,                     // 56 Caps Lock
        225, 229,               // 57, 58 left, right Shift
        224, 228,               // 59, 60 left, right Ctrl
        226, 230,               // 61, 62 left, right Alt
        44,                     // 63 Space
        73, 76,                 // 64, 65 Insert, Delete
        74, 77,                 // 66, 67 Home, End
        75, 78,                 // 68, 69 Page Up, Page Down
        82, 81,                 // 70, 71 Up, Down
        80, 79,                 // 72, 73 Left, Right
        98,                     // 74 keypad 0
        89, 90, 91, 92, 93, 94, 95, 96, 97, // 75..83 keypad 1..9
        83,                     // 84 Num Lock
        84, 85,                 // 85, 86 keypad divide, multiply
        45,                     // 87 minus
        87,                     // 88 keypad add
        88,                     // 89 keypad Enter
        99,                     // 90 keypad decimal
        54, 55, 56,             // 91..93 comma, period, slash
        51, 52,                 // 94, 95 semicolon, apostrophe
        0,                      // 96 unassigned: no key reports 0
        47, 48,                 // 97, 98 left, right bracket
        45,                     // 99 minus (second code)
        46,                     // 100 equals
    };
    for (int i = 0; i < 26; ++i) keyTable_[i] = 4 + i;        // A..Z
    for (int i = 0; i < 10; ++i) keyTable_[26 + i] = 30 + i;  // 1..9, 0
    for (int i = 0; i < 10; ++i) keyTable_[36 + i] = 58 + i;  // F1..F10
    std::memcpy(keyTable_ + 46, kRest, sizeof kRest);
}

void DInputDevice::Init(AppWindow* window, bool fullScreen) {
    if (running_) Shutdown();
    window_ = window;
    fullScreen_ = fullScreen;
    Debugger& log = Debugger::Instance();
    if (!plat::InputInit()) {
        log.Log(3, "ENGINE: Failed initing input");
        return;
    }
    running_ = true;
    log.Log(3, "ENGINE: Keyboard inited");
    if (fullScreen_) plat::SetRelativeMouse(true);
    log.Log(3, "ENGINE: Mouse inited");
    int count = plat::JoystickCount();
    joysticks_.assign(size_t(count), JoystickRecord{});
    for (int i = 0; i < count; ++i) {
        log.Log(3, "ENGINE: Setting up joystick %d", i);
        log.Log(3, "ENGINE: Joystick %d set up", i);
    }
}

void DInputDevice::Shutdown() {
    if (running_) {
        if (fullScreen_) plat::SetRelativeMouse(false);
        plat::InputShutdown();
    }
    running_ = false;
    joysticks_.clear();
    std::memset(keyStates_, 0, sizeof keyStates_);
    repeatKey_ = -1;
    heldTime_ = 0.0f;
    keyEventCount_ = 0;
    listeners_.clear();
    mouse_ = MouseState{};
    mouseEventCount_ = 0;
    cursor_ = Point2i{};
    cursorInside_ = -1;
}

void DInputDevice::Update(float dt) {
    if (!running_) return;
    ReadKeyboard(dt);
    ReadMouse();
    ReadJoysticks();
}

void DInputDevice::ReadKeyboard(float dt) {
    plat::InputStatus status = plat::ReadKeyboard(keyEvents_, kKeyEvents, keyEventCount_);
    if (status != plat::InputStatus::Ok) {
        Debugger& log = Debugger::Instance();
        log.Log(3, "ENGINE: Failed getting KBStatus");
        keyEventCount_ = 0;
        if (status == plat::InputStatus::NotAcquired) {
            log.Log(3, "ENGINE: Focus lost");
        } else {
            log.Log(3, "ENGINE: Resetting keystates");
            std::memset(keyStates_, 0, sizeof keyStates_);
            repeatKey_ = -1;
        }
        return;
    }
    heldTime_ += dt;
    for (uint32_t i = 0; i < keyEventCount_; ++i) {
        const plat::InputEvent& e = keyEvents_[i];
        if (e.offset >= uint32_t(plat::kScancodeCount)) continue;
        if (e.data & 0x80) {
            keyStates_[e.offset] = 1;
            // Of several keys that go down in one frame the first becomes the repeat key.
            if (heldTime_ != 0.0f) {
                repeatKey_ = int32_t(e.offset);
                heldTime_ = 0.0f;
            }
        } else {
            keyStates_[e.offset] = 0;
            if (int32_t(e.offset) == repeatKey_) repeatKey_ = -1;
        }
    }
}

void DInputDevice::ReadMouse() {
    plat::InputStatus status = plat::ReadMouse(mouseEvents_, kMouseEvents, mouseEventCount_);
    mouse_.x = mouse_.y = mouse_.wheel = 0.0f;
    if (status != plat::InputStatus::Ok) {
        mouseEventCount_ = 0;
        // A button released while the program was in the background must not stay held.
        if (status == plat::InputStatus::Lost) std::memset(mouse_.buttons, 0, sizeof mouse_.buttons);
    }
    for (uint32_t i = 0; i < mouseEventCount_; ++i) {
        const plat::InputEvent& e = mouseEvents_[i];
        int32_t value = int32_t(e.data);
        if (e.offset == 0) mouse_.x += float(value);
        else if (e.offset == 4) mouse_.y += float(value);
        else if (e.offset == 8) mouse_.wheel -= float(value);
        else if (e.offset >= plat::kMouseButtonOffset && e.offset < plat::kMouseButtonOffset + 8)
            mouse_.buttons[e.offset - plat::kMouseButtonOffset] = (e.data & 0x80) ? 1 : 0;
    }
    if (!window_) return;
    const int32_t width = window_->clientWidth, height = window_->clientHeight;
    if (fullScreen_) {
        cursor_.x += int32_t(mouse_.x);
        cursor_.y += int32_t(mouse_.y);
    } else if (window_->native) {
        int32_t x = 0, y = 0;
        if (plat::CursorInWindow(window_->native->NativeHandle(), x, y)) {
            int inside = (x >= 0 && y >= 0 && x < width && y < height) ? 1 : 0;
            if (inside != cursorInside_) {
                plat::ShowSystemCursor(!inside);
                cursorInside_ = inside;
            }
            cursor_.x = x;
            cursor_.y = y;
        }
    }
    cursor_.x = std::clamp(cursor_.x, 0, std::max(width - 1, 0));
    cursor_.y = std::clamp(cursor_.y, 0, std::max(height - 1, 0));
}

float DInputDevice::ShapeAxis(int32_t raw) {
    float a = float(raw) * 0.001f;
    float magnitude = std::fabs(a);
    if (magnitude <= 0.05f) return 0.0f;
    float sign = a < 0.0f ? -1.0f : 1.0f;
    magnitude = std::sqrt(magnitude);
    if (magnitude >= 0.95f) return sign;
    return sign * magnitude;
}

void DInputDevice::ReadJoysticks() {
    for (size_t j = 0; j < joysticks_.size(); ++j) {
        JoystickRecord& record = joysticks_[j];
        int32_t raw[3] = {0, 0, 0};
        plat::InputStatus status =
            plat::ReadJoystick(int(j), raw, record.events, kJoystickEvents, record.eventCount);
        if (status != plat::InputStatus::Ok) {
            record.axes[0] = record.axes[1] = record.axes[2] = 0.0f;
            record.eventCount = 0;
            if (status == plat::InputStatus::Lost) std::memset(record.buttons, 0, sizeof record.buttons);
            continue;
        }
        for (int a = 0; a < 3; ++a) record.axes[a] = ShapeAxis(raw[a]);
        for (uint32_t i = 0; i < record.eventCount; ++i) {
            const plat::InputEvent& e = record.events[i];
            if (e.offset >= plat::kJoystickButtonOffset && e.offset < plat::kJoystickButtonOffset + kJoystickButtons)
                record.buttons[e.offset - plat::kJoystickButtonOffset] = (e.data & 0x80) ? 1 : 0;
        }
    }
}

bool DInputDevice::KeyEvent(uint32_t key, bool down) const {
    int32_t scan = ScanCode(key);
    if (scan <= 0) return false;
    for (uint32_t i = 0; i < keyEventCount_; ++i) {
        const plat::InputEvent& e = keyEvents_[i];
        if (int32_t(e.offset) == scan && ((e.data & 0x80) != 0) == down) return true;
    }
    return false;
}

bool DInputDevice::Released(uint32_t key) { return KeyEvent(key, false); }
bool DInputDevice::Pressed(uint32_t key) { return KeyEvent(key, true); }

bool DInputDevice::Held(uint32_t key) {
    int32_t scan = ScanCode(key);
    return scan > 0 && keyStates_[scan] != 0;
}

bool DInputDevice::HeldFor(uint32_t key, float seconds) {
    if (Pressed(key)) return true;
    if (!Held(key)) return false;
    if (ScanCode(key) != repeatKey_) return false;
    if (!(heldTime_ > 0.0f)) return false;
    return heldTime_ >= seconds;
}

bool DInputDevice::Repeat(uint32_t key, float delay, float interval) {
    if (Pressed(key)) return true;
    if (!Held(key) || ScanCode(key) != repeatKey_) return false;
    const float t = heldTime_;
    if (t <= 0.0f || t < delay) return false;
    if (t - delay == 0.0f) return true;
    // Without a positive interval the key fires on every frame after the delay.
    if (!(interval > 0.0f)) return true;
    float r = t - delay;
    if (r < interval) return false;
    r = std::fmod(r, interval);
    heldTime_ = delay + r;
    return true;
}

SharedString DInputDevice::GetKeyName(int32_t code) {
    auto text = [&](int32_t key) -> SharedString {
        return language_ ? language_->GetString(key) : SharedString("");
    };
    if (code == -1) return text(kTextNoBinding).Clone();
    if (code < 256) {
        // Codes outside the key table (stored bindings, the key-capture loop) name no key.
        int32_t scan = code >= 0 ? ScanCode(uint32_t(code)) : -1;
        char name[129];
        if (scan > 0 && plat::KeyName(scan, name, sizeof name)) return SharedString(name);
        return SharedString::Format("%s %d", text(kTextKey).c_str(), code);
    }
    if (code < 1024) return text(code + kTextMouseBase).Clone();
    int32_t device = code / 1024;
    int32_t sub = code & 0x3FF;
    if (sub < 6)
        return SharedString::Format("%s%d %s", text(kTextJoystick).c_str(), device,
                                    text(kTextJoystickAxis + sub).c_str());
    return SharedString::Format("%s%d %s %d", text(kTextJoystick).c_str(), device,
                                text(kTextJoystickButton).c_str(), sub - 6);
}

void DInputDevice::AddTextListener(TextListener* listener) {
    if (listener) listeners_.insert(listeners_.begin(), listener);
}

void DInputDevice::RemoveTextListener(TextListener* listener) {
    auto it = std::find(listeners_.begin(), listeners_.end(), listener);
    if (it != listeners_.end()) listeners_.erase(it);
}

void DInputDevice::OnCharacter(uint32_t character) {
    if (listeners_.empty()) return;
    TextListener& l = *listeners_.front();
    const int32_t length = l.text.Length();
    if (character == 8) {
        if (length > 0) {
            l.text.Assign(l.text.c_str(), length - 1);
            if (l.cursor > 0) --l.cursor;
        }
        return;
    }
    // Appended in the listener's own block, however long the text already is.
    if (l.text.IsNull()) l.text = SharedString("");
    l.text.Reserve(length + 1);
    char* text = l.text.MutableData();
    text[length] = char(character);
    l.text.Assign(text, length + 1);
    ++l.cursor;
}

bool DInputDevice::MouseHeld(uint32_t button) { return button < 8 && mouse_.buttons[button] != 0; }

bool DInputDevice::MousePressed(uint32_t button) {
    for (uint32_t i = 0; i < mouseEventCount_; ++i)
        if (mouseEvents_[i].offset == plat::kMouseButtonOffset + button && (mouseEvents_[i].data & 0x80)) return true;
    return false;
}

bool DInputDevice::MouseReleased(uint32_t button) {
    for (uint32_t i = 0; i < mouseEventCount_; ++i)
        if (mouseEvents_[i].offset == plat::kMouseButtonOffset + button && !(mouseEvents_[i].data & 0x80)) return true;
    return false;
}

const float* DInputDevice::GetJoystick(uint32_t index) {
    return index < joysticks_.size() ? joysticks_[index].axes : kZeroAxes;
}

bool DInputDevice::JoystickHeld(uint32_t joystick, uint32_t button) {
    return joystick < joysticks_.size() && button < kJoystickButtons && joysticks_[joystick].buttons[button] != 0;
}

bool DInputDevice::JoystickPressed(uint32_t joystick, uint32_t button) {
    if (joystick >= joysticks_.size() || button >= kJoystickButtons) return false;
    const JoystickRecord& r = joysticks_[joystick];
    for (uint32_t i = 0; i < r.eventCount; ++i)
        if (r.events[i].offset == plat::kJoystickButtonOffset + button && (r.events[i].data & 0x80)) return true;
    return false;
}

bool DInputDevice::JoystickReleased(uint32_t joystick, uint32_t button) {
    if (joystick >= joysticks_.size() || button >= kJoystickButtons) return false;
    const JoystickRecord& r = joysticks_[joystick];
    for (uint32_t i = 0; i < r.eventCount; ++i)
        if (r.events[i].offset == plat::kJoystickButtonOffset + button && !(r.events[i].data & 0x80)) return true;
    return false;
}
