// The in-game state on a small written world without a device: loading once per program, the
// resets, pause and fade, the kind table, the mode base's rules and the developer commands.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <set>
#include <string>

#include "engine/core/FileStream.h"
#include "engine/net/ZKClient.h"
#include "engine/render/D3D8TextureManager.h"
#include "engine/render/EnvironmentCube.h"
#include "game/play/Game.h"
#include "game/play/GameKinds.h"
#include "game/play/MissionLoadingScreen.h"
#include "game/vehicles/CarCamera.h"
#include "game/vehicles/CarCatalogue.h"
#include "game/vehicles/CarDefinition.h"
#include "game/world/LensFlare.h"
#include "tests/support/EngineDoubles.h"
#include "tests/support/FakeAudioDevice.h"
#include "tests/support/FakeInputDevice.h"
#include "tests/support/FakeMenuExits.h"
#include "tests/support/RecordingFacility.h"
#include "tests/support/TestSupport.h"
#include "game/vehicles/Explosion.h"
#include "game/vehicles/Projectiles.h"
#include "game/vehicles/VehicleDriver.h"
#include "game/vehicles/Weapons.h"
#include "tests/vehicles/VehicleTestSupport.h"
#include "tests/world/WorldTestSupport.h"
#include "tools/writers/WorldWriter.h"

using testing_support::FakeInputDevice;
using testing_support::FakeMenuExits;
using testing_support::RecordingFrontEndServices;

namespace {

// A mode whose rules are the base's.
class PlainMode final : public GameMode {
public:
    explicit PlainMode(Game& g) : GameMode(g) {}
};

class CountingPopulation final : public WorldPopulation {
public:
    void Draw(World&, const Camera&) override {}
};

class GameStateTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir.WriteBytes("Maps/World.VQW", "");
        ASSERT_TRUE(tools::WriteWorld(dir.Path() + "/Maps/World.VQW", world_testing::FlatWorld()));
        engine.services.input = &input;
        game = std::make_unique<Game>(engine.services, &exits, &services);
    }
    void TearDown() override {
        game.reset();
        engine.services.input = nullptr;
    }
    // Runs Load until the game is ready; the number of calls it took.
    int LoadAll() {
        int calls = 0;
        while (!game->IsReady() && calls < 1000) {
            game->Load();
            ++calls;
        }
        return calls;
    }
    void Command(const char* name, const char* arguments = "") {
        ASSERT_TRUE(game->ExecuteCommand(SharedString(name), SharedString(arguments))) << name;
    }

    testing_support::TempWorkDir dir;
    FakeInputDevice input;
    FakeMenuExits exits;
    RecordingFrontEndServices services;
    testing_support::EngineDoubles engine;
    std::unique_ptr<Game> game;
};

} // namespace

TEST_F(GameStateTest, TheWorldLoadsForTheFirstGameOnlyAndASecondGameIsReadyAtItsFirstLoad) {
    EXPECT_EQ(game->name, "Game");
    EXPECT_GE(LoadAll(), 7) << "six world steps (some take several calls) and the completing call";
    EXPECT_EQ(game->LoadStepIndex(), game->LoadStepCount());
    EXPECT_FALSE(game->world.LoadFailed());
    game->Reset(true);
    game->loaded = 0;
    EXPECT_EQ(LoadAll(), 1);
}

// A network game's client hears the world's objects and the six item channels once loaded.
TEST_F(GameStateTest, ANetworkGamesClientGetsTheObjectAndItemChannels) {
    ZKClient client;
    game->client = &client;
    LoadAll();
    EXPECT_EQ(game->world.objectChannel.GetClient(), &client);
    for (uint8_t id = FirstItemChannel; id < FirstItemChannel + ItemChannelCount; ++id)
        EXPECT_EQ(game->itemChannels.Receiver(id).GetClient(), &client) << int(id);
    game->client = nullptr;
}

TEST_F(GameStateTest, ResetWithObjectsDeletesTheModeAndDropsTrafficAndPedestrians) {
    CountingPopulation traffic, pedestrians;
    game->SetMode(std::make_unique<FreeDriveMode>(*game));
    game->world.traffic = &traffic;
    game->world.pedestrians = &pedestrians;
    game->Reset(false);
    EXPECT_NE(game->mode, nullptr) << "the mode stays until the game is over";
    game->world.traffic = &traffic;
    game->world.pedestrians = &pedestrians;
    game->Reset(true);
    EXPECT_EQ(game->mode, nullptr);
    EXPECT_EQ(game->world.traffic, nullptr);
    EXPECT_EQ(game->world.pedestrians, nullptr);
}

// A reset in mid-flight: no grenade, missile, rocket or explosion stays live, drawn or in the
// physics world. Each frame lowers the two explosion-sound cooldowns by its time.
TEST_F(GameStateTest, ResetReleasesEveryProjectileInFlightAndFramesLowerTheSoundCooldowns) {
    LoadAll();
    ASSERT_TRUE(game->IsReady());
    VehicleContext& context = game->vehicles;
    const int clients = game->world.physics.ClientCount();
    const size_t drawables = game->world.drawables.size();
    GrenadeProjectile::Launch(context, nullptr, Vector3(0, 50, 0), Vector3(10, 20, 0), 3.0f);
    HomingMissile::Launch(context, nullptr, Vector3(0, 50, 0), Vector3(0, 0, -1), Vector3(0, 1, 0), 100.0f, nullptr);
    RocketProjectile::Launch(context, nullptr, Vector3(0, 50, 0), Vector3(0, 0, -1), Vector3(0, 1, 0), 100.0f, 0.0f);
    Explosion::Spawn(context, nullptr, Vector3(0, 50, 0), 5.0f, 200.0f, 50000.0f, false);
    context.grenadeSoundCooldown = 0.25f;
    context.rocketSoundCooldown = 0.25f;
    engine.frameTime = 0.1f;
    game->Update();
    EXPECT_NEAR(context.grenadeSoundCooldown, 0.15f, 1e-6f);
    EXPECT_NEAR(context.rocketSoundCooldown, 0.15f, 1e-6f);
    EXPECT_EQ(game->world.physics.ClientCount(), clients + 4);

    game->Reset(false);
    ProjectileKinds& kinds = ProjectileKinds::Of(context);
    EXPECT_TRUE(kinds.grenades.Live().empty());
    EXPECT_TRUE(kinds.missiles.Live().empty());
    EXPECT_TRUE(kinds.rockets.Live().empty());
    EXPECT_TRUE(ExplosionPool::Of(context).pool.Live().empty());
    EXPECT_EQ(kinds.grenades.Free().size() + kinds.missiles.Free().size() + kinds.rockets.Free().size(), 3u);
    EXPECT_EQ(game->world.physics.ClientCount(), clients);
    EXPECT_EQ(game->world.drawables.size(), drawables);
    game->Update();
    engine.frameTime = 0.0f;
}

TEST_F(GameStateTest, PauseIsBlockedByEitherPausedByteAndALoadStepClearsThem) {
    for (int blocked = 0; blocked < 2; ++blocked) {
        game->paused[blocked] = 1;
        input.pressed = {Game::kPauseKey};
        game->HandleInput();
        EXPECT_TRUE(exits.calls.empty()) << "paused byte " << blocked;
        game->paused[blocked] = 0;
    }
    game->paused[0] = game->paused[1] = 1;
    game->Load();
    EXPECT_EQ(game->paused[0] + game->paused[1], 0);
    game->HandleInput();
    EXPECT_EQ(exits.calls, std::vector<std::string>{"PauseToMenu"});
    // A mode that freezes input takes the pause key too.
    exits.calls.clear();
    game->SetMode(std::make_unique<FreeDriveMode>(*game));
    game->mode->inputFreeze = 1;
    game->HandleInput();
    EXPECT_TRUE(exits.calls.empty());
}

TEST_F(GameStateTest, EnteringRestartsASpentVolumeFadeAndLeavingRestoresTheMenus) {
    game->volumeFade = 0.0f;
    game->Activate();
    EXPECT_FLOAT_EQ(game->volumeFade, 0.01f);
    game->volumeFade = 0.7f;
    game->Activate();
    EXPECT_FLOAT_EQ(game->volumeFade, 0.7f);
    game->Deactivate();
    EXPECT_EQ(exits.calls, (std::vector<std::string>{"ApplyGameVideoMode", "ApplyGameVideoMode", "ApplyMenuVideoMode"}));
}

TEST(GameKinds, KeywordsAndTheirObjects) {
    const struct {
        const char* keyword;
        int32_t kind;
        PedestrianObject pedestrians;
        ModeKind mode;
        bool traffic;
        int32_t gameType;
    } cases[] = {
        {"CAB", 0, PedestrianObject::Controller, ModeKind::FareMission, true, 0},
        {"BONUS1", 8, PedestrianObject::Manager, ModeKind::SpeedBomb, true, 8},
        {"BONUS2", 9, PedestrianObject::Controller, ModeKind::DropRun, true, 9},
        {"BONUS3", 10, PedestrianObject::Controller, ModeKind::FareMission, true, 10},
        {"BONUS4", 11, PedestrianObject::None, ModeKind::None, false, -1},
        {"BONUS5", 12, PedestrianObject::Manager, ModeKind::FreeDrive, true, 12},
        {"bonus5", 0, PedestrianObject::Controller, ModeKind::FareMission, true, 0},
        {"", 0, PedestrianObject::Controller, ModeKind::FareMission, true, 0},
        {"Undefined key 9990801", 0, PedestrianObject::Controller, ModeKind::FareMission, true, 0},
    };
    for (const auto& c : cases) {
        const int32_t kind = KindFromKeyword(SharedString(c.keyword));
        EXPECT_EQ(kind, c.kind) << c.keyword;
        const KindRow* row = FindKindRow(kind);
        ASSERT_NE(row, nullptr) << c.keyword;
        EXPECT_EQ(row->pedestrians, c.pedestrians) << c.keyword;
        EXPECT_EQ(row->mode, c.mode) << c.keyword;
        EXPECT_EQ(row->traffic, c.traffic) << c.keyword;
        EXPECT_EQ(row->gameType, c.gameType) << c.keyword;
    }
    EXPECT_EQ(FindKindRow(15)->gameType, 14);
    EXPECT_EQ(FindKindRow(17)->gameType, 14);
    EXPECT_EQ(FindKindRow(17)->pedestrians, PedestrianObject::NetController);
    EXPECT_EQ(FindKindRow(13), nullptr);
}

// The game shows blood unless its language says "No blood" (text 666); a language without the
// text has blood.
TEST_F(GameStateTest, TheBloodFlagFollowsTheLanguage) {
    struct Case {
        const char* text; // null: the language lacks it
        uint8_t blood;
    };
    for (const Case& c : {Case{nullptr, 1}, Case{"No blood", 0}, Case{"Blood", 1}}) {
        SCOPED_TRACE(c.text ? c.text : "no text");
        game.reset();
        engine.texts.entries.erase(666);
        if (c.text) engine.SetText(666, c.text);
        game = std::make_unique<Game>(engine.services, &exits, &services);
        EXPECT_EQ(game->session.bloodEnabled, c.blood);
    }
}

TEST_F(GameStateTest, SucceedAndFailDecideOnceAndSucceedAdvancesTheCareer) {
    game->career = {1, 3, 1, 3};
    PlainMode mode(*game);
    mode.Succeed();
    EXPECT_TRUE(mode.won);
    EXPECT_EQ(game->career.currentEpisode, 2);
    EXPECT_EQ(game->career.furthestEpisode, 2);
    EXPECT_EQ(services.writes, std::vector<std::string>{"Misc\\Default.VQS"});
    mode.Fail();
    mode.Fail();
    EXPECT_FALSE(mode.lost) << "a won game is not lost afterwards";

    PlainMode other(*game);
    other.Fail();
    other.Fail();
    EXPECT_TRUE(other.lost);
    other.Succeed();
    EXPECT_FALSE(other.won);
    EXPECT_EQ(game->career.currentEpisode, 2) << "a lost game advances nothing";
    EXPECT_EQ(services.writes.size(), 1u);
}

TEST_F(GameStateTest, FreeDriveCannotEndAndShowsNoHealthBar) {
    game->SetMode(std::make_unique<FreeDriveMode>(*game));
    game->session.gameType = 12;
    Command("NEXTMISSION");
    Command("FAILMISSION");
    EXPECT_FALSE(game->mode->won);
    EXPECT_FALSE(game->mode->lost);
    EXPECT_TRUE(services.writes.empty());
    EXPECT_TRUE(game->mode->dropAllowed && game->mode->resetAllowed && game->mode->randomRespawns);
    game->mode->DrawHud();
    EXPECT_FALSE(game->mode->drewHealthBar);
    game->session.gameType = 9;
    game->mode->DrawHud();
    EXPECT_TRUE(game->mode->drewHealthBar);
}

TEST(GameModeHud, HealthBarLengthAndColour) {
    const struct {
        float health, maximum, fraction;
        uint8_t r, g;
    } cases[] = {
        {100, 100, 1.0f, 0, 255}, {0, 100, 0.0f, 255, 0}, {50, 0, 0.0f, 255, 0},
        {50, -5, 0.0f, 255, 0},   {150, 100, 1.0f, 0, 255},
    };
    for (const auto& c : cases) {
        const float r = GameMode::HealthFraction(c.health, c.maximum);
        EXPECT_FLOAT_EQ(r, c.fraction) << c.health << "/" << c.maximum;
        const Color colour = GameMode::HealthColour(r);
        EXPECT_EQ(colour.r, c.r);
        EXPECT_EQ(colour.g, c.g);
        EXPECT_EQ(colour.b, 0);
    }
    // Half health is q = 0.25: red with half green.
    const Color half = GameMode::HealthColour(0.5f);
    EXPECT_EQ(half.r, 255);
    EXPECT_EQ(half.g, 127);
}

TEST_F(GameStateTest, DebugDrawingToggles) {
    const struct {
        const char* argument;
        bool from, to;
    } cases[] = {{"", false, true}, {"", true, false}, {"  1", false, true}, {" 0", true, false}, {"x", true, false}};
    for (const auto& c : cases) {
        for (const char* name : {"SHOWNODES", "SHOWRESPAWNS", "SHOWSOUNDS"}) {
            bool& flag = std::string(name) == "SHOWNODES"      ? game->world.showNodes
                         : std::string(name) == "SHOWRESPAWNS" ? game->world.showRespawns
                                                               : game->world.showSounds;
            flag = c.from;
            Command(name, c.argument);
            EXPECT_EQ(flag, c.to) << name << " '" << c.argument << "'";
        }
    }
    Command("FREECAM");
    EXPECT_EQ(game->camera.CameraIndex(), Game::kFreeCamera);
}

TEST_F(GameStateTest, LightCommands) {
    const struct {
        const char* argument;
        int32_t light;
    } selections[] = {{"0", 0}, {"-1", 0}, {"2", 1}, {"9", 2}, {"", 0}};
    for (const auto& s : selections) {
        Command("SETLIGHT", s.argument);
        EXPECT_EQ(game->lightSet.current, s.light) << s.argument;
    }
    Command("SETLIGHT", "2");
    GameLight& light = game->lightSet.lights[1];
    const struct {
        const char* command;
        float* value;
        bool marksChanged;
    } values[] = {
        {"AMBIENTR", &light.ambient[0], true},   {"AMBIENTG", &light.ambient[1], true},
        {"AMBIENTB", &light.ambient[2], true},   {"DIFFUSER", &light.diffuse[0], true},
        {"DIFFUSEG", &light.diffuse[1], true},   {"DIFFUSEB", &light.diffuse[2], true},
        {"SPECULARR", &light.specular[0], true}, {"SPECULARG", &light.specular[1], false},
        {"SPECULARB", &light.specular[2], false}, {"SETINT", &light.intensity, true},
    };
    for (const auto& v : values) {
        light.changed = 0;
        Command(v.command, "51");
        EXPECT_FLOAT_EQ(*v.value, 0.2f) << v.command;
        EXPECT_EQ(light.changed, v.marksChanged ? 1 : 0) << v.command;
    }
    Command("LIGHTEDIT");
    EXPECT_EQ(game->lightSet.editorOn, 1);
    dir.WriteBytes("Misc/Default.VQS", "");
    game->session.timeOfDay = 2;
    Command("SAVELIGHT");
    EXPECT_EQ(dir.ReadBytes("Misc/2.LIT").size(), 211u);
}

TEST_F(GameStateTest, ASkyWithoutAFlarePointShowsNoFlareAndTheLightEditorShowsOne) {
    // Morning has a flare point straight ahead and up a little; the night sky has none. A game
    // that showed the morning flare shows none at night, not the morning's left where it was.
    const std::vector<uint8_t> css = tools::CssBytes(Vector3(0, 200, -1000));
    dir.WriteBytes("Misc/0.CSS", std::string(css.begin(), css.end()));
    testing_support::RecordingFacility device(640, 480);
    engine.services.renderer = device.facility.get();
    game = std::make_unique<Game>(engine.services, &exits, &services);
    struct GameFirst {
        std::unique_ptr<Game>& game;
        EngineServices& services;
        ~GameFirst() {
            game.reset();
            services.renderer = nullptr;
        }
    } gameGoesFirst{game, engine.services};
    LoadAll();
    ASSERT_TRUE(game->world.skies[0].hasFlarePoint);
    ASSERT_FALSE(game->world.skies[3].hasFlarePoint);
    engine.frameTime = 0.05f;
    game->camera.SetViewport(Rect{0, 0, 640, 480});
    game->camera.RebuildView();
    game->camera.RebuildProjection();
    struct Case {
        int32_t timeOfDay;
        bool editor;
        bool flare;
    };
    const Case cases[] = {{0, false, true}, {3, false, false}, {3, true, true}, {0, false, true}};
    for (const Case& c : cases) {
        game->session.timeOfDay = c.timeOfDay;
        game->lightSet.editorOn = c.editor ? 1 : 0;
        // The edited light stands ahead, up a little, as the morning's flare point does.
        Quaternion ahead(0, 1, 0, 0); // +z to -z
        ahead.PreRotateX(0.2f);       // then up a little
        game->lightSet.lights[0].rotation = ahead;
        for (int i = 0; i < 4; ++i) {
            game->lensFlare->lastDrawn = 0;
            game->Render();
        }
        EXPECT_EQ(game->lensFlare->lastDrawn > 0, c.flare) << "time " << c.timeOfDay << ", editor " << c.editor;
    }
}

TEST_F(GameStateTest, TheLightEditorTurnsTheCurrentLightWhileItsKeysAreHeld) {
    engine.frameTime = 0.3f;
    GameLight& light = game->lightSet.lights[1];
    const Vector3 start = LightSet::TowardLight(light.rotation);
    auto hold = [&](uint32_t key) {
        input.held = {key};
        game->HandleInput();
        return LightSet::TowardLight(light.rotation);
    };
    hold(Game::kLightYawLeft);
    EXPECT_EQ(light.rotation, LightSet().lights[1].rotation) << "the editor is off";
    Command("LIGHTEDIT");
    Command("SETLIGHT", "2");
    light.changed = light.rotationChanged = 0;
    // Yaw swings the light round at its height; pitch changes the height; each key undoes its
    // opposite.
    const Vector3 left = hold(Game::kLightYawLeft);
    EXPECT_TRUE(light.changed && light.rotationChanged);
    EXPECT_NEAR(left.y, start.y, 1e-5f);
    const Vector3 a = Vector3(start.x, 0, start.z).Normalized(), b = Vector3(left.x, 0, left.z).Normalized();
    EXPECT_NEAR(std::acos(std::min(1.0f, a.Dot(b))), 0.1f, 1e-3f) << "a tenth of a radian round the vertical";
    EXPECT_NEAR((hold(Game::kLightYawRight) - start).Length(), 0.0f, 1e-5f);
    const Vector3 up = hold(Game::kLightPitchUp);
    EXPECT_NEAR(std::fabs(std::asin(up.y) - std::asin(start.y)), 0.1f, 1e-4f);
    EXPECT_NEAR((hold(Game::kLightPitchDown) - start).Length(), 0.0f, 1e-5f);
    EXPECT_EQ(game->lightSet.lights[0].rotation, LightSet().lights[0].rotation) << "only the current light";
    input.held.clear();
}

TEST_F(GameStateTest, LoadingScreenGivesUpOnAKindWithoutModeAndOnAnEmptyCarCatalogue) {
    testing_support::LogCapture log;
    engine.texts.entries[(7 + 99900) * 100 + 1] = SharedString("BONUS4");
    MissionLoadingScreen noMode(*game, &exits, 7, 0, 0);
    for (int i = 0; i < 5 && !noMode.abandoned; ++i) noMode.Update();
    EXPECT_TRUE(noMode.abandoned);
    EXPECT_TRUE(log.Contains("Mission 7 has no game mode"));
    EXPECT_EQ(exits.calls, std::vector<std::string>{"ReturnToMainPage"});

    // Free drive in a tree without cars: the car select has nothing to offer.
    exits.calls.clear();
    engine.texts.entries[(8 + 99900) * 100 + 1] = SharedString("BONUS5");
    MissionLoadingScreen noCar(*game, &exits, 8, 0, 10020);
    for (int i = 0; i < 100 && !noCar.abandoned; ++i) noCar.Update();
    EXPECT_TRUE(noCar.abandoned);
    EXPECT_TRUE(log.Contains("No playercars available"));
    EXPECT_EQ(exits.calls, std::vector<std::string>{"ReturnToMainPage"});
    EXPECT_EQ(game->mode, nullptr);
}

// The hand-over to the game: a random "Audio\*.OGG" track plays when the tree has one; without
// any the game starts all the same, silent.
TEST_F(GameStateTest, TheLoadingScreenHandsOverWithATrackOrWithoutAny) {
    vehicle_test::EngineThread thread;
    vehicle_test::WriteCar("Taxi", vehicle_test::Taxi());
    CarDefinition::LoadAll();
    testing_support::FakeAudioDevice sound;
    engine.services.sound = &sound;
    engine.frameTime = 0.5f;
    engine.texts.entries[(8 + 99900) * 100 + 1] = SharedString("BONUS5");
    for (const bool withTrack : {false, true}) {
        SCOPED_TRACE(withTrack);
        if (withTrack) dir.WriteBytes("Audio/Drive.OGG", "not decoded by the fake device");
        sound.requested.clear();
        MissionLoadingScreen screen(*game, &exits, 8, 0, 10020);
        for (int i = 0; i < 500 && engine.states.CurrentMLP() != game.get() && !screen.abandoned; ++i) screen.Update();
        EXPECT_FALSE(screen.abandoned);
        EXPECT_EQ(engine.states.CurrentMLP(), game.get());
        const bool asked = std::count(sound.requested.begin(), sound.requested.end(), "Audio\\Drive.OGG") == 1;
        EXPECT_EQ(asked, withTrack);
        EXPECT_EQ(MusicVoice() != nullptr, withTrack);
        engine.states.PopMLP();
    }
    if (AudioVoice*& music = MusicVoice()) {
        sound.ReleaseVoice(music);
        music = nullptr;
    }
    game->Reset(true);  // the cars' voices go back to the device while it is still there
    engine.services.sound = nullptr;
    engine.frameTime = 0.0f;
}

TEST_F(GameStateTest, TheFreeCameraMovesTheWayItLooks) {
    engine.frameTime = 1.0f / 75.0f;
    game->camera.SetCameraIndex(Game::kFreeCamera);
    // Forward (0x16), back (0x12), left (0), right (3) in the camera's own view space; up (0x4B)
    // in the world.
    const struct {
        uint32_t key;
        Vector3 along;
    } moves[] = {{0x16, {0, 0, 1}}, {0x12, {0, 0, -1}}, {0, {-1, 0, 0}}, {3, {1, 0, 0}}, {0x4B, {0, 1, 0}}};
    for (float yaw : {0.0f, 0.7f, 2.0f, -2.5f}) {
        for (const auto& m : moves) {
            game->camera.orientation = Quaternion();
            game->camera.orientation.RotateY(yaw);
            game->camera.orientation.PreRotateX(0.3f);
            game->camera.position = Vector3(10, 20, 30);
            game->camera.orientationDirty = game->camera.positionDirty = 1;
            game->camera.Apply();
            const Matrix4 view = game->camera.view;
            input.held = {m.key};
            game->HandleInput();
            const Vector3 world = (game->camera.position - Vector3(10, 20, 30)).Normalized();
            const Vector3 moved = m.key == 0x4B ? world : view.TransformNormal(world);
            EXPECT_NEAR(moved.Dot(m.along), 1.0f, 1e-3f) << "key " << m.key << " yaw " << yaw;
        }
    }
    input.held.clear();
    // The mouse turns it: right turns right, down looks down, and no roll builds up.
    game->camera.orientation = Quaternion();
    const Vector3 startRight = CameraRight(game->camera);
    for (int frame = 0; frame < 6; ++frame) {
        input.mouse.x = 20.0f;
        input.mouse.y = 6.0f;
        game->HandleInput();
        EXPECT_NEAR(CameraRight(game->camera).y, 0.0f, 1e-4f) << "frame " << frame;
    }
    input.mouse.x = input.mouse.y = 0.0f;
    const Vector3 forward = CameraForward(game->camera);
    EXPECT_GT(forward.Dot(startRight), 0.5f) << "turned right";
    EXPECT_NEAR(forward.y, -std::sin(6 * 6.0f * 0.0175f), 1e-3f) << "looking down";
}

TEST_F(GameStateTest, TheGuideArrowPointsAtTheTargetAheadOfTheCamera) {
    Camera& camera = game->camera;
    camera.orientation = Quaternion();
    camera.orientation.PreRotateY(0.8f);
    camera.position = Vector3(10, 20, 30);
    const Vector3 ahead = camera.position + CameraForward(camera) * 100.0f + Vector3(0, 35, 0);
    for (const Vector3& direction : {Vector3(1, 0, 0), Vector3(0, 5, -2), Vector3(-3, -1, 4), Vector3(0.5f, 0, 0.5f)}) {
        const Matrix4 m = GameMode::GuideArrowMatrix(camera, direction);
        const Vector3 tip = m.TransformNormal(Vector3(0, 0, -1));
        const Vector3 flat = Vector3(direction.x, 0, direction.z).Normalized();
        EXPECT_NEAR((tip - flat).Length(), 0.0f, 1e-5f) << direction.x << " " << direction.z;
        EXPECT_NEAR(m.TransformNormal(Vector3(0, 1, 0)).y, 1.0f, 1e-6f) << "kept upright";
        EXPECT_NEAR((m.TransformCoord(Vector3()) - ahead).Length(), 0.0f, 1e-3f);
    }
}

TEST_F(GameStateTest, TheTickerScrollsItsFrontTextOffAndStartsTheNextAtItsStart) {
    PlainMode mode(*game);
    mode.Update(1.0f);
    EXPECT_FLOAT_EQ(mode.tickerX, GameMode::kTickerStart) << "an empty ticker stands still";
    mode.PushTickerText(SharedString("first"));
    mode.PushTickerText(SharedString("second"));
    mode.Update(1.0f);
    EXPECT_FLOAT_EQ(mode.tickerX, GameMode::kTickerStart - GameMode::kTickerSpeed);
    EXPECT_EQ(mode.ticker.size(), 2u);
    // Without a font the text has no width: it goes once its start has passed the left edge.
    mode.Update(1.0f);
    ASSERT_EQ(mode.ticker.size(), 1u);
    EXPECT_EQ(mode.ticker.front(), "second");
    EXPECT_FLOAT_EQ(mode.tickerX, GameMode::kTickerStart);
    mode.Init();
    EXPECT_TRUE(mode.ticker.empty());
}

TEST_F(GameStateTest, AnyButtonGoesOnFromAScoreScreen) {
    const struct {
        std::set<uint32_t> keys;
        int joystickButton;  // pressed on the second joystick; -1 none
        bool any;
    } cases[] = {
        {{}, -1, false},   {{kKeyReturn}, -1, true}, {{kKeySpace}, -1, true}, {{kKeyPadEnter}, -1, true},
        {{kKeyUp}, -1, false}, {{}, 31, true},        {{}, 0, true},
    };
    input.joysticks.resize(2);
    for (const auto& c : cases) {
        input.pressed = c.keys;
        input.joysticks[1].pressed.clear();
        if (c.joystickButton >= 0) input.joysticks[1].pressed.insert(uint32_t(c.joystickButton));
        EXPECT_EQ(game->AnyButtonPressed(), c.any) << c.joystickButton;
    }
    // Held from an earlier frame is not a press.
    input.pressed.clear();
    input.joysticks[1].pressed.clear();
    input.held = {kKeyReturn};
    EXPECT_FALSE(game->AnyButtonPressed());
    input.held.clear();
    input.joysticks.clear();
}

namespace {

// Three taxis in the loaded game's physics and car list, 50 apart; the second is the local
// player's.
class GameWithCarsTest : public GameStateTest {
protected:
    void SetUp() override {
        GameStateTest::SetUp();
        vehicle_test::WriteCar("Taxi", vehicle_test::Taxi());
        CarDefinition::LoadAll();
        const CarDefinition* taxi = CarCatalogue::Instance().FindByName(SharedString("Taxi"));
        ASSERT_NE(taxi, nullptr);
        LoadAll();
        for (int i = 0; i < 3; ++i) {
            game->vehicles.ownedVehicles.push_back(Vehicle::Create(game->vehicles, taxi));
            Vehicle* car = game->vehicles.ownedVehicles.back().get();
            ASSERT_NE(car, nullptr);
            game->world.physics.AddObject(car);
            car->SetPosition(Vector3(float(i) * 50.0f, 5.0f, 0.0f));
            car->network.flagWord |= VehicleNetwork::PlayerCarFlag | VehicleNetwork::NetworkCarFlag;
            car->network.networkPlayerId = 7;
            game->vehicles.vehicles.push_back(car);
        }
        driver.vehicle = game->vehicles.vehicles[1];
        game->vehicles.localDriver = &driver;
    }
    void TearDown() override {
        game->Reset(true);
        GameStateTest::TearDown();
    }

    vehicle_test::EngineThread thread;
    VehicleDriver driver;
};

} // namespace

TEST_F(GameWithCarsTest, StartNumbersTheCarsAndADecidedGameTakesThePlayersNetworkBit) {
    // Succeed, Fail, and each after the other has decided: the player's bit goes every time.
    for (const bool succeedFirst : {true, false}) {
        PlainMode mode(*game);
        mode.Start();
        for (size_t i = 0; i < 3; ++i) EXPECT_EQ(game->vehicles.vehicles[i]->network.networkPlayerId, int32_t(i));
        for (int call = 0; call < 2; ++call) {
            driver.vehicle->network.flagWord |= VehicleNetwork::NetworkCarFlag;
            if ((call == 0) == succeedFirst) mode.Succeed();
            else mode.Fail();
            EXPECT_EQ(driver.vehicle->network.flagWord & VehicleNetwork::NetworkCarFlag, 0u) << succeedFirst << call;
        }
        EXPECT_NE(game->vehicles.vehicles[0]->network.flagWord & VehicleNetwork::NetworkCarFlag, 0u) << "other cars keep theirs";
    }
}

TEST_F(GameWithCarsTest, TeleportPutsThePlayersCarAtTheCamera) {
    testing_support::LogCapture log;
    engine.texts.entries[1001] = SharedString("Cheat activated");
    game->camera.position = Vector3(120, 40, -75);
    Command("TELEPORT");
    EXPECT_NEAR((driver.vehicle->GetPosition() - Vector3(120, 40, -75)).Length(), 0.0f, 1e-3f);
    EXPECT_NEAR((game->vehicles.vehicles[0]->GetPosition() - Vector3(0, 5, 0)).Length(), 0.0f, 1e-3f)
        << "only the player's car";
    EXPECT_TRUE(log.Contains("Cheat activated"));
    // Without a car of the player's nothing moves.
    game->vehicles.localDriver = nullptr;
    game->camera.position = Vector3(0, 500, 0);
    Command("TELEPORT");
    EXPECT_NEAR(driver.vehicle->GetPosition().y, 40.0f, 1e-3f);
}

// The environment option the front end hands the game decides whether the cube around the
// player's car is redrawn and how much of the world its faces show; a car whose models do not
// show the cube, or a view that does not show the car, leaves it as it is.
TEST_F(GameWithCarsTest, TheEnvironmentOptionDecidesWhatTheCubeAroundThePlayersCarDraws) {
    testing_support::RecordingFacility device;
    EnvironmentCube* cube = device.facility->GetTextureManager()->CreateEnvironmentCube(EnvironmentCube::kSize);
    ASSERT_NE(cube, nullptr);
    EnvironmentCube::SetGlobal(cube);
    struct Clear {
        ~Clear() { EnvironmentCube::SetGlobal(nullptr); }
    } clearGlobal;
    // Something of the tree beside the car, counting the cube faces that cull and draw it.
    struct Counting : QuadTreeItem {
        void GetBounds(BoundingBox& out) const override { out = {at, Vector3(10, 10, 10)}; }
        bool Cull(ObjectQuadTree&, const Camera& c) override {
            faceCulls += c.viewport.right == EnvironmentCube::kSize;
            return true;
        }
        void Draw(ObjectQuadTree&, const Camera&) override { ++draws; }
        Vector3 at;
        int faceCulls = 0, draws = 0;
    } item;
    item.at = driver.vehicle->GetPosition();
    item.itemFlags = QuadTreeItem::Culled | QuadTreeItem::TreeDrawn;
    game->world.Add(&item);
    auto* definition = const_cast<CarDefinition*>(driver.vehicle->definition);
    ASSERT_EQ(definition->environmentMap, 1) << "a car's models load with the environment switch";
    engine.frameTime = 1.0f / 75.0f;
    struct Case {
        int32_t option;
        float time;
        bool carShowsCube, viewShowsCar;
        int faces, faceCulls, draws;
    };
    const Case cases[] = {
        {0, 0.5f, true, true, 6, 0, 0},  // the first second: the sky only
        {0, 2.0f, true, true, 0, 0, 0},  // then frozen
        {1, 2.0f, true, true, 6, 0, 0},  // every frame, the sky only
        {2, 2.0f, true, true, 6, 6, 0},  // the static city and objects: the faces cull
        {3, 2.0f, true, true, 6, 6, 6},  // everything: the tree's items too
        {3, 2.0f, false, true, 0, 0, 0},
        {3, 2.0f, true, false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        game->session.environmentOption = c.option;
        game->timeCurrent = c.time;
        definition->environmentMap = c.carShowsCube ? 1 : 0;
        game->camera.viewCar = c.viewShowsCar;
        item.faceCulls = item.draws = 0;
        device.device->ClearCalls();
        game->Update();
        SCOPED_TRACE(::testing::Message() << "option " << c.option << " at " << c.time << " s, car "
                                          << c.carShowsCube << ", view " << c.viewShowsCar);
        EXPECT_EQ(device.device->Count("SetRenderTarget cube"), c.faces);
        EXPECT_EQ(item.faceCulls, c.faceCulls);
        EXPECT_EQ(item.draws, c.draws);
    }
    definition->environmentMap = 1;
    game->camera.viewCar = true;
    game->world.Remove(&item);
}

TEST_F(GameWithCarsTest, GodMakesOnlyPlayersCarsUntouchable) {
    // Car 0 is a player's, car 1 a player's already untouchable, car 2 not a player's.
    std::vector<Vehicle*>& cars = game->vehicles.vehicles;
    cars[1]->SetCollisionFlag(true);
    cars[2]->network.flagWord &= ~VehicleNetwork::PlayerCarFlag;
    Command("GOD");
    const auto untouchable = [](const Vehicle* car) {
        return (car->body.chassisBox->GetCategoryBits() & VehicleBody::DrivenCarBit) != 0 &&
               (car->network.flagWord & VehicleNetwork::CollisionFlagBit) != 0;
    };
    EXPECT_TRUE(untouchable(cars[0]));
    EXPECT_TRUE(untouchable(cars[1]));
    EXPECT_FALSE(untouchable(cars[2])) << "a car without the player's bit is left alone";
}

TEST_F(GameWithCarsTest, CarCameraCommandsEditTheFollowedKindAndSaveItsTenFiles) {
    CarDefinition* taxi = CarCatalogue::Instance().FindByName(SharedString("Taxi"));
    ASSERT_NE(taxi, nullptr);
    const CarCamera before[2] = {taxi->cameras[3], ChaseCamera::DefaultCarCamera()};
    std::filesystem::remove_all("Vehicles/Taxi");
    std::filesystem::create_directories("Vehicles/Taxi");

    // No followed car, the shared views and the free camera: nothing changes and a line says so.
    testing_support::LogCapture log;
    const auto nothing = [&](const char* what) {
        log.Clear();
        Command("CARCAMSETLERP", "0.25");
        Command("CARCAMSETVIEWCAR", "0");
        Command("CARCAMSETATTACHED", "1");
        Command("SAVECARCAM");
        EXPECT_TRUE(taxi->cameras[3] == before[0]) << what;
        EXPECT_TRUE(ChaseCamera::DefaultCarCamera() == before[1]) << what;
        EXPECT_TRUE(log.Contains("No car camera to set")) << what;
        EXPECT_TRUE(log.Contains("No car camera to save")) << what;
        EXPECT_FALSE(std::filesystem::exists("Vehicles/Taxi/0.CAM")) << what;
    };
    game->camera.SetCameraIndex(3);
    nothing("no followed car");
    game->camera.SetTarget(driver.vehicle);
    for (const uint32_t view : {uint32_t(ChaseCamera::DefaultView), uint32_t(ChaseCamera::WorldView), Game::kFreeCamera}) {
        game->camera.SetCameraIndex(view);
        nothing(std::to_string(view).c_str());
    }

    game->camera.SetCameraIndex(3);
    Command("CARCAMSETLERP", "0.25");
    Command("CARCAMSETVIEWCAR", "0");
    Command("CARCAMSETATTACHED", "1");
    EXPECT_FLOAT_EQ(taxi->cameras[3].lerp, 0.25f);
    EXPECT_FALSE(taxi->cameras[3].viewCar);
    EXPECT_TRUE(taxi->cameras[3].attached);
    EXPECT_FLOAT_EQ(driver.vehicle->CameraRecord(3).lerp, 0.25f) << "the car reads its kind's record";

    Command("SAVECARCAM");
    for (int32_t n = 0; n < CarCamera::kPerCar; ++n) {
        const std::string path = "Vehicles/Taxi/" + std::to_string(n) + ".CAM";
        ASSERT_EQ(std::filesystem::file_size(path), 45u) << n;
        EXPECT_TRUE(ReadCarCamera(CarCameraPath(SharedString("Taxi"), n)) == taxi->cameras[n]) << n;
    }
    taxi->cameras[3] = before[0];
}

TEST_F(GameWithCarsTest, TheSharedViewsTakeTheMouseWithTheEditorOffCarViewsOnlyWithItOn) {
    game->camera.SetTarget(driver.vehicle);
    CarDefinition* taxi = CarCatalogue::Instance().FindByName(SharedString("Taxi"));
    CarCamera& shared = ChaseCamera::DefaultCarCamera();
    const CarCamera before[2] = {taxi->cameras[0], shared};
    const auto wheel = [&](uint32_t view, float amount) {
        game->camera.SetCameraIndex(view);
        input.NextFrame();
        input.mouse.wheel = amount;
        game->HandleInput();
    };
    wheel(0, 100.0f);
    EXPECT_EQ(taxi->cameras[0].distance, before[0].distance) << "the switch is off";
    wheel(ChaseCamera::DefaultView, 10000.0f);
    EXPECT_EQ(shared.distance, 300.0f);
    Command("CARCAMEDIT");
    wheel(0, 100.0f);
    EXPECT_FLOAT_EQ(taxi->cameras[0].distance, before[0].distance + 10.0f);
    taxi->cameras[0] = before[0];
    shared = before[1];
}

namespace {

// The loaded game with one shipped camera shot in "Misc\CameraData.cut".
class CameraEditorGameTest : public GameStateTest {
protected:
    void SetUp() override {
        GameStateTest::SetUp();
        std::filesystem::create_directories("Misc");
        CameraRecord shipped;
        shipped.mission = 2;
        shipped.episode = 1;
        shipped.index = 4;
        shipped.sample = SharedString("Intro.WAV");
        ASSERT_TRUE(tools::WriteCameraData("Misc/CameraData.cut", {shipped}));
        LoadAll();
        ASSERT_TRUE(game->IsReady());
    }
    void Press(uint32_t key) {
        input.NextFrame();
        input.pressed = {key};
        game->HandleInput();
        input.NextFrame();
    }
    static std::vector<CameraRecord> ReadBack(const char* path) {
        std::vector<CameraRecord> records;
        FileReader in{SharedString(path)};
        EXPECT_TRUE(ReadCameraRecords(in, records));
        return records;
    }
};

} // namespace

TEST_F(CameraEditorGameTest, FromTheFreeCameraShotsAreAddedEditedSteppedAndDumpedForTheWorldReader) {
    CameraEditor& editor = game->cameraEditor;
    ASSERT_EQ(editor.records.size(), 1u) << "the editor starts from the world's shots";
    EXPECT_EQ(editor.current, -1);

    // Off, or on but not in the free camera: the keys do nothing.
    Press(CameraEditor::kAddKey);
    Command("CAMERAEDITOR");
    EXPECT_EQ(editor.on, 1);
    Press(CameraEditor::kAddKey);
    EXPECT_EQ(editor.records.size(), 1u);

    // No current shot: the tag commands do nothing.
    Command("CUTINDEX", "9");
    EXPECT_EQ(editor.records[0].index, 4);

    Command("FREECAM");
    game->camera.position = Vector3(10.0f, 20.0f, 30.0f);
    Press(CameraEditor::kAddKey);
    game->camera.position = Vector3(40.0f, 50.0f, 60.0f);
    Press(CameraEditor::kAddKey);
    ASSERT_EQ(editor.records.size(), 3u);
    EXPECT_EQ(editor.current, 2);
    Command("CUTEPISODE", "1");
    Command("CUTMISSION", "3");
    Command("CUTINDEX", "1");
    Command("CUTSAMPLE", "Chase.WAV");
    EXPECT_EQ(editor.records[2].episode, 0);
    EXPECT_EQ(editor.records[2].mission, 2);
    EXPECT_EQ(editor.records[2].index, 1);

    // Stepping puts the camera at the shot.
    Press(CameraEditor::kPreviousKey);
    EXPECT_EQ(editor.current, 1);
    EXPECT_EQ(game->camera.position.x, 10.0f);
    EXPECT_EQ(game->camera.positionDirty, 1);
    std::vector<SharedString> lines;
    CameraEditorLines(editor, lines);
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_STREQ(lines[0].c_str(), "Number of Cameras :3");
    EXPECT_STREQ(lines[2].c_str(), "Camera Position : 10.0,20.0,30.0");

    Press(CameraEditor::kDumpKey);
    const std::vector<CameraRecord> back = ReadBack("CamOut.pcd");
    ASSERT_EQ(back.size(), 3u);
    EXPECT_STREQ(back[0].sample.c_str(), "Intro.WAV");
    EXPECT_EQ(back[0].mission, 2);
    EXPECT_EQ(back[0].episode, 1);
    EXPECT_EQ(back[2].position.z, 60.0f);
    EXPECT_EQ(back[2].mission, 2);
    EXPECT_EQ(back[2].episode, 0);
    EXPECT_STREQ(back[2].sample.c_str(), "Chase.WAV");

    Command("CAMERAEDITOR");
    EXPECT_EQ(editor.on, 0);
}

TEST_F(CameraEditorGameTest, AStepRateOfZeroOrLessIsRefusedAndTheWorldKeepsSteppingUnevenFrames) {
    testing_support::LogCapture log;
    struct Case {
        const char* argument;
        float rate;
    };
    const Case cases[] = {{"60", 60.0f}, {"0", 60.0f}, {"-5", 60.0f}, {"", 60.0f}, {"120", 120.0f}};
    for (const Case& c : cases) {
        Command("SETSTEPSIZE", c.argument);
        EXPECT_EQ(game->session.physicsRate, c.rate) << "'" << c.argument << "'";
        // What the world's update makes of uneven frames at the rate kept: sub-steps that
        // cover the frame.
        for (const float dt : {0.0131f, 0.0217f, 0.0342f}) {
            const FrameSplit split = SplitFrame(dt, game->session.physicsRate, 1.0f);
            ASSERT_GT(split.SubSteps(), 0) << c.argument;
            EXPECT_NEAR(float(split.fullSteps) * split.stepSize + split.lastStep, dt, 1e-5f) << c.argument;
        }
    }
    EXPECT_TRUE(log.Contains("refused"));
}

TEST_F(GameWithCarsTest, AWeaponCommandArmsThePlayerOnceAndFlipsItsSwitch) {
    // Typed twice: one weapon (text 1001), then only the switch goes off again (text 1002); the
    // switch is the kind's unlimited ammunition. Without a player's car the weapon stays in its
    // pool.
    testing_support::LogCapture log;
    engine.texts.entries[1001] = SharedString("Cheat activated");
    engine.texts.entries[1002] = SharedString("Cheat deactivated");
    struct Case {
        const char* command;
        int32_t kind;
        ItemKind pool;
    };
    const Case cases[] = {{"ROCKET", WeaponRocket, ItemKind::RocketLauncher},
                          {"MINIGUN", WeaponChainGun, ItemKind::ChainGun},
                          {"FLAMER", WeaponFlamer, ItemKind::Flamer},
                          {"GRENADE", WeaponGrenade, ItemKind::GrenadeThrower},
                          {"MISSILE", WeaponMissile, ItemKind::MissileLauncher}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        UnlimitedAmmo[c.kind] = 0;
        driver.vehicle->SetWeapon(nullptr);
        Command(c.command);
        auto* weapon = dynamic_cast<Weapon*>(driver.vehicle->items.weapon);
        ASSERT_NE(weapon, nullptr);
        EXPECT_EQ(weapon->weaponKind, c.kind);
        EXPECT_EQ(UnlimitedAmmo[c.kind], 1);
        Command(c.command);
        EXPECT_EQ(driver.vehicle->items.weapon, weapon) << "the second call gives nothing";
        EXPECT_EQ(UnlimitedAmmo[c.kind], 0);
        // No player car: the weapon goes back to its pool.
        game->vehicles.localDriver = nullptr;
        driver.vehicle->SetWeapon(nullptr);
        const size_t idle = game->vehicles.itemPools[c.pool].Size();
        Command(c.command);
        EXPECT_EQ(game->vehicles.itemPools[c.pool].Size(), idle);
        EXPECT_EQ(driver.vehicle->items.weapon, nullptr);
        Command(c.command);
        game->vehicles.localDriver = &driver;
    }
    const std::vector<std::string> lines = log.Lines();
    const auto count = [&](const std::string& text) { return std::count(lines.begin(), lines.end(), text); };
    EXPECT_EQ(count("Cheat activated"), 10);
    EXPECT_EQ(count("Cheat deactivated"), 10);
}

TEST_F(GameWithCarsTest, ASpecialCommandGivesEveryOtherCallAndNothingIsLostWithoutACar) {
    // Typed twice: one special (text 1001), then only the switch flips back (text 1002). Without
    // a player's car the special stays in its pool.
    testing_support::LogCapture log;
    engine.texts.entries[1001] = SharedString("Cheat activated");
    engine.texts.entries[1002] = SharedString("Cheat deactivated");
    struct Case {
        const char* command;
        ItemKind pool;
    };
    const Case cases[] = {{"SPEED", ItemKind::Boost}, {"ROCK", ItemKind::Rock}, {"JUMP", ItemKind::Jump}, {"CANNON", ItemKind::Cannon}};
    Vehicle* car = driver.vehicle;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        const size_t before = car->items.specials.size();
        Command(c.command);
        ASSERT_EQ(car->items.specials.size(), before + 1);
        CarItem* given = car->items.specials.front();
        EXPECT_EQ(given->pool, &game->vehicles.itemPools[c.pool]);
        EXPECT_EQ(given->active, 0);
        Command(c.command);
        EXPECT_EQ(car->items.specials.size(), before + 1) << "the second call gives nothing";
        car->RemoveSpecial(given);
        game->vehicles.localDriver = nullptr;
        const size_t idle = game->vehicles.itemPools[c.pool].Size();
        Command(c.command);
        EXPECT_EQ(game->vehicles.itemPools[c.pool].Size(), idle) << "back in its pool";
        Command(c.command);
        game->vehicles.localDriver = &driver;
    }
    const std::vector<std::string> lines = log.Lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Cheat activated"), 8);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Cheat deactivated"), 8);
}

TEST_F(GameWithCarsTest, TheEndOfAMissionStopsThePlayersChainGunAndFlamer) {
    for (const bool succeed : {true, false}) {
        PlainMode mode(*game);
        driver.vehicle->SetWeapon(game->vehicles.itemPools[ItemKind::ChainGun].Take());
        auto* gun = WeaponOf<ChainGunWeapon>(driver.vehicle);
        ASSERT_NE(gun, nullptr);
        gun->StartFiring();
        ASSERT_EQ(gun->firing, 1);
        if (succeed) mode.Succeed();
        else mode.Fail();
        EXPECT_EQ(gun->firing, 0) << succeed;
        driver.vehicle->SetWeapon(game->vehicles.itemPools[ItemKind::Flamer].Take());
        auto* flamer = WeaponOf<FlamerWeapon>(driver.vehicle);
        flamer->StartFiring();
        ASSERT_TRUE(flamer->Burning());
        PlainMode next(*game);
        if (succeed) next.Succeed();
        else next.Fail();
        EXPECT_FALSE(flamer->Burning()) << succeed;
        driver.vehicle->SetWeapon(nullptr);
    }
}
