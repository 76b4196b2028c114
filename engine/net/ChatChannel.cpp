#include "engine/net/ChatChannel.h"

#include <algorithm>
#include <cstring>

#include "engine/net/NetProtocol.h"
#include "engine/net/PayloadReader.h"
#include "engine/net/ZKClient.h"
#include "engine/net/ZKServer.h"

ChatServerChannel::~ChatServerChannel() {
    if (ZKServer* server = GetServer()) server->RemoveChannel(this);
}

void ChatServerChannel::Receive(int32_t senderIndex, const uint8_t* payload, int32_t size) {
    ZKServer* server = GetServer();
    if (!server || size < 0) return;
    const std::vector<PlayerRecord>& players = server->GetPlayers();
    if (!InRange(senderIndex, players)) return;  // no player record: nothing is relayed
    std::string_view text = netproto::TextUpToZero(payload, size_t(size));
    text = text.substr(0, std::min(text.size(), netproto::kMaxChatText));
    std::string_view name = netproto::CapName(players[size_t(senderIndex)].name.View());

    relay_.clear();
    PayloadWriter w(relay_);
    w.u8(kChatChannelId);
    w.bytes(name.data(), name.size());
    w.bytes(": ", 2);
    w.bytes(text.data(), text.size());
    server->SendTo(relay_.data(), uint32_t(relay_.size()), -1, 0.0f, false, false, false);
}

void ChatClientChannel::SendText(SharedString text) {
    ZKClient* client = GetClient();
    if (!client) return;
    size_t n = std::min(size_t(text.Length()), netproto::kMaxChatText);
    buffer_[0] = kChatChannelId;
    if (n) std::memcpy(buffer_.data() + 1, text.c_str(), n);
    client->Send(buffer_.data(), uint32_t(n + 1), 0.0f, false, false, false);
}

void ChatClientChannel::AddListener(ChatListener* listener) {
    if (listener) listeners_.push_back(listener);
}

void ChatClientChannel::Receive(const uint8_t* payload, int32_t size) {
    if (size < 0) return;
    std::string_view text = netproto::TextUpToZero(payload, size_t(size));
    SharedString line(text);
    for (size_t i = 0; i < listeners_.size(); ++i) listeners_[i]->OnChatLine(line);
}
