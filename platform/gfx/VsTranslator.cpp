// vs 1.1 token streams: validated, then translated instruction by instruction to GLSL 330.
#include "platform/gfx/VsTranslator.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/gfx/ShaderGen.h"

namespace gfx {

namespace {

enum Op : uint32_t { NOP = 0, MOV, ADD, SUB, MAD, MUL, RCP, RSQ, DP3, DP4, MIN, MAX, SLT, SGE, EXP, LOG, LIT, DST,
                     FRC = 19, M4x4, M4x3, M3x4, M3x3, M3x2, EXPP = 78, LOGP = 79, DEF = 81 };

// Operand count (destination included) per opcode; -1 = unknown.
int OperandCount(uint32_t op) {
    switch (op) {
        case NOP: return 0;
        case MOV: case RCP: case RSQ: case EXP: case LOG: case LIT: case FRC: case EXPP: case LOGP: return 2;
        case ADD: case SUB: case MUL: case DP3: case DP4: case MIN: case MAX: case SLT: case SGE: case DST:
        case M4x4: case M4x3: case M3x4: case M3x3: case M3x2: return 3;
        case MAD: return 4;
        default: return -1;
    }
}

const char* kOpNames[] = {"nop", "mov", "add", "sub", "mad", "mul", "rcp", "rsq", "dp3", "dp4", "min", "max",
                          "slt", "sge", "exp", "log", "lit", "dst", "?", "frc", "m4x4", "m4x3", "m3x4", "m3x3", "m3x2"};

struct Param {
    uint32_t type, index, mask, swizzle, modifier;
    bool relative;
};

Param Decode(uint32_t p) {
    return {(p >> 28) & 7, p & 0x7FF, (p >> 16) & 0xF, (p >> 16) & 0xFF, (p >> 24) & 0xF, (p & 0x2000) != 0};
}

std::string Fmt(const char* f, ...) __attribute__((format(printf, 1, 2)));
std::string Fmt(const char* f, ...) {
    char b[512];
    va_list a;
    va_start(a, f);
    vsnprintf(b, sizeof b, f, a);
    va_end(a);
    return b;
}

// Register checks; error text empty when fine.
std::string CheckSource(const Param& s) {
    switch (s.type) {
        case 0: return s.index < 12 ? "" : "temporary register out of range";
        case 1: return s.index < 16 ? "" : "input register out of range";
        case 2: return s.relative || s.index < 96 ? "" : "constant register out of range";
        case 3: return s.index == 0 ? "" : "address register other than a0";
        default: return "source register of an output type";
    }
}
std::string CheckDest(const Param& d) {
    switch (d.type) {
        case 0: return d.index < 12 ? "" : "temporary register out of range";
        case 3: return d.index == 0 ? "" : "address register other than a0";
        case 4: return d.index < 3 ? "" : "rasteriser output out of range";
        case 5: return d.index < 2 ? "" : "colour output out of range";
        case 6: return d.index < 8 ? "" : "texture output out of range";
        default: return "destination register of an input type";
    }
}

std::string RegName(const Param& p, int offset) {
    const int i = int(p.index) + offset;
    switch (p.type) {
        case 0: return Fmt("r[%d]", i);
        case 1: return Fmt("v%d", i);
        case 2: return p.relative ? Fmt("readC(a0 + %d)", i) : Fmt("readC(%d)", i);
        case 3: return "vec4(float(a0))";
        case 4: return i == 0 ? "oPos" : i == 1 ? "oFog" : "oPts";
        case 5: return Fmt("oD%d", i);
        default: return Fmt("oT[%d]", i);
    }
}

std::string Source(const Param& p, int offset = 0) {
    std::string s = RegName(p, offset);
    if (p.swizzle != 0xE4) {
        static const char c[] = "xyzw";
        s = "(" + s + ")." + std::string{c[p.swizzle & 3], c[(p.swizzle >> 2) & 3], c[(p.swizzle >> 4) & 3], c[(p.swizzle >> 6) & 3]};
    }
    if (p.modifier == 1) s = "(-" + s + ")";
    return s;
}

std::string MaskText(uint32_t mask) {
    std::string m;
    if (mask & 1) m += 'x';
    if (mask & 2) m += 'y';
    if (mask & 4) m += 'z';
    if (mask & 8) m += 'w';
    return m;
}

}  // namespace

VsTranslation TranslateVs11(const uint32_t* tokens, size_t count) {
    VsTranslation out;
    if (!tokens || count < 2) { out.error = "stream too short"; return out; }
    if (tokens[0] != 0xFFFE0101u && tokens[0] != 0xFFFE0100u) { out.error = "unknown version token"; return out; }
    std::string body;
    bool ended = false;
    size_t i = 1;
    while (i < count) {
        const uint32_t tok = tokens[i++];
        if (tok == 0x0000FFFFu) {
            ended = true;
            break;
        }
        if ((tok & 0xFFFF) == 0xFFFE) {
            const size_t n = tok >> 16;
            if (n > count - i) { out.error = "comment runs past the end"; return out; }
            i += n;
            continue;
        }
        const uint32_t op = tok & 0xFFFF;
        if (op == DEF) {
            if (count - i < 5) { out.error = "truncated def"; return out; }
            Param d = Decode(tokens[i]);
            if (d.type != 2 || d.index >= 96) { out.error = "def of a register other than a constant"; return out; }
            float f[4];
            memcpy(f, &tokens[i + 1], 16);
            body += Fmt("    c[%u] = vec4(%.9g, %.9g, %.9g, %.9g);\n", d.index, double(f[0]), double(f[1]), double(f[2]), double(f[3]));
            i += 5;
            continue;
        }
        const int n = OperandCount(op);
        if (n < 0) { out.error = Fmt("unknown opcode %u", op); return out; }
        if (size_t(n) > count - i) { out.error = "instruction runs past the end"; return out; }
        Param p[4] = {};
        for (int k = 0; k < n; ++k) {
            if (!(tokens[i + size_t(k)] & 0x80000000u)) { out.error = "operand token without its marker bit"; return out; }
            p[k] = Decode(tokens[i + size_t(k)]);
        }
        i += size_t(n);
        if (n == 0) continue;
        std::string err = CheckDest(p[0]);
        for (int k = 1; k < n && err.empty(); ++k) err = CheckSource(p[k]);
        if (!err.empty()) { out.error = err; return out; }
        if (p[0].type == 4 && p[0].index == 1) out.writesFog = true;
        const std::string a = Source(p[1]);
        const std::string b = n > 2 ? Source(p[2]) : "";
        const std::string c = n > 3 ? Source(p[3]) : "";
        std::string e;
        switch (op) {
            case MOV: e = a; break;
            case ADD: e = a + " + " + b; break;
            case SUB: e = a + " - " + b; break;
            case MAD: e = a + " * " + b + " + " + c; break;
            case MUL: e = a + " * " + b; break;
            case RCP: e = "vec4(Rcp((" + a + ").x))"; break;
            case RSQ: e = "vec4(Rsq((" + a + ").x))"; break;
            case DP3: e = "vec4(dot((" + a + ").xyz, (" + b + ").xyz))"; break;
            case DP4: e = "vec4(dot(" + a + ", " + b + "))"; break;
            case MIN: e = "min(" + a + ", " + b + ")"; break;
            case MAX: e = "max(" + a + ", " + b + ")"; break;
            case SLT: e = "vec4(lessThan(" + a + ", " + b + "))"; break;
            case SGE: e = "vec4(greaterThanEqual(" + a + ", " + b + "))"; break;
            case EXP: e = "vec4(exp2((" + a + ").x))"; break;
            case LOG: e = "vec4(Log2Abs((" + a + ").x))"; break;
            case LIT: e = "Lit(" + a + ")"; break;
            case DST: e = "vec4(1.0, (" + a + ").y * (" + b + ").y, (" + a + ").z, (" + b + ").w)"; break;
            case FRC: e = "(" + a + " - floor(" + a + "))"; break;
            case EXPP: e = "ExpP((" + a + ").x)"; break;
            case LOGP: e = "LogP((" + a + ").x)"; break;
            case M4x4: case M4x3: case M3x4: case M3x3: case M3x2: {
                const int rows = (op == M4x4 || op == M3x4) ? 4 : (op == M3x2) ? 2 : 3;
                const bool three = op == M3x4 || op == M3x3 || op == M3x2;
                std::string parts;
                for (int r = 0; r < 4; ++r) {
                    if (r) parts += ", ";
                    if (r >= rows) { parts += "0.0"; continue; }
                    parts += three ? "dot((" + a + ").xyz, (" + Source(p[2], r) + ").xyz)" : "dot(" + a + ", " + Source(p[2], r) + ")";
                }
                e = "vec4(" + parts + ")";
                break;
            }
            default: break;
        }
        if (p[0].type == 3) {
            body += "    a0 = int(floor((" + e + ").x));\n";
            continue;
        }
        const std::string m = MaskText(p[0].mask);
        if (m.empty()) continue;
        const std::string dst = RegName(p[0], 0);
        if (p[0].type == 4 && p[0].index == 1) body += "    oFog = (" + e + ").x;\n";
        else body += "    { vec4 t = " + e + "; " + dst + "." + m + " = t." + m + "; }\n";
    }
    if (!ended) { out.error = "no end token"; return out; }
    if (i != count) { out.error = "tokens after the end token"; return out; }

    std::string s = "#version 330 core\n";
    s += Fmt("layout(location = %d) in vec4 v0;\n", kAttrPosition);
    s += Fmt("layout(location = %d) in vec4 v3;\n", kAttrNormal);
    s += Fmt("layout(location = %d) in vec4 v5;\n", kAttrDiffuse);
    s += Fmt("layout(location = %d) in vec4 v6;\n", kAttrSpecular);
    for (int t = 0; t < 8; ++t) s += Fmt("layout(location = %d) in vec4 v%d;\n", kAttrTex0 + t, 7 + t);
    s += VertexOutputDeclarations();
    s += PositionFixupFunction();
    s += "uniform vec4 c[96];\n"
         "vec4 C[96];\n"
         "vec4 readC(int i) { return (i >= 0 && i < 96) ? C[i] : vec4(0.0); }\n"
         "float Inf() { return uintBitsToFloat(0x7F800000u); }\n"
         "float Rcp(float x) { return x == 0.0 ? Inf() : 1.0 / x; }\n"
         "float Rsq(float x) { x = abs(x); return x == 0.0 ? Inf() : inversesqrt(x); }\n"
         "float Log2Abs(float x) { x = abs(x); return x == 0.0 ? -Inf() : log2(x); }\n"
         "vec4 Lit(vec4 s) {\n"
         "    float p = clamp(s.w, -127.9961, 127.9961);\n"
         "    return vec4(1.0, max(s.x, 0.0), (s.x > 0.0 && s.y > 0.0) ? pow(s.y, p) : 0.0, 1.0);\n"
         "}\n"
         "vec4 ExpP(float x) { float f = floor(x); return vec4(exp2(f), x - f, exp2(x), 1.0); }\n"
         "vec4 LogP(float x) {\n"
         "    x = abs(x);\n"
         "    if (x == 0.0) return vec4(-Inf(), 1.0, -Inf(), 1.0);\n"
         "    float e = floor(log2(x));\n"
         "    return vec4(e, x / exp2(e), log2(x), 1.0);\n"
         "}\n"
         "void main() {\n"
         "    for (int k = 0; k < 96; ++k) C[k] = c[k];\n"
         "    vec4 r[12];\n"
         "    for (int k = 0; k < 12; ++k) r[k] = vec4(0.0);\n"
         "    vec4 v1 = vec4(0.0, 0.0, 0.0, 1.0), v2 = v1, v4 = v1, v15 = v1;\n"
         "    int a0 = 0;\n"
         "    vec4 oPos = vec4(0.0, 0.0, 0.0, 1.0), oPts = vec4(0.0), oD0 = vec4(0.0), oD1 = vec4(0.0);\n"
         "    float oFog = 1.0;\n"
         "    vec4 oT[8];\n"
         "    for (int k = 0; k < 8; ++k) oT[k] = vec4(0.0, 0.0, 0.0, 1.0);\n";
    // def writes go to the working copy of the constants.
    for (size_t at = 0; (at = body.find("    c[", at)) != std::string::npos; ++at) body.replace(at, 6, "    C[");
    s += body;
    s += "    gl_Position = FixPosition(oPos);\n"
         "    vDiffuse = clamp(oD0, 0.0, 1.0);\n"
         "    vSpecular = clamp(oD1, 0.0, 1.0);\n"
         "    for (int k = 0; k < 8; ++k) vTex[k] = oT[k];\n"
         "    vFog = clamp(oFog, 0.0, 1.0);\n"
         "}\n";
    out.glsl = std::move(s);
    out.ok = true;
    return out;
}

std::string DisassembleVs11(const uint32_t* tokens, size_t count) {
    VsTranslation check = TranslateVs11(tokens, count);
    if (!check.ok) return {};
    std::string out = Fmt("vs.%u.%u\n", (tokens[0] >> 8) & 0xFF, tokens[0] & 0xFF);
    size_t i = 1;
    while (i < count) {
        const uint32_t tok = tokens[i++];
        if (tok == 0x0000FFFFu) break;
        if ((tok & 0xFFFF) == 0xFFFE) { i += tok >> 16; continue; }
        const uint32_t op = tok & 0xFFFF;
        if (op == DEF) { out += Fmt("def c%u, ...\n", tokens[i] & 0x7FF); i += 5; continue; }
        const int n = OperandCount(op);
        out += op < 25 ? kOpNames[op] : (op == EXPP ? "expp" : "logp");
        for (int k = 0; k < n; ++k) {
            Param p = Decode(tokens[i + size_t(k)]);
            out += k ? ", " : " ";
            out += RegName(p, 0);
            if (k == 0 && p.mask != 0xF) {
                out += '.';
                out += MaskText(p.mask);
            }
        }
        out += "\n";
        i += size_t(n);
    }
    return out;
}

}  // namespace gfx
