// The program's own start-up, main loop and shut-down, headless, with a root page that holds
// an exit button: keys arrive through the real window pump and input device, Return opens the
// confirmation and the language's quit key ends the program.
#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include <filesystem>

#include "engine/audio/AudioDevice.h"
#include "engine/core/Engine.h"
#include "engine/core/ExitButton.h"
#include "engine/core/MenuScreen.h"
#include "engine/core/StartUp.h"
#include "engine/render/D3D8RenderFacility.h"
#include "engine/render/Font.h"
#include "engine/render/RenderMenuCanvas.h"
#include "tests/support/TestSupport.h"
#include "tools/writers/LanguageWriter.h"
#include "tools/writers/ZktWriter.h"

namespace {

void PushKey(SDL_Scancode scancode, SDL_Keycode sym) {
    for (Uint32 type : {SDL_KEYDOWN, SDL_KEYUP}) {
        SDL_Event e{};
        e.type = type;
        e.key.state = type == SDL_KEYDOWN ? SDL_PRESSED : SDL_RELEASED;
        e.key.keysym.scancode = scancode;
        e.key.keysym.sym = sym;
        SDL_PushEvent(&e);
    }
}

class ExitOption : public MenuOption {
public:
    void SetValue(const void* value) override { values.push_back(*static_cast<const int32_t*>(value)); }
    std::vector<int32_t> values;
};

// The root page plays the user once it has faded in: Return, then (with the confirmation
// open) the quit key. A safety net closes the window should the script fail.
class ScriptedRoot : public MenuScreen {
public:
    ScriptedRoot() : MenuScreen(SharedString("Main page"), SharedString("")) {
        button = new ExitButton(SharedString("Quit"), &option);
        button->SetPosition({100, 100}, false);
        AddWidget(button);
    }
    void Update() override {
        MenuScreen::Update();
        ++frame;
        if (step == 0 && fade == 0.0f) {
            PushKey(SDL_SCANCODE_RETURN, SDLK_RETURN);
            step = 1;
        } else if (step == 1 && button->IsOpen()) {
            openSeen = true;
            PushKey(SDL_SCANCODE_Y, SDLK_y);
            step = 2;
        } else if (SDL_GetTicks() - start > 60000 && !gaveUp) {
            gaveUp = true;
            SDL_Event e{};
            e.type = SDL_QUIT;
            SDL_PushEvent(&e);
        }
    }
    ExitOption option;
    ExitButton* button = nullptr;
    int frame = 0;
    int step = 0;
    bool openSeen = false;
    bool gaveUp = false;
    Uint32 start = SDL_GetTicks();
};

class ScriptedFrontEnd : public NullFrontEnd {
public:
    ~ScriptedFrontEnd() override { delete page; }
    // Built once the devices and the menu canvas exist, as the front end is.
    MLP* CreateFrontEnd() override {
        page = new ScriptedRoot;
        return page;
    }
    ScriptedRoot* page = nullptr;
};

} // namespace

TEST(MenuProgram, ReturnOnTheExitButtonThenTheQuitKeyEndsTheProgram) {
    testing_support::TempWorkDir dir;
    Debugger::Instance().ResetForTests();
    tools::LanguageFile language;
    language.texts[165] = SharedString("Do you really want to quit?");
    language.texts[560] = SharedString("Yes");
    language.texts[561] = SharedString("No");
    language.texts[562] = SharedString("Y");
    language.texts[563] = SharedString("N");
    std::filesystem::create_directories("Misc");
    ASSERT_TRUE(tools::WriteLanguageFile(SharedString("Misc\\DefaultEnglish.ZKL"), language));

    StartUpServices services;
    services.createAudioDevice = [](int) -> AudioDevice* { return new NullAudioDevice; };
    services.createRenderer = CreateRenderer;
    services.loadDefaultResources = [](ZKEngine& engine) {
        engine.SetDefaultFont(Font::Create(engine.renderer->GetTextureManager(), kFontAll, SharedString("Arial"), 15,
                                           false, false),
                              Font::Delete);
        InstallMenuCanvas(engine);
    };
    ScriptedFrontEnd frontEnd;
    services.frontEnd = &frontEnd;

    EXPECT_EQ(RunApplication(SharedString("-m"), services), 0);
    ASSERT_NE(frontEnd.page, nullptr);
    EXPECT_FALSE(frontEnd.page->gaveUp) << "the program ended only through the safety net";
    EXPECT_TRUE(frontEnd.page->openSeen);
    EXPECT_EQ(frontEnd.page->option.values, (std::vector<int32_t>{ExitButton::kValueOpened, ExitButton::kValueQuit}));
    EXPECT_FALSE(ZKEngine::Instance().IsRunning());
}
