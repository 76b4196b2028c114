#pragma once
// Test doubles for the interfaces the world calls upward.
#include <vector>

#include "game/world/KillPlaneHandler.h"

namespace testing_support {

// Remembers every owner that reached the kill plane, in order.
class RecordingKillPlaneHandler : public KillPlaneHandler {
public:
    void OnKillPlane(GeomOwner& owner) override { owners.push_back(&owner); }
    std::vector<GeomOwner*> owners;
};

} // namespace testing_support
