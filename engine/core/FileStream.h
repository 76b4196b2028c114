#pragma once
#include <cstdint>
#include <cstdio>
#include <vector>

#include "engine/core/SharedString.h"

// Little-endian binary input. Reads on a failed reader or past the end deliver zeros and
// still advance the position; a string length that cannot fit in the remaining bytes
// yields an empty string and marks the reader failed.
class InputStream {
public:
    virtual ~InputStream() = default;
    virtual uint8_t ReadU8() = 0;
    virtual uint16_t ReadU16() = 0;
    virtual uint32_t ReadU32() = 0;
    virtual float ReadFloat() = 0;
    virtual double ReadDouble() = 0;
    virtual void Read(void* buffer, int32_t count) = 0;
    virtual void SkipString() = 0;
    virtual bool FindWithin(const void* pattern, int32_t patternLength, int32_t limit) = 0;
    virtual bool Find(const void* pattern, int32_t patternLength) = 0;
    virtual SharedString ReadString() = 0;
    virtual SharedString ReadInvertedString() = 0;
    virtual void Skip(int32_t count) = 0;
    virtual void SetBuffer(int32_t size) = 0;
};

class OutputStream {
public:
    virtual ~OutputStream() = default;
    virtual void WriteU8(uint8_t v) = 0;
    virtual void WriteU16(uint16_t v) = 0;
    virtual void WriteU32(uint32_t v) = 0;
    virtual void WriteFloat(float v) = 0;
    virtual void WriteDouble(double v) = 0;
    virtual void WriteInvertedString(const SharedString& s) = 0;
    virtual void WriteString(const SharedString& s) = 0;
    virtual void Write(const void* buffer, int32_t count) = 0;
    virtual void WriteLine(const SharedString& s) = 0;
};

class FileReader final : public InputStream {
public:
    explicit FileReader(const SharedString& path);
    ~FileReader() override;
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    // -1 when the open failed.
    int32_t Length() const { return length_; }
    int32_t Position() const { return position_; }
    int32_t Remaining() const { return length_ > position_ ? length_ - position_ : 0; }
    bool IsOpen() const { return file_ != nullptr; }
    // True after a bad string length (or any other refused read).
    bool Failed() const { return failed_; }
    void MarkFailed() { failed_ = true; }
    // Absolute seek; positions outside the file are clamped to its end for reading.
    void Seek(int32_t position);

    // The ZK2 header test: length at least 10, magic "ZK2", then the version is read.
    // Returns 0 ok, 1 too short or missing, 2 wrong magic; `version` receives the version.
    int CheckZK2Header(uint32_t& version);

    uint8_t ReadU8() override;
    uint16_t ReadU16() override;
    uint32_t ReadU32() override;
    float ReadFloat() override;
    double ReadDouble() override;
    void Read(void* buffer, int32_t count) override;
    void SkipString() override;
    bool FindWithin(const void* pattern, int32_t patternLength, int32_t limit) override;
    bool Find(const void* pattern, int32_t patternLength) override;
    SharedString ReadString() override;
    SharedString ReadInvertedString() override;
    void Skip(int32_t count) override;
    void SetBuffer(int32_t size) override;
    int32_t ReadI32() { return int32_t(ReadU32()); }

private:
    bool Fill();
    void Advance(int64_t count);
    std::FILE* file_ = nullptr;
    int32_t length_ = -1;
    int32_t position_ = 0;
    bool failed_ = false;
    // Our own read buffer over the file: bytes [bufPos, bufLen) are the next ones.
    std::vector<uint8_t> buffer_;
    size_t bufPos_ = 0;
    size_t bufLen_ = 0;
    int64_t filePos_ = 0; // file offset of buffer_[bufLen_]
};

// Little-endian binary output: every typed write ends in the one byte sink, Write.
class BinaryOutputStream : public OutputStream {
public:
    // Writes "ZK2" and the version.
    void WriteZK2Header(uint32_t version);

    void WriteU8(uint8_t v) override;
    void WriteU16(uint16_t v) override;
    void WriteU32(uint32_t v) override;
    void WriteFloat(float v) override;
    void WriteDouble(double v) override;
    void WriteInvertedString(const SharedString& s) override;
    void WriteString(const SharedString& s) override;
    void WriteLine(const SharedString& s) override;
    void WriteI32(int32_t v) { WriteU32(uint32_t(v)); }
};

// Writes a file in place (truncating it first). Stored files that are rewritten use
// AtomicFileWriter (engine/core/AtomicFile.h) instead, so a crash never leaves them half written.
class FileWriter final : public BinaryOutputStream {
public:
    explicit FileWriter(const SharedString& path);
    ~FileWriter() override;
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;
    bool IsOpen() const { return file_ != nullptr; }
    void Write(const void* buffer, int32_t count) override;

private:
    std::FILE* file_ = nullptr;
};

// Text output (the console log). WriteLine ends lines with CR LF.
class TextFileWriter final : public OutputStream {
public:
    TextFileWriter(const SharedString& path, bool flushEach);
    ~TextFileWriter() override;
    TextFileWriter(const TextFileWriter&) = delete;
    TextFileWriter& operator=(const TextFileWriter&) = delete;
    bool IsOpen() const { return file_ != nullptr; }

    void WriteU8(uint8_t v) override;
    void WriteU16(uint16_t v) override;
    void WriteU32(uint32_t v) override;
    void WriteFloat(float v) override;
    void WriteDouble(double v) override;
    void WriteInvertedString(const SharedString& s) override;
    void WriteString(const SharedString& s) override;
    void Write(const void* buffer, int32_t count) override;
    void WriteLine(const SharedString& s) override;

private:
    void Flush();
    std::FILE* file_ = nullptr;
    bool flushEach_;
};

// True when the path names a regular file that can be opened for reading.
bool FileExists(const SharedString& path);
// Renames an existing file (its path resolved as for reading) to `to` (resolved as for writing;
// a file already there is replaced). False when the file is missing or the rename fails.
bool RenameFile(const SharedString& from, const SharedString& to);
// Bare names matching a wild-card path (directories included). Without sorting, names come
// in the layer's deterministic listing order; with it, ascending by SharedString::operator<.
std::vector<SharedString> ListFiles(const SharedString& pattern, bool sort);
