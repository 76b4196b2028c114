#include "game/play/Game.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/audio/AudioDevice.h"
#include "engine/core/Debugger.h"
#include "engine/core/EngineServices.h"
#include "engine/core/MLPStack.h"
#include "engine/core/InputDevice.h"
#include "engine/core/LanguageSet.h"
#include "engine/core/Memory.h"
#include "engine/core/StartUp.h"
#include "engine/net/ZKClient.h"
#include "game/vehicles/Gunfire.h"
#include "game/vehicles/Weapons.h"
#include "engine/net/ZKServer.h"
#include "engine/render/D3D8LightManager.h"
#include "engine/render/EnvironmentCube.h"
#include "engine/render/Font.h"
#include "engine/render/RenderFacility.h"
#include "engine/render/SpriteRenderer.h"
#include "game/play/CarCameraEditor.h"
#include "game/play/GameCommands.h"
#include "game/traffic/PedestrianManager.h"
#include "game/vehicles/CarCatalogue.h"
#include "game/vehicles/CarDefinition.h"
#include "game/vehicles/CarSelectController.h"
#include "game/vehicles/Explosion.h"
#include "game/vehicles/Projectiles.h"
#include "game/vehicles/RespawnPoints.h"
#include "game/vehicles/Specials.h"
#include "game/vehicles/Vehicle.h"
#include "game/vehicles/VehicleDriver.h"
#include "platform/sys/Random.h"
#include "game/play/MenuExits.h"
#include "game/world/Decals.h"
#include "game/world/FlareFile.h"
#include "game/world/LensFlare.h"
#include "game/world/ParticleSystem.h"

bool Game::BloodEnabled() const {
    if (!engine.language || !engine.language->Texts()) return true;
    // Looked up without asking for it: a language without the key simply has blood.
    LanguageTexts& texts = *engine.language->Texts();
    std::lock_guard<Mutex> lock(texts.lock);
    auto it = texts.entries.find(666);
    return it == texts.entries.end() || !(it->second == "No blood");
}

bool Game::AnyButtonPressed() const {
    InputDevice* input = engine.input;
    if (!input) return false;
    for (uint32_t j = 0; j < input->GetJoystickCount(); ++j)
        for (uint32_t b = 0; b < DInputDevice::kJoystickButtons; ++b)
            if (input->JoystickPressed(j, b)) return true;
    return input->Pressed(kKeyPadEnter) || input->Pressed(kKeyReturn) || input->Pressed(kKeySpace);
}

Game::Game(const EngineServices& engine_, MenuExits* menuExits, FrontEndServices* frontEndServices)
    : engine(engine_),
      world(session, engine_),
      camera(engine_, &world.physics),
      vehicles(world, session),
      launchers(vehicles),
      killPlane(vehicles),
      itemChannels(vehicles),
      exits(menuExits),
      services(frontEndServices),
      renderer_(engine_.renderer) {
    name = SharedString("Game");
    vehicles.chaseCamera = &camera;
    vehicles.launchers = &launchers;
    // The car select gives the in-game groups their levels back when the car is chosen.
    vehicles.soundGroups = soundGroups;
    vehicles.soundLevels = soundLevels;
    session.viewCamera = &camera;
    session.bloodEnabled = BloodEnabled() ? 1 : 0;
    // The kill plane's handler acts on the falls it noted once each step is over.
    world.physics.AddObject(&killPlane);
    lensFlare = std::make_unique<LensFlare>(renderer_);
    RegisterGameCommands(*this);
    InstallWeaponFactories(vehicles);
    InstallSpecialFactories(vehicles);
    RegisterWeaponHandlers(vehicles, itemChannels);
    loadSteps_ = {
        [this] { return world.LoadHeader(); },        [this] { return world.LoadShadowTexture(); },
        [this] { return world.LoadStaticGeometry(); }, [this] { return world.LoadObjects(); },
        [this] { return world.LoadRoutes(); },        [this] {
            if (!world.FinishLoading()) return false;
            cameraEditor.records = world.cameraRecords;
            cameraEditor.current = -1;
            return true;
        },
    };
    ParticleSystems::Create(renderer_, Vector3(0.0f, World::Gravity, 0.0f), world.decals.get());
    MakeLights();
    MakeFonts();
}

Game::~Game() {
    // A session still open ends with the game that owns it.
    CloseNetwork();
    Reset(true);
    if (world.boundary) world.boundary->killPlaneHandler = nullptr;
    world.physics.RemoveObject(&killPlane);
    ParticleSystems::Destroy();
}

namespace {
constexpr int32_t kFontHeights[12] = {8, 9, 10, 11, 12, 13, 14, 15, 20, 25, 30, 50};
}

void Game::MakeFonts() {
    if (!renderer_) return;
    const SharedString arial("Arial");
    for (size_t i = 0; i < 12; ++i)
        fonts_[i].reset(Font::Create(renderer_->GetTextureManager(), kFontAll, arial, kFontHeights[i], false, false));
}

const Font* Game::HudFont(int32_t height) const {
    size_t best = 0;
    for (size_t i = 1; i < 12; ++i)
        if (std::abs(kFontHeights[i] - height) < std::abs(kFontHeights[best] - height)) best = i;
    return fonts_[best].get();
}

void Game::MakeLights() {
    LightManager* manager = renderer_ ? renderer_->GetLightManager() : nullptr;
    if (!manager) return;
    for (D3D8DirectionalLight*& l : lights_) {
        l = manager->CreateDirectionalLight();
        if (l) l->Enable();
    }
    ApplyLights();
}

void Game::ApplyLights() {
    for (int32_t i = 0; i < LightSet::kLightCount; ++i) {
        GameLight& from = lightSet.lights[i];
        D3D8DirectionalLight* to = lights_[i];
        if (!to) continue;
        if (from.changed) {
            to->ambientSource = Vector4{from.ambient[0], from.ambient[1], from.ambient[2], from.ambient[3]};
            to->diffuseSource = Vector4{from.diffuse[0], from.diffuse[1], from.diffuse[2], from.diffuse[3]};
            to->specularSource = Vector4{from.specular[0], from.specular[1], from.specular[2], from.specular[3]};
            to->intensity = from.intensity;
            to->colourDirty = 1;
            from.changed = 0;
        }
        if (from.rotationChanged) {
            to->SetOrientation(LightSet::RendererOrientation(from.rotation));
            from.rotationChanged = 0;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Loading

void Game::Load() {
    if (!preloaded_) {
        preloaded_ = true;
        PreloadItems();
    }
    if (loadIndex_ == loadSteps_.size()) {
        if (world.boundary) world.boundary->killPlaneHandler = &killPlane;
        networkTick = 0.0f;
        // The world's object channel carries the game's own traffic in a network game.
        if (client) client->AddChannel(&world.objectChannel);
        if (server) server->AddChannel(&world.objectChannel);
        // So do the car items' events: every client hears them, the host sends each back out.
        for (uint8_t id = FirstItemChannel; id < FirstItemChannel + ItemChannelCount; ++id) {
            if (client) client->AddChannel(&itemChannels.Receiver(id));
            if (server) server->AddChannel(&itemChannels.Relay(id));
        }
        loaded = 1;
    } else if (loadSteps_[loadIndex_]()) {
        ++loadIndex_;
    }
    paused[0] = paused[1] = 0;
}

void Game::PreloadItems() {
    // Every pooled kind's resources are loaded before play: one item of each is made (or taken)
    // and put back. The cannon is left to its first use. Kinds whose items do not exist yet have
    // no factory and make nothing.
    static const ItemKind kOrder[] = {ItemKind::Boost,          ItemKind::Rock,           ItemKind::Jump,
                                      ItemKind::Slow,           ItemKind::GrenadeThrower, ItemKind::RocketLauncher,
                                      ItemKind::MissileLauncher, ItemKind::Flamer,        ItemKind::ChainGun};
    for (ItemKind kind : kOrder) {
        ItemPool& pool = vehicles.itemPools[kind];
        if (CarItem* item = pool.Take()) pool.Return(item);
    }
    // The sirens belong to their cars: one is made and destroyed for its lights' resources.
    delete new CopSirenSpecial(vehicles);
}

// ---------------------------------------------------------------------------------------------
// Reset and network

void Game::Reset(bool deleteObjects) {
    world.Reset();
    camera.Reset();
    // The crowd leaves the streets; a game started again without a new set-up keeps it.
    if (pedestrians) pedestrians->Reset();
    if (deleteObjects) SetPedestrians(nullptr);
    vehicles.pendingController.reset();
    controller.reset();
    vehicles.controller = nullptr;
    vehicles.localDriver = nullptr;
    vehicles.carSelect = 0;
    if (deleteObjects) SetMode(nullptr);
    // The parked cars go; a game started again without a new set-up keeps its traffic.
    if (traffic) traffic->Reset();
    if (deleteObjects) traffic.reset();
    world.traffic = traffic.get();
    // No shot outlives the game it was fired in.
    if (vehicles.guns) vehicles.guns->ReleaseAll();
    DecalRing::Reset();
    // No projectile or explosion outlives a reset.
    ProjectileKinds::ReleaseAll(vehicles);
    Explosion::ReleaseAll(vehicles);
    RemoveCars();
    // The cars left the object channel as they went; the next game numbers its objects from 0
    // again, as every other machine does.
    world.objectChannel.Clear();
}

void Game::RemoveCars() {
    for (std::unique_ptr<Vehicle>& car : vehicles.ownedVehicles) {
        if (!car) continue;
        world.Remove(car.get());
        if (car->InPhysics()) world.physics.RemoveObject(car.get());
    }
    vehicles.ownedVehicles.clear();
    vehicles.vehicles.clear();
}

void Game::SetMode(std::unique_ptr<GameMode> newMode) {
    vehicles.rules = newMode.get();
    trafficFleet.events = newMode.get();
    if (pedestrians) pedestrians->SetEvents(newMode.get());
    mode = std::move(newMode);
}

void Game::SetPedestrians(std::unique_ptr<PedestrianManager> crowd) {
    world.pedestrians = nullptr;
    pedestrians = std::move(crowd);
    if (!pedestrians) return;
    pedestrians->SetEvents(mode.get());
    world.pedestrians = pedestrians.get();
}

Vehicle* Game::PlayerCar() const { return vehicles.localDriver ? vehicles.localDriver->vehicle : nullptr; }

void Game::CloseNetwork() {
    if (server) {
        // The multiplayer modes' end of game: channel 117, type 0xFFFF.
        const uint8_t message[8] = {117, 0, 0, 0, 0xFF, 0xFF, 0, 0};
        server->SendTo(message, sizeof message, -1, 0.0f, false, true, true);
    }
    if (client) {
        client->Disconnect();
        delete client;
        client = nullptr;
    }
    delete server;
    server = nullptr;
    vehicles.client = nullptr;
    vehicles.server = nullptr;
}

void Game::CreateCarSelect() {
    LogMemoryReport(SharedString("Before Create CarSelect"));
    carSelectFailed = false;
    // The one candidate is the car chosen on the single-player page.
    std::vector<const RespawnPoint*> points;
    GetRespawnPoints(world, session.zone + 1, 1, points);
    std::vector<std::unique_ptr<Vehicle>> cars;
    CarDefinition* definition = CarCatalogue::Instance().At(chosenCar);
    if (!definition) definition = CarCatalogue::Instance().At(0);
    if (std::unique_ptr<Vehicle> car = mode ? mode->CreatePlayerVehicle(definition) : nullptr) {
        car->network.flagWord |= VehicleNetwork::PlayerCarFlag | VehicleNetwork::NetworkCarFlag;
        car->damage.impactDamage = 0;
        car->network.playerName = playerName;
        world.physics.AddObject(car.get());
        if (!points.empty()) {
            const size_t pick = size_t(plat::EngineRand()) % points.size();
            car->respawn.respawnPoint = points[pick];
            points.erase(points.begin() + ptrdiff_t(pick));
        }
        car->Respawn(false);
        world.Add(car.get());
        cars.push_back(std::move(car));
    }
    std::unique_ptr<CarSelectController> select =
        cars.empty() ? nullptr : CarSelectController::Create(vehicles, std::move(cars));
    if (!select) {
        Debugger::Instance().Log(0, "No playercars available");
        carSelectFailed = true;
    } else {
        select->camera = &camera;
        select->cubePending = 1;
        select->Begin();
        vehicles.carSelect = 1;
        controller = std::move(select);
        vehicles.controller = controller.get();
        // The pause key waits until the player has a car.
        paused[0] = 0;
        paused[1] = 1;
    }
    LogMemoryReport(SharedString("After Create CarSelect"));
}

Vector3 Game::PlayerCarPosition() const {
    const Vehicle* car = PlayerCar();
    return car ? car->GetPosition() : Vector3();
}

void Game::TeleportPlayer(const Vector3& position) {
    if (Vehicle* car = PlayerCar()) car->SetPosition(position);
}

void Game::WriteSettings() {
    if (services) services->WriteSettings(SharedString("Misc\\Default.VQS"));
}

// ---------------------------------------------------------------------------------------------
// The frame

void Game::HandleInput() {
    if (mode && mode->inputFreeze) return;
    if (controller) controller->Update();
    InputDevice* input = engine.input;
    if (!input) return;
    if (input->Pressed(kPauseKey) && !paused[0] && !paused[1]) {
        if (exits) exits->PauseToMenu();
        return;
    }
    const float dt = engine.FrameTime();
    if (lightSet.editorOn) {
        const float step = dt / 3.0f;
        if (input->Held(kLightYawLeft)) lightSet.TurnCurrent(-step, 0.0f);
        if (input->Held(kLightYawRight)) lightSet.TurnCurrent(step, 0.0f);
        if (input->Held(kLightPitchUp)) lightSet.TurnCurrent(0.0f, step);
        if (input->Held(kLightPitchDown)) lightSet.TurnCurrent(0.0f, -step);
    }
    if (cameraEditor.on && camera.CameraIndex() == kFreeCamera) cameraEditor.Control(*input, camera);
    ControlCarCameraAndFlare(dt);
    ControlCameraKeys(dt);
}

void Game::ControlCameraKeys(float dt) {
    InputDevice* input = engine.input;
    if (camera.CameraIndex() == kFreeCamera) {
        if (MouseState* mouse = input->GetMouseState()) {
            // Yaw about the world's vertical, pitch about the camera's own side axis: no roll
            // builds up however the mouse goes.
            camera.orientation.PreRotateY(-mouse->x * 0.0175f);
            camera.orientation.RotateX(-mouse->y * 0.0175f);
            camera.orientationDirty = 1;
        }
        float speed = 75.0f * dt;
        if (input->Held(0x39)) speed *= 25.0f;
        const Vector3 side = CameraRight(camera);
        const Vector3 view = CameraForward(camera);
        Vector3 move;
        if (input->Held(0x16)) move = move + view * speed;
        if (input->Held(0x12)) move = move - view * speed;
        if (input->Held(0)) move = move - side * speed;
        if (input->Held(3)) move = move + side * speed;
        if (input->Held(0x4B)) move.y += speed;
        if (input->Held(0x4A)) move.y -= speed;
        if (move.x != 0.0f || move.y != 0.0f || move.z != 0.0f) {
            camera.position = camera.position + move;
            camera.positionDirty = 1;
        }
    }
    float fovChange = 0.0f;
    if (input->Held(kFovDownKey)) fovChange -= dt * 0.5f;
    if (input->Held(kFovUpKey)) fovChange += dt * 0.5f;
    if (fovChange != 0.0f) {
        camera.AddFov(fovChange);
        Debugger::Instance().Message("FOV = %.2f", camera.fov * 180.0f / 3.14159265f);
    }
    if (input->Held(0x17) && input->Held(0x0E) && input->Held(0x0D) && !paused[0]) camera.SetCameraIndex(kFreeCamera);
}

void Game::Update() {
    const float dt = engine.FrameTime();
    if (client) client->Update(dt);
    networkTick += dt;
    vehicles.grenadeSoundCooldown = std::max(-1.0f, vehicles.grenadeSoundCooldown - dt);
    vehicles.rocketSoundCooldown = std::max(-1.0f, vehicles.rocketSoundCooldown - dt);
    if (networkTick > 0.05f) {
        world.objectChannel.Update(networkTick);
        networkTick = 0.0f;
    }
    if (controller) controller->PostWorldUpdate(&world, &camera, dt);
    if (vehicles.pendingController) {
        // The car select handed over to the player's own controller: the game is on.
        controller = std::move(vehicles.pendingController);
        vehicles.controller = controller.get();
        vehicles.carSelect = 0;
        paused[1] = 0;
    }
    if (mode && mode->startedRequest && !mode->started) mode->started = 1;
    if (mode && mode->started) {
        if (traffic) traffic->Update();
        if (pedestrians) pedestrians->Update();
        mode->Update(dt);
    }
    world.Update(&camera, dt);
    if (!vehicles.carSelect) camera.Update(dt);
    camera.Apply();
    // The player's car reflects the city around it: every frame with the environment option
    // on, else during the game's first second; only for a car whose models show the cube, and
    // while the view shows the car.
    Vehicle* player = PlayerCar();
    const int32_t option = session.environmentOption;
    if (player && player->definition && player->definition->environmentMap && camera.viewCar &&
        (option != 0 || timeCurrent < 1.0f))
        EnvironmentCube::RenderWorld(world, player->GetPosition(), camera, option);
    ReadHud();
    world.BeginFrame(camera);
    world.Cull(camera);
    if (volumeFade > 0.0f && engine.states && engine.states->CurrentMLP() == this) {
        volumeFade = std::max(0.0f, volumeFade - dt * 0.5f);
        const float v = std::clamp(1.0f - volumeFade, 0.0f, 1.0f);
        for (int i = 0; i < 3; ++i)
            if (soundGroups[i]) soundGroups[i]->SetVolume(soundLevels[i] * v);
    }
    ApplyLights();
}

void Game::ReadHud() {
    const Vehicle* car = PlayerCar();
    hud.hasCar = car != nullptr;
    if (!car) return;
    hud.health = car->damage.GetHealth();
    hud.maxHealth = VehicleDamage::MaxHealth;
    hud.speed = car->GetLinearVelocity().Length();
    hud.revolutions = car->drive.revs;
    hud.position = car->GetPosition();
    const Matrix4 axes = car->GetOrientation().ToMatrix();
    hud.heading = std::atan2(-axes.m[2][0], -axes.m[2][2]);
}

void Game::Render() {
    const bool overlays = controller && controller->ShowsModeOverlays();
    if (renderer_) {
        renderer_->Clear(kClearTarget | kClearDepth | kClearStencil);
        renderer_->PushState(&camera);
        world.Draw(camera);
        if (controller) controller->Draw3D(&camera);
        if (mode && overlays) mode->Draw3D(camera);
        renderer_->PopState();
    }
    if (!renderer_) {
        if (mode && controller && controller->ShowsModeHud()) mode->DrawHud();
        return;
    }
    // The flare stands where the edited light is, else at the sky's flare point; a sky without
    // one shows no flare.
    bool flare = true;
    if (lightSet.editorOn) {
        lensFlare->sunDirection = LightSet::TowardLight(lightSet.lights[lightSet.current].rotation);
    } else {
        const SkyRecord& sky = world.skies[size_t(LightSet::ClampTimeOfDay(session.timeOfDay))];
        flare = sky.hasFlarePoint;
        if (flare) lensFlare->sunDirection = sky.flarePoint.Normalized();
    }
    if (flare) {
        lensFlare->Update(camera, world.physics, engine.FrameTime());
        lensFlare->Draw(camera);
    }
    if (controller) controller->DrawHud();
    if (mode && controller && controller->ShowsModeHud()) mode->DrawHud();
    DrawCameraEditor();
    DrawFade();
}

// Top left, as the HUD anchors its texts.
constexpr int32_t kEditorTextAnchor = 0x09;

void Game::DrawCameraEditor() {
    if (!cameraEditor.on || !renderer_) return;
    SpriteRenderer* sprites = renderer_->GetSpriteRenderer();
    if (!sprites) return;
    CameraEditorLines(cameraEditor, editorLines_);
    float y = 40.0f;
    for (const SharedString& line : editorLines_) {
        sprites->DrawText(line, Vector2{10.0f, y}, kEditorTextAnchor, nullptr, nullptr, false);
        y += 20.0f;
    }
}

void Game::ControlCarCameraAndFlare(float dt) {
    InputDevice* input = engine.input;
    const uint32_t view = camera.CameraIndex();
    const bool shared = view == ChaseCamera::DefaultView || view == ChaseCamera::WorldView;
    if (shared || carCameraEditorOn) {
        if (CarCamera* edited = car_camera_editor::EditedCamera(camera))
            car_camera_editor::Control(*edited, shared, input->GetMouseState(), *input, dt);
    }
    if (flareEditorOn)
        car_camera_editor::TurnFlarePoint(world.skies[size_t(LightSet::ClampTimeOfDay(session.timeOfDay))], *input, dt);
}

bool Game::SaveFollowedCarCameras() {
    if (!car_camera_editor::FollowedCarCamera(camera)) {
        Debugger::Instance().Message("No car camera to save: the camera follows no car on views 0 to 9");
        return false;
    }
    // The catalogue's definition: the one the editor changes.
    const CarDefinition& kind = *CarCatalogue::Instance().FindByName(camera.Target()->Definition().name);
    if (::SaveCarCameras(kind.name, kind.cameras)) {
        Debugger::Instance().Message("Saved the ten cameras of %s", kind.name.c_str());
        return true;
    }
    Debugger::Instance().Message("Could not save the cameras of %s", kind.name.c_str());
    return false;
}

bool Game::SaveFlarePoint() {
    const int32_t timeOfDay = LightSet::ClampTimeOfDay(session.timeOfDay);
    return ::SaveFlarePoint(timeOfDay, world.skies[size_t(timeOfDay)].flarePoint);
}

void Game::MakePlayersUntouchable() {
    for (Vehicle* car : vehicles.vehicles) {
        const uint32_t flags = car->network.flagWord;
        if ((flags & VehicleNetwork::PlayerCarFlag) && !(flags & VehicleNetwork::CollisionFlagBit)) car->SetCollisionFlag(true);
    }
}

bool Game::SetStepRate(int32_t stepsPerSecond) {
    if (stepsPerSecond <= 0) {
        Debugger::Instance().Message("Step size %d refused: the physics rate stays %.0f per second", stepsPerSecond,
                                     double(session.physicsRate));
        return false;
    }
    session.physicsRate = float(stepsPerSecond);
    return true;
}

void Game::DrawFade() {
    if (volumeFade <= 0.0f || !renderer_) return;
    SpriteRenderer* sprites = renderer_->GetSpriteRenderer();
    if (!sprites) return;
    Color black;
    black.Set(0, 0, 0, uint8_t(std::min(volumeFade, 1.0f) * 255.0f));
    sprites->FillRect(nullptr, black);
}

void Game::Activate() {
    if (exits) exits->ApplyGameVideoMode();
    if (volumeFade == 0.0f) volumeFade = 0.01f;
    lightSet.Enter(session.timeOfDay);
    lightSet.ToSceneLights(session.lights);
    ApplyLights();
}

void Game::Deactivate() {
    if (exits) exits->ApplyMenuVideoMode();
}
