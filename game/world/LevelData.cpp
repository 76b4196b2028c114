#include "game/world/LevelData.h"

#include <algorithm>

#include "engine/core/FileStream.h"
#include "engine/render/D3D8GeomRenderer.h"
#include "game/world/WorldObject.h"
#include "platform/sys/Random.h"

void RoadGraph::Clear() {
    strides.clear();
    nodes.clear();
    nodes.shrink_to_fit();
}

void RoadGraph::Resize(int32_t count) {
    nodes.clear();
    nodes.shrink_to_fit();
    nodes.resize(size_t(std::max(count, 0)));
}

namespace {
bool IsPrime(int32_t p) {
    if (p < 2) return false;
    for (int32_t d = 2; int64_t(d) * d <= p; ++d)
        if (p % d == 0) return false;
    return true;
}
} // namespace

RoadNode* RoadNode::PickFreeNeighbour(bool allowRestricted) const {
    const size_t n = links.size();
    if (n == 0) return nullptr;
    const size_t start = size_t(plat::EngineRand()) % n;
    for (size_t k = 0; k < n; ++k) {
        RoadNode* target = links[(start + k) % n];
        if (!target || (target->occupancy & CountMask) != 0) continue;
        if (!allowRestricted && (target->occupancy & Restricted)) continue;
        return target;
    }
    return nullptr;
}

void RoadGraph::BuildStrides() {
    const int32_t count = Count();
    for (int32_t p = count / 200; p < count / 100; ++p)
        if (IsPrime(p)) strides.push_back(p);
    if (strides.empty()) strides.push_back(1);
}

void RoadGraph::DebugDraw(D3D8GeomRenderer& lines) const {
    for (const RoadNode& node : nodes) {
        const float height = 20.0f * float((node.occupancy & RoadNode::CountMask) + 1);
        lines.DrawLine(node.position, node.position + Vector3(0.0f, height, 0.0f), nullptr);
        for (const RoadNode* to : node.links) lines.DrawLine(node.position, to->position, nullptr);
    }
}

void RoadGraph::FindSpawnNodes(const std::vector<SpawnCircle>& circles, std::vector<int32_t>& out) const {
    out.clear();
    const int32_t count = Count();
    if (count == 0) return;
    const int32_t pick = plat::EngineRand();
    int32_t stride = strides.empty() ? 1 : strides[size_t(pick) % strides.size()];
    if (stride < 1) stride = 1;
    const int32_t start = plat::EngineRand() % stride;
    for (int32_t i = start; i < count; i += stride) {
        const RoadNode& node = nodes[size_t(i)];
        if (node.occupancy != 0) continue;
        const bool freeLink = std::any_of(node.links.begin(), node.links.end(), [](const RoadNode* to) {
            return to && (to->occupancy & RoadNode::CountMask) == 0;
        });
        if (!freeLink) continue;
        bool inside = false, tooNear = false;
        for (const SpawnCircle& c : circles) {
            const float dx = node.position.x - c.centre.x, dz = node.position.z - c.centre.z;
            const float d2 = dx * dx + dz * dz;
            inside = inside || d2 < c.outerSquared;
            tooNear = tooNear || d2 <= c.innerSquared;
        }
        if (inside && !tooNear) out.push_back(i);
    }
}

RoadNode* RoadGraph::FindNearestFreeNode(const Vector3& point) {
    RoadNode* best = nullptr;
    float bestSquared = 1e9f;
    for (RoadNode& node : nodes) {
        if ((node.occupancy & RoadNode::CountMask) != 0) continue;
        const size_t links = node.links.size();
        if (links == 0) continue;
        if (links == 1 && (!node.links[0] || (node.links[0]->occupancy & RoadNode::CountMask) != 0)) continue;
        const float dx = node.position.x - point.x, dz = node.position.z - point.z;
        const float d2 = dx * dx + dz * dz;
        if (d2 < bestSquared) {
            bestSquared = d2;
            best = &node;
        }
    }
    return best;
}

void DropPoint::Init() {
    if (marker) position = marker->GetPosition();
    spinAngle = 0.0f;
    active = false;
}

bool DropPoint::Activate() {
    if (marker) marker->MovePlacedPose(position, marker->PlacedOrientation());
    active = true;
    return true;
}

void DropPoint::Deactivate() {
    if (marker) marker->MovePlacedPose(position, marker->PlacedOrientation());
    active = false;
}

void DropPoint::Update(float dt) {
    spinAngle += dt;
    if (!marker) return;
    Quaternion turned = marker->PlacedOrientation();
    turned.RotateY(SpinRate * dt);
    marker->MovePlacedPose(position, turned);
}

bool DropPoint::Contains(const Vector3& p) const {
    const float dx = position.x - p.x, dz = position.z - p.z;
    return dx * dx + dz * dz < ArrivalRadiusSquared;
}

MissionTable::Cell* MissionTable::At(int32_t mission, int32_t episode) {
    if (!InRange(mission, episode) || size_t(mission) >= missions.size()) return nullptr;
    return &missions[size_t(mission)][size_t(episode)];
}

void MissionTable::SortCameras() {
    for (auto& mission : missions)
        for (Cell& cell : mission)
            std::stable_sort(cell.cameras.begin(), cell.cameras.end(),
                             [](const CameraRecord& a, const CameraRecord& b) { return a.index < b.index; });
}

void WriteCameraRecords(OutputStream& out, const std::vector<CameraRecord>& records) {
    out.WriteU32(uint32_t(records.size()));
    for (const CameraRecord& r : records) {
        out.WriteU32(uint32_t(r.mission));
        out.WriteU32(uint32_t(r.episode));
        out.WriteU32(uint32_t(r.index));
        out.WriteFloat(r.time);
        out.WriteString(r.sample);
        out.WriteFloat(r.position.x);
        out.WriteFloat(r.position.y);
        out.WriteFloat(r.position.z);
        out.WriteFloat(r.orientation.x);
        out.WriteFloat(r.orientation.y);
        out.WriteFloat(r.orientation.z);
        out.WriteFloat(r.orientation.w);
    }
}

bool ReadCameraRecords(FileReader& in, std::vector<CameraRecord>& out) {
    out.clear();
    constexpr int32_t HeadBytes = 20; // mission, episode, index, time, sample length
    constexpr int32_t PoseBytes = 28;
    constexpr uint32_t MaxSample = 4096;
    if (in.Remaining() < 4) return false;
    const uint32_t count = in.ReadU32();
    std::vector<char> sample;
    for (uint32_t i = 0; i < count; ++i) {
        if (in.Remaining() < HeadBytes + PoseBytes) return false;
        CameraRecord r;
        r.mission = in.ReadI32();
        r.episode = in.ReadI32();
        r.index = in.ReadI32();
        r.time = in.ReadFloat();
        const uint32_t length = in.ReadU32();
        if (length > MaxSample || int64_t(length) + PoseBytes > in.Remaining()) return false;
        sample.resize(length);
        if (length) in.Read(sample.data(), int32_t(length));
        r.sample = SharedString(sample.data(), int32_t(length));
        r.position.x = in.ReadFloat();
        r.position.y = in.ReadFloat();
        r.position.z = in.ReadFloat();
        r.orientation.x = in.ReadFloat();
        r.orientation.y = in.ReadFloat();
        r.orientation.z = in.ReadFloat();
        r.orientation.w = in.ReadFloat();
        out.push_back(r);
    }
    return true;
}
