#pragma once
#include <array>
#include <cstdint>
#include <vector>

#include "engine/core/SharedString.h"
#include "engine/net/Channel.h"

constexpr uint8_t kChatChannelId = 0;

// Takes every chat line of the session.
class ChatListener {
public:
    virtual ~ChatListener() = default;
    virtual void OnChatLine(SharedString line) = 0;
};

// Server end of the chat: prefixes a received line with the sender's name from the player
// table ("name: text") and sends it to every player, the sender included.
class ChatServerChannel : public ServerChannel {
public:
    ChatServerChannel() : ServerChannel(kChatChannelId) {}
    // Leaves the server before its buffer goes: a line may be in relay on the server's thread.
    ~ChatServerChannel() override;
    void Receive(int32_t senderIndex, const uint8_t* payload, int32_t size) override;

private:
    std::vector<uint8_t> relay_;  // reused; used only under the server mutex
};

// Client end of the chat: sends typed lines and hands received ones to its listeners.
class ChatClientChannel : public ClientChannel {
public:
    ChatClientChannel() : ClientChannel(kChatChannelId) {}
    // Sends at most the first 1023 bytes of the text; nothing without a client.
    void SendText(SharedString text);
    void AddListener(ChatListener* listener);
    void Receive(const uint8_t* payload, int32_t size) override;

private:
    std::array<uint8_t, 1024> buffer_{};
    std::vector<ChatListener*> listeners_;
};
