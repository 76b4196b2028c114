#include "tools/writers/LightFileWriter.h"

#include "engine/core/FileStream.h"
#include "game/play/LightSet.h"

namespace tools {

namespace {

// Collects what the serializer writes.
class ByteSink final : public BinaryOutputStream {
public:
    void Write(const void* buffer, int32_t count) override {
        const uint8_t* p = static_cast<const uint8_t*>(buffer);
        bytes.insert(bytes.end(), p, p + count);
    }
    std::vector<uint8_t> bytes;
};

} // namespace

std::vector<uint8_t> DefaultLightFileBytes(int32_t timeOfDay) {
    LightSet set;
    set.ApplyDefaults(timeOfDay);
    ByteSink sink;
    LightSet::Write(sink, set.lights);
    return sink.bytes;
}

bool WriteDefaultLightFile(const SharedString& path, int32_t timeOfDay) {
    LightSet set;
    set.ApplyDefaults(timeOfDay);
    FileWriter out(path);
    if (!out.IsOpen()) return false;
    LightSet::Write(out, set.lights);
    return true;
}

} // namespace tools
