#include "engine/core/AppWindow.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "engine/core/Debugger.h"
#include "engine/core/Thread.h"

namespace {

std::vector<WindowMessageHandler*>& Handlers() {
    static std::vector<WindowMessageHandler*>* handlers = new std::vector<WindowMessageHandler*>;
    return *handlers;
}

// Serialises creation, showing and pumping.
Mutex& WindowMutex() {
    static Mutex* mutex = new Mutex;
    return *mutex;
}

} // namespace

const SharedString& ApplicationTitle() {
    static const SharedString* title = new SharedString("Metrofare");
    return *title;
}

void RegisterWindowHandler(WindowMessageHandler* handler) {
    if (handler) Handlers().push_back(handler);
}

void RegisterWindowHandlerFirst(WindowMessageHandler* handler) {
    if (handler) Handlers().insert(Handlers().begin(), handler);
}

void UnregisterWindowHandler(WindowMessageHandler* handler) {
    auto& list = Handlers();
    auto it = std::find(list.begin(), list.end(), handler);
    if (it != list.end()) list.erase(it);
}

AppWindow* CreateAppWindow(const SharedString& title, const Rect& clientRect, bool fullScreen) {
    std::lock_guard<Mutex> g(WindowMutex());
    Debugger& log = Debugger::Instance();
    if (plat::Window::LiveCount() == 0) {
        const char* error = nullptr;
        if (!plat::InitVideo(&error)) {
            log.Message("ENGINE: Cannot start the windowing system: %s", error ? error : "unknown error");
            return nullptr;
        }
        log.Log(3, "ENGINE: Windowing system inited");
    }
    const char* error = nullptr;
    plat::Window* native = plat::Window::Create(title.c_str(), clientRect.left, clientRect.top, clientRect.Width(),
                                                clientRect.Height(), fullScreen, &error);
    if (!native) {
        log.Message("ENGINE: Cannot create the window: %s", error ? error : "unknown error");
        return nullptr;
    }
    AppWindow* window = new AppWindow;
    window->native = native;
    window->fullScreen = fullScreen;
    window->RefreshClientSize();
    return window;
}

AppWindow::~AppWindow() {
    std::lock_guard<Mutex> g(WindowMutex());
    delete native;
}

void AppWindow::RefreshClientSize() {
    if (native) native->ClientSize(clientWidth, clientHeight);
}

void AppWindow::Show() {
    std::lock_guard<Mutex> g(WindowMutex());
    if (native) native->Show();
}

void AppWindow::PumpMessages() {
    std::lock_guard<Mutex> g(WindowMutex());
    if (native) native->PumpMessages(*this);
}

intptr_t AppWindow::OnMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    for (WindowMessageHandler* h : Handlers())
        if (h->message == message) return h->Handle(*this, wParam, lParam);
    return 0;
}
