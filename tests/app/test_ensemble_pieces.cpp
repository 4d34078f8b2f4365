// Pieces of the ensemble command: the heat map picture, the percentage per
// cell, and the seed that lets a run continue the generator where a random
// start left it.
#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "commands/ensemble_command.h"
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

Rgb Heat(unsigned int color, int percent) {
  unsigned char rgb[3];
  HeatColor(color, percent, rgb);
  return {rgb[0], rgb[1], rgb[2]};
}

fs::path Scratch(const std::string& name) {
  const fs::path dir = fs::path(::testing::TempDir()) / "towngrow-ensemble-pieces";
  fs::create_directories(dir);
  return dir / name;
}

}  // namespace

TEST(HeatColor, RunsFromWhiteToTheColourRoundingHalfUp) {
  const unsigned int green = 0x32CD32;  // R 50, G 205, B 50
  EXPECT_EQ(Heat(green, 0), kWhite);
  EXPECT_EQ(Heat(green, 100), (Rgb{50, 205, 50}));
  // 255 - 205 * 0.5 = 152.5 and 255 - 50 * 0.5 = 230: half rounds up.
  EXPECT_EQ(Heat(green, 50), (Rgb{153, 230, 153}));
  // Black at 1 %: 252.45 -> 252; at 99 %: 2.55 -> 3.
  EXPECT_EQ(Heat(0x000000, 1), (Rgb{252, 252, 252}));
  EXPECT_EQ(Heat(0x000000, 99), (Rgb{3, 3, 3}));
  // Byte order 0x00BBGGRR: red in the low byte.
  EXPECT_EQ(Heat(0x0000FF, 100), (Rgb{255, 0, 0}));
  EXPECT_EQ(Heat(0xFF0000, 100), (Rgb{0, 0, 255}));
  // Out of range percentages are clamped.
  EXPECT_EQ(Heat(green, -7), kWhite);
  EXPECT_EQ(Heat(green, 250), (Rgb{50, 205, 50}));
  // Every step darkens (or keeps) every channel.
  for (int p = 1; p <= 100; ++p) {
    const Rgb a = Heat(0x8CB4D2, p - 1), b = Heat(0x8CB4D2, p);
    EXPECT_LE(b.r, a.r);
    EXPECT_LE(b.g, a.g);
    EXPECT_LE(b.b, a.b);
  }
}

TEST(HeatMap, CellsTitleAndScaleBarLieWhereTheLayoutSays) {
  const int rows = 6, cols = 9, scale = 5;
  std::vector<unsigned char> percent(static_cast<std::size_t>(rows * cols));
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c)
      percent[static_cast<std::size_t>(r * cols + c)] =
          static_cast<unsigned char>((r * 37 + c * 11) % 101);
  percent[0] = 0;
  percent[1] = 100;
  percent[2] = 200;  // beyond 100: drawn as 100
  const unsigned int color = 0xD0E040;
  const std::string title = "industry: percent of 8 runs";
  const std::string path = Scratch("cells.png").string();
  ASSERT_EQ(WriteHeatMapPng(percent.data(), rows, cols, color, scale, title, path), "");

  HeatMapLayout l;
  ASSERT_TRUE(ComputeHeatMapLayout(rows, cols, scale, title, l));
  Image img;
  ASSERT_TRUE(ReadPng(path, img));
  ASSERT_EQ(img.width, l.width);
  ASSERT_EQ(img.height, l.height);
  EXPECT_EQ(l.map_width, cols * scale);
  EXPECT_EQ(l.map_height, rows * scale);
  // The map is narrower than the scale bar: the image is as wide as the bar
  // part, and beside the map it is white.
  EXPECT_GT(l.width, l.map_width);
  EXPECT_EQ(img.At(l.map_width, 0), kWhite);
  EXPECT_EQ(img.At(l.width - 1, l.map_height - 1), kWhite);

  // Every pixel of every cell square.
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c) {
      const int p = std::min<int>(percent[static_cast<std::size_t>(r * cols + c)], 100);
      for (int dy = 0; dy < scale; ++dy)
        for (int dx = 0; dx < scale; ++dx)
          ASSERT_EQ(img.At(c * scale + dx, r * scale + dy), Heat(color, p))
              << "cell " << r << "," << c;
    }
  EXPECT_EQ(img.At(2 * scale, 0), Heat(color, 100));

  // The separator row, then white down to the title.
  for (int x = 0; x < l.width; ++x) ASSERT_EQ(img.At(x, l.map_height), (Rgb{128, 128, 128}));
  for (int y = l.map_height + 1; y < l.title_top; ++y)
    for (int x = 0; x < l.width; ++x) ASSERT_EQ(img.At(x, y), kWhite);

  // The title: black exactly where the font has its pixels.
  for (std::size_t k = 0; k < title.size(); ++k)
    for (int gy = 0; gy < kGlyphHeight; ++gy)
      for (int gx = 0; gx < kGlyphWidth; ++gx) {
        const int x = kLegendPad + (static_cast<int>(k) * kGlyphAdvance + gx) * kLegendFontScale;
        const int y = l.title_top + gy * kLegendFontScale;
        ASSERT_EQ(img.At(x, y), GlyphPixel(title[k], gx, gy) ? kBlack : kWhite) << title[k];
      }

  // The bar: a black frame around kHeatBarStep columns per percentage.
  for (int x = l.bar_left - 1; x <= l.bar_left + kHeatBarWidth; ++x) {
    ASSERT_EQ(img.At(x, l.bar_top), kBlack);
    ASSERT_EQ(img.At(x, l.bar_top + kHeatBarHeight + 1), kBlack);
  }
  for (int y = l.bar_top + 1; y <= l.bar_top + kHeatBarHeight; ++y) {
    ASSERT_EQ(img.At(l.bar_left - 1, y), kBlack);
    ASSERT_EQ(img.At(l.bar_left + kHeatBarWidth, y), kBlack);
    for (int p = 0; p <= 100; ++p)
      for (int k = 0; k < kHeatBarStep; ++k)
        ASSERT_EQ(img.At(l.bar_left + p * kHeatBarStep + k, y), Heat(color, p)) << p;
  }
  // Five labels under the bar: some black between the bar and the bottom
  // padding, under the left end, the middle and the right end.
  auto blackIn = [&](int x0, int x1) {
    int n = 0;
    for (int y = l.labels_top; y < l.labels_top + kGlyphHeight * kLegendFontScale; ++y)
      for (int x = std::max(0, x0); x < std::min(l.width, x1); ++x) n += img.At(x, y) == kBlack;
    return n;
  };
  EXPECT_GT(blackIn(l.bar_left - 20, l.bar_left + 20), 0);
  EXPECT_GT(blackIn(l.bar_left + 50 * kHeatBarStep - 20, l.bar_left + 50 * kHeatBarStep + 20), 0);
  EXPECT_GT(blackIn(l.bar_left + kHeatBarWidth - 30, l.bar_left + kHeatBarWidth + 30), 0);
  EXPECT_EQ(blackIn(l.bar_left + 13 * kHeatBarStep, l.bar_left + 19 * kHeatBarStep),
            0);  // between "0%" and "25%"
  for (int y = l.height - kLegendPad; y < l.height; ++y)
    for (int x = 0; x < l.width; ++x) ASSERT_EQ(img.At(x, y), kWhite);
}

TEST(HeatMap, WideMapsSetTheWidthAndLongTitlesAreCut) {
  HeatMapLayout l;
  ASSERT_TRUE(ComputeHeatMapLayout(10, 400, 2, "t", l));
  EXPECT_EQ(l.width, 800);
  EXPECT_EQ(l.map_width, 800);
  // A title wider than everything else widens the image.
  const std::string longTitle(kHeatMaxTitleChars, 'x');
  ASSERT_TRUE(ComputeHeatMapLayout(5, 5, 1, longTitle, l));
  EXPECT_EQ(l.width, 2 * kLegendPad + TextWidth(longTitle) * kLegendFontScale);
  // The writer cuts a longer title to kHeatMaxTitleChars characters.
  std::vector<unsigned char> cells(25, 50);
  const std::string path = Scratch("title.png").string();
  ASSERT_EQ(WriteHeatMapPng(cells.data(), 5, 5, 0x0000FF, 1, longTitle + "yyyyyyyy", path), "");
  Image img;
  ASSERT_TRUE(ReadPng(path, img));
  EXPECT_EQ(img.width, l.width);
}

TEST(HeatMap, RefusalsLeaveNoFile) {
  std::vector<unsigned char> cells(100, 0);
  const std::string path = Scratch("refused.png").string();
  fs::remove(path);
  EXPECT_NE(WriteHeatMapPng(cells.data(), 10, 10, 0, 0, "t", path), "");  // scale 0
  EXPECT_NE(WriteHeatMapPng(nullptr, 10, 10, 0, 1, "t", path), "");
  EXPECT_NE(WriteHeatMapPng(cells.data(), 0, 10, 0, 1, "t", path), "");
  EXPECT_FALSE(fs::exists(path));
  // Too large an image: refused before anything is written.
  HeatMapLayout l;
  EXPECT_FALSE(ComputeHeatMapLayout(10000, 10000, 200, "t", l));
  const std::string err = WriteHeatMapPng(cells.data(), 10000, 10000, 0, 200, "t", path);
  EXPECT_NE(err.find("exceed"), std::string::npos) << err;
  EXPECT_FALSE(fs::exists(path));
  // A folder that does not exist.
  const std::string bad = Scratch("no-such-folder").string() + "/x.png";
  EXPECT_NE(WriteHeatMapPng(cells.data(), 10, 10, 0, 1, "t", bad), "");
  EXPECT_FALSE(fs::exists(bad));
}

TEST(PercentOfRuns, RoundsHalfUpForEveryCountAndSmallRunNumbers) {
  for (unsigned int runs = 1; runs <= 300; ++runs)
    for (unsigned int count = 0; count <= runs; ++count)
      ASSERT_EQ(PercentOfRuns(count, runs),
                static_cast<int>(std::floor(100.0 * count / runs + 0.5)))
          << count << " of " << runs;
  EXPECT_EQ(PercentOfRuns(1, 8), 13);   // 12.5
  EXPECT_EQ(PercentOfRuns(3, 8), 38);   // 37.5
  EXPECT_EQ(PercentOfRuns(1, 200), 1);  // 0.5
  EXPECT_EQ(PercentOfRuns(1, 201), 0);  // 0.4975
  // The most runs: no overflow, both ends exact.
  EXPECT_EQ(PercentOfRuns(65535, 65535), 100);
  EXPECT_EQ(PercentOfRuns(327, 65535), 0);      // 0.49897
  EXPECT_EQ(PercentOfRuns(328, 65535), 1);      // 0.50050
  EXPECT_EQ(PercentOfRuns(65207, 65535), 99);   // 99.4995
  EXPECT_EQ(PercentOfRuns(65208, 65535), 100);  // 99.5010
}

TEST(ContinuationSeed, TheGeneratorGoesOnAsIfNothingHadBeenDrawn) {
  const unsigned int seeds[] = {0u, 1u, 7u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu, 123456789u};
  const int skips[] = {0, 1, 2, 5000, 77777};
  for (unsigned int seed : seeds)
    for (int skip : skips) {
      SeedRandom(seed);
      for (int k = 0; k < skip; ++k) RandomDraw();
      std::vector<int> expected(3000);
      for (int& v : expected) v = RandomDraw();

      SeedRandom(seed);
      for (int k = 0; k < skip; ++k) RandomDraw();
      const unsigned int cont = ContinuationSeed();
      SeedRandom(cont);
      for (std::size_t k = 0; k < expected.size(); ++k)
        ASSERT_EQ(RandomDraw(), expected[k])
            << "seed " << seed << ", after " << skip << ", draw " << k;
    }
}
