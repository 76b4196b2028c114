#pragma once
// Hailing pedestrians that show what their ride is worth: a currency symbol spins and bobs
// above the head, green when the destination is near, through yellow, to red when it is far.
// Each carries a price and a time allowance worked out from the distance to its destination.
// While it rides the allowance runs down; the ride fails when it is used up (the network kind,
// `CurrencyPedestrian`) or when the price, draining once the allowance is gone, reaches 0 (the
// single-player kind, `LocalCurrencyPedestrian`).
#include <cstdint>
#include <memory>

#include "engine/net/ObjectChannel.h"
#include "game/traffic/HailingPedestrian.h"

class D3D8Mesh;
struct ShaderVariables;

class CurrencyPedestrianBase : public HailingPedestrian {
public:
    static constexpr const char* kModel = "Models\\Currency.ZKM";
    // The distance at which the symbol is fully red.
    static constexpr float kFarDistance = 15000.0f;

    CurrencyPedestrianBase(PedestrianType& type, PedestrianSite& site);
    ~CurrencyPedestrianBase() override;

    // The symbol's colour (A, R, G, B bytes) for a destination that far.
    static uint32_t FaderColour(float distance);
    // From the pedestrian to its destination (3-D); 0 without one.
    float DestinationDistance() const;

    // Placed: stands, takes its colour, tariff, allowance and price from the destination.
    void OnAdded(ObjectQuadTree& tree) override;
    using Pedestrian::OnAdded;
    void Update(ObjectQuadTree& tree, const Camera* camera, float dt) override;
    void Draw(ObjectQuadTree& tree, const Camera& camera) override;
    int32_t Price() const override { return price; }
    // The symbol's world matrix now.
    Matrix4 SymbolMatrix() const;

    std::unique_ptr<D3D8Mesh> currencyMesh;
    ShaderVariables* fader = nullptr;
    uint32_t faderColour = 0xFF00FF00u;
    float bobClock = 0.0f;
    int32_t price = 0;
    int32_t priceCopy = 0;
    float timeAllowance = 0.0f;

protected:
    // The price of a ride of that share of the far distance, as placed.
    virtual int32_t PlacedPrice(float x) const = 0;
    // What the kind does each frame while it rides, after the arrival test.
    virtual void RideStep(float dt) = 0;
    // The ride has run out: out of the car, a failed arrival, nowhere to go.
    void FailRide();
};

// The network kind: it never notices cabs by itself, and its state travels as a 40-byte record.
class CurrencyPedestrian : public CurrencyPedestrianBase, public NetObject {
public:
    static constexpr int32_t kStateSize = 40;
    static constexpr int32_t kHighestState = 10;

    CurrencyPedestrian(PedestrianType& type, PedestrianSite& site);

    bool Board(Vehicle& car) override;

    // State, position, orientation, speed and health; a short buffer gets nothing and the size.
    int32_t WriteState(uint8_t* buffer, int32_t capacity) override;
    // A record of 40 bytes with a state of 0..10 and finite numbers; anything else changes
    // nothing.
    void ReadState(const uint8_t* data, int32_t size) override;

protected:
    int32_t PlacedPrice(float x) const override;
    void RideStep(float dt) override;
};

// The single-player kind of the cab missions.
class LocalCurrencyPedestrian : public CurrencyPedestrianBase {
public:
    // Money lost each second once the allowance is used up.
    static constexpr float kDrainPerSecond = 10.0f;
    // The drop-point run: the passenger only rides along; the run chooses where to go.
    static constexpr int32_t kDropRunGameType = 9;

    LocalCurrencyPedestrian(PedestrianType& type, PedestrianSite& site);

    bool Board(Vehicle& car) override;
    // Always a delivery; the voice tells whether it came in time.
    void Arrive(bool success) override;
    // Once delivered (or failed) it has nowhere to go, and never hails the cab it just left.
    bool WantsCab() const override { return looksForCabs && !destinations.empty(); }

    // The part of a unit drained but not yet taken off the price.
    float drained = 0.0f;

protected:
    int32_t PlacedPrice(float x) const override;
    void RideStep(float dt) override;
};
