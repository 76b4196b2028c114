#pragma once
// Numbers and records of the gfx device layer. Every enumeration keeps the numeric values the
// engine's tables were written against (render-state numbers 0..171, 29 texture-stage states,
// compare/blend/stencil/texture-op codes, transform ids), so those tables carry over unchanged.
#include <cstdint>

namespace gfx {

// ---- render states (index into a 172-entry table) ----
namespace rs {
enum : uint32_t {
    ZENABLE = 7, FILLMODE = 8, SHADEMODE = 9, ZWRITEENABLE = 14, ALPHATESTENABLE = 15,
    LASTPIXEL = 16, SRCBLEND = 19, DESTBLEND = 20, CULLMODE = 22, ZFUNC = 23, ALPHAREF = 24,
    ALPHAFUNC = 25, DITHERENABLE = 26, ALPHABLENDENABLE = 27, FOGENABLE = 28,
    SPECULARENABLE = 29, FOGCOLOR = 34, FOGTABLEMODE = 35, FOGSTART = 36, FOGEND = 37,
    FOGDENSITY = 38, ZBIAS = 47, RANGEFOGENABLE = 48, STENCILENABLE = 52, STENCILFAIL = 53,
    STENCILZFAIL = 54, STENCILPASS = 55, STENCILFUNC = 56, STENCILREF = 57, STENCILMASK = 58,
    STENCILWRITEMASK = 59, TEXTUREFACTOR = 60, CLIPPING = 136, LIGHTING = 137, AMBIENT = 139,
    FOGVERTEXMODE = 140, COLORVERTEX = 141, LOCALVIEWER = 142, NORMALIZENORMALS = 143,
    DIFFUSEMATERIALSOURCE = 145, SPECULARMATERIALSOURCE = 146, AMBIENTMATERIALSOURCE = 147,
    EMISSIVEMATERIALSOURCE = 148, VERTEXBLEND = 151, CLIPPLANEENABLE = 152,
    SOFTWAREVERTEXPROCESSING = 153, COLORWRITEENABLE = 168, BLENDOP = 171,
    COUNT = 172
};
}

// ---- texture-stage states (index into 29 entries per stage) ----
namespace tss {
enum : uint32_t {
    COLOROP = 1, COLORARG1 = 2, COLORARG2 = 3, ALPHAOP = 4, ALPHAARG1 = 5, ALPHAARG2 = 6,
    TEXCOORDINDEX = 11, ADDRESSU = 13, ADDRESSV = 14, BORDERCOLOR = 15, MAGFILTER = 16,
    MINFILTER = 17, MIPFILTER = 18, MIPMAPLODBIAS = 19, MAXMIPLEVEL = 20, MAXANISOTROPY = 21,
    TEXTURETRANSFORMFLAGS = 24, ADDRESSW = 25, COLORARG0 = 26, ALPHAARG0 = 27, RESULTARG = 28,
    COUNT = 29
};
}
constexpr int kMaxStages = 8;

// ---- codes ----
namespace cmp { enum : uint32_t { NEVER = 1, LESS, EQUAL, LESSEQUAL, GREATER, NOTEQUAL, GREATEREQUAL, ALWAYS }; }
namespace blend {
enum : uint32_t { ZERO = 1, ONE, SRCCOLOR, INVSRCCOLOR, SRCALPHA, INVSRCALPHA, DESTALPHA,
                  INVDESTALPHA, DESTCOLOR, INVDESTCOLOR, SRCALPHASAT };
}
namespace stencilop { enum : uint32_t { KEEP = 1, ZERO, REPLACE, INCRSAT, DECRSAT, INVERT, INCR, DECR }; }
namespace cull { enum : uint32_t { NONE = 1, CW = 2, CCW = 3 }; }
namespace fill { enum : uint32_t { POINT = 1, WIREFRAME = 2, SOLID = 3 }; }
namespace fogmode { enum : uint32_t { NONE = 0, EXP = 1, EXP2 = 2, LINEAR = 3 }; }
namespace mcs { enum : uint32_t { MATERIAL = 0, COLOR1 = 1, COLOR2 = 2 }; }
namespace top {
enum : uint32_t {
    DISABLE = 1, SELECTARG1, SELECTARG2, MODULATE, MODULATE2X, MODULATE4X, ADD, ADDSIGNED,
    ADDSIGNED2X, SUBTRACT, ADDSMOOTH, BLENDDIFFUSEALPHA, BLENDTEXTUREALPHA, BLENDFACTORALPHA,
    BLENDTEXTUREALPHAPM, BLENDCURRENTALPHA, PREMODULATE, MODULATEALPHA_ADDCOLOR,
    MODULATECOLOR_ADDALPHA, MODULATEINVALPHA_ADDCOLOR, MODULATEINVCOLOR_ADDALPHA, BUMPENVMAP,
    BUMPENVMAPLUMINANCE, DOTPRODUCT3, MULTIPLYADD, LERP
};
}
namespace ta {
enum : uint32_t { DIFFUSE = 0, CURRENT = 1, TEXTURE = 2, TFACTOR = 3, SPECULAR = 4, TEMP = 5,
                  SELECTMASK = 0xF, COMPLEMENT = 0x10, ALPHAREPLICATE = 0x20 };
}
namespace tci { enum : uint32_t { PASSTHRU = 0, CAMERASPACENORMAL = 0x10000, CAMERASPACEPOSITION = 0x20000, CAMERASPACEREFLECTIONVECTOR = 0x30000 }; }
namespace ttff { enum : uint32_t { DISABLE = 0, COUNT1, COUNT2, COUNT3, COUNT4, PROJECTED = 256 }; }
namespace texf { enum : uint32_t { NONE = 0, POINT = 1, LINEAR = 2, ANISOTROPIC = 3 }; }
namespace taddr { enum : uint32_t { WRAP = 1, MIRROR, CLAMP, BORDER }; }
namespace prim { enum : uint32_t { POINTLIST = 1, LINELIST, LINESTRIP, TRIANGLELIST, TRIANGLESTRIP, TRIANGLEFAN }; }
namespace light { enum : uint32_t { POINT = 1, SPOT = 2, DIRECTIONAL = 3 }; }

// Transform ids.
namespace ts { enum : uint32_t { VIEW = 2, PROJECTION = 3, TEXTURE0 = 16, WORLD = 256 }; }

// Flexible vertex format bits.
namespace fvf {
enum : uint32_t { XYZ = 0x002, XYZRHW = 0x004, POSITION_MASK = 0x00E, NORMAL = 0x010,
                  DIFFUSE = 0x040, SPECULAR = 0x080, TEXCOUNT_MASK = 0xF00, TEXCOUNT_SHIFT = 8 };
}
uint32_t VertexStride(uint32_t fvfCode);
int PrimitiveVertexCount(uint32_t type, uint32_t primCount);

// Clear flags.
namespace clear { enum : uint32_t { TARGET = 1, ZBUFFER = 2, STENCIL = 4 }; }

// Lock flags.
namespace lock { enum : uint32_t { DISCARD = 0x2000, NOOVERWRITE = 0x1000, NOSYSLOCK = 0x800, READONLY = 0x10 }; }

// Results.
enum class Result { OK, INVALIDCALL, DEVICELOST, DEVICENOTRESET, OUTOFMEMORY,
                    UNSUPPORTEDCOLOROPERATION, UNSUPPORTEDALPHAOPERATION, UNSUPPORTEDCOLORARG,
                    UNSUPPORTEDALPHAARG, TOOMANYOPERATIONS, WRONGTEXTUREFORMAT,
                    CONFLICTINGTEXTUREFILTER, UNSUPPORTEDFACTORVALUE, UNSUPPORTEDTEXTUREFILTER,
                    CONFLICTINGTEXTUREPALETTE };

enum class Pool { DEFAULT, MANAGED, SYSTEMMEM };

// Engine texture formats.
namespace format {
enum : uint32_t { A8R8G8B8 = 0, A4R4G4B4, A8P8, A1R5G5B5, R8G8B8, R5G6B5, P8, DXT1, DXT3, DXT5,
                  X8R8G8B8, NONE };
}

struct ColorValue { float r = 0, g = 0, b = 0, a = 0; };
struct Vec3 { float x = 0, y = 0, z = 0; };
// Row-major 4x4 in the row-vector convention (translation in the fourth row).
struct Mat4 {
    float m[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}};
    static Mat4 Mul(const Mat4& a, const Mat4& b);
    bool operator==(const Mat4&) const = default;
};

struct Light {
    uint32_t type = light::DIRECTIONAL;
    ColorValue diffuse{1, 1, 1, 0}, specular, ambient;
    Vec3 position, direction{0, 0, 1};
    float range = 0, falloff = 0, attenuation0 = 0, attenuation1 = 0, attenuation2 = 0;
    float theta = 0, phi = 0;
};

struct MaterialColors {
    ColorValue diffuse, ambient, specular, emissive;
    float power = 0;
    bool operator==(const MaterialColors& o) const;
};

struct Viewport { int32_t x = 0, y = 0, width = 0, height = 0; float minZ = 0, maxZ = 1; };

struct Caps {
    uint32_t maxTextureWidth = 4096, maxTextureHeight = 4096;
    uint32_t maxSimultaneousTextures = 8;
    uint32_t maxActiveLights = 8;
    uint32_t maxVertexShaderConst = 96;
    uint32_t maxStreams = 16;
    uint32_t maxPrimitiveCount = 0xFFFFF;
    uint32_t maxVertexIndex = 0xFFFFFF;
    uint32_t maxVertexBlendMatrices = 4, maxVertexBlendMatrixIndex = 0;
    bool hardwareTnL = true, canRenderWindowed = true, fogRange = true, zFog = true, wFog = true;
    bool fogTable = true, fogVertex = true, squareOnly = false, nonPow2Conditional = true;
};

struct AdapterInfo {
    const char* driver = "mesa";
    char description[128] = {};
    uint32_t vendorId = 0, deviceId = 0;
};

struct Mode { int32_t width = 0, height = 0, bitsPerPixel = 32, refreshRate = 60; };

// Cooperative state of the device: a full-screen window that loses focus goes LOST, getting
// it back makes the device NOTRESET until Reset runs.
enum class CoopState { OK, LOST, NOTRESET };

// The render-state and texture-stage-state mirror as a freshly created device holds it (the
// defaults the engine relies on without ever setting them). Every device starts from this.
void SetDefaultStates(uint32_t (&renderStates)[rs::COUNT], uint32_t (&stageStates)[8][tss::COUNT]);

// Packs float colour channels to 0xAARRGGBB and back.
uint32_t PackColor(const ColorValue& c);
ColorValue UnpackColor(uint32_t argb);

// Process-wide log sink of the layer (the engine routes it to its log). level 1 error, 2
// warning, 3 information.
using LogSink = void (*)(int level, const char* text);
void SetLogSink(LogSink sink);
void Log(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace gfx
