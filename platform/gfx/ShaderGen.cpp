// GLSL text for the fixed-function vertex and texture-stage pipelines.
#include "platform/gfx/ShaderGen.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/gfx/GfxTypes.h"

namespace gfx {

namespace {

void Append(std::string& s, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Append(std::string& s, const char* format, ...) {
    char buffer[2048];
    va_list args;
    va_start(args, format);
    int n = vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n > 0) s.append(buffer, size_t(n) < sizeof buffer ? size_t(n) : sizeof buffer - 1);
}

}  // namespace

const char* VertexOutputDeclarations() {
    return "out vec4 vDiffuse;\n"
           "out vec4 vSpecular;\n"
           "out vec4 vTex[8];\n"
           "out float vFog;\n";
}

// The engine's projections are left-handed with z in [0, 1] and the back buffer is rendered
// upside-down: y is negated, z remapped to GL's [-w, w], and pixel centres moved by half a
// pixel so that the engine's integer pixel centres land on GL's.
const char* PositionFixupFunction() {
    return "uniform vec4 uViewport;\n"
           "vec4 FixPosition(vec4 c) {\n"
           "    c.y = -c.y;\n"
           "    c.z = 2.0 * c.z - c.w;\n"
           "    c.xy += vec2(1.0 / uViewport.z, 1.0 / uViewport.w) * c.w;\n"
           "    return c;\n"
           "}\n";
}

std::string GenerateFixedVertexShader(const VsKey& key) {
    const uint32_t fvfCode = key.w[0];
    const uint32_t flags = key.w[1];
    const uint32_t sources = key.w[2];
    const uint32_t lights = key.w[3];
    const uint32_t fog = key.w[4];
    const uint32_t clipMask = key.w[13];
    const bool rhw = (fvfCode & fvf::POSITION_MASK) == fvf::XYZRHW;
    const bool hasNormal = (fvfCode & fvf::NORMAL) != 0;
    const bool hasDiffuse = (fvfCode & fvf::DIFFUSE) != 0;
    const bool hasSpecular = (fvfCode & fvf::SPECULAR) != 0;
    const uint32_t texCount = (fvfCode & fvf::TEXCOUNT_MASK) >> fvf::TEXCOUNT_SHIFT;
    const bool lighting = (flags & VS_LIGHTING) && !rhw;
    const int lightCount = int(lights & 0xF);

    std::string s = "#version 330 core\n";
    Append(s, "layout(location = %d) in vec4 aPos;\n", kAttrPosition);
    Append(s, "layout(location = %d) in vec3 aNormal;\n", kAttrNormal);
    Append(s, "layout(location = %d) in vec4 aDiffuse;\n", kAttrDiffuse);
    Append(s, "layout(location = %d) in vec4 aSpecular;\n", kAttrSpecular);
    for (int i = 0; i < 8; ++i) Append(s, "layout(location = %d) in vec4 aTex%d;\n", kAttrTex0 + i, i);
    s += VertexOutputDeclarations();
    s += PositionFixupFunction();
    s += "uniform mat4 uWVP;\nuniform mat4 uWV;\nuniform mat4 uWorld;\nuniform mat3 uNormalMat;\n"
         "uniform mat4 uTexMat[8];\n"
         "uniform vec4 uMatDiffuse, uMatAmbient, uMatSpecular, uMatEmissive;\n"
         "uniform float uMatPower;\nuniform vec4 uAmbient;\n"
         "uniform vec3 uLightPos[8];\nuniform vec3 uLightDir[8];\n"
         "uniform vec4 uLightDiffuse[8], uLightSpecular[8], uLightAmbient[8];\n"
         "uniform vec4 uLightAtt[8];\nuniform vec4 uLightSpot[8];\n"
         "uniform vec2 uFogParams;\nuniform vec4 uClipPlane[6];\n";
    s += "void main() {\n";
    s += "    vec4 diffuseIn = " + std::string(hasDiffuse ? "aDiffuse" : "vec4(1.0)") + ";\n";
    s += "    vec4 specularIn = " + std::string(hasSpecular ? "aSpecular" : "vec4(0.0)") + ";\n";
    // Coordinate sets are two floats; sets the format lacks read (0, 0, 0, 1).
    for (uint32_t i = 0; i < 8; ++i) {
        if (i < texCount) Append(s, "    vec4 set%u = vec4(aTex%u.xy, 0.0, 1.0);\n", i, i);
        else Append(s, "    vec4 set%u = vec4(0.0, 0.0, 0.0, 1.0);\n", i);
    }

    if (rhw) {
        s += "    float w = (aPos.w != 0.0) ? 1.0 / aPos.w : 1.0;\n"
             "    vec2 ndc = (aPos.xy + 0.5 - uViewport.xy) / uViewport.zw * 2.0 - 1.0;\n"
             "    gl_Position = vec4(ndc * w, (2.0 * aPos.z - 1.0) * w, w);\n"
             "    vDiffuse = diffuseIn;\n    vSpecular = specularIn;\n    vFog = 1.0;\n";
        for (int i = 0; i < 8; ++i) {
            uint32_t word = key.w[5 + i];
            Append(s, "    vTex[%d] = set%u;\n", i, word & 7);
        }
        for (int i = 0; i < 6; ++i)
            if (clipMask & (1u << i)) Append(s, "    gl_ClipDistance[%d] = 1.0;\n", i);
        s += "}\n";
        return s;
    }

    s += "    vec4 p = vec4(aPos.xyz, 1.0);\n"
         "    gl_Position = FixPosition(uWVP * p);\n"
         "    vec3 P = (uWV * p).xyz;\n";
    if (hasNormal) {
        s += "    vec3 N = uNormalMat * aNormal;\n";
        if (flags & VS_NORMALIZE) s += "    N = (dot(N, N) > 0.0) ? normalize(N) : N;\n";
    } else {
        s += "    vec3 N = vec3(0.0);\n";
    }
    for (int i = 0; i < 6; ++i)
        if (clipMask & (1u << i)) Append(s, "    gl_ClipDistance[%d] = dot(uWorld * p, uClipPlane[%d]);\n", i, i);

    if (lighting) {
        auto source = [&](int shift, const char* material) -> std::string {
            uint32_t src = (sources >> shift) & 3;
            if (src == mcs::COLOR1) return "diffuseIn";
            if (src == mcs::COLOR2) return "specularIn";
            return material;
        };
        s += "    vec4 md = " + source(0, "uMatDiffuse") + ";\n";
        s += "    vec4 ms = " + source(2, "uMatSpecular") + ";\n";
        s += "    vec4 ma = " + source(4, "uMatAmbient") + ";\n";
        s += "    vec4 me = " + source(6, "uMatEmissive") + ";\n";
        s += "    vec3 amb = uAmbient.rgb;\n    vec3 dif = vec3(0.0);\n    vec3 spe = vec3(0.0);\n";
        s += "    vec3 V = ";
        s += (flags & VS_LOCALVIEWER) ? "-normalize(P);\n" : "vec3(0.0, 0.0, -1.0);\n";
        for (int i = 0; i < lightCount && i < 8; ++i) {
            uint32_t kind = (lights >> (4 + 2 * i)) & 3;
            Append(s, "    {\n");
            if (kind == light::DIRECTIONAL) {
                Append(s, "        vec3 L = -uLightDir[%d];\n        float att = 1.0;\n", i);
            } else {
                Append(s,
                       "        vec3 D = uLightPos[%d] - P;\n        float d = length(D);\n"
                       "        vec3 L = (d > 0.0) ? D / d : vec3(0.0, 0.0, -1.0);\n"
                       "        float den = uLightAtt[%d].y + uLightAtt[%d].z * d + uLightAtt[%d].w * d * d;\n"
                       "        float att = (d > uLightAtt[%d].x) ? 0.0 : ((den > 0.0) ? 1.0 / den : 1.0);\n",
                       i, i, i, i, i);
                if (kind == light::SPOT) {
                    Append(s,
                           "        float rho = dot(-L, uLightDir[%d]);\n"
                           "        float ct = uLightSpot[%d].x, cp = uLightSpot[%d].y;\n"
                           "        float spot = (rho > ct) ? 1.0 : ((rho <= cp) ? 0.0 : "
                           "pow(max((rho - cp) / max(ct - cp, 1e-6), 0.0), uLightSpot[%d].z));\n"
                           "        att *= spot;\n",
                           i, i, i, i);
                }
            }
            Append(s,
                   "        float nl = max(dot(N, L), 0.0);\n"
                   "        amb += att * uLightAmbient[%d].rgb;\n"
                   "        dif += att * nl * uLightDiffuse[%d].rgb;\n",
                   i, i);
            if (flags & VS_SPECULAR) {
                Append(s,
                       "        if (nl > 0.0) {\n"
                       "            vec3 H = normalize(L + V);\n"
                       "            float nh = max(dot(N, H), 0.0);\n"
                       "            spe += att * ((uMatPower > 0.0) ? pow(nh, uMatPower) : 1.0) * uLightSpecular[%d].rgb;\n"
                       "        }\n",
                       i);
            }
            Append(s, "    }\n");
        }
        s += "    vDiffuse = clamp(vec4(me.rgb + ma.rgb * amb + md.rgb * dif, md.a), 0.0, 1.0);\n";
        if (flags & VS_SPECULAR)
            s += "    vSpecular = clamp(vec4(ms.rgb * spe, ms.a), 0.0, 1.0);\n";
        else
            s += "    vSpecular = vec4(0.0);\n";
    } else {
        s += "    vDiffuse = diffuseIn;\n    vSpecular = specularIn;\n";
    }

    if (fog == 1 || fog == 2) {
        s += fog == 2 ? "    float fd = length(P);\n" : "    float fd = abs(P.z);\n";
        s += "    float fr = uFogParams.y - uFogParams.x;\n"
             "    vFog = (fr != 0.0) ? clamp((uFogParams.y - fd) / fr, 0.0, 1.0) : 1.0;\n";
    } else {
        s += "    vFog = 1.0;\n";
    }

    bool needReflect = false;
    for (int i = 0; i < 8; ++i) needReflect |= ((key.w[5 + i] >> 3) & 3) == 3;
    if (needReflect) s += "    vec3 E = vec3(0.0, 0.0, -1.0);\n    vec3 R = 2.0 * dot(E, N) * N - E;\n";
    for (int i = 0; i < 8; ++i) {
        uint32_t word = key.w[5 + i];
        uint32_t set = word & 7, gen = (word >> 3) & 3, count = (word >> 5) & 7;
        std::string src;
        switch (gen) {
            case 1: src = "vec4(N, 1.0)"; break;
            case 2: src = "vec4(P, 1.0)"; break;
            case 3: src = "vec4(R, 1.0)"; break;
            default: { char b[16]; snprintf(b, sizeof b, "set%u", set); src = b; }
        }
        if (count == ttff::COUNT2)
            Append(s, "    vTex[%d] = uTexMat[%d] * vec4((%s).xy, 1.0, 0.0);\n", i, i, src.c_str());
        else if (count == ttff::COUNT3 || count == ttff::COUNT4)
            Append(s, "    vTex[%d] = uTexMat[%d] * vec4((%s).xyz, 1.0);\n", i, i, src.c_str());
        else
            Append(s, "    vTex[%d] = %s;\n", i, src.c_str());
    }
    s += "}\n";
    return s;
}

namespace {

std::string ArgExpr(uint32_t code) {
    std::string base;
    switch (code & ta::SELECTMASK) {
        case ta::DIFFUSE: base = "vDiffuse"; break;
        case ta::CURRENT: base = "cur"; break;
        case ta::TEXTURE: base = "tex"; break;
        case ta::TFACTOR: base = "uTFactor"; break;
        case ta::SPECULAR: base = "vSpecular"; break;
        case ta::TEMP: base = "tmp"; break;
        default: base = "cur"; break;
    }
    if (code & ta::ALPHAREPLICATE) base = base + ".aaaa";
    if (code & ta::COMPLEMENT) base = "(vec4(1.0) - " + base + ")";
    return base;
}

// Expression of operation op on p and q for the channels sel (".rgb" or ".a").
std::string OpExpr(uint32_t op, const std::string& p, const std::string& q, bool alpha) {
    const std::string sel = alpha ? ".a" : ".rgb";
    const std::string P = "(" + p + sel + ")", Q = "(" + q + sel + ")";
    switch (op) {
        case top::SELECTARG2: return Q;
        case top::MODULATE: return P + " * " + Q;
        case top::MODULATE2X: return P + " * " + Q + " * 2.0";
        case top::MODULATE4X: return P + " * " + Q + " * 4.0";
        case top::ADD: return P + " + " + Q;
        case top::ADDSIGNED: return P + " + " + Q + " - 0.5";
        case top::ADDSIGNED2X: return "(" + P + " + " + Q + " - 0.5) * 2.0";
        case top::SUBTRACT: return P + " - " + Q;
        case top::ADDSMOOTH: return P + " + " + Q + " - " + P + " * " + Q;
        case top::BLENDDIFFUSEALPHA: return "mix(" + Q + ", " + P + ", vDiffuse.a)";
        case top::BLENDTEXTUREALPHA: return "mix(" + Q + ", " + P + ", tex.a)";
        case top::BLENDFACTORALPHA: return "mix(" + Q + ", " + P + ", uTFactor.a)";
        case top::BLENDCURRENTALPHA: return "mix(" + Q + ", " + P + ", cur.a)";
        case top::BLENDTEXTUREALPHAPM: return P + " + " + Q + " * (1.0 - tex.a)";
        case top::MODULATEALPHA_ADDCOLOR:
            return alpha ? P : "(" + p + ".rgb + " + p + ".a * " + q + ".rgb)";
        case top::MODULATECOLOR_ADDALPHA:
            return alpha ? P : "(" + p + ".rgb * " + q + ".rgb + " + p + ".a)";
        case top::MODULATEINVALPHA_ADDCOLOR:
            return alpha ? P : "((1.0 - " + p + ".a) * " + q + ".rgb + " + p + ".rgb)";
        case top::MODULATEINVCOLOR_ADDALPHA:
            return alpha ? P : "((vec3(1.0) - " + p + ".rgb) * " + q + ".rgb + " + p + ".a)";
        case top::DOTPRODUCT3: {
            std::string d = "(4.0 * dot(" + p + ".rgb - 0.5, " + q + ".rgb - 0.5))";
            return alpha ? d : "vec3" + d;
        }
        default: return P;  // SELECTARG1 and the ops the device refuses
    }
}

}  // namespace

std::string GenerateFragmentShader(const FsKey& key) {
    std::string s = "#version 330 core\n"
                    "in vec4 vDiffuse;\nin vec4 vSpecular;\nin vec4 vTex[8];\nin float vFog;\n"
                    "uniform vec4 uTFactor;\nuniform float uAlphaRef;\nuniform vec3 uFogColor;\n"
                    "out vec4 oColor;\n";
    for (int i = 0; i < 8; ++i) {
        uint32_t sampler = (key.w[16 + i] >> 1) & 3;
        if (sampler == 1) Append(s, "uniform sampler2D uTex%d;\n", i);
        if (sampler == 2) Append(s, "uniform samplerCube uTex%d;\n", i);
    }
    s += "void main() {\n    vec4 cur = vDiffuse;\n    vec4 tmp = vec4(0.0);\n    vec4 tex;\n";
    for (int i = 0; i < 8; ++i) {
        uint32_t cw = key.w[2 * i], aw = key.w[2 * i + 1], xw = key.w[16 + i];
        uint32_t cop = cw & 0x1F;
        if (cop == top::DISABLE || cop == 0) break;
        uint32_t ca1 = (cw >> 5) & 0x3F, ca2 = (cw >> 11) & 0x3F;
        uint32_t aop = aw & 0x1F, aa1 = (aw >> 5) & 0x3F, aa2 = (aw >> 11) & 0x3F;
        bool toTemp = xw & 1;
        uint32_t sampler = (xw >> 1) & 3;
        if (sampler == 1) Append(s, "    tex = texture(uTex%d, vTex[%d].xy);\n", i, i);
        else if (sampler == 2) Append(s, "    tex = texture(uTex%d, vTex[%d].xyz);\n", i, i);
        else s += "    tex = vec4(1.0);\n";
        s += "    {\n";
        s += "        vec3 c = " + OpExpr(cop, ArgExpr(ca1), ArgExpr(ca2), false) + ";\n";
        if (cop == top::DOTPRODUCT3)  // the dot product goes to every channel, alpha included
            s += "        float a = c.r;\n";
        else if (aop == top::DISABLE || aop == 0)
            s += "        float a = cur.a;\n";
        else
            s += "        float a = " + OpExpr(aop, ArgExpr(aa1), ArgExpr(aa2), true) + ";\n";
        s += toTemp ? "        tmp = clamp(vec4(c, a), 0.0, 1.0);\n" : "        cur = clamp(vec4(c, a), 0.0, 1.0);\n";
        s += "    }\n";
    }
    const uint32_t misc = key.w[25];
    if (misc & 2) s += "    cur.rgb = clamp(cur.rgb + vSpecular.rgb, 0.0, 1.0);\n";
    const uint32_t func = key.w[24];
    if (func != 0 && func != cmp::ALWAYS) {
        static const char* ops[] = {"", "false", "<", "==", "<=", ">", "!=", ">=", "true"};
        if (func == cmp::NEVER) {
            s += "    discard;\n";
        } else {
            Append(s,
                   "    uint ia = uint(round(clamp(cur.a, 0.0, 1.0) * 255.0));\n"
                   "    if (!(ia %s uint(uAlphaRef))) discard;\n",
                   ops[func]);
        }
    }
    if (misc & 1) s += "    cur.rgb = mix(uFogColor, cur.rgb, vFog);\n";
    s += "    oColor = cur;\n}\n";
    return s;
}

}  // namespace gfx
