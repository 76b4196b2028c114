#pragma once
// Plays a video file: libavformat reads it, libavcodec decodes its first video and first audio
// stream, libswscale turns pictures into BGRA at their own size and libswresample turns sound
// into 16-bit stereo at the output's rate. Pictures are paced by their timestamps against the
// sound's clock, or against the wall clock when the playback is silent; both start when the
// first picture is on screen, the sound held back until then. Nothing here blocks
// for longer than the wait it is asked for, and nothing spins between pictures.
#include <cstdint>
#include <memory>
#include <string>

namespace plat {

// Where a playback reads the time and waits. Tests and benchmarks give their own.
class PlaybackClock {
public:
    virtual ~PlaybackClock() = default;
    // Seconds on a monotonic clock.
    virtual double Now() = 0;
    // Sleeps for about this many seconds (never spins).
    virtual void Sleep(double seconds) = 0;
};
PlaybackClock& SystemPlaybackClock();

// Where decoded sound goes: 16-bit interleaved stereo frames.
class SoundOutput {
public:
    virtual ~SoundOutput() = default;
    // Opens for about `rate` frames a second; returns the rate it plays at, 0 when it cannot.
    virtual int32_t Open(int32_t rate) = 0;
    virtual void Queue(const int16_t* frames, uint32_t count) = 0;
    // Frames queued and not yet played.
    virtual uint32_t QueuedFrames() = 0;
    virtual void Close() = 0;
};
// Sound on an SDL audio device of its own, opened by Open and closed by Close.
std::unique_ptr<SoundOutput> CreateSdlSoundOutput();

// One converted picture: BGRA bytes (A8R8G8B8 words), rows from the top.
struct VideoPicture {
    const uint8_t* pixels = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int32_t pitch = 0;
};

// Receives the pictures as they fall due.
class VideoSink {
public:
    virtual ~VideoSink() = default;
    virtual void ShowPicture(const VideoPicture& picture) = 0;
};

enum class PlaybackState {
    Playing,   // more to come
    Finished,  // every picture shown and the sound played out (or one second waited for it)
    Damaged,   // a run of errors, data that ends early, or no new picture for a second (two
               // before the first) ended the playback
};

// Turns picture timestamps into times on the playback clock. A timestamp that goes back, or
// lies more than a second ahead of the clock, resyncs the clock to the picture instead of
// stalling; a picture without a timestamp follows the one before it by one frame period.
class FramePacer {
public:
    explicit FramePacer(double framePeriod) : period_(framePeriod) {}
    // The clock time at which a picture with this timestamp (seconds of the clip; NaN when it
    // has none) is due, given the clock's time now.
    double Due(double timestamp, double now);
    // The last picture's clip time.
    double LastTimestamp() const { return last_; }

    static constexpr double kMaxLead = 1.0;

private:
    double period_;
    double shift_ = 0.0;  // clip time minus clock time
    double last_ = 0.0;
    bool started_ = false;
};

class VideoPlayer {
public:
    // Opens the file and its decoders. Null, with the reason in `error`, when it cannot be
    // played: not a video, no video stream or decoder, or pictures larger than maxWidth x
    // maxHeight.
    static std::unique_ptr<VideoPlayer> Open(const char* path, int32_t maxWidth, int32_t maxHeight,
                                             std::string& error);
    ~VideoPlayer();
    VideoPlayer(const VideoPlayer&) = delete;
    VideoPlayer& operator=(const VideoPlayer&) = delete;

    int32_t Width() const;
    int32_t Height() const;
    bool HasSoundStream() const;

    // Starts the playback. The sound plays on `sound` (null: silent; an output that cannot
    // open also leaves it silent); time comes from `clock`. False when it cannot start.
    bool Start(SoundOutput* sound, PlaybackClock& clock);
    // Decodes and shows, through `sink`, the pictures falling due within the next
    // `milliseconds`, sleeping between them; returns early only when the playback ends.
    PlaybackState Wait(uint32_t milliseconds, VideoSink& sink);
    // Stops the playback and closes the sound output.
    void Stop();

    bool SoundPlaying() const;
    int32_t SoundRate() const;
    int64_t PicturesShown() const;
    // The frame count the file declares (0 when it declares none).
    int64_t DeclaredFrames() const;

private:
    struct Impl;
    explicit VideoPlayer(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace plat
