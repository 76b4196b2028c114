#include "engine/core/AtomicFile.h"

#include <string>

#include "engine/core/Debugger.h"
#include "platform/sys/Paths.h"

bool WriteFileAtomically(const SharedString& path, const void* data, size_t size) {
    std::string error;
    if (plat::ReplaceFile(path.c_str(), data, size, error)) return true;
    Debugger::Instance().Log(1, "FILE: Could not save %s: %s", path.c_str(),
                             error.c_str());
    return false;
}

void AtomicFileWriter::Write(const void* buffer, int32_t count) {
    if (count <= 0) return;
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    bytes_.insert(bytes_.end(), bytes, bytes + count);
}

bool AtomicFileWriter::Commit() {
    return WriteFileAtomically(path_, bytes_.data(), bytes_.size());
}
