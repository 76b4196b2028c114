// How a car is bounded, culled and drawn: wheels, chassis at its damage stage, the driver, the
// door, the items, its shadow and its light halos.
#include <algorithm>
#include <cmath>

#include "engine/core/Camera.h"
#include "engine/core/EngineServices.h"
#include "engine/render/D3D8Mesh.h"
#include "engine/render/MatrixStack.h"
#include "engine/render/RenderFacility.h"
#include "game/vehicles/CarDefinition.h"
#include "game/vehicles/CarItem.h"
#include "game/vehicles/ChaseCamera.h"
#include "game/vehicles/ShadowVolumeRenderer.h"
#include "game/vehicles/Vehicle.h"
#include "game/vehicles/VehicleContext.h"
#include "game/vehicles/VehicleDriver.h"
#include "game/vehicles/VehicleResources.h"
#include "game/world/ParticleBatch.h"
#include "game/world/World.h"

namespace {

Matrix4 Transform(const Quaternion& q, const Vector3& p) {
    Matrix4 m = q.ToMatrix();
    m.m[3][0] = p.x;
    m.m[3][1] = p.y;
    m.m[3][2] = p.z;
    return m;
}

} // namespace

void Vehicle::GetBounds(BoundingBox& out) const {
    const Matrix4 m = Transform(GetOrientation(), GetPosition());
    out.centre = m.TransformCoord(body.localBounds.centre);
    const Vector3& e = body.localBounds.halfExtents;
    for (int c = 0; c < 3; ++c) {
        out.halfExtents[c] =
            std::fabs(m.m[0][c]) * e.x + std::fabs(m.m[1][c]) * e.y + std::fabs(m.m[2][c]) * e.z;
    }
}

bool Vehicle::Cull(ObjectQuadTree&, const Camera& camera) {
    BoundingBox box;
    GetBounds(box);
    return camera.IsBoxVisible(box);
}

void Vehicle::Draw(ObjectQuadTree&, const Camera& camera) {
    if (!body.chassisBody) return;
    const bool local = IsLocalPlayerCar();
    if (local && !controller->camera->viewCar) return;
    RenderFacility* facility = context.engine.renderer;
    if (!facility) return;
    MatrixStack& stack = *facility->GetMatrixStack();
    VehicleResources& shared = SharedVehicleResources(context);
    const Matrix4 chassis = Transform(GetOrientation(), GetPosition());

    if (context.session.shadowDetail == 1 && local && shared.shadows) {
        stack.Push();
        stack.PreMultiply(chassis);
        shared.shadows->Draw();
        stack.Pop();
    }

    for (int32_t i = 0; i < 4; ++i) {
        Matrix4 wheel;
        body.wheelBodies[size_t(i)]->GetTransform(wheel);
        // The right wheels' model faces the other way.
        if (i == 1 || i == 3) wheel = Matrix4::RotationY(Pi) * wheel;
        RenderMeshAt(stack, i < 2 ? definition->frontWheelMesh : definition->backWheelMesh, wheel);
    }

    stack.Push();
    stack.PreMultiply(chassis);
    if (effects.riderMesh) {
        const Vector3& d = definition->driverPoint;
        RenderMeshAt(stack, effects.riderMesh, Matrix4::Translation(d.x, d.y, d.z));
    }
    if (effects.chassisMesh) effects.chassisMesh->Render();
    const auto& doors = definition->doorMeshes;
    if (!doors.empty()) {
        const int32_t frame = std::clamp(int32_t(float(doors.size() - 1) * cab.doorAngle + 0.5f), 0, int32_t(doors.size()) - 1);
        if (doors[size_t(frame)]) doors[size_t(frame)]->Render();
    }
    for (CarItem* item : items.specials) item->Draw(camera);
    if (items.weapon) items.weapon->Draw(camera);
    stack.Pop();

    if (context.session.lightDetail == 0 || effects.haloGroups.empty() || !shared.haloBatch) return;
    effects.drawList.clear();
    for (auto* list : {&effects.headlights, &effects.brakeLights, &effects.reverseLights}) {
        for (VehicleEffects::Halo& h : *list) {
            if (!h.particle) continue;
            h.particle->position = chassis.TransformCoord(h.point);
            h.particle->colour[3] = h.intensity;
            h.particle->flags |= ParticleGroup::kVisible;
            if (h.intensity > 0.0f) effects.drawList.push_back(h.particle);
        }
    }
    if (effects.drawList.empty()) return;
    shared.haloBatch->AddSystem(camera, effects.drawList);
    shared.haloBatch->Flush();
}
