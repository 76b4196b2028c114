#include "game/play/Scoreboard.h"

#include <algorithm>
#include <utility>

#include "engine/net/PayloadReader.h"

namespace modemsg {

namespace {

// Sizes of the payload as a channel receives it: the frame's sizes less the id byte.
constexpr size_t Payload(size_t frame) { return frame - 1; }

} // namespace

bool Decode(const uint8_t* payload, size_t size, Message& out) {
    PayloadReader r(payload, size);
    r.skip(3);
    Message m;
    m.type = r.u32();
    if (!r.ok()) return false;
    switch (m.type) {
    case kKill:
        r.ExpectExactly(Payload(16));
        m.player = r.i32();
        m.victim = r.i32();
        break;
    case kTrafficWrecked:
    case kPedestrianHit:
    case kRanOverFare:
        r.ExpectExactly(Payload(12));
        m.player = r.i32();
        break;
    case kQuickMessage:
        r.ExpectExactly(Payload(20));
        m.player = r.i32();
        r.skip(4);
        m.number = r.i32();
        if (m.number < kFirstQuickText || m.number > kLastQuickText) r.fail();
        break;
    case kReached:
        if (size == Payload(16)) {
            m.hasPlayer = true;
            m.player = r.i32();
        } else {
            r.ExpectExactly(Payload(12));
        }
        m.number = r.i32();
        break;
    case kMoney:
        r.ExpectExactly(Payload(16));
        m.player = r.i32();
        m.money = r.f32Finite();
        break;
    case kFareSpawn:
        r.ExpectExactly(Payload(48));
        m.number = r.i32();
        m.state = r.i32();
        m.victim = r.i32();  // the road node
        for (float& f : m.position) f = r.f32Finite();
        for (float& f : m.rotation) f = r.f32Finite();
        break;
    case kFareMoved:
        r.ExpectExactly(Payload(40));
        m.victim = r.i32();
        for (float& f : m.position) f = r.f32Finite();
        for (float& f : m.rotation) f = r.f32Finite();
        break;
    case kScores:
        r.ExpectExactly(Payload(kScoresSize));
        for (ScoreRecord& s : m.records) {
            s.playerId = r.i32();
            s.score = r.i32();
            s.deaths = r.i32();
            s.kills = r.i32();
            s.trafficWrecked = r.i32();
            s.pedestrians = r.i32();
        }
        m.kind = r.i32();
        m.killer = r.i32();
        m.scoreVictim = r.i32();
        break;
    case kEnded:
        r.ExpectExactly(Payload(8));
        break;
    default:
        return false;
    }
    if (!r.ok() || r.remaining() != 0) return false;
    out = m;
    return true;
}

void WriteHeader(std::vector<uint8_t>& out, uint32_t type) {
    out.clear();
    PayloadWriter w(out);
    w.u8(kChannel);
    w.u8(0);
    w.u8(0);
    w.u8(0);
    w.u32(type);
}

void WriteKill(std::vector<uint8_t>& out, int32_t killer, int32_t victim) {
    WriteHeader(out, kKill);
    PayloadWriter w(out);
    w.i32(killer);
    w.i32(victim);
}

void WritePlayerEvent(std::vector<uint8_t>& out, uint32_t type, int32_t player) {
    WriteHeader(out, type);
    PayloadWriter(out).i32(player);
}

void WriteQuickMessage(std::vector<uint8_t>& out, int32_t player, int32_t textId) {
    WriteHeader(out, kQuickMessage);
    PayloadWriter w(out);
    w.i32(player);
    w.i32(0);
    w.i32(textId);
}

void WriteReached(std::vector<uint8_t>& out, int32_t player, int32_t number) {
    WriteHeader(out, kReached);
    PayloadWriter w(out);
    w.i32(player);
    w.i32(number);
}

void WriteNextCheckpoint(std::vector<uint8_t>& out, int32_t number) {
    WriteHeader(out, kReached);
    PayloadWriter(out).i32(number);
}

void WriteMoney(std::vector<uint8_t>& out, int32_t player, float money) {
    WriteHeader(out, kMoney);
    PayloadWriter w(out);
    w.i32(player);
    w.f32(money);
}

void WriteEnded(std::vector<uint8_t>& out) { WriteHeader(out, kEnded); }

} // namespace modemsg

ScoreEntry* Scoreboard::Find(int32_t playerId) {
    for (ScoreEntry& e : entries)
        if (e.playerId == playerId) return &e;
    return nullptr;
}

const ScoreEntry* Scoreboard::Find(int32_t playerId) const {
    return const_cast<Scoreboard*>(this)->Find(playerId);
}

bool Scoreboard::RanksBefore(const ScoreEntry& a, const ScoreEntry& b) {
    if (a.rankKey != b.rankKey) return a.rankKey > b.rankKey;
    if (a.score != b.score) return a.score > b.score;
    if (a.kills != b.kills) return a.kills > b.kills;
    if (a.deaths != b.deaths) return a.deaths < b.deaths;
    if (a.trafficWrecked != b.trafficWrecked) return a.trafficWrecked > b.trafficWrecked;
    return a.pedestrians > b.pedestrians;
}

void Scoreboard::Sort() {
    bool swapped = entries.size() > 1;
    while (swapped) {
        swapped = false;
        for (size_t i = 1; i < entries.size(); ++i) {
            if (RanksBefore(entries[i], entries[i - 1])) {
                std::swap(entries[i], entries[i - 1]);
                swapped = true;
            }
        }
    }
}

bool Scoreboard::ApplyKill(int32_t killer, int32_t victim, bool countsAsKill) {
    ScoreEntry* v = Find(victim);
    if (!v) return false;
    ++v->deaths;
    if (killer != victim) {
        if (ScoreEntry* k = Find(killer)) k->kills += countsAsKill ? 1 : -1;
    }
    return true;
}

void Scoreboard::WriteScores(std::vector<uint8_t>& out, int32_t kind, int32_t killer, int32_t victim) const {
    modemsg::WriteHeader(out, modemsg::kScores);
    PayloadWriter w(out);
    for (int32_t i = 0; i < modemsg::kMaxRecords; ++i) {
        ScoreEntry e;
        if (size_t(i) < entries.size()) e = entries[size_t(i)];
        w.i32(e.playerId);
        w.i32(e.score);
        w.i32(e.deaths);
        w.i32(e.kills);
        w.i32(e.trafficWrecked);
        w.i32(e.pedestrians);
    }
    w.i32(kind);
    w.i32(killer);
    w.i32(victim);
}

bool Scoreboard::ApplyScores(const modemsg::Message& message) {
    const size_t count = std::min(entries.size(), size_t(modemsg::kMaxRecords));
    // Every record names a different player of the table, or nothing changes.
    for (size_t i = 0; i < count; ++i) {
        if (!Find(message.records[i].playerId)) return false;
        for (size_t j = 0; j < i; ++j)
            if (message.records[j].playerId == message.records[i].playerId) return false;
    }
    for (size_t i = 0; i < count; ++i) {
        const modemsg::ScoreRecord& r = message.records[i];
        // Bring the named entry to position i; the ones before i are already placed.
        for (size_t j = i; j < entries.size(); ++j) {
            if (entries[j].playerId == r.playerId) {
                std::swap(entries[i], entries[j]);
                break;
            }
        }
        ScoreEntry& e = entries[i];
        e.score = r.score;
        e.deaths = r.deaths;
        e.kills = r.kills;
        e.trafficWrecked = r.trafficWrecked;
        e.pedestrians = r.pedestrians;
    }
    return true;
}

MultiplayerScoreTable Scoreboard::ToTable(int32_t kind) const {
    MultiplayerScoreTable table;
    table.kind = kind;
    table.rows.reserve(entries.size());
    for (const ScoreEntry& e : entries) {
        MultiplayerScoreRow row;
        row.name = e.name;
        row.score = e.score;
        row.rankKey = e.rankKey;
        row.money = e.money;
        row.deaths = e.deaths;
        row.kills = e.kills;
        row.wrecked = e.trafficWrecked;
        row.pedestrians = e.pedestrians;
        table.rows.push_back(row);
    }
    return table;
}
