#include "game/traffic/CurrencyPedestrian.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/core/EngineServices.h"
#include "engine/render/D3D8Mesh.h"
#include "engine/render/MatrixStack.h"
#include "engine/render/MeshFactory.h"
#include "engine/render/RenderFacility.h"
#include "engine/render/ShaderTypes.h"
#include "game/vehicles/Vehicle.h"
#include "game/world/GameSession.h"
#include "game/world/LevelData.h"
#include "game/world/World.h"
#include "platform/sys/Random.h"

namespace {

uint32_t ColourBytes(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return a << 24 | r << 16 | g << 8 | b; }

void PutU32(uint8_t* at, uint32_t v) { std::memcpy(at, &v, 4); }
void PutF32(uint8_t* at, float v) { std::memcpy(at, &v, 4); }
uint32_t GetU32(const uint8_t* at) {
    uint32_t v;
    std::memcpy(&v, at, 4);
    return v;
}
float GetF32(const uint8_t* at) {
    float v;
    std::memcpy(&v, at, 4);
    return v;
}

}  // namespace

CurrencyPedestrianBase::CurrencyPedestrianBase(PedestrianType& type_, PedestrianSite& site_)
    : HailingPedestrian(type_, site_) {
    bobClock = RandomFloat(0.0f, 1.0f);
    if (site.world && site.world->engine.renderer) {
        currencyMesh.reset(MeshFactory::Instance().GetByName(SharedString(kModel), true));
        if (currencyMesh) fader = currencyMesh->GetShaderVars(SharedString("Fader"));
    }
}

CurrencyPedestrianBase::~CurrencyPedestrianBase() = default;

uint32_t CurrencyPedestrianBase::FaderColour(float distance) {
    const float t = std::min(distance * (1.0f / kFarDistance), 1.0f);
    if (t < 0.5f) return ColourBytes(255, uint32_t(2.0f * t * 255.0f), 255, 0);
    return ColourBytes(255, 255, uint32_t((1.0f - 2.0f * (t - 0.5f)) * 255.0f), 0);
}

float CurrencyPedestrianBase::DestinationDistance() const {
    const DropPoint* to = Destination();
    return to ? (to->position - GetPosition()).Length() : 0.0f;
}

void CurrencyPedestrianBase::OnAdded(ObjectQuadTree& tree) {
    Pedestrian::OnAdded(tree);
    const float d = DestinationDistance();
    const float x = d * (1.0f / kFarDistance);
    faderColour = FaderColour(d);
    LoadFareTariff();
    timeAllowance = std::pow(x, 0.7f) * 100.0f;
    price = PlacedPrice(x);
    priceCopy = price;
    drawnFrame = 0xFFFFFFFFu;
}

void CurrencyPedestrianBase::FailRide() {
    Vehicle* car = cab;
    if (car) {
        if (car->cab.passenger == this) car->cab.passenger = nullptr;
        std::erase(car->cab.passengers, static_cast<Passenger*>(this));
        car->OpenDoor();
    }
    HailingPedestrian::Arrive(false);
    cab = nullptr;
    destinations.clear();
}

void CurrencyPedestrianBase::Update(ObjectQuadTree& tree, const Camera* camera, float dt) {
    HailingPedestrian::Update(tree, camera, dt);
    bobClock += dt;
    if (!cab || !Riding()) return;
    timeAllowance -= dt;
    if (const DropPoint* to = Destination(); to && to->Contains(GetPosition())) cab->DeliverPassenger(false);
    if (!cab) return;
    RideStep(dt);
}

Matrix4 CurrencyPedestrianBase::SymbolMatrix() const {
    Matrix4 m = Quaternion(Vector3(0.0f, 1.0f, 0.0f), bobClock * 4.0f).ToMatrix();
    const Vector3 at = GetPosition() + Vector3(0.0f, 16.0f + 4.0f * std::sin(bobClock * 10.0f), 0.0f);
    m.Translate(at.x, at.y, at.z);
    return m;
}

void CurrencyPedestrianBase::Draw(ObjectQuadTree& tree, const Camera& camera) {
    Pedestrian::Draw(tree, camera);
    if (state == Dead || state == InCab || destinations.empty() || !currencyMesh) return;
    RenderFacility* renderer = site.world ? site.world->engine.renderer : nullptr;
    MatrixStack* stack = renderer ? renderer->GetMatrixStack() : nullptr;
    if (!stack) return;
    if (fader) fader->textureFactor = faderColour;
    stack->Push();
    stack->Load(SymbolMatrix());
    currencyMesh->Render();
    stack->Pop();
}

// ---------------------------------------------------------------------------------------------
// The network kind

CurrencyPedestrian::CurrencyPedestrian(PedestrianType& type_, PedestrianSite& site_)
    : CurrencyPedestrianBase(type_, site_) {
    looksForCabs = false;
}

int32_t CurrencyPedestrian::PlacedPrice(float x) const { return int32_t(std::pow(x, 0.875f) * tariff * 300.0f); }

bool CurrencyPedestrian::Board(Vehicle& car) {
    car.network.flagWord &= ~VehicleNetwork::NetworkCarFlag;
    const float x = DestinationDistance() / kFarDistance;
    timeAllowance = std::pow(x, 0.7f) * 100.0f;
    price = PlacedPrice(x);
    return HailingPedestrian::Board(car);
}

void CurrencyPedestrian::RideStep(float) {
    if (timeAllowance < 0.0f) FailRide();
}

int32_t CurrencyPedestrian::WriteState(uint8_t* buffer, int32_t capacity) {
    if (!buffer || capacity < kStateSize) return kStateSize;
    const Vector3 p = GetPosition();
    const Quaternion q = GetOrientation();
    PutU32(buffer, uint32_t(state));
    PutF32(buffer + 4, p.x);
    PutF32(buffer + 8, p.y);
    PutF32(buffer + 12, p.z);
    PutF32(buffer + 16, q.x);
    PutF32(buffer + 20, q.y);
    PutF32(buffer + 24, q.z);
    PutF32(buffer + 28, q.w);
    PutF32(buffer + 32, speed);
    PutF32(buffer + 36, health);
    return kStateSize;
}

void CurrencyPedestrian::ReadState(const uint8_t* data, int32_t size) {
    if (!data || size != kStateSize) return;
    const uint32_t newState = GetU32(data);
    if (newState > uint32_t(kHighestState)) return;
    float f[9];
    for (int i = 0; i < 9; ++i) {
        f[i] = GetF32(data + 4 + 4 * i);
        if (!std::isfinite(f[i])) return;
    }
    Quaternion q;
    q.x = f[3];
    q.y = f[4];
    q.z = f[5];
    q.w = f[6];
    SetOrientation(q);
    SetPosition(Vector3(f[0], f[1], f[2]));
    speed = f[7];
    state = int32_t(newState);
    health = f[8];
}

// ---------------------------------------------------------------------------------------------
// The single-player kind

LocalCurrencyPedestrian::LocalCurrencyPedestrian(PedestrianType& type_, PedestrianSite& site_)
    : CurrencyPedestrianBase(type_, site_) {}

int32_t LocalCurrencyPedestrian::PlacedPrice(float x) const { return int32_t(std::pow(x, 0.875f) * 200.0f); }

bool LocalCurrencyPedestrian::Board(Vehicle& car) {
    if (!mayBoard) return false;
    // The distance is the destination's before a drop run takes it away.
    const float d = DestinationDistance();
    if (site.world && site.world->session.gameType == kDropRunGameType) {
        car.network.flagWord &= ~VehicleNetwork::NetworkCarFlag;
        destinations.clear();
    }
    const float x = d * 0.0001f;
    timeAllowance = std::sqrt(x) * 100.0f;
    price = PlacedPrice(x);
    drained = 0.0f;
    return HailingPedestrian::Board(car);
}

void LocalCurrencyPedestrian::RideStep(float dt) {
    if (timeAllowance <= 0.0f) {
        timeAllowance = 0.0f;
        // Whole units come off as they add up: a frame's share alone is less than one.
        drained += kDrainPerSecond * dt;
        const float whole = std::floor(drained);
        price -= int32_t(whole);
        drained -= whole;
        if (price <= 0) FailRide();
    }
}

void LocalCurrencyPedestrian::Arrive(bool) {
    HailingArrive(true);
    PlayVoice(timeAllowance > 0.0f ? PedestrianType::DropFine : PedestrianType::DropBad);
    destinations.clear();
}
