// Writes the currency pedestrian state seeds with the pedestrian's own WriteState.
#include <memory>
#include <vector>

#include "engine/core/EngineServices.h"
#include "game/traffic/CurrencyPedestrian.h"
#include "game/traffic/PedestrianType.h"
#include "tests/fuzz/FuzzSupport.h"

int main(int argc, char** argv) {
    const fuzz_support::SeedDir seeds(argc, argv);
    EngineServices none;
    PedestrianType type(SharedString("PED01.VQP"), none);
    PedestrianSite site;
    CurrencyPedestrian p(type, site);
    const auto write = [&](const char* name) {
        std::vector<uint8_t> record(CurrencyPedestrian::kStateSize);
        p.WriteState(record.data(), int32_t(record.size()));
        seeds.Write(name, record);
    };
    p.SetPosition(Vector3(120, 10, -3400));
    p.state = 6;
    write("standing");
    p.SetOrientation(Quaternion(Vector3(0, 1, 0), 1.2f));
    p.state = 8;
    p.speed = 30.0f;
    write("walking_to_cab");
    p.state = 9;
    p.speed = 0.0f;
    p.health = 0.0f;
    write("riding");
    return 0;
}
