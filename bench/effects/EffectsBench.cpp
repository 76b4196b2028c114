// The effects' frame at full load: the five particle systems with full pools (2,000 blood,
// 500 fire, 500 smoke, two of 5,000 sparks) refilled, moved, aged, batched and drawn, and 4,096
// visible ring decals of three kinds batched and drawn, through the render facility on a
// recording device (the figure is our CPU work, not a rasteriser's). Reported: the frame's
// thread CPU time as a share of the 13.33 ms step, and the device locks and draws a frame,
// beside what the design allows (one lock per system, one draw per entry or owner).
#include <benchmark/benchmark.h>

#include <time.h>

#include <memory>
#include <vector>

#include "engine/core/Camera.h"
#include "engine/core/Engine.h"
#include "engine/render/D3D8RenderFacility.h"
#include "game/world/Decals.h"
#include "game/world/ParticleSystem.h"
#include "platform/gfx/RecordingDevice.h"
#include "tests/support/RecordingFacility.h"

namespace {

double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

struct Scene : testing_support::RecordingFacility {
    Scene() : RecordingFacility(640, 480) {
        ZKEngine::Instance().mainThread = Thread::Current();

        camera.SetViewport(Rect{0, 0, 640, 480});
        camera.SetFarPlane(5000.0f);
        camera.RebuildProjection();
        camera.positionDirty = 1;
        camera.Apply();

        decals = std::make_unique<DecalRenderer>(facility.get());
        for (auto& o : owners) {
            o = std::make_unique<DecalOwner>(facility.get(), "Skid.ZKT", TextureLayer{"Modulate", 1, 6, 7});
            decals->Register(o.get());
        }
        ParticleSystems::Create(facility.get(), Vector3(0, -275, 0), decals.get());
        for (int i = 0; i < DecalRing::kSize; ++i) {
            numbers.push_back(DecalRing::Counter());
            DecalRecord* r = DecalRing::Next(owners[size_t(i % 3)].get());
            const Vector3 c(float(i % 64) * 4.0f - 128.0f, -20.0f, -50.0f - float(i / 64) * 4.0f);
            const float xs[4] = {-1, -1, 1, 1}, zs[4] = {-1, 1, -1, 1};
            for (int k = 0; k < 4; ++k) {
                r->quad.corners[k] = c + Vector3(xs[k], 0, zs[k]);
                r->quad.texCoords[k] = {xs[k] > 0 ? 1.0f : 0.0f, zs[k] > 0 ? 1.0f : 0.0f};
            }
        }
    }
    ~Scene() { ParticleSystems::Destroy(); }

    // Every system back to its full pool, the new groups somewhere in view.
    void Refill(ParticleSystem* s, int32_t pool) {
        while (int32_t(s->ActiveGroups().size()) < pool) {
            ParticleGroup* g = s->Emit(ParticleSystem::kFromPool);
            if (!g) break;
            const float k = float(seed++ % 997);
            g->position = Vector3(k * 0.2f - 100.0f, float(seed % 61) - 30.0f, -60.0f - float(seed % 300));
            g->velocity = Vector3(float(seed % 7) - 3.0f, 20.0f, float(seed % 5) - 2.0f);
            g->colour[0] = 1.0f;
            g->colour[1] = 0.5f;
        }
    }

    void Frame() {
        Refill(ParticleSystems::blood, BloodParticleSystem::kPool);
        Refill(ParticleSystems::fire, FireParticleSystem::kPool);
        Refill(ParticleSystems::smoke, SmokeParticleSystem::kPool);
        Refill(ParticleSystems::sparks, SparkParticleSystem::kPool);
        Refill(ParticleSystems::triangleSparks, SparkParticleSystem::kPool);
        decals->BeginFrame(&camera, kStep);
        for (int32_t n : numbers) DecalBatch::AddFromRing(n);
        ParticleSystems::UpdateAll(camera, kStep);
        facility->BeginScene();
        ParticleSystems::DrawAll();
        decals->Draw(camera);
        facility->EndScene();
    }

    static constexpr float kStep = 1.0f / 75.0f;
    Camera camera;
    std::unique_ptr<DecalRenderer> decals;
    std::unique_ptr<DecalOwner> owners[3];
    std::vector<int32_t> numbers;
    uint32_t seed = 1;
};

void BM_EffectsFrame(benchmark::State& state) {
    Scene scene;
    for (int i = 0; i < 20; ++i) scene.Frame();  // pools made, buffers warm
    double cpu = 0.0;
    int64_t frames = 0, locks = 0, draws = 0, entries = 0, quads = 0;
    for (auto _ : state) {
        scene.device->ClearCalls();
        const double t0 = ThreadSeconds();
        scene.Frame();
        cpu += ThreadSeconds() - t0;
        ++frames;
        locks += scene.device->Count("Lock");
        draws += scene.device->Count("DrawIndexedPrimitive");
        for (TexturedParticleSystem* s : {static_cast<TexturedParticleSystem*>(ParticleSystems::blood),
                                          static_cast<TexturedParticleSystem*>(ParticleSystems::fire),
                                          static_cast<TexturedParticleSystem*>(ParticleSystems::smoke),
                                          static_cast<TexturedParticleSystem*>(ParticleSystems::sparks),
                                          static_cast<TexturedParticleSystem*>(ParticleSystems::triangleSparks)}) {
            entries += int64_t(s->Batch().Entries().size());
            quads += s->Batch().FrameQuads();
        }
    }
    const double perFrame = cpu / double(frames);
    state.counters["share_of_step_pct"] = perFrame * 1000.0 / 13.33 * 100.0;
    state.counters["frame_cpu_ms"] = perFrame * 1000.0;
    state.counters["locks_per_frame"] = double(locks) / double(frames);
    state.counters["locks_allowed"] = 5 + 1;  // one per system, one for the decals
    state.counters["draws_per_frame"] = double(draws) / double(frames);
    state.counters["draws_allowed"] = double(entries) / double(frames) + 3;  // one per particle entry and decal owner
    state.counters["particle_quads"] = double(quads) / double(frames);
    state.counters["decals"] = double(DecalBatch::Quads().size());
}
BENCHMARK(BM_EffectsFrame)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
