// The network game's score table and the messages that carry its events: the decoder on
// malformed frames (a table per type), round trips, the scores frame's bytes, the ranking and
// the kill rules.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "game/play/Scoreboard.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The payload as the channel hands it on: the frame less its id byte.
bool DecodeFrame(const Bytes& frame, modemsg::Message& out) {
    if (frame.empty()) return modemsg::Decode(nullptr, 0, out);
    return modemsg::Decode(frame.data() + 1, frame.size() - 1, out);
}

void PutWord(Bytes& frame, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) frame[at + size_t(i)] = uint8_t(v >> (8 * i));
}

Bytes Grown(Bytes frame) {
    frame.push_back(0);
    return frame;
}

Bytes Shrunk(Bytes frame) {
    frame.pop_back();
    return frame;
}

ScoreEntry Entry(int32_t id, int32_t rankKey, int32_t score, int32_t kills, int32_t deaths, int32_t wrecked,
                 int32_t pedestrians) {
    ScoreEntry e;
    e.playerId = id;
    e.rankKey = rankKey;
    e.score = score;
    e.kills = kills;
    e.deaths = deaths;
    e.trafficWrecked = wrecked;
    e.pedestrians = pedestrians;
    return e;
}

} // namespace

TEST(ModeMessages, WrittenFramesDecodeToTheirFields) {
    Bytes f;
    modemsg::Message m;

    modemsg::WriteKill(f, -1, 7);
    ASSERT_EQ(f.size(), 16u);
    ASSERT_TRUE(DecodeFrame(f, m));
    EXPECT_EQ(m.type, modemsg::kKill);
    EXPECT_EQ(m.player, -1);
    EXPECT_EQ(m.victim, 7);

    modemsg::WriteQuickMessage(f, 3, 222004);
    ASSERT_EQ(f.size(), 20u);
    ASSERT_TRUE(DecodeFrame(f, m));
    EXPECT_EQ(m.player, 3);
    EXPECT_EQ(m.number, 222004);

    modemsg::WriteReached(f, 5, 1013904223);
    ASSERT_EQ(f.size(), 16u);
    ASSERT_TRUE(DecodeFrame(f, m));
    EXPECT_TRUE(m.hasPlayer);
    EXPECT_EQ(m.player, 5);
    EXPECT_EQ(m.number, 1013904223);

    modemsg::WriteNextCheckpoint(f, 42);
    ASSERT_EQ(f.size(), 12u);
    ASSERT_TRUE(DecodeFrame(f, m));
    EXPECT_FALSE(m.hasPlayer);
    EXPECT_EQ(m.number, 42);

    modemsg::WriteMoney(f, 2, 1234.5f);
    ASSERT_TRUE(DecodeFrame(f, m));
    EXPECT_EQ(m.player, 2);
    EXPECT_FLOAT_EQ(m.money, 1234.5f);

    modemsg::WritePlayerEvent(f, modemsg::kTrafficWrecked, 9);
    ASSERT_TRUE(DecodeFrame(f, m));
    EXPECT_EQ(m.type, modemsg::kTrafficWrecked);
    EXPECT_EQ(m.player, 9);

    modemsg::WriteEnded(f);
    ASSERT_EQ(f.size(), 8u);
    ASSERT_TRUE(DecodeFrame(f, m));
    EXPECT_EQ(m.type, modemsg::kEnded);
}

TEST(ModeMessages, MalformedFramesAreRefused) {
    Bytes kill, quick, money, wrecked, ended, reached, scores;
    modemsg::WriteKill(kill, 1, 2);
    modemsg::WriteQuickMessage(quick, 1, 222000);
    modemsg::WriteMoney(money, 1, 10.0f);
    modemsg::WritePlayerEvent(wrecked, modemsg::kPedestrianHit, 1);
    modemsg::WriteEnded(ended);
    modemsg::WriteReached(reached, 1, 2);
    Scoreboard board;
    board.WriteScores(scores, 0, 0, 0);

    Bytes quickLow = quick, quickHigh = quick, nanMoney = money, infMoney = money, unknown = ended;
    PutWord(quickLow, 16, 221999);
    PutWord(quickHigh, 16, 222009);
    float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    uint32_t bits;
    std::memcpy(&bits, &nan, 4);
    PutWord(nanMoney, 12, bits);
    std::memcpy(&bits, &inf, 4);
    PutWord(infMoney, 12, bits);
    PutWord(unknown, 4, 0x1234);

    const struct {
        const char* what;
        Bytes frame;
    } cases[] = {
        {"empty", {}},
        {"id only", {117}},
        {"header short", Bytes{117, 0, 0, 0, 0xAD, 0xDE}},
        {"kill long", Grown(kill)},
        {"kill short", Shrunk(kill)},
        {"quick long", Grown(quick)},
        {"quick short", Shrunk(quick)},
        {"quick text below the keys", quickLow},
        {"quick text above the keys", quickHigh},
        {"money NaN", nanMoney},
        {"money infinite", infMoney},
        {"money short", Shrunk(money)},
        {"player event long", Grown(wrecked)},
        {"ended long", Grown(ended)},
        {"reached long", Grown(reached)},
        {"reached between forms", Shrunk(reached)},
        {"scores short", Shrunk(scores)},
        {"scores long", Grown(scores)},
        {"unknown type", unknown},
    };
    for (const auto& c : cases) {
        modemsg::Message m;
        m.player = 12345;
        EXPECT_FALSE(DecodeFrame(c.frame, m)) << c.what;
        EXPECT_EQ(m.player, 12345) << c.what << ": a refused frame changes nothing";
    }
}

TEST(Scoreboard, ScoresFrameBytes) {
    Scoreboard board;
    board.entries = {Entry(4, 0, 3, 2, 1, 5, 6), Entry(9, 0, -1, 0, 2, 0, 0)};
    Bytes f;
    board.WriteScores(f, 1, 4, 9);
    ASSERT_EQ(f.size(), modemsg::kScoresSize);
    const uint8_t head[] = {117, 0, 0, 0, 0xBE, 0xBA, 0, 0};
    EXPECT_EQ(0, std::memcmp(f.data(), head, sizeof head));
    auto word = [&](size_t at) {
        return int32_t(uint32_t(f[at]) | uint32_t(f[at + 1]) << 8 | uint32_t(f[at + 2]) << 16 |
                       uint32_t(f[at + 3]) << 24);
    };
    const int32_t first[] = {4, 3, 1, 2, 5, 6};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(word(8 + 4 * size_t(i)), first[i]) << i;
    EXPECT_EQ(word(32), 9);
    EXPECT_EQ(word(36), -1);
    for (size_t at = 56; at < 200; ++at) EXPECT_EQ(f[at], 0) << "records past the players are zero, at " << at;
    EXPECT_EQ(word(200), 1);
    EXPECT_EQ(word(204), 4);
    EXPECT_EQ(word(208), 9);
}

TEST(Scoreboard, ScoresTravelAndRefuseStrangers) {
    Scoreboard host, client;
    host.entries = {Entry(1, 0, 0, 0, 0, 0, 0), Entry(2, 0, 5, 1, 0, 3, 0), Entry(3, 0, 2, 0, 4, 0, 1)};
    client.entries = host.entries;
    for (ScoreEntry& e : client.entries) e.name = SharedString(e.playerId == 2 ? "John Dough" : "other");
    host.Sort();
    Bytes f;
    host.WriteScores(f, 0, 0, 0);
    modemsg::Message m;
    ASSERT_TRUE(DecodeFrame(f, m));
    ASSERT_TRUE(client.ApplyScores(m));
    ASSERT_EQ(client.entries.size(), 3u);
    EXPECT_EQ(client.entries[0].playerId, 2);
    EXPECT_EQ(client.entries[0].name, SharedString("John Dough")) << "names stay with their players";
    EXPECT_EQ(client.entries[0].trafficWrecked, 3);
    EXPECT_EQ(client.entries[1].playerId, 3);
    EXPECT_EQ(client.entries[2].playerId, 1);

    // An id nobody has, or one player twice: the table stays as it was.
    const std::vector<ScoreEntry> before = client.entries;
    for (int32_t bad : {77, 2}) {
        Bytes g = f;
        PutWord(g, 8 + 24 * 2, uint32_t(bad));
        modemsg::Message gm;
        ASSERT_TRUE(DecodeFrame(g, gm));
        EXPECT_FALSE(client.ApplyScores(gm)) << bad;
        for (size_t i = 0; i < before.size(); ++i) {
            EXPECT_EQ(client.entries[i].playerId, before[i].playerId) << bad;
            EXPECT_EQ(client.entries[i].score, before[i].score) << bad;
        }
    }
}

TEST(Scoreboard, RankOrder) {
    // Each row: the entry that must come first, then the one after it, differing from the
    // key named onward; keys of higher priority are equal.
    const struct {
        const char* key;
        ScoreEntry first, second;
    } cases[] = {
        {"rank key beats score", Entry(1, 2, 0, 0, 9, 0, 0), Entry(2, 1, 9, 9, 0, 9, 9)},
        {"score beats kills", Entry(1, 0, 5, 0, 9, 0, 0), Entry(2, 0, 4, 9, 0, 9, 9)},
        {"kills beat deaths", Entry(1, 0, 5, 3, 9, 0, 0), Entry(2, 0, 5, 2, 0, 9, 9)},
        {"fewer deaths beat wrecked", Entry(1, 0, 5, 3, 1, 0, 0), Entry(2, 0, 5, 3, 2, 9, 9)},
        {"wrecked beats pedestrians", Entry(1, 0, 5, 3, 1, 4, 0), Entry(2, 0, 5, 3, 1, 3, 9)},
        {"pedestrians last", Entry(1, 0, 5, 3, 1, 4, 2), Entry(2, 0, 5, 3, 1, 4, 1)},
    };
    for (const auto& c : cases) {
        Scoreboard board;
        board.entries = {c.second, c.first};
        board.Sort();
        EXPECT_EQ(board.entries[0].playerId, 1) << c.key;
        board.entries = {c.first, c.second};
        board.Sort();
        EXPECT_EQ(board.entries[0].playerId, 1) << c.key << " (already in order)";
    }
    // Equal entries keep their order; a table of one stays; an empty one sorts.
    Scoreboard board;
    board.entries = {Entry(5, 0, 1, 0, 0, 0, 0), Entry(6, 0, 1, 0, 0, 0, 0), Entry(7, 0, 1, 0, 0, 0, 0)};
    board.Sort();
    EXPECT_EQ(board.entries[0].playerId, 5);
    EXPECT_EQ(board.entries[2].playerId, 7);
    board.entries = {Entry(5, 0, -3, 0, 0, 0, 0)};
    board.Sort();
    EXPECT_EQ(board.entries[0].score, -3);
    board.entries.clear();
    board.Sort();
}

TEST(Scoreboard, KillRules) {
    const struct {
        const char* what;
        int32_t killer, victim;
        bool counts;
        bool applied;
        int32_t killerKills, victimDeaths, killerDeaths;
    } cases[] = {
        {"a kill", 1, 2, true, true, 1, 1, 0},
        {"within a team", 1, 2, false, true, -1, 1, 0},
        {"no killer", -1, 2, true, true, 0, 1, 0},
        {"suicide", 1, 1, true, true, 0, 1, 1},
        {"unknown killer", 42, 2, true, true, 0, 1, 0},
        {"unknown victim", 1, 42, true, false, 0, 0, 0},
    };
    for (const auto& c : cases) {
        Scoreboard board;
        board.entries = {Entry(1, 0, 0, 0, 0, 0, 0), Entry(2, 0, 0, 0, 0, 0, 0)};
        EXPECT_EQ(board.ApplyKill(c.killer, c.victim, c.counts), c.applied) << c.what;
        EXPECT_EQ(board.Find(1)->kills, c.killerKills) << c.what;
        EXPECT_EQ(board.Find(1)->deaths, c.killerDeaths) << c.what;
        if (c.victim == 2) {
            EXPECT_EQ(board.Find(2)->deaths, c.victimDeaths) << c.what;
        }
        EXPECT_EQ(board.Find(2)->kills, 0) << c.what;
    }
}
