#include "game/world/DropPointMarker.h"

#include "engine/core/EngineServices.h"
#include "engine/render/D3D8Mesh.h"
#include "engine/render/MatrixStack.h"
#include "engine/render/MeshFactory.h"
#include "engine/render/RenderFacility.h"

DropPointMarker::DropPointMarker(const EngineServices& engine) : engine_(engine) { model_ = MeshFactory::Instance().GetByName(SharedString(Model), true); }

// The marker's clone of the model goes with it (clones share the device mesh).
DropPointMarker::~DropPointMarker() { delete model_; }

Matrix4 DropPointMarker::WorldMatrix() const {
    const float s = size * 0.1f;
    Matrix4 rotation;
    const float c = Cos(angle), sn = Sin(angle);
    rotation.m[0][0] = c;
    rotation.m[0][2] = -sn;
    rotation.m[2][0] = sn;
    rotation.m[2][2] = c;
    Matrix4 m = Matrix4::Scaling(s, s, s) * rotation;
    m.Translate(position.x, position.y, position.z);
    return m;
}

void DropPointMarker::Draw(const Camera&) {
    if (!visible) return;
    angle += engine_.FrameTime() * spinRate;
    MatrixStack* stack = engine_.renderer ? engine_.renderer->GetMatrixStack() : nullptr;
    if (!stack || !model_) return;
    stack->Push();
    stack->Load(WorldMatrix());
    model_->Render();
    stack->Pop();
}
