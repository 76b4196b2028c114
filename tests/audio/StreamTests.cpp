#include <gtest/gtest.h>

#include <cmath>

#include "engine/audio/DS8Audio.h"
#include "engine/audio/DS8BufferAudio.h"
#include "engine/audio/SoundMixer.h"
#include "tests/audio/AudioTestSupport.h"
#include "tests/audio/OggPages.h"

using testing_support::LogCapture;
using testing_support::TempWorkDir;

namespace {

std::string U32(uint32_t v) {
    std::string s;
    for (int i = 0; i < 4; ++i) s.push_back(char((v >> (8 * i)) & 0xFF));
    return s;
}

// Patches bytes of a canonical WAV file at an offset.
std::string Patch(std::string bytes, size_t at, const std::string& with) {
    bytes.replace(at, with.size(), with);
    return bytes;
}

} // namespace

TEST(WavStream, HeadersGoodAndMalformed) {
    TempWorkDir dir;
    LogCapture log;
    const std::string pcm = tools::PcmBytes(audio_test::Constant(100, {7}));
    const std::string good = tools::WavBytes(1, 22050, 16, pcm);
    std::string withList = good.substr(0, 36) + "LIST" + U32(4) + "abcd" + good.substr(36);
    std::string longFmt = Patch(good, 16, U32(18));
    struct Case {
        const char* what;
        std::string bytes;
        const char* logged; // null: nothing logged
        uint32_t dataSize;
        bool mixable;
    } cases[] = {
        {"mono 22050", good, nullptr, 200, true},
        {"not RIFF", Patch(good, 0, "RIFX"), "is not an audiofile", 0, false},
        {"not WAVE", Patch(good, 8, "WAVX"), "is not a wave file", 0, false},
        {"no fmt", Patch(good, 12, "fmtX"), "has no header", 0, false},
        {"18-byte format chunk", longFmt, "has an invalid header", 0, false},
        {"float samples", Patch(good, 20, std::string("\x03\x00", 2)), "doesn't have PCM encoding", 0, false},
        {"chunk before data", withList, "has no data", 0, true},
        {"data size beyond the file", Patch(good, 40, U32(0x7FFFFFF0u)), "has a data size of 2147483632 beyond its 200 bytes", 200, true},
        {"odd data size", Patch(good, 40, U32(199)), nullptr, 198, true},
        {"empty file", "", "is not an audiofile", 0, false},
        {"8-bit", tools::WavBytes(1, 22050, 8, pcm), nullptr, 200, false},
        {"zero rate", Patch(good, 24, U32(0)), nullptr, 200, false},
        {"absurd rate", Patch(good, 24, U32(0xFFFFFFF0u)), nullptr, 200, false},
        {"three channels", tools::WavBytes(3, 22050, 16, pcm.substr(0, 198)), nullptr, 198, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        dir.WriteBytes("t.wav", c.bytes);
        log.Clear();
        WavStream s("t.wav");
        if (c.logged) EXPECT_TRUE(log.Contains(std::string("t.wav ") + c.logged)) << log.Lines().size();
        else EXPECT_TRUE(log.Lines().empty()) << log.Lines()[0];
        EXPECT_EQ(s.dataSize, c.dataSize);
        EXPECT_EQ(s.IsMixable(), c.mixable);
        // A static decode never allocates more than the file holds, whatever the header says.
        std::unique_ptr<SampleBuffer> b(DecodeStream(&s, false));
        EXPECT_LE(uint32_t(b->size), c.dataSize);
    }
    // Header values are taken as written.
    dir.WriteBytes("m.wav", good);
    WavStream m("m.wav");
    EXPECT_EQ(m.format.blockAlign, 2);
    EXPECT_EQ(m.format.avgBytesPerSecond, 44100u);
    EXPECT_EQ(m.format.samplesPerSecond, 22050u);
}

// One WAV file spelled out byte by byte: the writer must produce exactly these bytes and the
// reader must find every field and every sample in them.
TEST(WavStream, GoldenFile) {
    TempWorkDir dir;
    const std::vector<uint8_t> golden = {
        'R', 'I', 'F', 'F', 0x2C, 0x00, 0x00, 0x00,  // RIFF, 36 + 8 bytes follow
        'W', 'A', 'V', 'E',                          //
        'f', 'm', 't', ' ', 0x10, 0x00, 0x00, 0x00,  // a format chunk of 16 bytes
        0x01, 0x00,                                  // PCM
        0x02, 0x00,                                  // two channels
        0x22, 0x56, 0x00, 0x00,                      // 22050 Hz
        0x88, 0x58, 0x01, 0x00,                      // 88200 bytes per second
        0x04, 0x00,                                  // block align 4
        0x10, 0x00,                                  // 16 bits per sample
        'd', 'a', 't', 'a', 0x08, 0x00, 0x00, 0x00,  // 8 data bytes
        0x01, 0x00, 0xFF, 0xFF,                      // frame 1: 1, -1
        0x00, 0x80, 0xFF, 0x7F,                      // frame 2: -32768, 32767
    };
    const std::vector<int16_t> samples = {1, -1, -32768, 32767};
    const std::string bytes(golden.begin(), golden.end());
    EXPECT_EQ(tools::WavBytes(2, 22050, 16, tools::PcmBytes(samples)), bytes);
    dir.WriteBytes("Golden.wav", bytes);
    WavStream s("Golden.wav");
    EXPECT_TRUE(s.IsPlayable());
    EXPECT_EQ(s.format.formatTag, 1);
    EXPECT_EQ(s.format.channels, 2);
    EXPECT_EQ(s.format.samplesPerSecond, 22050u);
    EXPECT_EQ(s.format.avgBytesPerSecond, 88200u);
    EXPECT_EQ(s.format.blockAlign, 4);
    EXPECT_EQ(s.format.bitsPerSample, 16);
    EXPECT_EQ(s.dataSize, 8u);
    std::vector<int16_t> read(4);
    EXPECT_EQ(s.Read(reinterpret_cast<uint8_t*>(read.data()), 8), 8);
    EXPECT_EQ(read, samples);
}

TEST(WavStream, LoopingReadPastTheEndContinuesFromTheStart) {
    TempWorkDir dir;
    std::vector<int16_t> ramp = {1, 2, 3, 4};
    audio_test::WriteWav(dir, "r.wav", 1, 44100, ramp);
    WavStream s("r.wav");
    std::vector<int16_t> out(11, -1);
    EXPECT_EQ(s.Read(reinterpret_cast<uint8_t*>(out.data()), 22), 22); // the whole request counts
    const std::vector<int16_t> expect = {1, 2, 3, 4, 1, 2, 3, 4, 1, 2, 3};
    EXPECT_EQ(out, expect);
    std::vector<int16_t> next(2);
    s.Read(reinterpret_cast<uint8_t*>(next.data()), 4);
    EXPECT_EQ(next, (std::vector<int16_t>{4, 1}));
    s.Rewind();
    s.Read(reinterpret_cast<uint8_t*>(next.data()), 4);
    EXPECT_EQ(next, (std::vector<int16_t>{1, 2}));
}

TEST(OggStream, EncodedInTheTestDecodesToTheRightLength) {
    TempWorkDir dir;
    const long rate = 44100;
    std::vector<int16_t> sine;
    for (long i = 0; i < rate * 3; ++i) {
        int16_t v = int16_t(12000.0 * std::sin(6.283185307179586 * 440.0 * double(i) / double(rate)));
        sine.push_back(v);
        sine.push_back(int16_t(-v));
    }
    ASSERT_TRUE(tools::WriteOgg(dir.Path() + "/Music.ogg", 2, rate, sine));
    OggStream s("Music.ogg");
    EXPECT_EQ(s.format.channels, 2);
    EXPECT_EQ(s.format.samplesPerSecond, 44100u);
    EXPECT_EQ(s.format.blockAlign, 4);
    EXPECT_EQ(s.format.avgBytesPerSecond, 176400u);
    EXPECT_EQ(s.dataSize, 529200u);
    std::unique_ptr<SampleBuffer> b(DecodeStream(&s, false));
    ASSERT_EQ(b->frames, 132300);
    // Decoded whole: the last tenth of a second still holds the tone.
    const auto* p = reinterpret_cast<const int16_t*>(b->data.data());
    int peak = 0;
    for (int i = 132300 - 4410; i < 132300; ++i) peak = std::max(peak, std::abs(int(p[i * 2])));
    EXPECT_GT(peak, 8000);
    // Looping: a read across the end is filled completely.
    std::vector<uint8_t> chunk(65536);
    uint64_t total = 0;
    for (int i = 0; i < 12; ++i) total += uint64_t(s.Read(chunk.data(), int32_t(chunk.size())));
    EXPECT_EQ(total, 12u * 65536u);
}

namespace {
std::vector<int16_t> Chirp(long frames) {
    std::vector<int16_t> s;
    for (long i = 0; i < frames; ++i) {
        const double t = double(i) / 22050.0;
        s.push_back(int16_t(9000.0 * std::sin(6.283185307179586 * (200.0 + 400.0 * t) * t)));
    }
    return s;
}
} // namespace

TEST(OggStream, LoopingReadsRunOnFromTheStartWithoutRepeatingASpan) {
    TempWorkDir dir;
    ASSERT_TRUE(tools::WriteOgg(dir.Path() + "/Loop.ogg", 1, 22050, Chirp(22050)));
    OggStream whole("Loop.ogg");
    ASSERT_EQ(whole.dataSize, 44100u);
    std::vector<uint8_t> once(whole.dataSize);
    ASSERT_EQ(whole.Read(once.data(), int32_t(once.size())), int32_t(once.size()));
    // Odd-sized reads, as a streaming ring takes them, across two ends of the track.
    OggStream s("Loop.ogg");
    std::vector<uint8_t> got;
    std::vector<uint8_t> chunk(7002);
    while (got.size() < once.size() * 2 + 5000) {
        const int32_t n = s.Read(chunk.data(), int32_t(chunk.size()));
        ASSERT_EQ(n, int32_t(chunk.size()));
        got.insert(got.end(), chunk.begin(), chunk.end());
    }
    for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], once[i % once.size()]) << "byte " << i;
}

TEST(OggStream, DamagedPagesNeverYieldANegativeOrOversizedCount) {
    TempWorkDir dir;
    ASSERT_TRUE(tools::WriteOgg(dir.Path() + "/Hurt.ogg", 1, 22050, Chirp(22050 * 10)));
    std::string bytes = dir.ReadBytes("Hurt.ogg");
    // A page cut out of the middle (the decoder reports the hole) and flipped bits after it.
    const size_t cut = bytes.find("OggS", bytes.size() / 3);
    const size_t next = bytes.find("OggS", cut + 4);
    ASSERT_NE(next, std::string::npos);
    bytes.erase(cut, next - cut);
    for (size_t at = bytes.size() / 2; at < bytes.size() * 3 / 4; at += 97) bytes[at] = char(bytes[at] ^ 0x5A);
    dir.WriteBytes("Hurt.ogg", bytes);
    OggStream s("Hurt.ogg");
    std::vector<uint8_t> chunk(4096);
    for (int i = 0; i < 100; ++i) {
        const int32_t n = s.Read(chunk.data(), int32_t(chunk.size()));
        ASSERT_GE(n, 0);
        ASSERT_LE(n, int32_t(chunk.size()));
        // What the feeder would take as its next write offset stays inside its ring.
        EXPECT_LE(s.Fill(chunk.data(), uint32_t(chunk.size())), chunk.size());
    }
}

TEST(OggStream, InvalidFileIsLoggedAndSilent) {
    TempWorkDir dir;
    LogCapture log;
    dir.WriteBytes("Bad.ogg", "this is not vorbis");
    OggStream s("Bad.ogg");
    EXPECT_TRUE(log.Contains("OGGLOADER: Bad.ogg is not a valid OGG file"));
    uint8_t buf[16];
    EXPECT_EQ(s.Read(buf, 16), 0);
    EXPECT_EQ(s.dataSize, 0u);
}

TEST(SoundFactory, NamesResolveThroughTheDirectoriesAndLoadersByExtension) {
    TempWorkDir dir;
    audio_test::SetUpFactory();
    LogCapture log;
    const auto tone = audio_test::Constant(10, {5});
    audio_test::WriteWav(dir, "Audio/Only.WAV", 1, 22050, tone);
    audio_test::WriteWav(dir, "Both.WAV", 1, 22050, tone);
    audio_test::WriteWav(dir, "Audio/Both.WAV", 1, 22050, tone);
    EXPECT_EQ(SoundFactory::Resolve("Only.WAV"), "Audio\\Only.WAV");
    EXPECT_EQ(SoundFactory::Resolve("Both.WAV"), "Both.WAV");
    EXPECT_NE(SoundFactory::PickLoader("audio\\only.wav"), nullptr);
    EXPECT_NE(dynamic_cast<OggLoader*>(SoundFactory::PickLoader("x.Ogg")), nullptr);
    EXPECT_TRUE(log.Lines().empty());

    DS8BufferAudio device(audiohal::Backend::Capture);
    device.Init(-1, nullptr);
    // Volume 0 returns before any lookup.
    device.PlaySound("Missing.WAV", 0.0f);
    EXPECT_TRUE(log.Lines().empty());
    // A missing file and an unknown extension give the silent default voice.
    AudioVoice* missing = device.CreateSound("Missing.WAV");
    EXPECT_TRUE(log.Contains("SOUNDFACTORY: Sound Missing.WAV not found!"));
    ASSERT_NE(missing, nullptr);
    EXPECT_EQ(static_cast<DS8BufferVoice*>(missing)->Name(), "Default");
    dir.WriteBytes("Audio/Tune.MID", "MThd");
    AudioVoice* unknown = device.CreateSound("Tune.MID");
    EXPECT_TRUE(log.Contains("SOUNDFACTORY: Sound Audio\\Tune.MID cannot be decoded!"));
    ASSERT_NE(unknown, nullptr);
    // A format the mixers cannot play is refused the same way.
    dir.WriteBytes("Audio/Byte.WAV", tools::WavBytes(1, 22050, 8, "abcd"));
    log.Clear();
    AudioVoice* bytes = device.CreateSound("Byte.WAV");
    EXPECT_TRUE(log.Contains("SOUNDFACTORY: Sound Byte.WAV cannot be decoded!"));
    // The silent default is a prototype like any sound: a second request gets its clone.
    EXPECT_EQ(static_cast<DS8BufferVoice*>(bytes)->Name(), "Default Clone");
    unknown->Play(false);
    EXPECT_FALSE(unknown->IsPlaying()); // no output device: nothing is heard
    device.ReleaseVoice(missing);
    device.ReleaseVoice(unknown);
    device.ReleaseVoice(bytes);
}

// The factory hands a device only a stream whose whole header was read and whose format the
// mixers play; anything else gets the "cannot be decoded" line before a buffer is sized from it.
TEST(SoundFactory, RefusesBrokenHeadersAndFormatsOutOfRange) {
    TempWorkDir dir;
    audio_test::SetUpFactory();
    LogCapture log;
    const std::string pcm = tools::PcmBytes(audio_test::Constant(100, {7, 7}));
    const auto wav = [&](uint16_t channels, uint32_t rate, uint16_t bits) {
        return tools::WavBytes(channels, rate, bits, pcm);
    };
    struct Case {
        const char* what;
        std::string bytes;
        bool accepted;
    } cases[] = {
        {"stereo 22050", wav(2, 22050, 16), true},
        {"lowest rate", wav(1, 1000, 16), true},
        {"highest rate", wav(2, 192000, 16), true},
        {"44 bytes breaking after the format, at 2^31 Hz", Patch(tools::WavBytes(1, 0x7FFFFFFF, 16, ""), 36, "junk"), false},
        {"breaking after the format at a sane rate", Patch(wav(2, 22050, 16), 36, "junk"), false},
        {"not RIFF", Patch(wav(2, 22050, 16), 0, "RIFX"), false},
        {"rate below 1000", wav(1, 999, 16), false},
        {"rate above 192000", wav(1, 192001, 16), false},
        {"no channels", wav(0, 22050, 16), false},
        {"three channels", wav(3, 22050, 16), false},
        {"24-bit", wav(2, 22050, 24), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        dir.WriteBytes("Audio/T.WAV", c.bytes);
        log.Clear();
        SoundRequest request;
        EXPECT_EQ(SoundFactory::Open(request, "T.WAV"), c.accepted);
        EXPECT_EQ(request.stream != nullptr, c.accepted);
        EXPECT_EQ(log.Contains("SOUNDFACTORY: Sound T.WAV cannot be decoded!"), !c.accepted);
    }
}

// Handed to a device directly, a stream whose header failed still gets no ring sized from the
// rate its header claimed.
TEST(SoundFactory, AStreamWithABrokenHeaderIsNeverGivenARing) {
    TempWorkDir dir;
    audio_test::SetUpFactory();
    LogCapture log;
    dir.WriteBytes("Audio/Broken.WAV", Patch(tools::WavBytes(1, 50000000, 16, ""), 36, "junk"));
    const auto brokenStream = [] {
        auto request = std::make_unique<SoundRequest>();
        request->name = "Audio\\Broken.WAV";
        request->streaming = true;
        request->stream = std::make_unique<WavStream>(request->name);
        return request;
    };
    DS8Audio::Options options;
    options.backend = audiohal::Backend::Capture;
    options.outputThread = false;
    DS8Audio mixing(options);
    mixing.Init(0, nullptr);
    auto* mixed = static_cast<DS8MixVoice*>(mixing.CreateVoice(*brokenStream()));
    ASSERT_NE(mixed->Mix().buffer, nullptr);
    EXPECT_EQ(mixed->Mix().buffer->size, 0);
    mixing.ReleaseVoice(mixed);

    DS8BufferAudio buffers(audiohal::Backend::Capture);
    buffers.Init(0, nullptr);
    auto* voice = static_cast<DS8BufferVoice*>(buffers.CreateVoice(*brokenStream()));
    EXPECT_EQ(voice->Buffer(), nullptr);
    EXPECT_TRUE(log.Contains("DS8Audio: Failed creating buffer for Audio\\Broken.WAV"));
    buffers.ReleaseVoice(voice);

    // Through the entry point the sound is refused and the silent default takes its place.
    AudioVoice* music = mixing.CreateSound("Broken.WAV", false, true);
    EXPECT_EQ(static_cast<DS8MixVoice*>(music)->Mix().buffer->rate, 22050);
    mixing.ReleaseVoice(music);
}


// A file whose last page claims far more samples than its packets hold: a sound read whole takes
// what the file decodes to, never a buffer of the claimed size.
TEST(OggStream, ALengthClaimBeyondWhatDecodesSizesNoBuffer) {
    TempWorkDir dir;
    audio_test::SetUpFactory();
    // Ten seconds take several pages (the first page's own count sets where the stream begins).
    ASSERT_TRUE(tools::WriteOgg(dir.Path() + "/Ten.ogg", 1, 22050, Chirp(22050 * 10)));
    dir.WriteBytes("Audio/Liar.OGG", audio_test::WithLastGranule(dir.ReadBytes("Ten.ogg"), 5000000));
    OggStream s("Audio/Liar.OGG");
    ASSERT_GT(s.dataSize, 9000000u); // the claim is taken as the length ...
    // ... and what decodes is what is kept: the ten seconds and the rest of the encoder's last
    // block, which the true count at the end would have trimmed.
    std::unique_ptr<SampleBuffer> b(DecodeStream(&s, false));
    EXPECT_GE(b->size, 441000);
    EXPECT_LT(b->size, 441000 + 8192);
    DS8BufferAudio device(audiohal::Backend::Capture);
    device.Init(0, nullptr);
    auto* voice = static_cast<DS8BufferVoice*>(device.CreateSound("Liar.OGG"));
    ASSERT_NE(voice->Buffer(), nullptr);
    EXPECT_EQ(voice->Buffer()->Size(), uint32_t(b->size));
    device.ReleaseVoice(voice);
}
