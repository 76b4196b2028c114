// A car's network record from a peer applied to a car in the physics world: whatever arrives,
// the car's numbers stay usable (finite, a unit orientation, gear and health in range) and the
// world steps on.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "game/world/RigidBody.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/vehicles/fuzz/SnapshotCar.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_support::DiscardLog();
    static snapshot_fuzz::SnapshotCar* game = new snapshot_fuzz::SnapshotCar;
    Vehicle& car = *game->car;
    car.ReadSnapshot(data, int32_t(size));
    const Vector3 p = car.ChassisBody()->GetPosition();
    Quaternion q;
    car.ChassisBody()->GetOrientation(q);
    fuzz_support::Check(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z));
    fuzz_support::Check(std::fabs(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w - 1.0f) < 1e-3f);
    fuzz_support::Check(car.drive.gear >= -1 && car.drive.gear <= std::max(car.Definition().handling.gearCount, 0));
    fuzz_support::Check(car.damage.health >= 0.0f && car.damage.health <= VehicleDamage::MaxHealth);
    game->world.physics.Simulate(1.0f / 75.0f, 75.0f, 1.0f);
    // The next input starts from a car at rest.
    car.SetPosition(Vector3(0.0f, 2.1f, 0.0f));
    car.damage.health = VehicleDamage::MaxHealth;
    return 0;
}
