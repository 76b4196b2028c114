#include "engine/core/FileStream.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/sys/Paths.h"

namespace {
constexpr size_t kDefaultBuffer = 64 * 1024;
}

FileReader::FileReader(const SharedString& path) {
    file_ = plat::OpenFile(path.c_str(), "rb");
    if (!file_) return;
    if (std::fseek(file_, 0, SEEK_END) == 0) {
        long size = std::ftell(file_);
        std::fseek(file_, 0, SEEK_SET);
        if (size < 0) size = 0;
        length_ = size > 0x7FFFFFFFL ? 0x7FFFFFFF : int32_t(size);
    } else {
        length_ = 0;
    }
    buffer_.resize(kDefaultBuffer);
}

FileReader::~FileReader() {
    if (file_) std::fclose(file_);
}

bool FileReader::Fill() {
    if (!file_ || failed_) return false;
    size_t n = std::fread(buffer_.data(), 1, buffer_.size(), file_);
    bufPos_ = 0;
    bufLen_ = n;
    filePos_ += int64_t(n);
    return n > 0;
}

void FileReader::Read(void* out, int32_t count) {
    if (count <= 0) return;
    if (bufLen_ - bufPos_ >= size_t(count) && !failed_) {
        std::memcpy(out, buffer_.data() + bufPos_, size_t(count));
        bufPos_ += size_t(count);
        Advance(count);
        return;
    }
    uint8_t* dst = static_cast<uint8_t*>(out);
    int32_t want = count;
    Advance(count);
    if (file_ && !failed_) {
        while (want > 0) {
            if (bufPos_ == bufLen_) {
                // Large reads bypass the buffer; what it held is then no longer just behind
                // the file position, so it is emptied (a backward seek must not reuse it).
                if (size_t(want) >= buffer_.size()) {
                    bufPos_ = bufLen_ = 0;
                    size_t n = std::fread(dst, 1, size_t(want), file_);
                    filePos_ += int64_t(n);
                    dst += n;
                    want -= int32_t(n);
                    break;
                }
                if (!Fill()) break;
            }
            size_t take = std::min(size_t(want), bufLen_ - bufPos_);
            std::memcpy(dst, buffer_.data() + bufPos_, take);
            bufPos_ += take;
            dst += take;
            want -= int32_t(take);
        }
    }
    if (want > 0) std::memset(dst, 0, size_t(want));
}

uint8_t FileReader::ReadU8() {
    if (bufPos_ < bufLen_ && !failed_) {
        ++position_;
        return buffer_[bufPos_++];
    }
    uint8_t v = 0;
    Read(&v, 1);
    return v;
}

uint16_t FileReader::ReadU16() {
    if (bufLen_ - bufPos_ >= 2 && !failed_) {
        const uint8_t* p = buffer_.data() + bufPos_;
        bufPos_ += 2;
        position_ += 2;
        return uint16_t(p[0] | (p[1] << 8));
    }
    uint8_t b[2];
    Read(b, 2);
    return uint16_t(b[0] | (b[1] << 8));
}

uint32_t FileReader::ReadU32() {
    if (bufLen_ - bufPos_ >= 4 && !failed_) {
        const uint8_t* p = buffer_.data() + bufPos_;
        bufPos_ += 4;
        position_ += 4;
        return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
    }
    uint8_t b[4];
    Read(b, 4);
    return uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
}

float FileReader::ReadFloat() {
    uint32_t u = ReadU32();
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}

double FileReader::ReadDouble() {
    uint8_t b[8];
    Read(b, 8);
    uint64_t u = 0;
    for (int i = 7; i >= 0; --i) u = (u << 8) | b[i];
    double d;
    std::memcpy(&d, &u, 8);
    return d;
}

void FileReader::SkipString() {
    while (position_ < length_ && !failed_) {
        if (ReadU8() == 0) return;
    }
}

bool FileReader::FindWithin(const void* pattern, int32_t patternLength, int32_t limit) {
    const uint8_t* p = static_cast<const uint8_t*>(pattern);
    if (patternLength <= 0) return true;
    const int64_t start = position_;
    int32_t matched = 0;
    while (true) {
        if (position_ >= length_ || failed_) return false;
        if (limit >= 0 && position_ > start + limit) return false;
        uint8_t b = ReadU8();
        if (b == p[matched]) {
            if (++matched == patternLength) return true;
        } else {
            matched = 0; // the mismatched byte is not compared with the pattern's start again
        }
    }
}

bool FileReader::Find(const void* pattern, int32_t patternLength) { return FindWithin(pattern, patternLength, -1); }

SharedString FileReader::ReadString() {
    uint32_t n = ReadU32();
    if (failed_ || !file_ || n > uint32_t(Remaining())) {
        failed_ = true;
        return SharedString();
    }
    SharedString s = SharedString::WithLength(int32_t(n));
    char* p = s.MutableData();
    if (!p) {
        failed_ = true;
        return SharedString();
    }
    Read(p, int32_t(n));
    return s;
}

SharedString FileReader::ReadInvertedString() {
    SharedString s = FileReader::ReadString();  // a new string of its own, null on failure
    char* p = s.MutableData();
    for (int32_t i = 0; p && i < s.Length(); ++i) p[i] = char(~static_cast<unsigned char>(p[i]));
    return s;
}

void FileReader::Advance(int64_t count) {
    // Positions saturate: a huge count from a bad file must not overflow the 32-bit field.
    int64_t p = int64_t(position_) + count;
    position_ = int32_t(std::clamp<int64_t>(p, 0, INT32_MAX));
}

void FileReader::Skip(int32_t count) {
    int64_t p = std::clamp<int64_t>(int64_t(position_) + count, 0, INT32_MAX);
    Seek(int32_t(p));
}

void FileReader::Seek(int32_t position) {
    if (position < 0) position = 0;
    position_ = position;
    if (!file_) return;
    // Inside the current buffer: just move within it.
    int64_t bufStart = filePos_ - int64_t(bufLen_);
    if (position >= bufStart && position <= filePos_) {
        bufPos_ = size_t(position - bufStart);
        return;
    }
    bufPos_ = bufLen_ = 0;
    int64_t target = std::min<int64_t>(position, length_ < 0 ? 0 : length_);
    if (std::fseek(file_, long(target), SEEK_SET) == 0) filePos_ = target;
    if (position > target) {
        // Past the end: nothing more can be read; the position still counts.
        std::fseek(file_, 0, SEEK_END);
    }
}

void FileReader::SetBuffer(int32_t size) {
    if (size <= 0) return;
    // Keep unread bytes of the current buffer.
    std::vector<uint8_t> rest(buffer_.begin() + std::ptrdiff_t(bufPos_), buffer_.begin() + std::ptrdiff_t(bufLen_));
    buffer_.assign(std::max<size_t>(size_t(size), rest.size()), 0);
    std::copy(rest.begin(), rest.end(), buffer_.begin());
    bufPos_ = 0;
    bufLen_ = rest.size();
}

int FileReader::CheckZK2Header(uint32_t& version) {
    version = 0;
    if (length_ < 10) return 1;
    uint8_t a = ReadU8(), b = ReadU8(), c = ReadU8();
    if (a != 'Z' || b != 'K' || c != '2') return 2;
    version = ReadU32();
    return 0;
}

FileWriter::FileWriter(const SharedString& path) { file_ = plat::OpenFile(path.c_str(), "wb"); }

FileWriter::~FileWriter() {
    if (file_) std::fclose(file_);
}

void FileWriter::Write(const void* buffer, int32_t count) {
    if (file_ && count > 0) std::fwrite(buffer, 1, size_t(count), file_);
}

void BinaryOutputStream::WriteZK2Header(uint32_t version) {
    Write("ZK2", 3);
    WriteU32(version);
}

void BinaryOutputStream::WriteU8(uint8_t v) { Write(&v, 1); }
void BinaryOutputStream::WriteU16(uint16_t v) {
    uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
    Write(b, 2);
}
void BinaryOutputStream::WriteU32(uint32_t v) {
    uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    Write(b, 4);
}
void BinaryOutputStream::WriteFloat(float v) {
    uint32_t u;
    std::memcpy(&u, &v, 4);
    WriteU32(u);
}
void BinaryOutputStream::WriteDouble(double v) {
    uint64_t u;
    std::memcpy(&u, &v, 8);
    uint8_t b[8];
    for (int i = 0; i < 8; ++i) b[i] = uint8_t(u >> (8 * i));
    Write(b, 8);
}
void BinaryOutputStream::WriteInvertedString(const SharedString& s) {
    WriteU32(uint32_t(s.Length()));
    // In blocks: one sink call per block rather than per byte.
    uint8_t block[256];
    for (int32_t start = 0; start < s.Length(); start += int32_t(sizeof block)) {
        const int32_t count = std::min(s.Length() - start, int32_t(sizeof block));
        for (int32_t i = 0; i < count; ++i) block[i] = uint8_t(~static_cast<unsigned char>(s[start + i]));
        Write(block, count);
    }
}
void BinaryOutputStream::WriteString(const SharedString& s) {
    WriteU32(uint32_t(s.Length()));
    Write(s.c_str(), s.Length());
}
void BinaryOutputStream::WriteLine(const SharedString& s) {
    WriteString(s);
    WriteU8(0);
}

TextFileWriter::TextFileWriter(const SharedString& path, bool flushEach) : flushEach_(flushEach) {
    file_ = plat::OpenFile(path.c_str(), "wb");
}
TextFileWriter::~TextFileWriter() {
    if (file_) std::fclose(file_);
}
void TextFileWriter::Flush() {
    if (file_ && flushEach_) std::fflush(file_);
}
void TextFileWriter::Write(const void* buffer, int32_t count) {
    if (file_ && count > 0) std::fwrite(buffer, 1, size_t(count), file_);
    Flush();
}
void TextFileWriter::WriteU8(uint8_t v) { Write(&v, 1); }
void TextFileWriter::WriteU16(uint16_t v) {
    if (file_) std::fprintf(file_, "%d", int(int16_t(v)));
    Flush();
}
void TextFileWriter::WriteU32(uint32_t v) {
    if (file_) std::fprintf(file_, "%d", int32_t(v));
    Flush();
}
void TextFileWriter::WriteFloat(float v) {
    if (file_) std::fprintf(file_, "%f", double(v));
    Flush();
}
void TextFileWriter::WriteDouble(double v) {
    if (file_) std::fprintf(file_, "%.17g", v);
    Flush();
}
void TextFileWriter::WriteInvertedString(const SharedString& s) {
    std::string inv(s.c_str(), size_t(s.Length()));
    for (char& c : inv) c = char(~static_cast<unsigned char>(c));
    Write(inv.data(), int32_t(inv.size()));
}
void TextFileWriter::WriteString(const SharedString& s) { Write(s.c_str(), s.Length()); }
void TextFileWriter::WriteLine(const SharedString& s) {
    if (file_) {
        std::fwrite(s.c_str(), 1, size_t(s.Length()), file_);
        std::fwrite("\r\n", 1, 2, file_);
    }
    Flush();
}

bool FileExists(const SharedString& path) { return !plat::ResolveFile(path.c_str()).empty(); }

bool RenameFile(const SharedString& from, const SharedString& to) {
    const std::string source = plat::ResolveFile(from.c_str());
    if (source.empty()) return false;
    const std::string target = plat::ResolveForWrite(to.c_str());
    if (target.empty()) return false;
    return std::rename(source.c_str(), target.c_str()) == 0;
}

std::vector<SharedString> ListFiles(const SharedString& pattern, bool sort) {
    std::vector<SharedString> out;
    for (const std::string& n : plat::ListMatching(pattern.c_str())) out.emplace_back(n.c_str(), int32_t(n.size()));
    if (sort) std::stable_sort(out.begin(), out.end());
    return out;
}
