#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/core/FileStream.h"
#include "platform/sys/Paths.h"
#include "tests/support/TestSupport.h"

using testing_support::TempWorkDir;

namespace {
std::string Le32(uint32_t v) {
    return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}
} // namespace

TEST(FileReader, Zk2HeaderNeedsTenBytesThenMagic) {
    TempWorkDir dir;
    dir.WriteBytes("nine.bin", "ZK2" + Le32(0x1000) + "xx");
    dir.WriteBytes("ten.bin", "ZK2" + Le32(0x1000) + "xxx");
    dir.WriteBytes("magic.bin", "ZK3" + Le32(0x1000) + "xxx");
    uint32_t version = 0;
    EXPECT_EQ(FileReader(SharedString("nine.bin")).CheckZK2Header(version), 1);
    EXPECT_EQ(FileReader(SharedString("missing.bin")).CheckZK2Header(version), 1);
    EXPECT_EQ(FileReader(SharedString("magic.bin")).CheckZK2Header(version), 2);
    EXPECT_EQ(FileReader(SharedString("ten.bin")).CheckZK2Header(version), 0);
    EXPECT_EQ(version, 0x1000u);
    EXPECT_EQ(FileReader(SharedString("missing.bin")).Length(), -1);
}

TEST(FileStreams, ValuesRoundTripLittleEndianAndInvertedStringsAreComplements) {
    TempWorkDir dir;
    {
        FileWriter w(SharedString("data.bin"));
        ASSERT_TRUE(w.IsOpen());
        w.WriteU8(0xAB);
        w.WriteU16(0x1234);
        w.WriteU32(0xDEADBEEF);
        w.WriteFloat(1.5f);
        w.WriteDouble(-2.25);
        w.WriteInvertedString(SharedString("Hi"));
        w.WriteString(SharedString("plain"));
        w.WriteLine(SharedString("line"));
    }
    std::string bytes = dir.ReadBytes("data.bin");
    EXPECT_EQ(bytes.substr(1, 2), std::string("\x34\x12", 2));
    std::string expectedInverted = Le32(2) + std::string{char(~'H'), char(~'i')};
    EXPECT_EQ(bytes.substr(19, 6), expectedInverted);

    FileReader r(SharedString("data.bin"));
    EXPECT_EQ(r.ReadU8(), 0xAB);
    EXPECT_EQ(r.ReadU16(), 0x1234);
    EXPECT_EQ(r.ReadU32(), 0xDEADBEEFu);
    EXPECT_EQ(r.ReadFloat(), 1.5f);
    EXPECT_EQ(r.ReadDouble(), -2.25);
    EXPECT_EQ(r.ReadInvertedString(), "Hi");
    EXPECT_EQ(r.ReadString(), "plain");
    EXPECT_EQ(r.ReadString(), "line");
    EXPECT_EQ(r.ReadU8(), 0);
    EXPECT_EQ(r.Position(), r.Length());
    EXPECT_FALSE(r.Failed());
}

TEST(FileReader, HugeStringLengthFailsCleanlyAndLaterReadsGiveZeros) {
    TempWorkDir dir;
    dir.WriteBytes("bad.bin", Le32(0x7FFFFFF0) + "abc" + Le32(77));
    FileReader r(SharedString("bad.bin"));
    EXPECT_EQ(r.ReadString(), "");
    EXPECT_TRUE(r.Failed());
    EXPECT_EQ(r.ReadU32(), 0u);

    dir.WriteBytes("bad2.bin", Le32(0xFFFFFFFF));
    FileReader r2(SharedString("bad2.bin"));
    EXPECT_EQ(r2.ReadInvertedString(), "");
    EXPECT_TRUE(r2.Failed());
}

TEST(FileReader, ReadsPastTheEndGiveZerosAndAdvance) {
    TempWorkDir dir;
    dir.WriteBytes("short.bin", "\x01\x02");
    FileReader r(SharedString("short.bin"));
    EXPECT_EQ(r.ReadU32(), 0x0201u);
    EXPECT_EQ(r.Position(), 4);
    EXPECT_EQ(r.ReadU16(), 0);
    EXPECT_EQ(r.Position(), 6);
    r.Seek(1);
    EXPECT_EQ(r.ReadU8(), 2);
}

TEST(FileReader, FindDoesNotBackUpAfterAMismatch) {
    TempWorkDir dir;
    dir.WriteBytes("aaab.bin", "AAAB");
    dir.WriteBytes("axaab.bin", "AxAABz");
    const char pattern[] = {'A', 'A', 'B'};
    FileReader a(SharedString("aaab.bin"));
    EXPECT_FALSE(a.Find(pattern, 3));
    FileReader b(SharedString("axaab.bin"));
    EXPECT_TRUE(b.Find(pattern, 3));
    EXPECT_EQ(b.Position(), 5);
    FileReader c(SharedString("axaab.bin"));
    EXPECT_FALSE(c.FindWithin(pattern, 3, 2));
    EXPECT_TRUE(FileReader(SharedString("aaab.bin")).Find(pattern, 0));
}

TEST(FileReader, MixedReadsAcrossBufferBoundariesMatchTheFile) {
    TempWorkDir dir;
    std::string bytes(300000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = char((i * 131u) >> 3);
    dir.WriteBytes("big.bin", bytes);
    FileReader r(SharedString("big.bin"));
    r.SetBuffer(1000);
    size_t pos = 0;
    std::string chunk(70000, '\0');
    int step = 0;
    while (pos + 70000 < bytes.size()) {
        int n = (step++ % 5 == 4) ? 70000 : 1 + step % 13;
        r.Read(chunk.data(), n);
        ASSERT_EQ(0, std::memcmp(chunk.data(), bytes.data() + pos, size_t(n))) << "at " << pos;
        pos += size_t(n);
        if (step % 7 == 0) {
            r.Skip(3);
            pos += 3;
        }
    }
}

TEST(Paths, ResolutionIsCaseInsensitiveAndDirectoriesAreNotFiles) {
    TempWorkDir dir;
    dir.WriteBytes("misc/X.ZKL", "x");
    dir.WriteBytes("Misc2/Sub/File.txt", "y");
    EXPECT_TRUE(FileExists(SharedString("MISC\\x.zkl")));
    EXPECT_TRUE(FileExists(SharedString("misc2\\SUB\\file.TXT")));
    EXPECT_FALSE(FileExists(SharedString("Misc")));
    EXPECT_FALSE(FileExists(SharedString("Misc\\Nope.zkl")));
    EXPECT_EQ(FileReader(SharedString("Misc")).Length(), -1);
}

TEST(Paths, WritingReusesTheOnDiskSpellingOrCreatesTheGivenOne) {
    TempWorkDir dir;
    dir.WriteBytes("Misc/Default.VQS", "old");
    {
        FileWriter w(SharedString("MISC\\default.vqs"));
        ASSERT_TRUE(w.IsOpen());
        w.Write("new", 3);
    }
    EXPECT_EQ(dir.ReadBytes("Misc/Default.VQS"), "new");
    EXPECT_FALSE(std::filesystem::exists(dir.Path() + "/Misc/default.vqs"));
    {
        FileWriter w(SharedString("misc\\Profile1.VQS"));
        EXPECT_TRUE(w.IsOpen());
    }
    EXPECT_TRUE(std::filesystem::exists(dir.Path() + "/Misc/Profile1.VQS"));
    EXPECT_FALSE(FileWriter(SharedString("NoDir\\x.bin")).IsOpen());
}

TEST(ListFiles, OrdersAndMatchesAsTheEngineExpects) {
    TempWorkDir dir;
    for (const char* n : {"b.ZKL", "a.zkl", "A.ZKL", "B.ZKL", "c.zklx", "notes.txt"}) dir.WriteBytes(std::string("misc/") + n, "");
    std::filesystem::create_directories(dir.Path() + "/misc/Folder.ZKL");

    std::vector<SharedString> sorted = ListFiles(SharedString("Misc\\*.ZKL"), true);
    std::vector<std::string> names;
    for (auto& s : sorted) names.emplace_back(s.c_str());
    EXPECT_EQ(names, (std::vector<std::string>{"A.ZKL", "B.ZKL", "Folder.ZKL", "a.zkl", "b.ZKL"}));

    std::vector<SharedString> unsorted = ListFiles(SharedString("MISC\\*.zkl"), false);
    names.clear();
    for (auto& s : unsorted) names.emplace_back(s.c_str());
    EXPECT_EQ(names, (std::vector<std::string>{"A.ZKL", "a.zkl", "B.ZKL", "b.ZKL", "Folder.ZKL"}));

    EXPECT_TRUE(ListFiles(SharedString("Nowhere\\*.ZKL"), true).empty());
    EXPECT_EQ(ListFiles(SharedString("misc\\?.ZKL"), true).size(), 4u);
    EXPECT_TRUE(plat::WildcardMatch("Wave*.wav", "WAVE01.WAV"));
    EXPECT_FALSE(plat::WildcardMatch("*.ZKL", "x.ZKLX"));
}

TEST(TextFileWriter, FlushEachPutsEveryLineOnDiskAtOnceWithCrLf) {
    TempWorkDir dir;
    TextFileWriter w(SharedString("zkConsole.log"), true);
    w.WriteLine(SharedString("first"));
    EXPECT_EQ(dir.ReadBytes("zkConsole.log"), "first\r\n");
    w.WriteU32(uint32_t(-5));
    w.WriteFloat(0.5f);
    EXPECT_EQ(dir.ReadBytes("zkConsole.log"), "first\r\n-50.500000");
    // Strings carry no length; 16-bit values print signed.
    w.WriteU16(0xFFFF);
    w.WriteU8('!');
    w.WriteString(SharedString("ab"));
    w.WriteInvertedString(SharedString("ab"));
    EXPECT_EQ(dir.ReadBytes("zkConsole.log"), ("first\r\n-50.500000-1!ab" + std::string{char(~'a'), char(~'b')}));
    TextFileWriter nowhere(SharedString("NoDir\\x.log"), true);
    EXPECT_FALSE(nowhere.IsOpen());
    nowhere.WriteLine(SharedString("dropped")); // no effect, no crash
}

TEST(FileReader, RandomReadsSkipsAndSeeksAgreeWithTheFile) {
    // Small reads, reads larger than the buffer, backward and forward skips and seeks, in
    // every order: each byte delivered must be the file's (or 0 past its end).
    TempWorkDir dir;
    std::string bytes(200000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = char((i * 2654435761u) >> 13);
    dir.WriteBytes("mix.bin", bytes);
    uint32_t seed = 12345;
    auto next = [&](uint32_t range) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) % range;
    };
    auto expected = [&](int64_t at, int32_t n) {
        std::string e(size_t(n), '\0');
        if (at < int64_t(bytes.size())) bytes.copy(e.data(), std::min<size_t>(size_t(n), bytes.size() - size_t(at)), size_t(at));
        return e;
    };
    for (int32_t bufferSize : {0, 1, 7, 1000, 4096}) {
        FileReader r(SharedString("mix.bin"));
        if (bufferSize > 0) r.SetBuffer(bufferSize);
        int64_t pos = 0;
        std::string got(30000, '\0');
        for (int op = 0; op < 3000; ++op) {
            switch (next(6)) {
            case 0: case 1: { // small read
                int32_t n = int32_t(1 + next(16));
                r.Read(got.data(), n);
                ASSERT_EQ(got.substr(0, size_t(n)), expected(pos, n)) << "buffer " << bufferSize << " op " << op << " at " << pos;
                pos += n;
                break;
            }
            case 2: { // read larger than any buffer
                int32_t n = int32_t(5000 + next(25000));
                r.Read(got.data(), n);
                ASSERT_TRUE(got.compare(0, size_t(n), expected(pos, n)) == 0) << "buffer " << bufferSize << " op " << op << " at " << pos;
                pos += n;
                break;
            }
            case 3: { // skip backwards or forwards
                int32_t n = int32_t(next(600)) - 400;
                r.Skip(n);
                pos = std::max<int64_t>(0, pos + n);
                break;
            }
            case 4: { // absolute seek, sometimes past the end
                int32_t to = int32_t(next(uint32_t(bytes.size()) + 2000));
                r.Seek(to);
                pos = to;
                break;
            }
            default: {
                char b = char(r.ReadU8());
                ASSERT_EQ(std::string(1, b), expected(pos, 1)) << "op " << op;
                ++pos;
            }
            }
            ASSERT_EQ(r.Position(), pos);
        }
        EXPECT_FALSE(r.Failed());
    }
}

TEST(FileReader, AFailedOpenAndHugeCountsAreSafe) {
    TempWorkDir dir;
    // Every operation on a reader whose open failed gives zeros or false and touches no file.
    FileReader missing(SharedString("Misc\\Nothing.bin"));
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_EQ(missing.ReadU8(), 0);
    EXPECT_EQ(missing.ReadU16(), 0);
    EXPECT_EQ(missing.ReadU32(), 0u);
    EXPECT_EQ(missing.ReadFloat(), 0.0f);
    EXPECT_EQ(missing.ReadDouble(), 0.0);
    char buffer[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    missing.Read(buffer, 8);
    EXPECT_EQ(std::string(buffer, 8), std::string(8, '\0'));
    missing.SkipString();
    EXPECT_FALSE(missing.Find("x", 1));
    EXPECT_EQ(missing.ReadString(), "");
    EXPECT_TRUE(missing.Failed());
    missing.Skip(100);
    missing.Seek(5);
    missing.SetBuffer(16);
    EXPECT_EQ(missing.ReadU32(), 0u);

    // Counts and skips from a bad file near the 32-bit limit saturate instead of overflowing.
    dir.WriteBytes("small.bin", std::string("ab\0cd", 5));
    FileReader r(SharedString("small.bin"));
    r.SkipString(); // up to and including the 0 byte
    EXPECT_EQ(r.Position(), 3);
    EXPECT_EQ(r.ReadU8(), 'c');
    r.Skip(INT32_MAX);
    EXPECT_EQ(r.Position(), INT32_MAX);
    EXPECT_EQ(r.ReadU32(), 0u);
    EXPECT_EQ(r.Position(), INT32_MAX);
    EXPECT_FALSE(r.FindWithin("c", 1, INT32_MAX));
    r.Skip(INT32_MIN);
    EXPECT_EQ(r.Position(), 0);
    EXPECT_EQ(r.ReadU8(), 'a');
    EXPECT_TRUE(r.FindWithin("d", 1, INT32_MAX));
}

TEST(Paths, AnExactSpellingWinsOverOtherCaseVariants) {
    TempWorkDir dir;
    dir.WriteBytes("Data/Tex.bin", "mixed");
    dir.WriteBytes("Data/TEX.BIN", "upper");
    dir.WriteBytes("DATA/Tex.bin", "other folder");
    struct Case { const char* path; const char* content; } cases[] = {
        {"Data\\Tex.bin", "mixed"},       // exact at every level
        {"Data\\TEX.BIN", "upper"},
        {"data\\tex.bin", "other folder"}, // no exact match: first in listing order ("DATA", then "TEX.BIN")
        {"DATA\\tex.BIN", "other folder"},
    };
    for (const Case& c : cases) {
        FileReader r{SharedString(c.path)};
        ASSERT_TRUE(r.IsOpen()) << c.path;
        std::string got(size_t(r.Length()), '\0');
        r.Read(got.data(), r.Length());
        EXPECT_EQ(got, c.content) << c.path;
    }
    // A file made through the layer shows up in the next listing of its folder.
    EXPECT_EQ(ListFiles(SharedString("data\\*.txt"), false).size(), 0u);
    { FileWriter w(SharedString("DATA\\new.txt")); }
    EXPECT_EQ(ListFiles(SharedString("data\\*.txt"), false).size(), 1u);
}
