#pragma once
#include <cstddef>
#include <cstdint>

namespace plat {

// Buffered input in the order the engine's input device reads it. The window pump fills the
// buffers; the device drains them once per frame.
//
// Event offsets:
//  - keyboard: the key's scancode (positional, so bindings do not depend on the layout);
//  - mouse: 0 x movement, 4 y movement, 8 wheel (120 per notch, positive away from the
//    user), 12 + b button b (0 left, 1 right, 2 middle, 3 and 4 the side buttons);
//  - joystick: 48 + b button b.
// Button and key data: 0x80 down, 0 up. Movement data is a signed count stored in the word.
struct InputEvent {
    uint32_t offset = 0;
    uint32_t data = 0;
};

enum class InputStatus {
    Ok,
    Lost,        // focus went away since the last read: state held so far is stale
    NotAcquired, // still without focus
    NoDevice,    // the layer is not running or the device does not exist
};

constexpr int kScancodeCount = 512;
constexpr uint32_t kKeyboardBufferSize = 32;
constexpr uint32_t kMouseBufferSize = 64;
constexpr uint32_t kJoystickBufferSize = 32;
constexpr uint32_t kMouseButtonOffset = 12;
constexpr uint32_t kJoystickButtonOffset = 48;
constexpr uint32_t kWheelPerNotch = 120;

// Starts the joystick subsystem, opens every attached joystick and starts accepting events
// (events before this are discarded). False when the subsystem cannot start; the layer then
// reports NoDevice for every read.
bool InputInit(const char** error = nullptr);
void InputShutdown();
bool InputRunning();

// Each read drains what arrived since the previous read (at most `capacity` events; the
// buffers themselves drop events when full).
InputStatus ReadKeyboard(InputEvent* out, uint32_t capacity, uint32_t& count);
InputStatus ReadMouse(InputEvent* out, uint32_t capacity, uint32_t& count);

int JoystickCount();
// Axes 0..2 scaled to -1000..1000 (a missing axis reads 0), then the buffered button events.
InputStatus ReadJoystick(int index, int32_t axes[3], InputEvent* out, uint32_t capacity, uint32_t& count);

// The key's display name for the current layout, in Windows-1252, cut to `capacity` - 1
// bytes and NUL-terminated. False for scancode 0, an unknown key or an empty name.
bool KeyName(int scancode, char* out, size_t capacity);

// The cursor in client coordinates of the window (SDL_Window*), from the global pointer
// position minus the window's position. False when it cannot be read.
bool CursorInWindow(void* nativeWindow, int32_t& x, int32_t& y);
// Shows or hides the system cursor (idempotent).
void ShowSystemCursor(bool show);
// Relative mode: movement continues at the screen edges and the cursor is hidden.
void SetRelativeMouse(bool on);

// Called by the window pump for every event (an SDL_Event*). Returns true when the event
// was an input event.
bool InputFeed(const void* sdlEvent);

} // namespace plat
