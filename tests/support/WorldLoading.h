#pragma once
// Loads a world whole, as the loading screen does over many frames: each step in order, repeated
// until it is done. A step that fails ends the load with LoadFailed set.
#include "game/world/World.h"

namespace testing_support {

inline bool LoadWholeWorld(World& world) {
    for (auto step : {&World::LoadHeader, &World::LoadShadowTexture, &World::LoadStaticGeometry, &World::LoadObjects,
                      &World::LoadRoutes, &World::FinishLoading})
        while (!(world.*step)()) {
        }
    return !world.LoadFailed();
}

} // namespace testing_support
