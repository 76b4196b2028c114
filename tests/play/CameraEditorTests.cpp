// The cut-scene camera editor: the dump's bytes read back by the world's reader, and its list
// operations as a table (the editor driven through the game is in GameStateTests.cpp).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/core/Camera.h"
#include "engine/core/FileStream.h"
#include "game/play/CameraEditor.h"
#include "tests/support/TestSupport.h"

namespace {

template <typename T> T At(const std::string& bytes, size_t offset) {
    T v;
    std::memcpy(&v, bytes.data() + offset, sizeof v);
    return v;
}

std::vector<CameraRecord> ReadBack(const char* path) {
    std::vector<CameraRecord> records;
    FileReader in{SharedString(path)};
    EXPECT_TRUE(ReadCameraRecords(in, records));
    return records;
}

// A camera at x (the record's mark in the tables below).
Camera CameraAt(float x) {
    Camera c;
    c.position = Vector3(x, 2.0f, 3.0f);
    return c;
}

std::string Marks(const CameraEditor& e) {
    std::string s;
    for (const CameraRecord& r : e.records) s += char('0' + int(r.position.x));
    return s;
}

} // namespace

TEST(CameraEditorDump, GoldenBytesMissionBeforeEpisodeAndTheWorldReaderTakesTheDump) {
    testing_support::TempWorkDir dir;
    CameraEditor editor;
    ASSERT_TRUE(editor.Dump(SharedString("CamOut.pcd")));
    EXPECT_EQ(dir.ReadBytes("CamOut.pcd"), std::string(4, '\0'));

    CameraRecord a;
    a.mission = 5;
    a.episode = 2;
    a.index = 7;
    a.time = 1.5f;
    a.position = Vector3(1.0f, 2.0f, 3.0f);
    a.orientation = Quaternion(0.1f, 0.2f, 0.3f, 0.9f);
    CameraRecord b = a;
    b.mission = 1;
    b.episode = 3;
    b.sample = SharedString("Cut01.WAV");
    editor.records = {a, b};
    ASSERT_TRUE(editor.Dump(SharedString("CamOut.pcd")));
    const std::string bytes = dir.ReadBytes("CamOut.pcd");
    ASSERT_EQ(bytes.size(), 4u + 48u + 48u + 9u);
    EXPECT_EQ(At<uint32_t>(bytes, 0), 2u);
    // First record: mission, episode, index, time, an empty sample (length 0, no bytes), pose.
    EXPECT_EQ(At<int32_t>(bytes, 4), 5);
    EXPECT_EQ(At<int32_t>(bytes, 8), 2);
    EXPECT_EQ(At<int32_t>(bytes, 12), 7);
    EXPECT_EQ(At<float>(bytes, 16), 1.5f);
    EXPECT_EQ(At<uint32_t>(bytes, 20), 0u);
    const float pose[7] = {1, 2, 3, 0.1f, 0.2f, 0.3f, 0.9f};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(At<float>(bytes, 24 + size_t(i) * 4), pose[i]) << i;
    // Second record: its sample's 9 bytes without a terminator, then the pose.
    EXPECT_EQ(At<int32_t>(bytes, 52), 1);
    EXPECT_EQ(At<int32_t>(bytes, 56), 3);
    EXPECT_EQ(At<uint32_t>(bytes, 68), 9u);
    EXPECT_EQ(bytes.substr(72, 9), "Cut01.WAV");
    EXPECT_EQ(At<float>(bytes, 81), 1.0f);

    // The world's reader takes the dump as its data file, tags unswapped.
    const std::vector<CameraRecord> back = ReadBack("CamOut.pcd");
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[1].mission, 1);
    EXPECT_EQ(back[1].episode, 3);
    EXPECT_STREQ(back[1].sample.c_str(), "Cut01.WAV");
    EXPECT_EQ(back[0].orientation.w, 0.9f);
}

TEST(CameraEditorDump, AFileThatCannotBeWrittenIsReportedAndTheOldOneKept) {
    testing_support::TempWorkDir dir;
    testing_support::LogCapture log;
    CameraEditor editor;
    editor.records.resize(1);
    EXPECT_FALSE(editor.Dump(SharedString("NoSuchFolder/CamOut.pcd")));
    EXPECT_TRUE(log.Contains("Could not write the camera records")) << "a failure is not reported as success";
    EXPECT_FALSE(log.Contains("Wrote"));
}

TEST(CameraEditor, ListOperations) {
    // Each step: 'a' adds a camera at the digit, 'd' deletes, 'n' next, 'p' previous. The
    // expected list (marks in order) and current index after the steps.
    struct Case {
        const char* name;
        const char* steps;
        const char* marks;
        int current;
    };
    const Case cases[] = {
        {"adds append and become current", "a1a2a3", "123", 2},
        {"an add before the first record", "a1a2a3ppa4", "4123", 0},
        {"an add in the middle goes before it", "a1a2a3pa4", "1423", 1},
        {"an add on the last appends", "a1a2a3pna4", "1234", 3},
        {"next wraps to the first", "a1a2a3n", "123", 0},
        {"previous wraps to the last", "a1a2a3nnnnp", "123", 2},
        {"deleting the only record leaves none", "a1d", "", -1},
        {"next and previous with none do nothing", "a1dnp", "", -1},
        {"delete with none does nothing", "d", "", -1},
        {"deleting the last makes the previous current", "a1a2a3d", "12", 1},
        {"deleting in the middle makes the following current", "a1a2a3pd", "13", 1},
        {"an add after all were deleted appends", "a1da5", "5", 0},
    };
    for (const Case& c : cases) {
        CameraEditor e;
        for (const char* s = c.steps; *s; ++s) {
            switch (*s) {
            case 'a':
                e.Add(CameraAt(float(*++s - '0')));
                break;
            case 'd': e.Delete(); break;
            case 'n': e.Next(); break;
            case 'p': e.Previous(); break;
            }
        }
        EXPECT_EQ(Marks(e), c.marks) << c.name;
        EXPECT_EQ(e.current, c.current) << c.name;
    }
}
