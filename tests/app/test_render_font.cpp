// The built-in legend font: every printable character has a glyph of its
// own, other bytes fall back to '?', and lookups outside a glyph are blank.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "pictures/font.h"

using namespace towngrow::app;

namespace {

std::string Picture(char ch) {
  std::string s;
  for (int y = 0; y < kGlyphHeight; ++y) {
    for (int x = 0; x < kGlyphWidth; ++x) s += GlyphPixel(ch, x, y) ? '#' : '.';
    s += '\n';
  }
  return s;
}

TEST(Font, PrintableCharactersHaveDistinctGlyphs) {
  std::map<std::string, char> owner;
  for (int code = 32; code <= 126; ++code) {
    const char ch = static_cast<char>(code);
    const std::string pic = Picture(ch);
    const bool blank = pic.find('#') == std::string::npos;
    EXPECT_EQ(blank, ch == ' ') << "glyph of '" << ch << "'";
    auto [it, fresh] = owner.emplace(pic, ch);
    EXPECT_TRUE(fresh) << "'" << ch << "' looks like '" << it->second << "'\n" << pic;
    // Row bits stay inside the five columns.
    for (int y = 0; y < kGlyphHeight; ++y) EXPECT_LT(GlyphRows(ch)[y], 1u << kGlyphWidth) << ch;
  }
}

std::string Mirrored(char ch) {
  std::string s;
  for (int y = 0; y < kGlyphHeight; ++y) {
    for (int x = kGlyphWidth - 1; x >= 0; --x) s += GlyphPixel(ch, x, y) ? '#' : '.';
    s += '\n';
  }
  return s;
}

TEST(Font, GlyphsAreUprightAndNotMirrored) {
  // Left column of 'L' set, right column clear but for the bottom row.
  for (int y = 0; y < kGlyphHeight; ++y) {
    EXPECT_TRUE(GlyphPixel('L', 0, y));
    EXPECT_EQ(GlyphPixel('L', kGlyphWidth - 1, y), y == kGlyphHeight - 1);
  }
  // Top row of 'T' full, bottom row only its stem.
  for (int x = 0; x < kGlyphWidth; ++x) {
    EXPECT_TRUE(GlyphPixel('T', x, 0));
    EXPECT_EQ(GlyphPixel('T', x, kGlyphHeight - 1), x == kGlyphWidth / 2);
  }
  for (char ch : std::string("AHIMOTUVWXY|-+=*^"))
    EXPECT_EQ(Picture(ch), Mirrored(ch)) << "'" << ch << "' should be symmetric";
  for (auto pair : {std::make_pair('(', ')'), std::make_pair('<', '>'), std::make_pair('/', '\\'),
                    std::make_pair('[', ']'), std::make_pair('{', '}')})
    EXPECT_EQ(Picture(pair.first), Mirrored(pair.second)) << pair.first << pair.second;
}

TEST(Font, OtherBytesUseTheQuestionMark) {
  const std::string question = Picture('?');
  for (int code : {0, 9, 10, 31, 127, 128, 0xE9, 255})
    EXPECT_EQ(Picture(static_cast<char>(code)), question) << code;
}

TEST(Font, PixelsOutsideTheGlyphAreBlank) {
  for (int y = -1; y <= kGlyphHeight; ++y) {
    EXPECT_FALSE(GlyphPixel('#', -1, y));
    EXPECT_FALSE(GlyphPixel('#', kGlyphWidth, y));
  }
  for (int x = -1; x <= kGlyphWidth; ++x) {
    EXPECT_FALSE(GlyphPixel('#', x, -1));
    EXPECT_FALSE(GlyphPixel('#', x, kGlyphHeight));
  }
}

TEST(Font, TextWidthLeavesOutTheLastGap) {
  EXPECT_EQ(TextWidth(""), 0);
  EXPECT_EQ(TextWidth("A"), kGlyphWidth);
  EXPECT_EQ(TextWidth("AB"), 2 * kGlyphWidth + 1);
  EXPECT_EQ(TextWidth("Housing (ID 3)"), 14 * kGlyphAdvance - 1);
}

}  // namespace
