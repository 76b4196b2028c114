#include "game/vehicles/PlayerController.h"

#include "engine/audio/AudioDevice.h"
#include "engine/core/EngineServices.h"
#include "engine/core/Geometry.h"
#include "engine/core/InputDevice.h"
#include "game/vehicles/CarItem.h"
#include "game/vehicles/ChaseCamera.h"
#include "game/vehicles/DrivingActions.h"
#include "game/vehicles/DrivingRules.h"
#include "game/vehicles/Vehicle.h"
#include "game/vehicles/VehicleContext.h"
#include "game/world/World.h"

namespace {

AudioVoice* MakeVoice(VehicleContext& context, const char* name) {
    AudioDevice* sound = context.engine.sound;
    if (!sound) return nullptr;
    AudioVoice* voice = sound->CreateSound(SharedString(name));
    if (voice && context.effectsVolume) context.effectsVolume->AttachChild(voice);
    return voice;
}

void ReleaseVoice(AudioDevice* sound, AudioVoice*& voice) {
    if (!voice) return;
    if (voice->Parent()) voice->Parent()->RemoveChild(voice);
    if (sound) {
        sound->ReleaseVoice(voice);
    } else {
        delete voice;
    }
    voice = nullptr;
}

} // namespace

PlayerController::PlayerController(VehicleContext& context, InputDevice* input) : context_(context), input_(input) {
    rideWaterVoice = MakeVoice(context, "Ride_Water.wav");
    hitWaterVoice = MakeVoice(context, "Hit_Water.wav");
}

PlayerController::~PlayerController() {
    if (vehicle && vehicle->controller == this) vehicle->controller = nullptr;
    if (context_.localDriver == this) context_.localDriver = nullptr;
    std::erase(context_.watchedPlayerCars, &vehicle);
    ReleaseVoice(context_.engine.sound, rideWaterVoice);
    ReleaseVoice(context_.engine.sound, hitWaterVoice);
}

InputDevice* PlayerController::Input() const {
    return input_ ? input_ : context_.engine.input;
}

void PlayerController::AttachVehicle(Vehicle* car) {
    if (vehicle && vehicle->controller == this) vehicle->controller = nullptr;
    vehicle = car;
    if (car) car->controller = this;
}

void PlayerController::Update() {
    DrivingRules* rules = context_.rules;
    if (!rules || !rules->loaded || rules->inputLocked || !vehicle) return;
    InputDevice* input = Input();
    Vehicle& car = *vehicle;

    // The car's own velocity: forward is local -z, so driving forwards gives a negative z.
    const Vector3 v = car.GetLinearVelocity();
    const Matrix4 turn = car.GetOrientation().ToMatrix();
    const float vz = v.x * turn.m[2][0] + v.y * turn.m[2][1] + v.z * turn.m[2][2];

    // The frame's record, composed as the car takes single inputs: a later value replaces an
    // earlier one unless it is exactly 0.
    VehicleControls wanted;
    const auto want = [](float& field, float value) {
        if (value != 0.0f) field = value;
    };
    if (IsDrivingActionHeld(input, ActionAccelerate)) {
        const float value = DrivingActionValue(input, ActionAccelerate);
        if (vz >= 20.0f) {
            want(wanted.brake, value);
        } else {
            car.ShiftForward();
            want(wanted.throttle, value);
        }
    }
    if (IsDrivingActionHeld(input, ActionBrake)) {
        const float value = DrivingActionValue(input, ActionBrake);
        if (vz < -20.0f) {
            want(wanted.brake, value);
        } else {
            car.ShiftBackward();
            want(wanted.throttle, value);
        }
    }
    if (IsDrivingActionHeld(input, ActionSteerLeft)) want(wanted.steerInput, DrivingActionValue(input, ActionSteerLeft));
    if (IsDrivingActionHeld(input, ActionSteerRight)) want(wanted.steerInput, -DrivingActionValue(input, ActionSteerRight));
    if (IsDrivingActionHeld(input, ActionHandbrake)) want(wanted.handbrake, DrivingActionValue(input, ActionHandbrake));
    wanted.lookBack = IsDrivingActionHeld(input, ActionLookBack);
    car.ApplyControls(wanted);

    if (!car.items.specials.empty()) car.items.specials.front()->Trigger();
    if (car.items.weapon && car.damage.health != 0.0f) car.items.weapon->Trigger();

    if (WasDrivingActionPressed(input, ActionToggleSwitch)) car.ToggleHeadlights();
    if (rules->dropAllowed && WasDrivingActionPressed(input, ActionDropPassenger)) car.DropPassenger();
    if (rules->resetAllowed && WasDrivingActionPressed(input, ActionRespawn)) {
        if (car.damage.health != 0.0f) rules->OnVehicleDestroyed(&car, &car);
        car.Respawn(false);
    }
    if (!input) return;
    if (camera) {
        for (uint32_t k = 0; k < 12; ++k) {
            if (input->Pressed(FirstViewKey + k)) camera->SetCameraIndex(k);
        }
    }
    if (context_.client) {
        for (uint32_t k = 0; k < 9; ++k) {
            if (input->Pressed(FirstDigitKey + k)) rules->BroadcastTickerText(FirstTickerText + int32_t(k));
        }
    }
    if (input->Pressed(OverlayKey)) overlaysVisible = overlaysVisible ? 0 : 1;
}

void PlayerController::PostWorldUpdate(World* world, ChaseCamera* chase, float) {
    if (!vehicle || !world) return;
    Vehicle& car = *vehicle;

    OrientedBox carBox;
    carBox.transform = car.GetOrientation().ToMatrix();
    const Vector3 centre = car.GetPosition();
    carBox.transform.m[3][0] = centre.x;
    carBox.transform.m[3][1] = centre.y;
    carBox.transform.m[3][2] = centre.z;
    carBox.halfExtents = car.ChassisGeom() ? car.ChassisGeom()->GetHalfExtents() : Vector3();
    const Sphere carSphere{centre, carBox.halfExtents.Length()};
    OrientedBox cameraBox;
    if (chase) {
        cameraBox.transform.m[3][0] = chase->position.x;
        cameraBox.transform.m[3][1] = chase->position.y;
        cameraBox.transform.m[3][2] = chase->position.z;
    }
    cameraBox.halfExtents = Vector3(1.0f, 1.0f, 1.0f);

    const WaterVolume* before = car.effects.waterVolume;
    car.effects.waterVolume = nullptr;
    if (chase) chase->underwater = false;
    for (const WaterVolume& water : world->waterVolumes) {
        if (!water.sphere.Intersects(carSphere)) continue;
        if (water.box.Intersects(carBox)) {
            car.effects.waterVolume = &water;
            car.BurstBubbles(water);
        }
        if (chase && water.box.Intersects(cameraBox)) {
            chase->underwater = true;
            if (rideWaterVoice && !rideWaterVoice->IsPlaying()) rideWaterVoice->Play(true);
        }
    }
    if (!before && car.effects.waterVolume && hitWaterVoice) hitWaterVoice->Play(false);
    if ((!chase || !chase->underwater) && rideWaterVoice) rideWaterVoice->Stop();
}

void PlayerController::DrawHud() {
    hudAllowed_ = true;
    if (!vehicle) return;
    for (CarItem* item : vehicle->items.specials) {
        if (!item->DrawOverlay()) hudAllowed_ = false;
    }
    // The weapon's aiming aid goes over the picture.
    if (vehicle->items.weapon && !vehicle->items.weapon->DrawOverlay()) hudAllowed_ = false;
}
