#include "engine/net/NetProtocol.h"

#include <algorithm>
#include <cstring>

namespace netproto {

// {BABECAFE-DEAD-BABE-0123-456789ABCDEF} in its in-memory layout (first three parts
// little-endian).
const uint8_t kApplicationGuid[16] = {0xFE, 0xCA, 0xBE, 0xBA, 0xAD, 0xDE, 0xBE, 0xBA,
                                      0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};

namespace {
const char kQueryMagic[4] = {'E', 'N', 'Q', '1'};
const char kAnswerMagic[4] = {'E', 'N', 'A', '1'};

// A length-prefixed name: checked against the cap and the remaining bytes before copying.
bool ReadName(PayloadReader& r, size_t length, std::string& out) {
    if (length > kMaxNameBytes || length > r.remaining()) {
        r.fail();
        return false;
    }
    std::string_view s = r.str(length);
    out.assign(s.substr(0, std::min(s.find('\0'), s.size())));
    return r.ok();
}

bool ReadBlock(PayloadReader& r, size_t length, size_t cap, std::vector<uint8_t>& out) {
    if (length > cap || length > r.remaining()) {
        r.fail();
        return false;
    }
    out.resize(length);
    return r.bytes(out.data(), length);
}
} // namespace

std::string_view TextUpToZero(const uint8_t* data, size_t size) {
    if (!data) return {};
    const auto* end = static_cast<const uint8_t*>(std::memchr(data, 0, size));
    return {reinterpret_cast<const char*>(data), end ? size_t(end - data) : size};
}

std::string_view CapName(std::string_view name) {
    name = name.substr(0, std::min(name.find('\0'), name.size()));
    return name.substr(0, std::min(name.size(), kMaxNameBytes));
}

void BuildAssign(std::vector<uint8_t>& out, uint32_t number) {
    out.clear();
    PayloadWriter w(out);
    w.u8(kAssign);
    w.u32(number);
}

void BuildReject(std::vector<uint8_t>& out, uint32_t reason) {
    out.clear();
    PayloadWriter w(out);
    w.u8(kReject);
    w.u32(reason);
}

bool BuildClientInfo(std::vector<uint8_t>& out, std::string_view name, const uint8_t* data, size_t size) {
    out.clear();
    if (size < kMinClientData || size > kMaxClientData || !data) return false;
    name = CapName(name);
    PayloadWriter w(out);
    w.u8(kClientInfo);
    w.u16(uint16_t(name.size()));
    w.bytes(name.data(), name.size());
    w.u32(uint32_t(size));
    w.bytes(data, size);
    return true;
}

void BuildServerInfoBlock(std::vector<uint8_t>& out, const ServerInfo& info) {
    PayloadWriter w(out);
    w.u32(0);
    size_t s = std::min(info.serverData.size(), kMaxServerData);
    w.u32(uint32_t(s));
    w.bytes(info.serverData.data(), s);
    size_t n = std::min(info.players.size(), kMaxPlayers);
    w.u32(uint32_t(n));
    for (size_t i = 0; i < n; ++i) {
        const PlayerInfo& p = info.players[i];
        std::string_view name = CapName(p.name);
        size_t d = std::min(p.data.size(), kMaxClientData - 4);
        w.u32(p.reserved);
        w.u32(p.number);
        w.u32(uint32_t(name.size()));
        w.bytes(name.data(), name.size());
        w.u32(uint32_t(d));
        w.bytes(p.data.data(), d);
    }
}

void BuildServerInfo(std::vector<uint8_t>& out, const ServerInfo& info) {
    out.clear();
    PayloadWriter w(out);
    w.u8(kServerInfo);
    std::string_view name = CapName(info.name);
    w.u16(uint16_t(name.size()));
    w.bytes(name.data(), name.size());
    size_t lengthAt = out.size();
    w.u32(0);
    BuildServerInfoBlock(out, info);
    uint32_t blockLength = uint32_t(out.size() - lengthAt - 4);
    for (int i = 0; i < 4; ++i) out[lengthAt + i] = uint8_t(blockLength >> (8 * i));
}

bool ParseAssign(const uint8_t* body, size_t size, uint32_t& number) {
    PayloadReader r(body, size);
    if (!r.ExpectExactly(4)) return false;
    number = r.u32();
    return r.ok();
}

bool ParseReject(const uint8_t* body, size_t size, uint32_t& reason) {
    PayloadReader r(body, size);
    if (!r.ExpectExactly(4)) return false;
    reason = r.u32();
    return r.ok();
}

bool ParseClientInfo(const uint8_t* body, size_t size, ClientInfo& out) {
    PayloadReader r(body, size);
    ClientInfo info;
    if (!ReadName(r, r.u16(), info.name)) return false;
    uint32_t d = r.u32();
    if (!r.ok() || d < kMinClientData) return false;
    if (!ReadBlock(r, d, kMaxClientData, info.data)) return false;
    if (r.remaining() != 0) return false;
    out = std::move(info);
    return true;
}

bool ParseServerInfoBlock(const uint8_t* block, size_t size, ServerInfo& out) {
    PayloadReader r(block, size);
    r.u32();  // reserved
    std::vector<uint8_t> serverData;
    if (!ReadBlock(r, r.u32(), kMaxServerData, serverData)) return false;
    uint32_t n = r.u32();
    // Every entry holds at least four words: refuse a count the bytes cannot carry.
    if (!r.ok() || n > kMaxPlayers || n > r.remaining() / 16) return false;
    std::vector<PlayerInfo> players(n);
    for (PlayerInfo& p : players) {
        p.reserved = r.u32();
        p.number = r.u32();
        if (!ReadName(r, r.u32(), p.name)) return false;
        if (!ReadBlock(r, r.u32(), kMaxClientData - 4, p.data)) return false;
    }
    if (!r.ok() || r.remaining() != 0) return false;
    out.serverData = std::move(serverData);
    out.players = std::move(players);
    return true;
}

bool ParseServerInfo(const uint8_t* body, size_t size, ServerInfo& out) {
    PayloadReader r(body, size);
    std::string name;
    if (!ReadName(r, r.u16(), name)) return false;
    uint32_t blockLength = r.u32();
    if (!r.ok() || blockLength != r.remaining()) return false;
    ServerInfo info;
    if (!ParseServerInfoBlock(r.cursor(), blockLength, info)) return false;
    info.name = std::move(name);
    out = std::move(info);
    return true;
}

void BuildEnumQuery(uint8_t (&out)[kEnumQuerySize], uint32_t ticks) {
    std::memcpy(out, kQueryMagic, 4);
    std::memcpy(out + 4, kApplicationGuid, 16);
    for (int i = 0; i < 4; ++i) out[20 + i] = uint8_t(ticks >> (8 * i));
    std::memset(out + kEnumQueryHeaderSize, 0, kEnumQuerySize - kEnumQueryHeaderSize);
}

bool ParseEnumQuery(const uint8_t* data, size_t size, uint32_t& ticks) {
    PayloadReader r(data, size);
    if (!r.ExpectAtLeast(kEnumQueryHeaderSize) || size > kEnumQuerySize) return false;
    std::string_view magic = r.str(4);
    std::string_view guid = r.str(16);
    ticks = r.u32();
    return r.ok() && magic == std::string_view(kQueryMagic, 4) &&
           guid == std::string_view(reinterpret_cast<const char*>(kApplicationGuid), 16);
}

void BuildEnumAnswer(std::vector<uint8_t>& out, const EnumAnswer& a) {
    out.clear();
    PayloadWriter w(out);
    w.bytes(kAnswerMagic, 4);
    w.bytes(kApplicationGuid, 16);
    w.u32(a.echoedTicks);
    w.u32(a.currentPlayers);
    w.u32(a.maxPlayers);
    std::string_view name = CapName(a.sessionName);
    w.u16(uint16_t(name.size()));
    w.bytes(name.data(), name.size());
    size_t s = std::min(a.responseData.size(), kMaxServerData);
    w.u32(uint32_t(s));
    w.bytes(a.responseData.data(), s);
}

bool ParseEnumAnswer(const uint8_t* data, size_t size, EnumAnswer& out) {
    PayloadReader r(data, size);
    std::string_view magic = r.str(4);
    std::string_view guid = r.str(16);
    if (!r.ok() || magic != std::string_view(kAnswerMagic, 4) ||
        guid != std::string_view(reinterpret_cast<const char*>(kApplicationGuid), 16))
        return false;
    EnumAnswer a;
    a.echoedTicks = r.u32();
    a.currentPlayers = r.u32();
    a.maxPlayers = r.u32();
    if (!ReadName(r, r.u16(), a.sessionName)) return false;
    if (!ReadBlock(r, r.u32(), kMaxServerData, a.responseData)) return false;
    if (r.remaining() != 0) return false;
    out = std::move(a);
    return true;
}

} // namespace netproto
