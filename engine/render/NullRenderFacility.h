#pragma once
// A renderer that draws nothing: every operation succeeds quietly, creation calls return null.
// It keeps the little state callers read back (mode, viewport size, camera stack, wireframe),
// so engine code and tests can run a whole frame without a device.
#include "engine/render/RenderFacility.h"
#include "engine/render/RenderStats.h"

class NullRenderFacility : public RenderFacility {
public:
    NullRenderFacility() { current_ = {1024, 768, 32, 60}; }
    ~NullRenderFacility() override {}

    void SetWindow(void*) override {}
    void ChooseDevice(int32_t) override {}
    void SelectMode(int32_t) override {}
    bool RequestMode(const DisplayMode& mode) override {
        if (mode.width <= 0 || mode.height <= 0) return false;
        current_.width = mode.width;
        current_.height = mode.height;
        return true;
    }
    void CreateDevice(bool) override { ready_ = true; }
    const std::vector<DisplayMode>& Modes() const override { return modes_; }
    const DisplayMode& CurrentMode() const override { return current_; }
    bool DeviceReady() const override { return ready_; }
    void SetUseDefaultRefresh(bool) override {}
    bool Wireframe() const override { return wireframe_; }
    void SetWireframe(bool on) override { wireframe_ = on; }
    int32_t ViewportWidth() const override { return current_.width; }
    int32_t ViewportHeight() const override { return current_.height; }
    int32_t ScreenWidth() const override { return current_.width; }
    int32_t ScreenHeight() const override { return current_.height; }

    void Clear(uint32_t) override {}
    void BeginScene() override {}
    void EndScene() override {
        last_ = frame_;
        frame_.Update(frameTime_);
    }
    std::vector<uint32_t> GrabScreen(bool) override {
        return std::vector<uint32_t>(size_t(current_.width) * size_t(current_.height), 0xFF000000u);
    }
    RenderStats& LastFrameStats() override { return last_; }
    RenderStats& FrameStats() override { return frame_; }
    void SetFrameTime(float seconds) override { frameTime_ = seconds; }

    StaticVertexBuffer* CreateVertexBuffer(uint32_t, uint32_t, uint32_t, bool) override { return nullptr; }
    DynamicVertexBuffer* CreateDynamicVertexBuffer(uint32_t, uint32_t, uint32_t, bool) override {
        return nullptr;
    }
    void ReleaseDynamicVertexBuffer(DynamicVertexBuffer*) override {}
    void ReleaseVertexBuffer(StaticVertexBuffer*) override {}
    StaticIndexBuffer* CreateIndexBuffer(uint32_t, uint32_t, bool) override { return nullptr; }
    DynamicIndexBuffer* CreateDynamicIndexBuffer(uint32_t, uint32_t, bool) override { return nullptr; }
    void ReleaseDynamicIndexBuffer(DynamicIndexBuffer*) override {}
    void ReleaseIndexBuffer(StaticIndexBuffer*) override {}

    ShaderPassSet* AddShader(const ShaderDescription&) override { return nullptr; }
    void ReleaseShader(ShaderPassSet*) override {}
    Material* AddMaterial(const MaterialDescription&) override { return nullptr; }
    void ReleaseMaterial(Material*) override {}
    void ApplyMaterial(Material*) override {}
    void ApplyShaderPass(ShaderPassSet*) override {}
    void ApplyDrawStates(const ShaderVariables*) override {}
    void SetStencilOverride(ShaderPassSet*) override {}
    void SetTexture(uint32_t, TextureHandle*) override {}

    // No meshes here: the mesh factory makes an inert mesh (the model's data, drawing nothing)
    // whenever its renderer gives none.
    D3D8Mesh* CreateMesh(MeshRecord&) override { return nullptr; }
    void ReleaseMesh(D3D8Mesh*) override {}
    D3D8Mesh* CreateShinyMesh(MeshRecord&) override { return nullptr; }

    void SetViewport(const Rect*) override {}
    void PushState(Camera* camera) override {
        if (depth_ < kCameraDepth) stack_[depth_++] = currentCamera_;
        currentCamera_ = camera;
    }
    Camera* PopState() override {
        Camera* was = currentCamera_;
        if (depth_ > 0) currentCamera_ = stack_[--depth_];
        return was;
    }
    void SetClipPlane(Camera*) override {}
    void SetCullMode(int32_t) override {}
    void SetSoftwareVertexProcessing(bool) override {}

    VertexShader* LoadVertexShader(uint32_t, const char*) override { return nullptr; }
    void SetVertexShader(VertexShader*) override {}
    bool SetVertexShaderConstant(uint32_t, const void*, uint32_t) override { return false; }

    MatrixStack* GetMatrixStack() override { return nullptr; }
    SpriteRenderer* GetSpriteRenderer() override { return nullptr; }
    D3D8TextureManager* GetTextureManager() override { return nullptr; }
    LightManager* GetLightManager() override { return nullptr; }
    D3D8GeomRenderer* GetGeomRenderer() override { return nullptr; }
    QuadBatchRenderer* GetQuadBatchRenderer() override { return nullptr; }

private:
    static constexpr int kCameraDepth = 8;
    std::vector<DisplayMode> modes_;
    DisplayMode current_;
    bool ready_ = false;
    bool wireframe_ = false;
    float frameTime_ = 0.0f;
    RenderStats frame_, last_;
    Camera* currentCamera_ = nullptr;
    Camera* stack_[kCameraDepth] = {};
    int depth_ = 0;
};
