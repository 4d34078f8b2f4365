// Map pictures: the view, the layout, the drawing and the PNG.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <ogr_srs_api.h>

#include "io/gdal_raster.h"
#include "report/canvas.h"
#include "report/render.h"
#include "towngrow/calibrate.h"
#include "towngrow/compare.h"
#include "towngrow/grid/category.h"
#include "towngrow/grid/coverage.h"
#include "towngrow/landuse/land_use.h"
#include "towngrow/landuse/land_use_set.h"
#include "towngrow/platform/framework.h"

namespace towngrow::report {

namespace {

constexpr int kPad = 14;
constexpr double kTitleSize = 17, kSubtitleSize = 13, kLegendSize = 13;
constexpr int kTitleBaseline = kPad + 15;
constexpr int kSubtitleBaseline = kTitleBaseline + 20;
constexpr int kSwatch = 14, kItemHeight = 22, kItemGap = 24, kSwatchText = 8;
constexpr int kBarStep = 3, kBarHeight = 14;  // the percentage bar: 3 pixels per percent
constexpr int kScaleBarHeight = 28;
constexpr int kAutoSide = 800, kMinWidth = 360;
constexpr int kLegendMaxNameChars = 48;

const CLandUse* UseAt(const CLandUseSet& set, int i) {
  return dynamic_cast<const CLandUse*>(set.m_LandUseArray.GetAt(i));
}

Extent Whole(int rows, int cols) { return Extent{0, 0, rows, cols}; }

// Grows the range [lo, hi) to at least `need` cells, centred, inside [0, size).
void Widen(int& lo, int& hi, int need, int size) {
  need = std::min(need, size);
  if (hi - lo < need) {
    const int more = need - (hi - lo);
    lo -= more / 2;
    hi += more - more / 2;
  }
  if (hi - lo >= size) {
    lo = 0;
    hi = size;
    return;
  }
  if (lo < 0) hi -= lo, lo = 0;
  if (hi > size) lo -= hi - size, hi = size;
}

std::string Number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.10g", v);
  return buf;
}

}  // namespace

bool ParseExtentMode(const std::string& word, ExtentMode& mode) {
  if (word == "town")
    mode = ExtentMode::Town;
  else if (word == "full")
    mode = ExtentMode::Full;
  else
    return false;
  return true;
}

ValueFlags DevelopedIds(const CLandUseSet& set) {
  ValueFlags flags{};
  for (int id = 0; id < 256; ++id) {
    const int i = set.GetIDIndex(static_cast<unsigned char>(id));
    const CLandUse* use = i >= 0 ? UseAt(set, i) : nullptr;
    if (use == nullptr) continue;
    const LandUseCategory c = use->m_LandUseCategory;
    flags[static_cast<std::size_t>(id)] =
        c == StreetNode || c == StreetVertex || c == House || c == Industry || c == Commerce;
  }
  return flags;
}

Extent FlaggedBox(const unsigned char* cells, int rows, int cols, const ValueFlags& flagged) {
  int r0 = rows, r1 = -1, c0 = cols, c1 = -1;
  for (int r = 0; r < rows; ++r) {
    const unsigned char* row = cells + static_cast<std::size_t>(r) * static_cast<std::size_t>(cols);
    int first = -1, last = -1;
    for (int c = 0; c < cols; ++c)
      if (flagged[row[c]]) {
        if (first < 0) first = c;
        last = c;
      }
    if (first < 0) continue;
    r0 = std::min(r0, r);
    r1 = r;
    c0 = std::min(c0, first);
    c1 = std::max(c1, last);
  }
  if (r1 < 0) return Extent{};
  return Extent{r0, c0, r1 - r0 + 1, c1 - c0 + 1};
}

Extent Union(const Extent& a, const Extent& b) {
  if (a.Empty()) return b;
  if (b.Empty()) return a;
  const int r0 = std::min(a.row, b.row), c0 = std::min(a.col, b.col);
  const int r1 = std::max(a.row + a.rows, b.row + b.rows);
  const int c1 = std::max(a.col + a.cols, b.col + b.cols);
  return Extent{r0, c0, r1 - r0, c1 - c0};
}

Extent ViewOf(const Extent& box, int rows, int cols, ExtentMode mode) {
  if (mode == ExtentMode::Full || box.Empty()) return Whole(rows, cols);
  const int margin = std::max(3, std::max(box.rows, box.cols) / 10);
  int r0 = box.row - margin, r1 = box.row + box.rows + margin;
  int c0 = box.col - margin, c1 = box.col + box.cols + margin;
  Widen(r0, r1, r1 - r0, rows);  // inside the grid first
  Widen(c0, c1, c1 - c0, cols);
  Widen(r0, r1, std::max(20, (c1 - c0) / 4), rows);
  Widen(c0, c1, std::max(20, (r1 - r0) / 4), cols);
  return Extent{r0, c0, r1 - r0, c1 - c0};
}

std::string ViewText(int rows, int cols, const Extent& view) {
  std::string text = std::to_string(rows) + " x " + std::to_string(cols) + " cells";
  if (view.Empty() || view == Whole(rows, cols)) return text;
  return text + ", showing rows " + std::to_string(view.row + 1) + "\xE2\x80\x93" +
         std::to_string(view.row + view.rows) + ", columns " + std::to_string(view.col + 1) +
         "\xE2\x80\x93" + std::to_string(view.col + view.cols);
}

bool ChooseScaleBar(const MapScale& scale, double pixelsPerCell, ScaleBar& bar) {
  if (!(scale.cellSize > 0.0) || !std::isfinite(scale.cellSize) || !(pixelsPerCell > 0.0))
    return false;
  const double unitsPerPixel = scale.cellSize / pixelsPerCell;
  // The smallest nice length at least 60 pixels long (then at most 150).
  const double least = 60.0 * unitsPerPixel;
  double power = std::pow(10.0, std::floor(std::log10(least)));
  double length = 0.0;
  for (int k = 0; k < 4 && length == 0.0; ++k, power *= 10.0)
    for (double m : {1.0, 2.0, 5.0})
      if (m * power >= least * (1 - 1e-9)) {
        length = m * power;
        break;
      }
  bar.pixels = length / unitsPerPixel;
  if (scale.unit == "m" && length >= 1000.0)
    bar.label = Number(length / 1000.0) + " km";
  else
    bar.label = Number(length) + " " + scale.unit;
  return true;
}

MapScale MapScaleOf(const io::GeoInfo& geo) {
  MapScale scale;
  if (!geo.hasTransform) return scale;
  scale.cellSize = std::fabs(geo.transform[1]);
  if (geo.wkt.empty()) return scale;
  OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
  std::string wkt = geo.wkt;
  char* text = wkt.data();
  if (OSRImportFromWkt(srs, &text) == OGRERR_NONE) {
    char* unit = nullptr;
    const double metres = OSRGetLinearUnits(srs, &unit);
    if (OSRIsGeographic(srs))
      scale.unit = "\xC2\xB0";  // the degree sign
    else if (std::fabs(metres - 1.0) < 1e-12)
      scale.unit = "m";
    else if (std::fabs(metres - 0.3048) < 1e-6 || std::fabs(metres - 0.3048006096) < 1e-9)
      scale.unit = "ft";
  }
  OSRDestroySpatialReference(srs);
  return scale;
}

unsigned int HeatColor(unsigned int color, int percent) {
  const int p = std::clamp(percent, 0, 100);
  unsigned int out = 0;
  for (int k = 0; k < 3; ++k) {
    const int c = static_cast<int>((color >> (8 * k)) & 0xFFu);
    // 255 + (c - 255) * p / 100, rounded half up (the numerator never goes below 0).
    out |= static_cast<unsigned int>((25500 * 2 + (c - 255) * p * 2 + 100) / 200) << (8 * k);
  }
  return out;
}

void HeatColors(unsigned int color, MapPicture& map) {
  for (int v = 0; v < 256; ++v)
    map.colors[static_cast<std::size_t>(v)] = HeatColor(color, std::min(v, 100));
  map.percentBar = true;
  map.legend.clear();
}

ValueFlags PresentIds(const CLandUseCoverage& cov) {
  ValueFlags present{};
  const std::size_t cells = static_cast<std::size_t>(cov.m_nRows) * cov.m_nCols;
  for (std::size_t i = 0; i < cells && cov.m_pData != nullptr; ++i) present[cov.m_pData[i]] = true;
  return present;
}

void LandUseColors(const CLandUseSet& set, const ValueFlags& present, MapPicture& map) {
  LegendColors(io::LegendOf(set), present, map);
}

void LegendColors(const std::vector<io::LegendClass>& classes, const ValueFlags& present,
                  MapPicture& map) {
  map.colors.fill(0xFFFFFFu);
  map.legend.clear();
  map.percentBar = false;
  for (const io::LegendClass& c : classes) {
    map.colors[static_cast<std::size_t>(c.value)] = c.color;
    if (!present[static_cast<std::size_t>(c.value)]) continue;
    std::string name = PrintableUtf8(c.name);
    if (name.size() > static_cast<std::size_t>(kLegendMaxNameChars)) {
      std::size_t cut = kLegendMaxNameChars;  // not inside a UTF-8 sequence
      while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0u) == 0x80u) --cut;
      name = name.substr(0, cut) + "...";
    }
    map.legend.push_back({c.color, name + " (ID " + std::to_string(c.value) + ")"});
  }
}

bool LayOutMap(const MapPicture& map, int longestSide, const std::string& widestTitle,
               MapGeometry& g, std::string& why) {
  if (map.cells == nullptr || map.rows <= 0 || map.cols <= 0) {
    why = "the map is empty";
    return false;
  }
  const Extent view = map.view.Empty() ? Whole(map.rows, map.cols) : map.view;
  const int longer = std::max(view.rows, view.cols);
  long long mapW = 0, mapH = 0;
  double ppc = 0.0;
  if (map.scale > 0) {
    ppc = map.scale;
    mapW = static_cast<long long>(view.cols) * map.scale;
    mapH = static_cast<long long>(view.rows) * map.scale;
  } else if (longer <= longestSide) {
    const int s = std::max(1, std::min(kAutoSide, longestSide) / longer);
    ppc = s;
    mapW = static_cast<long long>(view.cols) * s;
    mapH = static_cast<long long>(view.rows) * s;
  } else {  // sampled: the longer side is longestSide pixels
    ppc = static_cast<double>(longestSide) / longer;
    mapW = std::max(1LL, static_cast<long long>(view.cols) * longestSide / longer);
    mapH = std::max(1LL, static_cast<long long>(view.rows) * longestSide / longer);
  }
  Canvas measure(1, 1);
  const std::string& title = widestTitle.empty() ? map.title : widestTitle;
  const double titleW = std::max(measure.TextWidth(title, kTitleSize, true),
                                 measure.TextWidth(map.subtitle, kSubtitleSize));
  double itemW = 0.0;
  for (const LegendItem& item : map.legend)
    itemW = std::max(itemW, kSwatch + kSwatchText + measure.TextWidth(item.text, kLegendSize));
  const double barW = map.percentBar ? 101 * kBarStep + 2 + 2 * 20 : 0.0;
  const long long width =
      std::max<long long>({mapW + 2 * kPad, static_cast<long long>(std::ceil(titleW)) + 2 * kPad,
                           static_cast<long long>(std::ceil(itemW)) + 2 * kPad,
                           static_cast<long long>(barW) + 2 * kPad, kMinWidth});
  const int mapY = kSubtitleBaseline + 12;
  long long legendH = 0;
  ScaleBar bar;
  if (ChooseScaleBar(map.mapScale, ppc, bar)) legendH += kScaleBarHeight;
  if (map.percentBar) {
    legendH += kBarHeight + 2 + 22;
  } else if (!map.legend.empty()) {
    const long long colW = static_cast<long long>(std::ceil(itemW)) + kItemGap;
    const long long columns = std::max(1LL, (width - 2 * kPad + kItemGap) / colW);
    const long long lines = (static_cast<long long>(map.legend.size()) + columns - 1) / columns;
    legendH += lines * kItemHeight;
  }
  const long long height = mapY + mapH + 1 + 12 + legendH + kPad - 6;
  if (width > kMaxPictureSide || height > kMaxPictureSide || width * height > kMaxPicturePixels) {
    why = "the picture would exceed " + std::to_string(kMaxPictureSide) +
          " pixels on a side (use a smaller --scale)";
    return false;
  }
  g.width = static_cast<int>(width);
  g.height = static_cast<int>(height);
  g.mapW = static_cast<int>(mapW);
  g.mapH = static_cast<int>(mapH);
  g.mapX = static_cast<int>((width - mapW) / 2);
  g.mapY = mapY;
  g.pixelsPerCell = ppc;
  g.view = view;
  g.legendTop = static_cast<int>(mapY + mapH + 1 + 12);
  return true;
}

void DrawMap(Canvas& canvas, const MapPicture& map, const MapGeometry& g) {
  canvas.Text(map.title, kPad, kTitleBaseline, kTitleSize, kBlack, true);
  canvas.Text(map.subtitle, kPad, kSubtitleBaseline, kSubtitleSize, kTextGrey);

  // The cells, written straight into the pixels.
  std::uint32_t pixel[256];
  for (int v = 0; v < 256; ++v) pixel[v] = PixelOf(map.colors[static_cast<std::size_t>(v)]);
  std::vector<int> colOf(static_cast<std::size_t>(g.mapW));
  for (int x = 0; x < g.mapW; ++x)
    colOf[static_cast<std::size_t>(x)] =
        g.view.col + static_cast<int>(static_cast<long long>(x) * g.view.cols / g.mapW);
  canvas.Flush();
  for (int y = 0; y < g.mapH; ++y) {
    const int r = g.view.row + static_cast<int>(static_cast<long long>(y) * g.view.rows / g.mapH);
    const unsigned char* cells =
        map.cells + static_cast<std::size_t>(r) * static_cast<std::size_t>(map.cols);
    std::uint32_t* out = canvas.Row(g.mapY + y) + g.mapX;
    for (int x = 0; x < g.mapW; ++x) out[x] = pixel[cells[colOf[static_cast<std::size_t>(x)]]];
  }
  canvas.Dirty();
  canvas.StrokeRect(g.mapX - 1, g.mapY - 1, g.mapW + 2, g.mapH + 2, kFrameGrey);

  int y = g.legendTop;
  ScaleBar bar;
  if (ChooseScaleBar(map.mapScale, g.pixelsPerCell, bar)) {
    const double x0 = kPad, len = std::round(bar.pixels);
    canvas.FillRect(x0, y + 8, len, 4, kBlack);
    canvas.FillRect(x0, y + 3, 1.5, 14, kBlack);
    canvas.FillRect(x0 + len - 1.5, y + 3, 1.5, 14, kBlack);
    canvas.Text(bar.label, x0 + len + 8, y + 15, kLegendSize, kBlack);
    y += kScaleBarHeight;
  }
  if (map.percentBar) {
    const int x0 = kPad + 20;
    canvas.StrokeRect(x0 - 1, y, 101 * kBarStep + 2, kBarHeight + 2, kBlack);
    for (int p = 0; p <= 100; ++p)
      canvas.FillRect(x0 + p * kBarStep, y + 1, kBarStep, kBarHeight,
                      map.colors[static_cast<std::size_t>(p)]);
    for (int p = 0; p <= 100; p += 25) {
      const std::string label = std::to_string(p) + " %";
      const double w = canvas.TextWidth(label, kLegendSize);
      canvas.Text(label, x0 + p * kBarStep + kBarStep / 2.0 - w / 2, y + kBarHeight + 18,
                  kLegendSize, kBlack);
    }
    return;
  }
  double itemW = 0.0;
  for (const LegendItem& item : map.legend)
    itemW = std::max(itemW, kSwatch + kSwatchText + canvas.TextWidth(item.text, kLegendSize));
  const int colW = static_cast<int>(std::ceil(itemW)) + kItemGap;
  const int columns = std::max(1, (g.width - 2 * kPad + kItemGap) / std::max(1, colW));
  for (std::size_t i = 0; i < map.legend.size(); ++i) {
    const int x = kPad + static_cast<int>(i % static_cast<std::size_t>(columns)) * colW;
    const int top = y + static_cast<int>(i / static_cast<std::size_t>(columns)) * kItemHeight + 3;
    canvas.FillRect(x, top, kSwatch, kSwatch, map.legend[i].color);
    canvas.StrokeRect(x, top, kSwatch, kSwatch, kTextGrey);
    canvas.Text(map.legend[i].text, x + kSwatch + kSwatchText, top + 12, kLegendSize, kBlack);
  }
}

std::string WriteMapPng(const MapPicture& map, const std::string& path, MapGeometry* geometry) {
  MapGeometry g;
  std::string why;
  if (!LayOutMap(map, 2400, "", g, why)) return PngFailure(path, why);
  Canvas canvas(g.width, g.height);
  if (!canvas.Ok()) return PngFailure(path, "not enough memory for the picture");
  DrawMap(canvas, map, g);
  if (geometry != nullptr) *geometry = g;
  return canvas.WritePng(path);
}

}  // namespace towngrow::report
