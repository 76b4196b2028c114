#include "game/traffic/HailingPedestrian.h"

#include "engine/audio/AudioDevice.h"
#include "engine/core/EngineServices.h"
#include "engine/core/LanguageSet.h"
#include "game/traffic/StreetEvents.h"
#include "game/world/LevelData.h"
#include "game/world/World.h"
#include "platform/sys/Random.h"

namespace {

constexpr float kSoundNear = 25.0f, kSoundFar = 100.0f;

SharedString Upper(SharedString s) {
    SharedString copy(s.c_str());
    copy.ToUpper();
    return copy;
}

}  // namespace

HailingPedestrian::HailingPedestrian(PedestrianType& type_, PedestrianSite& site_) : Fare(type_, site_) {
    LoadFareTariff();
}

void HailingPedestrian::LoadFareTariff() {
    tariff = kDefaultTariff;
    tariffSpread = 0.2f;
    limit = 200.0f;
    const EngineServices* engine = site.world ? &site.world->engine : nullptr;
    if (engine && engine->language) {
        const SharedString kind = Upper(type.name);
        const int32_t count = engine->Text(kTariffTable).ToInt(0);
        for (int32_t i = 0; i < count; ++i) {
            const int32_t entry = kTariffTable + kTariffStride * i;
            if (!(Upper(engine->Text(entry + 1)) == kind)) continue;
            // The values sit beside the name that matched.
            auto value = [&](int32_t k) { return float(engine->Text(entry + k).ToFloat(0)); };
            tariff = value(4) + RandomFloat(0.0f, value(5));
            limit = RandomFloat(value(6), value(7));
            tariffSpread = value(8) + RandomFloat(-value(9), value(9));
            break;
        }
    }
    spare = 0.9f;
}

void HailingPedestrian::SetDestination(int32_t index) {
    if (!site.world || index < 0 || size_t(index) >= site.world->dropPoints.size()) return;
    DropPoint& point = site.world->dropPoints[size_t(index)];
    destinations.clear();
    destinations.push_back(&point);
    names[2] = point.name;
}

void HailingPedestrian::PlayVoice(PedestrianType::Voice voice) {
    const std::vector<SharedString>& files = type.voices[size_t(voice)];
    if (files.empty() || !site.world) return;
    const EngineServices& engine = site.world->engine;
    const SharedString& file = files[size_t(plat::EngineRand()) % files.size()];
    const char* language = engine.language ? engine.language->Name().c_str() : "English";
    if (engine.sound)
        engine.sound->PlaySound3D(SharedString::Format("Pedestrians\\%s\\%s\\%s", type.name.c_str(), language, file.c_str()),
                                  GetPosition(), kSoundNear, kSoundFar, 1.0f, nullptr);
}

bool HailingPedestrian::Board(Vehicle& car) {
    if (!mayBoard) return false;
    if (DropPoint* to = Destination()) to->Activate();
    StartRide(car);
    PlayVoice(PedestrianType::Pickup);
    if (StreetEvents* events = Events()) events->OnFareBoarded(&car, *this);
    return true;
}

void HailingPedestrian::HailingArrive(bool success) {
    if (!mayBoard) return;
    if (DropPoint* to = Destination()) to->Deactivate();
    Judge(success, false);
    if (success) PlayVoice(PedestrianType::Getoff);
    leaveTimer = kLeaveTime;
    if (cab) Leave(*cab);
}

void HailingPedestrian::Arrive(bool success) { HailingArrive(success); }

void HailingPedestrian::GetOut() {
    if (!mayBoard) return;
    PlayVoice(PedestrianType::Getoff);
    if (DropPoint* to = Destination()) to->Deactivate();
    if (StreetEvents* events = Events()) events->OnFareGotOut(cab, *this);
    Vehicle* car = cab;
    cab = nullptr;
    leaveTimer = kLeaveTime;
    if (car) Leave(*car);
}

void HailingPedestrian::Update(ObjectQuadTree& tree, const Camera* camera, float dt) {
    Fare::Update(tree, camera, dt);
    if (!cab) return;
    for (DropPoint* point : destinations)
        if (point) point->Update(dt);
}
