// The real program full screen on a bare X server (a virtual one, no window manager) whose
// screen is larger than the game's 800 x 600 mode and wider than its shape: the window covers the
// whole screen and the picture fills its height, centred between black bars. Skipped where no
// Xvfb is installed.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "tests/support/ProgramRun.h"

namespace {

// An Xvfb of the given screen that keeps its framebuffer as an XWD file in `fbdir`, with a black
// root window; stopped when this goes.
class VirtualScreen {
public:
    VirtualScreen(int width, int height, const std::string& fbdir) {
        int fds[2];
        if (pipe(fds) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            close(fds[0]);
            const int quiet = open("/dev/null", O_WRONLY);
            if (quiet >= 0) {
                dup2(quiet, 1);
                dup2(quiet, 2);
            }
            const std::string fd = std::to_string(fds[1]);
            const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x24";
            setsid();
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-fbdir", fbdir.c_str(),
                   "-br", "-nolisten", "tcp", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        // The server writes its display number once it takes connections.
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        char c = 0;
        while (poll(&p, 1, 30000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        if (!number.empty()) display = ":" + number;
    }
    ~VirtualScreen() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    std::string display;

private:
    pid_t pid_ = -1;
};

// The screen's pixel at (x, y) as 0xRRGGBB from an XWD file of 32 bits a pixel.
class ScreenPicture {
public:
    explicit ScreenPicture(const std::string& bytes) : bytes_(bytes) {
        if (bytes_.size() < 100) return;
        for (int i = 0; i < 25; ++i) header_[i] = Big(size_t(i) * 4);
    }
    bool Valid() const { return bytes_.size() >= 100 && header_[11] == 32 && Width() > 0; }
    int Width() const { return int(header_[4]); }
    int Height() const { return int(header_[5]); }
    uint32_t At(int x, int y) const {
        const size_t at = size_t(header_[0]) + size_t(header_[19]) * 12 + size_t(y) * header_[12] + size_t(x) * 4;
        if (at + 4 > bytes_.size()) return 0;
        uint32_t v = 0;
        for (int k = 3; k >= 0; --k) v = v << 8 | uint8_t(bytes_[at + size_t(k)]);
        return v & 0xFFFFFFu;
    }

private:
    uint32_t Big(size_t at) const {
        uint32_t v = 0;
        for (size_t k = 0; k < 4; ++k) v = v << 8 | uint8_t(bytes_[at + k]);
        return v;
    }
    std::string bytes_;
    uint32_t header_[25] = {};
};

bool Dark(uint32_t rgb) { return ((rgb >> 16) & 0xFF) + ((rgb >> 8) & 0xFF) + (rgb & 0xFF) < 30; }

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

TEST(BareScreen, FullScreenCoversTheWholeScreenWithThePictureLetterboxed) {
    if (std::system("command -v Xvfb > /dev/null 2>&1") != 0) GTEST_SKIP() << "no Xvfb on this machine";
    testing_support::TempWorkDir dir;
    ASSERT_EQ(std::system((std::string(METROFARE_DEMO) + " . > demo.log").c_str()), 0);
    ASSERT_EQ(std::system("mkdir -p screen"), 0);
    constexpr int kW = 1280, kH = 720;
    VirtualScreen screen(kW, kH, "screen");
    ASSERT_FALSE(screen.display.empty()) << "Xvfb did not start";

    // The program on that screen, as a player's X session would start it: full screen, no -F.
    const char* names[] = {"DISPLAY", "SDL_VIDEODRIVER", "LIBGL_ALWAYS_SOFTWARE"};
    std::optional<std::string> saved[3];
    for (int i = 0; i < 3; ++i)
        if (const char* v = std::getenv(names[i])) saved[i] = v;
    setenv("DISPLAY", screen.display.c_str(), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
    setenv("LIBGL_ALWAYS_SOFTWARE", "1", 1);
    const pid_t pid = testing_support::StartProgram(METROFARE_PROGRAM, {"-M", "-W3"});
    for (int i = 0; i < 3; ++i) {
        if (saved[i]) setenv(names[i], saved[i]->c_str(), 1);
        else unsetenv(names[i]);
    }
    ASSERT_GT(pid, 0);

    // A few frames of the main menu on the screen.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (Count(testing_support::ProgramLog(dir), "ENGINE: Using Main") < 5 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const ScreenPicture shot(dir.ReadBytes("screen/Xvfb_screen0"));
    kill(pid, SIGTERM);
    EXPECT_EQ(testing_support::WaitForExit(pid, std::chrono::seconds(60)), 0);
    ASSERT_GE(Count(testing_support::ProgramLog(dir), "ENGINE: Using Main"), 5u)
        << testing_support::ProgramLog(dir).substr(0, 4000);

    ASSERT_TRUE(shot.Valid());
    ASSERT_EQ(shot.Width(), kW);
    ASSERT_EQ(shot.Height(), kH);
    // The 4:3 picture is 960 x 720, from x = 160 to 1120; the menu's background is lit towards
    // the bottom. Its corners far from the window's old 800 x 600 at the top left show it too.
    const struct {
        int x, y;
        bool picture;
    } points[] = {{180, 700, true}, {640, 715, true}, {1100, 700, true}, {1100, 500, true},
                  {80, 360, false}, {1200, 360, false}, {40, 700, false},   {1260, 700, false}};
    for (const auto& p : points)
        EXPECT_EQ(!Dark(shot.At(p.x, p.y)), p.picture)
            << "at " << p.x << ", " << p.y << ": " << std::hex << shot.At(p.x, p.y);
}

} // namespace
