#include "game/play/Game.h"

#include <algorithm>
#include <cstring>

#include "engine/audio/AudioDevice.h"
#include "engine/core/Debugger.h"
#include "engine/core/Engine.h"
#include "engine/core/InputDevice.h"
#include "engine/core/LanguageSet.h"
#include "engine/core/Memory.h"
#include "engine/core/StartUp.h"
#include "engine/net/ZKClient.h"
#include "engine/net/ZKServer.h"
#include "engine/render/D3D8LightManager.h"
#include "engine/render/RenderFacility.h"
#include "engine/render/SpriteRenderer.h"
#include "game/play/GameCommands.h"
#include "game/vehicles/CarCatalogue.h"
#include "game/vehicles/CarDefinition.h"
#include "game/play/MenuExits.h"
#include "game/world/Decals.h"
#include "game/world/LensFlare.h"
#include "game/world/ParticleSystem.h"

namespace {

InputDevice* EngineInput() {
    ZKEngine* engine = ZKEngine::Get();
    return engine ? engine->input : nullptr;
}

float FrameTime() {
    ZKEngine* engine = ZKEngine::Get();
    return engine ? engine->frameTime : 0.0f;
}

} // namespace

bool Game::BloodEnabled() {
    ZKEngine* engine = ZKEngine::Get();
    if (!engine) return true;
    // Looked up without asking for it: a language without the key simply has blood.
    LanguageTexts& texts = engine->languageKeys;
    std::lock_guard<Mutex> lock(texts.lock);
    auto it = texts.entries.find(666);
    return it == texts.entries.end() || !(it->second == "No blood");
}

Game::Game(RenderFacility* renderer, MenuExits* menuExits, FrontEndServices* frontEndServices)
    : world(session, renderer), exits(menuExits), services(frontEndServices), renderer_(renderer) {
    name = SharedString("Game");
    lensFlare = std::make_unique<LensFlare>(renderer);
    RegisterGameCommands(*this);
    loadSteps_ = {
        [this] { return world.LoadHeader(); },        [this] { return world.LoadShadowTexture(); },
        [this] { return world.LoadStaticGeometry(); }, [this] { return world.LoadObjects(); },
        [this] { return world.LoadRoutes(); },        [this] { return world.FinishLoading(); },
    };
    ParticleSystems::Create(renderer, Vector3(0.0f, World::Gravity, 0.0f), world.decals.get());
    MakeLights();
}

Game::~Game() {
    Reset(true);
    ParticleSystems::Destroy();
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
            to->ambientSource = Vector4(from.ambient[0], from.ambient[1], from.ambient[2], from.ambient[3]);
            to->diffuseSource = Vector4(from.diffuse[0], from.diffuse[1], from.diffuse[2], from.diffuse[3]);
            to->specularSource = Vector4(from.specular[0], from.specular[1], from.specular[2], from.specular[3]);
            to->intensity = from.intensity;
            to->colourDirty = 1;
            from.changed = 0;
        }
        if (from.rotationChanged) {
            to->SetOrientation(from.rotation);
            from.rotationChanged = 0;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Loading

void Game::Load() {
    if (!preloaded_) {
        // The item pools are filled here once the vehicles' items exist.
        preloaded_ = true;
    }
    if (loadIndex_ == loadSteps_.size()) {
        networkTick = 0.0f;
        // The world's object channel carries the game's own traffic in a network game.
        if (client) client->AddChannel(&world.objectChannel);
        if (server) server->AddChannel(&world.objectChannel);
        loaded = 1;
    } else if (loadSteps_[loadIndex_]()) {
        ++loadIndex_;
    }
    paused[0] = paused[1] = 0;
}

// ---------------------------------------------------------------------------------------------
// Reset and network

void Game::Reset(bool deleteObjects) {
    world.Reset();
    camera.position = Vector3(0, 0, 0);
    camera.positionDirty = 1;
    camera.orientation = Quaternion();
    camera.orientationDirty = 1;
    cameraIndex = 0;
    world.traffic = nullptr;
    world.pedestrians = nullptr;
    if (deleteObjects) mode.reset();
    DecalRing::Reset();
}

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
}

void Game::CreateCarSelect() {
    LogMemoryReport(SharedString("Before Create CarSelect"));
    carSelectFailed = false;
    const CarDefinition* car = CarCatalogue::Instance().At(chosenCar);
    if (!car) car = CarCatalogue::Instance().At(0);
    if (!car) {
        Debugger::Instance().Log(0, "No playercars available");
        carSelectFailed = true;
    }
    LogMemoryReport(SharedString("After Create CarSelect"));
}

bool Game::HasPlayerCar() const { return false; }

Vector3 Game::PlayerCarPosition() const { return Vector3(); }

void Game::TeleportPlayer(const Vector3& position) { (void)position; }

void Game::WriteSettings() {
    if (services) services->WriteSettings(SharedString("Misc\\Default.VQS"));
}

// ---------------------------------------------------------------------------------------------
// The frame

void Game::HandleInput() {
    if (mode && mode->inputFreeze) return;
    InputDevice* input = EngineInput();
    if (!input) return;
    if (input->Pressed(kPauseKey) && !paused[0] && !paused[1]) {
        if (exits) exits->PauseToMenu();
        return;
    }
    const float dt = FrameTime();
    if (lightSet.editorOn) {
        const float step = dt / 3.0f;
        if (input->Held(kLightYawLeft)) lightSet.TurnCurrent(-step, 0.0f);
        if (input->Held(kLightYawRight)) lightSet.TurnCurrent(step, 0.0f);
        if (input->Held(kLightPitchUp)) lightSet.TurnCurrent(0.0f, step);
        if (input->Held(kLightPitchDown)) lightSet.TurnCurrent(0.0f, -step);
    }
    ControlCameraKeys(dt);
}

void Game::ControlCameraKeys(float dt) {
    InputDevice* input = EngineInput();
    if (cameraIndex == kFreeCamera) {
        if (MouseState* mouse = input->GetMouseState()) {
            camera.orientation.RotateY(-mouse->x * 0.0175f);
            camera.orientation.PreRotateX(-mouse->y * 0.0175f);
            camera.orientationDirty = 1;
        }
        float speed = 75.0f * dt;
        if (input->Held(0x39)) speed *= 25.0f;
        Matrix4 axes = camera.orientation.ToMatrix();
        const Vector3 side(axes.m[0][0], axes.m[0][1], axes.m[0][2]);
        const Vector3 view(-axes.m[2][0], -axes.m[2][1], -axes.m[2][2]);
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
    if (input->Held(0x17) && input->Held(0x0E) && input->Held(0x0D) && !paused[0]) cameraIndex = kFreeCamera;
}

void Game::Update() {
    const float dt = FrameTime();
    if (client) client->Update(dt);
    networkTick += dt;
    if (networkTick > 0.05f) {
        world.objectChannel.Update(networkTick);
        networkTick = 0.0f;
    }
    if (mode && mode->started) mode->Update(dt);
    world.Update(&camera, dt);
    camera.Apply();
    if (world.objects) world.objects->BeginFrame(&camera);
    world.Cull(camera);
    if (world.staticGeometry) world.staticGeometry->BeginFrame(camera);
    ZKEngine* engine = ZKEngine::Get();
    if (volumeFade > 0.0f && engine && engine->currentMLP == this) {
        volumeFade = std::max(0.0f, volumeFade - dt * 0.5f);
        const float v = std::clamp(1.0f - volumeFade, 0.0f, 1.0f);
        for (int i = 0; i < 3; ++i)
            if (soundGroups[i]) soundGroups[i]->SetVolume(soundLevels[i] * v);
    }
    ApplyLights();
}

void Game::Render() {
    if (!renderer_) {
        if (mode) mode->DrawHud();
        return;
    }
    renderer_->Clear(kClearTarget | kClearDepth);
    renderer_->PushState(&camera);
    world.Draw(camera);
    if (mode) mode->Draw3D(camera);
    renderer_->PopState();
    if (lightSet.editorOn) {
        Vector3 forward(0.0f, 0.0f, 1.0f);
        lensFlare->sunDirection = lightSet.lights[lightSet.current].rotation.ToMatrix().TransformNormal(forward);
    } else {
        const SkyRecord& sky = world.skies[size_t(LightSet::ClampTimeOfDay(session.timeOfDay))];
        if (sky.hasFlarePoint) lensFlare->sunDirection = sky.flarePoint.Normalized();
    }
    lensFlare->Update(camera, world.physics, FrameTime());
    lensFlare->Draw(camera);
    if (mode) mode->DrawHud();
    DrawFade();
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
    ApplyLights();
}

void Game::Deactivate() {
    if (exits) exits->ApplyMenuVideoMode();
}
