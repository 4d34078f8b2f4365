// Where the parts of a PNG map lie: the map of cells at the top left, below
// it the legend strip. Shared by the writer and its tests.
//
// Legend strip, from its first row: one grey separator row across the whole
// width, kLegendPad white rows, then one line of kLegendLineHeight rows per
// land use (the last line without its gap), then kLegendPad white rows. A
// line holds a kSwatchSize square swatch at x = kLegendPad (a black border of
// one pixel around the land use's colour) and, from x = kLegendTextX, its
// text in the built-in font magnified kLegendFontScale times, with the same
// top row as the swatch.
#pragma once

#include <cstdint>
#include <string>

namespace towngrow::app {

constexpr int kLegendPad = 8;
constexpr int kLegendFontScale = 2;
constexpr int kSwatchSize = 14;
constexpr int kLegendLineHeight = 20;
constexpr int kLegendTextX = kLegendPad + kSwatchSize + 6;
constexpr int kLegendMaxNameChars = 48;  // longer names are cut in the legend
constexpr int kMaxImageSide = 1000000;   // pixels, in either direction

constexpr std::uint8_t kSeparatorGrey = 128;

struct MapLayout {
  int map_width = 0;   // cols * scale
  int map_height = 0;  // rows * scale
  int legend_top = 0;  // first row of the legend strip (= map_height)
  int entries = 0;     // land uses in the legend
  int width = 0;       // whole image
  int height = 0;
};

// The layout for a coverage of rows x cols cells at scale pixels per cell
// with a legend of the given texts' widths (widest_text in font pixels at
// magnification 1). False (layout untouched) when a side would exceed
// kMaxImageSide or any size is not positive.
bool ComputeMapLayout(int rows, int cols, int scale, int entries, int widest_text,
                      MapLayout& layout);

// Top row of the swatch and text of legend line i.
inline int LegendLineTop(const MapLayout& layout, int i) {
  return layout.legend_top + 1 + kLegendPad + i * kLegendLineHeight;
}

// The legend text of a land use: "<name> (ID <id>)", the name cut to
// kLegendMaxNameChars characters.
std::string LegendText(const std::string& name, int id);

}  // namespace towngrow::app
