#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <poll.h>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "engine/core/AtomicFile.h"
#include "tests/support/TestSupport.h"

using testing_support::LogCapture;
using testing_support::TempWorkDir;

namespace {

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

// Waits (bounded) for one byte from the child; false when it ended or went silent.
bool ReadProgress(int fd) {
    pollfd p{fd, POLLIN, 0};
    char c;
    return poll(&p, 1, 10000) == 1 && read(fd, &c, 1) == 1;
}

} // namespace

TEST(AtomicFile, StreamReplacesTheFileInItsOnDiskSpellingAndLeavesNoTemporary) {
    TempWorkDir dir;
    dir.WriteBytes("Misc/Career.dat", "old content");
    AtomicFileWriter out(SharedString("MISC\\CAREER.DAT"));
    out.WriteZK2Header(3);
    out.WriteString(SharedString("ann"));
    ASSERT_TRUE(out.Commit());

    EXPECT_EQ(dir.ReadBytes("Misc/Career.dat"), std::string("ZK2\3\0\0\0\3\0\0\0ann", 14));
    // The directory listing seen through the engine knows the replaced file and no temporary.
    const std::vector<SharedString> names = ListFiles(SharedString("misc\\*"), false);
    ASSERT_EQ(names.size(), 1u);
    EXPECT_STREQ(names[0].c_str(), "Career.dat");

    ASSERT_TRUE(WriteFileAtomically(SharedString("Misc\\new.dat"), "", 0));
    EXPECT_TRUE(FileExists(SharedString("MISC\\NEW.DAT")));
    EXPECT_EQ(dir.ReadBytes("Misc/new.dat"), "");
}

TEST(AtomicFile, AFailedSaveKeepsTheOldFileRemovesTheTemporaryAndLogs) {
    struct Case {
        const char* name;
        std::function<void()> setUp;
        const char* path;
    } cases[] = {
        {"directory missing", [] {}, "gone/settings.cfg"},
        {"temporary cannot be made", [] { std::filesystem::create_directory("settings.cfg.tmp"); }, "settings.cfg"},
        {"rename refused", [] { std::filesystem::create_directories("settings.cfg/inside"); }, "settings.cfg"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempWorkDir dir;
        dir.WriteBytes("keep.cfg", "old");
        c.setUp();
        LogCapture log;
        EXPECT_FALSE(WriteFileAtomically(SharedString(c.path), "new", 3));
        EXPECT_TRUE(log.Contains(std::string("FILE: Could not save ") + c.path)) << testing::PrintToString(log.Lines());
        EXPECT_FALSE(std::filesystem::is_regular_file(std::string(c.path) + ".tmp"));
        EXPECT_EQ(dir.ReadBytes("keep.cfg"), "old");
    }
}

// A disk that fills up mid-write (a file-size limit in a child process) must not cost the old file.
TEST(AtomicFile, AShortWriteKeepsTheOldFile) {
    TempWorkDir dir;
    dir.WriteBytes("scores.dat", "old scores");
    const std::string big(64 * 1024, 'x');
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(WriteFileAtomically(SharedString("scores.dat"), big.data(), big.size()) ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the save must report the failed write";
    EXPECT_EQ(dir.ReadBytes("scores.dat"), "old scores");
    EXPECT_FALSE(Exists("scores.dat.tmp"));
}

// A writer killed at any moment leaves the whole old or the whole new content. The child rewrites
// the file over and over, reporting each finished save; it is killed a random while into a save.
TEST(AtomicFile, AWriterKilledAtRandomMomentsLeavesWholeOldOrWholeNewContent) {
    TempWorkDir dir;
    const std::string first(192 * 1024, 'a');
    const std::string second(320 * 1024, 'b');
    const SharedString path("table.dat");
    ASSERT_TRUE(WriteFileAtomically(path, first.data(), first.size()));

    std::mt19937 random(20240613);
    int killedMidSave = 0;
    for (int round = 0; round < 40; ++round) {
        int progress[2];
        ASSERT_EQ(pipe(progress), 0);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(progress[0]);
            for (int i = 0; i < 100000; ++i) {
                const std::string& next = (i + round) % 2 ? first : second;
                if (!WriteFileAtomically(path, next.data(), next.size())) _exit(3);
                const char done = 1;
                if (write(progress[1], &done, 1) != 1) _exit(4);
            }
            _exit(0);
        }
        close(progress[1]);
        const int saves = int(random() % 3);
        bool alive = true;
        for (int i = 0; i < saves && alive; ++i) alive = ReadProgress(progress[0]);
        volatile uint32_t spin = 0;
        for (uint32_t n = random() % 50000; n > 0; --n) spin = spin + 1;
        kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        close(progress[0]);
        ASSERT_TRUE(alive) << "the writer stopped early, status " << status;
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer failed, status " << status;

        const std::string now = dir.ReadBytes("table.dat");
        ASSERT_TRUE(now == first || now == second) << "round " << round << ": " << now.size() << " bytes";
        if (Exists("table.dat.tmp")) ++killedMidSave;
    }
    // The kills must have landed inside saves, or the loop proved nothing.
    EXPECT_GT(killedMidSave, 0);
}
