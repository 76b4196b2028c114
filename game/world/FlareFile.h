#pragma once
// A sky's lens-flare point file "Misc\%d.CSS" (%d = time of day): the magic "ZK2", the version
// word 0x10000000, the point (3 x f32), 19 bytes little-endian. The one writer of the format;
// the world reads it while loading.
#include <cstdint>
#include <vector>

#include "engine/core/Math.h"
#include "engine/core/SharedString.h"

constexpr uint32_t kFlareFileVersion = 0x10000000u;
constexpr size_t kFlareFileSize = 19;

std::vector<uint8_t> FlareFileBytes(const Vector3& flarePoint);
SharedString FlareFilePath(int32_t timeOfDay);
// Replaces the file through the atomic-write helper; false (and a console line) on failure.
bool SaveFlarePoint(int32_t timeOfDay, const Vector3& flarePoint);
