#pragma once
#include <cstdint>
#include <vector>

#include "engine/audio/AudioDevice.h"
#include "engine/core/AppWindow.h"
#include "engine/core/EngineServices.h"
#include "engine/core/LanguageSet.h"
#include "engine/core/MLP.h"
#include "engine/core/MLPStack.h"
#include "engine/core/TaskQueue.h"
#include "engine/core/Thread.h"
#include "engine/core/Timer.h"

class RenderFacility;
class InputDevice;
class zkConsole;
class Font;

// The one engine object: owns the renderer, input, sound device, window, console, default
// font, task queue, timer, language sets and the MLP stack, and runs one frame of the whole
// system per Frame(). It is itself an MLP so that it can hold the engine console commands;
// it is never stacked. The game reaches it only through the services it hands out (Services()).
class ZKEngine : public MLP, public MLPStack {
public:
    // flags bits.
    static constexpr uint32_t kRunning = 1u << 0;
    static constexpr uint32_t kShowFrameRate = 1u << 1;
    static constexpr uint32_t kShowPolygons = 1u << 2;
    static constexpr uint32_t kShowVertices = 1u << 3;
    static constexpr uint32_t kShowTextureSwitches = 1u << 4;
    static constexpr uint32_t kShowBufferSwitches = 1u << 5;
    static constexpr uint32_t kCounterBits = 0x3Eu;

    // The screenshot key and the console keys the frame reacts to.
    static constexpr uint32_t kScreenshotKey = 0x31;
    static constexpr uint32_t kConsoleKey = 0x34;
    static constexpr uint32_t kEscapeKey = 0x30;

    // Draws one counter text (x, y in screen units, anchored at the top right); set by the
    // text renderer. Without one the counters are not drawn.
    using CounterTextDrawer = void (*)(RenderFacility& renderer, const SharedString& text, float x, float y);
    // Frees the default font (the font's owner provides it with the font).
    using FontDeleter = void (*)(Font* font);

    struct FrameCount {
        int32_t value = 0;
        SharedString text;
    };

    ZKEngine();
    ~ZKEngine() override;

    // The engine, or null before it exists.
    static ZKEngine* Get();
    // The engine, created on first use.
    static ZKEngine& Instance();

    // Warning level, window-message handlers and the engine's own init.
    void Start(int32_t warningLevel);
    void SetMaxFrameTime(float seconds) { maxFrameTime = seconds; }
    void Init(RenderFacility* renderer, AudioDevice* sound, InputDevice* input, const SharedString& languageName);
    // Loads the language set with that name (compared upper-cased); false and no change when
    // none matches.
    bool SetLanguage(const SharedString& languageName);
    void Frame();
    // Deletes the sound device, the renderer, the window, the console and the default font.
    void Shutdown() override;

    // What the game takes from the engine, pointing at this engine's devices and values; kept
    // current as the devices and the default font come and go (the composition root hands it
    // down).
    const EngineServices& Services();

    void PushMLP(MLP* mlp) override;
    void PopMLP() override;
    void PopToMLP(MLP* target) override;
    MLP* CurrentMLP() const override { return currentMLP; }
    void ForgetMLPs(const std::function<bool(const MLP*)>& owned) override;
    void SetMLP(MLP* mlp);

    bool IsRunning() const { return (engineFlags & kRunning) != 0; }
    void Stop() { engineFlags &= ~kRunning; }
    void SetDefaultFont(Font* font, FontDeleter deleter);
    void SetCounterTextDrawer(CounterTextDrawer drawer) { counterDrawer_ = drawer; }

    // The screenshot: grabs the presented picture and writes the first free "ShotNNNN.TGA".
    // False (and a log line) when nothing was written.
    bool WriteScreenshot();
    // "Shot%s%d.TGA" with the number padded to at least four digits.
    static SharedString ScreenshotName(int32_t number);
    // Writes the pixels (rows from the top) as an uncompressed 32-bit TGA, bottom row first.
    static bool WriteTga(const SharedString& path, const uint32_t* pixels, int32_t width, int32_t height);

    LanguageSet& Language() { return languages.Current(); }

    uint32_t engineFlags = kRunning;
    FrameCount frameCounts[2]; // this frame, last frame
    std::vector<MLP*> mlpStack;
    MLP* previousMLP = nullptr;
    MLP* currentMLP = nullptr;
    RenderFacility* renderer = nullptr;
    InputDevice* input = nullptr;
    AudioDevice* sound = nullptr;
    AppWindow* window = nullptr;
    TaskQueue tasks;
    Thread mainThread;
    zkConsole* console = nullptr;
    Font* defaultFont = nullptr;
    float rawFrameTime = 0.0f;
    float frameTime = 0.0f;
    uint32_t frameNumber = 0;
    Timer timer;
    float timeScalar = 1.0f;
    float maxFrameTime = 1.0f;
    // Root of the sound volume tree; the engine never changes its value.
    VolumeGroup masterVolume;
    bool rendererReady = false;
    int32_t frameRandom = 0;
    LanguageTexts languageKeys;
    LanguageCatalog languages{&languageKeys};

private:
    // The four window-message handlers the engine registers.
    struct MoveHandler : WindowMessageHandler {
        MoveHandler() : WindowMessageHandler(plat::kMessageMove) {}
        intptr_t Handle(AppWindow& window, uintptr_t wParam, intptr_t lParam) override;
    };
    struct ExitSizeMoveHandler : WindowMessageHandler {
        ExitSizeMoveHandler() : WindowMessageHandler(plat::kMessageExitSizeMove) {}
        intptr_t Handle(AppWindow& window, uintptr_t wParam, intptr_t lParam) override;
    };
    struct CharacterHandler : WindowMessageHandler {
        CharacterHandler() : WindowMessageHandler(plat::kMessageCharacter) {}
        intptr_t Handle(AppWindow& window, uintptr_t wParam, intptr_t lParam) override;
    };
    struct CloseHandler : WindowMessageHandler {
        CloseHandler() : WindowMessageHandler(plat::kMessageClose) {}
        intptr_t Handle(AppWindow& window, uintptr_t wParam, intptr_t lParam) override;
    };

    // An MLP becoming current: loaded if need be, time reset, activated.
    void Arrive(MLP* mlp);
    void DrawCounters();

    ExitSizeMoveHandler exitSizeMoveHandler_;
    MoveHandler moveHandler_;
    CharacterHandler characterHandler_;
    CloseHandler closeHandler_;
    // Brings the services in line with the fields.
    void RefreshServices();

    EngineServices services_;
    bool handlersRegistered_ = false;
    CounterTextDrawer counterDrawer_ = nullptr;
    FontDeleter fontDeleter_ = nullptr;
};
