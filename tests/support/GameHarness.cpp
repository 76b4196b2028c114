#include "tests/support/GameHarness.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "engine/audio/AudioDevice.h"
#include "engine/core/AppWindow.h"
#include "engine/core/Engine.h"
#include "engine/core/InputDevice.h"
#include "engine/core/StartUp.h"
#include "engine/render/ConsoleCanvas.h"
#include "engine/render/D3D8RenderFacility.h"
#include "engine/render/RenderMenuCanvas.h"
#include "engine/render/TextDraw.h"
#include "game/frontend/FrontEnd.h"
#include "game/play/Game.h"
#include "platform/sys/Clock.h"
#include "platform/sys/Random.h"
#include "tests/support/ProgramRun.h"

namespace testing_support {

// Exactly one frame time per frame, in counts of a 900 kHz counter: 1/75, 1/90, 1/45 and 1/20 s
// and tenths of milliseconds are whole counts.
struct GameHarness::Clock : plat::ClockSource {
    static constexpr int64_t Hz = 900000;
    int64_t counter = 0;
    FrameSchedule schedule;
    int64_t Frequency() override { return Hz; }
    int64_t Counter() override { return counter; }
    uint32_t Milliseconds() override { return uint32_t(counter * 1000 / Hz); }
    void Step(int32_t frame) { counter += int64_t(std::llround(double(schedule(frame)) * double(Hz))); }
};

GameHarness::GameHarness(const std::string& demoBinary, uint32_t seed) : clock_(std::make_unique<Clock>()) {
    const pid_t pid = StartProgram(demoBinary.c_str(), {dir_.Path()});
    const int status = WaitForExit(pid, std::chrono::seconds(120));
    treeWritten_ = status == 0;
    // What the generator said, for the test that finds no tree.
    if (!treeWritten_)
        std::fprintf(stderr, "metrofare-demo ended with status %d:\n%s\n", status, dir_.ReadBytes("out.txt").c_str());
    plat::SetEngineRandSeed(seed);
    std::srand(seed);
}

GameHarness::~GameHarness() { plat::SetClockSource(nullptr); }

void GameHarness::SetFrameTimes(const FrameSchedule& schedule) { clock_->schedule = schedule; }

void GameHarness::KeyDown(int32_t frame, uint32_t key) { timeline_.insert({frame, Event{Event::Down, key}}); }
void GameHarness::KeyUp(int32_t frame, uint32_t key) { timeline_.insert({frame, Event{Event::Up, key}}); }
void GameHarness::Tap(int32_t frame, uint32_t key) {
    KeyDown(frame, key);
    KeyUp(frame + 1, key);
}
void GameHarness::Hold(int32_t frame, uint32_t key, int32_t frames) {
    KeyDown(frame, key);
    KeyUp(frame + frames, key);
}
void GameHarness::Type(int32_t frame, const std::string& text) {
    Event e{Event::Text};
    e.text = text;
    timeline_.insert({frame, e});
}
void GameHarness::MouseMove(int32_t frame, int32_t dx, int32_t dy) {
    Event e{Event::Motion};
    e.dx = dx;
    e.dy = dy;
    timeline_.insert({frame, e});
}
void GameHarness::MouseButton(int32_t frame, uint8_t button, bool down) {
    Event e{Event::Button};
    e.button = button;
    e.down = down;
    timeline_.insert({frame, e});
}
void GameHarness::ConsoleLine(int32_t frame, const std::string& line) {
    Tap(frame, kKeyConsole);
    Type(frame + 1, line);
    Tap(frame + 2, kKeyReturn);
    Tap(frame + 4, kKeyConsole);
}

void GameHarness::Deliver(int32_t frame) {
    ZKEngine& engine = Engine();
    if (!engine.window) return;
    const uint32_t window = SDL_GetWindowID(static_cast<SDL_Window*>(engine.window->native->NativeHandle()));
    auto* device = dynamic_cast<DInputDevice*>(engine.input);
    auto range = timeline_.equal_range(frame);
    for (auto it = range.first; it != range.second; ++it) {
        const Event& ev = it->second;
        SDL_Event e{};
        switch (ev.kind) {
        case Event::Down:
        case Event::Up: {
            const int32_t scancode = device ? device->ScanCode(ev.key) : -1;
            if (scancode <= 0) continue;
            e.type = ev.kind == Event::Down ? SDL_KEYDOWN : SDL_KEYUP;
            e.key.windowID = window;
            e.key.state = ev.kind == Event::Down ? SDL_PRESSED : SDL_RELEASED;
            e.key.keysym.scancode = SDL_Scancode(scancode);
            e.key.keysym.sym = SDL_GetKeyFromScancode(SDL_Scancode(scancode));
            break;
        }
        case Event::Text:
            e.type = SDL_TEXTINPUT;
            e.text.windowID = window;
            SDL_strlcpy(e.text.text, ev.text.c_str(), sizeof e.text.text);
            break;
        case Event::Motion:
            e.type = SDL_MOUSEMOTION;
            e.motion.windowID = window;
            e.motion.xrel = ev.dx;
            e.motion.yrel = ev.dy;
            break;
        case Event::Button:
            e.type = ev.down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
            e.button.windowID = window;
            e.button.button = ev.button;
            e.button.state = ev.down ? SDL_PRESSED : SDL_RELEASED;
            break;
        }
        SDL_PushEvent(&e);
    }
    // Into the input layer's buffers now, so the next frame reads them.
    engine.window->PumpMessages();
}

int32_t GameHarness::Run(const Watcher& watcher, int32_t maxFrames) {
    plat::SetClockSource(clock_.get());
    int32_t frames = 0;
    StartUpServices services;
    services.createRenderer = CreateRenderer;
    services.createAudioDevice = [](int type) -> AudioDevice* { return CreateAudioDevice(type); };
    services.loadDefaultResources = [](ZKEngine& engine) {
        LoadDefaultRenderResources(engine);
        InstallConsoleCanvas(engine);
        InstallMenuCanvas(engine);
    };
    services.createFrontEnd = [this](const EngineServices& engine) -> FrontEndServices* {
        frontEnd_ = std::make_unique<FrontEnd>(engine);
        return frontEnd_.get();
    };
    services.afterFrame = [&](ZKEngine& engine) {
        // The time the next frame measures.
        clock_->Step(frames + 1);
        const bool more = watcher(*this, frames);
        ++frames;
        // Also when the program stopped itself (the exit button): the front end goes before
        // the devices, as the program's own loop does it.
        if (!more || frames >= maxFrames || !engine.IsRunning()) {
            engine.Stop();
            engine.currentMLP = nullptr;
            engine.previousMLP = nullptr;
            engine.mlpStack.clear();
            frontEnd_->Release();
            return;
        }
        Deliver(frames);
    };
    // The first frame's events go in before the loop starts: through the pump of frame 0.
    RunApplication(SharedString("-F -M"), services);
    plat::SetClockSource(nullptr);

    log_.clear();
    std::ifstream in(dir_.Path() + "/zkConsole.log");
    for (std::string line; std::getline(in, line);) log_.push_back(line);
    // Every text the game shows must be in the demo tree's language.
    for (const std::string& line : MissingKeyLines()) ADD_FAILURE() << line;
    return frames;
}

ZKEngine& GameHarness::Engine() { return ZKEngine::Instance(); }
FrontEnd& GameHarness::Front() { return *frontEnd_; }
Game& GameHarness::GameState() { return *frontEnd_->game; }
GameMode* GameHarness::Mode() { return frontEnd_->game ? frontEnd_->game->mode.get() : nullptr; }

std::vector<std::string> GameHarness::Stack() {
    std::vector<std::string> names;
    ZKEngine& engine = Engine();
    if (engine.currentMLP) names.emplace_back(engine.currentMLP->name.View());
    for (auto it = engine.mlpStack.rbegin(); it != engine.mlpStack.rend(); ++it)
        names.emplace_back(*it ? std::string((*it)->name.View()) : std::string("(none)"));
    return names;
}

std::string GameHarness::CurrentName() {
    MLP* current = Engine().currentMLP;
    return current ? std::string(current->name.View()) : std::string();
}

bool GameHarness::HasPlayerCar() { return frontEnd_->game && frontEnd_->game->HasPlayerCar(); }

Vector3 GameHarness::PlayerCarPosition() { return frontEnd_->game->PlayerCarPosition(); }

void GameHarness::PlaceCar(const Vector3& position) { frontEnd_->game->TeleportPlayer(position); }

void GameHarness::StartQuickGame() { frontEnd_->StartMission(8, 0, 10020); }

namespace {

// A mode with no goal whose reports are counted.
class RecordingMode final : public GameMode {
public:
    RecordingMode(Game& game, GameHarness::ModeReports& reports) : GameMode(game), reports_(reports) {}
    void Init() override { CreateGame(); }
    void Succeed() override { ++reports_.successes; }
    void Fail() override { ++reports_.fails; }
    void OnVehicleDestroyed(Vehicle* killer, Vehicle* victim) override { reports_.destroyed.push_back({killer, victim}); }
    void OnPedestrianHit(Vehicle* hitter, Pedestrian& pedestrian) override {
        reports_.pedestrianHits.push_back({hitter, &pedestrian});
    }

private:
    GameHarness::ModeReports& reports_;
};

} // namespace

GameHarness::ModeReports& GameHarness::RecordMode() {
    reports_ = ModeReports{};
    Game& game = GameState();
    auto recorder = std::make_unique<RecordingMode>(game, reports_);
    if (game.mode) static_cast<DrivingRules&>(*recorder) = static_cast<const DrivingRules&>(*game.mode);
    game.SetMode(std::move(recorder));
    return reports_;
}

DrivingRules& GameHarness::ModeFlags() { return *GameState().mode; }

bool GameHarness::LogContains(const std::string& text) const {
    for (const std::string& line : log_)
        if (line.find(text) != std::string::npos) return true;
    return false;
}

std::vector<std::string> GameHarness::MissingKeyLines() const {
    std::vector<std::string> lines;
    for (const std::string& line : log_)
        if (line.find("Requested key") != std::string::npos && line.find("is not in language") != std::string::npos)
            lines.push_back(line);
    return lines;
}

} // namespace testing_support
