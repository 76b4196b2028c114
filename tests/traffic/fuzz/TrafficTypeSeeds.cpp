// Writes the traffic car file seeds with the project's car writer: both layouts, an unknown
// version, several wheel pairs and light lists, and a file without lists.
#include "tests/fuzz/FuzzSupport.h"
#include "tools/writers/CarWriter.h"

int main(int argc, char** argv) {
    const fuzz_support::SeedDir seeds(argc, argv);
    tools::TrafficCarFolder folder;
    folder.name = "Sedan";
    tools::VqcCar car = tools::TrafficCarFile(folder);
    car.frontWheels.push_back(tools::WheelPair(7, 3, -12));
    car.halos[0].push_back({{1, 2, 3}, {-128, 127, 0}});
    car.discarded = {"alpha", "beta"};
    for (uint32_t version : {0x30u, 0x20u, 0x44u}) {
        car.version = version;
        seeds.Write("version-" + std::to_string(version), tools::VqcBytes(car));
    }
    car.version = 0x30;
    car.frontWheels.clear();
    car.backWheels.clear();
    for (auto& list : car.halos) list.clear();
    seeds.Write("bare", tools::VqcBytes(car));
    return 0;
}
