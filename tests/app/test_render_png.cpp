// The PNG map: cell colours (with the 0x00BBGGRR byte order), image size,
// the legend of the land uses present, and failures that leave no file.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "picture_support.h"
#include "pictures/font.h"
#include "pictures/map_layout.h"
#include "pictures/render.h"
#include "towngrow/towngrow.h"

namespace fs = std::filesystem;
using namespace towngrow;
using namespace towngrow::app;
using namespace picture_test;

namespace {

class PngMapTest : public MapTest {
protected:
  PngMapTest() : MapTest("render_png_") {}

  // Draws cov at `scale` into the scratch file `name` and reads it back:
  // the writer's error, "unreadable" when the file does not decode, or "".
  std::string Draw(const CLandUseCoverage& cov, int scale, const std::string& name, Image& img) {
    const std::string err = WriteMapPng(cov, set_, scale, Path(name));
    if (!err.empty()) return err;
    return ReadPng(Path(name), img) ? "" : "unreadable";
  }

  // Pixel width of a legend listing these texts.
  static int LegendWidth(const std::vector<std::string>& texts) {
    size_t longest = 0;
    for (const auto& t : texts) longest = std::max(longest, t.size());
    return kLegendTextX + (static_cast<int>(longest) * kGlyphAdvance - 1) * kLegendFontScale +
           kLegendPad;
  }
  static int LegendHeight(int entries) {
    const int lines =
        entries > 0 ? entries * kLegendLineHeight - (kLegendLineHeight - kSwatchSize) : 0;
    return 1 + 2 * kLegendPad + lines;
  }

  // The swatch of legend line i: black ring, colour inside.
  static void ExpectSwatch(const Image& img, const MapLayout& layout, int i, Rgb color) {
    const int top = LegendLineTop(layout, i);
    for (int dy = 0; dy < kSwatchSize; ++dy) {
      for (int dx = 0; dx < kSwatchSize; ++dx) {
        const bool ring = dy == 0 || dx == 0 || dy == kSwatchSize - 1 || dx == kSwatchSize - 1;
        ASSERT_EQ(img.At(kLegendPad + dx, top + dy), ring ? kBlack : color)
            << "line " << i << " at " << dx << "," << dy;
      }
    }
  }

  // The text of legend line i, pixel for pixel, magnified glyphs in black.
  static void ExpectText(const Image& img, const MapLayout& layout, int i,
                         const std::string& text) {
    const int top = LegendLineTop(layout, i);
    for (size_t k = 0; k < text.size(); ++k) {
      for (int py = 0; py < kGlyphHeight * kLegendFontScale; ++py) {
        for (int px = 0; px < kGlyphAdvance * kLegendFontScale; ++px) {
          const int x = kLegendTextX + static_cast<int>(k) * kGlyphAdvance * kLegendFontScale + px;
          if (x >= img.width) continue;
          const bool ink = GlyphPixel(text[k], px / kLegendFontScale, py / kLegendFontScale);
          ASSERT_EQ(img.At(x, top + py), ink ? kBlack : kWhite)
              << "line " << i << " char '" << text[k] << "' at " << px << "," << py;
        }
      }
    }
  }
};

TEST_F(PngMapTest, CellsAreSquaresOfTheirLandUseColourInRedGreenBlueOrder) {
  // IDs 1 and 4 have different red and blue bytes; 7 is not in the set.
  CLandUseCoverage cov;
  Fill(cov, 5, 6, [](int r, int c) { return (r * 6 + c) % 8; });
  const int scale = 3;
  Image img;
  ASSERT_EQ(Draw(cov, scale, "map.png", img), "");
  // IDs 0..7 all occur; the legend holds the seven land uses of the roster.
  std::vector<std::string> texts = {
      "Vacant Land (ID 0)", "Street Node (ID 1)", "Street Vertex (ID 2)", "Housing (ID 3)",
      "Industry (ID 4)",    "Commerce (ID 5)",    "Others (ID 6)"};
  EXPECT_EQ(img.width, std::max(6 * scale, LegendWidth(texts)));
  EXPECT_EQ(img.height, 5 * scale + LegendHeight(7));

  for (int y = 0; y < 5 * scale; ++y) {
    for (int x = 0; x < img.width; ++x) {
      const Rgb want = x < 6 * scale ? RosterRgb((y / scale * 6 + x / scale) % 8) : kWhite;
      ASSERT_EQ(img.At(x, y), want) << "pixel " << x << "," << y;
    }
  }
}

TEST_F(PngMapTest, LegendListsOnlyPresentLandUsesInSetOrder) {
  // Commerce (5) fills the top rows, housing (3) the rest, 9 is unknown.
  CLandUseCoverage cov;
  Fill(cov, 6, 5, [](int r, int c) { return r < 2 ? 5 : (c == 4 ? 9 : 3); });
  Image img;
  ASSERT_EQ(Draw(cov, 1, "legend.png", img), "");

  const std::vector<std::string> texts = {"Housing (ID 3)", "Commerce (ID 5)"};
  ASSERT_EQ(img.width, LegendWidth(texts));  // the legend is wider than 5 px of map
  ASSERT_EQ(img.height, 6 + LegendHeight(2));
  MapLayout layout;
  layout.legend_top = 6;

  // Beside the narrow map: white.
  EXPECT_EQ(img.At(5, 0), kWhite);
  EXPECT_EQ(img.At(img.width - 1, 5), kWhite);
  // The grey separator spans the whole width.
  for (int x = 0; x < img.width; ++x) ASSERT_EQ(img.At(x, 6), (Rgb{128, 128, 128}));
  ExpectSwatch(img, layout, 0, RosterRgb(3));
  ExpectSwatch(img, layout, 1, RosterRgb(5));
  ExpectText(img, layout, 0, texts[0]);
  ExpectText(img, layout, 1, texts[1]);
  // Nothing but the two lines: rows between and after them are white.
  for (int y = LegendLineTop(layout, 0) + kSwatchSize; y < LegendLineTop(layout, 1); ++y)
    for (int x = 0; x < img.width; ++x) ASSERT_EQ(img.At(x, y), kWhite);
  for (int y = LegendLineTop(layout, 1) + kSwatchSize; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) ASSERT_EQ(img.At(x, y), kWhite);
}

TEST_F(PngMapTest, HostLandUsesAndSharedIdsFollowTheSetsLookup) {
  // A host land use with its own colour, and a second land use under the ID
  // of housing, which the set's lookups never reach.
  auto* extra = new CLandUse();
  extra->m_ID = 9;
  extra->m_Color = 0x00112233;  // R 0x33, G 0x22, B 0x11
  extra->m_strLandUseName = "Park";
  set_.m_LandUseArray.Add(extra);
  auto* shadow = new CLandUse();
  shadow->m_ID = 3;
  shadow->m_Color = 0x00ABCDEF;
  shadow->m_strLandUseName = "Shadowed";
  set_.m_LandUseArray.Add(shadow);

  CLandUseCoverage cov;
  Fill(cov, 5, 5, [](int r, int) { return r == 0 ? 9 : 3; });
  Image img;
  ASSERT_EQ(Draw(cov, 2, "host.png", img), "");
  EXPECT_EQ(img.At(0, 0), (Rgb{0x33, 0x22, 0x11}));
  EXPECT_EQ(img.At(9, 1), (Rgb{0x33, 0x22, 0x11}));
  EXPECT_EQ(img.At(0, 2), RosterRgb(3));
  EXPECT_EQ(img.At(9, 9), RosterRgb(3));

  const std::vector<std::string> texts = {"Housing (ID 3)", "Park (ID 9)"};
  ASSERT_EQ(img.height, 10 + LegendHeight(2));
  MapLayout layout;
  layout.legend_top = 10;
  ExpectSwatch(img, layout, 0, RosterRgb(3));
  ExpectSwatch(img, layout, 1, Rgb{0x33, 0x22, 0x11});
  ExpectText(img, layout, 0, texts[0]);
  ExpectText(img, layout, 1, texts[1]);
}

TEST_F(PngMapTest, LongNamesAreCutAndOddBytesDrawnAsQuestionMarks) {
  auto* use = static_cast<CLandUse*>(set_.m_LandUseArray.GetAt(3));
  use->m_strLandUseName = std::string(100, 'W') + "\xE9";
  CLandUseCoverage cov;
  Fill(cov, 5, 5, [](int, int) { return 3; });
  Image img;
  ASSERT_EQ(Draw(cov, 1, "long.png", img), "");
  const std::string shown = std::string(kLegendMaxNameChars, 'W') + " (ID 3)";
  EXPECT_EQ(img.width, LegendWidth({shown}));
  MapLayout layout;
  layout.legend_top = 5;
  ExpectText(img, layout, 0, shown);

  use->m_strLandUseName = "a\xE9";
  ASSERT_EQ(Draw(cov, 1, "long.png", img), "");
  ExpectText(img, layout, 0, "a? (ID 3)");
}

TEST_F(PngMapTest, AMapOfOnlyUnknownIdsHasAnEmptyLegend) {
  CLandUseCoverage cov;
  Fill(cov, 5, 7, [](int, int) { return 200; });
  Image img;
  ASSERT_EQ(Draw(cov, 2, "unknown.png", img), "");
  EXPECT_EQ(img.width, 14);
  EXPECT_EQ(img.height, 10 + LegendHeight(0));
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x)
      ASSERT_EQ(img.At(x, y), y == 10 ? (Rgb{128, 128, 128}) : kWhite);
}

TEST_F(PngMapTest, LargeMapAtScaleOne) {
  // Bands of 250 rows and 250 columns, so every pixel's cell is known.
  CLandUseCoverage cov;
  Fill(cov, 1000, 1500, [](int r, int c) { return (r / 250 + c / 250) % 7; });
  Image img;
  ASSERT_EQ(Draw(cov, 1, "large.png", img), "");
  ASSERT_EQ(img.width, 1500);
  ASSERT_EQ(img.height, 1000 + LegendHeight(7));
  for (int y = 0; y < 1000; y += 37)
    for (int x = 0; x < 1500; x += 41) ASSERT_EQ(img.At(x, y), RosterRgb((y / 250 + x / 250) % 7));
  EXPECT_EQ(img.At(1499, 999), RosterRgb((3 + 5) % 7));
}

TEST_F(PngMapTest, FailuresAreReportedAndLeaveNoFile) {
  CLandUseCoverage cov;
  Fill(cov, 5, 5, [](int, int) { return 3; });

  const std::string missing_dir = Path("no/such/dir/map.png");
  std::string err = WriteMapPng(cov, set_, 1, missing_dir);
  EXPECT_NE(err, "");
  EXPECT_EQ(err.find('\n'), std::string::npos);
  EXPECT_NE(err.find(missing_dir), std::string::npos);

  const std::string path = Path("map.png");
  EXPECT_NE(WriteMapPng(cov, set_, 0, path), "");
  EXPECT_NE(WriteMapPng(cov, set_, -3, path), "");
  EXPECT_NE(WriteMapPng(cov, set_, kMaxImageSide, path), "");  // 5 million pixels wide
  CLandUseCoverage empty;
  EXPECT_NE(WriteMapPng(empty, set_, 1, path), "");
  EXPECT_FALSE(fs::exists(path));

  // A directory in the way cannot be opened as a file, and stays.
  fs::create_directories(Path("taken.png"));
  EXPECT_NE(WriteMapPng(cov, set_, 1, Path("taken.png")), "");
  EXPECT_TRUE(fs::is_directory(Path("taken.png")));
}

TEST_F(PngMapTest, AWriteErrorIsReportedAndTheDeviceLeftAlone) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  CLandUseCoverage cov;
  Fill(cov, 200, 200, [](int r, int c) { return (r * 7 + c * 3) % 7; });
  EXPECT_NE(WriteMapPng(cov, set_, 2, "/dev/full"), "");
  EXPECT_TRUE(fs::exists("/dev/full"));
  EXPECT_FALSE(fs::is_regular_file("/dev/full"));
}

TEST(DefaultScale, AimsAtEightHundredPixelsOnTheLongerSide) {
  for (int rows : {5, 7, 99, 100, 101, 399, 400, 401, 799, 800, 801, 4000, 10000}) {
    for (int cols : {5, 13, 250, 800, 1000}) {
      const int scale = DefaultScale(rows, cols);
      const int longer = std::max(rows, cols);
      ASSERT_GE(scale, 1);
      if (longer >= 800) {
        EXPECT_EQ(scale, 1) << rows << " x " << cols;
      } else {
        EXPECT_LE(longer * scale, 800) << rows << " x " << cols;
        EXPECT_GT(longer * (scale + 1), 800) << rows << " x " << cols;
      }
    }
  }
  EXPECT_EQ(DefaultScale(0, 0), 1);
  EXPECT_EQ(DefaultScale(-5, -1), 1);
}

}  // namespace
