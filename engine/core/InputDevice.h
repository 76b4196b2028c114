#pragma once
#include <cstdint>
#include <vector>

#include "engine/core/Math.h"
#include "engine/core/SharedString.h"
#include "platform/window/Input.h"

class AppWindow;
class LanguageSet;

// Receives typed characters while it is the front listener (console input line, text-entry
// widgets, chat line). The device edits `text` in place.
struct TextListener {
    SharedString text;
    int32_t cursor = 0;
};

// The mouse block: this frame's movement sums and the button states (1 down).
struct MouseState {
    float x = 0.0f;
    float y = 0.0f;
    float wheel = 0.0f;
    uint8_t buttons[8] = {};
};

// Engine key codes 0..100 (see DInputDevice's key table) and the ones the engine uses itself.
enum EngineKey : uint32_t {
    kKeyEscape = 48,
    kKeyScreenshot = 49,
    kKeyConsole = 52,
    kKeyBackspace = 53,
    kKeyReturn = 55,
    kKeySpace = 63,
    kKeyDelete = 65,
    kKeyUp = 70,
    kKeyDown = 71,
    kKeyLeft = 72,
    kKeyRight = 73,
    kKeyPadEnter = 89,
    kEngineKeyCount = 101,
};

// The engine's input: keyboard, mouse and joysticks, asked about the current frame.
// Every device kind answers released, held and pressed.
class InputDevice {
public:
    virtual ~InputDevice() = default;
    virtual void Init(AppWindow* window, bool fullScreen) = 0;
    // Reads every device for the new frame (the engine calls it once per frame).
    virtual void Update(float dt) = 0;
    virtual bool Released(uint32_t key) = 0;
    virtual bool Held(uint32_t key) = 0;
    virtual bool Pressed(uint32_t key) = 0;
    // Auto-repeat pulse: on the press frame, once the key has been held delay + interval, and
    // from then on once per interval.
    virtual bool Repeat(uint32_t key, float delay, float interval) = 0;
    // Pressed this frame, or held for at least `seconds`.
    virtual bool HeldFor(uint32_t key, float seconds) = 0;
    // Display name of an input code (keys, mouse inputs, joystick inputs).
    virtual SharedString GetKeyName(int32_t code) = 0;
    virtual void AddTextListener(TextListener* listener) = 0;
    virtual void RemoveTextListener(TextListener* listener) = 0;
    virtual MouseState* GetMouseState() = 0;
    virtual Point2i* GetCursorPosition() = 0;
    virtual bool MouseReleased(uint32_t button) = 0;
    virtual bool MouseHeld(uint32_t button) = 0;
    virtual bool MousePressed(uint32_t button) = 0;
    virtual uint32_t GetJoystickCount() = 0;
    // The x, y, z axes of the joystick, each -1..1.
    virtual const float* GetJoystick(uint32_t index) = 0;
    virtual bool JoystickReleased(uint32_t joystick, uint32_t button) = 0;
    virtual bool JoystickHeld(uint32_t joystick, uint32_t button) = 0;
    virtual bool JoystickPressed(uint32_t joystick, uint32_t button) = 0;
    // A typed character (Windows-1252 byte; 8 is backspace) for the front text listener.
    virtual void OnCharacter(uint32_t character) = 0;
    // The language set whose texts name the inputs.
    virtual void SetLanguage(LanguageSet* language) = 0;
};

// Stand-in for builds and tests without input: nothing is ever held, pressed or moved, no
// joystick is attached and typed characters are dropped. A test device scripts what it needs
// on top of it.
class NullInputDevice : public InputDevice {
public:
    void Init(AppWindow*, bool) override {}
    void Update(float) override {}
    bool Released(uint32_t) override { return false; }
    bool Held(uint32_t) override { return false; }
    bool Pressed(uint32_t) override { return false; }
    bool Repeat(uint32_t, float, float) override { return false; }
    bool HeldFor(uint32_t, float) override { return false; }
    SharedString GetKeyName(int32_t) override { return SharedString(""); }
    void AddTextListener(TextListener*) override {}
    void RemoveTextListener(TextListener*) override {}
    MouseState* GetMouseState() override { return &mouse_; }
    Point2i* GetCursorPosition() override { return &cursor_; }
    bool MouseReleased(uint32_t) override { return false; }
    bool MouseHeld(uint32_t) override { return false; }
    bool MousePressed(uint32_t) override { return false; }
    uint32_t GetJoystickCount() override { return 0; }
    const float* GetJoystick(uint32_t) override { return axes_; }
    bool JoystickReleased(uint32_t, uint32_t) override { return false; }
    bool JoystickHeld(uint32_t, uint32_t) override { return false; }
    bool JoystickPressed(uint32_t, uint32_t) override { return false; }
    void OnCharacter(uint32_t) override {}
    void SetLanguage(LanguageSet*) override {}

private:
    MouseState mouse_;
    Point2i cursor_;
    float axes_[3] = {0.0f, 0.0f, 0.0f};
};

// The input device over the platform's buffered keyboard, mouse and joysticks.
class DInputDevice : public InputDevice {
public:
    static constexpr uint32_t kKeyEvents = plat::kKeyboardBufferSize;
    static constexpr uint32_t kMouseEvents = plat::kMouseBufferSize;
    static constexpr uint32_t kJoystickEvents = plat::kJoystickBufferSize;
    static constexpr uint32_t kJoystickButtons = 32;

    struct JoystickRecord {
        float axes[3] = {0.0f, 0.0f, 0.0f};
        uint8_t buttons[kJoystickButtons] = {};
        plat::InputEvent events[kJoystickEvents];
        uint32_t eventCount = 0;
    };

    DInputDevice();
    ~DInputDevice() override;

    void Init(AppWindow* window, bool fullScreen) override;
    void Update(float dt) override;
    bool Released(uint32_t key) override;
    bool Held(uint32_t key) override;
    bool Pressed(uint32_t key) override;
    bool Repeat(uint32_t key, float delay, float interval) override;
    bool HeldFor(uint32_t key, float seconds) override;
    SharedString GetKeyName(int32_t code) override;
    void AddTextListener(TextListener* listener) override;
    void RemoveTextListener(TextListener* listener) override;
    MouseState* GetMouseState() override { return &mouse_; }
    Point2i* GetCursorPosition() override { return &cursor_; }
    bool MouseReleased(uint32_t button) override;
    bool MouseHeld(uint32_t button) override;
    bool MousePressed(uint32_t button) override;
    uint32_t GetJoystickCount() override { return uint32_t(joysticks_.size()); }
    const float* GetJoystick(uint32_t index) override;
    bool JoystickReleased(uint32_t joystick, uint32_t button) override;
    bool JoystickHeld(uint32_t joystick, uint32_t button) override;
    bool JoystickPressed(uint32_t joystick, uint32_t button) override;
    void OnCharacter(uint32_t character) override;
    void SetLanguage(LanguageSet* language) override { language_ = language; }

    // Releases the devices and returns to the idle state; the key table stays.
    void Shutdown();
    bool Running() const { return running_; }
    // The scancode of an engine key code, or -1 for codes outside the table.
    int32_t ScanCode(uint32_t key) const { return key < kEngineKeyCount ? keyTable_[key] : -1; }
    int32_t RepeatKey() const { return repeatKey_; }
    float HeldTime() const { return heldTime_; }

    // Axis shaping: raw -1000..1000 to -1..1 with a dead zone and a square-root response.
    static float ShapeAxis(int32_t raw);

private:
    void InitDefaultKeyTable();
    void ReadKeyboard(float dt);
    void ReadMouse();
    void ReadJoysticks();
    bool KeyEvent(uint32_t key, bool down) const;

    LanguageSet* language_ = nullptr;
    bool running_ = false;
    bool fullScreen_ = false;
    AppWindow* window_ = nullptr;

    uint8_t keyStates_[plat::kScancodeCount] = {};
    int32_t repeatKey_ = -1;
    float heldTime_ = 0.0f;
    plat::InputEvent keyEvents_[kKeyEvents];
    uint32_t keyEventCount_ = 0;
    int32_t keyTable_[kEngineKeyCount] = {};
    std::vector<TextListener*> listeners_;

    MouseState mouse_;
    plat::InputEvent mouseEvents_[kMouseEvents];
    uint32_t mouseEventCount_ = 0;
    Point2i cursor_;
    int cursorInside_ = -1; // unknown until the first windowed read

    std::vector<JoystickRecord> joysticks_;
};

InputDevice* CreateInputDevice();
