#include "game/frontend/LobbyBlocks.h"

#include <algorithm>
#include <string>

#include "engine/net/PayloadReader.h"

namespace {

// Little-endian into a fixed block.
void Put32(uint8_t* at, uint32_t v) {
    at[0] = uint8_t(v);
    at[1] = uint8_t(v >> 8);
    at[2] = uint8_t(v >> 16);
    at[3] = uint8_t(v >> 24);
}

} // namespace

void SessionBlock::Write(uint8_t (&out)[kSize]) const {
    Put32(out, marker);
    Put32(out + 4, gameType);
    Put32(out + 8, random);
    Put32(out + 12, reserved);
    out[16] = firstSetting;
    out[17] = secondSetting;
    out[18] = state;
    out[19] = reserved2;
}

std::vector<uint8_t> SessionBlock::Bytes() const {
    uint8_t bytes[kSize];
    Write(bytes);
    return std::vector<uint8_t>(bytes, bytes + kSize);
}

bool SessionBlock::Read(const uint8_t* data, size_t size, SessionBlock& out) {
    PayloadReader r(data, size);
    if (!r.ExpectExactly(kSize)) return false;
    SessionBlock b;
    b.marker = r.u32();
    b.gameType = r.u32();
    b.random = r.u32();
    b.reserved = r.u32();
    b.firstSetting = r.u8();
    b.secondSetting = r.u8();
    b.state = r.u8();
    b.reserved2 = r.u8();
    if (!r.ok() || b.gameType >= uint32_t(kLobbyGameTypes)) return false;
    out = b;
    return true;
}

void PlayerBlock::Write(uint8_t (&out)[kSize]) const {
    Put32(out, car);
    Put32(out + 4, team);
    Put32(out + 8, ready);
}

std::vector<uint8_t> PlayerBlock::Bytes() const {
    uint8_t bytes[kSize];
    Write(bytes);
    return std::vector<uint8_t>(bytes, bytes + kSize);
}

bool PlayerBlock::Read(const uint8_t* data, size_t size, PlayerBlock& out) {
    PayloadReader r(data, size);
    if (!r.ExpectExactly(kSize)) return false;
    PlayerBlock b;
    b.car = r.u32();
    b.team = std::min(r.u32(), kLobbyTeams - 1);
    b.ready = r.u32();
    if (!r.ok()) return false;
    out = b;
    return true;
}

bool IsLobbyStartMessage(const uint8_t*, int32_t size) { return size == 0; }

uint32_t ClampCarIndex(uint32_t car, int32_t count) {
    if (count <= 0) return 0;
    return std::min(car, uint32_t(count - 1));
}

void ChatLog::Add(std::string_view text) {
    text = text.substr(0, std::min(text.find('\0'), text.size()));
    if (text.size() > kMaxLineBytes) {
        size_t cut = kMaxLineBytes;
        // Not in the middle of a UTF-8 sequence.
        while (cut > 0 && (uint8_t(text[cut]) & 0xC0) == 0x80) --cut;
        text = text.substr(0, cut);
    }
    std::string line(text);
    for (char& c : line)
        if (uint8_t(c) < 0x20 || c == 0x7F) c = ' ';
    lines_.push_front(SharedString(line.c_str()));
    while (lines_.size() > kMaxLines) lines_.pop_back();
}
