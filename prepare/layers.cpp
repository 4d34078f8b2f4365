// Layers onto the grid through GDAL and OGR (see layers.h).
#include "prepare/layers.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <map>
#include <set>

#include <cpl_error.h>
#include <cpl_string.h>
#include <gdal_alg.h>
#include <gdal_priv.h>
#include <gdal_utils.h>
#include <gdalwarper.h>
#include <ogr_spatialref.h>
#include <ogrsf_frmts.h>

#include "io/error.h"
#include "prepare/planned_layer.h"
#include "prepare/streets.h"

namespace towngrow::io {

using namespace prepare_gdal;  // NOLINT(google-build-using-namespace)

namespace {

// The codes of a raster layer's values: each value its rules give (and
// its "nodata") gets one. Cells no rule names take kUnnamed, no-data cells
// kNoData, unless the layer says what they become: both keep what lies
// below, but only unnamed cells vote when the most frequent value is taken
// (GDAL leaves no-data out of the vote), so a grid cell over mostly
// unnamed land keeps what lies below, as the layer's own cells would.
template <class Code>
struct Coding {
  static constexpr Code kNoData = std::numeric_limits<Code>::max();
  static constexpr Code kUnnamed = kNoData - 1;
  static bool Keeps(Code c) { return c >= kUnnamed; }
  std::vector<int> values;  // code -> value
  std::map<int, Code> codeOf;
  // Values -32768..65535 by table, others by search.
  static constexpr std::int64_t kLutLo = -32768, kLutSize = 98304;
  std::vector<Code> lut;

  explicit Coding(const LayerEntry& layer) {
    for (const ValueRule& rule : layer.rules) Add(rule.value);
    if (layer.hasNoData) Add(layer.noData);
    lut.resize(kLutSize);
    for (std::int64_t i = 0; i < kLutSize; ++i) lut[i] = Search(layer.rules, kLutLo + i);
  }

  void Add(int value) {
    if (codeOf.emplace(value, static_cast<Code>(values.size())).second) values.push_back(value);
  }

  Code Search(const std::vector<ValueRule>& rules, std::int64_t v) const {
    const ValueRule* rule = FindRule(rules, v);
    return rule != nullptr ? codeOf.at(rule->value) : kUnnamed;
  }

  // What no-data cells take: the layer's "nodata", a rule that names the
  // no-data value, or kNoData.
  Code NoDataCode(const LayerEntry& layer, bool hasNoData, double noData) const {
    if (layer.hasNoData) return codeOf.at(layer.noData);
    const ValueRule* rule = hasNoData ? NoDataRule(layer.rules, noData) : nullptr;
    return rule != nullptr ? codeOf.at(rule->value) : kNoData;
  }
};

template <class Code>
void Classify(const Recipe& r, PlannedLayer& p, Code* out) {
  const LayerEntry& s = *p.entry;
  const Coding<Code> coding(s);
  GDALRasterBand* band = p.ds->GetRasterBand(s.band);
  int hasNoData = 0;
  const double noData = band->GetNoDataValue(&hasNoData);
  const Code noDataCode = coding.NoDataCode(s, hasNoData != 0, noData);
  const int cols = p.win[2];
  const int strip = std::max(1, (1 << 21) / std::max(1, cols));
  std::vector<double> buf(static_cast<std::size_t>(strip) * cols);
  Quiet quiet;
  for (int top = 0; top < p.win[3]; top += strip) {
    const int h = std::min(strip, p.win[3] - top);
    if (band->RasterIO(GF_Read, p.win[0], p.win[1] + top, cols, h, buf.data(), cols, h, GDT_Float64,
                       0, 0, nullptr) != CE_None)
      Fail(r, s.key + ".raster", s.path + ": read error: " + Quiet::Why("?"));
    Code* o = out + static_cast<std::size_t>(top) * cols;
    const std::size_t n = static_cast<std::size_t>(h) * cols;
    for (std::size_t i = 0; i < n; ++i) {
      const double v = buf[i];
      Code code = Coding<Code>::kUnnamed;
      if (hasNoData && (v == noData || (std::isnan(v) && std::isnan(noData)))) {
        code = noDataCode;
      } else if (v >= Coding<Code>::kLutLo && v < Coding<Code>::kLutLo + Coding<Code>::kLutSize) {
        const auto k = static_cast<std::int64_t>(v);
        if (static_cast<double>(k) == v) code = coding.lut[k - Coding<Code>::kLutLo];
      } else if (std::fabs(v) < 1e15 && std::floor(v) == v) {
        code = coding.Search(s.rules, static_cast<std::int64_t>(v));
      }
      o[i] = code;
    }
  }
}

template <class Code>
std::vector<Code> RasterOnGrid(const Recipe& r, PlannedLayer& p, const Grid& grid,
                               std::vector<int>& values) {
  values = Coding<Code>(*p.entry).values;
  const std::size_t cells = static_cast<std::size_t>(grid.rows) * grid.cols;
  std::vector<Code> onGrid(cells, Coding<Code>::kNoData);
  if (!p.warp) {
    Classify<Code>(r, p, onGrid.data());
    return onGrid;
  }
  const GDALDataType type = sizeof(Code) == 1 ? GDT_Byte : GDT_UInt16;
  std::vector<Code> own(static_cast<std::size_t>(p.win[3]) * p.win[2]);
  Classify<Code>(r, p, own.data());
  Quiet quiet;
  const double* g = p.gt;
  const double windowGt[6] = {g[0] + p.win[0] * g[1] + p.win[1] * g[2], g[1], g[2],
                              g[3] + p.win[0] * g[4] + p.win[1] * g[5], g[4], g[5]};
  Dataset src =
      MemOver(own.data(), type, p.win[3], p.win[2], windowGt, p.info.crs, Coding<Code>::kNoData);
  Dataset dst = MemOver(onGrid.data(), type, grid.rows, grid.cols, grid.geo.transform, grid.geo.wkt,
                        Coding<Code>::kNoData);
  WarpOnto(r, p.entry->key + ".raster", p.entry->path, *src, *dst, p.mode ? "mode" : "near",
           std::to_string(Coding<Code>::kNoData));
  dst.reset();  // flushes into onGrid
  return onGrid;
}

// Burns a vector layer's features: 1 in each burnt cell; for "street" the
// lines' cells are then joined.
std::vector<std::uint8_t> Burn(const Recipe& r, PlannedLayer& p, const Grid& grid, long& joined) {
  const std::size_t cells = static_cast<std::size_t>(grid.rows) * grid.cols;
  std::vector<std::uint8_t> burnt(cells, 0);
  if (p.geometries.empty()) return burnt;
  Quiet quiet;
  {
    Dataset dst =
        MemOver(burnt.data(), GDT_Byte, grid.rows, grid.cols, grid.geo.transform, grid.geo.wkt, 0);
    std::vector<OGRGeometryH> handles;
    for (const auto& g : p.geometries) handles.push_back(OGRGeometry::ToHandle(g.get()));
    std::vector<double> burn(handles.size(), 1.0);
    int bandList[1] = {1};
    if (GDALRasterizeGeometries(GDALDataset::ToHandle(dst.get()), 1, bandList,
                                static_cast<int>(handles.size()), handles.data(), nullptr, nullptr,
                                burn.data(), nullptr, nullptr, nullptr) != CE_None)
      Fail(r, p.entry->key + ".vector",
           p.entry->path + ": GDAL cannot burn it onto the grid (" + Quiet::Why("?") + ")");
  }
  if (p.entry->value != kStreet) return burnt;
  double inv[6];
  if (!GDALInvGeoTransform(const_cast<double*>(grid.geo.transform), inv))
    Fail(r, p.entry->key + ".vector", "the grid's transform cannot be inverted");
  std::vector<PixelPoint> line;
  auto joinLine = [&](const OGRLineString& ls) {
    line.clear();
    for (int i = 0; i < ls.getNumPoints(); ++i) {
      const double x = ls.getX(i), y = ls.getY(i);
      line.push_back({inv[0] + inv[1] * x + inv[2] * y, inv[3] + inv[4] * x + inv[5] * y});
    }
    joined += JoinLineCells(line, grid.rows, grid.cols, burnt);
  };
  for (const auto& g : p.geometries) {
    std::unique_ptr<OGRGeometry> linear(g->getLinearGeometry());
    if (!linear) continue;
    const OGRwkbGeometryType t = wkbFlatten(linear->getGeometryType());
    if (t == wkbLineString) {
      joinLine(*linear->toLineString());
    } else if (t == wkbMultiLineString || t == wkbGeometryCollection) {
      for (const OGRGeometry* part : *linear->toGeometryCollection())
        if (wkbFlatten(part->getGeometryType()) == wkbLineString) joinLine(*part->toLineString());
    }
  }
  return burnt;
}

// Calls put(cell, value) for every cell the layer names.
template <class Put>
void PlaceLayer(const Recipe& r, PlannedLayer& p, const Grid& grid, LayerReport& report, Put put) {
  const std::size_t cells = static_cast<std::size_t>(grid.rows) * grid.cols;
  if (p.entry->vector) {
    const std::vector<std::uint8_t> burnt = Burn(r, p, grid, report.joined);
    const int v = p.entry->value;
    for (std::size_t i = 0; i < cells; ++i)
      if (burnt[i]) {
        put(i, v);
        ++report.cells[v];
      }
    return;
  }
  std::set<int> distinct;
  for (const ValueRule& rule : p.entry->rules) distinct.insert(rule.value);
  if (p.entry->hasNoData) distinct.insert(p.entry->noData);
  std::vector<int> values;
  auto apply = [&](const auto& onGrid) {
    using Code = typename std::decay_t<decltype(onGrid)>::value_type;
    for (std::size_t i = 0; i < cells; ++i)
      if (!Coding<Code>::Keeps(onGrid[i])) {
        const int v = values[onGrid[i]];
        put(i, v);
        ++report.cells[v];
      }
  };
  if (distinct.size() < 254)
    apply(RasterOnGrid<std::uint8_t>(r, p, grid, values));
  else
    apply(RasterOnGrid<std::uint16_t>(r, p, grid, values));
}

}  // namespace

BuiltMap BuildIdMap(std::vector<LayerPlan>& plans, const Grid& grid, unsigned char nodeId,
                    unsigned char vertexId, std::vector<std::uint8_t>* painted) {
  const std::size_t cells = static_cast<std::size_t>(grid.rows) * grid.cols;
  BuiltMap map;
  map.cells.assign(cells, 0);
  std::vector<std::uint8_t> street(cells, 0);
  if (painted != nullptr) painted->assign(cells, 0);
  for (LayerPlan& p : plans) {
    map.layers.emplace_back();
    map.layers.back().input = p->info;
    PlaceLayer(*p->recipe, *p, grid, map.layers.back(), [&](std::size_t i, int v) {
      if (painted != nullptr) (*painted)[i] = 1;
      if (v == kStreet) {
        street[i] = 1;
      } else {
        street[i] = 0;
        map.cells[i] = static_cast<std::uint8_t>(v);
      }
    });
  }
  ApplyStreetRule(street, grid.rows, grid.cols, nodeId, vertexId, map.cells);
  return map;
}

BuiltMap BuildBackground(std::vector<LayerPlan>& plans, const Grid& grid) {
  BuiltMap map;
  map.cells.assign(static_cast<std::size_t>(grid.rows) * grid.cols, 255);
  for (LayerPlan& p : plans) {
    map.layers.emplace_back();
    map.layers.back().input = p->info;
    PlaceLayer(*p->recipe, *p, grid, map.layers.back(),
               [&](std::size_t i, int v) { map.cells[i] = static_cast<std::uint8_t>(v); });
  }
  return map;
}

}  // namespace towngrow::io
