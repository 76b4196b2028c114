#pragma once
// Small models built for the .ZKM writer: the demo tree's models, the tests' fixtures and the
// benchmarks' loads are made from these. Faces are wound as the engine draws front faces
// (clockwise seen from outside), texture 0 on stage 0 of material 0.
#include <cstdint>
#include <string>

#include "tools/writers/MeshWriter.h"

namespace tools {

// An axis-aligned box of 24 vertices (four per side, normals outward) appended to the model's
// vertex and index lists; returns the first vertex. Optionally bound to nothing else.
uint32_t AddBox(ZkmModel& model, const Vector3& centre, const Vector3& halfExtents);

// One textured material ("<texture>" on stage 0) and the default shader record.
void AddTexturedMaterial(ZkmModel& model, const std::string& texture);
// The model's only node, named, with one direct part over all its vertices and indices.
void SingleNode(ZkmModel& model, const std::string& name);
// Every shader record of the model shows its texture under the scene's lights (stage 0 colour
// texture x diffuse, alpha the texture's); the default record shows the texture as it is.
void ModulateByLight(ZkmModel& model);

// A crate: one box in the direct form with its own collision box and the markers "Top" and
// "Side".
ZkmModel CrateModel(const std::string& texture, float half);
// A wheel turning about x: `sides` faces round, both caps, in the grouped form (one group).
ZkmModel WheelModel(const std::string& texture, int sides, float radius, float halfWidth);
// A figure of five boxes on bones: hip, torso under it, head and both arms under the torso.
ZkmModel FigureModel(const std::string& texture);
// Its waving: `keys` keys of `duration` seconds; the right arm swings about its shoulder.
ZkaAnimation WaveAnimation(int keys, float duration);
// A ball (slices x stacks) whose material shows `texture` on stage 0 and the environment cube
// on stage 1.
ZkmModel BallModel(const std::string& texture, float radius, int slices, int stacks);
// The currency symbol a fare carries over its head: a thick coin standing on its edge, facing
// along z, whose colour is its texture's times the "Fader" variable's texture factor.
ZkmModel CurrencyModel(const std::string& texture);
// A flat square grid of n x n vertices in the x-z plane facing up, with a two-triangle
// collision mesh.
ZkmModel GroundModel(const std::string& texture, int n, float size);

}  // namespace tools
