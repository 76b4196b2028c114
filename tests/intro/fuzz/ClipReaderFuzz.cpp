// The clip reader under fuzzing: any bytes as the intro's file, played to the end on a stepped
// clock with a sound output that takes everything at once. Every picture shown is read whole.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/video/VideoPlayer.h"

namespace {

struct SteppedClock : plat::PlaybackClock {
    double now = 0.0;
    double Now() override { return now; }
    void Sleep(double seconds) override { now += seconds; }
};

struct EmptyingSound : plat::SoundOutput {
    int32_t Open(int32_t rate) override { return rate; }
    void Queue(const int16_t* frames, uint32_t count) override {
        for (uint32_t i = 0; i < count * 2; i += 97) sum += frames[i];
    }
    uint32_t QueuedFrames() override { return 0; }
    void Close() override {}
    int64_t sum = 0;
};

struct ReadingSink : plat::VideoSink {
    void ShowPicture(const plat::VideoPicture& p) override {
        for (int32_t y = 0; y < p.height; ++y) {
            const uint8_t* row = p.pixels + size_t(y) * size_t(p.pitch);
            sum += row[0] + row[size_t(p.width) * 4 - 1];
        }
    }
    uint64_t sum = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The reader opens files by name: the input becomes an anonymous file.
    const int fd = memfd_create("clip", 0);
    if (fd < 0) return 0;
    size_t written = 0;
    while (written < size) {
        const ssize_t n = write(fd, data + written, size - written);
        if (n <= 0) break;
        written += size_t(n);
    }
    char path[64];
    std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
    std::string error;
    if (std::unique_ptr<plat::VideoPlayer> player = plat::VideoPlayer::Open(path, 512, 512, error)) {
        SteppedClock clock;
        EmptyingSound sound;
        ReadingSink sink;
        if (player->Start(&sound, clock)) {
            // Every picture falls due within a second of clip time, so this bound is never
            // what ends a playback of an input this size.
            for (int slice = 0; slice < 100000; ++slice)
                if (player->Wait(100, sink) != plat::PlaybackState::Playing) break;
        }
        player->Stop();
    }
    close(fd);
    return 0;
}
