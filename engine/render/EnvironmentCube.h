#pragma once
// The one dynamic cube map that shiny materials reflect: a 256 x 256 render-target cube,
// redrawn from the world with a camera of its own whose faces are turned with the current
// view camera, so that the camera-space reflection vectors of the shiny materials look it up
// directly. It is made, through the texture manager, when the first shiny material needs it.
#include <atomic>
#include <cstdint>
#include <memory>

#include "engine/core/Math.h"
#include "platform/gfx/Mesh.h"

class Camera;
class D3D8RenderFacility;
class D3D8Texture;
class TextureHandle;

// What the cube draws its faces from (the world implements it).
class EnvironmentScene {
public:
    virtual ~EnvironmentScene() = default;
    // The per-frame visibility passes of the object manager and the static geometry.
    virtual void BeginFrame(Camera& camera) = 0;
    // The world's visibility pass for a camera.
    virtual void Cull(Camera& camera) = 0;
    // A reduced world: the sky always; static geometry and placed objects when level > 0;
    // the quadtree items as well when level > 1. Nothing cleared or presented.
    virtual void DrawLayers(Camera& camera, int32_t level) = 0;
};

class EnvironmentCube {
public:
    static constexpr int32_t kSize = 256;

    // Made by the texture manager (which keeps and deletes it). A cube whose target could not
    // be made is inert: Begin, Face and End do nothing and it binds as no texture.
    EnvironmentCube(D3D8RenderFacility& facility, int32_t size);
    virtual ~EnvironmentCube();
    EnvironmentCube(const EnvironmentCube&) = delete;
    EnvironmentCube& operator=(const EnvironmentCube&) = delete;

    // The cube, or null until the first shiny material made it.
    static EnvironmentCube* Global() { return global_.load(); }
    static void SetGlobal(EnvironmentCube* cube) { global_.store(cube); }

    // Each flushes the sprite renderer first, so 2-D drawing queued for a face lands in it.
    // Begin makes the facility's screen the size of a face (its next BeginScene restores it).
    virtual void Begin();
    // 0 +X, 1 -X, 2 +Y, 3 -Y, 4 +Z, 5 -Z.
    virtual void Face(int32_t face);
    virtual void End();

    // With a global cube: Begin, the six faces around `position` for the world (or for the
    // front end's car preview: black, at a tenth of the view's far plane), End. `option` is the
    // settings' environment option 0..3: the faces draw the scene at level option - 1.
    static void RenderWorld(EnvironmentScene& scene, const Vector3& position, const Camera& view, int32_t option);
    static void RenderPreview(EnvironmentScene& scene, const Vector3& position, const Camera& view, int32_t option);
    // One face; nothing outside Begin and End of a cube that has its target.
    static void RenderWorldFace(EnvironmentScene& scene, const Vector3& position, const Camera& view, int32_t face,
                                int32_t option);
    static void RenderPreviewFace(EnvironmentScene& scene, const Vector3& position, const Camera& view, int32_t face,
                                  int32_t option);

    // Around a device reset: the cube target goes, then is made again (logged when it cannot be).
    void ReleaseDevice();
    void Restore();

    int32_t Size() const { return size_; }
    TextureHandle* Handle() const { return handle_.get(); }
    bool Usable() const { return cubeTexture_ != nullptr; }

private:
    static void RenderFace(EnvironmentScene& scene, const Vector3& position, const Camera& view, int32_t face,
                           int32_t option, bool preview);
    bool CreateTarget();

    static std::atomic<EnvironmentCube*> global_;
    D3D8RenderFacility& facility_;
    int32_t size_;
    std::unique_ptr<D3D8Texture> texture_;  // default filters, wrap addressing
    std::unique_ptr<TextureHandle> handle_;
    gfx::RenderToCube renderer_;
    gfx::Texture* cubeTexture_ = nullptr;
    int32_t screenWidth_ = 0, screenHeight_ = 0;  // the facility's screen before Begin
};
