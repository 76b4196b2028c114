#pragma once
// A real window under SDL's offscreen video driver and helpers that inject events into SDL's
// queue, as the system would deliver them.
#include <SDL.h>
#include <gtest/gtest.h>

#include "engine/core/AppWindow.h"
#include "engine/core/Engine.h"
#include "tests/skeleton/SkeletonFakes.h"
#include "tests/support/TestSupport.h"

namespace skeleton_test {

class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        engine = new ZKEngine;
        engine->Start(3);
        window = CreateAppWindow(ApplicationTitle(), Rect{100, 50, 900, 650}, false);
        ASSERT_NE(window, nullptr);
        engine->window = window;
        window->Show();
        // Whatever the driver reports about the new window (shown, moved, sized) is drained.
        window->PumpMessages();
        clock.AdvanceMs(1000);
        window->PumpMessages();
    }
    void TearDown() override {
        engine->window = nullptr;
        engine->input = nullptr;
        engine->renderer = nullptr;
        delete window;
        delete engine;
    }

    uint32_t WindowId() const { return SDL_GetWindowID(static_cast<SDL_Window*>(window->native->NativeHandle())); }

    void Push(SDL_Event e) { ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError(); }
    void PushWindowEvent(uint8_t event, int32_t data1 = 0, int32_t data2 = 0) {
        SDL_Event e{};
        e.type = SDL_WINDOWEVENT;
        e.window.windowID = WindowId();
        e.window.event = event;
        e.window.data1 = data1;
        e.window.data2 = data2;
        Push(e);
    }
    void PushKey(SDL_Scancode scancode, bool down, uint8_t repeat = 0) {
        SDL_Event e{};
        e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
        e.key.windowID = WindowId();
        e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
        e.key.repeat = repeat;
        e.key.keysym.scancode = scancode;
        e.key.keysym.sym = SDL_GetKeyFromScancode(scancode);
        Push(e);
    }
    void PushText(const char* utf8) {
        SDL_Event e{};
        e.type = SDL_TEXTINPUT;
        e.text.windowID = WindowId();
        SDL_strlcpy(e.text.text, utf8, sizeof e.text.text);
        Push(e);
    }
    void PushMouseButton(uint8_t button, bool down) {
        SDL_Event e{};
        e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
        e.button.windowID = WindowId();
        e.button.button = button;
        e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
        Push(e);
    }
    void PushMotion(int32_t dx, int32_t dy) {
        SDL_Event e{};
        e.type = SDL_MOUSEMOTION;
        e.motion.windowID = WindowId();
        e.motion.xrel = dx;
        e.motion.yrel = dy;
        Push(e);
    }
    void PushWheel(int32_t y, bool flipped = false) {
        SDL_Event e{};
        e.type = SDL_MOUSEWHEEL;
        e.wheel.windowID = WindowId();
        e.wheel.y = y;
        e.wheel.direction = flipped ? SDL_MOUSEWHEEL_FLIPPED : SDL_MOUSEWHEEL_NORMAL;
        Push(e);
    }

    testing_support::TempWorkDir dir;
    ScriptedClock clock;
    ClockScope clockScope{&clock};
    testing_support::LogCapture log{3};
    ZKEngine* engine = nullptr;
    AppWindow* window = nullptr;
};

} // namespace skeleton_test
