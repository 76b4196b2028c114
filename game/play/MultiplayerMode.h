#pragma once
// The base of every network game: every player's car, the score table kept by the host and
// broadcast on the game-mode channel, the scoreboard panel, name tags, the clock, the players'
// quick messages, and the end on the time or score limit (banner, fade, the final table to the
// menus). The host's receiver runs on the network thread and only queues what it decoded; the
// main thread applies it in Update.
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/core/Math.h"
#include "engine/net/Channel.h"
#include "game/play/GameMode.h"
#include "game/play/Scoreboard.h"
#include "game/world/LevelData.h"

class Sprite;
class ZKClient;
class ZKServer;

class MultiplayerMode : public GameMode {
public:
    static constexpr float kNoTimeLimit = 3.4028235e38f;
    static constexpr int32_t kNoScoreLimit = 100000000;
    static constexpr float kEndDelay = 5.0f;
    static constexpr float kMessageTime = 2.0f;
    static constexpr size_t kMaxMessages = 5;
    static constexpr float kMessageInterval = 1.0f;
    static constexpr uint32_t kPanelAction = 0x36;
    // Ticker texts of a kill and a suicide, the leaders' titles and the end banners.
    static constexpr int32_t kKillText = 55446600;
    static constexpr int32_t kSuicideText = 55446603;
    static constexpr int32_t kLeaderTitle = 66889900;
    static constexpr int32_t kTimeUpBanner = 66889950;
    static constexpr int32_t kScoreBanner = 66889951;

    struct QuickMessage {
        float timeLeft = kMessageTime;
        int32_t playerId = 0;
        int32_t textId = 0;
    };

    explicit MultiplayerMode(Game& game);
    ~MultiplayerMode() override;

    // Registers the channels with the game's client and server (the set-up calls it).
    void Connect(ZKClient* client, ZKServer* server);
    void Disconnect();

    void Init() override;
    void Update(float dt) override;
    void DrawHud() override;
    void DrawOverlay(const Vector3& centre, float scale) override;
    void Succeed() override {}
    void Fail() override {}
    void OnPedestrianHit(Vehicle* hitter, Pedestrian& pedestrian) override;
    void OnTrafficCarWrecked(Vehicle* instigator) override;
    void OnVehicleDestroyed(Vehicle* killer, Vehicle* victim) override;
    // A quick message of the local player (keys 1 to 9): at most one a second, five shown.
    void BroadcastTickerText(int32_t textId) override;

    // Every player's car, each at its own respawn point (reused when there are fewer).
    virtual void CreateRemoteVehicle();
    // Host: sorts the table and sends it to everyone.
    virtual void BroadcastScores(int32_t kind, int32_t killer, int32_t victim);
    virtual bool CountsAsKill(const Vehicle* killer, const Vehicle* victim) const;
    virtual void GetLeaderNames(SharedString (&out)[4]) const;

    // The local player's id (its client number) and the id of a car's player (-1: none).
    int32_t LocalPlayerId() const { return localPlayerId_; }
    int32_t PlayerIdOf(const Vehicle* car) const;
    bool IsHost() const { return Server() != nullptr; }
    // The host's queued messages, applied now (Update does it every frame).
    void ApplyHostQueue();

    float timeLeft = kNoTimeLimit;
    int32_t scoreLimit = kNoScoreLimit;
    std::mutex tableLock;
    Scoreboard scores;
    int32_t endedByScore = 0;
    Vector2 messageSlots[kMaxMessages] = {{100, 50}, {100, -150}, {-100, 50}, {-100, -100}, {100, 120}};
    float messageCooldown = 10.0f;
    std::vector<QuickMessage> messages;
    float endTimer = 0.0f;
    float panelAlpha = 0.0f;
    // The final table went to the menus.
    bool handedOver = false;
    // Each player's lobby team (the team game compares them).
    std::vector<int32_t> teams;

protected:
    // Main thread; the concrete modes add their own types and call these for the rest.
    virtual void OnClientMessage(const modemsg::Message& message);
    virtual void OnServerMessage(int32_t senderIndex, const modemsg::Message& message);
    // Frames to the host and from it to everyone.
    void SendToHost(const std::vector<uint8_t>& frame);
    void SendToAll(const std::vector<uint8_t>& frame);
    void Decide(bool byScore);
    // The reused buffer of outgoing frames (main thread).
    std::vector<uint8_t> out_;
    // The endpoints the channels are registered with; null once they are closed.
    ZKClient* Client() const { return clientSide_.GetClient(); }
    ZKServer* Server() const { return serverSide_.GetServer(); }
    int32_t localPlayerId_ = -1;
    int32_t localIndex_ = 0;
    // Respawn points the mode gives the local car as it moves on (a drop point's position).
    RespawnPoint ownRespawn_;

private:
    struct ClientSide final : ClientChannel {
        explicit ClientSide(MultiplayerMode& m) : ClientChannel(modemsg::kChannel), mode(m) {}
        void Receive(const uint8_t* payload, int32_t size) override;
        MultiplayerMode& mode;
    };
    struct ServerSide final : ServerChannel {
        explicit ServerSide(MultiplayerMode& m) : ServerChannel(modemsg::kChannel), mode(m) {}
        void Receive(int32_t senderIndex, const uint8_t* payload, int32_t size) override;
        MultiplayerMode& mode;
    };
    struct Queued {
        int32_t sender;
        modemsg::Message message;
    };
    void HandOverTable();
    std::unique_ptr<Sprite> panel_;
    ClientSide clientSide_{*this};
    ServerSide serverSide_{*this};
    // Filled on the network thread, drained on the main thread; both vectors keep their room.
    std::mutex queueLock_;
    std::vector<Queued> queue_, draining_;
};
