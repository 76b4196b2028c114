// Writes the car file fuzz seeds with the project's car writer: every version, several wheel
// pairs, full light lists and the string list of the older version.
#include "tests/fuzz/FuzzSupport.h"
#include "tools/writers/CarWriter.h"

int main(int argc, char** argv) {
    const fuzz_support::SeedDir seeds(argc, argv);
    tools::VqcCar car;
    car.displayName = "Seed car";
    car.handling.forwardSpeedFactor = 1.2f;
    car.handling.engineForce = 4000.0f;
    car.handling.gearCount = 4;
    car.handling.massValue = 1000.0f;
    car.handling.steeringExponent = 1.5f;
    car.handling.minimumSteeringFactor = 0.3f;
    car.doorPoint1 = Vector3(12, 0, 2);
    car.frontWheels = {tools::WheelPair(8, 1.4f, -14), tools::WheelPair(7, 1.5f, -13)};
    car.backWheels = {tools::WheelPair(8, 1.4f, 14)};
    car.halos[0] = {{{6, 4, -22}, {1, -2, 3}}, {{-6, 4, -22}, {-128, 127, 0}}};
    car.halos[1] = {{{6, 4, 22}, {0, 0, 0}}};
    car.halos[2] = {{{3, 3, 22}, {5, 5, 5}}};
    car.discarded = {"alpha", "beta"};
    for (uint32_t version : {0x30u, 0x20u, 0x10u, 0x44u}) {
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
