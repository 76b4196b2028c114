#pragma once
// The in-game state: the city, the cars, the chase camera and the current controller. It loads
// the city in six steps on its loading thread, then lets the player choose a car and drive it.
// Each frame: control, update, render.
#include <memory>

#include "engine/core/MLP.h"
#include "game/play/GameMode.h"
#include "game/vehicles/ChaseCamera.h"
#include "game/vehicles/ItemEvents.h"
#include "game/vehicles/VehicleContext.h"
#include "game/vehicles/VehicleKillPlane.h"
#include "game/world/GameSession.h"
#include "game/world/World.h"

class InputDevice;
class RenderFacility;

class Game : public MLP {
public:
    // renderer may be null (tests): nothing is drawn. input null: the engine's.
    explicit Game(RenderFacility* renderer, InputDevice* input = nullptr);
    ~Game() override;

    // The loading thread: the city's six loading steps and the car catalogue.
    void Load() override;
    bool IsReady() override { return loaded_; }
    // The car select over every car of the catalogue.
    void Activate() override;
    // Control: the controller turns input into the car's controls unless input is frozen.
    void HandleInput() override;
    void Update() override;
    void Render() override;

    // The frame's update with a given time (Update passes the engine's frame time).
    void Step(float dt);
    // The car the player drives, null while choosing.
    Vehicle* PlayerCar() const;
    VehicleController* Controller() const { return controller_.get(); }

    GameSession session;
    World world;
    ChaseCamera camera;
    VehicleContext vehicles;
    GameMode mode;
    VehicleKillPlane killPlane;
    ItemEventChannels itemChannels;

private:
    void CreateCarSelect();

    RenderFacility* renderer_;
    InputDevice* input_;
    bool loaded_ = false;
    bool started_ = false;
    std::unique_ptr<VehicleController> controller_;
};
