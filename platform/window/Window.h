#pragma once
#include <cstddef>
#include <cstdint>

namespace plat {

// Message numbers the pump delivers to its target. wParam/lParam carry the values the
// engine's handlers read (see each message).
enum WindowMessage : uint32_t {
    kMessageMove = 3,           // lParam: client x in the low 16 bits, y in the high 16 bits (both signed)
    kMessageClose = 16,         // window closed, application asked to quit, SIGINT or SIGTERM
    kMessageKeyDown = 256,      // wParam: 27 Escape, 13 Return / keypad Enter, 0 any other key
    kMessageCharacter = 258,    // wParam: one Windows-1252 byte
    kMessageExitSizeMove = 562, // synthetic: once no move or resize has arrived for a while
};

// Milliseconds without a move or resize after which the end-of-move message is sent.
constexpr uint32_t kEndOfMoveDelayMs = 250;

// Receives the messages of a pump, on the pumping thread.
class MessageTarget {
public:
    virtual ~MessageTarget() = default;
    virtual intptr_t OnMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) = 0;
};

struct ScreenRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// Packs a client position the way the move message carries it (signed 16-bit halves).
inline intptr_t PackPosition(int32_t x, int32_t y) {
    return intptr_t(uint32_t(uint16_t(int16_t(x))) | (uint32_t(uint16_t(int16_t(y))) << 16));
}
inline int32_t PositionX(intptr_t lParam) { return int16_t(uint16_t(uint32_t(lParam) & 0xFFFF)); }
inline int32_t PositionY(intptr_t lParam) { return int16_t(uint16_t((uint32_t(lParam) >> 16) & 0xFFFF)); }

// Starts the video subsystem once; false (with the reason in `error`, when given) on failure.
bool InitVideo(const char** error = nullptr);
// The desktop rectangle used to centre a window; 1024 x 768 when no display answers.
ScreenRect DesktopBounds();

// SIGINT and SIGTERM become a close message at the next pump instead of killing the process.
void InstallQuitSignals();
// What a signal does (also usable by tests): the next pump delivers one close message.
void RequestQuit();

// The one application window. Created hidden with a GL-capable surface; the graphics layer
// reaches the native window through NativeHandle().
class Window {
public:
    // Null when the window cannot be created (the reason is in `error`, when given).
    static Window* Create(const char* title, int32_t x, int32_t y, int32_t width, int32_t height,
                          bool fullScreen, const char** error = nullptr);
    ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    void Show();
    // The size of the picture the window shows. A full-screen window covers the whole desktop
    // and the graphics layer letterboxes its picture into it, so it reports the size it was
    // created with, as a display-mode switch would have made it.
    void ClientSize(int32_t& width, int32_t& height) const;
    void Position(int32_t& x, int32_t& y) const;
    // Re-places the window (and shows it), e.g. after the display changed.
    void Place(int32_t x, int32_t y);
    bool FullScreen() const { return fullScreen_; }
    // The SDL_Window of this window.
    void* NativeHandle() const { return native_; }
    uint32_t Id() const { return id_; }

    // Translates every pending event without blocking: messages go to `target`, input
    // events to the input layer. Events for other windows are ignored.
    void PumpMessages(MessageTarget& target);

    // Number of live windows.
    static int LiveCount();

private:
    Window() = default;
    void* native_ = nullptr;
    uint32_t id_ = 0;
    bool fullScreen_ = false;
    int32_t requestedWidth_ = 0;
    int32_t requestedHeight_ = 0;
    bool movePending_ = false;
    uint32_t lastMoveMs_ = 0;
};

// Converts UTF-8 text to Windows-1252 bytes; characters outside the code page are dropped.
// Writes at most `capacity` bytes and returns the count written.
size_t Utf8ToCp1252(const char* utf8, char* out, size_t capacity);

} // namespace plat
