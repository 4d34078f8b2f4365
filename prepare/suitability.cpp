// Suitability surfaces from their factors (see suitability.h).
#include "prepare/suitability.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <cpl_string.h>
#include <gdal_priv.h>
#include <gdal_utils.h>

#include "prepare/planned_layer.h"

namespace towngrow::io {

using namespace prepare_gdal;  // NOLINT(google-build-using-namespace)

namespace {

constexpr float kNone = std::numeric_limits<float>::quiet_NaN();

// The factor on the layer's own cells (its window).
std::vector<float> OnOwnCells(const Recipe& r, PlannedLayer& p, const Factor& f) {
  GDALRasterBand* band = p.ds->GetRasterBand(f.source.band);
  int hasNoData = 0;
  const double noData = band->GetNoDataValue(&hasNoData);
  const int cols = p.win[2];
  std::vector<float> own(static_cast<std::size_t>(p.win[3]) * cols);
  const int strip = std::max(1, (1 << 20) / std::max(1, cols));
  std::vector<double> buf(static_cast<std::size_t>(strip) * cols);
  Quiet quiet;
  for (int top = 0; top < p.win[3]; top += strip) {
    const int h = std::min(strip, p.win[3] - top);
    if (band->RasterIO(GF_Read, p.win[0], p.win[1] + top, cols, h, buf.data(), cols, h, GDT_Float64,
                       0, 0, nullptr) != CE_None)
      Fail(r, f.source.key + "." + f.source.fileKey,
           f.source.path + ": read error: " + Quiet::Why("?"));
    float* o = own.data() + static_cast<std::size_t>(top) * cols;
    for (std::size_t i = 0; i < static_cast<std::size_t>(h) * cols; ++i) {
      const double v = buf[i];
      const bool none = std::isnan(v) || (hasNoData && v == noData);
      o[i] = static_cast<float>(none ? f.noData : FactorValue(f, v));
    }
  }
  return own;
}

std::vector<float> OnGrid(const Recipe& r, PlannedLayer& p, const Factor& f, const Grid& grid) {
  std::vector<float> own = OnOwnCells(r, p, f);
  if (!p.warp) return own;
  std::vector<float> onGrid(static_cast<std::size_t>(grid.rows) * grid.cols, kNone);
  Quiet quiet;
  const double* g = p.gt;
  const double windowGt[6] = {g[0] + p.win[0] * g[1] + p.win[1] * g[2], g[1], g[2],
                              g[3] + p.win[0] * g[4] + p.win[1] * g[5], g[4], g[5]};
  {
    Dataset src = MemOver(own.data(), GDT_Float32, p.win[3], p.win[2], windowGt, p.info.crs, kNone);
    Dataset dst = MemOver(onGrid.data(), GDT_Float32, grid.rows, grid.cols, grid.geo.transform,
                          grid.geo.wkt, kNone);
    WarpOnto(r, f.source.key + "." + f.source.fileKey, f.source.path, *src, *dst,
             p.mode ? "average" : "bilinear", "nan");
  }
  for (float& v : onGrid)
    if (std::isnan(v)) v = static_cast<float>(f.noData);
  return onGrid;
}

int Percent(double share) {
  return static_cast<int>(std::clamp(std::floor(100 * share + 0.5), 0.0, 100.0));
}

}  // namespace

double FactorValue(const Factor& f, double v) {
  switch (f.kind) {
    case Factor::Range: {
      const double t = std::clamp((v - f.lo) / (f.hi - f.lo), 0.0, 1.0);
      return f.invert ? 1 - t : t;
    }
    case Factor::Slope:
      return std::clamp((f.critical - v) / f.critical, 0.0, 1.0);
    case Factor::Classes:
      break;
  }
  const ValueRule* rule = std::fabs(v) < 1e15 && std::floor(v) == v
                              ? FindRule(f.source.rules, static_cast<std::int64_t>(v))
                              : nullptr;
  return rule != nullptr ? rule->share : 1.0;
}

std::vector<LayerPlan> PlanFactors(const Recipe& recipe, const std::vector<Factor>& factors,
                                   const Grid& grid) {
  std::vector<LayerPlan> plans;
  for (const Factor& f : factors) {
    plans.push_back(PlanLayer(recipe, f.source, grid));
    PlannedLayer& p = *plans.back();
    p.info.placing = !p.warp ? "as it stands" : p.mode ? "mean of its cells" : "bilinear";
  }
  return plans;
}

BuiltMap BuildSuitability(std::vector<LayerPlan>& plans, const std::vector<Factor>& factors,
                          const Grid& grid) {
  BuiltMap map;
  std::vector<float> product(static_cast<std::size_t>(grid.rows) * grid.cols, 1.0f);
  for (std::size_t k = 0; k < plans.size(); ++k) {
    PlannedLayer& p = *plans[k];
    const std::vector<float> factor = OnGrid(*p.recipe, p, factors[k], grid);
    map.layers.emplace_back();
    map.layers.back().input = p.info;
    for (std::size_t i = 0; i < product.size(); ++i) {
      product[i] = static_cast<float>(static_cast<double>(product[i]) * factor[i]);
      ++map.layers.back().cells[Percent(factor[i])];
    }
  }
  map.cells.resize(product.size());
  for (std::size_t i = 0; i < product.size(); ++i)
    map.cells[i] = static_cast<std::uint8_t>(Percent(product[i]));
  return map;
}

}  // namespace towngrow::io
