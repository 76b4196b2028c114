#include "game/world/PathObject.h"

#include <algorithm>
#include <cmath>

#include "engine/core/Camera.h"
#include "engine/core/Geometry.h"
#include "engine/render/D3D8Mesh.h"
#include "engine/render/MatrixStack.h"
#include "engine/render/RenderFacility.h"
#include "game/world/LevelData.h"

PathObject::PathObject(const RoadGraph* graph, std::vector<uint32_t> route, D3D8Mesh* model, RenderFacility* renderer)
    : graph_(graph), route_(std::move(route)), model_(model), renderer_(renderer) {
    itemFlags = UpdateEachFrame | Culled | TreeDrawn;
}

PathObject::~PathObject() {
    if (tree_) tree_->Remove(this);
    delete model_;
}

const RoadNode* PathObject::Node(size_t routeIndex) const {
    if (!graph_ || routeIndex >= route_.size()) return nullptr;
    const uint32_t n = route_[routeIndex];
    return n < graph_->nodes.size() ? &graph_->nodes[n] : nullptr;
}

bool PathObject::LookRotation(const Vector3& d, Quaternion& q) {
    const float len = d.Length();
    if (!(len > 1e-6f)) return false;
    const Vector3 dir = d / len;
    if (std::fabs(dir.y) > 0.99999f) return false;
    Matrix4 m;
    RotationFromDirection(dir, m.m);
    q = Quaternion(m);
    return true;
}

void PathObject::Restart() {
    speed = 0.0f;
    const RoadNode* start = Node(0);
    if (start) position = start->position;
    target = Node(1);
    if (target) LookRotation(target->position - position, orientation);
    localBounds = model_ ? model_->Bounds() : BoundingBox{};
}

void PathObject::OnAdded(ObjectQuadTree& tree) {
    tree_ = &tree;
    Restart();
}

void PathObject::OnRemoved(ObjectQuadTree&) { tree_ = nullptr; }

Matrix4 PathObject::ObjectMatrix() const {
    Matrix4 m = Matrix4::RotationY(Pi) * orientation.ToMatrix();
    m.m[3][0] = position.x;
    m.m[3][1] = position.y;
    m.m[3][2] = position.z;
    return m;
}

void PathObject::GetBounds(BoundingBox& out) const {
    const Matrix4 m = ObjectMatrix();
    out.centre = m.TransformCoord(localBounds.centre);
    const Vector3& h = localBounds.halfExtents;
    for (int i = 0; i < 3; ++i)
        out.halfExtents[i] = std::fabs(m.m[0][i]) * h.x + std::fabs(m.m[1][i]) * h.y + std::fabs(m.m[2][i]) * h.z;
    worldBounds = out;
}

void PathObject::Update(ObjectQuadTree&, const Camera*, float dt) {
    if (!target) {
        Restart();
        if (!target) return;
    }
    // Turn part of the way towards the target; a target on the spot keeps the heading.
    Quaternion look;
    if (LookRotation(target->position - position, look))
        orientation = orientation.Slerp(look, std::min(TurnRate * dt, 1.0f));
    const Vector3 forward = orientation.ToMatrix().TransformNormal(Vector3(0.0f, 0.0f, 1.0f));
    position += forward * (speed * dt);
    const float d2 = (target->position - position).LengthSquared();
    const float limit = std::max(2.0f * speed, worldBounds.halfExtents.LengthSquared());
    if (d2 < limit) {
        target = target->PickFreeNeighbour(true);
        if (!target) Restart();
    }
    const float rate = Acceleration * dt;
    if (rate > 0.0f && target) speed += (target->speedFactor - speed) * rate;
    itemFlags |= Moved;
}

bool PathObject::Cull(ObjectQuadTree&, const Camera& camera) {
    BoundingBox b;
    GetBounds(b);
    return camera.IsBoxVisible(b);
}

void PathObject::Draw(ObjectQuadTree&, const Camera&) {
    MatrixStack* stack = renderer_ ? renderer_->GetMatrixStack() : nullptr;
    if (!stack || !model_) return;
    stack->Push();
    stack->Load(ObjectMatrix());
    model_->Render();
    stack->Pop();
}
