#pragma once
// What the lobby sends: the host's 20-byte session block (published as the server's data and
// read back by every client and by the session list), each player's 12-byte block (published
// with his name), the one-byte start message and the chat lines. Every block from a peer goes
// through these readers; a block they refuse is treated as no data.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string_view>
#include <vector>

#include "engine/core/SharedString.h"

// The lobby's game types; 3 is the team game.
constexpr int32_t kLobbyGameTypes = 4;
constexpr int32_t kLobbyTeamGame = 3;
// Teams counted from 0.
constexpr uint32_t kLobbyTeams = 8;

struct SessionBlock {
    static constexpr size_t kSize = 20;
    static constexpr size_t kComparedBytes = 18;  // a change in these drops every player's ready flag
    enum State : uint8_t { kOpen = 0, kHostReady = 1, kStarting = 2, kClosed = 3 };

    uint32_t marker = 1;
    uint32_t gameType = 0;
    uint32_t random = 0;
    uint32_t reserved = 0;
    uint8_t firstSetting = 0;
    uint8_t secondSetting = 0;
    uint8_t state = kOpen;
    uint8_t reserved2 = 0;

    void Write(uint8_t (&out)[kSize]) const;
    std::vector<uint8_t> Bytes() const;
    // False (and `out` untouched) unless the block is exactly 20 bytes with a known game type.
    static bool Read(const uint8_t* data, size_t size, SessionBlock& out);
};

struct PlayerBlock {
    static constexpr size_t kSize = 12;

    uint32_t car = 0;
    uint32_t team = 0;
    uint32_t ready = 0;

    bool IsReady() const { return (ready & 0xFF) != 0; }
    void Write(uint8_t (&out)[kSize]) const;
    std::vector<uint8_t> Bytes() const;
    // False (and `out` untouched) unless the block is exactly 12 bytes; the team comes back
    // within 0..7.
    static bool Read(const uint8_t* data, size_t size, PlayerBlock& out);
};

// The host's start message is the start channel's byte alone.
constexpr uint8_t kLobbyStartChannel = 255;
bool IsLobbyStartMessage(const uint8_t* payload, int32_t size);

// A car index from a peer within a catalogue of `count` cars (0 for an empty catalogue).
uint32_t ClampCarIndex(uint32_t car, int32_t count);

// The chat box's lines, newest first: at most 100, each cut to 256 bytes at a character
// boundary, control characters shown as spaces.
class ChatLog {
public:
    static constexpr size_t kMaxLines = 100;
    static constexpr size_t kMaxLineBytes = 256;

    void Add(std::string_view text);
    void Clear() { lines_.clear(); }
    const std::deque<SharedString>& Lines() const { return lines_; }

private:
    std::deque<SharedString> lines_;
};
