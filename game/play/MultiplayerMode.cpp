#include "game/play/MultiplayerMode.h"

#include <algorithm>
#include <cmath>

#include "engine/core/Camera.h"
#include "engine/core/Debugger.h"
#include "engine/core/EngineServices.h"
#include "engine/core/InputDevice.h"
#include "engine/net/PayloadReader.h"
#include "engine/net/ZKClient.h"
#include "engine/net/ZKServer.h"
#include "engine/render/Font.h"
#include "engine/render/RenderFacility.h"
#include "engine/render/Sprite.h"
#include "engine/render/SpriteFactory.h"
#include "engine/render/SpriteRenderer.h"
#include "game/play/FormatClock.h"
#include "game/play/Game.h"
#include "game/play/MenuExits.h"
#include "game/vehicles/CarCatalogue.h"
#include "game/vehicles/CarDefinition.h"
#include "game/vehicles/PlayerController.h"
#include "game/vehicles/RespawnPoints.h"
#include "game/vehicles/Vehicle.h"

namespace {

enum : int32_t { kTopLeft = 0x09, kTopRight = 0x21, kCentre = 0x12 };

// The car index of a player's 12-byte lobby block (car, team, ready); 0 without one.
uint32_t BlockWord(const std::vector<uint8_t>& block, size_t at) {
    PayloadReader r(block.data(), block.size());
    if (!r.ExpectExactly(12) || !r.skip(at)) return 0;
    return r.u32();
}

Sprite* LoadSprite(const char* name) {
    SharedString n(name);
    return SpriteFactory::Instance().Get(n, true);
}

} // namespace

void MultiplayerMode::ClientSide::Receive(const uint8_t* payload, int32_t size) {
    modemsg::Message m;
    if (size < 0 || !modemsg::Decode(payload, size_t(size), m)) return;
    mode.OnClientMessage(m);
}

void MultiplayerMode::ServerSide::Receive(int32_t senderIndex, const uint8_t* payload, int32_t size) {
    modemsg::Message m;
    if (size < 0 || !modemsg::Decode(payload, size_t(size), m)) return;
    // Host messages are only client-to-host types; the rest would be a peer's forgery.
    switch (m.type) {
    case modemsg::kScores:
    case modemsg::kEnded:
    case modemsg::kMoney:
    case modemsg::kFareSpawn:
    case modemsg::kFareMoved:
        return;
    default:
        break;
    }
    std::lock_guard<std::mutex> lock(mode.queueLock_);
    // A flood cannot grow the queue without end: the main thread drains it every frame.
    if (mode.queue_.size() < 256) mode.queue_.push_back({senderIndex, m});
}

MultiplayerMode::MultiplayerMode(Game& owner) : GameMode(owner) {
    showClock = 1;
    secondDisplay = 0;
    dropAllowed = 1;
    resetAllowed = 1;
    respawn = 1;
    queue_.reserve(256);
    draining_.reserve(256);
    messages.reserve(kMaxMessages + 1);
    if (owner.engine.renderer) panel_.reset(LoadSprite("MPScore.ZKT"));
}

MultiplayerMode::~MultiplayerMode() { Disconnect(); }

void MultiplayerMode::Connect(ZKClient* client, ZKServer* server) {
    Disconnect();
    if (client) client->AddChannel(&clientSide_);
    if (server) server->AddChannel(&serverSide_);
}

void MultiplayerMode::Disconnect() {
    if (ZKClient* client = Client()) client->RemoveChannel(&clientSide_);
    if (ZKServer* server = Server()) server->RemoveChannel(&serverSide_);
}

void MultiplayerMode::Init() {
    GameMode::Init();
    CarDefinition::LoadAll();
    CreateRemoteVehicle();
    // The table: one entry per player in the client's order.
    {
        std::lock_guard<std::mutex> lock(tableLock);
        scores.entries.clear();
        teams.clear();
        std::vector<Vehicle*>& cars = game.vehicles.vehicles;
        if (Client()) {
            Client()->Lock();
            const std::vector<ClientPlayerEntry>& players = Client()->GetPlayers();
            for (size_t i = 0; i < players.size(); ++i) {
                ScoreEntry e;
                e.playerId = int32_t(players[i].number);
                e.vehicle = i < cars.size() ? cars[i] : nullptr;
                e.name = players[i].name;
                scores.entries.push_back(e);
                teams.push_back(int32_t(std::min<uint32_t>(BlockWord(players[i].data, 4), 7)));
            }
            localIndex_ = std::max(0, Client()->GetOwnIndex());
            localPlayerId_ = InRange(localIndex_, players) ? int32_t(players[size_t(localIndex_)].number) : -1;
            Client()->Unlock();
        }
    }
    // The local player drives his car at once: there is no car select.
    std::vector<Vehicle*>& cars = game.vehicles.vehicles;
    if (InRange(localIndex_, cars) && cars[size_t(localIndex_)]) {
        Vehicle* car = cars[size_t(localIndex_)];
        auto player = std::make_unique<PlayerController>(game.vehicles, game.engine.input);
        player->camera = &game.camera;
        player->AttachVehicle(car);
        game.vehicles.watchedPlayerCars.push_back(&player->vehicle);
        game.vehicles.localDriver = player.get();
        game.vehicles.carSelect = 0;
        game.vehicles.pendingController = std::move(player);
    } else {
        Debugger::Instance().Message("Network game: no car for the local player");
    }
    // The loading screen clears the flag after Init; the game sets it again from the request.
    started = 1;
    startedRequest = 1;
    // The session's limits: the lobby's first setting is minutes, the second points.
    uint8_t minutes = 0, points = 0;
    if (Client()) {
        Client()->Lock();
        const std::vector<uint8_t>& session = Client()->GetServerData();
        if (session.size() == 20) {
            minutes = session[16];
            points = session[17];
        }
        Client()->Unlock();
    }
    if (minutes) {
        timeLeft = 60.0f * float(minutes);
    } else {
        timeLeft = kNoTimeLimit;
        showClock = 0;
    }
    scoreLimit = points ? int32_t(points) : kNoScoreLimit;
}

void MultiplayerMode::CreateRemoteVehicle() {
    std::vector<const RespawnPoint*> points;
    GetRespawnPoints(game.world, game.session.zone + 1, -1, points);
    std::vector<uint32_t> carIndices;
    std::vector<bool> local;
    if (Client()) {
        Client()->Lock();
        const std::vector<ClientPlayerEntry>& players = Client()->GetPlayers();
        const int32_t own = Client()->GetOwnIndex();
        for (size_t i = 0; i < players.size(); ++i) {
            carIndices.push_back(BlockWord(players[i].data, 0));
            local.push_back(int32_t(i) == own);
        }
        Client()->Unlock();
    }
    const int32_t count = CarCatalogue::Instance().Count();
    for (size_t i = 0; i < carIndices.size(); ++i) {
        const uint32_t index = count > 0 ? std::min(carIndices[i], uint32_t(count - 1)) : 0;
        CarDefinition* definition = CarCatalogue::Instance().At(int32_t(index));
        std::unique_ptr<Vehicle> car = definition ? CreatePlayerVehicle(definition) : nullptr;
        if (!car) {
            Debugger::Instance().Message("Network game: no car for player %d", int32_t(i));
            game.vehicles.vehicles.push_back(nullptr);
            continue;
        }
        car->network.flagWord |= VehicleNetwork::PlayerCarFlag | VehicleNetwork::NetworkCarFlag;
        if (local[i]) car->flags |= NetObject::kSendEveryUpdate;
        game.world.physics.AddObject(car.get());
        game.world.objectChannel.Register(car.get());
        // Each car its own point while they last, then they are used again.
        if (!points.empty()) car->respawn.respawnPoint = points[i % points.size()];
        car->respawn.ownRespawnPoints = points;
        car->Respawn(false);
        game.world.Add(car.get());
        game.vehicles.vehicles.push_back(car.get());
        game.vehicles.ownedVehicles.push_back(std::move(car));
    }
}

int32_t MultiplayerMode::PlayerIdOf(const Vehicle* car) const {
    if (!car) return -1;
    for (const ScoreEntry& e : scores.entries)
        if (e.vehicle == car) return e.playerId;
    return -1;
}

void MultiplayerMode::SendToHost(const std::vector<uint8_t>& frame) {
    if (Client()) Client()->Send(frame.data(), uint32_t(frame.size()), 0.0f, false, true, true);
}

void MultiplayerMode::SendToAll(const std::vector<uint8_t>& frame) {
    if (Server()) Server()->SendTo(frame.data(), uint32_t(frame.size()), -1, 0.0f, false, true, false);
}

void MultiplayerMode::OnPedestrianHit(Vehicle* hitter, Pedestrian&) {
    if (!IsPlayerCar(hitter) || finishing) return;
    modemsg::WritePlayerEvent(out_, modemsg::kPedestrianHit, localPlayerId_);
    SendToHost(out_);
}

void MultiplayerMode::OnTrafficCarWrecked(Vehicle* instigator) {
    if (!IsPlayerCar(instigator) || finishing) return;
    modemsg::WritePlayerEvent(out_, modemsg::kTrafficWrecked, localPlayerId_);
    SendToHost(out_);
}

void MultiplayerMode::OnVehicleDestroyed(Vehicle* killer, Vehicle* victim) {
    if (!IsPlayerCar(victim) || finishing) return;
    int32_t killerId;
    {
        std::lock_guard<std::mutex> lock(tableLock);
        killerId = PlayerIdOf(killer);
    }
    modemsg::WriteKill(out_, killerId, localPlayerId_);
    SendToHost(out_);
}

void MultiplayerMode::BroadcastTickerText(int32_t textId) {
    if (!(messageCooldown > kMessageInterval) || messages.size() >= kMaxMessages) return;
    if (textId < modemsg::kFirstQuickText || textId > modemsg::kLastQuickText) return;
    messageCooldown = 0.0f;
    modemsg::WriteQuickMessage(out_, localPlayerId_, textId);
    SendToHost(out_);
}

bool MultiplayerMode::CountsAsKill(const Vehicle*, const Vehicle*) const { return true; }

void MultiplayerMode::GetLeaderNames(SharedString (&out)[4]) const {
    out[0] = game.engine.Text(kLeaderTitle);
    out[1] = scores.entries.empty() ? SharedString() : scores.entries.front().name;
    out[2] = game.engine.Text(kLeaderTitle + 1);
    out[3] = scores.entries.empty() ? SharedString() : scores.entries.back().name;
}

void MultiplayerMode::BroadcastScores(int32_t kind, int32_t killer, int32_t victim) {
    // Called with tableLock held.
    scores.Sort();
    scores.WriteScores(out_, kind, killer, victim);
    SendToAll(out_);
}

void MultiplayerMode::OnServerMessage(int32_t, const modemsg::Message& m) {
    switch (m.type) {
    case modemsg::kKill: {
        std::lock_guard<std::mutex> lock(tableLock);
        ScoreEntry* killer = scores.Find(m.player);
        ScoreEntry* victim = scores.Find(m.victim);
        if (!victim) return;
        const bool counts = killer ? CountsAsKill(killer->vehicle, victim->vehicle) : true;
        scores.ApplyKill(m.player, m.victim, counts);
        BroadcastScores(1, m.player, m.victim);
        break;
    }
    case modemsg::kTrafficWrecked:
    case modemsg::kPedestrianHit: {
        std::lock_guard<std::mutex> lock(tableLock);
        ScoreEntry* e = scores.Find(m.player);
        if (!e) return;
        if (m.type == modemsg::kTrafficWrecked) ++e->trafficWrecked;
        else ++e->pedestrians;
        BroadcastScores(0, 0, 0);
        break;
    }
    case modemsg::kQuickMessage: {
        bool known;
        {
            std::lock_guard<std::mutex> lock(tableLock);
            known = scores.Find(m.player) != nullptr;
        }
        if (!known) return;
        // Relayed to everyone as it came.
        modemsg::WriteQuickMessage(out_, m.player, m.number);
        SendToAll(out_);
        break;
    }
    default:
        break;
    }
}

void MultiplayerMode::OnClientMessage(const modemsg::Message& m) {
    switch (m.type) {
    case modemsg::kScores: {
        SharedString line;
        {
            std::lock_guard<std::mutex> lock(tableLock);
            if (!scores.ApplyScores(m)) return;
            if (m.kind == 1) {
                const ScoreEntry* killer = scores.Find(m.killer);
                const ScoreEntry* victim = scores.Find(m.scoreVictim);
                const SharedString victimName = victim ? victim->name : SharedString();
                if (m.killer != m.scoreVictim) {
                    line = SharedString::Format("%s %s %s %s %s", game.engine.Text(kKillText).c_str(),
                                                killer ? killer->name.c_str() : "", game.engine.Text(kKillText + 1).c_str(),
                                                victimName.c_str(), game.engine.Text(kKillText + 2).c_str());
                } else {
                    line = SharedString::Format("%s %s %s", game.engine.Text(kSuicideText).c_str(), victimName.c_str(),
                                                game.engine.Text(kSuicideText + 1).c_str());
                }
            }
        }
        if (!line.IsEmpty()) PushTickerText(line);
        break;
    }
    case modemsg::kEnded:
        if (!finishing) Decide(false);
        break;
    case modemsg::kQuickMessage: {
        bool known;
        {
            std::lock_guard<std::mutex> lock(tableLock);
            known = scores.Find(m.player) != nullptr;
        }
        if (known) messages.push_back({kMessageTime, m.player, m.number});
        break;
    }
    default:
        break;
    }
}

void MultiplayerMode::ApplyHostQueue() {
    {
        std::lock_guard<std::mutex> lock(queueLock_);
        draining_.swap(queue_);
    }
    for (const Queued& q : draining_) OnServerMessage(q.sender, q.message);
    draining_.clear();
}

void MultiplayerMode::Decide(bool byScore) {
    finishing = 1;
    endTimer = 0.0f;
    endedByScore = byScore ? 1 : 0;
}

void MultiplayerMode::Update(float dt) {
    GameMode::Update(dt);
    if (Server()) ApplyHostQueue();
    for (size_t i = messages.size(); i-- > 0;) {
        messages[i].timeLeft -= dt;
        if (messages[i].timeLeft < 0.0f) messages.erase(messages.begin() + ptrdiff_t(i));
    }
    messageCooldown += dt;
    timeLeft = std::max(0.0f, timeLeft - game.engine.FrameTime());
    if (!finishing) {
        bool byScore = false;
        {
            std::lock_guard<std::mutex> lock(tableLock);
            for (const ScoreEntry& e : scores.entries)
                if (e.score >= scoreLimit) byScore = true;
        }
        if (byScore) Decide(true);
        else if (timeLeft <= 0.0f) Decide(false);
    }
    const bool panelHeld = game.engine.input && game.engine.input->Held(kPanelAction);
    panelAlpha = std::clamp(panelAlpha + (panelHeld ? 1.0f : -1.0f) * game.engine.FrameTime(), 0.0f, 1.0f);
    if (finishing) {
        endTimer = std::min(kEndDelay, endTimer + dt);
        if (endTimer >= kEndDelay && !handedOver) HandOverTable();
    }
}

void MultiplayerMode::HandOverTable() {
    handedOver = true;
    MultiplayerScoreTable table;
    if (Client()) Client()->Lock();
    {
        std::lock_guard<std::mutex> lock(tableLock);
        table = scores.ToTable(int32_t(game.session.gameType));
        GetLeaderNames(table.titles);
    }
    if (Client()) Client()->Unlock();
    if (game.exits) game.exits->ShowMultiplayerScore(table);
}

void MultiplayerMode::DrawHud() {
    RenderFacility* renderer = game.engine.renderer;
    SpriteRenderer* sprites = renderer ? renderer->GetSpriteRenderer() : nullptr;
    if (!sprites) return;
    const Sprite* panel = panel_.get();
    const float panelWidth = panel ? float(panel->width) : 150.0f;
    const float panelX = -11.0f - (panelWidth - 11.0f) * panelAlpha;
    if (panel) sprites->DrawSpriteAnchored(panel, nullptr, kTopLeft, Vector2{panelX, 60.0f}, kTopRight, nullptr, 1);
    const bool timed = timeLeft < kNoTimeLimit;
    if (timed) sprites->DrawText(FormatClock(timeLeft), Vector2{-350.0f, 8.0f}, kTopRight, nullptr, game.HudFont(30), false);
    const Font* small = game.HudFont(8);
    {
        std::lock_guard<std::mutex> lock(tableLock);
        float y = 70.0f;
        for (const ScoreEntry& e : scores.entries) {
            sprites->DrawText(e.name, Vector2{panelX + 8.0f, y}, kTopRight, nullptr, small, false);
            if (game.session.gameType == 16) {
                sprites->DrawText(SharedString::Format(": %.0f", double(e.money)), Vector2{panelX + 66.0f, y}, kTopRight,
                                  nullptr, small, false);
                sprites->DrawText(SharedString::Format(": %d", e.score), Vector2{panelX + 116.0f, y}, kTopRight, nullptr,
                                  small, false);
            } else {
                sprites->DrawText(SharedString::Format(": %d", e.score), Vector2{panelX + 66.0f, y}, kTopRight, nullptr,
                                  small, false);
            }
            y += 16.0f;
        }
        // Name tags over the other players' cars in front of the camera.
        const Font* tagFont = game.HudFont(20);
        const Camera& camera = game.camera;
        const Vector3 forward = CameraForward(camera);
        for (const ScoreEntry& e : scores.entries) {
            if (!e.vehicle || e.playerId == localPlayerId_ || !tagFont) continue;
            const Vector3 at = e.vehicle->GetPosition() + Vector3(0.0f, 20.0f, 0.0f);
            const Vector3 d = at - camera.position;
            const float distance = d.Length();
            if (distance >= 2000.0f || Vector3::Dot(d, forward) <= 0.0f) continue;
            const float alpha = distance <= 1000.0f ? 1.0f : 1.0f - (distance - 1000.0f) / 1000.0f;
            const Color white{uint8_t(255.0f * alpha), 255, 255, 255};
            const Vector2 p = camera.Project(at);
            const float w = float(tagFont->GetTextWidth(e.name));
            sprites->DrawText(e.name, Vector2{p.x - w * 0.5f, p.y}, kTopLeft, &white, tagFont, false);
        }
    }
    if (showClock && timed) {
        const SharedString clock = FormatClock(timeLeft);
        const Font* font = game.engine.defaultFont;
        const float w = font ? float(font->GetTextWidth(clock)) : 0.0f;
        sprites->DrawText(clock, Vector2{150.0f - w, 8.0f}, kTopLeft, nullptr, nullptr, false);
    }
    if (finishing) {
        const float w = float(sprites->ScreenWidth()), h = float(sprites->ScreenHeight());
        const RectF all{0.0f, 0.0f, w, h};
        sprites->FillRect(&all, Color{uint8_t(std::min(255.0f, 255.0f * 0.2f * endTimer)), 0, 0, 0});
        const SharedString banner = game.engine.Text(endedByScore ? kScoreBanner : kTimeUpBanner);
        const Font* big = game.HudFont(50);
        const float bw = big ? float(big->GetTextWidth(banner)) : 0.0f;
        sprites->DrawText(banner, Vector2{-bw * 0.5f, -64.0f}, kCentre, nullptr, big, false);
    }
    const Font* messageFont = game.HudFont(20);
    for (size_t i = 0; i < messages.size() && i < kMaxMessages; ++i) {
        SharedString name;
        {
            std::lock_guard<std::mutex> lock(tableLock);
            if (const ScoreEntry* e = scores.Find(messages[i].playerId)) name = e->name;
        }
        const SharedString text = SharedString::Format("%s : %s", name.c_str(), game.engine.Text(messages[i].textId).c_str());
        const float w = messageFont ? float(messageFont->GetTextWidth(text)) : 0.0f;
        sprites->DrawText(text, Vector2{messageSlots[i].x - w * 0.5f, messageSlots[i].y - 64.0f}, kCentre, nullptr,
                          messageFont, false);
    }
}

void MultiplayerMode::DrawOverlay(const Vector3& centre, float scale) {
    GameMode::DrawOverlay(centre, scale);
    std::lock_guard<std::mutex> lock(tableLock);
    for (const ScoreEntry& e : scores.entries)
        if (e.vehicle && e.playerId != localPlayerId_) DrawMapCross(e.vehicle->GetPosition(), centre, scale);
}
