#include <cstdio>

#include "tools/demo/DemoTree.h"

int main(int argc, char** argv) {
    // One directory and nothing else: an option is never taken for a directory name.
    if (argc != 2 || argv[1][0] == '-' || argv[1][0] == '\0') {
        std::fprintf(stderr,
                     "usage: metrofare-demo DIR\n"
                     "Writes the demo data tree (menus, textures, sounds, language set, ...) into DIR,\n"
                     "creating it if needed. Start the game with DIR as its working directory.\n");
        return 2;
    }
    if (!tools::WriteDemoTree(argv[1])) return 1;
    std::printf("metrofare-demo: data tree written to %s\n", argv[1]);
    return 0;
}
