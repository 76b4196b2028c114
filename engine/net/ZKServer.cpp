#include "engine/net/ZKServer.h"

#include <algorithm>
#include <cstring>

#include "engine/core/Debugger.h"
#include "engine/net/NetProtocol.h"

namespace {
constexpr uint32_t kCloseWaitMs = 1000;
// How soon a turn that could not take the server mutex is tried again.
constexpr uint32_t kRetryMs = 5;
// A full table (capped names and data) stays well inside the transport's packet cap.
constexpr size_t kMaxSessionClients = 32;
}

ServerChannel::~ServerChannel() {
    if (server_) server_->RemoveChannel(this);
}

ZKServer::ZKServer(SharedString serverName, SharedString sessionName, uint32_t port, int playerCount,
                   const NetOptions& options)
    : options_(options), serverName_(serverName), sessionName_(sessionName) {
    Debugger& log = Debugger::Instance();
    // More clients than this would make the published player table larger than one message.
    size_t slots = std::min(std::max(options_.maxClients, size_t(std::max(playerCount, 1))), kMaxSessionClients);
    if (playerCount > int(slots))
        log.Log(2, "ZKNET: Session of %d players limited to %d", playerCount, int(slots));
    playerCount_ = std::clamp(playerCount, 0, int(slots));
    RefreshEnumInfo();
    if (port > 0xFFFF) {
        log.Log(1, "ZKNET: Server port init failed");
        return;
    }
    plat::NetHostConfig config;
    config.bindAddress = options_.BindAddress();
    config.port = uint16_t(port);
    config.maxClients = slots;
    config.allowBroadcast = false;
    config.maxQueuedReliableBytes = kMaxQueuedBytesPerClient;
    plat::NetHostError error = plat::NetHostError::None;
    host_ = plat::NetHost::CreateServer(config, this, &error);
    if (!host_) {
        log.Log(1, error == plat::NetHostError::Library   ? "ZKNET: Server init failed"
                   : error == plat::NetHostError::Address ? "ZKNET: Server protocol init failed"
                                                          : "ZKNET: Server connect failed");
        return;
    }
    host_->SetSendRate(options_.sendRate);
    host_->Start();
    log.Log(1, "ZKNET: Server running");
}

ZKServer::~ZKServer() {
    {
        std::lock_guard<Mutex> lock(mutex_);
        for (ServerChannel* c : channels_) c->server_ = nullptr;
        channels_.clear();
    }
    if (host_) {
        // Every client hears that the session ended before the port closes.
        host_->DisconnectAll(kCloseWaitMs);
        host_->Stop();  // no callback runs past this point, so host_ may go
        host_.reset();
    }
}

uint16_t ZKServer::GetPort() const { return host_ ? host_->Port() : 0; }

int32_t ZKServer::SetSessionDesc(SharedString sessionName, int playerCount) {
    if (!host_) return -1;
    std::lock_guard<Mutex> lock(mutex_);
    int slots = int(host_->SlotCount()) - 1;
    if (playerCount > slots)
        Debugger::Instance().Log(2, "ZKNET: Session of %d players limited to %d", playerCount, slots);
    sessionName_ = sessionName;
    playerCount_ = std::clamp(playerCount, 0, slots);
    RefreshEnumInfo();
    return 0;
}

void ZKServer::SetServerInfo(SharedString name, const uint8_t* data, uint32_t size) {
    if (size > netproto::kMaxServerData || (size && !data)) {
        Debugger::Instance().Log(1, "ZKNET: Server data of %u bytes not published", size);
        return;
    }
    std::lock_guard<Mutex> lock(mutex_);
    serverName_ = name;
    serverData_.assign(data, data + size);
    tableChanged_ = true;
    Publish();
    RefreshEnumInfo();
}

bool ZKServer::SendFrame(plat::NetPeerHandle peer, const uint8_t* data, uint32_t size, const SendOptions& how) {
    static const uint8_t kHead[1] = {netproto::kGameFrame};
    plat::NetSendResult r = host_->Send(peer, kHead, {data, size},
                                        how.guaranteed ? plat::NetDelivery::Reliable : plat::NetDelivery::Unsequenced,
                                        how.synchronous, how.highPriority, how.timeoutMs);
    if (r == plat::NetSendResult::SentAsUnreliableFragments && !oversizeLogged_[data[0]].exchange(true))
        Debugger::Instance().Log(2, "ZKNET: Unguaranteed message of %u bytes on channel %u is larger than one datagram",
                                 size, unsigned(data[0]));
    NoteOverflow(peer, r);
    return r == plat::NetSendResult::Sent || r == plat::NetSendResult::SentAsUnreliableFragments;
}

void ZKServer::NoteOverflow(plat::NetPeerHandle peer, plat::NetSendResult result) {
    if (result != plat::NetSendResult::QueueFull) return;
    if (std::find(overflowed_.begin(), overflowed_.end(), peer) != overflowed_.end()) return;
    int32_t index = IndexOfPeer(peer);
    if (index < 0) return;
    Debugger::Instance().Log(1, "ZKNET: Client %u is not taking its messages (over %zu bytes waiting), disconnected",
                             players_[size_t(index)].number, kMaxQueuedBytesPerClient);
    overflowed_.push_back(peer);
}

void ZKServer::RemoveOverflowed() {
    if (overflowed_.empty()) return;
    for (plat::NetPeerHandle peer : overflowed_) {
        int32_t index = IndexOfPeer(peer);
        if (index < 0) continue;
        players_.erase(players_.begin() + index);
        tableChanged_ = true;
    }
    overflowed_.clear();
    RefreshEnumInfo();
}

int32_t ZKServer::SendTo(const uint8_t* data, uint32_t size, int32_t clientNumber, float timeout, bool synchronous,
                         bool guaranteed, bool highPriority) {
    if (!host_ || !data || size == 0) return -1;
    const SendOptions how{synchronous, guaranteed, highPriority, netproto::TimeoutMs(timeout)};
    std::lock_guard<Mutex> lock(mutex_);
    // A table change made before this message reaches the clients before it.
    if (guaranteed) Publish();
    if (clientNumber == -1) {
        bool any = false;
        for (const PlayerRecord& p : players_) any |= SendFrame(p.peer, data, size, how);
        return any ? 0 : -1;
    }
    for (const PlayerRecord& p : players_) {
        if (int64_t(p.number) == int64_t(clientNumber)) return SendFrame(p.peer, data, size, how) ? 0 : -1;
    }
    return -1;
}

uint32_t ZKServer::GetMaxSendQueueLength() const {
    return host_ ? uint32_t(std::max(0, host_->MaxSendQueueLength())) : 0;
}

void ZKServer::AddChannel(ServerChannel* channel) {
    if (!channel) return;
    if (channel->server_ && channel->server_ != this) channel->server_->RemoveChannel(channel);
    std::lock_guard<Mutex> lock(mutex_);
    if (std::find(channels_.begin(), channels_.end(), channel) == channels_.end()) channels_.push_back(channel);
    channel->server_ = this;
}

void ZKServer::RemoveChannel(ServerChannel* channel) {
    if (!channel) return;
    std::lock_guard<Mutex> lock(mutex_);
    auto it = std::find(channels_.begin(), channels_.end(), channel);
    if (it != channels_.end()) channels_.erase(it);
    if (channel->server_ == this) channel->server_ = nullptr;
}

void ZKServer::DispatchFrame(int32_t senderIndex, const uint8_t* frame, size_t size) {
    std::lock_guard<Mutex> lock(mutex_);
    bool taken = netdetail::DispatchFrame(
        channels_, frame, size, [](ServerChannel* c) { return c->GetServerChannelId(); },
        [senderIndex](ServerChannel* c, const uint8_t* payload, int32_t n) { c->Receive(senderIndex, payload, n); });
    if (!taken && frame && size > 0)
        Debugger::Instance().Log(3, "ZKNET: Message for channel %u dropped", unsigned(frame[0]));
}

int32_t ZKServer::IndexOfPeer(plat::NetPeerHandle peer) const {
    for (size_t i = 0; i < players_.size(); ++i)
        if (players_[i].peer == peer) return int32_t(i);
    return -1;
}

void ZKServer::OnPeerConnected(plat::NetPeerHandle peer, uint32_t connectData) {
    Debugger& log = Debugger::Instance();
    std::lock_guard<Mutex> lock(mutex_);
    uint32_t reason = 0;
    if (connectData != netproto::kTransportVersion)
        reason = netproto::kRejectVersionMismatch;
    else if (players_.size() >= size_t(playerCount_))
        reason = netproto::kRejectSessionFull;
    if (reason) {
        log.Log(2, reason == netproto::kRejectSessionFull ? "ZKNET: Session full, client refused"
                                                          : "ZKNET: Client of another transport version refused");
        netproto::BuildReject(controlBuffer_, reason);
        host_->Send(peer, {}, controlBuffer_, plat::NetDelivery::Reliable, true);
        host_->DisconnectLater(peer);
        return;
    }
    PlayerRecord record;
    record.number = nextClientNumber_++;
    record.peer = peer;
    netproto::BuildAssign(controlBuffer_, record.number);
    host_->Send(peer, {}, controlBuffer_, plat::NetDelivery::Reliable, true);
    players_.push_back(std::move(record));
    RefreshEnumInfo();
}

void ZKServer::OnPeerDisconnected(plat::NetPeerHandle peer) {
    std::lock_guard<Mutex> lock(mutex_);
    int32_t index = IndexOfPeer(peer);
    if (index < 0) return;
    players_.erase(players_.begin() + index);
    tableChanged_ = true;
    RefreshEnumInfo();
}

void ZKServer::OnPacket(plat::NetPeerHandle peer, const uint8_t* data, size_t size) {
    PayloadReader r(data, size);
    uint8_t kind = r.u8();
    if (!r.ok()) return;
    const uint8_t* body = r.cursor();
    size_t bodySize = r.remaining();
    if (kind == netproto::kGameFrame && bodySize >= 1) {
        std::lock_guard<Mutex> lock(mutex_);
        int32_t sender = IndexOfPeer(peer);
        // A refused connection lingers until its disconnect completes; it gets no say.
        if (sender < 0) return;
        DispatchFrame(sender, body, bodySize);
        return;
    }
    if (kind == netproto::kClientInfo) {
        netproto::ClientInfo info;
        if (netproto::ParseClientInfo(body, bodySize, info)) {
            std::lock_guard<Mutex> lock(mutex_);
            int32_t index = IndexOfPeer(peer);
            if (index >= 0) {
                // The number stays the one assigned: the client's own claim is not trusted.
                PlayerRecord& p = players_[size_t(index)];
                p.name = SharedString(info.name);
                p.data.assign(info.data.begin() + 4, info.data.end());
                tableChanged_ = true;
            }
            return;
        }
    }
    Debugger::Instance().Log(3, "ZKNET: Malformed message (kind %u, %zu bytes) dropped", unsigned(kind), size);
}

uint32_t ZKServer::OnIdle() {
    // The end of a turn of the network thread. While another thread holds the server (the game
    // walking the table) the table waits a turn rather than the network thread.
    if (!mutex_.TryLock()) return kRetryMs;
    std::lock_guard<Mutex> lock(mutex_, std::adopt_lock);
    RemoveOverflowed();
    if (!tableChanged_) return UINT32_MAX;
    auto due = publishedAt_ + kServerFrame - std::chrono::steady_clock::now();
    if (due <= due.zero()) {
        Publish();
        return UINT32_MAX;
    }
    return uint32_t(std::chrono::ceil<std::chrono::milliseconds>(due).count());
}

void ZKServer::Publish() {
    if (!host_ || !tableChanged_) return;
    tableChanged_ = false;
    netproto::ServerInfo& info = tableInfo_;
    info.name.assign(serverName_.View());
    info.serverData.assign(serverData_.begin(), serverData_.end());
    info.players.resize(players_.size());
    for (size_t i = 0; i < players_.size(); ++i) {
        info.players[i].reserved = players_[i].reserved;
        info.players[i].number = players_[i].number;
        info.players[i].name.assign(players_[i].name.View());
        info.players[i].data.assign(players_[i].data.begin(), players_[i].data.end());
    }
    netproto::BuildServerInfo(controlBuffer_, info);
    // Nobody joins with a number seen before, so an unchanged table reached every player.
    if (controlBuffer_ == publishedTable_) return;
    std::swap(controlBuffer_, publishedTable_);
    publishedAt_ = std::chrono::steady_clock::now();
    for (const PlayerRecord& p : players_)
        NoteOverflow(p.peer, host_->Send(p.peer, {}, publishedTable_, plat::NetDelivery::Reliable, false));
}

void ZKServer::RefreshEnumInfo() {
    netproto::EnumAnswer a;
    a.currentPlayers = uint32_t(players_.size() + 1);
    a.maxPlayers = uint32_t(playerCount_ + 1);
    a.sessionName = std::string(sessionName_.View());
    a.responseData = serverData_;
    auto info = std::make_shared<EnumInfo>();
    netproto::BuildEnumAnswer(info->answer, a);
    enumInfo_.store(std::move(info));
}

bool ZKServer::OnRawDatagram(const plat::NetAddress&, const uint8_t* data, size_t size, plat::NetRawReply& reply) {
    uint32_t ticks;
    if (!netproto::ParseEnumQuery(data, size, ticks)) return false;
    std::shared_ptr<const EnumInfo> info = enumInfo_.load();
    uint8_t answer[netproto::kMaxEnumAnswerSize];
    if (!info || info->answer.size() > sizeof answer) return true;
    if (size < info->answer.size()) {
        // Anyone can send these with any source address: say so once, not once per datagram.
        if (!shortQueryLogged_.exchange(true))
            Debugger::Instance().Log(2, "ZKNET: Host search of %zu bytes is smaller than its answer, ignored", size);
        return true;
    }
    std::memcpy(answer, info->answer.data(), info->answer.size());
    for (int i = 0; i < 4; ++i) answer[netproto::kEnumAnswerTicksOffset + i] = uint8_t(ticks >> (8 * i));
    Debugger::Instance().Log(1, "ZKNET: Querying host");
    reply.Reply(answer, info->answer.size());
    return true;
}
