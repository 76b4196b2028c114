#include "engine/render/BoneAnimation.h"

#include <cstring>

#include "engine/core/Debugger.h"
#include "engine/core/FileStream.h"

BoneAnimation::BoneAnimation(const SharedString& path) {
    Debugger& log = Debugger::Instance();
    log.Log(3, "BONEANIMATION: Loading %s", path.c_str());
    FileReader in(path);
    uint32_t version = 0;
    switch (in.CheckZK2Header(version)) {
    case 1: log.Message("Failed loading animation %s", path.c_str()); return;
    case 2: log.Message("%s is NOT a ZKA file", path.c_str()); return;
    default: break;
    }
    if (version != kVersion) {
        log.Message("%s is of an unsupported version", path.c_str());
        return;
    }
    auto damaged = [&](const char* what) {
        log.Message("%s is damaged (%s)", path.c_str(), what);
        boneNames_.clear();
        durations_.clear();
        matrices_.clear();
        length_ = 0.0f;
    };
    const uint32_t bones = in.Remaining() >= 4 ? in.ReadU32() : 0;
    if (uint64_t(bones) * 4 > uint64_t(in.Remaining())) {
        damaged("the bone names are cut short");
        return;
    }
    boneNames_.resize(bones);
    for (SharedString& name : boneNames_) {
        name = in.ReadString();
        if (in.Failed()) {
            damaged("a bone name is longer than the file");
            return;
        }
    }
    if (in.Remaining() < 4) {
        damaged("the key count is cut off");
        return;
    }
    const uint32_t keys = in.ReadU32();
    const uint64_t keyBytes = 4 + uint64_t(bones) * sizeof(Matrix4);
    if (uint64_t(keys) * keyBytes > uint64_t(in.Remaining())) {
        damaged("the keys are cut short");
        return;
    }
    durations_.resize(keys);
    matrices_.resize(size_t(keys) * bones);
    for (uint32_t k = 0; k < keys; ++k) {
        durations_[k] = in.ReadFloat();
        if (bones) in.Read(&matrices_[size_t(k) * bones], int32_t(bones * sizeof(Matrix4)));
        length_ += durations_[k];
    }
    log.Log(3, "BONEANIMATION: %s loaded", path.c_str());
}

int32_t BoneAnimation::FindBone(const SharedString& name) const {
    for (size_t i = 0; i < boneNames_.size(); ++i)
        if (boneNames_[i] == name) return int32_t(i);
    return -1;
}

void BoneAnimation::GetMatrix(int32_t bone, int32_t key, int32_t, Matrix4* out) const {
    if (!out) return;
    if (bone < 0 || key < 0 || bone >= BoneCount() || key >= KeyCount()) {
        out->SetIdentity();
        return;
    }
    *out = matrices_[size_t(key) * boneNames_.size() + size_t(bone)];
}
