#pragma once
// The specials' and crates' fixture: the player's taxi on flat ground with the special key
// (Left Shift) through the default bindings, the pools of the specials and weapons, voices that
// know whether they play, and frames at the step or at players' frame times.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "engine/audio/AudioDevice.h"
#include "game/vehicles/DrivingActions.h"
#include "game/vehicles/Explosion.h"
#include "game/vehicles/PlayerController.h"
#include "game/vehicles/Specials.h"
#include "game/vehicles/Weapons.h"
#include "tests/support/FakeInputDevice.h"
#include "tests/support/FrameSchedule.h"
#include "tests/vehicles/VehicleTestSupport.h"

namespace special_test {

using namespace vehicle_test;

constexpr uint32_t kSpecialKey = 57;

class PlayingVoice : public NullAudioVoice {
public:
    explicit PlayingVoice(int* plays) : plays_(plays) {}
    void Play(bool loop) override {
        playing = true;
        looped = loop;
        ++*plays_;
    }
    void Stop() override { playing = false; }
    bool IsPlaying() override { return playing; }
    bool playing = false;
    bool looped = false;

private:
    int* plays_;
};

// Remembers the last voice made of each file and counts the plays of each file.
class VoiceAudio : public NullAudioDevice {
public:
    AudioVoice* CreateSound(const SharedString& name, bool, bool, bool) override {
        auto* v = new PlayingVoice(&plays[name.c_str()]);
        voices[name.c_str()] = v;
        return v;
    }
    PlayingVoice* Voice(const std::string& name) {
        auto it = voices.find(name);
        return it == voices.end() ? nullptr : it->second;
    }
    std::map<std::string, PlayingVoice*> voices;
    std::map<std::string, int> plays;
};

class SpecialTest : public VehicleTest {
protected:
    void SetUp() override {
        // A police car (its siren) and a racer (its own boost) beside the taxi.
        std::filesystem::create_directories("Vehicles");
        WriteCar("PoliceCar", Taxi());
        WriteCar("RacerZZ", Taxi());
        VehicleTest::SetUp();
        flat.engine.services.sound = &audio;
        flat.engine.services.input = &input;
        SetDefaultDrivingBindings(&input);
        InstallWeaponFactories(flat.context);
        InstallSpecialFactories(flat.context);
        car = flat.AddCar(taxi);
        car->network.flagWord |= VehicleNetwork::PlayerCarFlag;
        player = std::make_unique<PlayerController>(flat.context, &input);
        player->camera = &flat.camera;
        player->AttachVehicle(car);
        flat.context.localDriver = player.get();
        flat.camera.SetTarget(car);
    }
    void TearDown() override {
        player.reset();
        flat.context.ownedVehicles.clear();
        flat.context.vehicles.clear();
        flat.context.itemPools.Clear();
        flat.context.specials.reset();
        flat.context.guns.reset();
        flat.context.explosions.reset();
        flat.engine.services.sound = nullptr;
        flat.engine.services.input = nullptr;
    }

    // One game frame of dt: the key as asked (pressed: down this frame), the player's input,
    // then the world.
    void Frame(float dt, bool press = false, bool hold = false) {
        input.pressed.clear();
        input.held.clear();
        if (press) input.pressed.insert(kSpecialKey);
        if (press || hold) input.held.insert(kSpecialKey);
        player->Update();
        flat.Frame(dt);
        time += dt;
    }

    template <class Kind>
    Kind* Pick(ItemKind pool, bool start) {
        auto* item = dynamic_cast<Kind*>(flat.context.itemPools[pool].Take());
        if (!item) return nullptr;
        car->AddSpecial(item);
        if (start) item->Start();
        return item;
    }
    bool Carries(const CarItem* item) const {
        return std::find(car->items.specials.begin(), car->items.specials.end(), item) != car->items.specials.end();
    }
    size_t LiveExplosions() { return flat.context.explosions ? flat.context.explosions->pool.Live().size() : 0u; }

    VoiceAudio audio;
    testing_support::FakeInputDevice input;
    Vehicle* car = nullptr;
    std::unique_ptr<PlayerController> player;
    float time = 0.0f;
};

// The frame times the specials are timed at.
inline std::vector<testing_support::FrameSchedule> Schedules() {
    return {testing_support::SteadyFrames("1/75", 1.0f / 75.0f), testing_support::UnevenFrames()};
}

} // namespace special_test
