// The demo tree's models: each loads through the factory as its own mesh class, textured, and
// the figure's waving animation moves its bones.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "engine/render/BoneAnimation.h"
#include "engine/render/D3D8AnimatedMesh.h"
#include "engine/render/D3D8LargeMesh.h"
#include "engine/render/D3D8ShinyMesh.h"
#include "engine/render/EnvironmentCube.h"
#include "tests/meshes/MeshTestSupport.h"
#include "tools/demo/DemoTree.h"

using testing_support::LogCapture;
using testing_support::TempWorkDir;
using namespace meshtest;

TEST(DemoModels, EachLoadsAsItsOwnClass) {
    TempWorkDir dir;
    bool wrote = false;
    for (const tools::DemoStep& step : tools::DemoSteps())
        if (std::string(step.name) == "models") wrote = step.write(".");
    ASSERT_TRUE(wrote);
    RecordingFacility rig;
    EngineOn engine(rig.facility.get());
    LogCapture log;
    const struct {
        const char* name;
        const char* kind;
    } models[] = {{"Models\\Box.ZKM", "shiny"}, {"Models\\Wheel.ZKM", "shiny"}, {"Models\\Figure.ZKM", "animated"},
                  {"Models\\Ball.ZKM", "shiny"}, {"Models\\Ground.ZKM", "large"}};
    for (const auto& m : models) {
        SCOPED_TRACE(m.name);
        log.Clear();
        std::unique_ptr<D3D8Mesh> mesh(MeshFactory::Instance().GetByName(m.name, true));
        const char* kind = dynamic_cast<D3D8ShinyMesh*>(mesh.get())      ? "shiny"
                           : dynamic_cast<D3D8AnimatedMesh*>(mesh.get()) ? "animated"
                           : dynamic_cast<D3D8LargeMesh*>(mesh.get())    ? "large"
                                                                         : "other";
        EXPECT_STREQ(kind, m.kind);
        EXPECT_EQ(MeshFactory::Instance().CachedCount(), 1u);
        for (const std::string& line : log.Lines()) EXPECT_EQ(line.find("could not be found"), std::string::npos) << line;
        ASSERT_FALSE(mesh->Nodes()[0].items.empty());
        EXPECT_GT(mesh->Radius(), 0.0f);
        MeshFactory::Instance().ClearForTests();
    }
    EXPECT_NE(EnvironmentCube::Global(), nullptr);  // the ball made it
    std::unique_ptr<D3D8Mesh> box(MeshFactory::Instance().GetByName("Models\\Box.ZKM", true));
    EXPECT_EQ(box->Markers().size(), 2u);

    BoneAnimation wave("Models\\Figure_Wave.ZKA");
    EXPECT_EQ(wave.KeyCount(), 8);
    EXPECT_FLOAT_EQ(wave.GetLength(), 1.0f);
    std::unique_ptr<D3D8Mesh> figure(MeshFactory::Instance().GetByName("Models\\Figure.ZKM", true));
    auto* animated = static_cast<D3D8AnimatedMesh*>(figure.get());
    EXPECT_EQ(animated->BoneCount(), 5u);
    figure->AddAnimation(&wave);
    figure->PlayAnimation(&wave, D3D8AnimatedMesh::kEndless, false);
    figure->Step(0.5f);  // the middle key: the right arm up
    EXPECT_NE(animated->BoneMatrices()[4], Matrix4());
    EXPECT_EQ(animated->BoneMatrices()[0], Matrix4());
}
