#include "platform/window/Input.h"

#include <SDL.h>
#include <cstring>
#include <vector>

#include "platform/window/Window.h"

namespace plat {

namespace {

// Fixed-size first-in first-out buffer; pushes past the capacity are dropped.
template <uint32_t N>
struct EventFifo {
    InputEvent items[N];
    uint32_t count = 0;
    void Push(uint32_t offset, uint32_t data) {
        if (count < N) items[count++] = InputEvent{offset, data};
    }
    uint32_t Drain(InputEvent* out, uint32_t capacity) {
        uint32_t n = count < capacity ? count : capacity;
        std::memcpy(out, items, n * sizeof(InputEvent));
        count = 0;
        return n;
    }
};

struct Joystick {
    SDL_Joystick* device = nullptr;
    SDL_JoystickID id = -1;
    EventFifo<kJoystickBufferSize> events;
    bool lost = false;
};

struct InputState {
    bool running = false;
    bool focused = true;
    bool keyboardLost = false;
    bool mouseLost = false;
    EventFifo<kKeyboardBufferSize> keyboard;
    EventFifo<kMouseBufferSize> mouse;
    std::vector<Joystick> joysticks;
};

InputState& State() {
    static InputState* state = new InputState;
    return *state;
}

void OnFocusLost(InputState& s) {
    s.focused = false;
    if (!s.running) return;
    s.keyboardLost = true;
    s.mouseLost = true;
    s.keyboard.count = 0;
    s.mouse.count = 0;
    for (Joystick& j : s.joysticks) {
        j.lost = true;
        j.events.count = 0;
    }
}

Joystick* FindJoystick(InputState& s, SDL_JoystickID id) {
    for (Joystick& j : s.joysticks)
        if (j.id == id) return &j;
    return nullptr;
}

// Shared head of every read: NoDevice, Lost once after a focus loss, NotAcquired while away.
template <class Fifo>
InputStatus ReadBuffer(InputState& s, bool& lost, Fifo& fifo, InputEvent* out, uint32_t capacity, uint32_t& count) {
    count = 0;
    if (!s.running) return InputStatus::NoDevice;
    if (lost) {
        lost = false;
        fifo.count = 0;
        return InputStatus::Lost;
    }
    if (!s.focused) return InputStatus::NotAcquired;
    count = fifo.Drain(out, capacity);
    return InputStatus::Ok;
}

} // namespace

bool InputInit(const char** error) {
    InputState& s = State();
    if (s.running) InputShutdown();
    // Focus is this layer's affair (events are dropped while the window is in the
    // background); SDL is not to filter joystick input by its own idea of the focus.
    SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
    if (SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) {
        if (error) *error = SDL_GetError();
        return false;
    }
    int n = SDL_NumJoysticks();
    for (int i = 0; i < n; ++i) {
        Joystick j;
        j.device = SDL_JoystickOpen(i);
        if (!j.device) continue; // a controller that cannot be opened gets no record
        j.id = SDL_JoystickInstanceID(j.device);
        s.joysticks.push_back(j);
    }
    s.keyboard.count = 0;
    s.mouse.count = 0;
    s.keyboardLost = s.mouseLost = false;
    s.running = true;
    return true;
}

void InputShutdown() {
    InputState& s = State();
    if (!s.running) return;
    for (Joystick& j : s.joysticks)
        if (j.device) SDL_JoystickClose(j.device);
    s.joysticks.clear();
    s.keyboard.count = 0;
    s.mouse.count = 0;
    s.running = false;
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

bool InputRunning() { return State().running; }

bool InputFeed(const void* event) {
    const SDL_Event& e = *static_cast<const SDL_Event*>(event);
    InputState& s = State();
    if (e.type == SDL_WINDOWEVENT) {
        if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) OnFocusLost(s);
        else if (e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) s.focused = true;
        return false;
    }
    switch (e.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
    case SDL_MOUSEMOTION:
    case SDL_MOUSEWHEEL:
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
    case SDL_JOYBUTTONDOWN:
    case SDL_JOYBUTTONUP:
        break;
    default:
        return false;
    }
    // Events before start-up and while the program is in the background are not kept.
    if (!s.running || !s.focused) return true;
    switch (e.type) {
    case SDL_KEYDOWN:
        // Typematic repeats make no events: the engine's own repeat query does that.
        if (e.key.repeat == 0 && e.key.keysym.scancode > 0 && e.key.keysym.scancode < kScancodeCount)
            s.keyboard.Push(uint32_t(e.key.keysym.scancode), 0x80);
        break;
    case SDL_KEYUP:
        if (e.key.keysym.scancode > 0 && e.key.keysym.scancode < kScancodeCount)
            s.keyboard.Push(uint32_t(e.key.keysym.scancode), 0);
        break;
    case SDL_MOUSEMOTION:
        if (e.motion.xrel) s.mouse.Push(0, uint32_t(int32_t(e.motion.xrel)));
        if (e.motion.yrel) s.mouse.Push(4, uint32_t(int32_t(e.motion.yrel)));
        break;
    case SDL_MOUSEWHEEL: {
        int32_t v = e.wheel.y * int32_t(kWheelPerNotch);
        if (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) v = -v;
        if (v) s.mouse.Push(8, uint32_t(v));
        break;
    }
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
        int b = -1;
        switch (e.button.button) {
        case SDL_BUTTON_LEFT: b = 0; break;
        case SDL_BUTTON_RIGHT: b = 1; break;
        case SDL_BUTTON_MIDDLE: b = 2; break;
        case SDL_BUTTON_X1: b = 3; break;
        case SDL_BUTTON_X2: b = 4; break;
        default: break;
        }
        if (b >= 0) s.mouse.Push(kMouseButtonOffset + uint32_t(b), e.type == SDL_MOUSEBUTTONDOWN ? 0x80 : 0);
        break;
    }
    case SDL_JOYBUTTONDOWN:
    case SDL_JOYBUTTONUP:
        if (e.jbutton.button < 128) {
            if (Joystick* j = FindJoystick(s, e.jbutton.which))
                j->events.Push(kJoystickButtonOffset + e.jbutton.button, e.type == SDL_JOYBUTTONDOWN ? 0x80 : 0);
        }
        break;
    default:
        break;
    }
    return true;
}

InputStatus ReadKeyboard(InputEvent* out, uint32_t capacity, uint32_t& count) {
    InputState& s = State();
    return ReadBuffer(s, s.keyboardLost, s.keyboard, out, capacity, count);
}

InputStatus ReadMouse(InputEvent* out, uint32_t capacity, uint32_t& count) {
    InputState& s = State();
    return ReadBuffer(s, s.mouseLost, s.mouse, out, capacity, count);
}

int JoystickCount() { return int(State().joysticks.size()); }

InputStatus ReadJoystick(int index, int32_t axes[3], InputEvent* out, uint32_t capacity, uint32_t& count) {
    InputState& s = State();
    axes[0] = axes[1] = axes[2] = 0;
    count = 0;
    if (index < 0 || size_t(index) >= s.joysticks.size()) return InputStatus::NoDevice;
    Joystick& j = s.joysticks[size_t(index)];
    InputStatus st = ReadBuffer(s, j.lost, j.events, out, capacity, count);
    if (st != InputStatus::Ok) return st;
    int n = SDL_JoystickNumAxes(j.device);
    for (int a = 0; a < 3 && a < n; ++a) {
        int32_t v = int32_t(SDL_JoystickGetAxis(j.device, a)) * 1000 / 32767;
        axes[a] = v < -1000 ? -1000 : (v > 1000 ? 1000 : v);
    }
    return st;
}

bool KeyName(int scancode, char* out, size_t capacity) {
    if (capacity == 0) return false;
    out[0] = 0;
    if (scancode <= 0 || scancode >= kScancodeCount) return false;
    SDL_Keycode key = SDL_GetKeyFromScancode(SDL_Scancode(scancode));
    const char* name = SDL_GetKeyName(key);
    if (!name || !*name) return false;
    size_t n = Utf8ToCp1252(name, out, capacity - 1);
    out[n] = 0;
    return n > 0;
}

bool CursorInWindow(void* nativeWindow, int32_t& x, int32_t& y) {
    SDL_Window* w = static_cast<SDL_Window*>(nativeWindow);
    if (!w) return false;
    int mx = 0, my = 0;
    if (SDL_GetMouseFocus() == w) {
        SDL_GetMouseState(&mx, &my);
    } else {
        int wx = 0, wy = 0;
        SDL_GetGlobalMouseState(&mx, &my);
        SDL_GetWindowPosition(w, &wx, &wy);
        mx -= wx;
        my -= wy;
    }
    x = mx;
    y = my;
    return true;
}

void ShowSystemCursor(bool show) { SDL_ShowCursor(show ? SDL_ENABLE : SDL_DISABLE); }

void SetRelativeMouse(bool on) { SDL_SetRelativeMouseMode(on ? SDL_TRUE : SDL_FALSE); }

} // namespace plat
