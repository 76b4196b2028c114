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
}
