#pragma once
// The effects' tests: one real GL render facility for the binary (offscreen), the engine
// pointed at it so the texture factory loads, a temporary data tree with solid textures, and
// cameras that look at a point.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/Camera.h"
#include "engine/core/Engine.h"
#include "engine/render/D3D8RenderFacility.h"
#include "engine/render/MeshFactory.h"
#include "engine/render/SpriteRenderer.h"
#include "engine/render/TextureFactory.h"
#include "tests/support/EngineDoubles.h"
#include "tests/support/TestSupport.h"
#include "tools/writers/ZktWriter.h"

namespace effects_test {

constexpr int kW = 64, kH = 48;

// One facility (one GL context) for the whole binary.
inline D3D8RenderFacility& Facility() {
    static std::unique_ptr<D3D8RenderFacility> f = [] {
        auto r = std::make_unique<D3D8RenderFacility>();
        r->ChooseDevice(-1);
        r->RequestMode({kW, kH, 32, 60});
        r->CreateDevice(false);
        return r;
    }();
    return *f;
}

// A solid w x h texture (0xAARRGGBB) under Textures\ of the working directory.
inline void WriteSolidTexture(const std::string& name, uint32_t argb, int size = 8) {
    std::filesystem::create_directories("Textures");
    tools::ZktTexture t = tools::ArgbTexture(size, size, std::vector<uint32_t>(size_t(size * size), argb));
    t.mayCompress = 0;
    ASSERT_TRUE(tools::WriteZkt(("Textures/" + name).c_str(), t));
}

// A camera over the whole target at `position`, turned (about the vertical) to face `target`.
inline Camera LookAt(const Vector3& position, const Vector3& target) {
    Camera c;
    c.SetViewport(Rect{0, 0, kW, kH});
    c.SetFarPlane(10000.0f);
    c.RebuildProjection();
    c.fogColor = Color::FromBytes(0, 0, 0, 255);
    c.position = position;
    const Vector3 want = (target - position).Normalized();
    float best = -2.0f;
    Quaternion chosen;
    for (int step = 0; step < 64; ++step) {
        c.orientation = Quaternion(Vector3(0, 1, 0), float(step) * TwoPi / 64.0f);
        c.positionDirty = c.orientationDirty = 1;
        c.Apply();
        const Vector3 forward(c.view.m[0][2], c.view.m[1][2], c.view.m[2][2]);
        const float d = Vector3::Dot(forward.Normalized(), want);
        if (d > best) {
            best = d;
            chosen = c.orientation;
        }
    }
    c.orientation = chosen;
    c.positionDirty = c.orientationDirty = 1;
    c.Apply();
    return c;
}

// The engine on the facility, factories emptied, a temporary working directory; a frame begun
// with colour, depth and stencil cleared to black / far / 0 under `camera`.
class EffectsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(f.DeviceReady());
        engine.services.renderer = &f;
        ZKEngine& e = ZKEngine::Instance();
        e.rendererReady = true;
        e.mainThread = Thread::Current();
        MeshFactory::Instance().ClearForTests();
        TextureFactory::Instance().ClearForTests();
        f.SetCullMode(1);
    }
    void TearDown() override {
        MeshFactory::Instance().ClearForTests();
        TextureFactory::Instance().ClearForTests();
        ZKEngine::Instance().rendererReady = false;
    }

    void BeginFrame(Camera& camera) {
        f.PushState(&camera);
        f.BeginScene();
        f.Clear(kClearTarget | kClearDepth | kClearStencil);
    }
    // The picture, rows from the top; ends the frame.
    std::vector<uint32_t> EndFrame() {
        if (SpriteRenderer* s = f.GetSpriteRenderer()) s->Flush();
        std::vector<uint32_t> shot = f.GrabScreen(true);
        f.EndScene();
        f.PopState();
        return shot;
    }
    static uint32_t At(const std::vector<uint32_t>& shot, int x, int y) { return shot[size_t(y * kW + x)] & 0xFFFFFFu; }

    testing_support::TempWorkDir dir;
    testing_support::LogCapture log{3};
    D3D8RenderFacility& f = Facility();
    // What the game is handed: the facility as its renderer.
    testing_support::EngineDoubles engine;
};

}  // namespace effects_test
