// The GL driver and fontconfig keep allocations for the life of the process; leak reports of
// these binaries would only show theirs.
extern "C" const char* __asan_default_options() { return "detect_leaks=0:allocator_may_return_null=1"; }
