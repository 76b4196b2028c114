// One fuzz input: a currency pedestrian's state record from a peer. Whatever the bytes, the
// pedestrian keeps a state of 0..10 and finite numbers, a record it refuses changes nothing, and
// one it takes is written back byte for byte.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "engine/core/EngineServices.h"
#include "game/traffic/CurrencyPedestrian.h"
#include "game/traffic/PedestrianType.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

struct Subject {
    Subject() : type(SharedString("PED01.VQP"), none) { pedestrian = std::make_unique<CurrencyPedestrian>(type, site); }
    EngineServices none;
    PedestrianType type;
    PedestrianSite site;
    std::unique_ptr<CurrencyPedestrian> pedestrian;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_support::DiscardLog();
    static Subject subject;
    CurrencyPedestrian& p = *subject.pedestrian;
    p.SetPosition(Vector3(1, 2, 3));
    p.SetOrientation(Quaternion());
    p.state = 6;
    p.speed = 0.0f;
    p.health = 0.5f;
    uint8_t before[CurrencyPedestrian::kStateSize];
    fuzz_support::Check(p.WriteState(before, sizeof before) == CurrencyPedestrian::kStateSize);

    p.ReadState(data, int32_t(size > 0x7FFFFFFF ? 0x7FFFFFFF : size));

    fuzz_support::Check(p.state >= 0 && p.state <= CurrencyPedestrian::kHighestState);
    const Vector3 at = p.GetPosition();
    for (float v : {at.x, at.y, at.z, p.speed, p.health}) fuzz_support::Check(std::isfinite(v));
    uint8_t after[CurrencyPedestrian::kStateSize];
    fuzz_support::Check(p.WriteState(after, sizeof after) == CurrencyPedestrian::kStateSize);
    if (size != size_t(CurrencyPedestrian::kStateSize)) fuzz_support::Check(std::memcmp(before, after, sizeof after) == 0);
    // The state, speed and health come back exactly as sent.
    if (std::memcmp(before, after, sizeof after) != 0) {
        fuzz_support::Check(std::memcmp(after, data, 4) == 0);
        fuzz_support::Check(std::memcmp(after + 32, data + 32, 8) == 0);
    }
    return 0;
}
