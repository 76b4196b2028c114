#include "tools/writers/VsAssembler.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "engine/core/FileStream.h"

namespace tools {

namespace {

struct OpInfo {
    const char* name;
    uint32_t code;
    int operands;  // destination included
};
const OpInfo kOps[] = {
    {"nop", 0, 0},  {"mov", 1, 2},   {"add", 2, 3},   {"sub", 3, 3},   {"mad", 4, 4},   {"mul", 5, 3},
    {"rcp", 6, 2},  {"rsq", 7, 2},   {"dp3", 8, 3},   {"dp4", 9, 3},   {"min", 10, 3},  {"max", 11, 3},
    {"slt", 12, 3}, {"sge", 13, 3},  {"exp", 14, 2},  {"log", 15, 2},  {"lit", 16, 2},  {"dst", 17, 3},
    {"frc", 19, 2}, {"m4x4", 20, 3}, {"m4x3", 21, 3}, {"m3x4", 22, 3}, {"m3x3", 23, 3}, {"m3x2", 24, 3},
    {"expp", 78, 2}, {"logp", 79, 2},
};

enum RegType : uint32_t { kTemp = 0, kInput = 1, kConst = 2, kAddress = 3, kRastOut = 4, kAttrOut = 5, kTexOut = 6 };

std::string Lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Trim(const std::string& s) {
    size_t a = 0, b = s.size();
    while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
    while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
    return s.substr(a, b - a);
}

int ComponentIndex(char c) {
    switch (c) {
        case 'x': case 'r': return 0;
        case 'y': case 'g': return 1;
        case 'z': case 'b': return 2;
        case 'w': case 'a': return 3;
        default: return -1;
    }
}

bool ParseIndex(const std::string& s, uint32_t& out) {
    if (s.empty() || s.size() > 4) return false;
    for (char c : s)
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    out = uint32_t(std::atoi(s.c_str()));
    return true;
}

// Register name (without modifier, mask or swizzle) into type, index and relative flag.
bool ParseRegister(const std::string& name, uint32_t& type, uint32_t& index, bool& relative, std::string& error) {
    relative = false;
    index = 0;
    if (name == "opos") { type = kRastOut; index = 0; return true; }
    if (name == "ofog") { type = kRastOut; index = 1; return true; }
    if (name == "opts") { type = kRastOut; index = 2; return true; }
    if (name == "a0") { type = kAddress; return true; }
    if (name.rfind("od", 0) == 0) { type = kAttrOut; return ParseIndex(name.substr(2), index) || (error = "bad colour output", false); }
    if (name.rfind("ot", 0) == 0) { type = kTexOut; return ParseIndex(name.substr(2), index) || (error = "bad texture output", false); }
    if (name.rfind("c[", 0) == 0 && name.back() == ']') {
        // c[a0.x + n] or c[a0.x]
        std::string inner;
        for (char c : name.substr(2, name.size() - 3))
            if (!std::isspace(static_cast<unsigned char>(c))) inner += c;
        if (inner.rfind("a0.x", 0) != 0) { error = "relative addressing must use a0.x"; return false; }
        type = kConst;
        relative = true;
        inner = inner.substr(4);
        if (inner.empty()) return true;
        if (inner[0] != '+' || !ParseIndex(inner.substr(1), index)) { error = "bad relative offset"; return false; }
        return true;
    }
    const char k = name.empty() ? '\0' : name[0];
    type = k == 'r' ? kTemp : k == 'v' ? kInput : k == 'c' ? kConst : 99u;
    if (type == 99u || !ParseIndex(name.substr(1), index)) { error = "unknown register '" + name + "'"; return false; }
    return true;
}

// Splits "reg.suffix" at the last dot outside brackets.
void SplitSuffix(const std::string& operand, std::string& reg, std::string& suffix) {
    size_t close = operand.rfind(']');
    size_t dot = operand.rfind('.');
    if (dot != std::string::npos && (close == std::string::npos || dot > close)) {
        reg = operand.substr(0, dot);
        suffix = operand.substr(dot + 1);
    } else {
        reg = operand;
        suffix.clear();
    }
}

bool Destination(const std::string& text, uint32_t& token, std::string& error) {
    std::string reg, suffix;
    SplitSuffix(text, reg, suffix);
    uint32_t type, index;
    bool relative;
    if (!ParseRegister(reg, type, index, relative, error)) return false;
    if (relative || type == kInput || type == kConst) { error = "'" + text + "' cannot be written"; return false; }
    uint32_t mask = 0xF;
    if (!suffix.empty()) {
        mask = 0;
        int last = -1;
        for (char c : suffix) {
            const int i = ComponentIndex(c);
            if (i <= last) { error = "bad write mask '." + suffix + "'"; return false; }
            mask |= 1u << i;
            last = i;
        }
    }
    token = 0x80000000u | type << 28 | mask << 16 | index;
    return true;
}

bool Source(std::string text, uint32_t& token, std::string& error) {
    bool negate = false;
    if (!text.empty() && text[0] == '-') {
        negate = true;
        text = Trim(text.substr(1));
    }
    std::string reg, suffix;
    SplitSuffix(text, reg, suffix);
    uint32_t type, index;
    bool relative;
    if (!ParseRegister(reg, type, index, relative, error)) return false;
    if (type >= kRastOut) { error = "'" + text + "' cannot be read"; return false; }
    uint32_t swizzle = 0xE4;
    if (!suffix.empty()) {
        if (suffix.size() > 4) { error = "bad swizzle '." + suffix + "'"; return false; }
        swizzle = 0;
        int c = 0;
        for (int k = 0; k < 4; ++k) {
            if (k < int(suffix.size())) c = ComponentIndex(suffix[size_t(k)]);
            if (c < 0) { error = "bad swizzle '." + suffix + "'"; return false; }
            swizzle |= uint32_t(c) << (2 * k);
        }
    }
    token = 0x80000000u | type << 28 | swizzle << 16 | (negate ? 1u << 24 : 0u) | (relative ? 0x2000u : 0u) | index;
    return true;
}

std::vector<std::string> SplitOperands(const std::string& s) {
    std::vector<std::string> out;
    std::string cur;
    int depth = 0;
    for (char c : s) {
        if (c == '[') ++depth;
        if (c == ']') --depth;
        if (c == ',' && depth == 0) {
            out.push_back(Trim(cur));
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!Trim(cur).empty() || !out.empty()) out.push_back(Trim(cur));
    return out;
}

} // namespace

std::vector<uint32_t> AssembleVs11(const std::string& text, std::string* errorOut) {
    std::vector<uint32_t> tokens;
    std::istringstream in(text);
    std::string line;
    int lineNo = 0;
    auto fail = [&](const std::string& why) {
        if (errorOut) *errorOut = "line " + std::to_string(lineNo) + ": " + why;
        return std::vector<uint32_t>{};
    };
    while (std::getline(in, line)) {
        ++lineNo;
        for (const char* c : {";", "//"}) {
            const size_t at = line.find(c);
            if (at != std::string::npos) line.erase(at);
        }
        line = Lower(Trim(line));
        if (line.empty()) continue;
        if (tokens.empty()) {
            if (line == "vs.1.1") tokens.push_back(0xFFFE0101u);
            else if (line == "vs.1.0") tokens.push_back(0xFFFE0100u);
            else return fail("the program must start with vs.1.1 or vs.1.0");
            continue;
        }
        size_t space = line.find_first_of(" \t");
        const std::string op = line.substr(0, space);
        const std::vector<std::string> operands = SplitOperands(space == std::string::npos ? "" : line.substr(space + 1));
        std::string error;
        if (op == "def") {
            uint32_t type = 0, index = 0;
            bool relative = false;
            if (operands.size() != 5 || !ParseRegister(operands[0], type, index, relative, error) || type != kConst || relative)
                return fail("def takes a constant register and four numbers");
            tokens.push_back(81);
            tokens.push_back(0x80000000u | kConst << 28 | 0xFu << 16 | index);
            for (int k = 1; k <= 4; ++k) {
                char* end = nullptr;
                const float f = std::strtof(operands[size_t(k)].c_str(), &end);
                if (end == operands[size_t(k)].c_str() || *end) return fail("bad number '" + operands[size_t(k)] + "'");
                uint32_t bits;
                memcpy(&bits, &f, 4);
                tokens.push_back(bits);
            }
            continue;
        }
        const OpInfo* info = nullptr;
        for (const OpInfo& o : kOps)
            if (op == o.name) info = &o;
        if (!info) return fail("unknown instruction '" + op + "'");
        if (int(operands.size()) != info->operands)
            return fail(op + " takes " + std::to_string(info->operands) + " operands");
        tokens.push_back(info->code);
        for (size_t k = 0; k < operands.size(); ++k) {
            uint32_t t = 0;
            if (!(k == 0 ? Destination(operands[k], t, error) : Source(operands[k], t, error))) return fail(error);
            tokens.push_back(t);
        }
    }
    if (tokens.empty()) return fail("empty program");
    tokens.push_back(0x0000FFFFu);
    return tokens;
}

bool WriteVso(const SharedString& path, const std::vector<uint32_t>& tokens) {
    FileWriter out(path);
    if (!out.IsOpen()) return false;
    for (uint32_t t : tokens) out.WriteU32(t);
    return true;
}

const char* WorldVertexShaderSource(int which) {
    // Constants: c0-c3 the transposed projection; c4-c6 the transposed view (c7 is reused for
    // light 0, so the view's fourth column is taken as (0, 0, 0, 1)); c7-c9 the directions
    // towards the three scene lights; c10-c12 their diffuse colours times their intensity;
    // c13 fade start squared; c14 fade scale; c15, c16 minimum x and z of the city; c17, c18
    // one over its width and depth; c19 ambient times the bucket's diffuse plus its emissive;
    // c20 the bucket's constant; c21 (1/1500, 0, -1/1500, 0.5); c22 (1, 0, 0, 0).
    static const char* const kFirstPass =
        "vs.1.1\n"
        "; camera-space position, then the projection\n"
        "m4x3 r0.xyz, v0, c4\n"
        "mov r0.w, c22.x\n"
        "m4x4 oPos, r0, c0\n"
        "mov oD0, c22.x\n"
        "mov oT0.xy, v7\n"
        "; fade out between three quarters of the far plane and the far plane\n"
        "dp3 r4.x, r0, r0\n"
        "add r4.x, r4.x, -c13.x\n"
        "mul r4.x, r4.x, c14.x\n"
        "min r4.x, r4.x, c22.x\n"
        "max r4.x, r4.x, c22.y\n"
        "add oFog.x, c22.x, -r4.x\n";
    static const char* const kLitPass =
        "vs.1.1\n"
        "; camera-space position, then the projection\n"
        "m4x3 r0.xyz, v0, c4\n"
        "mov r0.w, c22.x\n"
        "m4x4 oPos, r0, c0\n"
        "; three directional lights over the bucket's ambient and emissive colour\n"
        "dp3 r1.x, v3, c7\n"
        "dp3 r1.y, v3, c8\n"
        "dp3 r1.z, v3, c9\n"
        "max r1.xyz, r1, c22.y\n"
        "mov r2, c19\n"
        "mad r2.xyz, r1.x, c10, r2\n"
        "mad r2.xyz, r1.y, c11, r2\n"
        "mad r2.xyz, r1.z, c12, r2\n"
        "mov oD0, r2\n"
        "mov oD1, c20\n"
        "; the vertex's own coordinates, the city-wide map and a detail tiling every 1500 units\n"
        "mov oT0.xy, v7\n"
        "add r3.x, v0.x, -c15.x\n"
        "add r3.y, v0.z, -c16.x\n"
        "mul oT1.x, r3.x, c17.x\n"
        "mul oT1.y, r3.y, c18.x\n"
        "mad oT2.x, v0.x, c21.x, c21.w\n"
        "mad oT2.y, v0.z, c21.z, c21.w\n"
        "; fade out between three quarters of the far plane and the far plane\n"
        "dp3 r4.x, r0, r0\n"
        "add r4.x, r4.x, -c13.x\n"
        "mul r4.x, r4.x, c14.x\n"
        "min r4.x, r4.x, c22.x\n"
        "max r4.x, r4.x, c22.y\n"
        "add oFog.x, c22.x, -r4.x\n";
    return which == 1 ? kFirstPass : kLitPass;
}

bool WriteWorldVertexShaders(const std::string& folder) {
    for (int which : {1, 2}) {
        std::vector<uint32_t> tokens = AssembleVs11(WorldVertexShaderSource(which));
        const std::string path = folder + (which == 1 ? "zkWorld1.vso" : "zkWorld2.vso");
        if (tokens.empty() || !WriteVso(SharedString(path.c_str()), tokens)) return false;
    }
    return true;
}

} // namespace tools
