#include "engine/core/StartUp.h"

#include <cstdio>

#include "engine/core/AppWindow.h"
#include "engine/core/Console.h"
#include "engine/core/Debugger.h"
#include "engine/core/Engine.h"
#include "engine/core/FileStream.h"
#include "engine/core/InputDevice.h"
#include "engine/core/Thread.h"
#include "engine/render/RenderFacility.h"

bool& FrontEndOptionFlag() {
    static bool flag = false;
    return flag;
}

SharedString& BuildBanner() {
    static SharedString* banner = new SharedString("");
    return *banner;
}

StartUpOptions ParseCommandLine(const SharedString& commandLine) {
    StartUpOptions o;
    SharedString line = commandLine.Clone();
    line.ToUpper();
    const char* s = line.c_str();
    const int32_t length = line.Length();
    for (int32_t i = 0; i < length; ++i) {
        if (s[i] != '-') continue;
        if (i + 1 >= length) break;
        const char letter = s[i + 1];
        int32_t next = i + 1; // the letter; the loop steps behind it
        // The character after the letter, or 0 at the end of the line.
        const char arg = i + 2 < length ? s[i + 2] : 0;
        switch (letter) {
        case 'F':
            o.fullScreen = !o.fullScreen;
            break;
        case 'J':
            o.frontEndOption = true;
            break;
        case 'L': {
            // The letter and one separator are skipped; the name runs to a blank, '-' or the end.
            int32_t start = i + 3 < length ? i + 3 : length;
            int32_t end = start;
            while (end < length && s[end] != ' ' && s[end] != '-') ++end;
            o.language = line.Mid(start, end - start);
            break;
        }
        case 'M':
            o.playIntro = false;
            break;
        case 'R':
            o.useDefaultRefresh = false;
            if (arg) next = i + 2;
            break;
        case 'S':
            o.sound = false;
            break;
        case 'V':
            o.displayDevice = arg ? int32_t(arg) - '0' : -1;
            if (o.displayDevice < -1) o.displayDevice = -1;
            if (arg) next = i + 2;
            break;
        case 'W': {
            int32_t level = arg ? int32_t(arg) - '0' : 0;
            o.warningLevel = level < 0 ? 0 : (level > 3 ? 3 : level);
            if (arg) next = i + 2;
            break;
        }
        default:
            break;
        }
        i = next;
    }
    return o;
}

void NullFrontEnd::ApplyMenuVideoMode() {
    ZKEngine* engine = ZKEngine::Get();
    if (engine && engine->renderer) engine->renderer->RequestMode(DisplayMode{800, 600, 32, -1});
    SetProcessPriority(2);
}

void NullFrontEnd::WriteSettings(const SharedString& path) {
    Debugger::Instance().Log(3, "ENGINE: No front end: settings not written to %s", path.c_str());
}

bool TickSettingsAutosave(FrontEndServices& frontEnd, float frameTime) {
    const int32_t profile = frontEnd.CurrentProfileIndex();
    if (profile == -1) return false;
    float& countdown = frontEnd.SettingsSaveCountdown();
    const float before = countdown;
    countdown -= frameTime;
    // Each arming saves once: the countdown keeps falling until the front end sets it again.
    if (before > 0.0f && countdown <= 0.0f) {
        frontEnd.WriteSettings(SharedString::Format("Misc\\%s", frontEnd.ProfileName(profile).c_str()));
        return true;
    }
    return false;
}

namespace {

class StandardErrorView final : public DebuggerView {
public:
    void Print(const SharedString& line) override { std::fprintf(stderr, "%s\n", line.c_str()); }
};

// Where the window goes: the whole 800 x 600 screen in full screen, else centred on the desktop.
Rect WindowRect(bool fullScreen) {
    if (fullScreen) return Rect{0, 0, 800, 600};
    plat::InitVideo();
    plat::ScreenRect desktop = plat::DesktopBounds();
    Rect r;
    r.left = (desktop.right - 800) / 2;
    r.top = (desktop.bottom - 600) / 2;
    r.right = r.left + 800;
    r.bottom = r.top + 600;
    return r;
}

} // namespace

int RunApplication(const SharedString& commandLine, StartUpServices& services) {
    Debugger& log = Debugger::Instance();

    // The desktop's sticky-keys feature is left alone on this platform.
    log.Log(4, "1st line");
    BuildBanner() = SharedString::Format("Build 236 (%s)", __DATE__);
    const StartUpOptions options = ParseCommandLine(commandLine);
    if (options.frontEndOption) FrontEndOptionFlag() = true;

    ZKEngine& engine = ZKEngine::Instance();
    engine.Start(options.warningLevel);
    engine.SetMaxFrameTime(0.25f);

    engine.window = CreateAppWindow(ApplicationTitle(), WindowRect(options.fullScreen), options.fullScreen);
    if (!engine.window) {
        // Nothing shows the log yet: what it holds (the reason among it) goes where the user
        // can see it.
        StandardErrorView view;
        log.SetView(&view);
        log.SetView(nullptr);
        std::fprintf(stderr, "metrofare: cannot create the application window\n");
        return 1;
    }
    engine.window->Show();

    InputDevice* input = CreateInputDevice();
    AudioDevice* sound = services.createAudioDevice ? services.createAudioDevice(1) : nullptr;
    RenderFacility* renderer = services.createRenderer ? services.createRenderer() : nullptr;
    engine.Init(renderer, sound, input, options.language);
    NullFrontEnd fallbackFrontEnd;
    FrontEndServices* made = services.createFrontEnd ? services.createFrontEnd(engine.Services()) : nullptr;
    FrontEndServices& frontEnd = made ? *made : services.frontEnd ? *services.frontEnd : fallbackFrontEnd;
    if (renderer) {
        renderer->SetWindow(engine.window->native->NativeHandle());
        renderer->ChooseDevice(options.displayDevice);
        renderer->SetUseDefaultRefresh(options.useDefaultRefresh);
    }
    frontEnd.ApplyMenuVideoMode();
    if (renderer) {
        renderer->CreateDevice(false);
        engine.rendererReady = renderer->DeviceReady();
    }
    if (services.loadDefaultResources) services.loadDefaultResources(engine);

    if (options.playIntro && FileExists(SharedString("Intro.AVI")) && services.playIntro) {
        services.playIntro(engine, options.sound);
        if (renderer) {
            // One cleared frame replaces the video's last picture.
            renderer->BeginScene();
            renderer->Clear(kClearTarget);
            renderer->EndScene();
        }
    }
    // Closed during the intro (the window's close, SIGINT, SIGTERM): the program ends here.
    // Building the menus, the game and the music now would only load what the shut-down frees
    // again, and the settings, never read, are not written over.
    const bool closedDuringIntro = !engine.IsRunning();
    if (!closedDuringIntro) {
        if (sound) {
            sound->Init(0, engine.window);
            if (!options.sound) sound->SetEnabled(false);
        }
        engine.tasks.ProcessTasks();
        input->Init(engine.window, options.fullScreen);
        engine.SetMLP(frontEnd.CreateFrontEnd());
    }

    while (engine.IsRunning()) {
        engine.Frame();
        if (engine.window) engine.window->PumpMessages();
        TickSettingsAutosave(frontEnd, engine.frameTime);
        if (services.afterFrame) services.afterFrame(engine);
    }

    frontEnd.CloseNetwork();
    if (services.beforeShutdown) services.beforeShutdown(engine);
    if (engine.console) engine.console->Print(SharedString("Shutting down..."));
    engine.Shutdown();
    if (!closedDuringIntro) frontEnd.WriteSettings(SharedString("Misc\\Default.VQS"));
    return 0;
}
