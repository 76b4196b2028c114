#include <cstdio>

#include "tools/demo/DemoTree.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: metrofare-demo DIR\n");
        return 2;
    }
    if (!tools::WriteDemoTree(argv[1])) return 1;
    std::printf("metrofare-demo: data tree written to %s\n", argv[1]);
    return 0;
}
