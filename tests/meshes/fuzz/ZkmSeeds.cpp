// Writes the seeds of the model fuzz target from the project's own writers.
#include "tests/fuzz/FuzzSupport.h"
#include "tools/writers/MeshShapes.h"
#include "tools/writers/MeshWriter.h"

int main(int argc, char** argv) {
    const fuzz_support::SeedDir seeds(argc, argv);
    seeds.Write("crate", tools::ZkmBytes(tools::CrateModel("Box.ZKT", 0.5f)));
    seeds.Write("wheel", tools::ZkmBytes(tools::WheelModel("Wheel.ZKT", 6, 0.3f, 0.1f)));
    seeds.Write("figure", tools::ZkmBytes(tools::FigureModel("Figure.ZKT")));
    seeds.Write("ball", tools::ZkmBytes(tools::BallModel("Ball.ZKT", 0.5f, 6, 3)));
    seeds.Write("ground", tools::ZkmBytes(tools::GroundModel("Ground.ZKT", 4, 10.0f)));
    // A model without a collision mesh (its normals are rebuilt), with slots and markers.
    tools::ZkmModel bare = tools::CrateModel("Models\\Box.TGA.ZKT", 0.5f);
    bare.nodes[0].collisionIndices.clear();
    bare.slots = {"Paint  "};
    bare.nodes[0].parts[0].slot = 0;
    seeds.Write("bare", tools::ZkmBytes(bare));
    return 0;
}
