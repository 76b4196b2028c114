#include <benchmark/benchmark.h>

#include <vector>

#include "engine/core/Camera.h"
#include "engine/core/Geometry.h"
#include "platform/sys/Random.h"

namespace {

// Culling a field of boxes: the world's per-frame pass over its objects.
void BM_IsBoxVisible(benchmark::State& state) {
    Camera cam;
    cam.SetViewport(Rect{0, 0, 800, 600});
    cam.RebuildProjection();
    cam.Apply();
    plat::SetEngineRandSeed(1);
    std::vector<BoundingBox> boxes(4096);
    for (BoundingBox& b : boxes)
        b = {{RandomFloat(-2000, 2000), RandomFloat(-50, 50), RandomFloat(-4000, 100)}, {5, 5, 5}};
    for (auto _ : state) {
        int visible = 0;
        for (const BoundingBox& b : boxes) visible += cam.IsBoxVisible(b);
        benchmark::DoNotOptimize(visible);
    }
    state.SetItemsProcessed(state.iterations() * int64_t(boxes.size()));
}
BENCHMARK(BM_IsBoxVisible);

void BM_OrientedBoxIntersects(benchmark::State& state) {
    OrientedBox a, b;
    a.halfExtents = {1, 2, 3};
    b.transform = Quaternion(Vector3(1, 1, 0).Normalized(), 0.6f).ToMatrix();
    b.transform.m[3][0] = 2.5f;
    b.halfExtents = {1, 1, 1};
    for (auto _ : state) benchmark::DoNotOptimize(a.Intersects(b));
}
BENCHMARK(BM_OrientedBoxIntersects);

// Hull of a car-sized collision point set.
void BM_TriangulatePointSet(benchmark::State& state) {
    plat::SetEngineRandSeed(2);
    std::vector<Vector3> pts(size_t(state.range(0)));
    for (Vector3& p : pts) p = {RandomFloat(-1, 1), RandomFloat(-0.5f, 0.5f), RandomFloat(-2, 2)};
    std::vector<uint32_t> idx;
    for (auto _ : state) benchmark::DoNotOptimize(TriangulatePointSet(pts, idx));
}
BENCHMARK(BM_TriangulatePointSet)->Arg(8)->Arg(64)->Arg(512);

}  // namespace
