#pragma once
#include <atomic>
#include <cstdint>
#include <string_view>

// Heap block shared by SharedString handles: a reference count and the characters, with a
// NUL always stored at `end`.
struct SharedStringData {
    std::atomic<int32_t> refcount{1};
    char* begin = nullptr;
    char* end = nullptr;
    char* capacity_end = nullptr;
};

// Reference-counted string handle used for every name, path and text. Copying shares the
// block; there is no copy-on-write, so in-place edits (ToUpper, ToLower, Assign) are seen by
// every handle that shares the block. Counts are atomic: handles cross threads (log lines,
// language texts).
class SharedString {
public:
    SharedString();
    SharedString(const char* text);
    SharedString(const char* text, int32_t length);
    SharedString(std::string_view text) : SharedString(text.data(), int32_t(text.size())) {}
    SharedString(const SharedString& other);
    SharedString& operator=(const SharedString& other);
    ~SharedString();

    // Drops this handle's reference (freeing the block at zero) and leaves the handle null.
    void Release();
    // Frees storage and block regardless of the count (tail of a final release).
    void Free();
    // A new block holding a copy of the text up to its first NUL.
    void Clone(SharedString& out) const;
    SharedString Clone() const;

    const char* c_str() const { return data_ ? data_->begin : ""; }
    int32_t Length() const { return data_ ? int32_t(data_->end - data_->begin) : 0; }
    bool IsEmpty() const { return Length() == 0; }
    bool IsNull() const { return data_ == nullptr; }
    char operator[](int32_t i) const { return data_->begin[i]; }
    std::string_view View() const { return {c_str(), size_t(Length())}; }
    int32_t RefCount() const { return data_ ? data_->refcount.load() : 0; }
    bool SharesBlockWith(const SharedString& o) const { return data_ == o.data_; }

    bool operator==(const SharedString& other) const;
    bool operator==(const char* text) const;
    bool operator!=(const SharedString& other) const { return !(*this == other); }
    bool operator!=(const char* text) const { return !(*this == text); }
    bool operator<(const SharedString& other) const;

    SharedString Mid(int32_t start, int32_t count) const;
    SharedString Tail(int32_t start) const;
    SharedString TrimRight() const;
    SharedString Trim() const;

    bool StartsWith(const SharedString& other) const;
    bool EndsWith(const SharedString& other) const;
    // Index of the n-th occurrence (from 1) scanning forward; the length when there is none.
    int32_t Find(char c, int32_t occurrence = 1) const;
    // Index of the n-th occurrence counting from the end; -1 when there is none.
    int32_t ReverseFind(char c, int32_t occurrence = 1) const;
    int32_t ReverseFind(const SharedString& other, int32_t occurrence = 1) const;

    // In place, for every handle sharing the block.
    void ToUpper();
    void ToLower();
    // Integer / float read from the given offset (not advanced); out-of-range values saturate.
    int32_t ToInt(const int32_t& offset = 0) const;
    double ToFloat(const int32_t& offset = 0) const;

    // printf-style; output is cut at 1023 characters.
    static SharedString Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
    // Formats into the existing storage (reserved beforehand with Reserve); the stored length
    // is not changed. Returns the characters written (bounded by the storage).
    int32_t FormatInPlace(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // Ensures storage for at least `capacity` characters plus the NUL (keeps the text).
    void Reserve(int32_t capacity);
    // A new string of `length` bytes whose storage the caller must fill (file readers).
    static SharedString WithLength(int32_t length);
    char* MutableData() { return data_ ? data_->begin : nullptr; }
    // Replaces the text inside this block (every sharing handle reads the new text).
    void Assign(const char* text, int32_t length);

private:
    explicit SharedString(SharedStringData* d) : data_(d) {}
    static SharedStringData* NewBlock(const char* text, int32_t length, int32_t capacity);
    SharedStringData* data_;
};

// Assigns each handle of [first, last) to the destination range; returns the end written.
SharedString* CopySharedStrings(const SharedString* first, const SharedString* last, SharedString* dest);
