#pragma once
// Writer of light files ("Misc\<t>.LIT") through the game's own serializer: the lights a game
// starts with at that time of day.
#include <cstdint>
#include <vector>

#include "engine/core/SharedString.h"

namespace tools {

// The byte image of the time of day's default lights.
std::vector<uint8_t> DefaultLightFileBytes(int32_t timeOfDay);
bool WriteDefaultLightFile(const SharedString& path, int32_t timeOfDay);

} // namespace tools
