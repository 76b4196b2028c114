#include "game/play/Game.h"

#include "engine/core/Debugger.h"
#include "engine/core/Engine.h"
#include "engine/render/RenderFacility.h"
#include "game/vehicles/CarCatalogue.h"
#include "game/vehicles/CarDefinition.h"
#include "game/vehicles/CarSelectController.h"
#include "game/vehicles/RespawnPoints.h"
#include "game/vehicles/Vehicle.h"
#include "game/vehicles/VehicleDriver.h"
#include "platform/sys/Random.h"

Game::Game(RenderFacility* renderer, InputDevice* input)
    : world(session, renderer),
      camera(&world.physics),
      vehicles(world, session),
      killPlane(vehicles),
      itemChannels(vehicles),
      renderer_(renderer),
      input_(input) {
    name = SharedString("Game");
    vehicles.chaseCamera = &camera;
    vehicles.rules = &mode;
    session.viewCamera = &camera;
    // Until the light sets exist: a plain daylight from high above.
    for (SceneLight& light : session.lights) {
        light.orientation = Quaternion(Vector3(1, 0, 0), -1.2f);
        light.intensity = 1.0f;
        for (int c = 0; c < 3; ++c) {
            light.ambient[c] = 0.35f;
            light.diffuse[c] = 0.65f;
        }
        light.ambient[3] = light.diffuse[3] = 1.0f;
    }
}

Game::~Game() {
    // The controllers and cars go before the world they live in.
    vehicles.pendingController.reset();
    controller_.reset();
    vehicles.controller = nullptr;
    vehicles.ownedVehicles.clear();
    if (world.boundary) world.boundary->killPlaneHandler = nullptr;
}

void Game::Load() {
    while (!world.LoadHeader()) {}
    while (!world.LoadShadowTexture()) {}
    while (!world.LoadStaticGeometry()) {}
    while (!world.LoadObjects()) {}
    while (!world.LoadRoutes()) {}
    while (!world.FinishLoading()) {}
    if (world.boundary) world.boundary->killPlaneHandler = &killPlane;
    CarDefinition::LoadAll();
    mode.loaded = 1;
    loaded_ = true;
}

void Game::Activate() {
    if (!started_ && loaded_) {
        started_ = true;
        CreateCarSelect();
    }
}

void Game::CreateCarSelect() {
    std::vector<const RespawnPoint*> points;
    GetRespawnPoints(world, session.zone + 1, 1, points);
    std::vector<std::unique_ptr<Vehicle>> cars;
    for (CarDefinition* definition : CarCatalogue::Instance().Entries()) {
        if (!definition->IsValid()) continue;
        std::unique_ptr<Vehicle> car = Vehicle::Create(vehicles, definition);
        if (!car) continue;
        car->flagWord |= Vehicle::PlayerCarFlag | Vehicle::NetworkCarFlag;
        car->impactDamage = 0;
        world.physics.AddObject(car.get());
        if (!points.empty()) {
            const size_t pick = size_t(plat::EngineRand()) % points.size();
            car->respawnPoint = points[pick];
            points.erase(points.begin() + ptrdiff_t(pick));
        }
        car->Respawn(false);
        world.Add(car.get());
        cars.push_back(std::move(car));
    }
    std::unique_ptr<CarSelectController> select = CarSelectController::Create(vehicles, std::move(cars), input_);
    if (!select) return;
    select->camera = &camera;
    select->Begin();
    vehicles.carSelect = 1;
    controller_ = std::move(select);
    vehicles.controller = controller_.get();
}

Vehicle* Game::PlayerCar() const { return vehicles.localDriver ? vehicles.localDriver->vehicle : nullptr; }

void Game::HandleInput() {
    if (controller_ && !mode.inputFreeze) controller_->Update();
}

void Game::Update() {
    ZKEngine* engine = ZKEngine::Get();
    Step(engine ? engine->frameTime : 0.0f);
}

void Game::Step(float dt) {
    if (!loaded_) return;
    // The engine may make the game current before its loading thread is done.
    if (!started_) Activate();
    if (controller_) controller_->PostWorldUpdate(&world, &camera, dt);
    if (vehicles.pendingController) {
        controller_ = std::move(vehicles.pendingController);
        vehicles.controller = controller_.get();
    }
    if (mode.startedRequest && !mode.started) mode.started = 1;
    if (mode.started) mode.Update(dt);
    world.Update(&camera, dt);
    if (!vehicles.carSelect) camera.Update(dt);
    world.BeginFrame(camera);
    world.Cull(camera);
}

void Game::Render() {
    if (!renderer_) return;
    renderer_->PushState(&camera);
    renderer_->Clear(kClearTarget | kClearDepth | kClearStencil);
    if (loaded_) {
        world.Draw(camera);
        if (controller_) controller_->Draw3D(&camera);
    }
    renderer_->PopState();
    if (controller_) controller_->DrawHud();
}
