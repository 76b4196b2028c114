#pragma once
// A fare with somewhere to go: a destination drop point that lights up while it rides, voice
// lines from its kind's voice sets, and a tariff read from the language tables. The currency
// pedestrians build on it.
#include <cstdint>

#include "game/traffic/Fare.h"
#include "game/traffic/PedestrianType.h"

class HailingPedestrian : public Fare {
public:
    // The language keys of the tariff table: the entry count, then per entry i (100 apart) the
    // kind's name at +1 and its values at +2 .. +9.
    static constexpr int32_t kTariffTable = 8880000;
    static constexpr int32_t kTariffStride = 100;
    static constexpr float kDefaultTariff = 0.2f;

    HailingPedestrian(PedestrianType& type, PedestrianSite& site);

    // The one destination: the world's drop point of that index (out of range: nothing changes).
    void SetDestination(int32_t dropPointIndex);
    // A random line of the voice set at the pedestrian; nothing when the set is empty.
    void PlayVoice(PedestrianType::Voice voice);
    // The tariff record from the language tables: the entry whose name is the kind's, else the
    // defaults (tariff 0.2, spread 0.2, limit 200).
    void LoadFareTariff();

    bool Board(Vehicle& car) override;
    void Arrive(bool success) override;
    void GetOut() override;
    void Update(ObjectQuadTree& tree, const Camera* camera, float dt) override;

    // The first destination, or null.
    DropPoint* Destination() const { return destinations.empty() ? nullptr : destinations.front(); }

protected:
    // The hailing pedestrian's arrival; the currency kinds add their voice after it.
    void HailingArrive(bool success);
};
