// Seeds for the game-mode channel: one payload of every type, as the writers make them.
#include <vector>

#include "game/play/Scoreboard.h"
#include "tests/fuzz/FuzzSupport.h"

int main(int argc, char** argv) {
    const fuzz_support::SeedDir seeds(argc, argv);
    std::vector<uint8_t> f;
    auto write = [&](const char* name) { seeds.Write(name, std::vector<uint8_t>(f.begin() + 1, f.end())); };
    modemsg::WriteKill(f, 1, 2);
    write("kill");
    modemsg::WritePlayerEvent(f, modemsg::kTrafficWrecked, 1);
    write("wrecked");
    modemsg::WritePlayerEvent(f, modemsg::kPedestrianHit, 2);
    write("pedestrian");
    modemsg::WritePlayerEvent(f, modemsg::kRanOverFare, 3);
    write("ran-over");
    modemsg::WriteQuickMessage(f, 1, 222003);
    write("quick");
    modemsg::WriteReached(f, 2, 1013904223);
    write("reached");
    modemsg::WriteNextCheckpoint(f, 7);
    write("next");
    modemsg::WriteMoney(f, 3, 250.0f);
    write("money");
    modemsg::WriteEnded(f);
    write("ended");
    Scoreboard board;
    board.entries.resize(3);
    for (int32_t i = 0; i < 3; ++i) board.entries[size_t(i)].playerId = 3 - i;
    board.WriteScores(f, 1, 3, 2);
    write("scores");
    return 0;
}
