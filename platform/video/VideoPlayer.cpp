#include "platform/video/VideoPlayer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <thread>
#include <vector>

#include "platform/sys/Paths.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/mem.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace plat {

namespace {

// Errors in a row (unreadable packets, packets the decoder refuses) that end the playback.
constexpr int kErrorRun = 16;
// Video packets read ahead of the decoder, so that the sound can be queued ahead of the clock.
constexpr size_t kPacketRing = 64;
// Sound kept queued ahead of the clock; more than the cap is not queued at all.
constexpr double kSoundLead = 0.3;
constexpr double kSoundCap = 2.0;
// The sound clock moves in the device's pulls; between two, it runs on with the wall clock for
// at most this long.
constexpr double kSoundStep = 0.1;
// A sound clock that has not moved for this long has stalled.
constexpr double kSoundStall = 0.5;
// After the last picture, the sound still queued is waited for at most this long.
constexpr double kSoundTail = 1.0;
// A picture this close to its time is shown: a shorter sleep would be lost in the clock's
// resolution.
constexpr double kDueSlack = 0.001;
// A clip that gives no new picture for this long after the last one shown (or after the start,
// before the first) has stalled: a damaged stream the decoder works on without a picture, or
// pictures held by a sound clock that hardly moves. The playback ends rather than hold the
// start-up.
constexpr double kPictureWait = 1.0;
constexpr double kFirstPictureWait = 2.0;
constexpr int32_t kMinSoundRate = 4000;
constexpr int32_t kMaxSoundRate = 192000;

class SteadyPlaybackClock final : public PlaybackClock {
public:
    double Now() override {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    }
    void Sleep(double seconds) override {
        if (seconds > 0.0) std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    }
};

double Seconds(int64_t timestamp, AVRational base, int64_t start) {
    if (timestamp == AV_NOPTS_VALUE || base.num <= 0 || base.den <= 0)
        return std::numeric_limits<double>::quiet_NaN();
    if (start != AV_NOPTS_VALUE) timestamp -= start;
    return double(timestamp) * av_q2d(base);
}

double FramePeriod(const AVStream* stream) {
    for (AVRational rate : {stream->avg_frame_rate, stream->r_frame_rate}) {
        if (rate.num <= 0 || rate.den <= 0) continue;
        const double fps = av_q2d(rate);
        if (fps >= 1.0 && fps <= 240.0) return 1.0 / fps;
    }
    return 1.0 / 25.0;
}

void QuietLibraries() {
    // The libraries' own notices would go to the standard error stream; a broken clip is
    // reported by the caller in one line instead.
    static const bool quiet = (av_log_set_level(AV_LOG_QUIET), true);
    (void)quiet;
}

}  // namespace

PlaybackClock& SystemPlaybackClock() {
    static SteadyPlaybackClock* clock = new SteadyPlaybackClock;
    return *clock;
}

double FramePacer::Due(double timestamp, double now) {
    if (!std::isfinite(timestamp)) timestamp = started_ ? last_ + period_ : 0.0;
    double due = timestamp - shift_;
    // A jump back, or a picture far in the future, moves the clip's clock instead of stalling.
    if ((started_ && timestamp < last_) || due > now + kMaxLead) {
        shift_ = timestamp - now;
        due = now;
    }
    started_ = true;
    last_ = timestamp;
    return due;
}

struct VideoPlayer::Impl {
    ~Impl() {
        CloseSound();
        for (AVPacket*& p : ring) av_packet_free(&p);
        for (AVPacket*& p : heldSound) av_packet_free(&p);
        av_packet_free(&packet);
        av_frame_free(&picture);
        av_frame_free(&soundFrame);
        avcodec_free_context(&video);
        avcodec_free_context(&audio);
        sws_freeContext(scaler);
        swr_free(&resampler);
        av_freep(&bgra);
        avformat_close_input(&format);
    }

    bool OpenFile(const char* path, int32_t maxWidth, int32_t maxHeight, std::string& error);
    void OpenAudio();
    bool OpenResampler(const AVChannelLayout& layout, int sampleFormat, int rate);
    void CloseSound();

    // Counts one error; true when the run of errors ends the playback.
    bool Error() {
        if (++errors >= kErrorRun) damaged = true;
        return damaged;
    }
    double Clock();
    // The playback clock's time by which the next picture must be on screen.
    double PictureDeadline() const { return lastPictureAt + (firstShown ? kPictureWait : kFirstPictureWait); }
    // True, and the playback damaged, once the deadline has passed without a new picture.
    bool Stalled() {
        if (!stalled && clock->Now() > PictureDeadline() + kDueSlack) stalled = damaged = true;
        return stalled;
    }
    void ReadPacket();
    void Fill();
    bool NextPicture();
    void QueueSound(const AVPacket* p);
    void Show(VideoSink& sink);
    // The first picture is on screen: the clip's clock starts at its time and the sound held
    // back until now is queued.
    void FirstPictureShown(double due);

    AVFormatContext* format = nullptr;
    AVCodecContext* video = nullptr;
    AVCodecContext* audio = nullptr;
    int videoIndex = -1;
    int audioIndex = -1;
    int32_t width = 0, height = 0;
    double period = 0.04;
    int64_t declaredFrames = 0;

    AVPacket* packet = nullptr;
    AVFrame* picture = nullptr;
    AVFrame* soundFrame = nullptr;
    // Video packets read ahead: a ring of packets allocated once.
    std::vector<AVPacket*> ring;
    size_t ringHead = 0, ringCount = 0;
    // Sound packets read before the first picture is on screen, queued once it is.
    std::vector<AVPacket*> heldSound;
    size_t heldCount = 0;
    bool firstShown = false;

    SwsContext* scaler = nullptr;
    uint8_t* bgra = nullptr;
    int32_t pitch = 0;

    SwrContext* resampler = nullptr;
    AVChannelLayout resamplerLayout{};
    int resamplerFormat = -1;
    int resamplerRate = 0;
    std::vector<int16_t> soundBuffer;

    PlaybackClock* clock = nullptr;
    SoundOutput* sound = nullptr;
    int32_t soundRate = 0;
    uint64_t soundQueued = 0;  // frames handed to the output since the start
    double lastSound = -1.0, lastSoundWall = 0.0;
    double wallBase = 0.0;

    FramePacer pacer{0.04};
    bool started = false;
    bool endOfData = false;
    bool flushed = false;
    bool videoDone = false;
    bool damaged = false;
    bool stalled = false;
    double lastPictureAt = 0.0;  // when the last picture went on screen (the start before the first)
    int errors = 0;
    bool pending = false;
    double pendingDue = 0.0;
    bool tailStarted = false;
    double tailEnd = 0.0;
    int64_t shown = 0;
    int64_t decoded = 0;
    PlaybackState state = PlaybackState::Playing;
};

bool VideoPlayer::Impl::OpenFile(const char* path, int32_t maxWidth, int32_t maxHeight, std::string& error) {
    QuietLibraries();
    // The name may differ in case from the file on disk, as every data name of the engine.
    const std::string resolved = ResolveFile(path);
    if (resolved.empty()) {
        error = "no such file";
        return false;
    }
    if (avformat_open_input(&format, resolved.c_str(), nullptr, nullptr) < 0) {
        error = "not a video file";
        return false;
    }
    if (avformat_find_stream_info(format, nullptr) < 0) {
        error = "its streams cannot be read";
        return false;
    }
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVMediaType type = format->streams[i]->codecpar->codec_type;
        if (type == AVMEDIA_TYPE_VIDEO && videoIndex < 0) videoIndex = int(i);
        if (type == AVMEDIA_TYPE_AUDIO && audioIndex < 0) audioIndex = int(i);
    }
    if (videoIndex < 0) {
        error = "no video stream";
        return false;
    }
    AVStream* stream = format->streams[videoIndex];
    const AVCodecParameters* par = stream->codecpar;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    if (!codec) {
        error = "no decoder for its video";
        return false;
    }
    if (par->width <= 0 || par->height <= 0) {
        error = "its pictures have no size";
        return false;
    }
    if (par->width > maxWidth || par->height > maxHeight) {
        error = "its pictures are larger than the device's textures";
        return false;
    }
    video = avcodec_alloc_context3(codec);
    if (!video || avcodec_parameters_to_context(video, par) < 0) {
        error = "the video decoder cannot be set up";
        return false;
    }
    // Pictures larger than the texture are never decoded, whatever a damaged stream claims.
    video->max_pixels = int64_t(maxWidth) * int64_t(maxHeight);
    video->thread_count = 1;
    if (avcodec_open2(video, codec, nullptr) < 0) {
        error = "the video decoder cannot be opened";
        return false;
    }
    width = par->width;
    height = par->height;
    period = FramePeriod(stream);
    declaredFrames = std::max<int64_t>(stream->nb_frames, 0);

    pitch = FFALIGN(width * 4, 64);
    bgra = static_cast<uint8_t*>(av_mallocz(size_t(pitch) * size_t(height)));
    packet = av_packet_alloc();
    picture = av_frame_alloc();
    soundFrame = av_frame_alloc();
    ring.resize(kPacketRing, nullptr);
    bool ok = bgra && packet && picture && soundFrame;
    for (AVPacket*& p : ring) ok = ok && (p = av_packet_alloc()) != nullptr;
    if (!ok) {
        error = "out of memory";
        return false;
    }
    OpenAudio();
    return true;
}

void VideoPlayer::Impl::OpenAudio() {
    if (audioIndex < 0) return;
    const AVCodecParameters* par = format->streams[audioIndex]->codecpar;
    const AVCodec* codec = avcodec_find_decoder(par->codec_id);
    // A clip whose sound cannot be decoded still plays, silent.
    if (!codec) return;
    audio = avcodec_alloc_context3(codec);
    if (!audio || avcodec_parameters_to_context(audio, par) < 0 || avcodec_open2(audio, codec, nullptr) < 0 ||
        audio->sample_rate < kMinSoundRate || audio->sample_rate > kMaxSoundRate) {
        avcodec_free_context(&audio);
    }
}

bool VideoPlayer::Impl::OpenResampler(const AVChannelLayout& layout, int sampleFormat, int rate) {
    swr_free(&resampler);
    av_channel_layout_uninit(&resamplerLayout);
    resamplerFormat = -1;
    if (rate < kMinSoundRate || rate > kMaxSoundRate || layout.nb_channels <= 0) return false;
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    // A layout that only counts its channels gets the usual layout of that many.
    AVChannelLayout input{};
    if (layout.order == AV_CHANNEL_ORDER_UNSPEC) av_channel_layout_default(&input, layout.nb_channels);
    else if (av_channel_layout_copy(&input, &layout) < 0) return false;
    const bool ok = swr_alloc_set_opts2(&resampler, &stereo, AV_SAMPLE_FMT_S16, soundRate, &input,
                                        AVSampleFormat(sampleFormat), rate, 0, nullptr) >= 0 &&
                    swr_init(resampler) >= 0;
    av_channel_layout_uninit(&input);
    if (!ok) {
        swr_free(&resampler);
        return false;
    }
    if (av_channel_layout_copy(&resamplerLayout, &layout) < 0) {
        swr_free(&resampler);
        return false;
    }
    resamplerFormat = sampleFormat;
    resamplerRate = rate;
    return true;
}

void VideoPlayer::Impl::CloseSound() {
    if (sound) sound->Close();
    sound = nullptr;
    swr_free(&resampler);
    av_channel_layout_uninit(&resamplerLayout);
}

double VideoPlayer::Impl::Clock() {
    const double wall = clock->Now();
    if (sound) {
        const uint32_t queued = sound->QueuedFrames();
        if (queued > 0) {
            const double played = double(soundQueued - std::min<uint64_t>(queued, soundQueued)) / soundRate;
            if (played != lastSound) {
                lastSound = played;
                lastSoundWall = wall;
            }
            // A device that stopped taking sound would hold the pictures forever: after a
            // while without progress the wall clock takes over.
            if (wall - lastSoundWall <= kSoundStall) {
                const double now = lastSound + std::min(wall - lastSoundWall, kSoundStep);
                // Should the sound run dry, the wall clock carries on from here.
                wallBase = wall - now;
                return now;
            }
        }
    }
    return wall - wallBase;
}

void VideoPlayer::Impl::ReadPacket() {
    const int r = av_read_frame(format, packet);
    if (r == AVERROR_EOF || (r < 0 && format->pb && avio_feof(format->pb))) {
        endOfData = true;
        return;
    }
    if (r < 0) {
        Error();
        return;
    }
    if (packet->stream_index == videoIndex && ringCount < ring.size()) {
        av_packet_move_ref(ring[(ringHead + ringCount) % ring.size()], packet);
        ++ringCount;
        return;
    }
    if (packet->stream_index == audioIndex && sound) {
        if (firstShown) {
            QueueSound(packet);
        } else if (heldCount < kPacketRing) {
            if (heldCount == heldSound.size()) heldSound.push_back(av_packet_alloc());
            if (heldSound[heldCount]) av_packet_move_ref(heldSound[heldCount++], packet);
        }
    }
    av_packet_unref(packet);
}

void VideoPlayer::Impl::Fill() {
    while (!endOfData && !damaged && ringCount < ring.size()) {
        const bool needVideo = ringCount == 0;
        const bool needSound = sound && firstShown && sound->QueuedFrames() < uint32_t(kSoundLead * soundRate);
        if (!needVideo && !needSound) break;
        ReadPacket();
    }
}

void VideoPlayer::Impl::QueueSound(const AVPacket* p) {
    // Far enough ahead already (a clip whose sound runs on past its pictures): dropped.
    if (sound->QueuedFrames() > uint32_t(kSoundCap * soundRate)) return;
    if (avcodec_send_packet(audio, p) < 0) {
        Error();
        return;
    }
    while (avcodec_receive_frame(audio, soundFrame) == 0) {
        const AVFrame& f = *soundFrame;
        if (!resampler || f.format != resamplerFormat || f.sample_rate != resamplerRate ||
            av_channel_layout_compare(&f.ch_layout, &resamplerLayout) != 0) {
            if (!OpenResampler(f.ch_layout, f.format, f.sample_rate)) {
                av_frame_unref(soundFrame);
                Error();
                continue;
            }
        }
        const int capacity = swr_get_out_samples(resampler, f.nb_samples);
        if (capacity > 0) {
            if (soundBuffer.size() < size_t(capacity) * 2) soundBuffer.resize(size_t(capacity) * 2);
            uint8_t* out = reinterpret_cast<uint8_t*>(soundBuffer.data());
            const int frames = swr_convert(resampler, &out, capacity, const_cast<const uint8_t**>(f.extended_data),
                                           f.nb_samples);
            if (frames > 0) {
                sound->Queue(soundBuffer.data(), uint32_t(frames));
                soundQueued += uint64_t(frames);
            }
        }
        av_frame_unref(soundFrame);
    }
}

bool VideoPlayer::Impl::NextPicture() {
    for (;;) {
        if (Stalled()) return false;
        const int r = avcodec_receive_frame(video, picture);
        if (r == 0) {
            errors = 0;
            ++decoded;
            return true;
        }
        if (r == AVERROR_EOF) return false;
        if (r != AVERROR(EAGAIN)) {
            if (Error()) return false;
            continue;
        }
        Fill();
        if (damaged) return false;
        if (ringCount == 0) {
            // The data has ended: what the decoder still holds comes out, then the end.
            if (flushed) return false;
            flushed = true;
            avcodec_send_packet(video, nullptr);
            continue;
        }
        AVPacket* p = ring[ringHead];
        const int sent = avcodec_send_packet(video, p);
        if (sent == AVERROR(EAGAIN)) {
            // The decoder wants its output taken first; a decoder that takes neither is broken.
            if (Error()) return false;
            continue;
        }
        av_packet_unref(p);
        ringHead = (ringHead + 1) % ring.size();
        --ringCount;
        if (sent < 0 && Error()) return false;
    }
}

void VideoPlayer::Impl::Show(VideoSink& sink) {
    const AVFrame& f = *picture;
    scaler = sws_getCachedContext(scaler, f.width, f.height, AVPixelFormat(f.format), width, height, AV_PIX_FMT_BGRA,
                                  SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!scaler || f.width <= 0 || f.height <= 0) {
        Error();
        return;
    }
    uint8_t* planes[4] = {bgra, nullptr, nullptr, nullptr};
    int strides[4] = {pitch, 0, 0, 0};
    if (sws_scale(scaler, f.data, f.linesize, 0, f.height, planes, strides) != height) {
        Error();
        return;
    }
    ++shown;
    sink.ShowPicture(VideoPicture{bgra, width, height, pitch});
}

void VideoPlayer::Impl::FirstPictureShown(double due) {
    firstShown = true;
    // The time the first present took (a software renderer's first frame can take a second)
    // is not the clip's: the pictures after it keep their spacing.
    wallBase = clock->Now() - due;
    for (size_t i = 0; i < heldCount; ++i) {
        if (sound) QueueSound(heldSound[i]);
        av_packet_unref(heldSound[i]);
    }
    heldCount = 0;
}

VideoPlayer::VideoPlayer(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
VideoPlayer::~VideoPlayer() = default;

std::unique_ptr<VideoPlayer> VideoPlayer::Open(const char* path, int32_t maxWidth, int32_t maxHeight,
                                               std::string& error) {
    auto impl = std::make_unique<Impl>();
    if (!path || !impl->OpenFile(path, maxWidth, maxHeight, error)) return nullptr;
    return std::unique_ptr<VideoPlayer>(new VideoPlayer(std::move(impl)));
}

int32_t VideoPlayer::Width() const { return impl_->width; }
int32_t VideoPlayer::Height() const { return impl_->height; }
bool VideoPlayer::HasSoundStream() const { return impl_->audio != nullptr; }
bool VideoPlayer::SoundPlaying() const { return impl_->sound != nullptr; }
int32_t VideoPlayer::SoundRate() const { return impl_->sound ? impl_->soundRate : 0; }
int64_t VideoPlayer::PicturesShown() const { return impl_->shown; }
int64_t VideoPlayer::DeclaredFrames() const { return impl_->declaredFrames; }

bool VideoPlayer::Start(SoundOutput* sound, PlaybackClock& clock) {
    Impl& m = *impl_;
    if (m.started) return false;
    m.started = true;
    m.clock = &clock;
    m.pacer = FramePacer(m.period);
    if (sound && m.audio) {
        const int32_t rate = sound->Open(m.audio->sample_rate);
        if (rate >= kMinSoundRate && rate <= kMaxSoundRate) {
            m.sound = sound;
            m.soundRate = rate;
            if (!m.OpenResampler(m.audio->ch_layout, m.audio->sample_fmt, m.audio->sample_rate)) m.CloseSound();
        } else if (rate > 0) {
            sound->Close();
        }
    }
    m.wallBase = clock.Now();
    m.lastPictureAt = m.wallBase;
    return true;
}

PlaybackState VideoPlayer::Wait(uint32_t milliseconds, VideoSink& sink) {
    Impl& m = *impl_;
    if (!m.started || m.state != PlaybackState::Playing) return m.state;
    PlaybackClock& clock = *m.clock;
    const double end = clock.Now() + milliseconds / 1000.0;
    for (;;) {
        if (!m.pending && !m.videoDone) {
            if (m.NextPicture()) {
                const AVStream* stream = m.format->streams[m.videoIndex];
                m.pendingDue = m.pacer.Due(Seconds(m.picture->best_effort_timestamp, stream->time_base,
                                                   stream->start_time),
                                           m.Clock());
                m.pending = true;
            } else {
                m.videoDone = true;
            }
        }
        if (m.pending) {
            const double now = m.Clock();
            if (now + kDueSlack >= m.pendingDue) {
                m.Show(sink);
                if (!m.firstShown) m.FirstPictureShown(m.pendingDue);
                m.lastPictureAt = clock.Now();
                av_frame_unref(m.picture);
                m.pending = false;
                if (m.damaged) m.videoDone = true;
                continue;
            }
            if (m.Stalled()) {
                av_frame_unref(m.picture);
                m.pending = false;
                m.videoDone = true;
                continue;
            }
            // The sound is topped up before the wait, so that it never runs dry.
            m.Fill();
            const double wall = clock.Now();
            if (wall >= end) return PlaybackState::Playing;
            // Never past the deadline: a picture held beyond it ends the playback in time.
            const double untilStalled = m.PictureDeadline() + 2.0 * kDueSlack - wall;
            clock.Sleep(std::max(std::min({m.pendingDue - now, end - wall, untilStalled}), 0.0));
            continue;
        }
        // Every picture is out: the sound still queued plays on, for at most a second.
        const double wall = clock.Now();
        if (!m.tailStarted) {
            m.tailStarted = true;
            m.tailEnd = wall + kSoundTail;
        }
        const uint32_t queued = (m.sound && !m.damaged) ? m.sound->QueuedFrames() : 0;
        if (queued == 0 || wall >= m.tailEnd) {
            const bool shortOfFrames = m.declaredFrames > 0 && m.decoded < m.declaredFrames;
            m.state = (m.damaged || shortOfFrames) ? PlaybackState::Damaged : PlaybackState::Finished;
            return m.state;
        }
        if (wall >= end) return PlaybackState::Playing;
        clock.Sleep(std::min({double(queued) / m.soundRate, m.tailEnd - wall, end - wall}));
    }
}

void VideoPlayer::Stop() {
    impl_->CloseSound();
    if (impl_->state == PlaybackState::Playing) impl_->state = PlaybackState::Finished;
}

}  // namespace plat
