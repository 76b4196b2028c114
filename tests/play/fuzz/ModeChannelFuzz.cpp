// The game-mode channel's decoder and the score table on arbitrary payloads: a frame that
// decodes is applied to a table of three players, which must keep its players.
#include <cstddef>
#include <cstdint>

#include "game/play/Scoreboard.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using fuzz_support::Check;
    fuzz_support::DiscardLog();
    modemsg::Message m;
    if (!modemsg::Decode(data, size, m)) return 0;
    Scoreboard board;
    board.entries.resize(3);
    for (int32_t i = 0; i < 3; ++i) board.entries[size_t(i)].playerId = i + 1;
    if (m.type == modemsg::kScores) board.ApplyScores(m);
    if (m.type == modemsg::kKill) board.ApplyKill(m.player, m.victim, true);
    if (m.type == modemsg::kQuickMessage) Check(m.number >= modemsg::kFirstQuickText && m.number <= modemsg::kLastQuickText);
    board.Sort();
    Check(board.entries.size() == 3);
    int32_t sum = 0;
    for (const ScoreEntry& e : board.entries) sum += e.playerId;
    Check(sum == 6);
    return 0;
}
