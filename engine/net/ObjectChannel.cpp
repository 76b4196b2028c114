#include "engine/net/ObjectChannel.h"

#include <algorithm>

#include "engine/core/Debugger.h"
#include "engine/net/PayloadReader.h"
#include "engine/net/ZKClient.h"
#include "engine/net/ZKServer.h"

ObjectChannel::ObjectChannel() : ClientChannel(kObjectChannelId), ServerChannel(kObjectChannelId) {
    sendBuffer_.resize(32);
}

ObjectChannel::~ObjectChannel() {
    // The server mutex is held for the whole of a relay, so once removed nothing runs here.
    if (ZKServer* server = GetServer()) server->RemoveChannel(this);
    if (ZKClient* client = GetClient()) client->RemoveChannel(this);
}

void ObjectChannel::Register(NetObject* object) {
    if (!object) return;
    object->objectId = nextObjectId_++;
    objects_.push_back(object);
}

void ObjectChannel::Forget(NetObject* object) { std::erase(objects_, object); }

void ObjectChannel::Clear() {
    objects_.clear();
    nextObjectId_ = 0;
}

void ObjectChannel::Update(float dt) {
    (void)dt;
    const float interval = interval_.load();
    if (ZKClient* client = GetClient()) {
        for (NetObject* o : objects_) {
            if (!(o->flags & NetObject::kSendEveryUpdate)) continue;
            if (o->flags & NetObject::kSendOnce) o->flags &= uint8_t(~NetObject::kSendEveryUpdate);
            int32_t space = int32_t(sendBuffer_.size()) - 5;
            int32_t n = o->WriteState(sendBuffer_.data() + 5, space);
            while (n > space && n <= kMaxStateSize) {
                sendBuffer_.resize(size_t(n) + 5);
                space = n;
                n = o->WriteState(sendBuffer_.data() + 5, space);
            }
            if (n > space || n < 0) {
                // A state larger than any message the session carries, or a broken writer.
                if (!oversizeLogged_)
                    Debugger::Instance().Log(1, "ZKNET: Object %u state of %d bytes not sent", o->objectId, n);
                oversizeLogged_ = true;
                continue;
            }
            if (n == 0) continue;
            sendBuffer_[0] = kObjectChannelId;
            for (int i = 0; i < 4; ++i) sendBuffer_[size_t(1 + i)] = uint8_t(o->objectId >> (8 * i));
            client->Send(sendBuffer_.data(), uint32_t(n + 5), 4.0f * interval, false, false, false);
        }
    }

    uint32_t queued = 0;
    if (ZKServer* server = GetServer())
        queued = server->GetMaxSendQueueLength();
    else if (ZKClient* client = GetClient())
        queued = client->GetSendQueueLength();
    interval_.store(AdaptInterval(interval, queued));
}

float ObjectChannel::AdaptInterval(float interval, uint32_t queued) {
    if (queued > 15) return interval + kIntervalStep;
    if (queued <= 4) return std::max(kMinInterval, interval - kIntervalStep);
    return interval;
}

void ObjectChannel::Receive(const uint8_t* payload, int32_t size) {
    PayloadReader r(payload, size < 0 ? 0 : size_t(size));
    if (!r.ExpectAtLeast(4)) return;
    uint32_t id = r.u32();
    for (NetObject* o : objects_) {
        if (o->objectId == id) {
            o->ReadState(payload + 4, size - 4);
            return;
        }
    }
}

void ObjectChannel::Receive(int32_t senderIndex, const uint8_t* payload, int32_t size) {
    ZKServer* server = GetServer();
    if (!server || size < 4) return;  // at least the object id
    relayBuffer_.resize(size_t(size) + 1);
    relayBuffer_[0] = kObjectChannelId;
    std::copy(payload, payload + size, relayBuffer_.begin() + 1);
    const float timeout = 4.0f * interval_.load();
    const std::vector<PlayerRecord>& players = server->GetPlayers();
    for (size_t i = 0; i < players.size(); ++i) {
        if (int32_t(i) == senderIndex) continue;
        server->SendTo(relayBuffer_.data(), uint32_t(relayBuffer_.size()), int32_t(players[i].number), timeout,
                       false, false, false);
    }
}
