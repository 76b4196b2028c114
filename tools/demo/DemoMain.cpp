#include <cstdio>
#include <cstring>

#include "tools/demo/DemoTree.h"

int main(int argc, char** argv) {
    // Options first, then one directory: an option is never taken for a directory name.
    int next = 1;
    bool usable = true;
    while (usable && next < argc && argv[next][0] == '-') {
        const char* time = next + 1 < argc ? argv[next + 1] : "";
        if (std::strcmp(argv[next], "--time-of-day") == 0 && time[0] >= '0' && time[0] <= '3' && time[1] == '\0') {
            tools::Options().freeDriveTimeOfDay = time[0] - '0';
            next += 2;
        } else {
            usable = false;
        }
    }
    if (!usable || argc != next + 1 || argv[next][0] == '\0') {
        std::fprintf(stderr,
                     "usage: metrofare-demo [--time-of-day 0..3] DIR\n"
                     "Writes the demo data tree (menus, textures, sounds, language set, ...) into DIR,\n"
                     "creating it if needed. Start the game with DIR as its working directory.\n"
                     "--time-of-day sets the free drive's: 0 morning, 1 afternoon (the default),\n"
                     "2 evening, 3 night.\n");
        return 2;
    }
    if (!tools::WriteDemoTree(argv[next])) return 1;
    std::printf("metrofare-demo: data tree written to %s\n", argv[next]);
    return 0;
}
