#pragma once
// One baked skeletal animation (.ZKA): a list of bone names and a run of keys, each key a
// duration and one whole transform per bone. No interpolation: a key holds for its duration.
// A file that cannot be read leaves an empty animation (no bones, no keys, length 0).
#include <cstdint>
#include <vector>

#include "engine/core/Math.h"
#include "engine/core/SharedString.h"

class BoneAnimation {
public:
    static constexpr uint32_t kVersion = 0x100000;

    // Reads the file (logged as it loads; a bad file is reported and leaves the object empty).
    explicit BoneAnimation(const SharedString& path);

    // Sum of the key durations.
    float GetLength() const { return length_; }
    // The first bone named exactly `name`, or -1.
    int32_t FindBone(const SharedString& name) const;
    // The matrix of a bone at a key; identity outside the bone or key counts.
    void GetMatrix(int32_t bone, int32_t key, int32_t unused, Matrix4* out) const;

    int32_t BoneCount() const { return int32_t(boneNames_.size()); }
    int32_t KeyCount() const { return int32_t(durations_.size()); }
    float KeyDuration(int32_t key) const { return durations_[size_t(key)]; }
    const SharedString& BoneName(int32_t bone) const { return boneNames_[size_t(bone)]; }

private:
    std::vector<SharedString> boneNames_;
    float length_ = 0.0f;
    std::vector<float> durations_;
    std::vector<Matrix4> matrices_;  // key-major: key k, bone b at k * bones + b
};
