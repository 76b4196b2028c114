#include "engine/render/EnvironmentCube.h"

#include "engine/core/Camera.h"
#include "engine/core/Debugger.h"
#include "engine/render/D3D8RenderFacility.h"
#include "engine/render/D3D8TextureManager.h"
#include "engine/render/SpriteRenderer.h"
#include "engine/render/TextureTypes.h"

std::atomic<EnvironmentCube*> EnvironmentCube::global_{nullptr};

EnvironmentCube::EnvironmentCube(D3D8RenderFacility& facility, int32_t size)
    : facility_(facility), size_(size), texture_(std::make_unique<D3D8Texture>()),
      handle_(std::make_unique<TextureHandle>(new TextureRef(texture_.get()))), renderer_(*facility.Device()) {
    if (!CreateTarget()) Debugger::Instance().Log(1, "D3D8TEXTUREMANAGER: Environment cube of %d could not be made", size);
}

EnvironmentCube::~EnvironmentCube() {
    EnvironmentCube* self = this;
    global_.compare_exchange_strong(self, nullptr);
    ReleaseDevice();
    handle_.reset();
}

bool EnvironmentCube::CreateTarget() {
    gfx::Device* device = facility_.Device();
    cubeTexture_ = (device && size_ > 0) ? device->CreateCubeTarget(uint32_t(size_)) : nullptr;
    texture_->texture = cubeTexture_;
    texture_->width = texture_->height = cubeTexture_ ? size_ : 0;
    return cubeTexture_ != nullptr;
}

void EnvironmentCube::ReleaseDevice() {
    if (!cubeTexture_) return;
    if (renderer_.Active()) renderer_.End();
    if (gfx::Device* device = facility_.Device()) device->ReleaseTexture(cubeTexture_);
    cubeTexture_ = nullptr;
    texture_->texture = nullptr;
}

void EnvironmentCube::Restore() {
    if (!cubeTexture_ && !CreateTarget())
        Debugger::Instance().Log(1, "D3D8TEXTUREMANAGER: Environment cube of %d could not be made", size_);
}

void EnvironmentCube::Begin() {
    if (!cubeTexture_) return;
    if (SpriteRenderer* sprites = facility_.GetSpriteRenderer()) sprites->Flush();
    screenWidth_ = facility_.ScreenWidth();
    screenHeight_ = facility_.ScreenHeight();
    facility_.SetScreenSize(size_, size_);
    renderer_.Begin(cubeTexture_);
}

void EnvironmentCube::Face(int32_t face) {
    if (!renderer_.Active() || face < 0 || face > 5) return;
    if (SpriteRenderer* sprites = facility_.GetSpriteRenderer()) sprites->Flush();
    renderer_.Face(uint32_t(face));
}

void EnvironmentCube::End() {
    if (!renderer_.Active()) return;
    if (SpriteRenderer* sprites = facility_.GetSpriteRenderer()) sprites->Flush();
    renderer_.End();
    // Back to the screen and the camera that was current, so 2-D and 3-D drawn before the
    // next frame begins are laid out for the display.
    facility_.SetScreenSize(screenWidth_, screenHeight_);
    facility_.ApplyCamera(facility_.CurrentCamera());
}

void EnvironmentCube::RenderWorld(EnvironmentScene& scene, const Vector3& position, const Camera& view, int32_t option) {
    EnvironmentCube* cube = Global();
    if (!cube) return;
    cube->Begin();
    for (int32_t face = 0; face < 6; ++face) RenderWorldFace(scene, position, view, face, option);
    cube->End();
}

void EnvironmentCube::RenderPreview(EnvironmentScene& scene, const Vector3& position, const Camera& view, int32_t option) {
    EnvironmentCube* cube = Global();
    if (!cube) return;
    cube->Begin();
    for (int32_t face = 0; face < 6; ++face) RenderPreviewFace(scene, position, view, face, option);
    cube->End();
}

void EnvironmentCube::RenderWorldFace(EnvironmentScene& scene, const Vector3& position, const Camera& view, int32_t face,
                                      int32_t option) {
    RenderFace(scene, position, view, face, option, false);
}

void EnvironmentCube::RenderPreviewFace(EnvironmentScene& scene, const Vector3& position, const Camera& view,
                                        int32_t face, int32_t option) {
    RenderFace(scene, position, view, face, option, true);
}

void EnvironmentCube::RenderFace(EnvironmentScene& scene, const Vector3& position, const Camera& view, int32_t face,
                                 int32_t option,
                                 bool preview) {
    EnvironmentCube* cube = Global();
    // Only between Begin and End of a cube that has its target: otherwise the face's clear,
    // world and fill would land on the screen.
    if (!cube || !cube->renderer_.Active() || face < 0 || face > 5) return;
    // One camera for the world's faces and one for the preview's, kept for the process.
    static Camera* worldCamera = new Camera();
    static Camera* previewCamera = new Camera();
    Camera& camera = preview ? *previewCamera : *worldCamera;
    const int32_t size = cube->size_;
    camera.SetFov(Pi * 0.5f);
    camera.SetViewport(Rect{0, 0, size, size});
    camera.SetNearPlane(1.0f);
    camera.SetFarPlane(preview ? view.farPlane * 0.1f : view.farPlane);
    camera.SetFogColor(Color::FromBytes(0, 0, 0, 0));
    camera.position = position;
    camera.positionDirty = 1;

    // The face's look and up directions in the view camera's space; the basis rows are
    // right, up and look.
    static const Vector3 kLook[6] = {{-1, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    static const Vector3 kUp[6] = {{0, 1, 0}, {0, 1, 0}, {0, 0, -1}, {0, 0, 1}, {0, 1, 0}, {0, 1, 0}};
    const Vector3& L = kLook[face];
    const Vector3& U = kUp[face];
    const Vector3 R{U.y * L.z - U.z * L.y, U.z * L.x - U.x * L.z, U.x * L.y - U.y * L.x};
    Matrix4 basis;
    const Vector3 rows[3] = {R, U, L};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) basis.m[r][c] = rows[r][c];
    camera.orientation = Quaternion(view.orientation.ToMatrix() * basis);
    camera.orientationDirty = 1;
    camera.RebuildView();
    // The planes must come from the face's own projection, not one left from before.
    if (camera.ProjectionDirty()) camera.RebuildProjection();
    camera.UpdateFrustum();

    D3D8RenderFacility& facility = cube->facility_;
    const int32_t level = option - 1;
    if (!preview && level > 0) {
        scene.BeginFrame(camera);
        scene.Cull(camera);
    }
    cube->Face(face);
    facility.PushState(&camera);
    facility.Clear(kClearDepth | kClearStencil);  // the face's colour is not cleared
    scene.DrawLayers(camera, level);
    facility.PopState();
    SpriteRenderer* sprites = facility.GetSpriteRenderer();
    if (!sprites) return;
    const RectF whole{0.0f, 0.0f, float(size), float(size)};
    if (preview) sprites->FillRect(&whole, Color::FromBytes(0, 0, 0, 0xFF));
    else if (facility.Caps().maxSimultaneousTextures < 3) sprites->FillRect(&whole, Color::FromBytes(0, 0, 0, 0xD8));
}
