// metrofare-png SHOT.TGA OUT.png: turns one of the game's screenshots (an uncompressed 32-bit
// TGA) into a PNG for the documentation. The picture is read and written by stb.
#include <cstdio>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_TGA
#include <stb/stb_image.h>
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: metrofare-png SHOT.TGA OUT.png\n");
        return 2;
    }
    int w = 0, h = 0, channels = 0;
    // Screenshots are opaque: three channels are kept.
    unsigned char* pixels = stbi_load(argv[1], &w, &h, &channels, 3);
    if (!pixels) {
        std::fprintf(stderr, "metrofare-png: cannot read %s: %s\n", argv[1], stbi_failure_reason());
        return 1;
    }
    const int ok = stbi_write_png(argv[2], w, h, 3, pixels, w * 3);
    stbi_image_free(pixels);
    if (!ok) {
        std::fprintf(stderr, "metrofare-png: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
