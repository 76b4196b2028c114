// SIGTERM ends the real program within two seconds whatever it is doing: the intro, the main
// menu, a mission loading, the game, the menu over a paused game; on the demo tree and on trees
// with damaged files. The program runs on a virtual X display and is driven with keys as a
// player would (Pause on the menu starts the quick game, Return takes the offered car, Escape
// pauses to the menu).
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <ostream>
#include <random>
#include <string>

#include "tests/support/ProgramRun.h"
#include "tests/support/VirtualDisplay.h"
#include "tools/writers/ClipWriter.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

constexpr std::chrono::seconds kReach(120);
constexpr double kExitLimit = 2.0;

enum class State { Intro, Menu, Loading, Game, Paused };
enum class Damage { None, Truncated, Random, Deleted };

struct ExitCase {
    const char* name;
    State state;
    Damage damage;
    const char* file;  // relative to the tree
};

void PrintTo(const ExitCase& c, std::ostream* out) { *out << c.name; }

void Spoil(const fs::path& path, Damage damage) {
    ASSERT_TRUE(fs::exists(path)) << path;
    const auto size = fs::file_size(path);
    switch (damage) {
    case Damage::None: break;
    case Damage::Truncated: fs::resize_file(path, size / 2); break;
    case Damage::Deleted: fs::remove(path); break;
    case Damage::Random: {
        std::mt19937 random(11);
        std::string bytes(size, '\0');
        for (char& c : bytes) c = char(random());
        FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        break;
    }
    }
}

// The program's log from `from` on (the console's file grows while the program runs).
std::string LogFrom(const TempWorkDir& dir, size_t from) {
    const std::string log = dir.ReadBytes("zkConsole.log");
    return from < log.size() ? log.substr(from) : std::string();
}

// Where `text` first appears in the log at or after `from`; npos when not within `limit` or
// when the program ended.
size_t WaitForLogAfter(const TempWorkDir& dir, pid_t pid, const std::string& text, size_t from,
                       std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        const size_t at = LogFrom(dir, from).find(text);
        if (at != std::string::npos) return from + at;
        if (waitpid(pid, nullptr, WNOHANG) == pid) return std::string::npos;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return std::string::npos;
}

class SigtermRun : public ::testing::TestWithParam<ExitCase> {
protected:
    static void SetUpTestSuite() {
        tree_ = new TempWorkDir;
        ASSERT_EQ(WaitForExit(StartProgram(METROFARE_DEMO, {"."}), std::chrono::seconds(120)), 0);
        // An intro long enough to be still playing when the signal comes, however loaded the machine.
        tools::ClipDescription clip;
        clip.framesPerSecond = 1;
        clip.frameCount = 300;
        clip.paint = [](int32_t index, uint32_t* argb) {
            std::fill(argb, argb + 64 * 48, 0xFF000000u | uint32_t(index));
        };
        ASSERT_TRUE(tools::WriteClip("Intro.AVI", clip));
        fs::remove("out.txt");
    }
    static void TearDownTestSuite() {
        delete tree_;
        tree_ = nullptr;
    }
    static TempWorkDir* tree_;
};
TempWorkDir* SigtermRun::tree_ = nullptr;

} // namespace

TEST_P(SigtermRun, TheProgramEndsWithinTwoSeconds) {
    const ExitCase& c = GetParam();
    VirtualDisplay display;
    if (display.Name().empty()) GTEST_SKIP() << "no Xvfb or xdotool on this machine";
    ASSERT_NE(tree_, nullptr);
    const std::string treePath = tree_->Path();
    TempWorkDir dir;
    fs::copy(treePath, dir.Path(), fs::copy_options::recursive);
    if (c.damage != Damage::None) Spoil(fs::path(dir.Path()) / c.file, c.damage);

    // The program on the virtual display; this process keeps its headless settings.
    const std::string previousDriver = std::getenv("SDL_VIDEODRIVER") ? std::getenv("SDL_VIDEODRIVER") : "";
    setenv("DISPLAY", display.Name().c_str(), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
    const pid_t pid = StartProgram(METROFARE_PROGRAM, c.state == State::Intro ? std::vector<std::string>{"-W3"}
                                                                              : std::vector<std::string>{"-M", "-W3"});
    setenv("SDL_VIDEODRIVER", previousDriver.c_str(), 1);
    unsetenv("DISPLAY");
    ASSERT_GT(pid, 0);

    size_t at = std::string::npos;
    if (c.state == State::Intro) {
        at = WaitForLogAfter(dir, pid, "INTROMOVIE: Playing Intro.AVI", 0, kReach);
    } else {
        at = WaitForLogAfter(dir, pid, "ENGINE: Using Main for ", 0, kReach);
        if (at != std::string::npos && c.state != State::Menu) {
            EXPECT_TRUE(display.Focus(pid));
            EXPECT_TRUE(display.Key("Pause"));
            at = WaitForLogAfter(dir, pid, c.state == State::Loading ? "ENGINE: Using Mission for " : "ENGINE: Using Game for ",
                                 at, kReach);
        }
        if (at != std::string::npos && c.state == State::Paused) {
            // Return takes the offered car once the car select has it; Escape then pauses to the
            // menu. Pressed again until the menu shows over the game.
            const size_t inGame = at;
            at = std::string::npos;
            for (int attempt = 0; attempt < 60 && at == std::string::npos; ++attempt) {
                display.Key("Return");
                display.Key("Escape");
                at = WaitForLogAfter(dir, pid, "ENGINE: Using Main for ", inGame, std::chrono::seconds(1));
            }
        }
    }
    const bool reached = at != std::string::npos;

    const auto signalled = std::chrono::steady_clock::now();
    kill(pid, SIGTERM);
    int status = 0;
    bool ended = false;
    while (std::chrono::steady_clock::now() - signalled < std::chrono::seconds(30)) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            ended = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - signalled).count();
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    RecordProperty("exit_seconds", std::to_string(seconds));
    const std::string log = ProgramLog(dir);
    const std::string tail = log.substr(log.size() > 3000 ? log.size() - 3000 : 0);
    ASSERT_TRUE(reached) << tail;
    ASSERT_TRUE(ended) << tail;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << tail;
    EXPECT_LT(seconds, kExitLimit) << tail;
    EXPECT_NE(log.find("Shutting down..."), std::string::npos);
    // Closed during the intro, the program loads no menu only to free it again.
    if (c.state == State::Intro) {
        EXPECT_EQ(log.find("MLP: Initing Main"), std::string::npos) << tail;
    }
}

INSTANTIATE_TEST_SUITE_P(
    States, SigtermRun,
    ::testing::Values(ExitCase{"Intro", State::Intro, Damage::None, ""},
                      ExitCase{"Menu", State::Menu, Damage::None, ""},
                      ExitCase{"Loading", State::Loading, Damage::None, ""},
                      ExitCase{"Game", State::Game, Damage::None, ""},
                      ExitCase{"Paused", State::Paused, Damage::None, ""},
                      ExitCase{"IntroLanguageTruncated", State::Intro, Damage::Truncated, "Misc/DefaultEnglish.ZKL"},
                      ExitCase{"MenuPictureRandom", State::Menu, Damage::Random, "Menu/Back.ZKT"},
                      ExitCase{"LoadingWorldTruncated", State::Loading, Damage::Truncated, "Maps/World.VQW"},
                      ExitCase{"GameLightsDeleted", State::Game, Damage::Deleted, "Misc/1.LIT"},
                      ExitCase{"PausedCarSoundDeleted", State::Paused, Damage::Deleted, "Vehicles/CabMetro/Engine.wav"}),
    [](const ::testing::TestParamInfo<ExitCase>& info) { return std::string(info.param.name); });
