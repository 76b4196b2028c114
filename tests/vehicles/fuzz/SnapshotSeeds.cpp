// Seeds of the car record: records the car writes of itself at rest, driving, turned, in reverse
// with its lights on, and wrecked.
#include <vector>

#include "game/vehicles/VehicleSnapshot.h"
#include "game/world/RigidBody.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/vehicles/fuzz/SnapshotCar.h"

int main(int argc, char** argv) {
    const fuzz_support::SeedDir seeds(argc, argv);
    snapshot_fuzz::SnapshotCar game;
    Vehicle& car = *game.car;
    std::vector<uint8_t> record(vehicle_snapshot::Size);
    const auto write = [&](const char* name) {
        if (car.WriteSnapshot(record.data(), int32_t(record.size())) != vehicle_snapshot::Size) std::exit(1);
        seeds.Write(name, record);
    };
    write("at_rest");
    car.ChassisBody()->SetLinearVelocity(Vector3(0.0f, 0.0f, -80.0f));
    car.controls.throttle = 1.0f;
    car.drive.gear = 3;
    car.drive.revs = 6.5f;
    write("driving");
    car.SetOrientation(Quaternion(Vector3(0.0f, 1.0f, 0.0f), 2.0f));
    car.controls.steerInput = -1.0f;
    car.drive.steerAngle = -0.4f;
    write("turned");
    car.drive.gear = -1;
    car.controls.brake = 0.5f;
    car.controls.handbrake = 1.0f;
    car.effects.headlightsOn = 1;
    write("reverse_lights");
    car.damage.health = 0.0f;
    write("wrecked");
    return 0;
}
