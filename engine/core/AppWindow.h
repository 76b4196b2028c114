#pragma once
#include <cstdint>

#include "engine/core/Math.h"
#include "engine/core/SharedString.h"
#include "platform/window/Window.h"

class AppWindow;

// Handles one window message number. Handlers are registered in a process-wide list; for a
// message the first registered handler of its number answers.
class WindowMessageHandler {
public:
    explicit WindowMessageHandler(uint32_t messageNumber) : message(messageNumber) {}
    virtual ~WindowMessageHandler() = default;
    virtual intptr_t Handle(AppWindow& window, uintptr_t wParam, intptr_t lParam) = 0;
    uint32_t message;
};

void RegisterWindowHandler(WindowMessageHandler* handler);
// Puts a handler ahead of every handler registered so far (those registered later go behind
// it), for a handler that must answer its messages alone while it is registered (the intro
// video's keys).
void RegisterWindowHandlerFirst(WindowMessageHandler* handler);
// Removes a handler (its owner is going away); nothing when it is not registered.
void UnregisterWindowHandler(WindowMessageHandler* handler);

// The one application window: the renderer draws into it, input and sound attach to it.
// Messages are handled only inside creation, Show and PumpMessages, on the main thread,
// under the window mutex.
class AppWindow : public plat::MessageTarget {
public:
    ~AppWindow() override;
    AppWindow(const AppWindow&) = delete;
    AppWindow& operator=(const AppWindow&) = delete;

    virtual void Show();
    // Handles every pending message; never blocks.
    virtual void PumpMessages();
    // Re-reads the client size.
    void RefreshClientSize();

    // Dispatch of one message to the handler list (0 when no handler takes it).
    intptr_t OnMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;

    int32_t clientWidth = 0;
    int32_t clientHeight = 0;
    // The client area's position on the screen; zero until the first move message.
    Rect screenRect;
    bool fullScreen = false;
    plat::Window* native = nullptr;

private:
    friend AppWindow* CreateAppWindow(const SharedString&, const Rect&, bool);
    AppWindow() = default;
};

// Creates the window with the client rectangle given; null (and a log line) when the system
// cannot create one.
AppWindow* CreateAppWindow(const SharedString& title, const Rect& clientRect, bool fullScreen);

// The application title, also the window's caption.
const SharedString& ApplicationTitle();
