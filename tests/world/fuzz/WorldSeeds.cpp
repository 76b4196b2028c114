// Seeds for the world readers, written by the project's own writers.
#include "tests/fuzz/FuzzSupport.h"
#include "tests/world/WorldTestSupport.h"

namespace {
std::vector<uint8_t> Tagged(uint8_t tag, const std::vector<uint8_t>& bytes) {
    std::vector<uint8_t> out{tag};
    out.insert(out.end(), bytes.begin(), bytes.end());
    return out;
}
} // namespace

int main(int argc, char** argv) {
    fuzz_support::SeedDir seeds(argc, argv);
    tools::CityOptions small;
    small.blocks = 3;
    small.drawGroups = 0;
    seeds.Write("city", Tagged(0, tools::WorldBytes(tools::GenerateCity(small))));
    tools::WorldFile flat = world_testing::FlatWorld(500.0f);
    const uint32_t crate = world_testing::AddKind(flat, {10, 10, 10}, 0x04, 100.0f, 1);
    const uint32_t pane = world_testing::AddKind(flat, {20, 20, 1}, 0x24, 10.0f, 0, 1);
    world_testing::Place(flat, crate, {0, 10, 0});
    world_testing::Place(flat, pane, {0, 20, 12});
    flat.trafficGraph.nodes.resize(3);
    flat.trafficLights.push_back({{{1, 0}}, {{2, 1}}});
    flat.crates.push_back({6, 0});
    flat.dropPoints.push_back({"Post", 1, {1, 2}});
    seeds.Write("flat", Tagged(0, tools::WorldBytes(flat)));
    seeds.Write("css", Tagged(1, tools::CssBytes({100, 2000, -300})));
    std::vector<CameraRecord> cameras(3);
    cameras[1].sample = SharedString("Shot.WAV");
    cameras[2].mission = 7;
    cameras[2].episode = 3;
    seeds.Write("cameras", Tagged(2, tools::CameraDataBytes(cameras)));
    return 0;
}
