#pragma once
// Reader of .ZKM model files into a MeshRecord. Every count is checked against the bytes left
// and every index, range and bone against what it refers to, so a cut or lying file is refused
// with its message and never over-reads, over-allocates or leaves an index a renderer could
// follow out of its array.
#include <atomic>
#include <cstdint>

#include "engine/render/MeshTypes.h"

class TextureHandle;

// Set by the car code while a chassis model loads: every stage-1 texture of that model shows
// the environment cube.
extern std::atomic<uint8_t> ForceEnvironmentFlag;

namespace zkm {

constexpr uint32_t kVersion = 0x50;
// Bones nest no deeper than this.
constexpr int kMaxBoneDepth = 64;

// Where the reader gets the textures its materials show.
class TextureSource {
public:
    virtual ~TextureSource() = default;
    // The handle of a texture file (null allowed: the stage stays empty).
    virtual TextureHandle* Load(const SharedString& name, bool share) = 0;
    // The environment cube's handle, made on first use; null when there is none.
    virtual TextureHandle* EnvironmentCube() = 0;
};

// Reads record.name into the record, taking textures from `textures` and the share flag from
// the record. False after "%s is NOT a ZKM file", "%s is obsolete! ..." (the record as it was
// given) or "%s is damaged (...)" for a cut or inconsistent file.
bool ReadMesh(MeshRecord& record, TextureSource& textures);

// The texture name a file's texture entry stands for: ".TGA.ZKT" becomes ".ZKT" and folders
// are dropped ("Models\wall.TGA.ZKT" -> "wall.ZKT").
SharedString TextureFileName(const SharedString& stored);

}  // namespace zkm
