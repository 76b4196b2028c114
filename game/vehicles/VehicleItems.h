#pragma once
// What a car carries besides its passengers: one weapon and its specials (the car's own special
// first), and which own special its name gave it.
#include <vector>

class CarItem;

struct VehicleItems {
    enum class OwnSpecial { None, Siren, Boost, Horn };

    std::vector<CarItem*> specials;
    CarItem* weapon = nullptr;
    OwnSpecial ownSpecial = OwnSpecial::None;
};
