#include "engine/core/Engine.h"

#include <algorithm>
#include <bit>

#include "engine/core/Console.h"
#include "engine/core/Debugger.h"
#include "engine/core/EngineCommands.h"
#include "engine/core/FileStream.h"
#include "engine/core/InputDevice.h"
#include "engine/render/RenderFacility.h"
#include "engine/render/RenderStats.h"
#include "platform/sys/Random.h"

namespace {

ZKEngine* g_engine = nullptr;

// When this engine was compiled (the engine's own stamp, logged at initialisation).
constexpr const char* kCompileDate = __TIMESTAMP__;

void SetCount(ZKEngine::FrameCount& count, int32_t value) {
    char text[16];
    int n = std::snprintf(text, sizeof text, "%d", value);
    count.value = value;
    count.text.Assign(text, n > 0 ? n : 0);
}

} // namespace

ZKEngine* ZKEngine::Get() { return g_engine; }

ZKEngine& ZKEngine::Instance() {
    if (!g_engine) new ZKEngine; // the constructor publishes itself
    return *g_engine;
}

ZKEngine::ZKEngine() {
    // Published first, so that what the constructor creates finds the engine.
    g_engine = this;
    name = SharedString("ZKEngine");
    for (FrameCount& c : frameCounts) {
        c.text.Reserve(15);
        SetCount(c, 0);
    }
    mainThread = Thread::Current();
    languages.FindAndLoadDefault();
    SoundDirectories().push_back(SharedString("Audio"));
    RefreshServices();
}

ZKEngine::~ZKEngine() {
    if (handlersRegistered_) {
        UnregisterWindowHandler(&exitSizeMoveHandler_);
        UnregisterWindowHandler(&moveHandler_);
        UnregisterWindowHandler(&characterHandler_);
        UnregisterWindowHandler(&closeHandler_);
    }
    WaitForInit(10.0f);
    if (g_engine == this) g_engine = nullptr;
}

void ZKEngine::Start(int32_t warningLevel) {
    // A start after an earlier run's stop (the engine lives for the process) runs again.
    engineFlags |= kRunning;
    Debugger::Instance().SetWarningLevel(warningLevel);
    if (!handlersRegistered_) {
        RegisterWindowHandler(&exitSizeMoveHandler_);
        RegisterWindowHandler(&moveHandler_);
        RegisterWindowHandler(&characterHandler_);
        RegisterWindowHandler(&closeHandler_);
        handlersRegistered_ = true;
    }
    StartInit();
}

void ZKEngine::Init(RenderFacility* newRenderer, AudioDevice* newSound, InputDevice* newInput,
                    const SharedString& languageName) {
    if (!languageName.IsEmpty()) SetLanguage(languageName);
    renderer = newRenderer;
    sound = newSound;
    input = newInput;
    if (input) input->SetLanguage(&languages.Current());
    if (!console) console = new zkConsole;
    Debugger& log = Debugger::Instance();
    log.SetView(&console->View());
    log.Log(3, "ENGINE: compiledate = %s", kCompileDate);
    timer.Start();
    engineFlags &= ~kCounterBits;
    RegisterEngineCommands(*this);
    RefreshServices();
}

bool ZKEngine::SetLanguage(const SharedString& languageName) { return languages.SelectByName(languageName); }

void ZKEngine::SetDefaultFont(Font* font, FontDeleter deleter) {
    defaultFont = font;
    fontDeleter_ = deleter;
    RefreshServices();
}

void ZKEngine::Shutdown() {
    delete sound;
    sound = nullptr;
    delete renderer;
    renderer = nullptr;
    rendererReady = false;
    delete window;
    window = nullptr;
    delete console; // its view leaves the Debugger, which queues lines again
    console = nullptr;
    if (defaultFont && fontDeleter_) fontDeleter_(defaultFont);
    defaultFont = nullptr;
    RefreshServices();
}

// ---------------------------------------------------------------------------------------------
// The frame

void ZKEngine::Frame() {
    Debugger& log = Debugger::Instance();
    const float measured = timer.Elapsed();
    frameTime = std::min(measured, maxFrameTime) * timeScalar;
    rawFrameTime = measured * timeScalar;

    tasks.ProcessTasks();
    if (input) input->Update(frameTime);

    bool usable = true;
    if (!currentMLP) {
        log.Message("ENGINE: No MLP loaded!");
        SleepSeconds(0.1f);
        usable = false;
    } else if (!currentMLP->IsReady()) {
        log.Log(3, "ENGINE: Loading %s", currentMLP->name.c_str());
        // Gives the init thread the processor.
        SleepSeconds(0.1f);
        usable = false;
    } else {
        log.Log(3, "ENGINE: Using %s for %.2f seconds", currentMLP->name.c_str(), double(currentMLP->timeCurrent));
    }
    // Input, a console command or the update may make another MLP current, or none: only one
    // that is ready is updated and drawn in the rest of the frame.
    MLP* checked = currentMLP;
    auto recheck = [&] {
        if (currentMLP == checked) return;
        checked = currentMLP;
        usable = currentMLP && currentMLP->IsReady();
    };
    if (currentMLP) currentMLP->timeCurrent += frameTime;
    timeCurrent += frameTime;

    if (input && input->Pressed(kScreenshotKey)) WriteScreenshot();

    if (console && console->IsOpen()) {
        if (input && (input->Pressed(kConsoleKey) || input->Pressed(kEscapeKey))) console->Close();
        else console->HandleInput(frameTime);
    } else if (input && input->Pressed(kConsoleKey)) {
        // The key that opens the console is not also the MLP's input.
        if (console) console->Open();
    } else if (usable) {
        currentMLP->HandleInput();
    }
    recheck();
    if (usable) currentMLP->Update();
    recheck();

    if (console) console->Update(frameTime);
    if (sound) sound->Update(frameTime);

    if (renderer) {
        renderer->SetFrameTime(frameTime);
        renderer->BeginScene();
    }
    if (sound) sound->AfterBeginScene();
    if (usable) currentMLP->Render();
    else if (renderer) renderer->Clear(kClearTarget | kClearDepth);
    if (console) console->Render();
    DrawCounters();
    if (renderer) renderer->EndScene();
    if (sound) sound->EndFrame();

    frameCounts[1].value = frameCounts[0].value;
    frameCounts[1].text.Assign(frameCounts[0].text.c_str(), frameCounts[0].text.Length());
    SetCount(frameCounts[0], 0);
    ++frameNumber;
    frameRandom = plat::EngineRand();
}

void ZKEngine::DrawCounters() {
    if (!(engineFlags & kCounterBits) || !counterDrawer_ || !renderer) return;
    struct Counter {
        uint32_t bit;
        int text;
        float y;
    };
    static const Counter kCounters[] = {
        {kShowFrameRate, RenderStatsTexts::kFps, 20.0f},
        {kShowPolygons, RenderStatsTexts::kPolygons, 40.0f},
        {kShowTextureSwitches, RenderStatsTexts::kTextureSwitches, 60.0f},
        {kShowVertices, RenderStatsTexts::kVertices, 80.0f},
        {kShowBufferSwitches, RenderStatsTexts::kBufferSwitches, 100.0f},
    };
    const RenderStatsTexts& texts = renderer->LastFrameStats().BuildTexts();
    for (const Counter& c : kCounters)
        if (engineFlags & c.bit) counterDrawer_(*renderer, texts.GetText(c.text), -180.0f, c.y);
}

// ---------------------------------------------------------------------------------------------
// The MLP stack

void ZKEngine::Arrive(MLP* mlp) {
    // Shown again while its first load still runs, it is not loaded a second time.
    if (!mlp->IsReady() && !mlp->InitInProgress()) mlp->StartInit();
    mlp->timeCurrent = 0.0f;
    mlp->Activate();
    currentMLP = mlp;
}

void ZKEngine::PushMLP(MLP* mlp) {
    if (!mlp) return;
    mlpStack.push_back(currentMLP);
    previousMLP = currentMLP;
    if (currentMLP) currentMLP->Deactivate();
    Arrive(mlp);
}

void ZKEngine::PopMLP() {
    if (mlpStack.empty()) {
        Debugger::Instance().Log(2, "ENGINE: PopMLP with an empty MLP stack ignored");
        return;
    }
    MLP* top = mlpStack.back();
    mlpStack.pop_back();
    previousMLP = currentMLP;
    if (currentMLP) currentMLP->Deactivate();
    if (top) Arrive(top);
    else currentMLP = nullptr;
}

void ZKEngine::PopToMLP(MLP* target) {
    if (currentMLP == target) {
        previousMLP = currentMLP;
        return;
    }
    if (std::find(mlpStack.begin(), mlpStack.end(), target) == mlpStack.end()) {
        Debugger::Instance().Log(2, "ENGINE: PopToMLP to %s, which is not on the MLP stack, ignored",
                                 target ? target->name.c_str() : "null");
        return;
    }
    MLP* began = currentMLP;
    MLP* t = nullptr;
    do {
        t = mlpStack.back();
        mlpStack.pop_back();
        if (currentMLP) currentMLP->Deactivate();
        currentMLP = t;
    } while (t != target);
    previousMLP = began;
}

void ZKEngine::ForgetMLPs(const std::function<bool(const MLP*)>& owned) {
    if (owned(currentMLP)) currentMLP = nullptr;
    if (owned(previousMLP)) previousMLP = nullptr;
    std::erase_if(mlpStack, owned);
}

const EngineServices& ZKEngine::Services() {
    RefreshServices();
    return services_;
}

void ZKEngine::RefreshServices() {
    services_.renderer = renderer;
    services_.sound = sound;
    services_.input = input;
    services_.frameTime = &frameTime;
    services_.frameNumber = &frameNumber;
    services_.language = &Language();
    services_.defaultFont = defaultFont;
    services_.states = this;
    services_.masterVolume = &masterVolume;
    services_.mainThreadTasks = &tasks;
}

void ZKEngine::SetMLP(MLP* mlp) {
    if (!mlp) return;
    previousMLP = currentMLP;
    if (currentMLP) currentMLP->Deactivate();
    Arrive(mlp);
}

// ---------------------------------------------------------------------------------------------
// Screenshots

SharedString ZKEngine::ScreenshotName(int32_t number) {
    const char* pad = number < 10 ? "000" : number < 100 ? "00" : number < 1000 ? "0" : "";
    return SharedString::Format("Shot%s%d.TGA", pad, number);
}

bool ZKEngine::WriteTga(const SharedString& path, const uint32_t* pixels, int32_t width, int32_t height) {
    static_assert(std::endian::native == std::endian::little, "pixel rows are written as stored");
    FileWriter out(path);
    if (!out.IsOpen()) return false;
    const uint8_t header[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                uint8_t(width & 0xFF), uint8_t((width >> 8) & 0xFF),
                                uint8_t(height & 0xFF), uint8_t((height >> 8) & 0xFF),
                                32, 0};
    out.Write(header, sizeof header);
    for (int32_t row = height - 1; row >= 0; --row)
        out.Write(pixels + size_t(row) * size_t(width), width * 4);
    return true;
}

bool ZKEngine::WriteScreenshot() {
    Debugger& log = Debugger::Instance();
    if (!renderer) return false;
    const int32_t width = renderer->ViewportWidth();
    const int32_t height = renderer->ViewportHeight();
    std::vector<uint32_t> pixels = renderer->GrabScreen(false);
    // Only the picture's own pixels are written, never memory behind a short grab.
    if (width <= 0 || height <= 0 || width > 0xFFFF || height > 0xFFFF ||
        pixels.size() < size_t(width) * size_t(height)) {
        log.Log(2, "ENGINE: Screenshot failed: no picture of %dx%d", width, height);
        return false;
    }
    for (int32_t n = 1; n < 1000000; ++n) {
        SharedString path = ScreenshotName(n);
        if (FileExists(path)) continue;
        if (WriteTga(path, pixels.data(), width, height)) return true;
        log.Log(2, "ENGINE: Cannot write %s", path.c_str());
        return false;
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// Window messages

intptr_t ZKEngine::MoveHandler::Handle(AppWindow& window, uintptr_t, intptr_t lParam) {
    const int32_t x = plat::PositionX(lParam), y = plat::PositionY(lParam);
    window.screenRect = Rect{x, y, x + window.clientWidth, y + window.clientHeight};
    return 0;
}

intptr_t ZKEngine::ExitSizeMoveHandler::Handle(AppWindow& window, uintptr_t, intptr_t) {
    window.RefreshClientSize();
    ZKEngine* engine = ZKEngine::Get();
    if (engine && engine->rendererReady && engine->renderer)
        engine->renderer->RequestMode(DisplayMode{window.clientWidth, window.clientHeight, 16, 0});
    return 0;
}

intptr_t ZKEngine::CharacterHandler::Handle(AppWindow&, uintptr_t wParam, intptr_t) {
    switch (wParam) {
    case 9: case 13: case 10: case 96: case 126: case 27:
        return 0; // tab, line ends, the console key's characters and Escape are not typed
    default:
        break;
    }
    ZKEngine* engine = ZKEngine::Get();
    if (engine && engine->input) engine->input->OnCharacter(uint32_t(wParam));
    return 0;
}

intptr_t ZKEngine::CloseHandler::Handle(AppWindow&, uintptr_t, intptr_t) {
    // The window stays; the main loop ends after the current frame.
    if (ZKEngine* engine = ZKEngine::Get()) engine->Stop();
    return 0;
}
