// The lobby's readers of what peers send, each beside copying the same bytes: the session block,
// a player block, the start message and a chat line into the chat box's log. Each figure is the
// reader's time per message over the copy's ("x_copy"), with both in nanoseconds, in one run.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "game/frontend/LobbyBlocks.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRounds = 200000;

template <class Work>
double NanosecondsPer(Work&& work) {
    const auto start = Clock::now();
    for (int i = 0; i < kRounds; ++i) work(i);
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count() / kRounds;
}

void Report(benchmark::State& state, const std::vector<uint8_t>& bytes, bool (*read)(const std::vector<uint8_t>&)) {
    std::vector<uint8_t> copy(bytes.size() + 1);
    double readNs = 0.0, copyNs = 0.0;
    for (auto _ : state) {
        readNs = NanosecondsPer([&](int) { benchmark::DoNotOptimize(read(bytes)); });
        copyNs = NanosecondsPer([&](int i) {
            if (!bytes.empty()) std::memcpy(copy.data(), bytes.data(), bytes.size());
            copy[bytes.size()] = uint8_t(i);
            benchmark::DoNotOptimize(copy.data());
            benchmark::ClobberMemory();
        });
    }
    state.counters["read_ns"] = readNs;
    state.counters["copy_ns"] = copyNs;
    state.counters["x_copy"] = copyNs > 0.0 ? readNs / copyNs : 0.0;
}

void BM_SessionBlock(benchmark::State& state) {
    SessionBlock block;
    block.gameType = 2;
    block.firstSetting = 10;
    Report(state, block.Bytes(), [](const std::vector<uint8_t>& b) {
        SessionBlock out;
        return SessionBlock::Read(b.data(), b.size(), out) && out.gameType == 2;
    });
}

void BM_PlayerBlock(benchmark::State& state) {
    PlayerBlock block;
    block.car = 3;
    block.team = 9;
    block.ready = 1;
    Report(state, block.Bytes(), [](const std::vector<uint8_t>& b) {
        PlayerBlock out;
        return PlayerBlock::Read(b.data(), b.size(), out) && out.IsReady();
    });
}

void BM_StartMessage(benchmark::State& state) {
    Report(state, {}, [](const std::vector<uint8_t>& b) { return IsLobbyStartMessage(b.data(), int32_t(b.size())); });
}

void BM_ChatLine(benchmark::State& state) {
    const std::string line = "Ann: see you at the station, the one by the river";
    static ChatLog log;
    Report(state, std::vector<uint8_t>(line.begin(), line.end()), [](const std::vector<uint8_t>& b) {
        log.Add(std::string_view(reinterpret_cast<const char*>(b.data()), b.size()));
        return !log.Lines().empty();
    });
}

} // namespace

BENCHMARK(BM_SessionBlock)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlayerBlock)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StartMessage)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ChatLine)->Iterations(1)->Unit(benchmark::kMillisecond);
