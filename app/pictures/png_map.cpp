// The PNG map writer: the rows are produced by a callback that never fails
// and streamed out by WriteRgbPng.
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
#include "towngrow/towngrow.h"

namespace towngrow::app {

namespace {

struct Rgb {
  std::uint8_t r, g, b;
};

Rgb ToRgb(unsigned int color) {  // 0x00BBGGRR
  return Rgb{static_cast<std::uint8_t>(color & 0xFFu),
             static_cast<std::uint8_t>((color >> 8) & 0xFFu),
             static_cast<std::uint8_t>((color >> 16) & 0xFFu)};
}

void Put(unsigned char* row, int x, Rgb c) {
  row[3 * x] = c.r;
  row[3 * x + 1] = c.g;
  row[3 * x + 2] = c.b;
}

struct LegendEntry {
  Rgb color;
  std::string text;
};

// Everything the row callback needs; lives in the writer's frame.
struct RowSource {
  const unsigned char* cells;
  int cols;
  int scale;
  MapLayout layout;
  Rgb palette[256];
  std::vector<LegendEntry> legend;
  std::vector<unsigned char> map_row;  // the cells of cached_row, magnified
  int cached_row = -1;
};

void FillLegendRow(const RowSource& src, int y, unsigned char* row) {
  const MapLayout& l = src.layout;
  const int rel = y - l.legend_top;
  if (rel == 0) {
    std::memset(row, kSeparatorGrey, static_cast<size_t>(l.width) * 3);
    return;
  }
  const int first = LegendLineTop(l, 0);
  if (y < first) return;
  const int line = (y - first) / kLegendLineHeight;
  const int within = (y - first) % kLegendLineHeight;
  if (line >= l.entries || within >= kSwatchSize) return;
  const LegendEntry& e = src.legend[static_cast<size_t>(line)];
  const Rgb black{0, 0, 0};
  for (int x = 0; x < kSwatchSize; ++x) {
    const bool border = within == 0 || within == kSwatchSize - 1 || x == 0 || x == kSwatchSize - 1;
    Put(row, kLegendPad + x, border ? black : e.color);
  }
  const int gy = within / kLegendFontScale;
  if (gy >= kGlyphHeight) return;
  for (size_t k = 0; k < e.text.size(); ++k) {
    const int gx0 = kLegendTextX + static_cast<int>(k) * kGlyphAdvance * kLegendFontScale;
    for (int gx = 0; gx < kGlyphWidth; ++gx) {
      if (!GlyphPixel(e.text[k], gx, gy)) continue;
      for (int m = 0; m < kLegendFontScale; ++m) {
        const int x = gx0 + gx * kLegendFontScale + m;
        if (x < l.width) Put(row, x, black);
      }
    }
  }
}

// Produces image row y into row (width * 3 bytes).
void FillRow(void* ctx, int y, unsigned char* row) {
  RowSource& src = *static_cast<RowSource*>(ctx);
  const MapLayout& l = src.layout;
  std::memset(row, 0xFF, static_cast<size_t>(l.width) * 3);
  if (y < l.map_height) {
    const int r = y / src.scale;
    if (r != src.cached_row) {
      const unsigned char* cells =
          src.cells + static_cast<size_t>(r) * static_cast<size_t>(src.cols);
      unsigned char* out = src.map_row.data();
      for (int c = 0; c < src.cols; ++c) {
        const Rgb color = src.palette[cells[c]];
        for (int k = 0; k < src.scale; ++k) {
          *out++ = color.r;
          *out++ = color.g;
          *out++ = color.b;
        }
      }
      src.cached_row = r;
    }
    std::memcpy(row, src.map_row.data(), src.map_row.size());
  } else {
    FillLegendRow(src, y, row);
  }
}

}  // namespace

bool ComputeMapLayout(int rows, int cols, int scale, int entries, int widest_text,
                      MapLayout& layout) {
  if (rows <= 0 || cols <= 0 || scale <= 0 || entries < 0 || widest_text < 0) return false;
  const long long map_w = static_cast<long long>(cols) * scale;
  const long long map_h = static_cast<long long>(rows) * scale;
  const long long legend_w =
      entries > 0 ? static_cast<long long>(kLegendTextX) +
                        static_cast<long long>(widest_text) * kLegendFontScale + kLegendPad
                  : 0;
  const long long legend_h = 1 + 2LL * kLegendPad +
                             (entries > 0 ? static_cast<long long>(entries) * kLegendLineHeight -
                                                (kLegendLineHeight - kSwatchSize)
                                          : 0);
  const long long width = std::max(map_w, legend_w);
  const long long height = map_h + legend_h;
  if (width > kMaxImageSide || height > kMaxImageSide) return false;
  layout.map_width = static_cast<int>(map_w);
  layout.map_height = static_cast<int>(map_h);
  layout.legend_top = static_cast<int>(map_h);
  layout.entries = entries;
  layout.width = static_cast<int>(width);
  layout.height = static_cast<int>(height);
  return true;
}

std::string LegendText(const std::string& name, int id) {
  std::string cut = name.size() > static_cast<size_t>(kLegendMaxNameChars)
                        ? name.substr(0, kLegendMaxNameChars)
                        : name;
  return cut + " (ID " + std::to_string(id) + ")";
}

int DefaultScale(int rows, int cols) {
  const int longer = std::max(rows, cols);
  if (longer <= 0) return 1;
  return std::max(1, 800 / longer);
}

namespace {

// Lays out and writes a map whose palette and legend are already in `src`.
std::string WriteSource(RowSource& src, int rows, int widest, const std::string& path) {
  if (!ComputeMapLayout(rows, src.cols, src.scale, static_cast<int>(src.legend.size()), widest,
                        src.layout)) {
    return PngFailure(
        path, "the image would exceed " + std::to_string(kMaxImageSide) + " pixels on a side");
  }
  src.map_row.assign(static_cast<size_t>(src.layout.map_width) * 3, 0);
  return WriteRgbPng(path, src.layout.width, src.layout.height, FillRow, &src);
}

}  // namespace

std::string WriteMapPng(const CLandUseCoverage& cov, const CLandUseSet& set, int scale,
                        const std::string& path) {
  if (cov.m_nRows <= 0 || cov.m_nCols <= 0 || cov.m_pData == nullptr)
    return PngFailure(path, "the coverage is empty");
  if (scale < 1) return PngFailure(path, "the scale must be at least 1");

  RowSource src{};
  src.cells = cov.m_pData;
  src.cols = cov.m_nCols;
  src.scale = scale;
  for (int id = 0; id < 256; ++id)
    src.palette[id] = ToRgb(set.GetColor(static_cast<unsigned char>(id)));

  // Which land uses occur: each present ID names the land use GetIDIndex finds.
  bool id_present[256] = {};
  const size_t cells = static_cast<size_t>(cov.m_nRows) * static_cast<size_t>(cov.m_nCols);
  for (size_t i = 0; i < cells; ++i) id_present[cov.m_pData[i]] = true;
  const int count = set.m_LandUseArray.GetSize();
  std::vector<bool> use_present(static_cast<size_t>(std::max(count, 0)), false);
  for (int id = 0; id < 256; ++id) {
    if (!id_present[id]) continue;
    const int index = set.GetIDIndex(static_cast<unsigned char>(id));
    if (index >= 0 && index < count) use_present[static_cast<size_t>(index)] = true;
  }
  int widest = 0;
  for (int i = 0; i < count; ++i) {
    if (!use_present[static_cast<size_t>(i)]) continue;
    const auto* use = dynamic_cast<const CLandUse*>(set.m_LandUseArray.GetAt(i));
    if (use == nullptr) continue;
    LegendEntry e{ToRgb(use->m_Color), LegendText(use->m_strLandUseName, use->m_ID)};
    widest = std::max(widest, TextWidth(e.text));
    src.legend.push_back(std::move(e));
  }
  return WriteSource(src, cov.m_nRows, widest, path);
}

std::string WriteCodeMapPng(const unsigned char* codes, int rows, int cols,
                            const std::vector<CodeLegend>& legend, int scale,
                            const std::string& path) {
  if (codes == nullptr || rows <= 0 || cols <= 0) return PngFailure(path, "the map is empty");
  if (scale < 1) return PngFailure(path, "the scale must be at least 1");
  RowSource src{};
  src.cells = codes;
  src.cols = cols;
  src.scale = scale;
  for (auto& c : src.palette) c = Rgb{255, 255, 255};
  int widest = 0;
  for (std::size_t i = 0; i < legend.size() && i < 256; ++i) {
    src.palette[i] = ToRgb(legend[i].color);
    if (legend[i].text.empty()) continue;
    LegendEntry e{src.palette[i], legend[i].text.substr(0, kLegendMaxNameChars + 16)};
    widest = std::max(widest, TextWidth(e.text));
    src.legend.push_back(std::move(e));
  }
  return WriteSource(src, rows, widest, path);
}

}  // namespace towngrow::app
