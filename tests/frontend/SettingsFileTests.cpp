// The settings file: round trip, files that are not settings, damaged files, score tables that
// do not match the missions, stored values out of range, and writes that fail or are killed.
#include <csignal>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <poll.h>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/core/AtomicFile.h"
#include "tests/frontend/SettingsFixture.h"

using namespace settings_test;

namespace {

const SharedString kPath("Misc\\Default.VQS");

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string out;
    for (uint8_t b : bytes) out += "0123456789ABCDEF"[b >> 4], out += "0123456789ABCDEF"[b & 15], out += ' ';
    return out;
}

// Waits (bounded) for one byte from the child; false when it ended or went silent.
bool ReadProgress(int fd) {
    pollfd p{fd, POLLIN, 0};
    char c;
    return poll(&p, 1, 10000) == 1 && read(fd, &c, 1) == 1;
}

} // namespace

TEST_F(SettingsTest, WriteThenReadRestoresEveryField) {
    renderer.modes = {{640, 480, 32, 60}, {1024, 768, 16, 60}};
    settings.displayMode.SetModes(renderer.modes);
    settings.SetDefaults();
    settings.displayMode.Set(int32_t(1));
    settings.textureLevel.Set(int32_t(1));
    settings.carEffect.Set(int32_t(1));
    settings.environmentMap.Set(int32_t(1));
    settings.viewDistance.Set(0.25f);
    settings.detailLevel.Set(int32_t(1));
    settings.staticGeometryMode.Set(int32_t(1));
    settings.sampleRate.Set(int32_t(0));
    settings.voiceCount.Set(int32_t(4));
    settings.effectsVolume.Set(0.1f);
    settings.speechVolume.Set(0.2f);
    settings.ambientVolume.Set(0.3f);
    settings.musicVolume.Set(0.4f);
    // Every code of scheme 2 unbound, a few others moved.
    for (int32_t a = 0; a < kStoredActionCount; ++a) {
        settings.Binding(2, StoredAction(a)).primary.code = -1;
        settings.Binding(2, StoredAction(a)).secondary.code = -1;
    }
    settings.Binding(1, StoredAction::Confirm).secondary.code = 0x40C;
    settings.Binding(0, StoredAction::DropPassenger).primary.code = 0x10D;
    settings.furthestEpisode = 2;
    settings.furthestMission = 3;
    settings.currentEpisode = 1;
    settings.currentMission = 2;
    settings.flag = true;
    settings.playerName = "";
    settings.sessionName = "";
    settings.lastPlayedMission = 2;
    settings.highestUnlockedMission = 3;
    settings.scoreTables[1][0] = {SharedString("abc"), SharedString(""), 999.5f};
    settings.carChoice.Set(int32_t(2));
    settings.missionChoice.Set(int32_t(3));
    const std::vector<uint8_t> before = LiveBytes();

    ASSERT_TRUE(settings.Write(kPath));
    // "abc" is stored as its length and the complemented bytes.
    EXPECT_NE(Hex(SettingsBytes(settings.Capture(kPath))).find("03 00 00 00 9E 9D 9C "), std::string::npos);
    EXPECT_EQ(dir.ReadBytes("Misc/Default.VQS").substr(0, 7), std::string("ZK2\0\0\0\x10", 7));

    GameSettings other(engine.services);
    other.displayMode.SetModes(renderer.modes);
    other.carCount = 3;
    other.carChoice.action = [this](int32_t v) { carSeen.push_back(v); };
    other.missionChoice.action = [this](int32_t v) { missionSeen.push_back(v); };
    carSeen.clear();
    missionSeen.clear();
    SettingsSaveCountdown = 0.0f;
    // The bindings live in the engine's action map, shared by both: overwrite them first.
    for (int32_t scheme = 0; scheme < kControlSchemeCount; ++scheme)
        for (int32_t a = 0; a < kStoredActionCount; ++a)
            settings.Binding(scheme, StoredAction(a)).primary.code = settings.Binding(scheme, StoredAction(a)).secondary.code = 5;
    ASSERT_EQ(other.Read(kPath), SettingsReadResult::Loaded);

    EXPECT_EQ(Hex(SettingsBytes(other.Capture(SharedString("x")))), Hex(before));
    EXPECT_EQ(other.Binding(2, StoredAction::Brake).primary.name, "Unbound");
    EXPECT_EQ(other.Binding(0, StoredAction::DropPassenger).primary.name, "Input 269");
    // The two choices see 1 before their stored values; loading marks the settings changed.
    EXPECT_EQ(carSeen, (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(missionSeen, (std::vector<int32_t>{1, 3}));
    EXPECT_EQ(SettingsSaveCountdown, 1.0f);
    EXPECT_FALSE(Exists("Misc/Default.VQS.bad"));
}

// Files that are not settings files are left alone by a read; damaged settings files are set
// aside and the defaults take over.
TEST_F(SettingsTest, FilesThatCannotBeReadLeaveTheStateOrFallBackToTheDefaults) {
    const std::string good = VqsBytes(4);
    struct Case {
        const char* name;
        std::string bytes;
        SettingsReadResult result;
    } cases[] = {
        {"nine bytes", good.substr(0, 9), SettingsReadResult::NotSettings},
        {"third magic byte", "ZK3" + good.substr(3), SettingsReadResult::NotSettings},
        {"another version", good.substr(0, 3) + std::string("\0\0\0\x20", 4) + good.substr(7),
         SettingsReadResult::NotSettings},
        {"truncated in the tables", good.substr(0, good.size() - 13), SettingsReadResult::Damaged},
        {"truncated in the bindings", good.substr(0, 200), SettingsReadResult::Damaged},
        {"ends before the last value", good.substr(0, good.size() - 1), SettingsReadResult::Damaged},
        {"path length past the end", good.substr(0, 7) + std::string("\xF0\x0F\0\0", 4) + good.substr(11),
         SettingsReadResult::Damaged},
        {"path longer than 4 KiB", good.substr(0, 7) + std::string("\x01\x10\0\0", 4) + good.substr(11) +
                                       std::string(5000, 'x'),
         SettingsReadResult::Damaged},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove("Misc/Default.VQS.bad");
        dir.WriteBytes("Misc/Default.VQS", c.bytes);
        // A state unlike the defaults, so that both outcomes show.
        settings.textureLevel.Set(int32_t(0));
        settings.effectsVolume.Set(0.0f);
        settings.Binding(0, StoredAction::Accelerate).primary.code = 33;
        settings.scoreTables.clear();
        testing_support::LogCapture log;

        ASSERT_EQ(settings.Read(kPath), c.result);
        if (c.result == SettingsReadResult::NotSettings) {
            EXPECT_EQ(settings.textureLevel.cachedInt, 0);
            EXPECT_EQ(settings.Binding(0, StoredAction::Accelerate).primary.code, 33);
            EXPECT_TRUE(settings.scoreTables.empty());
            EXPECT_EQ(dir.ReadBytes("Misc/Default.VQS"), c.bytes);
            EXPECT_FALSE(Exists("Misc/Default.VQS.bad"));
        } else {
            EXPECT_EQ(settings.textureLevel.cachedInt, 2);
            EXPECT_FLOAT_EQ(settings.effectsVolume.cachedFloat, 0.66f);
            EXPECT_EQ(settings.Binding(0, StoredAction::Accelerate).primary.code, 70);
            EXPECT_EQ(settings.scoreTables.size(), 4u);
            EXPECT_FALSE(Exists("Misc/Default.VQS"));
            EXPECT_EQ(dir.ReadBytes("Misc/Default.VQS.bad"), c.bytes);
            EXPECT_TRUE(log.Contains("SETTINGS: Misc\\Default.VQS cannot be used")) << testing::PrintToString(log.Lines());
        }
    }
}

// The file holds no table count: the tables run up to the last two values, then they are fitted
// to the language's missions.
TEST_F(SettingsTest, ScoreTablesAreFittedToTheMissionCount) {
    for (int32_t stored : {3, 5}) {
        SCOPED_TRACE(stored);
        dir.WriteBytes("Misc/Default.VQS", VqsBytes(stored, [&](SettingsRecord& r) {
                           for (int32_t m = 0; m < stored; ++m) r.scoreTables[size_t(m)][0].score = 1000.0f + float(m);
                           r.carChoice = 2;
                           r.missionChoice = 3;
                       }));
        settings.carCount = 3;
        ASSERT_EQ(settings.Read(kPath), SettingsReadResult::Loaded);
        ASSERT_EQ(settings.scoreTables.size(), 4u);
        for (int32_t m = 0; m < std::min(stored, 4); ++m) EXPECT_EQ(settings.scoreTables[size_t(m)][0].score, 1000.0f + float(m));
        if (stored == 3) {
            const HighScoreTable& added = settings.scoreTables[3];
            EXPECT_EQ(added[0].score, 200.0f);
            EXPECT_EQ(added[4].score, 120.0f);
            EXPECT_FALSE(added[0].name.IsEmpty());
        }
        EXPECT_EQ(settings.carChoice.cachedInt, 2);
        EXPECT_EQ(settings.missionChoice.cachedInt, 3);
    }
}

TEST_F(SettingsTest, StoredValuesAreClampedToWhatTheyIndex) {
    settings.displayMode.modes = {SharedString("640*480@32"), SharedString("800*600@32")};
    settings.carCount = 3;
    dir.WriteBytes("Misc/Default.VQS", VqsBytes(4, [](SettingsRecord& r) {
                       r.displayMode = "1600*1200@32";
                       r.textureLevel = 7;
                       r.carEffect = -1;
                       r.environmentMap = 9;
                       r.viewDistance = std::nanf("");
                       r.detailLevel = 4;
                       r.staticGeometryMode = 2;
                       r.sampleRate = 3;
                       r.voiceCount = -5;
                       r.effectsVolume = 2.5f;
                       r.speechVolume = -1.0f;
                       r.ambientVolume = INFINITY;
                       r.bindings[0][0][0] = 0x10E;          // past the mouse's axes
                       r.bindings[0][0][1] = 0x400 + 6 + 32; // past a joystick's buttons
                       r.bindings[1][1][0] = -7;
                       r.bindings[2][2][0] = 0x800 + 6 + 31; // the second joystick's last button
                       r.furthestEpisode = 40;
                       r.furthestMission = 4;
                       r.currentEpisode = -2;
                       r.currentMission = 99;
                       r.lastPlayedMission = 4;
                       r.highestUnlockedMission = -1;
                       r.scoreTables[0][1].score = std::nanf("");
                       r.carChoice = 3;
                       r.missionChoice = -1;
                   }));
    ASSERT_EQ(settings.Read(kPath), SettingsReadResult::Loaded);
    EXPECT_EQ(settings.displayMode.cachedInt, 0);
    EXPECT_EQ(settings.textureLevel.cachedInt, 2);
    EXPECT_EQ(settings.carEffect.cachedInt, 0);
    EXPECT_EQ(settings.environmentMap.cachedInt, 3) << "0 to 3 are kept, the rest clamped";
    EXPECT_EQ(settings.viewDistance.cachedFloat, 0.5f);
    EXPECT_EQ(settings.detailLevel.cachedInt, 3);
    EXPECT_EQ(settings.staticGeometryMode.cachedInt, 1);
    EXPECT_EQ(settings.sampleRate.cachedInt, 2);
    EXPECT_EQ(settings.voiceCount.cachedInt, 0);
    EXPECT_EQ(settings.effectsVolume.cachedFloat, 1.0f);
    EXPECT_EQ(settings.speechVolume.cachedFloat, 0.0f);
    EXPECT_FLOAT_EQ(settings.ambientVolume.cachedFloat, 0.66f);
    EXPECT_EQ(settings.Binding(0, StoredAction::Accelerate).primary.code, -1);
    EXPECT_EQ(settings.Binding(0, StoredAction::Accelerate).primary.name, "Unbound");
    EXPECT_EQ(settings.Binding(0, StoredAction::Accelerate).secondary.code, -1);
    EXPECT_EQ(settings.Binding(1, StoredAction::Brake).primary.code, -1);
    EXPECT_EQ(settings.Binding(2, StoredAction::SteerLeft).primary.code, 0x800 + 6 + 31);
    EXPECT_EQ(settings.furthestEpisode, 5);
    EXPECT_EQ(settings.furthestMission, 3);
    EXPECT_EQ(settings.currentEpisode, 0);
    EXPECT_EQ(settings.currentMission, 3);
    EXPECT_EQ(settings.lastPlayedMission, 3);
    EXPECT_EQ(settings.highestUnlockedMission, 0);
    EXPECT_EQ(settings.scoreTables[0][1].score, 0.0f);
    EXPECT_EQ(settings.carChoice.cachedInt, 2);
    EXPECT_EQ(settings.missionChoice.cachedInt, 0);
    EXPECT_EQ(renderer.textures.maxMipLevel, 0);
}

// A save that cannot be finished keeps the old file whole: a directory the game may not write
// into, and a disk that fills up half way (a file-size limit in a child process).
TEST_F(SettingsTest, AWriteThatFailsKeepsTheOldFile) {
    settings.SetDefaults();
    ASSERT_TRUE(settings.Write(kPath));
    const std::string old = dir.ReadBytes("Misc/Default.VQS");
    settings.playerName = SharedString(std::string(4000, 'n'));
    settings.scoreTables.resize(40, settings.scoreTables[0]);
    chmod(dir.Path().c_str(), 0755);
    chmod((dir.Path() + "/Misc").c_str(), 0555);

    for (const char* how : {"read-only directory", "disk full half way"}) {
        SCOPED_TRACE(how);
        const bool readOnly = std::string(how) == "read-only directory";
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            if (readOnly) {
                // Privileges would write anyway: the save runs as an ordinary user.
                if (geteuid() == 0 && setuid(65534) != 0) _exit(2);
            } else {
                chmod("Misc", 0755);
                std::signal(SIGXFSZ, SIG_IGN);
                const rlimit limit{1024, 1024};
                setrlimit(RLIMIT_FSIZE, &limit);
            }
            _exit(settings.Write(kPath) ? 1 : 0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "the save must report its failure";
        EXPECT_EQ(dir.ReadBytes("Misc/Default.VQS"), old);
        EXPECT_FALSE(Exists("Misc/Default.VQS.tmp"));
    }
    chmod((dir.Path() + "/Misc").c_str(), 0755);
}

// A game killed at any moment while saving leaves the old or the new settings, each whole.
TEST_F(SettingsTest, AWriterKilledAtRandomMomentsLeavesAWholeOldOrNewFile) {
    settings.SetDefaults();
    // Long names make each save large enough for kills to land inside it.
    settings.scoreTables.resize(12);
    for (HighScoreTable& t : settings.scoreTables)
        for (HighScoreEntry& e : t) e.name = SharedString(std::string(4000, 'a'));
    const std::vector<uint8_t> first = SettingsBytes(settings.Capture(kPath));
    settings.musicVolume.Set(0.5f);
    settings.playerName = "Second";
    const std::vector<uint8_t> second = SettingsBytes(settings.Capture(kPath));
    ASSERT_TRUE(WriteFileAtomically(kPath, first.data(), first.size()));
    const std::string firstText(first.begin(), first.end()), secondText(second.begin(), second.end());
    // The kills land anywhere in a save: a random while up to one and a half saves after one ended.
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(settings.Write(kPath));
    const auto save = std::chrono::steady_clock::now() - start;

    std::mt19937 random(7051);
    int killedMidSave = 0;
    for (int round = 0; round < 30; ++round) {
        int progress[2];
        ASSERT_EQ(pipe(progress), 0);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(progress[0]);
            for (int i = 0; i < 100000; ++i) {
                settings.playerName = (i + round) % 2 ? "Second" : "Player";
                settings.musicVolume.cachedFloat = (i + round) % 2 ? 0.5f : 1.0f;
                if (!settings.Write(kPath)) _exit(3);
                const char done = 1;
                if (write(progress[1], &done, 1) != 1) _exit(4);
            }
            _exit(0);
        }
        close(progress[1]);
        bool alive = true;
        for (int i = int(random() % 3); i > 0 && alive; --i) alive = ReadProgress(progress[0]);
        const auto until = std::chrono::steady_clock::now() + save * int(random() % 1500) / 1000;
        while (std::chrono::steady_clock::now() < until) {
        }
        kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        close(progress[0]);
        ASSERT_TRUE(alive) << "the writer stopped early, status " << status;
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer failed, status " << status;

        const std::string now = dir.ReadBytes("Misc/Default.VQS");
        ASSERT_TRUE(now == firstText || now == secondText) << "round " << round << ": " << now.size() << " bytes";
        if (Exists("Misc/Default.VQS.tmp")) ++killedMidSave;
    }
    EXPECT_GT(killedMidSave, 0) << "no kill landed inside a save of " << std::chrono::duration<double, std::milli>(save).count() << " ms";
    GameSettings reader(engine.services);
    EXPECT_EQ(reader.Read(kPath), SettingsReadResult::Loaded);
}
