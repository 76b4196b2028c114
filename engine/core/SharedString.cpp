#include "engine/core/SharedString.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {
constexpr int kFormatBuffer = 1024;
}

SharedStringData* SharedString::NewBlock(const char* text, int32_t length, int32_t capacity) {
    if (length < 0) length = 0;
    if (capacity < length) capacity = length;
    auto* d = new (std::nothrow) SharedStringData;
    if (!d) return nullptr;
    char* storage = new (std::nothrow) char[size_t(capacity) + 1];
    if (!storage) {
        delete d;
        return nullptr;
    }
    if (length > 0 && text) std::memcpy(storage, text, size_t(length));
    storage[length] = 0;
    d->begin = storage;
    d->end = storage + length;
    d->capacity_end = storage + capacity + 1;
    return d;
}

SharedString::SharedString() : data_(NewBlock("", 0, 7)) {}
SharedString::SharedString(const char* text)
    : data_(NewBlock(text ? text : "", text ? int32_t(std::strlen(text)) : 0, 0)) {}
SharedString::SharedString(const char* text, int32_t length) : data_(NewBlock(text, length, 0)) {}

SharedString::SharedString(const SharedString& other) : data_(other.data_) {
    if (data_) data_->refcount.fetch_add(1, std::memory_order_relaxed);
}

SharedString& SharedString::operator=(const SharedString& other) {
    // Take the new reference first so a block shared with the source is never freed early.
    SharedStringData* incoming = other.data_;
    if (incoming) incoming->refcount.fetch_add(1, std::memory_order_relaxed);
    Release();
    data_ = incoming;
    return *this;
}

SharedString::~SharedString() { Release(); }

void SharedString::Release() {
    if (!data_) return;
    // The handle always lets go of the block, so a later release or the destructor cannot
    // drop the same reference twice.
    if (data_->refcount.fetch_sub(1, std::memory_order_acq_rel) == 1) Free();
    else data_ = nullptr;
}

void SharedString::Free() {
    if (!data_) return;
    delete[] data_->begin;
    delete data_;
    data_ = nullptr;
}

void SharedString::Clone(SharedString& out) const { out = Clone(); }

SharedString SharedString::Clone() const {
    const char* t = c_str();
    return SharedString(NewBlock(t, int32_t(std::strlen(t)), 0));
}

bool SharedString::operator==(const SharedString& other) const {
    if (data_ == other.data_) return true;
    int32_t n = Length();
    return n == other.Length() && std::memcmp(c_str(), other.c_str(), size_t(n)) == 0;
}

bool SharedString::operator==(const char* text) const {
    if (!text) text = "";
    size_t n = std::strlen(text);
    return size_t(Length()) == n && std::memcmp(c_str(), text, n) == 0;
}

bool SharedString::operator<(const SharedString& other) const {
    int32_t a = Length(), b = other.Length();
    int32_t n = a < b ? a : b;
    int c = std::memcmp(c_str(), other.c_str(), size_t(n));
    if (c != 0) return c < 0;
    return a < b;
}

SharedString SharedString::Mid(int32_t start, int32_t count) const {
    const char* t = c_str();
    int32_t len = int32_t(std::strlen(t)); // copies stop at an embedded NUL
    if (start < 0) start = 0;
    if (start > len) start = len;
    if (count < 0) count = 0;
    if (count > len - start) count = len - start;
    return SharedString(t + start, count);
}

SharedString SharedString::Tail(int32_t start) const { return Mid(start, INT32_MAX); }

SharedString SharedString::TrimRight() const {
    const char* t = c_str();
    int32_t e = Length();
    while (e > 0 && (t[e - 1] == ' ' || t[e - 1] == 0)) --e;
    int32_t len = int32_t(strnlen(t, size_t(e)));
    return SharedString(t, len);
}

SharedString SharedString::Trim() const {
    const char* t = c_str();
    int32_t b = 0, e = Length();
    while (b < e && (t[b] == ' ' || t[b] == 0)) ++b;
    while (e > b && (t[e - 1] == ' ' || t[e - 1] == 0)) --e;
    int32_t len = int32_t(strnlen(t + b, size_t(e - b)));
    return SharedString(t + b, len);
}

bool SharedString::StartsWith(const SharedString& other) const {
    int32_t n = other.Length();
    if (Length() < n) return false;
    return std::memcmp(c_str(), other.c_str(), size_t(n)) == 0;
}

bool SharedString::EndsWith(const SharedString& other) const {
    int32_t n = other.Length(), len = Length();
    if (len < n) return false;
    return std::memcmp(c_str() + len - n, other.c_str(), size_t(n)) == 0;
}

int32_t SharedString::Find(char c, int32_t occurrence) const {
    int32_t len = Length();
    const char* t = c_str();
    for (int32_t i = 0; i < len; ++i)
        if (t[i] == c && --occurrence <= 0) return i;
    return len;
}

int32_t SharedString::ReverseFind(char c, int32_t occurrence) const {
    const char* t = c_str();
    for (int32_t i = Length() - 1; i >= 0; --i)
        if (t[i] == c && --occurrence <= 0) return i;
    return -1;
}

int32_t SharedString::ReverseFind(const SharedString& other, int32_t occurrence) const {
    int32_t n = other.Length(), len = Length();
    if (n > len) return -1;
    const char* t = c_str();
    for (int32_t i = len - n; i >= 0; --i)
        if (std::memcmp(t + i, other.c_str(), size_t(n)) == 0 && --occurrence <= 0) return i;
    return -1;
}

void SharedString::ToUpper() {
    if (!data_) return;
    for (char* p = data_->begin; p != data_->end; ++p) *p = char(std::toupper(static_cast<unsigned char>(*p)));
}

void SharedString::ToLower() {
    if (!data_) return;
    for (char* p = data_->begin; p != data_->end; ++p) *p = char(std::tolower(static_cast<unsigned char>(*p)));
}

int32_t SharedString::ToInt(const int32_t& offset) const {
    if (offset < 0 || offset > Length()) return 0;
    errno = 0;
    long long v = std::strtoll(c_str() + offset, nullptr, 10);
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return int32_t(v);
}

double SharedString::ToFloat(const int32_t& offset) const {
    if (offset < 0 || offset > Length()) return 0.0;
    return std::strtod(c_str() + offset, nullptr);
}

SharedString SharedString::Format(const char* format, ...) {
    char buffer[kFormatBuffer];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < 0) n = 0;
    int32_t len = int32_t(strnlen(buffer, sizeof buffer - 1));
    if (n < len) len = n;
    return SharedString(buffer, len);
}

int32_t SharedString::FormatInPlace(const char* format, ...) {
    if (!data_) return 0;
    size_t room = size_t(data_->capacity_end - data_->begin);
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(data_->begin, room, format, args);
    va_end(args);
    if (n < 0) return 0;
    if (size_t(n) >= room) n = int(room) - 1;
    return n;
}

SharedString SharedString::WithLength(int32_t length) {
    SharedStringData* d = NewBlock(nullptr, 0, length < 0 ? 0 : length);
    if (d && length > 0) {
        d->end = d->begin + length;
        *d->end = 0;
    }
    return SharedString(d);
}

void SharedString::Reserve(int32_t capacity) {
    if (!data_ || capacity < 0) return;
    if (data_->capacity_end - data_->begin >= capacity + 1) return;
    int32_t len = Length();
    char* storage = new char[size_t(capacity) + 1];
    std::memcpy(storage, data_->begin, size_t(len) + 1);
    delete[] data_->begin;
    data_->begin = storage;
    data_->end = storage + len;
    data_->capacity_end = storage + capacity + 1;
}

void SharedString::Assign(const char* text, int32_t length) {
    if (!data_) return;
    if (length < 0) length = 0;
    if (data_->capacity_end - data_->begin < length + 1) {
        char* storage = new char[size_t(length) + 1];
        delete[] data_->begin;
        data_->begin = storage;
        data_->capacity_end = storage + length + 1;
    }
    if (length) std::memmove(data_->begin, text, size_t(length));
    data_->begin[length] = 0;
    data_->end = data_->begin + length;
}

SharedString* CopySharedStrings(const SharedString* first, const SharedString* last, SharedString* dest) {
    for (; first != last; ++first, ++dest) *dest = *first;
    return dest;
}
