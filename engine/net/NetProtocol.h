#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/net/PayloadReader.h"

// The session's wire messages below the game's channels. Every transport packet starts with one
// transport byte; game frames (channel id + payload) travel behind byte 0, so the game keeps
// the whole channel-id range. Builders append to reused buffers; parsers read through
// PayloadReader and succeed only on a complete, in-limit message.
namespace netproto {

enum TransportByte : uint8_t {
    kGameFrame = 0,
    kAssign = 1,      // u32 client number
    kClientInfo = 2,  // u16 name length, name, u32 data length, data
    kServerInfo = 3,  // u16 name length, name, u32 block length, block
    kReject = 4,      // u32 reason
};

enum RejectReason : uint32_t { kRejectSessionFull = 1, kRejectVersionMismatch = 2 };

constexpr uint32_t kTransportVersion = 1;
constexpr uint16_t kDefaultPort = 48110;
constexpr size_t kMaxNameBytes = 64;
constexpr size_t kMinClientData = 4;  // the client data starts with the u32 client number
constexpr size_t kMaxClientData = 256;
constexpr size_t kMaxServerData = 1024;
constexpr size_t kMaxChatText = 1023;
constexpr size_t kMaxPlayers = 64;  // far above any session; bounds what a peer may announce

// A send's timeout in whole milliseconds: trunc(seconds x 1000); 0 (none) for a timeout that is
// not positive, and at most a day.
inline uint32_t TimeoutMs(float seconds) {
    if (!(seconds > 0.0f)) return 0;
    return seconds >= 86400.0f ? 86400000u : uint32_t(double(seconds) * 1000.0);
}

extern const uint8_t kApplicationGuid[16];
// A host search must never be answered with more bytes than it carried, or the session port
// would amplify traffic sent with a forged source address. A query is magic, GUID and time
// (24 bytes) padded with zeros to the largest answer there can be; a server answers only a
// query at least as large as its answer and never one larger than this.
constexpr size_t kEnumQueryHeaderSize = 24;
constexpr size_t kMaxEnumAnswerSize = 4 + 16 + 3 * 4 + 2 + kMaxNameBytes + 4 + kMaxServerData;
constexpr size_t kEnumQuerySize = kMaxEnumAnswerSize;

struct PlayerInfo {
    uint32_t reserved = 0;
    uint32_t number = 0;
    std::string name;
    std::vector<uint8_t> data;
};

// The server's information: its name, its data and the player table.
struct ServerInfo {
    std::string name;
    std::vector<uint8_t> serverData;
    std::vector<PlayerInfo> players;
};

struct ClientInfo {
    std::string name;
    std::vector<uint8_t> data;  // starts with the client number the client believes it has
};

struct EnumAnswer {
    uint32_t echoedTicks = 0;
    uint32_t currentPlayers = 0;
    uint32_t maxPlayers = 0;
    std::string sessionName;
    std::vector<uint8_t> responseData;
};

// Text up to its first zero byte, at most size bytes.
std::string_view TextUpToZero(const uint8_t* data, size_t size);
// A name cut to the cap and at its first zero byte.
std::string_view CapName(std::string_view name);

// Transport messages, each starting with its transport byte.
void BuildAssign(std::vector<uint8_t>& out, uint32_t number);
void BuildReject(std::vector<uint8_t>& out, uint32_t reason);
// False (nothing built) when the data is outside 4..256 bytes; the name is cut to its cap.
bool BuildClientInfo(std::vector<uint8_t>& out, std::string_view name, const uint8_t* data, size_t size);
// The server information block (no transport byte).
void BuildServerInfoBlock(std::vector<uint8_t>& out, const ServerInfo& info);
void BuildServerInfo(std::vector<uint8_t>& out, const ServerInfo& info);

// Parsers take the body after the transport byte.
bool ParseAssign(const uint8_t* body, size_t size, uint32_t& number);
bool ParseReject(const uint8_t* body, size_t size, uint32_t& reason);
bool ParseClientInfo(const uint8_t* body, size_t size, ClientInfo& out);
bool ParseServerInfoBlock(const uint8_t* block, size_t size, ServerInfo& out);  // leaves out.name
bool ParseServerInfo(const uint8_t* body, size_t size, ServerInfo& out);

// Enumeration over raw datagrams on the session port.
void BuildEnumQuery(uint8_t (&out)[kEnumQuerySize], uint32_t ticks);
// Accepts kEnumQueryHeaderSize..kEnumQuerySize bytes; the padding is not read.
bool ParseEnumQuery(const uint8_t* data, size_t size, uint32_t& ticks);
// Answer without its echoed ticks, which the server patches in per query.
void BuildEnumAnswer(std::vector<uint8_t>& out, const EnumAnswer& answer);
constexpr size_t kEnumAnswerTicksOffset = 20;
bool ParseEnumAnswer(const uint8_t* data, size_t size, EnumAnswer& out);

} // namespace netproto
