#include "platform/font/CodePage.h"

namespace plat {
namespace {

// Bytes 0x80..0x9F of Windows-1252 (0: undefined).
constexpr uint16_t kHigh1252[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

}  // namespace

uint32_t CodePageToUnicode(uint8_t byte, int codePage) {
    if (byte == 0x7F) return 0;
    if (byte < 0x80 || byte >= 0xA0) return byte;
    return codePage == kCodePage1252 ? kHigh1252[byte - 0x80] : byte;
}

uint8_t UnicodeToCodePage(uint32_t codePoint, int codePage) {
    if (codePoint == 0 || codePoint == 0x7F) return 0;
    if (codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF)) return uint8_t(codePoint);
    if (codePage != kCodePage1252) return codePoint < 0xA0 ? uint8_t(codePoint) : 0;
    for (int i = 0; i < 32; ++i)
        if (kHigh1252[i] == codePoint) return uint8_t(0x80 + i);
    return 0;
}

}  // namespace plat
