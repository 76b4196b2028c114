#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

// The one reader of bytes that arrive from a peer. Little-endian, unaligned reads; a read past
// the end fails, returns 0 (or an empty view) and leaves the reader failed for good, so a
// receiver reads the whole message and acts only when ok() still holds at the end.
class PayloadReader {
public:
    PayloadReader(const uint8_t* data, size_t size) : data_(data), size_(data ? size : 0) {}

    uint8_t u8() {
        uint8_t v = 0;
        bytes(&v, 1);
        return v;
    }
    uint16_t u16() {
        uint8_t b[2] = {};
        bytes(b, 2);
        return uint16_t(b[0] | (b[1] << 8));
    }
    uint32_t u32() {
        uint8_t b[4] = {};
        bytes(b, 4);
        return uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
    }
    int32_t i32() { return int32_t(u32()); }
    float f32() {
        uint32_t bits = u32();
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }
    // Like f32, and fails on NaN and infinities.
    float f32Finite();

    bool bytes(void* out, size_t n) {
        if (!Take(n)) {
            if (out && n) std::memset(out, 0, n);
            return false;
        }
        if (n) std::memcpy(out, data_ + pos_ - n, n);
        return true;
    }
    bool skip(size_t n) { return Take(n); }
    // A view of the next n bytes (valid while the message is), empty on failure.
    std::string_view str(size_t n) {
        if (!Take(n)) return {};
        return {reinterpret_cast<const char*>(data_ + pos_ - n), n};
    }
    const uint8_t* cursor() const { return data_ + pos_; }

    size_t remaining() const { return ok_ ? size_ - pos_ : 0; }
    size_t position() const { return pos_; }
    bool ok() const { return ok_; }
    void fail() { ok_ = false; }
    // Size checks made before reading; a mismatch also fails the reader.
    bool ExpectExactly(size_t n) {
        if (size_ != n) ok_ = false;
        return ok_;
    }
    bool ExpectAtLeast(size_t n) {
        if (size_ < n) ok_ = false;
        return ok_;
    }

private:
    bool Take(size_t n) {
        if (!ok_ || n > size_ - pos_) {
            ok_ = false;
            return false;
        }
        pos_ += n;
        return true;
    }

    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
    bool ok_ = true;
};

// Whether an index from the wire addresses an element of the container.
template <class T>
bool InRange(int64_t i, const T& container) {
    return i >= 0 && uint64_t(i) < uint64_t(container.size());
}

// Builds messages into a reused byte vector (little-endian).
class PayloadWriter {
public:
    explicit PayloadWriter(std::vector<uint8_t>& out) : out_(out) {}
    void u8(uint8_t v) { bytes(&v, 1); }
    void u16(uint16_t v) {
        const uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
        bytes(b, 2);
    }
    void u32(uint32_t v) {
        const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
        bytes(b, 4);
    }
    void i32(int32_t v) { u32(uint32_t(v)); }
    void f32(float f) {
        uint32_t bits;
        std::memcpy(&bits, &f, sizeof bits);
        u32(bits);
    }
    void bytes(const void* data, size_t n) {
        if (n == 0) return;
        size_t at = out_.size();
        out_.resize(at + n);
        std::memcpy(out_.data() + at, data, n);
    }

private:
    std::vector<uint8_t>& out_;
};
