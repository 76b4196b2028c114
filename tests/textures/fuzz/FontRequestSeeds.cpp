// Writes the font-request fuzz seeds: the requests the engine itself makes (the default font,
// the game's Arial sizes, a console font), a face that does not exist, and sizes at the ends of
// the range.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/render/Font.h"
#include "tests/fuzz/FuzzSupport.h"

int main(int argc, char** argv) {
    const fuzz_support::SeedDir seeds(argc, argv);
    auto Write = [&](const std::string& name, uint8_t sets, int32_t size, bool bold, bool underline,
                     const std::string& face) {
        std::vector<uint8_t> bytes{sets};
        for (int i = 0; i < 4; ++i) bytes.push_back(uint8_t(uint32_t(size) >> (8 * i)));
        bytes.push_back(uint8_t((bold ? 1 : 0) | (underline ? 2 : 0)));
        bytes.insert(bytes.end(), face.begin(), face.end());
        seeds.Write(name, bytes);
    };
    Write("default", kFontAll, 15, true, false, "Arial");
    for (int size : {8, 10, 11, 12, 14, 16, 18, 20, 24, 30, 40, 50})
        Write("arial-" + std::to_string(size), kFontAll, size, false, size % 3 == 0, "Arial");
    Write("digits", kFontDigits | kFontPunctuation, 21, true, true, "Arial");
    Write("missing-face", kFontLower, 15, false, false, "No Such Face");
    Write("smallest", kFontUpper, 1, false, false, "Arial");
    Write("largest", kFontDigits, kMaxFontSize, true, false, "Arial");
    return 0;
}
