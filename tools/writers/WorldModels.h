#pragma once
// Models and textures of the city's ambience for the .ZKM and .ZKT writers: the sky dome, the
// path objects' cart, the drop-point marker and the ground light pools. The demo tree and the
// tests make theirs with these.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/writers/MeshWriter.h"
#include "tools/writers/ZktWriter.h"

namespace tools {

// A half sphere over y = 0 seen from inside (front faces towards the centre), unlit, neither
// tested against nor written to the depth buffer: v runs from 0 at the top to 1 at the horizon.
ZkmModel SkyDomeModel(const std::string& texture, float radius, int slices, int stacks);
// A small cart facing -z (body, seat and four wheels) with its collision box.
ZkmModel CartModel(const std::string& texture);
// A diamond standing on its lower tip at the origin, unlit, about 4.5 units high.
ZkmModel DropPointModel(const std::string& texture);

// A vertical gradient (top row `top`, bottom row `horizon`), 4 x 64 texels.
ZktTexture GradientTexture(uint32_t top, uint32_t horizon);
// A round pool of light of the colour (0xRRGGBB) fading out towards the edge through alpha.
ZktTexture LightPoolTexture(uint32_t rgb, int size = 64);

} // namespace tools
