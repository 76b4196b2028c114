// SDL and the GL driver keep allocations for the life of the process (driver state, the
// keymap); the leak check would only report theirs in these binaries.
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }
