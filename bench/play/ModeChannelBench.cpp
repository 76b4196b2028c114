// The game-mode channel's messages and the host's score work. Reported in one run: decoding
// each message type as a ratio to copying its bytes, and the host's frame work for eight
// players (a kill applied, the table sorted and written as the scores frame, each car's money
// frame written, and every client's table rebuilt from the frame) as a share of the 13.33 ms
// step.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "game/play/Scoreboard.h"

namespace {

constexpr double kStepSeconds = 1.0 / 75.0;
constexpr int kRounds = 20000;

double Seconds(std::chrono::steady_clock::time_point from) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

Scoreboard EightPlayers() {
    Scoreboard board;
    board.entries.resize(8);
    for (int32_t i = 0; i < 8; ++i) {
        ScoreEntry& e = board.entries[size_t(i)];
        e.playerId = 100 + i;
        e.score = (i * 7) % 5;
        e.kills = i % 3;
        e.deaths = (i * 5) % 4;
    }
    return board;
}

std::vector<uint8_t> Frame(int which) {
    std::vector<uint8_t> f;
    switch (which) {
    case 0: modemsg::WriteKill(f, 101, 102); break;
    case 1: modemsg::WritePlayerEvent(f, modemsg::kTrafficWrecked, 103); break;
    case 2: modemsg::WriteQuickMessage(f, 104, 222004); break;
    case 3: modemsg::WriteReached(f, 105, 1013904223); break;
    case 4: modemsg::WriteMoney(f, 106, 1250.0f); break;
    case 5: modemsg::WriteEnded(f); break;
    default: EightPlayers().WriteScores(f, 1, 101, 102); break;
    }
    return f;
}

const char* const kNames[] = {"kill", "traffic wrecked", "quick message", "checkpoint reached", "money", "ended",
                              "scores"};

void BM_DecodeBesideCopy(benchmark::State& state) {
    const std::vector<uint8_t> frame = Frame(int(state.range(0)));
    state.SetLabel(kNames[state.range(0)]);
    std::vector<uint8_t> copy(frame.size());
    double decodeSeconds = 0.0, copySeconds = 0.0;
    for (auto _ : state) {
        modemsg::Message m;
        auto t0 = std::chrono::steady_clock::now();
        for (int i = 0; i < kRounds; ++i) {
            benchmark::DoNotOptimize(modemsg::Decode(frame.data() + 1, frame.size() - 1, m));
            benchmark::ClobberMemory();
        }
        decodeSeconds += Seconds(t0);
        t0 = std::chrono::steady_clock::now();
        for (int i = 0; i < kRounds; ++i) {
            std::memcpy(copy.data(), frame.data() + 1, frame.size() - 1);
            benchmark::DoNotOptimize(copy.data());
            benchmark::ClobberMemory();
        }
        copySeconds += Seconds(t0);
    }
    const double n = double(state.iterations()) * kRounds;
    state.counters["decode_ns"] = decodeSeconds / n * 1e9;
    state.counters["copy_ns"] = copySeconds / n * 1e9;
    state.counters["x_copy"] = copySeconds > 0.0 ? decodeSeconds / copySeconds : 0.0;
}
BENCHMARK(BM_DecodeBesideCopy)->DenseRange(0, 6)->Iterations(5);

void BM_HostFrameEightPlayers(benchmark::State& state) {
    Scoreboard host = EightPlayers();
    std::vector<Scoreboard> clients(8, EightPlayers());
    std::vector<uint8_t> scores, money;
    scores.reserve(modemsg::kScoresSize);
    money.reserve(16);
    double seconds = 0.0;
    int64_t frames = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        for (int i = 0; i < 1000; ++i) {
            host.ApplyKill(100 + i % 8, 100 + (i + 3) % 8, true);
            host.Sort();
            host.WriteScores(scores, 1, 100 + i % 8, 100 + (i + 3) % 8);
            for (const ScoreEntry& e : host.entries) modemsg::WriteMoney(money, e.playerId, float(e.score));
            modemsg::Message m;
            if (modemsg::Decode(scores.data() + 1, scores.size() - 1, m))
                for (Scoreboard& c : clients) c.ApplyScores(m);
            benchmark::DoNotOptimize(money.data());
        }
        seconds += Seconds(t0);
        frames += 1000;
    }
    state.counters["frame_us"] = seconds / double(frames) * 1e6;
    state.counters["share_of_step_pct"] = seconds / double(frames) / kStepSeconds * 100.0;
}
BENCHMARK(BM_HostFrameEightPlayers)->Iterations(20);

} // namespace
