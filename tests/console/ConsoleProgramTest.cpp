// Drives the program's own start-up, main loop and shut-down headless, with keyboard events
// arriving through the real window pump, input device and console. Built twice: with the
// stand-in renderer, and with the real GL renderer, the default font and the console's canvas
// installed from the default-resources hook, where the open console must show on screen.
#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "engine/audio/AudioDevice.h"
#include "engine/core/Console.h"
#include "engine/core/Engine.h"
#include "engine/core/StartUp.h"
#include "engine/render/NullRenderFacility.h"
#include "tests/support/TestSupport.h"
#if CONSOLE_REAL_RENDERER
#include "engine/render/ConsoleCanvas.h"
#include "engine/render/D3D8RenderFacility.h"
#include "engine/render/Font.h"
#include "tools/writers/ZktWriter.h"
#endif

namespace {

constexpr uint32_t kBackground = 0xFF008040u; // the console's picture in this test

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
        ZKEngine* engine = ZKEngine::Get();
        zkConsole* console = engine->console;
        if (frame == 3) {
            // The console key, as a keyboard sends it (its character is not typed).
            PushKey(SDL_SCANCODE_GRAVE, SDLK_BACKQUOTE);
            PushText("`");
        } else if (typedAt == 0 && console && console->Openness() >= 1.0f) {
            if (!openSeen) {
                openSeen = true; // the next frame presents the fully open console
            } else {
                shot = engine->renderer->GrabScreen(false);
                width = engine->renderer->ViewportWidth();
                PushText("VER");
                PushKey(SDL_SCANCODE_RETURN, SDLK_RETURN);
                typedAt = frame;
            }
        } else if (typedAt != 0 && frame == typedAt + 3) {
            PushText("EXIT");
            PushKey(SDL_SCANCODE_RETURN, SDLK_RETURN);
        } else if (SDL_GetTicks() - start > 60000 && !gaveUp) {
            // Safety net: the script failed; close the window so the test ends.
            gaveUp = true;
            SDL_Event e{};
            e.type = SDL_QUIT;
            SDL_PushEvent(&e);
        }
        consoleOpened = consoleOpened || (console && console->IsOpen());
    }
    int frame = 0;
    int typedAt = 0;
    bool openSeen = false;
    bool consoleOpened = false;
    bool gaveUp = false;
    Uint32 start = SDL_GetTicks();
    std::vector<uint32_t> shot;
    int32_t width = 0;
};

class ScriptedFrontEnd : public NullFrontEnd {
public:
    MLP* CreateFrontEnd() override { return &page; }
    ScriptedPage page;
};

} // namespace

#if CONSOLE_REAL_RENDERER
#define PROGRAM_TEST ConsoleKeyVerAndExitOnScreen
#else
#define PROGRAM_TEST ConsoleKeyVerAndExit
#endif

TEST(ConsoleProgram, PROGRAM_TEST) {
    testing_support::TempWorkDir dir;
    Debugger::Instance().ResetForTests();
    StartUpServices services;
    services.createAudioDevice = [](int) -> AudioDevice* { return new NullAudioDevice; };
#if CONSOLE_REAL_RENDERER
    std::filesystem::create_directories("Textures");
    ASSERT_TRUE(tools::WriteZkt("Textures\\Console.ZKT",
                                tools::ArgbTexture(8, 8, std::vector<uint32_t>(64, kBackground))));
    services.createRenderer = CreateRenderer;
    services.loadDefaultResources = [](ZKEngine& engine) {
        engine.SetDefaultFont(Font::Create(engine.renderer->GetTextureManager(), kFontAll, SharedString("Arial"), 15, false, false), Font::Delete);
        InstallConsoleCanvas(engine);
    };
#else
    services.createRenderer = []() -> RenderFacility* { return new NullRenderFacility; };
#endif
    ScriptedFrontEnd frontEnd;
    services.frontEnd = &frontEnd;

    ASSERT_EQ(RunApplication(SharedString("-m"), services), 0);

    EXPECT_TRUE(frontEnd.page.consoleOpened);
    EXPECT_FALSE(frontEnd.page.gaveUp) << "the program ended only through the safety net";
    const std::string log = dir.ReadBytes("zkConsole.log");
    const std::string banner = std::string("Build 236 (") + __DATE__ + ")";
    EXPECT_NE(log.find("VER\r\n" + banner + "\r\nEXIT\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("EXIT\r\nShutting down...\r\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("Command not recognized"), std::string::npos) << log;

#if CONSOLE_REAL_RENDERER
    // The fully open console covered the screen with its picture, in the screen's far corners.
    const std::vector<uint32_t>& shot = frontEnd.page.shot;
    const int32_t w = frontEnd.page.width;
    ASSERT_GT(w, 0);
    ASSERT_EQ(shot.size() % size_t(w), 0u);
    const size_t h = shot.size() / size_t(w);
    ASSERT_GT(h, 0u);
    for (size_t index : {size_t(w - 2), (h - 2) * size_t(w) + 1})
        EXPECT_EQ(shot[index] & 0x00FFFFFFu, kBackground & 0x00FFFFFFu) << index;
#endif
}
