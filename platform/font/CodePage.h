#pragma once
// Text bytes are code-page bytes, not Unicode. The engine's texts use Windows-1252, where byte
// 0x80 is the euro (currency) sign; other code pages read bytes 0x80..0xFF as Latin-1.
#include <cstdint>

namespace plat {

constexpr int kCodePage1252 = 1252;

// The Unicode code point of a text byte; 0 for bytes the code page leaves undefined (those,
// like 0x7F, are drawn with the face's missing-glyph shape).
uint32_t CodePageToUnicode(uint8_t byte, int codePage = kCodePage1252);
// The byte of a code point (typed text coming in as Unicode); 0 when the page has none.
uint8_t UnicodeToCodePage(uint32_t codePoint, int codePage = kCodePage1252);

}  // namespace plat
