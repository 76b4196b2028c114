#pragma once
// The one checked reader of the world file: every read is bounded by the bytes left, a count
// must fit its least record size in them, and the first fault is logged with its section and
// record; every read after it delivers zeros.
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/core/Math.h"
#include "engine/core/SharedString.h"

namespace world_detail {

class WorldFileReader {
public:
    static constexpr uint32_t MaxString = 4096;

    explicit WorldFileReader(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}

    // Names what is read next in the fault line.
    void Section(const char* name) {
        section_ = name;
        record_ = -1;
    }
    void Record(int64_t index) { record_ = index; }
    bool Failed() const { return failed_; }
    size_t Size() const { return bytes_.size(); }
    size_t Position() const { return pos_; }
    size_t Remaining() const { return bytes_.size() - pos_; }

    // Logs "WORLD: <section> record <n>: <what>" for the first fault; the reader stays failed.
    void Fail(const char* what);
    // A line about a record that is skipped; the reader goes on.
    void Warn(const char* what);

    void Bytes(void* out, size_t n) {
        if (n == 0) return;
        if (!Take(n)) {
            std::memset(out, 0, n);
            return;
        }
        std::memcpy(out, bytes_.data() + pos_ - n, n);
    }
    void Skip(size_t n) { Take(n); }
    uint8_t U8() {
        uint8_t v = 0;
        Bytes(&v, 1);
        return v;
    }
    uint32_t U32() {
        uint32_t v = 0;
        Bytes(&v, 4);
        return v;
    }
    int32_t I32() { return int32_t(U32()); }
    float F32() {
        float v = 0.0f;
        Bytes(&v, 4);
        return v;
    }
    Vector3 Vec3() {
        float v[3];
        Bytes(v, 12);
        return {v[0], v[1], v[2]};
    }
    Quaternion Quat() {
        float v[4];
        Bytes(v, 16);
        return {v[0], v[1], v[2], v[3]};
    }
    // A u32 length and that many bytes (at most MaxString and what is left).
    SharedString String();
    // A record count whose records take at least minBytes each; 0 (failed) when they cannot
    // all fit in the bytes left.
    uint32_t Count(size_t minBytes);

private:
    bool Take(size_t n) {
        if (failed_) return false;
        if (n > Remaining()) {
            Fail("read past the end of the file");
            return false;
        }
        pos_ += n;
        return true;
    }

    std::vector<uint8_t> bytes_;
    size_t pos_ = 0;
    const char* section_ = "header";
    int64_t record_ = -1;
    bool failed_ = false;
};

} // namespace world_detail
