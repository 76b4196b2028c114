#include "game/play/DestinationMarker.h"

#include "engine/render/D3D8Mesh.h"
#include "engine/render/MatrixStack.h"
#include "engine/render/MeshFactory.h"
#include "engine/render/RenderFacility.h"

DestinationMarker::DestinationMarker(RenderFacility* renderer) : renderer_(renderer) {}

DestinationMarker::~DestinationMarker() = default;

Matrix4 DestinationMarker::WorldMatrix() const {
    Matrix4 m;
    const float c = Cos(angle), s = Sin(angle);
    m.m[0][0] = c;
    m.m[0][2] = -s;
    m.m[2][0] = s;
    m.m[2][2] = c;
    m.Translate(position.x, position.y, position.z);
    return m;
}

void DestinationMarker::Draw(const Camera&) {
    MatrixStack* stack = renderer_ ? renderer_->GetMatrixStack() : nullptr;
    if (!stack) return;
    // The model is fetched on first use: a marker that is never drawn loads nothing.
    // A missing model is looked for once, not every frame.
    if (!meshLooked_) {
        meshLooked_ = true;
        mesh_.reset(MeshFactory::Instance().GetByName(SharedString(kModel), true));
    }
    if (!mesh_) return;
    stack->Push();
    stack->Load(WorldMatrix());
    mesh_->Render();
    stack->Pop();
}
