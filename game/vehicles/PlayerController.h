#pragma once
// The local human driver: turns the driving actions into the car's controls every frame, looks
// after the water effects and decides whether the mode's overlays show.
#include <cstdint>

#include "game/vehicles/VehicleController.h"
#include "game/vehicles/VehicleDriver.h"

class AudioVoice;
class InputDevice;
struct VehicleContext;

class PlayerController : public VehicleDriver, public VehicleController {
public:
    // Engine keys the controller reads directly.
    static constexpr uint32_t FirstViewKey = 36;   // F1..F12: views 0..11
    static constexpr uint32_t FirstDigitKey = 26;  // 1..9: ticker texts in a network game
    static constexpr uint32_t OverlayKey = 50;     // Scroll Lock
    static constexpr int32_t FirstTickerText = 222000;

    // input null: the engine's input device.
    explicit PlayerController(VehicleContext& context, InputDevice* input = nullptr);
    ~PlayerController() override;

    // Both directions: the controller drives the car and the car knows its driver.
    void AttachVehicle(Vehicle* car);

    void Update() override;
    void PostWorldUpdate(World* world, ChaseCamera* camera, float dt) override;
    void DrawHud() override;
    bool ShowsModeOverlays() const override { return overlaysVisible != 0; }
    bool ShowsModeHud() const override { return overlaysVisible != 0 && hudAllowed_; }

    uint8_t overlaysVisible = 1;
    AudioVoice* rideWaterVoice = nullptr;
    AudioVoice* hitWaterVoice = nullptr;

private:
    InputDevice* Input() const;

    VehicleContext& context_;
    InputDevice* input_;
    bool hudAllowed_ = true;
};
