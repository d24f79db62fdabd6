// Bitmaps of the view's text overlay: 8 pixels wide and 13 rows high, one
// byte per row, bottom row first, the most significant bit the leftmost
// pixel. Only 'A' to 'Z', ' ' and '.' exist.
#pragma once

namespace ravik {

inline constexpr int kGlyphRows = 13;

// The 13 rows of a character, or null when the font has no glyph for it.
const unsigned char* GlyphBitmap(char c);

}  // namespace ravik
