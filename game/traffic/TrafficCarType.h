#pragma once
// One kind of traffic car: its meshes, its wheel and light positions and the box that stands for
// the whole car in the physics world. Read from "Vehicles\Traffic\<name>.VQC" (the player cars'
// file family) by a reader that keeps only what a traffic car needs; the meshes come from the
// folder "Vehicles\Traffic\<name>\". Every kind is loaded once and kept to the end of the program.
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/Math.h"
#include "engine/core/SharedString.h"

class D3D8Mesh;
class TrafficCar;

class TrafficCarType {
public:
    // A front or rear light: where it is and three values the file keeps as signed bytes.
    struct LightRecord {
        Vector3 position;
        float values[3] = {0.0f, 0.0f, 0.0f};
        float alpha = 1.0f;
    };
    static constexpr uint32_t kVersionCurrent = 0x30;
    static constexpr uint32_t kVersionOlder = 0x20;  // a string list, no light lists
    static constexpr float kMass = 100.0f;

    // Reads "Vehicles\Traffic\<fileName>" (fileName ends in ".VQC") and loads the meshes. A file
    // that is missing, short or foreign leaves the kind without meshes and with zero geometry;
    // an unknown version logs "Car %s is invalid" and is read as the current one.
    explicit TrafficCarType(const SharedString& fileName);
    ~TrafficCarType();
    TrafficCarType(const TrafficCarType&) = delete;
    TrafficCarType& operator=(const TrafficCarType&) = delete;

    // Only the bytes: the file's fields, without meshes or box (the fuzz target and the tests).
    // False when the header is missing or foreign.
    bool ReadFile(const SharedString& path);
    // The box from the first chassis mesh's points as the car wears them (turned half round
    // about the vertical) and the wheel radius.
    void ComputeBox(const std::vector<Vector3>& chassisPoints, const std::vector<Vector3>& wheelPoints);
    // Cars are built only of kinds with a chassis to draw and a box to stand for them.
    bool Usable() const { return !chassisMeshes.empty(); }

    SharedString name;
    float mass = kMass;
    std::vector<D3D8Mesh*> chassisMeshes;  // owned; in the listing's order, later ones more damaged
    D3D8Mesh* wheelMesh = nullptr;         // owned
    D3D8Mesh* pieceMesh = nullptr;         // owned; the wreck
    // Front left, front right, rear left, rear right (z negated from the file).
    std::array<Vector3, 4> wheels{};
    Vector3 frontAxle, rearAxle, wheelCentre;
    Vector3 boxCentre, boxSize;
    std::array<float, 4> wheelRadius{};
    std::vector<LightRecord> frontLights, rearLights;
    uint32_t version = 0;
    // Cars of this kind found visible by the current cull; emptied by every cull, by the draw
    // and by a reset.
    std::vector<TrafficCar*> drawList;
};

// Every kind of "Vehicles\Traffic\*.VQC", in the listing's (sorted) order.
std::vector<std::unique_ptr<TrafficCarType>> LoadTrafficCarTypes();
