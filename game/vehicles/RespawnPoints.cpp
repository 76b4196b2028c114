#include "game/vehicles/RespawnPoints.h"

#include "engine/core/Debugger.h"
#include "game/world/World.h"
#include "platform/sys/Random.h"

namespace {
const RespawnPoint& OriginPoint() {
    static const RespawnPoint point;
    return point;
}
} // namespace

void GetRespawnPoints(World& world, int32_t zone, int32_t subZone, std::vector<const RespawnPoint*>& out) {
    const size_t before = out.size();
    for (const RespawnZone& z : world.respawnZones) {
        if (z.zone != zone && zone != 0) continue;
        for (const RespawnPoint& p : z.points) out.push_back(&p);
        break;
    }
    if (out.size() != before) return;
    Debugger::Instance().Message("No respawns for %d, %d", zone, subZone);
    for (const RespawnZone& z : world.respawnZones) {
        for (const RespawnPoint& p : z.points) out.push_back(&p);
    }
    if (out.size() == before) out.push_back(&OriginPoint());
}

const RespawnPoint* PickRespawnPoint(World& world, int32_t zone, int32_t subZone) {
    std::vector<const RespawnPoint*> points;
    GetRespawnPoints(world, zone, subZone, points);
    if (points.empty()) return nullptr;
    return points[size_t(plat::EngineRand()) % points.size()];
}

const RespawnPoint* DefaultRespawnPoint(World& world, int32_t episode, int32_t zone) {
    std::vector<const RespawnPoint*> points;
    GetRespawnPoints(world, episode == 5 ? 0 : zone, episode, points);
    return points.front();
}
