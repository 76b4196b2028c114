// A WAV file through the factory, a static and a streaming voice and both mixers.
#include "tests/audio/fuzz/SoundFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return sound_fuzz::Run(data, size, "Fuzz.WAV");
}
