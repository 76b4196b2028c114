#include "tools/writers/AudioWriter.h"

#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cstdio>

#include "platform/sys/Paths.h"

namespace tools {
namespace {
void Put16(std::string& s, uint16_t v) {
    s.push_back(char(v & 0xFF));
    s.push_back(char(v >> 8));
}
void Put32(std::string& s, uint32_t v) {
    Put16(s, uint16_t(v & 0xFFFF));
    Put16(s, uint16_t(v >> 16));
}
bool WriteFile(const std::string& path, const std::string& bytes) {
    std::FILE* f = plat::OpenFile(path, "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}
} // namespace

std::string PcmBytes(const std::vector<int16_t>& samples) {
    std::string s;
    s.reserve(samples.size() * 2);
    for (int16_t v : samples) Put16(s, uint16_t(v));
    return s;
}

std::string WavBytes(uint16_t channels, uint32_t rate, uint16_t bits, const std::string& pcm) {
    const uint16_t align = uint16_t(channels * bits / 8);
    std::string s = "RIFF";
    Put32(s, uint32_t(36 + pcm.size()));
    s += "WAVEfmt ";
    Put32(s, 16);
    Put16(s, 1);
    Put16(s, channels);
    Put32(s, rate);
    Put32(s, rate * align);
    Put16(s, align);
    Put16(s, bits);
    s += "data";
    Put32(s, uint32_t(pcm.size()));
    return s + pcm;
}

bool WriteWav(const std::string& path, uint16_t channels, uint32_t rate, const std::vector<int16_t>& samples) {
    return WriteFile(path, WavBytes(channels, rate, 16, PcmBytes(samples)));
}

bool WriteOgg(const std::string& path, int channels, long rate, const std::vector<int16_t>& samples, float quality) {
    std::FILE* f = plat::OpenFile(path, "wb");
    if (!f) return false;
    vorbis_info vi;
    vorbis_info_init(&vi);
    if (vorbis_encode_init_vbr(&vi, channels, rate, quality) != 0) {
        vorbis_info_clear(&vi);
        std::fclose(f);
        return false;
    }
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    vorbis_dsp_state vd;
    vorbis_block vb;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block_init(&vd, &vb);
    ogg_stream_state os;
    ogg_stream_init(&os, 0x4D465241); // fixed serial: the same input gives the same file
    ogg_packet header, comment, code;
    vorbis_analysis_headerout(&vd, &vc, &header, &comment, &code);
    ogg_stream_packetin(&os, &header);
    ogg_stream_packetin(&os, &comment);
    ogg_stream_packetin(&os, &code);
    ogg_page og;
    bool ok = true;
    auto writePage = [&](const ogg_page& page) {
        ok &= std::fwrite(page.header, 1, size_t(page.header_len), f) == size_t(page.header_len);
        ok &= std::fwrite(page.body, 1, size_t(page.body_len), f) == size_t(page.body_len);
    };
    while (ogg_stream_flush(&os, &og) != 0) writePage(og);

    const size_t frames = samples.size() / size_t(channels);
    const size_t block = 1024;
    size_t at = 0;
    bool eos = false;
    while (!eos) {
        size_t n = std::min(block, frames - at);
        if (n == 0) {
            vorbis_analysis_wrote(&vd, 0);
        } else {
            float** buffer = vorbis_analysis_buffer(&vd, int(n));
            for (size_t i = 0; i < n; ++i)
                for (int c = 0; c < channels; ++c)
                    buffer[c][i] = float(samples[(at + i) * size_t(channels) + size_t(c)]) / 32768.0f;
            vorbis_analysis_wrote(&vd, int(n));
            at += n;
        }
        while (vorbis_analysis_blockout(&vd, &vb) == 1) {
            vorbis_analysis(&vb, nullptr);
            vorbis_bitrate_addblock(&vb);
            ogg_packet op;
            while (vorbis_bitrate_flushpacket(&vd, &op)) {
                ogg_stream_packetin(&os, &op);
                while (!eos && ogg_stream_pageout(&os, &og) != 0) {
                    writePage(og);
                    if (ogg_page_eos(&og)) eos = true;
                }
            }
        }
        if (n == 0 && !eos) {
            // Everything is submitted: flush what is left.
            while (ogg_stream_flush(&os, &og) != 0) writePage(og);
            eos = true;
        }
    }
    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    return std::fclose(f) == 0 && ok;
}

} // namespace tools
