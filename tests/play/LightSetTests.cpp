// Light files: the byte layout, saving and entering again, files that must be ignored, the
// time-of-day defaults and the editor's light selection.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/core/FileStream.h"
#include "game/play/LightSet.h"
#include "game/world/GameSession.h"
#include "tests/support/TestSupport.h"
#include "tools/writers/LightFileWriter.h"

namespace {

std::string Bytes(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

void PutFloat(std::string& s, float f) { s.append(reinterpret_cast<const char*>(&f), 4); }

// A light file written by hand: record i has intensity i + 0.5 and colours i / 10.
std::string HandWrittenFile() {
    std::string s("ZK2\x07\0\0\0", 7); // the version is not looked at
    for (int i = 0; i < 3; ++i) {
        PutFloat(s, 0.0f); PutFloat(s, 0.6f); PutFloat(s, 0.0f); PutFloat(s, 0.8f);
        PutFloat(s, float(i) + 0.5f);
        for (int c = 0; c < 12; ++c) PutFloat(s, float(i) / 10.0f + float(c) / 100.0f);
    }
    return s;
}

} // namespace

TEST(LightFile, GoldenBytesOfTheDefaultsAndTheReaderTakesAHandWrittenFile) {
    const std::vector<uint8_t> bytes = tools::DefaultLightFileBytes(1);
    ASSERT_EQ(bytes.size(), 211u);
    EXPECT_EQ(Bytes(bytes).substr(0, 7), std::string("ZK2\0\0\0\0", 7));
    // Record 2 at 143: rotation, intensity 0.35, ambient 0, diffuse and specular (0, 0, 1, 1).
    LightSet defaults;
    defaults.ApplyDefaults(1);
    float f[17];
    std::memcpy(f, bytes.data() + 143, sizeof f);
    EXPECT_FLOAT_EQ(f[0], defaults.lights[2].rotation.x);
    EXPECT_FLOAT_EQ(f[3], defaults.lights[2].rotation.w);
    EXPECT_FLOAT_EQ(f[4], 0.35f);
    const float rest[12] = {0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 1, 1};
    for (int i = 0; i < 12; ++i) EXPECT_FLOAT_EQ(f[5 + i], rest[i]) << i;

    testing_support::TempWorkDir dir;
    dir.WriteBytes("Misc/2.LIT", HandWrittenFile());
    LightSet set;
    set.Enter(2);
    for (int i = 0; i < 3; ++i) {
        EXPECT_FLOAT_EQ(set.records[i].rotation.y, 0.6f);
        EXPECT_FLOAT_EQ(set.records[i].rotation.w, 0.8f);
        EXPECT_FLOAT_EQ(set.records[i].intensity, float(i) + 0.5f);
        EXPECT_FLOAT_EQ(set.records[i].ambient[0], float(i) / 10.0f);
        EXPECT_FLOAT_EQ(set.records[i].diffuse[0], float(i) / 10.0f + 0.04f);
        EXPECT_FLOAT_EQ(set.records[i].specular[3], float(i) / 10.0f + 0.11f);
    }
    // The lights start from the defaults whatever the file holds.
    EXPECT_FLOAT_EQ(set.lights[0].intensity, 0.8f);
    EXPECT_FLOAT_EQ(set.lights[0].ambient[0], 0.12f);
}

TEST(LightFile, SavedLightsComeBackAsTheRecordsAndTheLightsRestartFromTheDefaults) {
    testing_support::TempWorkDir dir;
    dir.WriteBytes("Misc/Default.VQS", "");
    LightSet set;
    set.Enter(3);
    set.lights[1].intensity = 0.25f;
    set.lights[2].ambient[1] = 0.5f;
    set.TurnCurrent(0.3f, -0.2f);
    const Quaternion turned = set.lights[0].rotation;
    ASSERT_TRUE(set.Save(3));
    const std::string saved = dir.ReadBytes("Misc/3.LIT");
    ASSERT_EQ(saved.size(), 211u);
    EXPECT_EQ(saved.substr(0, 7), std::string("ZK2\0\0\0\0", 7));
    EXPECT_EQ(dir.ReadBytes("Misc/3.LIT.tmp"), "") << "nothing left beside the file";

    LightSet again;
    again.Enter(3);
    EXPECT_FLOAT_EQ(again.records[1].intensity, 0.25f);
    EXPECT_FLOAT_EQ(again.records[2].ambient[1], 0.5f);
    EXPECT_FLOAT_EQ(again.records[0].rotation.x, turned.x);
    EXPECT_FLOAT_EQ(again.records[0].rotation.w, turned.w);
    EXPECT_FLOAT_EQ(again.lights[1].intensity, 0.8f);
    EXPECT_FLOAT_EQ(again.lights[1].ambient[1], 0.035f);
}

TEST(LightFile, ShortForeignAndMissingFilesLeaveTheDefaultRecords) {
    testing_support::TempWorkDir dir;
    const std::string whole = HandWrittenFile();
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"100 bytes", whole.substr(0, 100)},
        {"one byte short", whole.substr(0, 210)},
        {"nine bytes", whole.substr(0, 9)},
        {"foreign", "ZK3" + whole.substr(3)},
        {"empty", ""},
    };
    for (const auto& c : cases) {
        dir.WriteBytes("Misc/0.LIT", c.bytes);
        LightSet set;
        set.records[1].intensity = 9.0f;
        set.Enter(0);
        for (const LightRecord& r : set.records) {
            EXPECT_EQ(r.rotation, Quaternion()) << c.what;
            EXPECT_FLOAT_EQ(r.intensity, 1.0f) << c.what;
            EXPECT_FLOAT_EQ(r.diffuse[2], 1.0f) << c.what;
        }
    }
    LightSet none;
    none.Enter(1);
    EXPECT_FLOAT_EQ(none.records[2].intensity, 1.0f);
}

TEST(LightFile, SaveThatCannotCreateItsFileSaysSo) {
    testing_support::TempWorkDir dir;
    dir.WriteBytes("Misc", "a file where the folder should be");
    testing_support::LogCapture log;
    LightSet set;
    EXPECT_FALSE(set.Save(0));
    EXPECT_TRUE(log.Contains("Could not save the light file Misc\\0.LIT"));
}

TEST(LightSet, DefaultsByTimeOfDayAndOutsideTheRange) {
    const struct {
        int32_t time;
        float ambient0, intensity0, ambient1red, intensity1, ambient2blue, intensity2;
    } cases[] = {
        {0, 0.15f, 1.1f, 0.0f, 0.6f, 0.1f, 0.49f},   {1, 0.15f, 1.0f, 0.0f, 1.0f, 0.0f, 0.35f},
        {2, 0.12f, 0.8f, 0.0f, 0.7f, 0.0f, 0.175f},  {3, 0.05f, 0.4f, 0.05f, 0.8f, 0.0f, 0.14f},
        {-4, 0.15f, 1.1f, 0.0f, 0.6f, 0.1f, 0.49f},  {7, 0.05f, 0.4f, 0.05f, 0.8f, 0.0f, 0.14f},
    };
    for (const auto& c : cases) {
        LightSet set;
        const Quaternion rotation = set.lights[2].rotation;
        set.ApplyDefaults(c.time);
        EXPECT_FLOAT_EQ(set.lights[0].ambient[3], c.ambient0) << c.time;
        EXPECT_FLOAT_EQ(set.lights[0].intensity, c.intensity0) << c.time;
        EXPECT_FLOAT_EQ(set.lights[1].ambient[0], c.ambient1red) << c.time;
        EXPECT_FLOAT_EQ(set.lights[1].ambient[2], c.ambient1red * 0.4f) << c.time;
        EXPECT_FLOAT_EQ(set.lights[1].intensity, c.intensity1) << c.time;
        EXPECT_FLOAT_EQ(set.lights[2].ambient[2], c.ambient2blue) << c.time;
        EXPECT_FLOAT_EQ(set.lights[2].intensity, c.intensity2) << c.time;
        EXPECT_FLOAT_EQ(set.lights[1].diffuse[1], 0.7f);
        EXPECT_EQ(set.lights[2].rotation, rotation) << "rotations stay";
        EXPECT_EQ(set.lights[0].changed, 1);
    }
    EXPECT_EQ(LightSet::FilePath(9), "Misc\\3.LIT");
    EXPECT_EQ(LightSet::FilePath(-1), "Misc\\0.LIT");
}

TEST(LightSet, SelectingALightByNumberAndPrintingIt) {
    const struct {
        int32_t number, index;
    } cases[] = {{0, 0}, {-1, 0}, {1, 0}, {2, 1}, {3, 2}, {9, 2}};
    for (const auto& c : cases) {
        LightSet set;
        set.SelectByNumber(c.number);
        EXPECT_EQ(set.current, c.index) << c.number;
    }
    testing_support::LogCapture log;
    LightSet set;
    set.SelectByNumber(2);
    set.PrintCurrent();
    EXPECT_TRUE(log.Contains("Light 2 Intensity: 255"));
    EXPECT_TRUE(log.Contains("Light 2 Ambient: 0, 0, 0"));
    EXPECT_TRUE(log.Contains("Light 2 Diffuse: 255, 178, 102"));
    EXPECT_TRUE(log.Contains("Light 2 Specular: 255, 178, 102"));
}

TEST(LightSet, EveryDefaultLightShinesDownAndTheCityIsLitFromWhereItShines) {
    testing_support::TempWorkDir dir;
    std::filesystem::create_directories("Misc");
    for (int32_t t = 0; t < 4; ++t) {
        ASSERT_TRUE(tools::WriteDefaultLightFile(LightSet::FilePath(t), t));
        LightSet set;
        set.Enter(t);
        SceneLight scene[3];
        set.ToSceneLights(scene);
        for (int i = 0; i < 3; ++i) {
            // The direction towards the light is the image of +z under its rotation.
            const Vector3 toward = LightSet::TowardLight(set.lights[i].rotation);
            EXPECT_NEAR(toward.y, 0.7071f, 1e-3f) << "light " << i << " stands 45 degrees up, time " << t;
            const Vector3 seen = scene[i].orientation.ToMatrix().TransformNormal(Vector3(0, 0, 1));
            EXPECT_NEAR((seen - toward).Length(), 0.0f, 1e-4f) << "light " << i << ", time " << t;
            EXPECT_FLOAT_EQ(scene[i].intensity, set.lights[i].intensity);
            EXPECT_FLOAT_EQ(scene[i].diffuse[1], set.lights[i].diffuse[1]);
        }
        // The three come from different sides.
        const Vector3 a = LightSet::TowardLight(set.lights[0].rotation), b = LightSet::TowardLight(set.lights[1].rotation);
        EXPECT_LT(a.Dot(b), 0.9f);
    }
}

TEST(LightFile, AStoredRotationTurnsPlusZTowardsTheLight) {
    // Golden files written by hand: the rotation of record 0 is the one that carries (0, 0, 1) to
    // the direction of the light, as any tool writing the format stores it. Every reader of the
    // direction agrees: the flare, the static city's shading and the renderer's light (which
    // shines along the negated third column of the orientation it is given).
    const float h = std::sqrt(0.5f);
    struct Case {
        const char* what;
        float q[4];
        Vector3 toward;
    };
    const Case cases[] = {
        {"identity", {0, 0, 0, 1}, {0, 0, 1}},
        {"a quarter turn about y", {0, h, 0, h}, {1, 0, 0}},
        {"a quarter turn about x, up", {-h, 0, 0, h}, {0, 1, 0}},
        {"half a turn about y", {0, 1, 0, 0}, {0, 0, -1}},
    };
    for (const Case& c : cases) {
        testing_support::TempWorkDir dir;
        std::string file("ZK2\0\0\0\0", 7);
        for (int i = 0; i < 3; ++i) {
            for (float v : c.q) PutFloat(file, v);
            for (int k = 0; k < 13; ++k) PutFloat(file, 1.0f);
        }
        ASSERT_EQ(file.size(), 211u);
        dir.WriteBytes("Misc/0.LIT", file);
        LightSet set;
        set.Enter(0);
        const Quaternion& rotation = set.records[0].rotation;
        EXPECT_NEAR((LightSet::TowardLight(rotation) - c.toward).Length(), 0.0f, 1e-5f) << c.what;
        SceneLight scene[3];
        set.ToSceneLights(scene);
        const Vector3 shaded = scene[0].orientation.ToMatrix().TransformNormal(Vector3(0, 0, 1));
        EXPECT_NEAR((shaded - c.toward).Length(), 0.0f, 1e-5f) << c.what;
        const Matrix4 device = LightSet::RendererOrientation(rotation).ToMatrix();
        const Vector3 shines(-device.m[0][2], -device.m[1][2], -device.m[2][2]);
        EXPECT_NEAR((shines + c.toward).Length(), 0.0f, 1e-5f) << c.what;
    }
}

TEST(LightSet, TheEditorYawsAboutTheVerticalAndPitchesAboutTheLightsOwnSide) {
    // Yaw turns the direction about the world's vertical: its height stays. Pitch turns it about
    // the light's own side axis (the image of +x): that axis stays.
    for (int i = 0; i < 3; ++i) {
        LightSet set;
        set.SelectByNumber(i + 1);
        const Quaternion start = set.lights[i].rotation;
        const Vector3 before = LightSet::TowardLight(start);
        set.TurnCurrent(0.4f, 0.0f);
        const Vector3 yawed = LightSet::TowardLight(set.lights[i].rotation);
        EXPECT_NEAR(yawed.y, before.y, 1e-5f) << "light " << i;
        const float turned = std::atan2(yawed.x, yawed.z) - std::atan2(before.x, before.z);
        EXPECT_NEAR(std::remainder(turned, 6.2831853f), 0.4f, 1e-4f) << "light " << i << ": a positive yaw turns z to x";
        EXPECT_TRUE(set.lights[i].rotationChanged && set.lights[i].changed);

        set.lights[i].rotation = start;
        const Vector3 side = start.ToMatrix().TransformNormal(Vector3(1, 0, 0));
        set.TurnCurrent(0.0f, 0.3f);
        const Matrix4 pitched = set.lights[i].rotation.ToMatrix();
        EXPECT_NEAR((pitched.TransformNormal(Vector3(1, 0, 0)) - side).Length(), 0.0f, 1e-5f) << "light " << i;
        EXPECT_NEAR(LightSet::TowardLight(set.lights[i].rotation).Dot(before), std::cos(0.3f), 1e-4f) << "light " << i;
    }
}
