#pragma once
// Writers of the car files: ".VQC" car definitions (versions 0x30, 0x20 and 0x10, or any other
// number written as 0x30 is laid out) and ".CAM" camera records, and the models a car folder
// holds. Shared by the demo-tree generator, the tests and the fuzz seeds. Handling values are
// given as the game uses them; the writer stores the scaled ones with the reader's constants.
// Handedness: "left" wheels have x > 0.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/core/Math.h"
#include "engine/core/SharedString.h"
#include "game/vehicles/CarCamera.h"
#include "game/vehicles/CarDefinition.h"
#include "tools/writers/MeshWriter.h"

namespace tools {

struct VqcHalo {
    Vector3 position;
    int8_t values[3] = {0, 0, 0};
};

struct VqcWheelPair {
    Vector3 left, right;
};

struct VqcCar {
    uint32_t version = 0x30;
    std::string displayName;
    std::vector<std::string> discarded;  // the string list of version 0x20
    uint8_t ignored[3] = {0, 0, 0};
    CarHandling handling;
    Vector3 doorPoint1;
    std::vector<VqcWheelPair> frontWheels;  // the reader keeps the last pair
    std::vector<VqcWheelPair> backWheels;
    std::vector<VqcHalo> halos[3];          // not written for version 0x20
};

std::vector<uint8_t> VqcBytes(const VqcCar& car);
bool WriteVqc(const SharedString& path, const VqcCar& car);
// The .CAM bytes are the game's own serializer's (CarCameraBytes).
bool WriteCam(const SharedString& path, const CarCamera& camera);

// A car body: a lower box and a cabin, with every marker the car definition reads ("DRIVER",
// "DOORPOS1..3", "MISSILE", "ROCKET_1..8", "FLAMER", "CHAINGUN", "GRENADE", "BOOST"). Its
// collision points (what the definition measures) are the corners of both boxes. `damage`
// 0..1 dents the cabin down and in (the damage stages). The texture is in quarters: top left
// the sides (its middle also the roof), top right the front with the head lights, bottom left
// the back with the tail lights, bottom right the cabin's windows.
ZkmModel CarChassisModel(const std::string& texture, const Vector3& halfBody, float damage);
// A door panel hinged at its front edge, opened by `angle` radians about the vertical.
ZkmModel CarDoorModel(const std::string& texture, const Vector3& hinge, float length, float height, float angle);
// A flat-bottomed box a little larger than the body, for cars with a shadow model of their own.
ZkmModel CarShadowModel(const Vector3& halfBody);

// A taxi that drives well on the demo city's roads: its handling and one wheel pair per axle
// (no door point, no halos). Tests and benchmarks start their cars from it.
VqcCar TaxiCar(const std::string& displayName);

// A traffic car kind: "<root>/Vehicles/Traffic/<name>.VQC" and the folder beside it with
// `stages` chassis models "Chassis1.ZKM".. (later ones more dented), "Wheel.ZKM" and the wreck
// "Stuk.ZKM". The body spans `halfBody` round its centre at height halfBody.y + wheelRadius / 2,
// so that it stands on its wheels (wheel centres at wheelRadius, track and axles from halfBody).
// The chassis is modelled facing -z as the player cars are; the traffic reader turns it.
// `texture` names the body texture the models use.
struct TrafficCarFolder {
    std::string name;
    Vector3 halfBody{8.0f, 4.0f, 20.0f};
    float wheelRadius = 3.5f;
    int stages = 2;
    std::string texture = "Traffic.ZKT";
    uint32_t version = 0x30;
};
VqcCar TrafficCarFile(const TrafficCarFolder& folder);
bool WriteTrafficCar(const std::string& root, const TrafficCarFolder& folder);

// Wheel points from half the track, the wheel height and the front and back axle positions.
VqcWheelPair WheelPair(float halfTrack, float height, float z);

}  // namespace tools
