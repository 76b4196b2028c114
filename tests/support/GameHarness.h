#pragma once
// The game run headless as a player would run it: the engine through the start-up services on
// the demo tree (written to a temporary directory), offscreen video, dummy audio, a clock that
// gives every frame 1/75 s or the times of a schedule, and a seeded generator. A timeline of keys, typed text and mouse events is fed
// through the real window and input device frame by frame; hooks read the MLP stack, the mode
// and the player's car, and place the car.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/Math.h"
#include "tests/support/FrameSchedule.h"
#include "tests/support/TestSupport.h"

class DrivingRules;
class FrontEnd;
class Game;
class GameMode;
class MLP;
class Pedestrian;
class Vehicle;
class ZKEngine;

namespace testing_support {

class GameHarness {
public:
    static constexpr float kFrameTime = 1.0f / 75.0f;

    // demoBinary: the metrofare-demo program that writes the tree.
    explicit GameHarness(const std::string& demoBinary, uint32_t seed = 1);
    ~GameHarness();
    GameHarness(const GameHarness&) = delete;
    GameHarness& operator=(const GameHarness&) = delete;

    bool TreeWritten() const { return treeWritten_; }

    // The frame times of the next runs (1/75 s each until set); frames count from the first
    // frame of the main loop.
    void SetFrameTimes(const FrameSchedule& schedule);

    // The timeline: events delivered before the frame with that number (frames count from 0,
    // the first frame of the main loop).
    void KeyDown(int32_t frame, uint32_t engineKey);
    void KeyUp(int32_t frame, uint32_t engineKey);
    // Down before the frame, up before the next.
    void Tap(int32_t frame, uint32_t engineKey);
    void Hold(int32_t frame, uint32_t engineKey, int32_t frames);
    void Type(int32_t frame, const std::string& text);
    void MouseMove(int32_t frame, int32_t dx, int32_t dy);
    void MouseButton(int32_t frame, uint8_t button, bool down);
    // A console line: opens the console, types the line, Return, closes the console (4 frames).
    void ConsoleLine(int32_t frame, const std::string& line);

    // Runs the program until the watcher returns false after a frame or maxFrames have run.
    // The watcher may add to the timeline. Returns the number of frames run. A log line about a
    // language key the tree lacks fails the running test.
    using Watcher = std::function<bool(GameHarness& harness, int32_t frame)>;
    int32_t Run(const Watcher& watcher, int32_t maxFrames);

    // Hooks (valid while running, i.e. inside the watcher).
    ZKEngine& Engine();
    FrontEnd& Front();
    Game& GameState();
    GameMode* Mode();
    // The name of the current MLP and of those beneath it, top first.
    std::vector<std::string> Stack();
    std::string CurrentName();
    // The player's car: whether there is one, and where.
    bool HasPlayerCar();
    Vector3 PlayerCarPosition();
    void PlaceCar(const Vector3& position);
    // Starts the quick free drive as a menu page would (whatever the main page allows).
    void StartQuickGame();

    // What the running mode was told by the cars since RecordMode.
    struct ModeReports {
        int32_t fails = 0;
        int32_t successes = 0;
        struct Kill {
            Vehicle* killer;
            Vehicle* victim;
        };
        std::vector<Kill> destroyed;
        // Pedestrians killed by a hit, and the car that hit each (null: none).
        struct PedestrianHit {
            Vehicle* hitter;
            Pedestrian* pedestrian;
        };
        std::vector<PedestrianHit> pedestrianHits;
    };
    // Puts a recording stand-in in the running mode's place: the free drive's rules with the
    // running mode's flags, every report counted. Needs a game with a mode.
    ModeReports& RecordMode();
    // The running mode's flags, to set as a mode would (respawn, reset allowed, ...).
    DrivingRules& ModeFlags();

    // The program's log (the console's log file), read after the run.
    const std::vector<std::string>& Log() const { return log_; }
    bool LogContains(const std::string& text) const;
    // Log lines that report a language key the tree lacks.
    std::vector<std::string> MissingKeyLines() const;

    const std::string& Root() const { return dir_.Path(); }

private:
    struct Event {
        enum Kind { Down, Up, Text, Motion, Button };
        explicit Event(Kind k, uint32_t code = 0) : kind(k), key(code) {}
        Kind kind;
        uint32_t key = 0;
        std::string text;
        int32_t dx = 0, dy = 0;
        uint8_t button = 0;
        bool down = false;
    };
    void Deliver(int32_t frame);

    TempWorkDir dir_;
    bool treeWritten_ = false;
    std::multimap<int32_t, Event> timeline_;
    std::vector<std::string> log_;
    std::unique_ptr<FrontEnd> frontEnd_;
    struct Clock;
    std::unique_ptr<Clock> clock_;
    ModeReports reports_;
};

} // namespace testing_support
