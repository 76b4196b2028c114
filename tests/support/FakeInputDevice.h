#pragma once
#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "engine/core/InputDevice.h"
#include "tests/support/CallList.h"

namespace testing_support {

// A scripted input device. Tests set what is held and what happened this frame; presses put in
// `nextPressed` become the next frame's presses when the engine reads the device (Update), and
// Update ends the previous frame's events. With a call list it records "input Init" and
// "input Update".
class FakeInputDevice : public NullInputDevice {
public:
    struct Joystick {
        float axes[3] = {0.0f, 0.0f, 0.0f};
        std::set<uint32_t> held, pressed, released;
    };

    explicit FakeInputDevice(CallList* calls = nullptr) : calls_(calls) {}

    void Init(AppWindow*, bool) override { Record("input Init"); }
    void Update(float dt) override {
        Record("input Update");
        lastFrameTime = dt;
        NextFrame();
        pressed.swap(nextPressed);
    }
    bool Released(uint32_t key) override { return released.count(key) != 0; }
    bool Held(uint32_t key) override { return held.count(key) != 0; }
    bool Pressed(uint32_t key) override { return pressed.count(key) != 0; }
    bool Repeat(uint32_t key, float, float) override { return pressed.count(key) != 0; }
    bool HeldFor(uint32_t key, float) override { return pressed.count(key) != 0; }
    SharedString GetKeyName(int32_t code) override {
        ++keyNameCalls;
        return code == -1 ? SharedString("Unbound") : SharedString::Format("Input %d", code);
    }
    void AddTextListener(TextListener* listener) override { listeners.insert(listeners.begin(), listener); }
    void RemoveTextListener(TextListener* listener) override {
        auto it = std::find(listeners.begin(), listeners.end(), listener);
        if (it != listeners.end()) listeners.erase(it);
    }
    MouseState* GetMouseState() override { return &mouse; }
    Point2i* GetCursorPosition() override { return &cursor; }
    bool MouseReleased(uint32_t b) override { return mouseReleased.count(b) != 0; }
    bool MouseHeld(uint32_t b) override { return b < 8 && mouse.buttons[b] != 0; }
    bool MousePressed(uint32_t b) override { return mousePressed.count(b) != 0; }
    uint32_t GetJoystickCount() override { return uint32_t(joysticks.size()); }
    const float* GetJoystick(uint32_t index) override { return joysticks.at(index).axes; }
    bool JoystickReleased(uint32_t j, uint32_t b) override { return joysticks.at(j).released.count(b) != 0; }
    bool JoystickHeld(uint32_t j, uint32_t b) override { return joysticks.at(j).held.count(b) != 0; }
    bool JoystickPressed(uint32_t j, uint32_t b) override { return joysticks.at(j).pressed.count(b) != 0; }
    // Every character is kept in `characters`; the front text listener is edited by the real
    // device's rule: backspace removes, anything else appends.
    void OnCharacter(uint32_t character) override {
        characters.push_back(char(character));
        if (listeners.empty()) return;
        TextListener* l = listeners.front();
        std::string text(l->text.c_str(), size_t(l->text.Length()));
        if (character == 8) {
            if (!text.empty()) text.pop_back();
            if (l->cursor > 0) --l->cursor;
        } else {
            text.push_back(char(character));
            ++l->cursor;
        }
        l->text.Assign(text.data(), int32_t(text.size()));
    }

    void Type(const char* text) {
        for (const char* p = text; *p; ++p) OnCharacter(uint8_t(*p));
    }
    // Ends the frame's events (keeps what is held).
    void NextFrame() {
        pressed.clear();
        released.clear();
        mousePressed.clear();
        mouseReleased.clear();
        mouse.x = mouse.y = mouse.wheel = 0.0f;
        for (Joystick& j : joysticks) {
            j.pressed.clear();
            j.released.clear();
        }
    }

    std::set<uint32_t> held, pressed, released, nextPressed, mousePressed, mouseReleased;
    MouseState mouse;
    Point2i cursor;
    std::vector<Joystick> joysticks;
    std::vector<TextListener*> listeners;
    std::string characters;
    int keyNameCalls = 0;
    float lastFrameTime = -1.0f;

private:
    void Record(const char* what) {
        if (calls_) calls_->push_back(what);
    }
    CallList* calls_;
};

} // namespace testing_support
