#pragma once
// What a car shows besides its bodies' motion: the light halos (headlights, brake and reversing
// lights) and the headlight switch, the chassis mesh of its damage stage and the rider, damage
// smoke and skid puffs, the water it is in and its bubbles, and its shadow's light direction.
#include <array>
#include <cstdint>
#include <vector>

#include "engine/core/Math.h"
#include "game/world/ParticleSystem.h"

class D3D8Mesh;
struct WaterVolume;

struct VehicleEffects {
    static constexpr int32_t BubbleCapacity = 128;

    struct Halo {
        Vector3 point; // in chassis space
        ParticleGroup* particle = nullptr;
        float intensity = 0.0f;
    };
    struct Bubble {
        Vector3 position;
        const WaterVolume* volume = nullptr; // null: free
    };

    std::vector<Halo> headlights;
    std::vector<Halo> brakeLights;
    std::vector<Halo> reverseLights;
    uint8_t headlightsOn = 0;
    // One camera-facing group per halo, drawn through the shared halo batch.
    std::vector<ParticleGroup> haloGroups;
    std::vector<ParticleGroup*> drawList;

    D3D8Mesh* chassisMesh = nullptr;
    D3D8Mesh* riderMesh = nullptr;

    // The water volume the car is in; null out of water.
    const WaterVolume* waterVolume = nullptr;
    std::array<Bubble, BubbleCapacity> bubbles{};
    int32_t bubbleCount = BubbleCapacity;
    uint8_t bubbleWrite = 0;

    float smokeCarry = 0.0f;
    float skidPuffTimer = 0.0f;
    // The shadow's light direction in chassis space.
    Vector3 shadowLight;
};
