#include "game/play/MissionLoadingScreen.h"

#include <algorithm>

#include "engine/audio/AudioDevice.h"
#include "engine/core/Debugger.h"
#include "engine/core/EngineServices.h"
#include "engine/core/MLPStack.h"
#include "engine/core/FileStream.h"
#include "engine/core/MenuCanvas.h"
#include "engine/net/ZKClient.h"
#include "engine/net/ZKServer.h"
#include "game/play/Game.h"
#include "game/play/CheckpointMode.h"
#include "game/play/DropRunMode.h"
#include "game/play/FareMissionMode.h"
#include "game/play/GameKinds.h"
#include "game/play/SpeedBombMode.h"
#include "game/play/MenuExits.h"
#include "game/traffic/PedestrianController.h"
#include "game/traffic/PedestrianManager.h"
#include "platform/sys/Random.h"

namespace {

constexpr uint32_t kFlipRows = 1;

} // namespace

AudioVoice*& MusicVoice() {
    static AudioVoice* voice = nullptr;
    return voice;
}

VolumeGroup*& MusicGroup() {
    static VolumeGroup* group = nullptr;
    return group;
}

MissionLoadingScreen::MissionLoadingScreen(Game& game, MenuExits* exits, int32_t missionNumber, int32_t episodeNumber,
                                           int32_t thirdValue)
    : MenuScreen(SharedString("Mission"), SharedString("Loading.zkt")),
      mission(missionNumber), episode(episodeNumber), third(thirdValue), game_(game), exits_(exits),
      barrier_(game.client, game.server) {
    if (MenuCanvas* canvas = GetMenuCanvas()) {
        bar_.reset(canvas->LoadPicture(SharedString("LoadingBar.ZKT"), kFlipRows));
        const SharedString picture = SharedString::Format("Menu\\Mission%d.ZKT", mission);
        if (FileExists(picture)) picture_.reset(canvas->LoadPicture(picture, kFlipRows));
    }
}

MissionLoadingScreen::~MissionLoadingScreen() { barrier_.Unregister(); }

void MissionLoadingScreen::Update() {
    const float dt = game_.engine.FrameTime();
    if (game_.client) game_.client->Update(dt);
    if (abandoned) return;

    if (progress == 1.0f) {
        fadeOut = std::min(fadeOut + dt * 0.25f, 1.0f);
        if (AudioVoice* music = MusicVoice()) {
            music->SetVolume(1.0f - fadeOut);
            MenuSoundGroup().SetVolume(0.0f);
        }
        if (fadeOut < 1.0f) return;
        HandOver();
        return;
    }
    if (progress == 0.99f) {
        barrier_.Update();
        if (barrier_.Released()) progress = 1.0f;
        return;
    }
    ++frame;
    if (needSetup && frame >= 3) SetUp();
    if (abandoned) return;
    if (needParameters && frame > 2) ReadParameters();
    if (!game_.IsReady()) {
        game_.Load();
        progress = std::clamp(progress + 0.001f, 0.0005f, 0.89f);
    } else {
        progress = 0.9f;
    }
    if (progress == 0.9f && !started && frame > 2) {
        // A game without its world would drive in an empty sky.
        if (game_.world.LoadFailed()) {
            Debugger::Instance().Message("Mission %d: the world could not be loaded; back to the main menu", mission);
            Abandon();
            return;
        }
        StartGame();
    }
}

void MissionLoadingScreen::SetUp() {
    needSetup = 0;
    game_.Reset(true);
    game_.loaded = 0;
    if (kind == kKindFromKeyword) kind = KindFromKeyword(game_.engine.Text(TextBase() + 1));
    const KindRow* row = FindKindRow(kind);
    if (row) {
        if (row->gameType >= 0) game_.session.gameType = row->gameType;
        if (row->traffic) {
            game_.traffic = std::make_unique<TrafficManager>(game_.world, game_.vehicles, game_.trafficFleet);
            game_.world.traffic = game_.traffic.get();
        }
        if (row->pedestrians == PedestrianObject::Manager)
            game_.SetPedestrians(std::make_unique<PedestrianManager>(game_.world, &game_.vehicles, nullptr));
        if (row->pedestrians == PedestrianObject::Controller)
            game_.SetPedestrians(std::make_unique<PedestrianController>(game_.world, &game_.vehicles, nullptr));
        // Modes join here as their classes land.
        if (row->mode == ModeKind::FreeDrive) game_.SetMode(std::make_unique<FreeDriveMode>(game_));
        if (row->mode == ModeKind::FareMission) game_.SetMode(std::make_unique<FareMissionMode>(game_));
        if (row->mode == ModeKind::DropRun) game_.SetMode(std::make_unique<DropRunMode>(game_));
        if (row->mode == ModeKind::SpeedBomb) game_.SetMode(std::make_unique<SpeedBombMode>(game_));
        if (row->mode == ModeKind::Checkpoint) game_.SetMode(std::make_unique<CheckpointMode>(game_));
        game_.pedestrianZone = 1;
        game_.session.zone = 1;
    }
    if (!game_.mode) {
        Debugger::Instance().Message("Mission %d has no game mode", mission);
        Abandon();
        return;
    }
    if (kind >= 14) {
        barrier_.Register();
        // The host decides the traffic: its spawns and despawns reach every machine on 118.
        game_.vehicles.client = game_.client;
        game_.vehicles.server = game_.server;
        if (game_.traffic && game_.client) game_.client->AddChannel(game_.traffic.get());
        if (game_.traffic && game_.server) game_.server->AddChannel(game_.traffic.get());
        if (game_.client) game_.client->AddChannel(&game_.world.objectChannel);
        if (auto* network = dynamic_cast<MultiplayerMode*>(game_.mode.get())) network->Connect(game_.client, game_.server);
    }
    progress = 0.1f;
}

void MissionLoadingScreen::ReadParameters() {
    needParameters = 0;
    const int32_t b = TextBase();
    game_.session.timeOfDay = LightSet::ClampTimeOfDay(game_.engine.Text(b + 3).ToInt(0));
    game_.session.mission = mission;
    game_.session.episode = episode;
    if (game_.traffic) game_.traffic->density = float(game_.engine.Text(b + 4).ToFloat());
    if (game_.pedestrians) game_.pedestrians->density = float(game_.engine.Text(b + 5).ToFloat());
    // The two mode parameters of the kinds that take them: a time and a count or a name.
    const KindRow* row = FindKindRow(kind);
    if (!row || !row->modeParameters) return;
    const SharedString six = game_.engine.Text(b + 6), seven = game_.engine.Text(b + 7);
    if (auto* run = dynamic_cast<DropRunMode*>(game_.mode.get())) {
        run->timeLeft = float(six.ToFloat());
        run->dropsRequired = seven.ToInt();
    }
    if (auto* bomb = dynamic_cast<SpeedBombMode*>(game_.mode.get())) {
        bomb->timeLeft = float(six.ToFloat());
        bomb->targetName = seven;
    }
}

void MissionLoadingScreen::StartGame() {
    started = 1;
    game_.Reset(false);
    GameMode& mode = *game_.mode;
    mode.Init();
    if (game_.carSelectFailed) {
        Abandon();
        return;
    }
    mode.started = 0;
    mode.loaded = 1;
    mode.Start();
    frame = 0;
    if (game_.client) {
        progress = 0.99f;
        barrier_.SendReady();
    } else {
        progress = 1.0f;
    }
}

void MissionLoadingScreen::Abandon() {
    abandoned = true;
    game_.Reset(true);
    if (exits_) exits_->ReturnToMainPage();
}

void MissionLoadingScreen::HandOver() {
    barrier_.Unregister();
    AudioDevice* sound = game_.engine.sound;
    if (AudioVoice*& old = MusicVoice()) {
        old->Stop();
        old->Rewind();
        if (MusicGroup()) MusicGroup()->RemoveChild(old);
        if (sound) sound->ReleaseVoice(old);
        else delete old;
        old = nullptr;
    }
    // No track in the tree: the game just runs without music.
    const std::vector<SharedString> tracks = ListFiles(SharedString("Audio\\*.OGG"), false);
    if (!tracks.empty() && sound) {
        const SharedString& track = tracks[size_t(plat::EngineRand()) % tracks.size()];
        AudioVoice* voice = sound->CreateSound(SharedString::Format("Audio\\%s", track.c_str()), false, true, false);
        if (voice) {
            if (MusicGroup()) MusicGroup()->AddChild(voice);
            voice->Play(true);
            MusicVoice() = voice;
        }
    }
    game_.volumeFade = Game::kVolumeFadeStart;
    if (game_.engine.states) game_.engine.states->PushMLP(&game_);
}

void MissionLoadingScreen::Render() {
    MenuCanvas* canvas = GetMenuCanvas();
    if (!canvas) return;
    canvas->Clear(1);
    if (background) canvas->DrawSpriteAnchored(background, nullptr, 17, Vector2{0, 0}, 17, nullptr, 0);
    if (bar_) {
        const Rect source{0, 0, int32_t(float(bar_->Width()) * progress), bar_->Height()};
        canvas->DrawSpriteAnchored(bar_.get(), &source, 20, Vector2{0, -14}, 20, nullptr, 0);
    }
    if (picture_) {
        float y = 70.0f;
        for (int32_t i = 21; i <= 24; ++i) {
            const SharedString line = game_.engine.Text(TextBase() + i);
            const float width = float(canvas->TextWidth(nullptr, line));
            canvas->DrawText(line, Vector2{400.0f - width / 2.0f, y}, 9, nullptr, nullptr, false);
            y += float(canvas->FontSize(nullptr)) * 1.25f;
        }
        canvas->DrawSpriteAnchored(picture_.get(), nullptr, 18, Vector2{0, 0}, 18, nullptr, 0);
    }
    if (fadeOut > 0.0f) {
        Color black;
        black.Set(0, 0, 0, uint8_t(fadeOut * 255.0f));
        canvas->FillScreen(black);
    }
}
