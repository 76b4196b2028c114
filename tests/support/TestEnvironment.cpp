// Every test binary runs headless and under the sanitizers' test settings, whether started
// by CTest, by hand or by a debugger. Values already in the environment win.
#include <cstdlib>

extern "C" __attribute__((weak)) const char* __asan_default_options() {
    // SDL and Mesa keep allocations for the life of the process; tests probe huge requests.
    return "detect_leaks=0:allocator_may_return_null=1";
}

extern "C" __attribute__((weak)) const char* __ubsan_default_options() { return "print_stacktrace=1"; }

namespace {
struct HeadlessEnvironment {
    HeadlessEnvironment() {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        setenv("SDL_AUDIODRIVER", "dummy", 0);
    }
} g_headless;
} // namespace
