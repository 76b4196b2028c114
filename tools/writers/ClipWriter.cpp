#include "tools/writers/ClipWriter.h"

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace tools {

namespace {

struct Encoder {
    AVCodecContext* context = nullptr;
    AVStream* stream = nullptr;
    ~Encoder() { avcodec_free_context(&context); }
};

class ClipFile {
public:
    ~ClipFile() {
        if (format && format->pb) avio_closep(&format->pb);
        avformat_free_context(format);
        av_frame_free(&picture);
        av_frame_free(&sound);
        av_packet_free(&packet);
        sws_freeContext(scaler);
    }

    bool Fail(const char* what) {
        error = what;
        return false;
    }

    bool Write(const std::string& path, const ClipDescription& clip);

private:
    bool AddVideo(const ClipDescription& clip);
    bool AddSound(const ClipDescription& clip);
    // Sends a frame (null: the end) and writes every packet the encoder gives back.
    bool Encode(Encoder& e, AVFrame* frame);

public:
    std::string error;

private:
    AVFormatContext* format = nullptr;
    Encoder video, audio;
    AVFrame* picture = nullptr;
    AVFrame* sound = nullptr;
    AVPacket* packet = nullptr;
    SwsContext* scaler = nullptr;
};

bool ClipFile::AddVideo(const ClipDescription& clip) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    if (!codec) return Fail("no MPEG-4 encoder");
    video.stream = avformat_new_stream(format, nullptr);
    video.context = avcodec_alloc_context3(codec);
    if (!video.stream || !video.context) return Fail("out of memory");
    AVCodecContext* c = video.context;
    c->width = clip.width;
    c->height = clip.height;
    c->time_base = AVRational{1, clip.framesPerSecond};
    c->framerate = AVRational{clip.framesPerSecond, 1};
    c->pix_fmt = AV_PIX_FMT_YUV420P;
    c->gop_size = 12;
    c->max_b_frames = 0;
    c->thread_count = 1;
    // A fixed fine quantiser: solid test colours come back within a level or two.
    c->flags |= AV_CODEC_FLAG_QSCALE | AV_CODEC_FLAG_BITEXACT;
    c->global_quality = FF_QP2LAMBDA * 2;
    if (format->oformat->flags & AVFMT_GLOBALHEADER) c->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(c, codec, nullptr) < 0) return Fail("the MPEG-4 encoder refuses the picture size");
    if (avcodec_parameters_from_context(video.stream->codecpar, c) < 0) return Fail("out of memory");
    video.stream->time_base = c->time_base;

    picture = av_frame_alloc();
    if (!picture) return Fail("out of memory");
    picture->format = c->pix_fmt;
    picture->width = c->width;
    picture->height = c->height;
    if (av_frame_get_buffer(picture, 0) < 0) return Fail("out of memory");
    scaler = sws_getContext(clip.width, clip.height, AV_PIX_FMT_BGRA, clip.width, clip.height, AV_PIX_FMT_YUV420P,
                            SWS_BILINEAR | SWS_ACCURATE_RND | SWS_BITEXACT, nullptr, nullptr, nullptr);
    return scaler ? true : Fail("no colour conversion");
}

bool ClipFile::AddSound(const ClipDescription& clip) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_PCM_S16LE);
    if (!codec) return Fail("no PCM encoder");
    audio.stream = avformat_new_stream(format, nullptr);
    audio.context = avcodec_alloc_context3(codec);
    if (!audio.stream || !audio.context) return Fail("out of memory");
    AVCodecContext* c = audio.context;
    c->sample_rate = clip.soundRate;
    c->sample_fmt = AV_SAMPLE_FMT_S16;
    c->time_base = AVRational{1, clip.soundRate};
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    if (av_channel_layout_copy(&c->ch_layout, &stereo) < 0) return Fail("out of memory");
    if (avcodec_open2(c, codec, nullptr) < 0) return Fail("the PCM encoder refuses the sound");
    if (avcodec_parameters_from_context(audio.stream->codecpar, c) < 0) return Fail("out of memory");
    audio.stream->time_base = c->time_base;
    sound = av_frame_alloc();
    return sound ? true : Fail("out of memory");
}

bool ClipFile::Encode(Encoder& e, AVFrame* frame) {
    if (avcodec_send_frame(e.context, frame) < 0) return Fail("the encoder refuses a frame");
    for (;;) {
        const int r = avcodec_receive_packet(e.context, packet);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) return true;
        if (r < 0) return Fail("the encoder fails");
        av_packet_rescale_ts(packet, e.context->time_base, e.stream->time_base);
        packet->stream_index = e.stream->index;
        if (av_interleaved_write_frame(format, packet) < 0) return Fail("cannot write the file");
    }
}

bool ClipFile::Write(const std::string& path, const ClipDescription& clip) {
    if (clip.width <= 0 || clip.height <= 0 || clip.width % 2 || clip.height % 2) return Fail("bad picture size");
    if (clip.framesPerSecond <= 0 || clip.frameCount <= 0 || !clip.paint) return Fail("no pictures");
    if (clip.soundRate < 0 || (clip.soundRate > 0 && !clip.sound)) return Fail("bad sound");
    if (avformat_alloc_output_context2(&format, nullptr, "avi", path.c_str()) < 0 || !format)
        return Fail("no AVI writer");
    format->flags |= AVFMT_FLAG_BITEXACT;
    packet = av_packet_alloc();
    if (!packet) return Fail("out of memory");
    if (!AddVideo(clip)) return false;
    if (clip.soundRate > 0 && !AddSound(clip)) return false;
    if (avio_open(&format->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) return Fail("cannot create the file");
    if (avformat_write_header(format, nullptr) < 0) return Fail("cannot write the header");

    std::vector<uint32_t> argb(size_t(clip.width) * size_t(clip.height));
    std::vector<int16_t> stereo;
    for (int32_t i = 0; i < clip.frameCount; ++i) {
        clip.paint(i, argb.data());
        if (av_frame_make_writable(picture) < 0) return Fail("out of memory");
        const uint8_t* src[4] = {reinterpret_cast<const uint8_t*>(argb.data()), nullptr, nullptr, nullptr};
        const int srcStride[4] = {clip.width * 4, 0, 0, 0};
        sws_scale(scaler, src, srcStride, 0, clip.height, picture->data, picture->linesize);
        picture->pts = i;
        if (!Encode(video, picture)) return false;
        if (clip.soundRate > 0) {
            // The sound of this picture's period, so that both streams interleave evenly.
            const int64_t first = int64_t(i) * clip.soundRate / clip.framesPerSecond;
            const int64_t next = int64_t(i + 1) * clip.soundRate / clip.framesPerSecond;
            const int32_t count = int32_t(next - first);
            if (count <= 0) continue;
            stereo.assign(size_t(count) * 2, 0);
            clip.sound(first, stereo.data(), count);
            av_frame_unref(sound);
            sound->format = AV_SAMPLE_FMT_S16;
            sound->sample_rate = clip.soundRate;
            sound->nb_samples = count;
            AVChannelLayout layout = AV_CHANNEL_LAYOUT_STEREO;
            if (av_channel_layout_copy(&sound->ch_layout, &layout) < 0 || av_frame_get_buffer(sound, 0) < 0)
                return Fail("out of memory");
            std::copy(stereo.begin(), stereo.end(), reinterpret_cast<int16_t*>(sound->data[0]));
            sound->pts = first;
            if (!Encode(audio, sound)) return false;
        }
    }
    if (!Encode(video, nullptr)) return false;
    if (audio.context && !Encode(audio, nullptr)) return false;
    if (av_write_trailer(format) < 0) return Fail("cannot finish the file");
    if (avio_closep(&format->pb) < 0) return Fail("cannot close the file");
    return true;
}

}  // namespace

bool WriteClip(const std::string& path, const ClipDescription& clip, std::string* error) {
    ClipFile file;
    const bool ok = file.Write(path, clip);
    if (!ok && error) *error = file.error;
    return ok;
}

ClipDescription SolidClip(const std::vector<uint32_t>& colours, int32_t width, int32_t height, int32_t framesPerSecond) {
    ClipDescription clip;
    clip.width = width;
    clip.height = height;
    clip.framesPerSecond = framesPerSecond;
    clip.frameCount = int32_t(colours.size());
    clip.paint = [colours, width, height](int32_t index, uint32_t* argb) {
        std::fill(argb, argb + size_t(width) * size_t(height), colours[size_t(index)]);
    };
    return clip;
}

std::function<void(int64_t, int16_t*, int32_t)> ToneSound(double hz, int32_t rate, double amplitude) {
    return [hz, rate, amplitude](int64_t first, int16_t* stereo, int32_t count) {
        for (int32_t i = 0; i < count; ++i) {
            const double t = double(first + i) / rate;
            const int16_t s = int16_t(amplitude * std::sin(6.283185307179586 * hz * t));
            stereo[2 * i] = stereo[2 * i + 1] = s;
        }
    };
}

}  // namespace tools
