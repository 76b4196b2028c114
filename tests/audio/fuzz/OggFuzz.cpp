// An Ogg Vorbis file through the factory, a static and a streaming voice and both mixers. Every
// page gets its right checksum first, so that a change inside a page reaches the decoder (and
// a header that describes an odd format reaches the format checks) instead of being dropped
// for its checksum.
#include <string>

#include "tests/audio/OggPages.h"
#include "tests/audio/fuzz/SoundFuzz.h"

// vorbisfile (1.3.7) loses the few bytes of a serial-number list when a chained file's later link
// has broken headers; that is the library's, not ours, and is not reported.
extern "C" const char* __lsan_default_suppressions() { return "leak:libvorbisfile.so\n"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string bytes(reinterpret_cast<const char*>(data), size);
    audio_test::FixOggChecksums(bytes);
    return sound_fuzz::Run(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), "Fuzz.OGG");
}
