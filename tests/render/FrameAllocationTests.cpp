// Steady frames through the real render facility allocate nothing (counted by the program's
// own allocation operators): camera push and pop, pass sets, textures, draws, end of scene and
// present.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "engine/core/Camera.h"
#include "engine/core/Memory.h"
#include "engine/render/D3D8RenderFacility.h"

namespace {

struct ScreenVertex {
    float x, y, z, rhw;
    uint32_t diffuse;
    float u, v;
};

TEST(RenderFrameAllocation, SteadyFramesAllocateNothing) {
    D3D8RenderFacility f;
    f.ChooseDevice(-1);
    f.RequestMode({64, 48, 32, 60});
    f.CreateDevice(false);
    ASSERT_TRUE(f.DeviceReady());
    StaticVertexBuffer* vb = f.CreateVertexBuffer(1 | 2 | 8 | 32, sizeof(ScreenVertex), 4, false);
    const ScreenVertex quad[4] = {{0, 0, 0.5f, 1, 0xFFFF0000u, 0, 0}, {8, 0, 0.5f, 1, 0xFFFF0000u, 1, 0},
                                  {0, 8, 0.5f, 1, 0xFFFF0000u, 0, 1}, {8, 8, 0.5f, 1, 0xFFFF0000u, 1, 1}};
    memcpy(vb->data(), quad, sizeof quad);
    vb->Update(0, 4);
    ShaderDescription d;
    d.stageMask = 1;
    d.stages[0].colorOp = 3;
    d.stages[0].colorArg1 = 2;
    d.stages[0].colorArg2 = 1;
    ShaderPassSet* sets[2] = {f.AddShader(d), nullptr};
    d.blend = 1;
    d.srcBlend = 6;
    d.dstBlend = 7;
    sets[1] = f.AddShader(d);
    gfx::Texture* tex = f.Device()->CreateTexture(2, 2, 1, gfx::format::A8R8G8B8, gfx::Pool::MANAGED);
    TextureStageBinding bind;
    bind.texture = tex;
    Camera cam;
    cam.SetViewport(Rect{0, 0, 64, 48});
    cam.EnableFog(true);
    auto frame = [&] {
        f.SetFrameTime(1.0f / 60.0f);
        f.BeginScene();
        f.PushState(&cam);
        f.Clear(kClearTarget | kClearDepth);
        for (int i = 0; i < 8; ++i) {
            f.ApplyShaderPass(sets[i & 1]);
            f.ApplyDrawStates(nullptr);
            f.BindTextureObject(0, (i & 2) ? &bind : nullptr);
            f.SetVertexShaderHandle(vb->fvf);
            f.SetStreamSource(vb->DeviceBuffer(), vb->stride);
            f.Device()->DrawPrimitive(gfx::prim::TRIANGLESTRIP, 0, 2);
            f.CountDraw(2, 4);
        }
        f.PopState();
        f.EndScene();
    };
    for (int i = 0; i < 10; ++i) frame();  // programs built, first-use work settled
    const MemoryCounters before = GetMemoryCounters();
    for (int i = 0; i < 200; ++i) frame();
    const MemoryCounters after = GetMemoryCounters();
    EXPECT_EQ(after.totalBlocks, before.totalBlocks);
    f.BindTextureObject(0, nullptr);
    f.Device()->ReleaseTexture(tex);
    f.ReleaseVertexBuffer(vb);
}

}  // namespace
