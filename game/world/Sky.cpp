#include "game/world/Sky.h"

#include <algorithm>

#include "engine/core/Camera.h"
#include "engine/render/D3D8Mesh.h"
#include "engine/render/MatrixStack.h"
#include "engine/render/MeshFactory.h"
#include "engine/render/RenderFacility.h"
#include "engine/render/TextureFactory.h"

Sky::Sky(RenderFacility* renderer, const SharedString& textureFolder, const Color& colour_)
    : colour(colour_), renderer_(renderer) {
    auto& folders = TextureFactory::Instance().searchDirectories;
    folders.push_back(textureFolder);
    // Not shared: every sky keeps the textures its own folder gave the dome.
    dome_ = MeshFactory::Instance().GetByName(SharedString(DomeModel), false);
    auto it = std::find(folders.begin(), folders.end(), textureFolder);
    if (it != folders.end()) folders.erase(it);
}

Sky::~Sky() { delete dome_; }

void Sky::Draw(Camera& camera) {
    camera.SetFogColor(colour);
    RenderFacility* renderer = renderer_;
    MatrixStack* stack = renderer ? renderer->GetMatrixStack() : nullptr;
    if (!stack || !dome_) return;
    const Vector3& p = camera.position;
    stack->Push();
    stack->Load(Matrix4::Scaling(1.0f, -1.0f, 1.0f) * Matrix4::Translation(p.x, p.y, p.z));
    renderer->SetCullMode(2);
    dome_->Render();
    renderer->SetCullMode(1);
    stack->Load(Matrix4::Translation(p.x, p.y, p.z));
    dome_->Render();
    stack->Pop();
}
