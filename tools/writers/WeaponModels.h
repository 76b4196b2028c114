#pragma once
// The guns' models for the demo tree and the tests: the chain gun (six barrels round its axis,
// pointing along -z from its mount), a bullet's tracer (a thin bright streak along -z), a
// cartridge case and the pedestrians' rifle. Each is boxes in one textured material.
#include <string>

#include "tools/writers/MeshWriter.h"

namespace tools {

ZkmModel ChaingunModel(const std::string& texture);
ZkmModel TracerModel(const std::string& texture);
ZkmModel ShellModel(const std::string& texture);
ZkmModel RifleModel(const std::string& texture);

}  // namespace tools
