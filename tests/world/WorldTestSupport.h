#pragma once
// Small written worlds for the world tests: a flat ground, the kinds the tests need, and a
// loader that runs the six steps and counts their calls.
#include <memory>
#include <string>

#include "engine/core/Camera.h"
#include "game/world/World.h"
#include "tests/support/TestSupport.h"
#include "tools/writers/WorldWriter.h"

namespace world_testing {

// A flat square of ground (+- half) at y = 0, one static material, no objects.
tools::WorldFile FlatWorld(float half = 2000.0f);

// Adds a box mesh, its box and a kind; returns the kind index. flags as in the file (0x04 box).
uint32_t AddKind(tools::WorldFile& w, const Vector3& half, uint32_t flags, float fileMass, int8_t hitSound = 0,
                 uint32_t material = 0, int32_t variant = 0);
// Adds a placed object; returns its index.
uint32_t Place(tools::WorldFile& w, uint32_t kind, const Vector3& position, const Quaternion& q = {});

struct LoadResult {
    int calls[6] = {};
    bool failed = false;
};

// Writes the world as "Maps\World.VQW" of the current directory and runs the six steps.
LoadResult LoadWorld(World& world, const tools::WorldFile& file);
LoadResult LoadBytes(World& world, const std::vector<uint8_t>& bytes);

// A camera at a position looking along +z with its planes built.
Camera MakeCamera(const Vector3& position);

} // namespace world_testing
