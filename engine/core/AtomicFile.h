#pragma once
// The one way a stored file that is rewritten (settings, career and score tables, light and
// camera files) reaches the disk: a crash, a kill or a power cut at any moment leaves either
// the whole old file or the whole new one, never a truncated or empty file.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/core/FileStream.h"

// Writes `size` bytes as the new content of `path` ("<name>.tmp" beside it, every write
// checked, flushed and synced, renamed over the file, directory synced). On any failure the
// old file stays, an error is logged and false is returned.
bool WriteFileAtomically(const SharedString& path, const void* data, size_t size);

// A binary stream that collects the new content in memory; Commit replaces the file with it
// through WriteFileAtomically. Destroyed without a successful Commit, it leaves the old file
// as it was.
class AtomicFileWriter final : public BinaryOutputStream {
public:
    explicit AtomicFileWriter(const SharedString& path) : path_(path) {}
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    void Write(const void* buffer, int32_t count) override;
    // Replaces the file with everything written so far; false (and an error logged) on failure.
    bool Commit();
    const std::vector<uint8_t>& Bytes() const { return bytes_; }

private:
    SharedString path_;
    std::vector<uint8_t> bytes_;
};
