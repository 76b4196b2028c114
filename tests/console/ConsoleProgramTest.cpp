// Drives the program's own start-up, main loop and shut-down headless, with keyboard events
// arriving through the real window pump, input device and console.
#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include <cstdlib>
#include <string>

#include "engine/audio/AudioDevice.h"
#include "engine/core/Console.h"
#include "engine/core/Engine.h"
#include "engine/core/StartUp.h"
#include "engine/render/NullRenderFacility.h"
#include "tests/support/TestSupport.h"

namespace {

void PushKey(SDL_Scancode scancode, SDL_Keycode sym) {
    SDL_Event e{};
    for (Uint32 type : {SDL_KEYDOWN, SDL_KEYUP}) {
        e = SDL_Event{};
        e.type = type;
        e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
        e.key.keysym.scancode = scancode;
        e.key.keysym.sym = sym;
        SDL_PushEvent(&e);
    }
}

void PushText(const char* text) {
    SDL_Event e{};
    e.type = SDL_TEXTINPUT;
    SDL_strlcpy(e.text.text, text, sizeof e.text.text);
    SDL_PushEvent(&e);
}

// The root page plays the user: each step happens a few frames after the previous one, so the
// input device has read the keys before the text of the next step arrives.
class ScriptedPage : public NullFrontEnd::RootPage {
public:
    void Update() override {
        ++frame;
        if (frame == 3) {
            // The console key, as a keyboard sends it (its character is not typed).
            PushKey(SDL_SCANCODE_GRAVE, SDLK_BACKQUOTE);
            PushText("`");
        } else if (frame == 6) {
            PushText("VER");
            PushKey(SDL_SCANCODE_RETURN, SDLK_RETURN);
        } else if (frame == 9) {
            PushText("EXIT");
            PushKey(SDL_SCANCODE_RETURN, SDLK_RETURN);
        } else if (frame == 600) {
            // Safety net: the script failed; close the window so the test ends.
            SDL_Event e{};
            e.type = SDL_QUIT;
            SDL_PushEvent(&e);
        }
        consoleOpened = consoleOpened || (ZKEngine::Get()->console && ZKEngine::Get()->console->IsOpen());
    }
    int frame = 0;
    bool consoleOpened = false;
};

class ScriptedFrontEnd : public NullFrontEnd {
public:
    MLP* CreateFrontEnd() override { return &page; }
    ScriptedPage page;
};

} // namespace

TEST(ConsoleProgram, ConsoleKeyVerAndExit) {
    // Headless: an offscreen window, silent sound.
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    testing_support::TempWorkDir dir;
    Debugger::Instance().ResetForTests();
    StartUpServices services;
    services.createRenderer = []() -> RenderFacility* { return new NullRenderFacility; };
    services.createAudioDevice = [](int) -> AudioDevice* { return new NullAudioDevice; };
    ScriptedFrontEnd frontEnd;
    services.frontEnd = &frontEnd;

    ASSERT_EQ(RunApplication(SharedString("-m"), services), 0);

    EXPECT_TRUE(frontEnd.page.consoleOpened);
    EXPECT_LT(frontEnd.page.frame, 600) << "the program ended only through the safety net";
    const std::string log = dir.ReadBytes("zkConsole.log");
    const std::string banner = std::string("Build 236 (") + __DATE__ + ")";
    EXPECT_NE(log.find("VER\r\n" + banner + "\r\nEXIT\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("EXIT\r\nShutting down...\r\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("Command not recognized"), std::string::npos) << log;
}
