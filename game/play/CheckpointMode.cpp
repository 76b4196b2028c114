#include "game/play/CheckpointMode.h"

#include <cstdlib>

#include "engine/core/Camera.h"
#include "engine/core/EngineServices.h"
#include "engine/net/ZKClient.h"
#include "engine/render/RenderFacility.h"
#include "engine/render/SpriteRenderer.h"
#include "game/play/Game.h"
#include "game/vehicles/Vehicle.h"

namespace {
enum : int32_t { kTopLeft = 0x09 };
} // namespace

CheckpointMode::CheckpointMode(Game& owner) : MultiplayerMode(owner) {
    showClock = 0;
    secondDisplay = 0;
    respawn = 0;
}

CheckpointMode::~CheckpointMode() = default;

int32_t CheckpointMode::PickCheckpoint(int64_t number, int32_t old, int32_t count) {
    if (count <= 0) return -1;
    // A negative number from a peer still lands on a point.
    int32_t pick = int32_t(((number % count) + count) % count);
    for (int32_t tries = 0; pick == old && count > 1 && tries < kMaxTries; ++tries) pick = (pick + 1) % count;
    return pick;
}

int32_t CheckpointMode::TickerText(int32_t offset) const {
    return (game.session.episode + 4 * game.session.mission) * 100 + offset;
}

DropPoint* CheckpointMode::Checkpoint() {
    std::vector<DropPoint>& points = game.world.dropPoints;
    return InRange(checkpoint, points) ? &points[size_t(checkpoint)] : nullptr;
}

void CheckpointMode::Init() {
    MultiplayerMode::Init();
    uint32_t seed = 0;
    if (Client()) {
        Client()->Lock();
        const std::vector<uint8_t>& session = Client()->GetServerData();
        if (session.size() == 20) {
            PayloadReader r(session.data(), session.size());
            r.skip(4);
            ownChain = r.u32() == uint32_t(kSharedVariant) ? 0 : 1;
            seed = r.u32();
        }
        Client()->Unlock();
    }
    checkpoint = PickCheckpoint(int64_t(seed), -1, int32_t(game.world.dropPoints.size()));
    if (DropPoint* p = Checkpoint()) p->Activate();
    marker = std::make_unique<DestinationMarker>(game.engine.renderer);
    PushTickerLanguageText(TickerText(10080));
}

void CheckpointMode::MoveCheckpoint(int64_t number) {
    if (DropPoint* old = Checkpoint()) {
        old->Deactivate();
        ownRespawn_.position = old->position;
        if (Vehicle* car = game.PlayerCar()) car->respawn.respawnPoint = &ownRespawn_;
    }
    checkpoint = PickCheckpoint(number, checkpoint, int32_t(game.world.dropPoints.size()));
    if (DropPoint* p = Checkpoint()) p->Activate();
}

void CheckpointMode::Update(float dt) {
    MultiplayerMode::Update(dt);
    timeLeft = std::max(0.0f, timeLeft - dt);
    DropPoint* point = Checkpoint();
    if (!point) return;
    if (marker) {
        marker->SetPosition(point->position);
        marker->Update(dt);
    }
    const Vehicle* car = game.PlayerCar();
    if (!car || finishing || !point->IsActive() || !point->Contains(car->GetPosition())) return;
    if (!ownChain && !(car->GetLinearVelocity().Length() < kSharedReachSpeed)) return;
    
    point->Deactivate();
    if (ticker.empty()) PushTickerLanguageText(TickerText(10082));
    randomState = NextRandom(randomState);
    const int64_t number = std::llabs(int64_t(randomState));
    modemsg::WriteReached(out_, localPlayerId_, int32_t(number & 0x7FFFFFFF));
    SendToHost(out_);
    if (ownChain) MoveCheckpoint(number);
}

void CheckpointMode::OnServerMessage(int32_t senderIndex, const modemsg::Message& m) {
    if (m.type == modemsg::kKill && m.player == m.victim) {
        std::lock_guard<std::mutex> lock(tableLock);
        if (ScoreEntry* e = scores.Find(m.player)) --e->score;
    }
    if (m.type != modemsg::kReached) {
        MultiplayerMode::OnServerMessage(senderIndex, m);
        return;
    }
    if (!m.hasPlayer) return;
    {
        std::lock_guard<std::mutex> lock(tableLock);
        ScoreEntry* e = scores.Find(m.player);
        if (!e) return;
        ++e->score;
        BroadcastScores(0, 0, 0);
    }
    if (!ownChain) {
        modemsg::WriteNextCheckpoint(out_, m.number);
        SendToAll(out_);
    }
}

void CheckpointMode::OnClientMessage(const modemsg::Message& m) {
    if (m.type != modemsg::kReached) {
        MultiplayerMode::OnClientMessage(m);
        return;
    }
    if (m.hasPlayer) return;
    MoveCheckpoint(m.number);
    if (ticker.empty()) PushTickerLanguageText(TickerText(10081));
}

void CheckpointMode::Draw3D(const Camera& camera) {
    DropPoint* point = Checkpoint();
    if (!point || !point->IsActive()) return;
    if (marker) marker->Draw(camera);
    DrawGuideArrow(camera, point->position - camera.position);
}

void CheckpointMode::DrawHud() {
    GameMode::DrawHud();
    RenderFacility* renderer = game.engine.renderer;
    SpriteRenderer* sprites = renderer ? renderer->GetSpriteRenderer() : nullptr;
    if (sprites) {
        if (DropPoint* point = Checkpoint())
            sprites->DrawText(SharedString::Format("%s", point->name.c_str()), Vector2{30.0f, 32.0f}, kTopLeft, nullptr,
                              nullptr, false);
    }
    MultiplayerMode::DrawHud();
}

void CheckpointMode::DrawOverlay(const Vector3& centre, float scale) {
    MultiplayerMode::DrawOverlay(centre, scale);
    if (DropPoint* point = Checkpoint()) DrawMapCross(point->position, centre, scale);
}
