#include "game/play/StartBarrier.h"

#include <algorithm>

#include "engine/net/ZKClient.h"
#include "engine/net/ZKServer.h"

bool StartBarrier::IsReadyMessage(const uint8_t* payload, int32_t size) {
    (void)payload;
    return size == 0;
}

StartBarrier::StartBarrier(ZKClient* client, ZKServer* server)
    : client_(client), server_(server), hostReceiver_(*this) {}

StartBarrier::~StartBarrier() { Unregister(); }

void StartBarrier::Register() {
    if (registered_) return;
    registered_ = true;
    if (client_) client_->AddChannel(&clientReceiver_);
    if (server_) server_->AddChannel(&hostReceiver_);
}

void StartBarrier::Unregister() {
    if (!registered_) return;
    registered_ = false;
    if (client_) client_->RemoveChannel(&clientReceiver_);
    if (server_) server_->RemoveChannel(&hostReceiver_);
}

void StartBarrier::SendReady() {
    if (!client_) return;
    const uint8_t message = kChannel;
    client_->Send(&message, 1, 0.0f, false, true, true);
}

void StartBarrier::HostReceiver::Receive(int32_t senderIndex, const uint8_t* payload, int32_t size) {
    if (!IsReadyMessage(payload, size)) return;
    // The index is the sender's place in the table now; its number stays the same when an
    // earlier player leaves before the main thread applies the message.
    ZKServer* server = GetServer();
    if (!server) return;
    const std::vector<PlayerRecord>& players = server->GetPlayers();
    if (senderIndex < 0 || size_t(senderIndex) >= players.size()) return;
    std::lock_guard<std::mutex> lock(owner_.queueLock_);
    owner_.queued_.push_back(players[size_t(senderIndex)].number);
}

void StartBarrier::ClientReceiver::Receive(const uint8_t* payload, int32_t size) {
    if (IsReadyMessage(payload, size)) released = true;
}

void StartBarrier::Update() {
    if (!server_ || releaseSent_) return;
    {
        std::lock_guard<std::mutex> lock(queueLock_);
        for (uint32_t n : queued_)
            if (std::find(ready_.begin(), ready_.end(), n) == ready_.end()) ready_.push_back(n);
        queued_.clear();
    }
    // The flags follow the table as it is now: a player who joined late must also be ready, one
    // who left holds nobody back.
    players_.clear();
    server_->Lock();
    for (const PlayerRecord& p : server_->GetPlayers()) players_.push_back(p.number);
    server_->Unlock();
    if (players_.empty()) return;
    for (uint32_t n : players_)
        if (std::find(ready_.begin(), ready_.end(), n) == ready_.end()) return;
    releaseSent_ = true;
    const uint8_t message = kChannel;
    server_->SendTo(&message, 1, -1, 0.0f, false, true, true);
}

std::vector<uint32_t> StartBarrier::ReadyPlayers() { return ready_; }
