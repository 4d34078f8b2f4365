// A small built-in bitmap font (5 x 7 pixels per glyph, printable ASCII) for
// the text of picture legends, so that no font files are needed.
#pragma once

#include <cstdint>
#include <string>

namespace towngrow::app {

constexpr int kGlyphWidth = 5;
constexpr int kGlyphHeight = 7;
constexpr int kGlyphAdvance = kGlyphWidth + 1;  // one blank column between letters

// The 7 rows of a glyph, top first; bit 4 of a row is its leftmost pixel.
// Characters outside 32..126 get the glyph of '?'.
const std::uint8_t* GlyphRows(char ch);

// Whether the glyph of ch has its pixel at (x, y), 0 <= x < 5, 0 <= y < 7;
// false outside the glyph.
bool GlyphPixel(char ch, int x, int y);

// Width in pixels of text drawn at 1 pixel per font pixel (no trailing gap).
int TextWidth(const std::string& text);

}  // namespace towngrow::app
