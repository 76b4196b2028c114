#include "tools/writers/MeshWriter.h"

#include <cstring>

#include "tools/writers/ZktWriter.h"

namespace tools {
namespace {

class Bytes {
public:
    void U8(uint8_t v) { out.push_back(v); }
    void U32(uint32_t v) {
        for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
    }
    void F32(float f) {
        uint32_t v;
        memcpy(&v, &f, 4);
        U32(v);
    }
    void Vec(const Vector3& v) {
        F32(v.x);
        F32(v.y);
        F32(v.z);
    }
    void Quat(const Quaternion& q) {
        F32(q.x);
        F32(q.y);
        F32(q.z);
        F32(q.w);
    }
    void Matrix(const Matrix4& m) {
        for (const auto& row : m.m)
            for (float f : row) F32(f);
    }
    void String(const std::string& s) {
        U32(uint32_t(s.size()));
        out.insert(out.end(), s.begin(), s.end());
    }
    void Header(uint32_t version) {
        for (char c : {'Z', 'K', '2'}) U8(uint8_t(c));
        U32(version);
    }
    std::vector<uint8_t> out;
};

void PutPart(Bytes& b, const ZkmPart& p, bool direct) {
    b.U32(p.material);
    b.U32(p.shader);
    b.U32(p.slot);
    if (direct) b.U8(uint8_t(p.parameter));
    else b.U32(uint32_t(p.parameter));
    b.U32(uint32_t(p.ranges.size()));
    for (const ZkmRange& r : p.ranges) {
        b.U32(r.startIndex);
        b.U32(r.indexCount);
        b.U32(r.firstVertex);
        b.U32(r.vertexCount);
    }
}

void PutBone(Bytes& b, const ZkmBone& bone) {
    b.String(bone.name);
    b.U32(uint32_t(bone.vertices.size()));
    for (uint32_t v : bone.vertices) b.U32(v);
    b.U32(uint32_t(bone.children.size()));
    for (const ZkmBone& child : bone.children) PutBone(b, child);
}

}  // namespace

ZkmShader::ZkmShader() {
    for (int s = 0; s < 8; ++s) stages[s].texCoord = int8_t(s);
    stages[0].colorOp = stages[0].alphaOp = 1;
    stages[0].colorArg2 = stages[0].alphaArg2 = 1;
}

std::vector<uint8_t> ZkmBytes(const ZkmModel& m) {
    Bytes b;
    b.Header(m.version);
    b.U32(uint32_t(m.textures.size()));
    for (const std::string& t : m.textures) b.String(t);
    b.U32(uint32_t(m.materials.size()));
    for (const ZkmMaterial& mat : m.materials) {
        for (uint8_t c : mat.ambient) b.U8(c);
        b.F32(mat.power);
        for (uint8_t c : mat.emissive) b.U8(c);
        for (uint32_t t : mat.textures) b.U32(t);
        b.U32(mat.diffuseAlpha);
        b.U32(mat.specular);
    }
    b.U32(uint32_t(m.shaders.size()));
    for (const ZkmShader& s : m.shaders) {
        const uint8_t head[14] = {s.lighting, s.specular, s.zWrite, uint8_t(s.zFunc), s.zParam,
                                  uint8_t(s.stencilFail), uint8_t(s.stencilZFail), uint8_t(s.stencilPass),
                                  uint8_t(s.stencilFunc), uint8_t(s.alphaFunc), s.blend, uint8_t(s.srcBlend),
                                  uint8_t(s.dstBlend), s.stageMask};
        for (uint8_t v : head) b.U8(v);
        for (const ZkmStage& t : s.stages) {
            const uint8_t stage[8] = {uint8_t(t.colorOp), uint8_t(t.colorArg1), uint8_t(t.colorArg2), uint8_t(t.alphaOp),
                                      uint8_t(t.alphaArg1), uint8_t(t.alphaArg2), uint8_t(t.texCoord), t.useTextureMatrix};
            for (uint8_t v : stage) b.U8(v);
        }
    }
    b.U32(uint32_t(m.slots.size()));
    for (const std::string& s : m.slots) b.String(s);
    b.U32(uint32_t(m.vertices.size()));
    for (const ZkmVertex& v : m.vertices) {
        b.Vec(v.position);
        b.Vec(v.normal);
        b.U32(v.skipped[0]);
        b.U32(v.skipped[1]);
        b.F32(v.u);
        b.F32(v.v);
    }
    b.U32(uint32_t(m.indices.size()));
    for (uint32_t i : m.indices) b.U32(i);
    b.U32(uint32_t(m.nodes.size()));
    for (const ZkmNode& n : m.nodes) {
        b.String(n.name);
        b.Vec(n.position);
        b.Quat(n.rotation);
        b.U32(n.flags);
        for (float f : n.values) b.F32(f);
        b.Matrix(n.matrix);
        for (float f : n.extra) b.F32(f);
        b.U32(uint32_t(n.collisionPositions.size()));
        for (const Vector3& p : n.collisionPositions) b.Vec(p);
        b.U32(uint32_t(n.collisionIndices.size()));
        for (uint32_t i : n.collisionIndices) b.U32(i);
        if (n.flags & ZkmNode::kDirect) {
            b.U32(uint32_t(n.parts.size()));
            for (const ZkmPart& p : n.parts) PutPart(b, p, true);
        } else {
            b.U32(uint32_t(n.groups.size()));
            for (const ZkmGroup& g : n.groups) {
                b.String(g.name);
                b.Vec(g.position);
                b.Quat(g.rotation);
                b.U32(uint32_t(g.parts.size()));
                for (const ZkmPart& p : g.parts) PutPart(b, p, false);
            }
        }
        if (n.flags & ZkmNode::kBones) {
            b.U32(uint32_t(n.bones.size()));
            for (const ZkmBone& bone : n.bones) PutBone(b, bone);
        }
    }
    if (m.markerSection || !m.markers.empty()) {
        b.U32(uint32_t(m.markers.size()));
        for (const ZkmMarker& mk : m.markers) {
            b.String(mk.name);
            b.Vec(mk.first);
            b.Vec(mk.second);
        }
    }
    return std::move(b.out);
}

bool WriteZkm(const SharedString& path, const ZkmModel& model) { return WriteFileBytes(path, ZkmBytes(model)); }

std::vector<uint8_t> ZkaBytes(const ZkaAnimation& a) {
    Bytes b;
    b.Header(a.version);
    b.U32(uint32_t(a.bones.size()));
    for (const std::string& s : a.bones) b.String(s);
    b.U32(uint32_t(a.keys.size()));
    for (const ZkaKey& k : a.keys) {
        b.F32(k.duration);
        for (const Matrix4& m : k.matrices) b.Matrix(m);
    }
    return std::move(b.out);
}

bool WriteZka(const SharedString& path, const ZkaAnimation& animation) {
    return WriteFileBytes(path, ZkaBytes(animation));
}

}  // namespace tools
