#include "game/vehicles/CarSelectController.h"

#include "engine/audio/AudioDevice.h"
#include "engine/core/Debugger.h"
#include "engine/core/EngineServices.h"
#include "engine/core/InputDevice.h"
#include "engine/core/Memory.h"
#include "engine/render/EnvironmentCube.h"
#include "engine/render/Font.h"
#include "engine/render/RenderFacility.h"
#include "engine/render/SpriteRenderer.h"
#include "game/vehicles/ChaseCamera.h"
#include "game/vehicles/DrivingActions.h"
#include "game/vehicles/DrivingRules.h"
#include "game/vehicles/PlayerController.h"
#include "game/vehicles/RespawnPoints.h"
#include "game/vehicles/Vehicle.h"
#include "game/vehicles/VehicleContext.h"
#include "game/world/World.h"

std::unique_ptr<CarSelectController> CarSelectController::Create(VehicleContext& context,
                                                                 std::vector<std::unique_ptr<Vehicle>> cars,
                                                                 InputDevice* input) {
    std::erase(cars, nullptr);
    if (cars.empty()) {
        Debugger::Instance().Log(1, "No playercars available");
        return nullptr;
    }
    return std::unique_ptr<CarSelectController>(new CarSelectController(context, std::move(cars), input));
}

CarSelectController::CarSelectController(VehicleContext& context, std::vector<std::unique_ptr<Vehicle>> cars,
                                         InputDevice* input)
    : camera(context.chaseCamera), context_(context), cars_(std::move(cars)), input_(input) {}

// A car leaves the world and every list that names it when it is destroyed.
CarSelectController::~CarSelectController() = default;

InputDevice* CarSelectController::Input() const {
    return input_ ? input_ : context_.engine.input;
}

Vehicle* CarSelectController::Current() const {
    return index >= 0 && index < Count() ? cars_[size_t(index)].get() : nullptr;
}

void CarSelectController::Begin() {
    if (camera) camera->SetTarget(Current());
    selectTimer = -0.25f;
    finishPending = 0;
    confirmed = 0;
}

void CarSelectController::Update() {
    if (finished_) return;
    if (camera) camera->SetTarget(Current());
    InputDevice* input = Input();
    if (!input) return;
    if (Count() >= 2 && !confirmed) {
        if (input->Repeat(LeftKey, RepeatDelay, RepeatDelay)) index = index == 0 ? Count() - 1 : index - 1;
        if (input->Repeat(RightKey, RepeatDelay, RepeatDelay)) index = (index + 1) % Count();
    }
    if (IsConfirmPressed(input)) confirmed = 1;
}

void CarSelectController::PostWorldUpdate(World* world, ChaseCamera* chase, float dt) {
    if (finished_) return;
    if (chase) chase->Update(dt);
    if (cubePending) {
        // The shown car reflects the city around it once it stands in its place.
        if (Vehicle* shown = Current(); shown && world && chase)
            EnvironmentCube::RenderWorld(*world, shown->GetPosition(), *chase, context_.session.environmentOption);
        cubePending = 0;
    }
    if (confirmed) {
        if (waitForHost == 0) {
            // The game's sounds were silent while choosing.
            if (context_.soundGroups && context_.soundLevels)
                for (int i = 0; i < 3; ++i)
                    if (VolumeGroup* group = context_.soundGroups[i]) group->SetVolume(context_.soundLevels[i]);
            Finish();
        } else {
            finishPending = 1;
        }
    }
}

void CarSelectController::DrawHud() {
    if (waitForHost || finished_) return;
    const EngineServices& engine = context_.engine;
    if (!engine.renderer) return;
    SpriteRenderer* sprites = engine.renderer->GetSpriteRenderer();
    if (!sprites) return;
    const Font* font = engine.defaultFont;
    const auto centred = [&](int32_t key, float y) {
        const SharedString text = engine.Text(key);
        const float width = font ? float(font->GetTextWidth(text)) : 0.0f;
        sprites->DrawText(text, Vector2{-0.5f * width, y}, 20, nullptr, font, false);
    };
    if (Count() == 1) {
        centred(OneCarText, -50.0f);
    } else {
        centred(TitleText, -50.0f);
        centred(ChooseText, -124.0f);
    }
}

void CarSelectController::Finish() {
    if (finished_ || !Current()) return;
    finished_ = true;
    LogMemoryReport(SharedString("In CarSelect"));

    std::unique_ptr<Vehicle> chosen = std::move(cars_[size_t(index)]);
    cars_.clear();

    auto player = std::make_unique<PlayerController>(context_, input_);
    player->camera = camera;
    player->AttachVehicle(chosen.get());
    Vehicle* car = chosen.get();
    context_.vehicles.push_back(car);
    context_.ownedVehicles.push_back(std::move(chosen));
    context_.watchedPlayerCars.push_back(&player->vehicle);
    GetRespawnPoints(context_.world, context_.session.zone + 1, 1, car->respawn.ownRespawnPoints);
    if (context_.rules) context_.rules->startedRequest = 1;
    context_.carSelect = 0;
    context_.localDriver = player.get();
    context_.pendingController = std::move(player);
    LogMemoryReport(SharedString("FINISH"));
    if (context_.session.mission == 7) car->cab.singlePassenger = 3;
    if (context_.rules) context_.rules->OnCarSelected();
}
