// The GL driver and fontconfig keep allocations for the life of the process; leak reports of
// these binaries would only show theirs. The headless video driver is chosen here as well, so
// a run outside CTest behaves the same.
#include <cstdlib>

extern "C" const char* __asan_default_options() { return "detect_leaks=0:allocator_may_return_null=1"; }

namespace {
const bool kHeadless = [] { return setenv("SDL_VIDEODRIVER", "offscreen", 0) == 0; }();
}
