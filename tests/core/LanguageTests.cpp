#include <gtest/gtest.h>

#include <filesystem>
#include <thread>
#include <vector>

#include "engine/core/FileStream.h"
#include "engine/core/LanguageSet.h"
#include "tests/support/TestSupport.h"
#include "tools/writers/LanguageWriter.h"

using testing_support::LogCapture;
using testing_support::TempWorkDir;

namespace {
tools::LanguageFile MakeFile(const char* name, std::map<int32_t, SharedString> texts, bool inverted) {
    tools::LanguageFile f;
    f.name = name;
    f.texts = std::move(texts);
    f.inverted = inverted;
    return f;
}

// The bytes of a string literal, embedded zeros included.
template <size_t N>
std::string Bytes(const char (&literal)[N]) {
    return std::string(literal, N - 1);
}
} // namespace

TEST(LanguageSet, InvertedAndPlainFilesLoadTheSameTexts) {
    TempWorkDir dir;
    std::map<int32_t, SharedString> texts = {{1, "One"}, {-7, SharedString("bin\0ary", 7)}, {500, ""}};
    ASSERT_TRUE(tools::WriteLanguageFile("plain.zkl", MakeFile("English", texts, false)));
    ASSERT_TRUE(tools::WriteLanguageFile("inv.zkl", MakeFile("English", texts, true)));
    LanguageTexts a, b;
    LanguageSet sa(&a), sb(&b);
    EXPECT_TRUE(sa.Load("plain.zkl", &a));
    EXPECT_TRUE(sb.Load("inv.zkl", &b));
    EXPECT_EQ(sa.Name(), "English");
    EXPECT_EQ(sb.Name(), "English");
    ASSERT_EQ(a.entries.size(), 3u);
    for (auto& [key, text] : a.entries) EXPECT_EQ(text, b.entries.at(key)) << key;
    EXPECT_EQ(a.entries.at(-7).Length(), 7);
}

// Hand-built files, byte for byte: the reader reads them and the writer writes exactly them, so
// a field that writer and reader misread alike cannot pass.
TEST(LanguageSet, GoldenFilesReadAndWriteByteForByte) {
    const std::string plain = Bytes(
        "ZK2" "\x00\x10\x00\x00"                  // magic, version 0x1000 (plain strings)
        "\x04\x00\x00\x00" "Head"                 // header
        "\x07\x00\x00\x00" "English"              // language name
        "\x02\x00\x00\x00"                        // two entries, ascending keys
        "\xFF\xFF\xFF\xFF" "\x03\x00\x00\x00" "One" // key -1
        "\x2C\x01\x00\x00" "\x00\x00\x00\x00");    // key 300, empty text
    const std::string inverted = Bytes(
        "ZK2" "\x00\x20\x00\x00"                  // version 0x2000: string bytes complemented
        "\x00\x00\x00\x00"                        // empty header
        "\x02\x00\x00\x00" "\xB9\x8D"             // "Fr"
        "\x01\x00\x00\x00"
        "\x02\x00\x00\x00" "\x03\x00\x00\x00" "\xB0\x8A\x96"); // key 2: "Oui"
    struct Case {
        const char* what;
        const std::string& bytes;
        tools::LanguageFile file;
    } cases[] = {
        {"plain", plain, {"Head", "English", {{-1, "One"}, {300, ""}}, false}},
        {"inverted", inverted, {"", "Fr", {{2, "Oui"}}, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempWorkDir dir;
        dir.WriteBytes("golden.zkl", c.bytes);
        LanguageTexts texts;
        LanguageSet set(&texts);
        ASSERT_TRUE(set.Load("golden.zkl", &texts));
        EXPECT_EQ(set.Header(), c.file.header);
        EXPECT_EQ(set.Name(), c.file.name);
        ASSERT_EQ(texts.entries.size(), c.file.texts.size());
        for (const auto& [key, text] : c.file.texts) EXPECT_EQ(texts.entries.at(key), text) << key;

        ASSERT_TRUE(tools::WriteLanguageFile("written.zkl", c.file));
        EXPECT_EQ(dir.ReadBytes("written.zkl"), c.bytes);
    }
}

TEST(LanguageSet, SecondLanguageMergesAndOverwritesInPlace) {
    TempWorkDir dir;
    tools::WriteLanguageFile("first.zkl", MakeFile("First", {{1, "one"}, {2, "two"}}, false));
    tools::WriteLanguageFile("second.zkl", MakeFile("Second", {{1, "uno, longer"}}, true));
    LanguageTexts texts;
    LanguageSet set(&texts);
    set.Load("first.zkl", &texts);
    SharedString held = set.GetString(1);
    set.Load("second.zkl", &texts);
    EXPECT_EQ(held, "uno, longer"); // a handle taken before the load reads the new text
    EXPECT_EQ(set.GetString(2), "two");
}

TEST(LanguageSet, UndefinedKeyIsInsertedAndWarnedOnce) {
    // At the default warning level: a missing text shows on screen, so the reason is logged.
    LogCapture log(0);
    LanguageTexts texts;
    LanguageSet set(&texts);
    EXPECT_EQ(set.GetString(42), "Undefined key 42");
    EXPECT_EQ(set.GetString(42), "Undefined key 42");
    int warnings = 0;
    for (auto& l : log.Lines()) warnings += l == "ENGINE: Requested key 42 is not in language";
    EXPECT_EQ(warnings, 1);
    EXPECT_EQ(set.Name(), "None");
}

TEST(LanguageSet, BadFilesLogTheirMessageAndLeaveTheMap) {
    TempWorkDir dir;
    LogCapture log(0);
    dir.WriteBytes("short.zkl", "ZK2\x00\x10");
    dir.WriteBytes("magic.zkl", std::string("ZKX\x00\x10\x00\x00\x00\x00\x00\x00", 11));
    dir.WriteBytes("version.zkl", std::string("ZK2\x00\x30\x00\x00\x00\x00\x00\x00", 11));
    // Count says many entries but the file ends: what fits is kept, nothing overruns.
    dir.WriteBytes("count.zkl", std::string("ZK2\x00\x10\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\xff\xff\xff\x0f"
                                            "\x01\x00\x00\x00\x02\x00\x00\x00hi", 29));
    // The name's length runs past the end of the file.
    dir.WriteBytes("name.zkl", std::string("ZK2\x00\x20\x00\x00\x00\x00\x00\x00\xf0\xff\xff\x7f", 15) + "ab");
    struct Case { const char* file; const char* message; } cases[] = {
        {"name.zkl", "Failed loading language set name.zkl"},
        {"short.zkl", "Failed loading language set short.zkl"},
        {"nothere.zkl", "Failed loading language set nothere.zkl"},
        {"magic.zkl", "magic.zkl is NOT a ZKL file"},
        {"version.zkl", "version.zkl is of an unsupported version"},
        {"count.zkl", "Failed loading language set count.zkl"},
    };
    for (const Case& c : cases) {
        LanguageTexts texts;
        texts.entries.emplace(9, SharedString("kept"));
        LanguageSet set(&texts);
        log.Clear();
        EXPECT_FALSE(set.Load(c.file, &texts));
        EXPECT_EQ(log.Lines(), (std::vector<std::string>{c.message})) << c.file; // one message each
        EXPECT_EQ(texts.entries.at(9), "kept");
    }
    LanguageTexts texts;
    LanguageSet set(&texts);
    set.Load("count.zkl", &texts);
    EXPECT_EQ(set.GetString(1), "hi");
}

TEST(LanguageSet, NonPositiveCountLoadsHeaderAndNameOnly) {
    TempWorkDir dir;
    {
        FileWriter w(SharedString("neg.zkl"));
        w.WriteZK2Header(0x1000);
        w.WriteString(SharedString("hdr"));
        w.WriteString(SharedString("Neg"));
        w.WriteI32(-3);
    }
    LanguageTexts texts;
    LanguageSet set(&texts);
    EXPECT_TRUE(set.Load("neg.zkl", &texts));
    EXPECT_EQ(set.Header(), "hdr");
    EXPECT_EQ(set.Name(), "Neg");
    EXPECT_TRUE(texts.entries.empty());
}

TEST(LanguageCatalog, PrefersADefaultFileElseTheFirstAndSelectsByName) {
    TempWorkDir dir;
    std::filesystem::create_directories(dir.Path() + "/Misc");
    tools::WriteLanguageFile("Misc\\Aardvark.ZKL", MakeFile("Aard", {{1, "a"}}, false));
    tools::WriteLanguageFile("Misc\\defaultDeutsch.zkl", MakeFile("Deutsch", {{1, "d"}}, true));
    dir.WriteBytes("Misc/Broken.ZKL", "nonsense");
    {
        LogCapture log(3);
        LanguageTexts texts;
        LanguageCatalog catalog(&texts);
        catalog.FindAndLoadDefault();
        EXPECT_EQ(catalog.Names().size(), 2u);
        EXPECT_EQ(catalog.Current().Name(), "Deutsch");
        EXPECT_EQ(log.Lines(), (std::vector<std::string>{"ENGINE: Found language Aard", "ENGINE: Found language Deutsch",
                                                         "ENGINE: Language = Deutsch"}));
        log.Clear();
        EXPECT_EQ(catalog.Current().GetString(1), "d");
        EXPECT_TRUE(catalog.SelectByName("aard"));
        EXPECT_EQ(catalog.Current().GetString(1), "a");
        EXPECT_EQ(log.Lines(), (std::vector<std::string>{"ENGINE: Language = Aard"}));
        EXPECT_FALSE(catalog.SelectByName("Klingon"));
    }
    std::filesystem::remove(dir.Path() + "/Misc/defaultDeutsch.zkl");
    LanguageTexts texts;
    LanguageCatalog catalog(&texts);
    catalog.FindAndLoadDefault();
    EXPECT_EQ(catalog.Current().Name(), "Aard");
    EXPECT_EQ(catalog.Paths().at(0), "MISC\\AARDVARK.ZKL");
}

TEST(LanguageSet, UndefinedKeysFromManyThreadsAreInsertedOnceEach) {
    LogCapture log(2);
    LanguageTexts texts;
    LanguageSet set(&texts);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&set] {
            // Every thread asks for the same 300 keys: each is inserted and warned about once.
            for (int32_t key = 0; key < 300; ++key) EXPECT_EQ(set.GetString(key), SharedString::Format("Undefined key %d", key));
        });
    for (auto& t : threads) t.join();
    EXPECT_EQ(texts.entries.size(), 300u);
    EXPECT_EQ(log.Lines().size(), 300u);
}
