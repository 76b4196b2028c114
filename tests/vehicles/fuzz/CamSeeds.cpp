// Writes the car camera fuzz seeds with the game's own camera serializer.
#include "game/vehicles/CarCamera.h"
#include "tests/fuzz/FuzzSupport.h"

int main(int argc, char** argv) {
    const fuzz_support::SeedDir seeds(argc, argv);
    seeds.Write("default", CarCameraBytes(CarCamera()));
    CarCamera c;
    c.position = Vector3(0, 12, 3);
    c.rotation = Quaternion(Vector3(1, 0, 0), -0.2f);
    c.distance = 60.0f;
    c.lerp = 2.0f;
    c.viewCar = false;
    c.attached = true;
    seeds.Write("chase", CarCameraBytes(c));
    return 0;
}
