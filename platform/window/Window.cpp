#include "platform/window/Window.h"

#include <SDL.h>
#include <atomic>
#include <csignal>

#include "platform/sys/Clock.h"
#include "platform/window/Input.h"

namespace plat {

namespace {

std::atomic<bool> g_quitRequested{false};
int g_liveWindows = 0;
bool g_videoStarted = false;

extern "C" void OnQuitSignal(int) { g_quitRequested.store(true); }

// Unicode code points of the bytes 0x80..0x9F of Windows-1252; 0 where the byte is undefined.
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

int CodePointToCp1252(uint32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return int(cp);
    for (int i = 0; i < 32; ++i)
        if (kCp1252High[i] && kCp1252High[i] == cp) return 0x80 + i;
    return -1;
}

} // namespace

size_t Utf8ToCp1252(const char* utf8, char* out, size_t capacity) {
    size_t written = 0;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(utf8);
    while (*p && written < capacity) {
        uint32_t cp;
        int extra;
        if (*p < 0x80) { cp = *p; extra = 0; }
        else if ((*p & 0xE0) == 0xC0) { cp = *p & 0x1F; extra = 1; }
        else if ((*p & 0xF0) == 0xE0) { cp = *p & 0x0F; extra = 2; }
        else if ((*p & 0xF8) == 0xF0) { cp = *p & 0x07; extra = 3; }
        else { ++p; continue; } // stray continuation or invalid lead byte
        ++p;
        bool ok = true;
        for (int i = 0; i < extra; ++i) {
            if ((*p & 0xC0) != 0x80) { ok = false; break; }
            cp = (cp << 6) | (*p & 0x3F);
            ++p;
        }
        if (!ok) continue;
        int b = CodePointToCp1252(cp);
        if (b >= 0) out[written++] = char(b);
    }
    return written;
}

bool InitVideo(const char** error) {
    if (g_videoStarted) return true;
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        if (error) *error = SDL_GetError();
        return false;
    }
    g_videoStarted = true;
    return true;
}

ScreenRect DesktopBounds() {
    ScreenRect r{0, 0, 1024, 768};
    SDL_Rect b;
    if (g_videoStarted && SDL_GetDisplayBounds(0, &b) == 0 && b.w > 0 && b.h > 0)
        r = ScreenRect{b.x, b.y, b.x + b.w, b.y + b.h};
    return r;
}

void InstallQuitSignals() {
    struct sigaction sa{};
    sa.sa_handler = OnQuitSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

void RequestQuit() { g_quitRequested.store(true); }

Window* Window::Create(const char* title, int32_t x, int32_t y, int32_t width, int32_t height,
                       bool fullScreen, const char** error) {
    if (!InitVideo(error)) return nullptr;
    Uint32 flags = SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN | (fullScreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
    // A full-screen window is made borderless at the desktop's size and corner as well: a window
    // manager gives a full-screen window the whole screen, but on a bare X server nobody does, and
    // a window of the mode's size would show only a corner of the picture letterboxed for the
    // screen.
    int32_t cx = x, cy = y, cw = width, ch = height;
    if (fullScreen) {
        const ScreenRect desktop = DesktopBounds();
        cx = desktop.left;
        cy = desktop.top;
        cw = desktop.right - desktop.left;
        ch = desktop.bottom - desktop.top;
        flags |= SDL_WINDOW_BORDERLESS;
    }
    SDL_Window* w = SDL_CreateWindow(title, cx, cy, cw, ch, flags);
    if (!w) {
        if (error) *error = SDL_GetError();
        return nullptr;
    }
    Window* window = new Window;
    window->native_ = w;
    window->id_ = SDL_GetWindowID(w);
    window->fullScreen_ = fullScreen;
    window->requestedWidth_ = width;
    window->requestedHeight_ = height;
    ++g_liveWindows;
    SDL_StartTextInput();
    if (fullScreen) SDL_ShowCursor(SDL_DISABLE);
    return window;
}

Window::~Window() {
    if (native_) SDL_DestroyWindow(static_cast<SDL_Window*>(native_));
    --g_liveWindows;
}

int Window::LiveCount() { return g_liveWindows; }

void Window::Show() { SDL_ShowWindow(static_cast<SDL_Window*>(native_)); }

void Window::ClientSize(int32_t& width, int32_t& height) const {
    if (fullScreen_) {
        width = requestedWidth_;
        height = requestedHeight_;
        return;
    }
    int w = 0, h = 0;
    SDL_GetWindowSize(static_cast<SDL_Window*>(native_), &w, &h);
    width = w;
    height = h;
}

void Window::Position(int32_t& x, int32_t& y) const {
    int px = 0, py = 0;
    SDL_GetWindowPosition(static_cast<SDL_Window*>(native_), &px, &py);
    x = px;
    y = py;
}

void Window::Place(int32_t x, int32_t y) {
    SDL_SetWindowPosition(static_cast<SDL_Window*>(native_), x, y);
    SDL_ShowWindow(static_cast<SDL_Window*>(native_));
}

void Window::PumpMessages(MessageTarget& target) {
    SDL_Event e;
    ClockSource& clock = CurrentClock();
    while (SDL_PollEvent(&e)) {
        InputFeed(&e);
        switch (e.type) {
        case SDL_QUIT:
            target.OnMessage(kMessageClose, 0, 0);
            break;
        case SDL_WINDOWEVENT:
            if (e.window.windowID != id_ && e.window.windowID != 0) break;
            switch (e.window.event) {
            case SDL_WINDOWEVENT_MOVED:
                movePending_ = true;
                lastMoveMs_ = clock.Milliseconds();
                target.OnMessage(kMessageMove, 0, PackPosition(e.window.data1, e.window.data2));
                break;
            case SDL_WINDOWEVENT_SIZE_CHANGED:
            case SDL_WINDOWEVENT_RESIZED:
                movePending_ = true;
                lastMoveMs_ = clock.Milliseconds();
                break;
            case SDL_WINDOWEVENT_CLOSE:
                target.OnMessage(kMessageClose, 0, 0);
                break;
            default:
                break;
            }
            break;
        case SDL_KEYDOWN: {
            SDL_Keycode sym = e.key.keysym.sym;
            uintptr_t w = 0;
            if (sym == SDLK_ESCAPE) w = 27;
            else if (sym == SDLK_RETURN || sym == SDLK_KP_ENTER) w = 13;
            target.OnMessage(kMessageKeyDown, w, 0);
            // Keys that produce a control character but no text event.
            uintptr_t ch = 0;
            if (sym == SDLK_BACKSPACE) ch = 8;
            else if (sym == SDLK_TAB) ch = 9;
            else if (sym == SDLK_RETURN || sym == SDLK_KP_ENTER) ch = 13;
            else if (sym == SDLK_ESCAPE) ch = 27;
            if (ch) target.OnMessage(kMessageCharacter, ch, 0);
            break;
        }
        case SDL_TEXTINPUT: {
            char bytes[SDL_TEXTINPUTEVENT_TEXT_SIZE];
            size_t n = Utf8ToCp1252(e.text.text, bytes, sizeof bytes);
            for (size_t i = 0; i < n; ++i)
                target.OnMessage(kMessageCharacter, uintptr_t(static_cast<unsigned char>(bytes[i])), 0);
            break;
        }
        default:
            break;
        }
    }
    if (g_quitRequested.exchange(false)) target.OnMessage(kMessageClose, 0, 0);
    if (movePending_ && uint32_t(clock.Milliseconds() - lastMoveMs_) >= kEndOfMoveDelayMs) {
        movePending_ = false;
        target.OnMessage(kMessageExitSizeMove, 0, 0);
    }
}

} // namespace plat
