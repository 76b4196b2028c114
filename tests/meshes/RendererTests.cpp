// The geometry and quad batch renderers on a recording device: what reaches the device before a
// draw and how often, chunking at the primitive limit, the counters, refused ranges, immediate
// lines and their culling, the optimiser's ranges, and the quad batches.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/Camera.h"
#include "engine/render/D3D8GeomRenderer.h"
#include "engine/render/MatrixStack.h"
#include "engine/render/QuadBatchRenderer.h"
#include "tests/meshes/MeshTestSupport.h"

using testing_support::LogCapture;
using namespace meshtest;

namespace {

struct Rig : RecordingFacility {
    explicit Rig(const gfx::Caps& caps = gfx::Caps()) : RecordingFacility(64, 48, caps), f(*facility), d(*device) {
        geometry = f.GetGeomRenderer();
        vb = f.CreateVertexBuffer(kMeshVertexFormat, 32, 64, false);
        ib = f.CreateIndexBuffer(96, 64, false);
    }
    ~Rig() {
        f.ReleaseVertexBuffer(vb);
        f.ReleaseIndexBuffer(ib);
    }
    std::vector<std::string> Draws() const {
        std::vector<std::string> out;
        for (const std::string& c : d.calls)
            if (c.rfind("Draw", 0) == 0) out.push_back(c);
        return out;
    }
    D3D8RenderFacility& f;
    gfx::RecordingDevice& d;
    D3D8GeomRenderer* geometry = nullptr;
    StaticVertexBuffer* vb = nullptr;
    StaticIndexBuffer* ib = nullptr;
};

TEST(GeomRenderer, TheDeviceIsBroughtUpToDateOncePerChange) {
    Rig r;
    r.d.ClearCalls();
    r.geometry->DrawIndexed(r.vb, r.ib, {0, 6, 0, 4});
    r.geometry->DrawIndexed(r.vb, r.ib, {6, 6, 4, 4});
    EXPECT_EQ(r.d.Count("SetTransform 256"), 1);
    EXPECT_EQ(r.d.Count("SetStreamSource 0 buffer 32"), 1);
    EXPECT_EQ(r.d.Count("SetVertexShader 274"), 1);  // position, normal, one coordinate set
    EXPECT_EQ(r.d.Count("SetIndices buffer 0"), 1);
    EXPECT_EQ(r.Draws(), (std::vector<std::string>{"DrawIndexedPrimitive 4 0 4 0 2", "DrawIndexedPrimitive 4 4 4 6 2"}));
    // A changed world matrix, another base vertex: sent again, once.
    r.d.ClearCalls();
    r.f.GetMatrixStack()->Multiply(Matrix4::Translation(1, 0, 0));
    r.vb->baseVertex = 8;
    r.geometry->DrawMesh(r.vb, r.ib, std::vector<DrawRange>{{0, 3, 0, 3}, {3, 3, 0, 3}});
    EXPECT_EQ(r.d.Count("SetTransform 256"), 1);
    EXPECT_EQ(r.d.Count("SetIndices buffer 8"), 1);
    EXPECT_EQ(r.d.Count("SetStreamSource"), 0);
    EXPECT_EQ(r.d.Count("DrawIndexedPrimitive"), 2);
    // A custom vertex shader is used instead of the buffer's format.
    VertexShader custom;
    custom.handle = 7;
    r.f.SetVertexShader(&custom);
    r.geometry->DrawIndexed(r.vb, r.ib, {0, 3, 0, 3});
    EXPECT_EQ(r.d.Count("SetVertexShader 7"), 1);
    r.f.SetVertexShader(nullptr);
    // Nothing to draw from: nothing reaches the device.
    r.d.ClearCalls();
    r.geometry->DrawIndexed(nullptr, r.ib, {0, 3, 0, 3});
    r.geometry->DrawMesh(r.vb, nullptr, std::vector<DrawRange>{{0, 3, 0, 3}});
    EXPECT_TRUE(r.d.calls.empty());
}

TEST(GeomRenderer, LongRangesAreDrawnInChunksAndEveryRangeIsCounted) {
    gfx::Caps caps;
    caps.maxPrimitiveCount = 4;
    Rig r(caps);
    r.ib->baseIndex = 3;
    r.d.ClearCalls();
    const int32_t polygons = r.f.FrameStats().polygons, vertices = r.f.FrameStats().vertices;
    r.geometry->DrawIndexed(r.vb, r.ib, {6, 30, 2, 20});  // 10 triangles
    EXPECT_EQ(r.Draws(), (std::vector<std::string>{"DrawIndexedPrimitive 4 2 20 9 4", "DrawIndexedPrimitive 4 2 20 21 4",
                                                   "DrawIndexedPrimitive 4 2 20 33 2"}));
    // indexCount 7 draws and counts two triangles.
    r.geometry->DrawIndexed(r.vb, r.ib, {0, 7, 0, 5});
    EXPECT_EQ(r.Draws().back(), "DrawIndexedPrimitive 4 0 5 3 2");
    EXPECT_EQ(r.f.FrameStats().polygons, polygons + 12);
    EXPECT_EQ(r.f.FrameStats().vertices, vertices + 25);
}

TEST(GeomRenderer, RangesOutsideTheirBuffersAreLoggedAndNotDrawn) {
    Rig r;
    LogCapture log;
    r.ib->baseIndex = 90;
    r.d.ClearCalls();
    r.geometry->DrawIndexed(r.vb, r.ib, {3, 6, 1, 4});  // indices 93..98 of 96
    r.geometry->DrawIndexed(r.vb, r.ib, {0, 3, 62, 3});  // vertices 62..64 of 64
    EXPECT_TRUE(r.Draws().empty());
    EXPECT_TRUE(log.Contains("D3D8GEOMRENDERER: DIP Failed for StartIndex = 90. Data = 3, 6, 1, 4"));
    EXPECT_TRUE(log.Contains("D3D8GEOMRENDERER: DIP Failed for StartIndex = 90. Data = 0, 3, 62, 3"));
}

TEST(GeomRenderer, VertexRangesByKind) {
    Rig r;
    r.vb->baseVertex = 2;
    r.d.ClearCalls();
    const int32_t polygons = r.f.FrameStats().polygons, vertices = r.f.FrameStats().vertices;
    r.geometry->Draw(r.vb, {1, 10}, kDrawLines);
    r.geometry->Draw(r.vb, {0, 9}, kDrawTriangles);
    r.geometry->Draw(r.vb, {0, 9}, 1);  // any other kind draws nothing
    r.geometry->DrawVertexRanges(r.vb, std::vector<VertexRange>{{0, 3}, {3, 3}}, kDrawTriangles);
    EXPECT_EQ(r.Draws(), (std::vector<std::string>{"DrawPrimitive 2 3 5", "DrawPrimitive 4 2 3", "DrawPrimitive 4 2 1",
                                                   "DrawPrimitive 4 5 1"}));
    EXPECT_EQ(r.f.FrameStats().polygons, polygons + 3 + 3 + 2);
    EXPECT_EQ(r.f.FrameStats().vertices, vertices + 10 + 9 + 6);
}

struct LineVertex {
    Vector3 p;
    uint32_t colour;
};

TEST(GeomRenderer, LinesAreCulledByTheCameraAndLeaveTheBindingsUnknown) {
    Rig r;
    // No camera: nothing culls; a null colour is opaque white.
    r.d.ClearCalls();
    r.geometry->DrawLine({0, 0, 0}, {0, 0, 5}, nullptr);
    EXPECT_EQ(r.Draws(), (std::vector<std::string>{"DrawPrimitiveUP 2 1 16"}));
    EXPECT_EQ(r.d.Count("SetVertexShader 66"), 1);  // position and colour
    ASSERT_EQ(r.d.lastDrawData.size(), 32u);
    LineVertex v[2];
    memcpy(v, r.d.lastDrawData.data(), sizeof v);
    EXPECT_EQ(v[0].colour, 0xFFFFFFFFu);
    EXPECT_EQ(v[1].p, Vector3(0, 0, 5));

    // A camera at the origin looking along -z (its identity orientation).
    Camera camera;
    camera.SetViewport(Rect{0, 0, 64, 48});
    camera.RebuildProjection();
    camera.RebuildView();
    camera.UpdateFrustum();
    r.f.PushState(&camera);
    r.geometry->DrawIndexed(r.vb, r.ib, {0, 3, 0, 3});
    r.d.ClearCalls();
    // Wholly behind the camera: nothing at all happens.
    r.geometry->DrawLine({-1, 0, 5}, {1, 0, 5}, nullptr);
    EXPECT_TRUE(r.d.calls.empty());
    // Behind, but the world matrix moves it in front.
    r.f.GetMatrixStack()->Load(Matrix4::Translation(0, 0, -20));
    const uint32_t red = 0xFFFF0000u;
    r.geometry->DrawLine({-1, 0, 5}, {1, 0, 5}, &red);
    EXPECT_EQ(r.d.Count("DrawPrimitiveUP 2 1 16"), 1);
    memcpy(v, r.d.lastDrawData.data(), sizeof v);
    EXPECT_EQ(v[1].colour, red);
    // A user clip plane the line lies behind culls it too.
    r.f.GetMatrixStack()->LoadIdentity();
    const Plane keepAbove(0, 1, 0, 10);
    camera.clipPlanes[0] = &keepAbove;
    r.d.ClearCalls();
    r.geometry->DrawLine({-1, 0, -5}, {1, 0, -5}, nullptr);
    EXPECT_TRUE(r.d.calls.empty());
    camera.clipPlanes[0] = nullptr;
    // After a drawn line the next indexed draw binds its stream and indices again.
    r.geometry->DrawLine({-1, 0, -5}, {1, 0, -5}, nullptr);
    r.d.ClearCalls();
    r.geometry->DrawIndexed(r.vb, r.ib, {0, 3, 0, 3});
    EXPECT_EQ(r.d.Count("SetStreamSource 0 buffer"), 1);
    EXPECT_EQ(r.d.Count("SetIndices buffer"), 1);
    // Triangles are never culled.
    r.d.ClearCalls();
    r.geometry->DrawTriangle({0, 0, 5}, {1, 0, 5}, {0, 1, 5}, &red);
    EXPECT_EQ(r.Draws(), (std::vector<std::string>{"DrawPrimitiveUP 4 1 16"}));
    r.f.PopState();
}

TEST(GeomRenderer, TheOptimiserGathersEachRangesFaces) {
    Rig r;
    // Six faces over six vertices; ranges 0 and 1 interleave by face.
    std::vector<MeshVertex> vertices(6);
    std::vector<uint32_t> indices = {0, 1, 2, 3, 4, 5, 0, 1, 3, 3, 4, 5, 1, 2, 3, 2, 3, 4};
    std::vector<DrawRange> ranges = {{0, 3, 0, 3}, {3, 3, 3, 3}, {6, 3, 0, 4}, {9, 9, 2, 4}};
    std::vector<uint32_t> remap;
    ASSERT_TRUE(r.geometry->OptimiseMesh(kMeshVertexFormat, 6, 32, vertices.data(), indices.data(), 18, ranges, remap));
    // Faces of each range now lie together, in range order.
    EXPECT_EQ(indices, (std::vector<uint32_t>{0, 1, 2, 3, 4, 5, 0, 1, 3, 3, 4, 5, 1, 2, 3, 2, 3, 4}));
    EXPECT_EQ(ranges[3].startIndex, 9u);
    EXPECT_EQ(ranges[3].indexCount, 9u);
    EXPECT_EQ(ranges[3].firstVertex, 1u);
    EXPECT_EQ(ranges[3].vertexCount, 5u);
    EXPECT_EQ(remap.size(), 6u);
    // A range past the faces, or a stride that is not the format's, is refused.
    std::vector<DrawRange> outside = {{0, 21, 0, 6}};
    EXPECT_FALSE(r.geometry->OptimiseMesh(kMeshVertexFormat, 6, 32, vertices.data(), indices.data(), 18, outside, remap));
    EXPECT_FALSE(r.geometry->OptimiseMesh(kMeshVertexFormat, 6, 28, vertices.data(), indices.data(), 18, ranges, remap));
    // Ranges listed out of face order come out grouped in range order.
    std::vector<uint32_t> mixed = {0, 1, 2, 3, 4, 5, 0, 1, 3};
    std::vector<DrawRange> byFace = {{6, 3, 0, 4}, {0, 6, 0, 6}};
    ASSERT_TRUE(r.geometry->OptimiseMesh(kMeshVertexFormat, 6, 32, vertices.data(), mixed.data(), 9, byFace, remap));
    EXPECT_EQ(mixed, (std::vector<uint32_t>{0, 1, 3, 0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(byFace[0].startIndex, 0u);
    EXPECT_EQ(byFace[1].startIndex, 3u);
    EXPECT_EQ(byFace[1].indexCount, 6u);
}

// ---------------------------------------------------------------------------------------------
// Quad batches

struct QuadVertex {
    Vector3 p;
    uint32_t diffuse, specular;
    float u, v;
};

struct QuadRig : Rig {
    QuadRig() { quads = f.GetQuadBatchRenderer(); }
    QuadRecord* Quad(TextureHandle* texture = nullptr) {
        QuadRecord* q = quads->CreateQuad();
        q->texture = texture;
        q->size = 1.0f;
        made.emplace_back(q);
        return q;
    }
    ~QuadRig() {
        for (auto& q : made) quads->RemoveQuad(q.get());
    }
    QuadBatchRenderer* quads = nullptr;
    std::vector<std::unique_ptr<QuadRecord>> made;
    Camera camera;
};

TEST(QuadBatch, RunsOfEqualStatesDrawTogether) {
    QuadRig r;
    ASSERT_NE(r.quads, nullptr);
    TextureHandle a, b;
    // The first quads carry nothing to apply: nothing is applied before their draw.
    for (int i = 0; i < 3; ++i) r.quads->Submit(r.Quad());
    r.d.ClearCalls();
    r.quads->Flush(&r.camera);
    EXPECT_EQ(r.Draws(), (std::vector<std::string>{"DrawIndexedPrimitive 4 0 12 0 6"}));
    EXPECT_EQ(r.d.Count("Lock"), 1);
    EXPECT_EQ(r.d.Count("SetTexture"), 0);
    EXPECT_EQ(r.d.Count("SetRenderState 60"), 0);  // no draw states applied
    EXPECT_EQ(r.quads->QueuedCount(), 0u);
    // Textures A, B, A: three draws, runs are not merged across a change.
    for (TextureHandle* t : {&a, &b, &a}) r.quads->Submit(r.Quad(t));
    r.d.ClearCalls();
    r.quads->Flush(&r.camera);
    EXPECT_EQ(r.Draws(), (std::vector<std::string>{"DrawIndexedPrimitive 4 0 4 0 2", "DrawIndexedPrimitive 4 4 4 6 2",
                                                   "DrawIndexedPrimitive 4 8 4 12 2"}));
    // Nothing queued: nothing happens.
    r.d.ClearCalls();
    r.quads->Flush(&r.camera);
    EXPECT_TRUE(r.d.calls.empty());
}

TEST(QuadBatch, AtMostTheLimitIsDrawnAndTheRestDropped) {
    QuadRig r;
    QuadRecord* q = r.Quad();
    for (int i = 0; i < 20000; ++i) r.quads->Submit(q);
    r.d.ClearCalls();
    r.quads->Flush(&r.camera);
    EXPECT_EQ(r.Draws(), (std::vector<std::string>{"DrawIndexedPrimitive 4 0 65536 0 32768"}));
    EXPECT_EQ(r.quads->QueuedCount(), 0u);
    EXPECT_EQ(r.quads->RegisteredCount(), 1u);
    r.quads->RemoveQuad(q);
    EXPECT_EQ(r.quads->RegisteredCount(), 0u);
}

TEST(QuadBatch, SquaresFaceTheCameraAndCarryTheirColours) {
    QuadRig r;
    QuadRecord* q = r.Quad();
    q->size = 2.0f;
    q->diffuse = 0x80112233u;
    const Vector3 moved{5, 0, 0};
    const uint32_t off = 0, on = 1;
    r.quads->SetQuadOffset(q, &moved, &off);
    EXPECT_EQ(q->offset, Vector3());
    r.quads->Submit(q);
    r.quads->Flush(&r.camera);
    // An identity camera (looking along -z, its right along -x): corners one unit from the
    // origin along x and y, clockwise as the camera sees them.
    const auto* v = reinterpret_cast<const QuadVertex*>(r.quads->Vertices()->DeviceBuffer()->Shadow());
    const float corners[4][2] = {{1, -1}, {1, 1}, {-1, 1}, {-1, -1}};
    const float uv[4][2] = {{0, 0}, {0, 1}, {1, 1}, {1, 0}};
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(v[k].p.x, corners[k][0], 1e-5f) << k;
        EXPECT_NEAR(v[k].p.y, corners[k][1], 1e-5f) << k;
        EXPECT_NEAR(v[k].p.z, 0.0f, 1e-5f) << k;
        EXPECT_EQ(v[k].diffuse, 0x80112233u);
        EXPECT_EQ(v[k].specular, 0x80000000u);
        EXPECT_EQ(v[k].u, uv[k][0]);
        EXPECT_EQ(v[k].v, uv[k][1]);
    }
    // With its offset set the square moves by it.
    r.quads->SetQuadOffset(q, &moved, &on);
    EXPECT_EQ(q->offset, moved);
    r.quads->Submit(q);
    r.quads->Flush(&r.camera);
    EXPECT_NEAR(v[0].p.x, 6.0f, 1e-5f);
}

}  // namespace
