#pragma once
// The in-game state: one MLP for the program's life, reused by every game after a reset. It owns
// the world and the session values, the camera, the lights and lens flare, the network client
// and server of a network game, the game mode and the developer commands and editors.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/core/EngineServices.h"
#include "engine/core/MLP.h"
#include "game/play/CameraEditor.h"
#include "game/play/CareerProgress.h"
#include "game/play/GameMode.h"
#include "game/play/LightSet.h"
#include "game/vehicles/ChaseCamera.h"
#include "game/vehicles/ItemEvents.h"
#include "game/traffic/TrafficManager.h"
#include "game/vehicles/Projectiles.h"
#include "game/vehicles/VehicleContext.h"
#include "game/vehicles/VehicleKillPlane.h"
#include "game/world/GameSession.h"
#include "game/world/World.h"

class CarSelectController;
class D3D8DirectionalLight;
class Font;
class FrontEndServices;
class LensFlare;
class MenuExits;
class PedestrianManager;
class RenderFacility;
class VolumeGroup;
class ZKClient;
class ZKServer;

class Game : public MLP {
public:
    // The camera index of the free camera.
    static constexpr uint32_t kFreeCamera = ChaseCamera::FreeView;
    // Keys the game reads itself (engine key codes).
    static constexpr uint32_t kPauseKey = 0x30;
    static constexpr uint32_t kFovDownKey = 0x58, kFovUpKey = 0x57;
    static constexpr uint32_t kLightYawLeft = 0x4E, kLightYawRight = 0x50;
    static constexpr uint32_t kLightPitchUp = 0x52, kLightPitchDown = 0x4C;
    static constexpr float kVolumeFadeStart = 1.5f;

    // The engine's services outlive the game; without a renderer (tools, tests) nothing is made
    // on a device. exits and services may be null: no menus, no settings.
    Game(const EngineServices& engine, MenuExits* exits, FrontEndServices* services);
    Game(const EngineServices&& engine, MenuExits* exits, FrontEndServices* services) = delete;
    ~Game() override;

    void HandleInput() override;
    void Update() override;
    void Render() override;
    void Activate() override;
    void Deactivate() override;
    // One loading step (the set-up calls it once a frame until the game is ready).
    void Load() override;
    bool IsReady() override { return loaded != 0; }

    // Back to the start of a game; with deleteObjects the mode and the crowd go too.
    void Reset(bool deleteObjects);
    // Ends a network game: the host tells every client, then client and server are closed.
    void CloseNetwork();
    // The settings on disk, after a won mission ("Misc\Default.VQS").
    void WriteSettings();
    // Builds the in-game car select with the chosen car; sets carSelectFailed when there is
    // no car to offer.
    void CreateCarSelect();
    // Makes the mode the game's (the cars read its rules and the crowd reports to it); null
    // removes it.
    void SetMode(std::unique_ptr<GameMode> newMode);
    // Makes the game's crowd on the world's pavements, reporting to the mode; null removes it.
    void SetPedestrians(std::unique_ptr<PedestrianManager> crowd);
    // The car the local player drives; null while choosing or without a game.
    Vehicle* PlayerCar() const;
    bool HasPlayerCar() const { return PlayerCar() != nullptr; }
    Vector3 PlayerCarPosition() const;
    // Puts the player's car at the position (the developer teleport); nothing without a car.
    void TeleportPlayer(const Vector3& position);

    // The number of loading steps and how many have run (the preload counts as part of step 1).
    size_t LoadStepCount() const { return loadSteps_.size(); }
    size_t LoadStepIndex() const { return loadIndex_; }

    // Writes the camera editor's shots to "CamOut.pcd"; false (and a console line) on failure.
    bool DumpCameras() const { return cameraEditor.Dump(SharedString(CameraEditor::kDumpFile)); }
    // Sets the physics sub-step rate; a rate of 0 or less is refused with a console line.
    bool SetStepRate(int32_t stepsPerSecond);
    // The followed car kind's ten camera files; false (and a console line) without a followed
    // car on views 0..9 or when a file cannot be written.
    bool SaveFollowedCarCameras();
    // The current sky's flare point file; false (and a console line) when it cannot be written.
    bool SaveFlarePoint();
    // Sets the collision flag of every player's car that has it clear: nothing can touch them.
    void MakePlayersUntouchable();

    // The game's "Arial" font nearest the height (8 .. 50, all character sets); null without a
    // renderer.
    const Font* HudFont(int32_t height) const;

    // True unless language text 666 reads "No blood".
    bool BloodEnabled() const;
    // A score screen goes on: any joystick button, keypad Enter, Return or Space pressed this frame.
    bool AnyButtonPressed() const;

    // The engine's services, for the game and everything it makes.
    const EngineServices& engine;
    GameSession session;
    World world;
    LightSet lightSet;
    // The cut-scene camera editor; it takes the world's shots once the world is loaded.
    CameraEditor cameraEditor;
    // The car-camera and lens-flare editor switches (the commands set them; nothing clears them).
    uint8_t carCameraEditorOn = 0;
    uint8_t flareEditorOn = 0;
    ChaseCamera camera;
    // The cars of the game and what they share (the camera, the controller, the item pools and
    // the mode's rules).
    VehicleContext vehicles;
    // What the cars' launchers release grenades, missiles and rockets through.
    ContextProjectileLaunchers launchers;
    VehicleKillPlane killPlane;
    ItemEventChannels itemChannels;
    std::unique_ptr<LensFlare> lensFlare;
    std::unique_ptr<GameMode> mode;
    // The traffic cars of every game of this program run: made by the first manager, reused by
    // every later one.
    TrafficFleet trafficFleet;
    // The traffic of the kinds that have it (the set-up makes it); kept by a reset of the game,
    // deleted only with the mode. The world draws it through `World::traffic`.
    std::unique_ptr<TrafficManager> traffic;
    // The crowd of the kinds that have one (the set-up makes it); kept by a reset of the game,
    // deleted only with the mode. The world draws it through `World::pedestrians`.
    std::unique_ptr<PedestrianManager> pedestrians;
    // The current controller: the car select while choosing, then the player's.
    std::unique_ptr<VehicleController> controller;
    ZKClient* client = nullptr;
    ZKServer* server = nullptr;
    // While either is set the pause key and the free-camera keys do nothing.
    uint8_t paused[2] = {0, 0};
    float networkTick = 0.0f;
    int32_t pedestrianZone = 0;
    // 1.5 at the hand-over, falling to 0 while the game is current; the picture is covered and
    // the in-game sounds rise meanwhile.
    float volumeFade = 0.0f;
    uint8_t loaded = 0;
    // The career the front end reads from and writes to the settings.
    CareerProgress career;
    // The settings' player name, given to the player's car.
    SharedString playerName;
    // The catalogue index of the car chosen on the single-player page.
    int32_t chosenCar = 0;
    bool carSelectFailed = false;
    // The in-game sound groups (effects, speech, ambient) and their configured levels.
    VolumeGroup* soundGroups[3] = {nullptr, nullptr, nullptr};
    float soundLevels[3] = {1.0f, 1.0f, 1.0f};
    // What the HUD shows of the player's car this frame.
    HudReadings hud;
    MenuExits* exits;
    FrontEndServices* services;
    // The developer commands, kept for the game's life (the command map does not own them).
    std::vector<std::unique_ptr<ConsoleCommand>> ownedCommands;

private:
    void MakeLights();
    void MakeFonts();
    void PreloadItems();
    void RemoveCars();
    void ReadHud();
    void ApplyLights();
    void ControlCameraKeys(float dt);
    void DrawFade();
    void DrawCameraEditor();
    void ControlCarCameraAndFlare(float dt);

    RenderFacility* renderer_;
    D3D8DirectionalLight* lights_[LightSet::kLightCount] = {nullptr, nullptr, nullptr};
    std::vector<std::function<bool()>> loadSteps_;
    size_t loadIndex_ = 0;
    bool preloaded_ = false;
    std::vector<SharedString> editorLines_;
    std::unique_ptr<Font> fonts_[12];
};
