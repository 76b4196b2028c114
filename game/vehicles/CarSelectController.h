#pragma once
// The in-game car choice: the camera shows one candidate car at a time, the arrows turn
// through them and a confirm hands the chosen one to a new player controller.
#include <cstdint>
#include <memory>
#include <vector>

#include "game/vehicles/VehicleController.h"

class ChaseCamera;
class InputDevice;
class PlayerController;
class Vehicle;
struct VehicleContext;

class CarSelectController : public VehicleController {
public:
    static constexpr uint32_t LeftKey = 72;
    static constexpr uint32_t RightKey = 73;
    static constexpr float RepeatDelay = 0.25f;
    static constexpr int32_t OneCarText = 66000;
    static constexpr int32_t ChooseText = 66001;
    static constexpr int32_t TitleText = 66002;

    // Takes the candidates (already in the world). Null when there is none (logged): the caller
    // keeps its state.
    static std::unique_ptr<CarSelectController> Create(VehicleContext& context,
                                                       std::vector<std::unique_ptr<Vehicle>> cars,
                                                       InputDevice* input = nullptr);
    ~CarSelectController() override;

    // Shows the current candidate.
    void Begin();
    void Update() override;
    void PostWorldUpdate(World* world, ChaseCamera* camera, float dt) override;
    void DrawHud() override;
    // Hands the current candidate to a new player controller, which the game takes from the
    // context's pending controller after this frame's update; the other candidates go.
    void Finish();

    Vehicle* Current() const;
    int32_t Count() const { return int32_t(cars_.size()); }

    int32_t waitForHost = 0;
    float selectTimer = 0.0f;
    uint8_t finishPending = 0;
    // Set by the creator to ask for one environment-cube refresh around the current car.
    uint8_t cubePending = 0;
    uint8_t confirmed = 0;
    int32_t index = 0;
    ChaseCamera* camera = nullptr;

private:
    CarSelectController(VehicleContext& context, std::vector<std::unique_ptr<Vehicle>> cars, InputDevice* input);
    InputDevice* Input() const;

    VehicleContext& context_;
    std::vector<std::unique_ptr<Vehicle>> cars_;
    InputDevice* input_;
    bool finished_ = false;
};
