// A frame of 2,000 small indexed batches through the render facility on the real GL device
// (offscreen): each batch changes pass set, texture, vertex buffer and world transform in
// different rhythms, as a scene of many small objects does. Reports frames per second, GL calls,
// GL state calls and uniform uploads per batch, whole-target copies per frame, the device set
// calls that the facility's caches let through with an unchanged value, and (from one audited
// frame) GL state calls and uniform uploads that set what GL already had. The last three must
// stay 0.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/core/Camera.h"
#include "engine/render/D3D8RenderFacility.h"
#include "engine/render/ShaderTypes.h"

// Mesa keeps its allocations until the process ends; leak reports would only show those.
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }

namespace {

const bool kHeadless = [] { return setenv("SDL_VIDEODRIVER", "offscreen", 0) == 0; }();

constexpr int kBatches = 2000;
constexpr int kQuadsPerBuffer = 64;
constexpr int kPassSets = 8, kTextures = 4, kBuffers = 4;

struct Vertex {
    float x, y, z;
    uint32_t diffuse;
    float u, v;
};
constexpr uint32_t kFormat = 1 | 8 | 32;  // position, diffuse, one coordinate set

struct Scene {
    std::unique_ptr<D3D8RenderFacility> facility;
    Camera camera;
    std::vector<ShaderPassSet*> passSets;
    std::vector<gfx::Texture*> textures;
    std::vector<TextureStageBinding> bindings;
    std::vector<StaticVertexBuffer*> buffers;
    StaticIndexBuffer* indices = nullptr;
    gfx::Mat4 worlds[16];

    Scene() {
        facility = std::make_unique<D3D8RenderFacility>();
        D3D8RenderFacility& f = *facility;
        f.ChooseDevice(-1);
        f.RequestMode({800, 600, 32, 60});
        f.CreateDevice(false);
        if (!f.DeviceReady()) abort();
        camera.SetViewport(Rect{0, 0, 800, 600});
        camera.Apply();
        // Pass sets differing in blending, alpha test, depth and the stage operation.
        for (int i = 0; i < kPassSets; ++i) {
            ShaderDescription d;
            d.zWrite = 1;
            d.zFunc = (i & 1) ? 4 : 8;  // less-equal or always
            d.blend = (i & 2) ? 1 : 0;
            d.srcBlend = 6;
            d.dstBlend = 7;
            d.alphaFunc = (i & 4) ? 5 : 0;  // greater
            d.stageMask = 1;
            d.stages[0].colorOp = (i & 4) ? 3 : 1;  // modulate or select
            d.stages[0].colorArg1 = 2;              // texture
            d.stages[0].colorArg2 = 1;              // diffuse
            d.stages[0].alphaOp = 3;
            d.stages[0].alphaArg1 = 2;
            d.stages[0].alphaArg2 = 1;
            passSets.push_back(f.AddShader(d));
        }
        for (int i = 0; i < kTextures; ++i) {
            gfx::Texture* t = f.Device()->CreateTexture(8, 8, 1, gfx::format::A8R8G8B8, gfx::Pool::MANAGED);
            std::vector<uint32_t> texels(64, 0xFF000000u | uint32_t(0x3F * (i + 1)) << (8 * (i % 3)));
            f.Device()->UpdateTexture(t, 0, texels.data(), 32);
            textures.push_back(t);
            TextureStageBinding b;
            b.texture = t;
            b.addressU = b.addressV = (i & 1) ? 3 : 1;  // clamp or wrap
            bindings.push_back(b);
        }
        for (int b = 0; b < kBuffers; ++b) {
            StaticVertexBuffer* vb = f.CreateVertexBuffer(kFormat, sizeof(Vertex), kQuadsPerBuffer * 4, false);
            auto* v = reinterpret_cast<Vertex*>(vb->data());
            for (int q = 0; q < kQuadsPerBuffer; ++q) {
                const float x = float(q % 8) - 4.0f, y = float(q / 8) - 4.0f;
                const uint32_t c = 0xC0000000u | uint32_t(40 * b + 3 * q) << 8 | 0x80u;
                v[q * 4 + 0] = {x, y, 20.0f, c, 0, 0};
                v[q * 4 + 1] = {x + 0.5f, y, 20.0f, c, 1, 0};
                v[q * 4 + 2] = {x, y + 0.5f, 20.0f, c, 0, 1};
                v[q * 4 + 3] = {x + 0.5f, y + 0.5f, 20.0f, c, 1, 1};
            }
            vb->Update(0, kQuadsPerBuffer * 4);
            buffers.push_back(vb);
        }
        indices = f.CreateIndexBuffer(6, 4, false);
        const uint32_t quad[6] = {0, 1, 2, 2, 1, 3};
        memcpy(indices->indices.get(), quad, sizeof quad);
        indices->Update(0, 6);
        for (int i = 0; i < 16; ++i) worlds[i].m[3][0] = float(i % 4) * 0.1f, worlds[i].m[3][1] = float(i / 4) * 0.1f;
    }

    void Frame() {
        D3D8RenderFacility& f = *facility;
        gfx::Device& d = *f.Device();
        f.BeginScene();
        f.PushState(&camera);
        f.Clear(kClearTarget | kClearDepth);
        f.SetCullMode(1);
        f.SetIndices(indices->DeviceBuffer(), 0);
        for (int i = 0; i < kBatches; ++i) {
            f.ApplyShaderPass(passSets[size_t(i % kPassSets)]);
            f.ApplyDrawStates(nullptr);
            f.BindTextureObject(0, &bindings[size_t((i / 3) % kTextures)]);
            StaticVertexBuffer* vb = buffers[size_t((i / 5) % kBuffers)];
            f.SetVertexShaderHandle(vb->fvf);
            f.SetStreamSource(vb->DeviceBuffer(), vb->stride);
            d.SetTransform(gfx::ts::WORLD, worlds[i % 16]);
            // One quad of the buffer: its four vertices through the base vertex.
            f.SetIndices(indices->DeviceBuffer(), uint32_t((i % kQuadsPerBuffer) * 4));
            d.DrawIndexedPrimitive(gfx::prim::TRIANGLELIST, 0, 4, 0, 2);
            f.CountDraw(2, 4);
        }
        f.PopState();
        f.EndScene();
    }
};

Scene& TheScene() {
    static Scene scene;
    return scene;
}

void BM_SmallIndexedBatches(benchmark::State& state) {
    Scene& s = TheScene();
    gfx::Device& d = *s.facility->Device();
    // Warm the program cache, then audit one frame against GL's own state.
    s.Frame();
    d.Stats() = gfx::DeviceStats();
    d.SetStateAudit(true);
    s.Frame();
    d.SetStateAudit(false);
    const uint64_t redundantGL = d.Stats().redundantGLCalls;
    d.Stats() = gfx::DeviceStats();
    for (auto _ : state) s.Frame();
    const gfx::DeviceStats& st = d.Stats();
    const double batches = double(state.iterations()) * kBatches;
    state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["gl_calls_per_batch"] = double(st.glCalls) / batches;
    state.counters["gl_state_calls_per_batch"] = double(st.glStateCalls) / batches;
    state.counters["uniform_uploads_per_batch"] = double(st.uniformUploads) / batches;
    state.counters["draws_per_frame"] = double(st.draws) / double(state.iterations());
    state.counters["target_copies_per_frame"] = double(st.targetCopies) / double(state.iterations());
    state.counters["programs_built"] = double(st.programsBuilt);
    state.counters["redundant_device_sets"] = double(st.redundantSets);
    state.counters["redundant_gl_state_calls"] = double(redundantGL);
}
BENCHMARK(BM_SmallIndexedBatches)->Unit(benchmark::kMillisecond);

}  // namespace
