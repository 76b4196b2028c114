// Seeds for channel 118: a spawn and a despawn as the codec writes them (less the channel byte,
// as the client hands them over), each after a state byte, and frames a byte short and long.
#include <vector>

#include "game/traffic/TrafficManager.h"
#include "tests/fuzz/FuzzSupport.h"

int main(int argc, char** argv) {
    const fuzz_support::SeedDir seeds(argc, argv);
    auto frame = [](uint8_t state, const TrafficManager::Message& m, int extra) {
        uint8_t bytes[TrafficManager::kSpawnSize];
        const size_t size = TrafficManager::Encode(m, bytes);
        std::vector<uint8_t> out{state};
        out.insert(out.end(), bytes + 1, bytes + size);
        if (extra > 0) out.push_back(0);
        if (extra < 0) out.pop_back();
        return out;
    };
    const TrafficManager::Message spawn{TrafficManager::Message::Spawn, 3, 1};
    const TrafficManager::Message despawn{TrafficManager::Message::Despawn, 2, 0};
    seeds.Write("spawn", frame(0x82, spawn, 0));
    seeds.Write("despawn", frame(0x84, despawn, 0));
    seeds.Write("spawn-long", frame(0x01, spawn, 1));
    seeds.Write("despawn-short", frame(0x03, despawn, -1));
    return 0;
}
