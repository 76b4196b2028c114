#pragma once
// Settings files (.VQS) for fixtures and fuzz seeds, made by the game's own serializer.
#include <cstdint>

#include "engine/core/SharedString.h"
#include "game/frontend/SettingsFile.h"

namespace tools {

// A record like the game's defaults: "800*600@32", the default option values and bindings,
// player "Player", session "Session", `missions` score tables of five named entries.
SettingsRecord ExampleSettingsRecord(int32_t missions);

// Writes the record at the path (the path field holds the path as given).
bool WriteSettingsFile(const SharedString& path, SettingsRecord record);

} // namespace tools
