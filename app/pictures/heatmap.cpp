// The heat map writer: a per-cell percentage drawn from white (0) to a land
// use's colour (100), with a title and a scale bar below the map. Streams
// row by row through WriteRgbPng like the land-use map.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "pictures/font.h"
#include "pictures/map_layout.h"
#include "pictures/png_rows.h"
#include "pictures/render.h"

namespace towngrow::app {

namespace {

constexpr int kTitleHeight = kGlyphHeight * kLegendFontScale;

// Everything the row callback needs; lives in WriteHeatMapPng's frame.
struct HeatSource {
  const unsigned char* percent;
  int cols;
  int scale;
  HeatMapLayout layout;
  unsigned char ramp[101][3];
  std::string title;
  std::vector<std::pair<int, std::string>> labels;  // left x, text
  std::vector<unsigned char> map_row;
  int cached_row = -1;
};

void Put(unsigned char* row, int x, const unsigned char* rgb) {
  std::memcpy(row + 3 * static_cast<std::size_t>(x), rgb, 3);
}

// Draws text at magnification kLegendFontScale with its top at `top`;
// `y` is the image row being produced.
void DrawText(const std::string& text, int left, int top, int y, int width, unsigned char* row) {
  const int gy = (y - top) / kLegendFontScale;
  if (y < top || gy >= kGlyphHeight) return;
  static const unsigned char black[3] = {0, 0, 0};
  for (std::size_t k = 0; k < text.size(); ++k) {
    const int gx0 = left + static_cast<int>(k) * kGlyphAdvance * kLegendFontScale;
    for (int gx = 0; gx < kGlyphWidth; ++gx) {
      if (!GlyphPixel(text[k], gx, gy)) continue;
      for (int m = 0; m < kLegendFontScale; ++m) {
        const int x = gx0 + gx * kLegendFontScale + m;
        if (x >= 0 && x < width) Put(row, x, black);
      }
    }
  }
}

void FillScaleRow(const HeatSource& src, int y, unsigned char* row) {
  const HeatMapLayout& l = src.layout;
  if (y == l.map_height) {
    std::memset(row, kSeparatorGrey, static_cast<std::size_t>(l.width) * 3);
    return;
  }
  DrawText(src.title, kLegendPad, l.title_top, y, l.width, row);
  static const unsigned char black[3] = {0, 0, 0};
  const int boxBottom = l.bar_top + kHeatBarHeight + 1;
  if (y >= l.bar_top && y <= boxBottom) {
    const int boxRight = l.bar_left + kHeatBarWidth;
    if (y == l.bar_top || y == boxBottom) {
      for (int x = l.bar_left - 1; x <= boxRight; ++x) Put(row, x, black);
    } else {
      Put(row, l.bar_left - 1, black);
      Put(row, boxRight, black);
      for (int x = 0; x < kHeatBarWidth; ++x) Put(row, l.bar_left + x, src.ramp[x / kHeatBarStep]);
    }
  }
  for (const auto& label : src.labels)
    DrawText(label.second, label.first, l.labels_top, y, l.width, row);
}

void FillRow(void* ctx, int y, unsigned char* row) {
  HeatSource& src = *static_cast<HeatSource*>(ctx);
  const HeatMapLayout& l = src.layout;
  std::memset(row, 0xFF, static_cast<std::size_t>(l.width) * 3);
  if (y >= l.map_height) {
    FillScaleRow(src, y, row);
    return;
  }
  const int r = y / src.scale;
  if (r != src.cached_row) {
    const unsigned char* cells =
        src.percent + static_cast<std::size_t>(r) * static_cast<std::size_t>(src.cols);
    unsigned char* out = src.map_row.data();
    for (int c = 0; c < src.cols; ++c) {
      const unsigned char* color = src.ramp[std::min<int>(cells[c], 100)];
      for (int k = 0; k < src.scale; ++k) {
        std::memcpy(out, color, 3);
        out += 3;
      }
    }
    src.cached_row = r;
  }
  std::memcpy(row, src.map_row.data(), src.map_row.size());
}

}  // namespace

void HeatColor(unsigned int color, int percent, unsigned char rgb[3]) {
  const int p = std::clamp(percent, 0, 100);
  for (int k = 0; k < 3; ++k) {
    const int c = static_cast<int>((color >> (8 * k)) & 0xFFu);
    // 255 + (c - 255) * p / 100, rounded half up (the numerator never goes below 0).
    rgb[k] = static_cast<unsigned char>((25500 * 2 + (c - 255) * p * 2 + 100) / 200);
  }
}

int HeatLabelLeft(const HeatMapLayout& layout, int percent) {
  const std::string text = std::to_string(percent) + "%";
  const int center = layout.bar_left + percent * kHeatBarStep + kHeatBarStep / 2;
  const int left = center - TextWidth(text) * kLegendFontScale / 2;
  return std::clamp(left, 0, std::max(0, layout.width - TextWidth(text) * kLegendFontScale));
}

bool ComputeHeatMapLayout(int rows, int cols, int scale, const std::string& title,
                          HeatMapLayout& layout) {
  if (rows <= 0 || cols <= 0 || scale <= 0) return false;
  const long long map_w = static_cast<long long>(cols) * scale;
  const long long map_h = static_cast<long long>(rows) * scale;
  const long long title_w =
      2LL * kLegendPad + static_cast<long long>(TextWidth(title)) * kLegendFontScale;
  const long long bar_w =
      2LL * kLegendPad + kHeatBarWidth + 2 + 2LL * kGlyphAdvance * kLegendFontScale;
  const long long width = std::max({map_w, title_w, bar_w});
  const long long title_top = map_h + 1 + kLegendPad;
  const long long bar_top = title_top + kTitleHeight + 6;
  const long long labels_top = bar_top + kHeatBarHeight + 2 + 4;
  const long long height = labels_top + kTitleHeight + kLegendPad;
  if (width > kMaxImageSide || height > kMaxImageSide) return false;
  layout.map_width = static_cast<int>(map_w);
  layout.map_height = static_cast<int>(map_h);
  layout.title_top = static_cast<int>(title_top);
  layout.bar_top = static_cast<int>(bar_top);
  layout.bar_left = kLegendPad + 1 + kGlyphAdvance * kLegendFontScale;
  layout.labels_top = static_cast<int>(labels_top);
  layout.width = static_cast<int>(width);
  layout.height = static_cast<int>(height);
  return true;
}

std::string WriteHeatMapPng(const unsigned char* percent, int rows, int cols, unsigned int color,
                            int scale, const std::string& title, const std::string& path) {
  if (percent == nullptr || rows <= 0 || cols <= 0) return PngFailure(path, "the grid is empty");
  if (scale < 1) return PngFailure(path, "the scale must be at least 1");
  HeatSource src{};
  src.percent = percent;
  src.cols = cols;
  src.scale = scale;
  for (int p = 0; p <= 100; ++p) HeatColor(color, p, src.ramp[p]);
  src.title = title.size() > static_cast<std::size_t>(kHeatMaxTitleChars)
                  ? title.substr(0, kHeatMaxTitleChars)
                  : title;
  if (!ComputeHeatMapLayout(rows, cols, scale, src.title, src.layout))
    return PngFailure(
        path, "the image would exceed " + std::to_string(kMaxImageSide) + " pixels on a side");
  for (int p = 0; p <= 100; p += 25)
    src.labels.emplace_back(HeatLabelLeft(src.layout, p), std::to_string(p) + "%");
  src.map_row.assign(static_cast<std::size_t>(src.layout.map_width) * 3, 0);
  return WriteRgbPng(path, src.layout.width, src.layout.height, FillRow, &src);
}

}  // namespace towngrow::app
