#include "engine/net/ZKClient.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <limits>

#include "engine/core/Debugger.h"
#include "engine/net/NetProtocol.h"
#include "platform/sys/Clock.h"

namespace {
constexpr uint32_t kQueryIntervalMs = 1000;
// How soon a turn that could not take the client mutex is tried again.
constexpr uint32_t kRetryMs = 5;
constexpr float kHostRecordLifetime = 15.0f;
constexpr uint32_t kDisconnectWaitMs = 1000;
constexpr size_t kMaxPendingAnswers = 32;
constexpr size_t kMaxHostRecords = 64;
// Frames the main thread has not dispatched yet; beyond this the client drops and logs.
constexpr size_t kMaxQueuedBytes = 8u << 20;

uint32_t NowMs() { return plat::CurrentClock().Milliseconds(); }

bool IsLoopback(const plat::NetAddress& a) {
    // host is in network byte order: the first octet is the lowest byte.
    return (a.host & 0xFFu) == 127u;
}
} // namespace

ClientChannel::~ClientChannel() {
    if (client_) client_->RemoveChannel(this);
}

ZKClient::ZKClient(const NetOptions& options) : options_(options) {
    answers_.reserve(kMaxPendingAnswers);
    answersInWork_.reserve(kMaxPendingAnswers);
    host_ = plat::NetHost::CreateClient(this, options_.lanPlay);
    if (!host_)
        Debugger::Instance().Log(1, "ZKCLIENT: Failed init");
    else {
        host_->SetSendRate(options_.sendRate);
        host_->Start();
    }
}

ZKClient::~ZKClient() {
    {
        std::lock_guard<Mutex> lock(mutex_);
        for (ClientChannel* c : channels_) c->client_ = nullptr;
        channels_.clear();
    }
    Disconnect();
    if (host_) host_->Stop();  // joins the network thread before any member goes
    host_.reset();
}

void ZKClient::EnumerateHosts(SharedString sessionName, SharedString hostName, uint32_t port) {
    (void)sessionName;
    EnumerateHosts(hostName, port);
}

void ZKClient::EnumerateHosts(SharedString hostName, uint32_t port) {
    Debugger& log = Debugger::Instance();
    {
        std::lock_guard<Mutex> lock(mutex_);
        hosts_.clear();
    }
    StopEnumeration();
    if (!host_) {
        log.Log(1, "ZKCLIENT: Failed enum");
        return;
    }
    if (port > 0xFFFF) {
        log.Log(1, "ZKCLIENT: Failed port init");
        log.Log(1, "ZKCLIENT: Failed enum");
        return;
    }
    SharedString upper = hostName.Clone();
    upper.ToUpper();
    plat::NetAddress target;
    if (hostName.IsEmpty()) {
        // Only LAN play searches the local network; otherwise this machine alone.
        target = options_.lanPlay ? plat::BroadcastAddress(uint16_t(port)) : plat::LoopbackAddress(uint16_t(port));
    } else if (upper == "LOCALHOST") {
        target = plat::LoopbackAddress(uint16_t(port));
    } else if (!plat::ResolveNetAddress(hostName.c_str(), uint16_t(port), target)) {
        log.Log(1, "ZKCLIENT: Failed hostname init");
        log.Log(1, "ZKCLIENT: Failed enum");
        return;
    }
    {
        std::lock_guard<Mutex> lock(mutex_);
        enumTarget_ = target;
        enumerating_ = true;
        querySent_ = false;
    }
    log.Log(1, "ZKCLIENT: Enumerating...");
}

void ZKClient::StopEnumeration() {
    std::lock_guard<Mutex> lock(mutex_);
    enumerating_ = false;
}

bool ZKClient::Connect(int hostIndex, uint32_t waitMs) {
    if (!host_) return false;
    plat::NetAddress address;
    {
        std::lock_guard<Mutex> lock(mutex_);
        if (hostIndex < 0 || size_t(hostIndex) >= hosts_.size()) return false;
        address = hosts_[size_t(hostIndex)].address;
    }
    if (server_.load() != plat::kNoNetPeer) Disconnect();

    {
        std::lock_guard<std::mutex> lock(connectLock_);
        connectState_ = ConnectState::Waiting;
    }
    plat::NetPeerHandle peer = host_->Connect(address, netproto::kTransportVersion);
    if (peer == plat::kNoNetPeer) {
        FinishConnect(ConnectState::Idle);
        return false;
    }
    server_.store(peer);

    ConnectState result;
    {
        std::unique_lock<std::mutex> lock(connectLock_);
        connectCv_.wait_for(lock, std::chrono::milliseconds(std::min(waitMs, kConnectWaitMs)),
                            [this] { return connectState_ != ConnectState::Waiting; });
        result = connectState_;
        connectState_ = ConnectState::Idle;
    }
    if (result != ConnectState::Assigned) {
        server_.store(plat::kNoNetPeer);
        host_->Reset(peer);
        return false;
    }
    std::lock_guard<Mutex> lock(mutex_);
    enumerating_ = false;
    hosts_.clear();
    connected_.store(true);
    return true;
}

bool ZKClient::ConnectToEmptyHost(uint32_t waitMs) {
    int index = -1;
    {
        std::lock_guard<Mutex> lock(mutex_);
        for (size_t i = 0; i < hosts_.size(); ++i) {
            // Only a session on this machine: the host's own client joins its own server.
            if (hosts_[i].currentPlayers == 0 && IsLoopback(hosts_[i].address)) {
                index = int(i);
                break;
            }
        }
    }
    return index >= 0 && Connect(index, waitMs);
}

void ZKClient::FinishConnect(ConnectState state) {
    {
        std::lock_guard<std::mutex> lock(connectLock_);
        if (state != ConnectState::Idle && connectState_ != ConnectState::Waiting) return;
        connectState_ = state;
    }
    connectCv_.notify_all();
}

void ZKClient::Disconnect() {
    StopEnumeration();
    plat::NetPeerHandle peer = server_.exchange(plat::kNoNetPeer);
    if (peer != plat::kNoNetPeer && host_) host_->Disconnect(peer, kDisconnectWaitMs);
    connected_.store(false);
}

void ZKClient::SetPlayerInfo(SharedString name, const uint8_t* data, uint32_t size) {
    if (size > netproto::kMaxClientData - 4 || (size && !data)) {
        Debugger::Instance().Log(1, "ZKCLIENT: Player data of %u bytes not sent", size);
        return;
    }
    uint8_t block[netproto::kMaxClientData];
    std::lock_guard<Mutex> lock(mutex_);
    for (int i = 0; i < 4; ++i) block[i] = uint8_t(clientNumber_ >> (8 * i));
    if (size) std::memcpy(block + 4, data, size);
    netproto::BuildClientInfo(controlBuffer_, name.View(), block, size + 4);
    if (host_)
        host_->Send(server_.load(), {}, controlBuffer_, plat::NetDelivery::Reliable, false);
}

int32_t ZKClient::Send(const uint8_t* data, uint32_t size, float timeout, bool synchronous, bool guaranteed,
                       bool highPriority) {
    if (!host_ || !data || size == 0) return -1;
    static const uint8_t kHead[1] = {netproto::kGameFrame};
    plat::NetSendResult r = host_->Send(server_.load(), kHead, {data, size},
                                        guaranteed ? plat::NetDelivery::Reliable : plat::NetDelivery::Unsequenced,
                                        synchronous, highPriority, netproto::TimeoutMs(timeout));
    if (r == plat::NetSendResult::SentAsUnreliableFragments && !oversizeLogged_[data[0]].exchange(true))
        Debugger::Instance().Log(2, "ZKCLIENT: Unguaranteed message of %u bytes on channel %u is larger than one datagram",
                                 size, unsigned(data[0]));
    return r == plat::NetSendResult::Failed ? -1 : 0;
}

uint32_t ZKClient::GetSendQueueLength() const {
    return host_ ? uint32_t(std::max(0, host_->SendQueueLength(server_.load()))) : 0;
}

size_t ZKClient::GetUnguaranteedFrameLimit() const {
    size_t limit = host_ ? host_->UnfragmentedLimit(server_.load()) : 0;
    return limit ? limit - 1 : 0;
}

void ZKClient::Update(float dt) {
    // What arrived since the last frame is taken in here, so the network thread is not woken for
    // every datagram; its handlers take the client mutex themselves.
    if (host_) host_->Service();
    std::lock_guard<Mutex> lock(mutex_);
    for (size_t i = hosts_.size(); i-- > 0;) {
        hosts_[i].age += dt;
        if (hosts_[i].age > kHostRecordLifetime) hosts_.erase(hosts_.begin() + std::ptrdiff_t(i));
    }
    {
        std::lock_guard<std::mutex> queue(queueLock_);
        std::swap(queueBytes_, dispatchBytes_);
        std::swap(queueSizes_, dispatchSizes_);
    }
    size_t offset = 0;
    for (uint32_t size : dispatchSizes_) {
        DispatchFrame(dispatchBytes_.data() + offset, size);
        offset += size;
    }
    dispatchBytes_.clear();
    dispatchSizes_.clear();
}

void ZKClient::AddChannel(ClientChannel* channel) {
    if (!channel) return;
    if (channel->client_ && channel->client_ != this) channel->client_->RemoveChannel(channel);
    std::lock_guard<Mutex> lock(mutex_);
    if (std::find(channels_.begin(), channels_.end(), channel) == channels_.end()) channels_.push_back(channel);
    channel->client_ = this;
}

void ZKClient::RemoveChannel(ClientChannel* channel) {
    if (!channel) return;
    std::lock_guard<Mutex> lock(mutex_);
    auto it = std::find(channels_.begin(), channels_.end(), channel);
    if (it != channels_.end()) channels_.erase(it);
    if (channel->client_ == this) channel->client_ = nullptr;
}

void ZKClient::DispatchFrame(const uint8_t* frame, size_t size) {
    std::lock_guard<Mutex> lock(mutex_);
    bool taken = netdetail::DispatchFrame(
        channels_, frame, size, [](ClientChannel* c) { return c->GetClientChannelId(); },
        [](ClientChannel* c, const uint8_t* payload, int32_t n) { c->Receive(payload, n); });
    if (!taken && frame && size > 0)
        Debugger::Instance().Log(3, "ZKCLIENT: Message for channel %u dropped", unsigned(frame[0]));
}

void ZKClient::OnPeerDisconnected(plat::NetPeerHandle peer) {
    FinishConnect(ConnectState::Failed);
    plat::NetPeerHandle expected = peer;
    server_.compare_exchange_strong(expected, plat::kNoNetPeer);
    if (connected_.exchange(false)) Debugger::Instance().Log(3, "ZKCLIENT: Session terminated");
}

void ZKClient::OnPacket(plat::NetPeerHandle peer, const uint8_t* data, size_t size) {
    (void)peer;  // a client has one peer slot: everything comes from its server
    Debugger& log = Debugger::Instance();
    PayloadReader r(data, size);
    uint8_t kind = r.u8();
    if (!r.ok()) return;
    const uint8_t* body = r.cursor();
    size_t bodySize = r.remaining();
    switch (kind) {
    case netproto::kGameFrame: {
        if (bodySize < 1) {
            log.Log(3, "ZKCLIENT: Empty message dropped");
            return;
        }
        std::lock_guard<std::mutex> lock(queueLock_);
        if (queueBytes_.size() + bodySize > kMaxQueuedBytes) {
            if (!queueOverflowLogged_) log.Log(2, "ZKCLIENT: Receive queue full, messages dropped");
            queueOverflowLogged_ = true;
            return;
        }
        queueBytes_.insert(queueBytes_.end(), body, body + bodySize);
        queueSizes_.push_back(uint32_t(bodySize));
        return;
    }
    case netproto::kAssign: {
        uint32_t number;
        if (!netproto::ParseAssign(body, bodySize, number)) break;
        {
            std::lock_guard<std::mutex> lock(connectLock_);
            if (connectState_ != ConnectState::Waiting) return;  // only the first counts
        }
        {
            std::lock_guard<Mutex> lock(mutex_);
            clientNumber_ = number;
        }
        FinishConnect(ConnectState::Assigned);
        return;
    }
    case netproto::kServerInfo:
        ApplyServerInfo(body, bodySize);
        return;
    case netproto::kReject: {
        uint32_t reason;
        if (!netproto::ParseReject(body, bodySize, reason)) break;
        log.Log(1, reason == netproto::kRejectSessionFull ? "ZKCLIENT: Session is full"
                                                          : "ZKCLIENT: Connection refused");
        FinishConnect(ConnectState::Failed);
        return;
    }
    default:
        break;
    }
    log.Log(3, "ZKCLIENT: Malformed message (kind %u, %zu bytes) dropped", unsigned(kind), size);
}

void ZKClient::ApplyServerInfo(const uint8_t* body, size_t size) {
    netproto::ServerInfo info;
    if (!netproto::ParseServerInfo(body, size, info)) {
        Debugger::Instance().Log(3, "ZKCLIENT: Malformed server information (%zu bytes) ignored", size);
        return;
    }
    std::lock_guard<Mutex> lock(mutex_);
    serverName_ = SharedString(info.name);
    serverData_ = std::move(info.serverData);
    hasServerInfo_ = true;
    players_.resize(info.players.size());
    for (size_t i = 0; i < players_.size(); ++i) {
        players_[i].reserved = info.players[i].reserved;
        players_[i].number = info.players[i].number;
        players_[i].name = SharedString(info.players[i].name);
        players_[i].data = std::move(info.players[i].data);
    }
    for (size_t i = 0; i < players_.size(); ++i) {
        if (players_[i].number == clientNumber_) {
            ownIndex_ = int32_t(i);
            break;
        }
    }
}

bool ZKClient::OnRawDatagram(const plat::NetAddress& from, const uint8_t* data, size_t size, plat::NetRawReply&) {
    // Runs under the transport lock: only copy a likely answer out.
    static const uint8_t kMagic[4] = {'E', 'N', 'A', '1'};
    if (size < 20 || std::memcmp(data, kMagic, 4) != 0 ||
        std::memcmp(data + 4, netproto::kApplicationGuid, 16) != 0)
        return false;
    std::lock_guard<std::mutex> lock(answerLock_);
    if (size <= sizeof(PendingAnswer::bytes) && answers_.size() < kMaxPendingAnswers) {
        PendingAnswer& a = answers_.emplace_back();
        a.from = from;
        a.receivedAt = NowMs();
        a.size = uint16_t(size);
        std::memcpy(a.bytes, data, size);
        answersWaiting_.store(true, std::memory_order_release);
    }
    return true;
}

uint32_t ZKClient::OnIdle() {
    // While the main thread dispatches (holding the client mutex) answers and queries wait a
    // turn: the network thread must keep servicing the socket, since a receiver may be waiting
    // for it (a disconnect from inside a receiver).
    if (!mutex_.TryLock()) return kRetryMs;
    std::lock_guard<Mutex> lock(mutex_, std::adopt_lock);
    if (answersWaiting_.exchange(false, std::memory_order_acquire)) {
        {
            std::lock_guard<std::mutex> answers(answerLock_);
            std::swap(answers_, answersInWork_);
        }
        for (const PendingAnswer& a : answersInWork_) ApplyAnswer(a);
        answersInWork_.clear();
    }
    if (!enumerating_) return UINT32_MAX;

    uint32_t now = NowMs();
    if (enumerating_ && host_ && (!querySent_ || now - lastQueryMs_ >= kQueryIntervalMs)) {
        uint8_t query[netproto::kEnumQuerySize];
        netproto::BuildEnumQuery(query, now);
        host_->SendRaw(enumTarget_, query, sizeof query);
        lastQueryMs_ = now;
        querySent_ = true;
    }
    return std::max<uint32_t>(1, kQueryIntervalMs - std::min(kQueryIntervalMs, now - lastQueryMs_));
}

void ZKClient::ApplyAnswer(const PendingAnswer& pending) {
    Debugger& log = Debugger::Instance();
    // Answers count only while searching, and only from the address searched (any address
    // answers a LAN-wide search).
    bool broadcast = enumTarget_.host == plat::BroadcastAddress(0).host;
    if (!enumerating_ || (!broadcast && !(pending.from == enumTarget_))) return;
    netproto::EnumAnswer answer;
    if (!netproto::ParseEnumAnswer(pending.bytes, pending.size, answer)) {
        log.Log(3, "ZKCLIENT: Malformed host answer ignored");
        return;
    }
    log.Log(1, "Host received");
    auto it = std::find_if(hosts_.begin(), hosts_.end(), [&](const HostRecord& h) { return h.address == pending.from; });
    if (it != hosts_.end()) {
        log.Log(1, "New host received");
    } else {
        if (hosts_.size() >= kMaxHostRecords) return;
        hosts_.emplace_back();
        it = hosts_.end() - 1;
        it->address = pending.from;
        log.Log(1, "Host created");
    }
    HostRecord& h = *it;
    h.responseData = std::move(answer.responseData);
    h.sessionName = SharedString(answer.sessionName);
    h.currentPlayers = int32_t(answer.currentPlayers) - 1;
    h.maxPlayers = int32_t(answer.maxPlayers) - 1;
    uint32_t latency = pending.receivedAt - answer.echoedTicks;
    h.latency = latency > uint32_t(std::numeric_limits<int32_t>::max()) ? 0 : latency;
    std::string ip = pending.from.IpText();
    h.addressText = SharedString(ip);
    log.Log(1, "ZKCLIENT: Found host %s:%u", ip.c_str(), unsigned(pending.from.port));
    h.age = 0.0f;
}
