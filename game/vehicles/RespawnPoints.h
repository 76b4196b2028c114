#pragma once
// Look-ups over the level's respawn zones.
#include <cstdint>
#include <vector>

class World;
struct RespawnPoint;

// Appends the points of the first zone record with that zone (zone 0: the first record; the
// sub-zone takes no part). When none is found, logged, every point of every zone; with no
// points at all, one point at the origin.
void GetRespawnPoints(World& world, int32_t zone, int32_t subZone, std::vector<const RespawnPoint*>& out);
// One of the zone's points (as GetRespawnPoints collects them) picked by the engine generator;
// null only when there is none to pick.
const RespawnPoint* PickRespawnPoint(World& world, int32_t zone, int32_t subZone);
// The point a car uses when it has none of its own: the first point of the session's zone
// (zone 0 when the episode value is 5).
const RespawnPoint* DefaultRespawnPoint(World& world, int32_t episode, int32_t zone);
