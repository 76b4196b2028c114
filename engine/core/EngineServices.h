#pragma once
// What the game takes from the engine: one small struct of pointers, handed to the game at
// construction. The engine keeps the program's (ZKEngine::Services(), current while devices come
// and go); the start-up hands it to the front end's factory, the front end to the game, the game
// to its world, and so on down. Game classes hold it by reference, so its owner outlives them:
// the engine lives as long as the program, a test's doubles as long as the test.
//
// A null pointer means the service is absent: a headless game has no renderer, a test without
// sound no sound device; callers check. Game code never asks the engine itself (no
// ZKEngine::Get() under game/: a check in CTest fails on one).
//
// A new game class that needs a service takes `const EngineServices&` in its constructor from its
// owner: the world keeps the game's as World::engine, the cars reach it as VehicleContext::engine,
// the play classes as Game::engine, the front end's pages as FrontEnd::engine. Tests build it from
// the doubles in tests/support (testing_support::EngineDoubles).
//
// The network client and server are not engine services: they belong to one game (Game,
// VehicleContext). Settings writes go through FrontEndServices.
#include <cstdint>

#include "engine/core/LanguageSet.h"
#include "engine/core/SharedString.h"

class AudioDevice;
class Font;
class InputDevice;
class MLPStack;
class RenderFacility;
class TaskQueue;
class VolumeGroup;

struct EngineServices {
    RenderFacility* renderer = nullptr;
    AudioDevice* sound = nullptr;
    InputDevice* input = nullptr;
    // The frame clock: this frame's time in seconds (capped and scaled: what updates advance by)
    // and the frame's number, both changing every frame.
    const float* frameTime = nullptr;
    const uint32_t* frameNumber = nullptr;
    // The current language set (its texts change when another language is chosen).
    LanguageSet* language = nullptr;
    // Null until the render device exists.
    Font* defaultFont = nullptr;
    // The game states: push, pop, the current one.
    MLPStack* states = nullptr;
    // The root of the sound volume tree.
    VolumeGroup* masterVolume = nullptr;
    // The main thread's queue of device work: whoever waits there for a loading page serves it.
    TaskQueue* mainThreadTasks = nullptr;

    // This frame's time; 0 without a clock.
    float FrameTime() const { return frameTime ? *frameTime : 0.0f; }
    // This frame's number; 0 without a clock.
    uint32_t FrameNumber() const { return frameNumber ? *frameNumber : 0u; }
    // The language text of a key (an unknown key logs once and reads "Undefined key %d"); empty
    // without a language set.
    SharedString Text(int32_t key) const { return language ? language->GetString(key) : SharedString(); }
};
