// Planning layers: the grid a recipe asks for, and each layer opened with
// how its cells reach that grid (see layers.h).
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

#include <towngrow/calibrate.h>

#include "io/checksum.h"
#include "io/error.h"
#include "prepare/planned_layer.h"

namespace towngrow::io {

using namespace prepare_gdal;  // NOLINT(google-build-using-namespace)

void PlannedLayerDeleter::operator()(PlannedLayer* p) const { delete p; }
const InputInfo& InfoOf(const PlannedLayer& plan) { return plan.info; }

Grid ResolveGrid(const Recipe& recipe) {
  Grid grid;
  const GridChoice& g = recipe.grid;
  std::string key = "grid.like", path = g.like, file = g.likeFile;
  if (g.kind == GridChoice::FirstRaster) {
    const LayerEntry* first = nullptr;
    for (const LayerEntry* l : AllLayers(recipe))
      if (!l->vector) {
        first = l;
        break;
      }
    std::vector<const std::vector<Factor>*> surfaces = {&recipe.suitability};
    for (const ScheduleEntry& e : recipe.schedule) surfaces.push_back(&e.suitability);
    for (const auto* factors : surfaces)
      if (first == nullptr && !factors->empty()) first = &factors->front().source;
    if (first == nullptr)
      Fail(recipe, "grid",
           "no raster layer to take the grid from: give \"like\", or \"crs\", \"bounds\" and "
           "\"cell\"");
    key = first->key + "." + first->fileKey;
    path = first->path;
    file = first->file;
  }
  if (g.kind == GridChoice::Bounds) {
    try {
      grid.geo.wkt = CrsFromUserText(g.crs);
    } catch (const Error& e) {
      Fail(recipe, "grid.crs", e.what());
    }
    const double w = (g.bounds[2] - g.bounds[0]) / g.cell, h = (g.bounds[3] - g.bounds[1]) / g.cell;
    if (w > kMaxGridSide + 1 || h > kMaxGridSide + 1)
      Fail(recipe, "grid",
           "the bounds hold more than " + std::to_string(kMaxGridSide) + " cells of " +
               ValueText(g.cell) + " on a side");
    grid.cols = std::max(1, static_cast<int>(std::ceil(w - 1e-9)));
    grid.rows = std::max(1, static_cast<int>(std::ceil(h - 1e-9)));
    grid.geo.hasTransform = true;
    const double t[6] = {g.bounds[0], g.cell, 0, g.bounds[3], 0, -g.cell};
    std::copy(t, t + 6, grid.geo.transform);
    grid.from = "bounds";
  } else {
    Dataset ds = OpenSource(recipe, key, path, file, false);
    grid.rows = ds->GetRasterYSize();
    grid.cols = ds->GetRasterXSize();
    grid.geo.hasTransform = GeoTransformOf(*ds, grid.geo.transform);
    if (!grid.geo.hasTransform) {
      const double identity[6] = {0, 1, 0, 0, 0, 1};
      std::copy(identity, identity + 6, grid.geo.transform);
    }
    grid.geo.wkt = WktOf(ds->GetSpatialRef());
    grid.from = "like " + path;
  }
  if (grid.rows > kMaxGridSide || grid.cols > kMaxGridSide)
    Fail(recipe, g.kind == GridChoice::Bounds ? "grid" : key,
         SizeText(grid.rows, grid.cols) + ": a grid has at most " + std::to_string(kMaxGridSide) +
             " rows and columns");
  return grid;
}

namespace {

// The layer's cells the grid draws on (a small grid on a national land
// cover reads a county's worth): points of a 21 x 21 lattice over the grid
// taken back into the layer's pixels by GDAL's transformer, three cells
// wider on each side; the whole layer when no point can be taken back.
void SourceWindow(GDALDataset& ds, const Grid& grid, int win[4]) {
  const int cols = ds.GetRasterXSize(), rows = ds.GetRasterYSize();
  win[0] = 0, win[1] = 0, win[2] = cols, win[3] = rows;
  GDALDriver* mem = GetGDALDriverManager()->GetDriverByName("MEM");
  if (mem == nullptr) return;
  Dataset target(mem->Create("", grid.cols, grid.rows, 0, GDT_Byte, nullptr));
  if (!target) return;
  target->SetGeoTransform(const_cast<double*>(grid.geo.transform));
  if (!grid.geo.wkt.empty()) {
    const OGRSpatialReference srs = SrsOf(grid.geo.wkt);
    target->SetSpatialRef(&srs);
  }
  void* arg = GDALCreateGenImgProjTransformer2(GDALDataset::ToHandle(&ds),
                                               GDALDataset::ToHandle(target.get()), nullptr);
  if (arg == nullptr) return;
  constexpr int kSide = 21;
  std::vector<double> x, y, z(kSide * kSide, 0.0);
  for (int i = 0; i < kSide; ++i)
    for (int j = 0; j < kSide; ++j) {
      x.push_back(grid.cols * j / (kSide - 1.0));
      y.push_back(grid.rows * i / (kSide - 1.0));
    }
  std::vector<int> ok(x.size(), 0);
  GDALGenImgProjTransform(arg, TRUE, static_cast<int>(x.size()), x.data(), y.data(), z.data(),
                          ok.data());
  GDALDestroyGenImgProjTransformer(arg);
  double x0 = HUGE_VAL, y0 = HUGE_VAL, x1 = -HUGE_VAL, y1 = -HUGE_VAL;
  for (std::size_t i = 0; i < x.size(); ++i)
    if (ok[i] && std::isfinite(x[i]) && std::isfinite(y[i])) {
      x0 = std::min(x0, x[i]), x1 = std::max(x1, x[i]);
      y0 = std::min(y0, y[i]), y1 = std::max(y1, y[i]);
    }
  if (!(x0 <= x1 && y0 <= y1)) return;
  const double pad = 3;
  const int c0 = static_cast<int>(std::max(0.0, std::floor(x0 - pad)));
  const int r0 = static_cast<int>(std::max(0.0, std::floor(y0 - pad)));
  const int c1 = static_cast<int>(std::min<double>(cols, std::ceil(x1 + pad)));
  const int r1 = static_cast<int>(std::min<double>(rows, std::ceil(y1 + pad)));
  if (c0 >= c1 || r0 >= r1) return;
  win[0] = c0, win[1] = r0, win[2] = c1 - c0, win[3] = r1 - r0;
}

void PlanRaster(const Recipe& r, const Grid& grid, PlannedLayer& p) {
  const LayerEntry& s = *p.entry;
  const std::string key = s.key + "." + s.fileKey;
  p.ds = OpenSource(r, key, s.path, s.file, false);
  GDALDataset& ds = *p.ds;
  if (s.band > ds.GetRasterCount())
    Fail(r, s.key + ".band",
         s.path + " has " + std::to_string(ds.GetRasterCount()) + " band(s), not band " +
             std::to_string(s.band));
  if (s.hasNoData) {
    int has = 0;
    const double noData = ds.GetRasterBand(s.band)->GetNoDataValue(&has);
    if (const ValueRule* rule = has ? NoDataRule(s.rules, noData) : nullptr)
      Fail(r, s.noDataKey,
           s.path + ": its no-data value " + CPLString().Printf("%.15g", noData) +
               " is named by the rule " + rule->key.substr(s.key.size() + 1) +
               " too: keep one of the two");
  }
  p.info.driver = ds.GetDriver() ? ds.GetDriver()->GetDescription() : "";
  p.info.rows = ds.GetRasterYSize();
  p.info.cols = ds.GetRasterXSize();
  p.info.crs = WktOf(ds.GetSpatialRef());
  p.info.georeferenced = GeoTransformOf(ds, p.gt);
  const bool sameSize = p.info.rows == grid.rows && p.info.cols == grid.cols;
  p.win[2] = p.info.cols, p.win[3] = p.info.rows;
  if (!p.info.georeferenced || !grid.geo.hasTransform) {
    if (!sameSize)
      Fail(r, key,
           s.path + ": " +
               (p.info.georeferenced ? std::string("the grid has no georeference")
                                     : std::string("the layer has no georeference")) +
               ", so it must have the grid's size (" + SizeText(grid.rows, grid.cols) + "), not " +
               SizeText(p.info.rows, p.info.cols));
    p.info.placing = "as it stands";
    return;
  }
  const bool otherCrs = OtherCrs(p.info.crs, grid.geo.wkt);
  if (sameSize && !otherCrs && SameTransform(p.gt, grid.geo.transform)) {
    p.info.placing = "as it stands";
    return;
  }
  // Its extent and resolution in the grid's CRS, as GDAL suggests them.
  Box box = BoxOf(p.gt, p.info.rows, p.info.cols);
  double cell = CellOf(p.gt);
  if (otherCrs) {
    Quiet quiet;
    CPLStringList to;
    to.SetNameValue("DST_SRS", grid.geo.wkt.c_str());
    void* arg = GDALCreateGenImgProjTransformer2(GDALDataset::ToHandle(&ds), nullptr, to.List());
    if (arg == nullptr)
      Fail(r, key, s.path + ": cannot be reprojected to the grid's CRS (" + Quiet::Why("?") + ")");
    double gt[6], ext[4];
    int px = 0, ln = 0;
    const CPLErr err = GDALSuggestedWarpOutput2(GDALDataset::ToHandle(&ds), GDALGenImgProjTransform,
                                                arg, gt, &px, &ln, ext, 0);
    GDALDestroyGenImgProjTransformer(arg);
    if (err != CE_None)
      Fail(r, key, s.path + ": cannot be reprojected to the grid's CRS (" + Quiet::Why("?") + ")");
    box = {ext[0], ext[1], ext[2], ext[3]};
    cell = CellOf(gt);
  }
  if (!box.Overlaps(BoxOf(grid.geo.transform, grid.rows, grid.cols)))
    Fail(r, key, s.path + ": does not overlap the grid");
  p.warp = true;
  SourceWindow(ds, grid, p.win);
  p.mode = cell < CellOf(grid.geo.transform) * (1 - 1e-9);
  p.info.placing = p.mode ? "most frequent value" : "nearest neighbour";
}

void PlanVector(const Recipe& r, const Grid& grid, PlannedLayer& p) {
  const LayerEntry& s = *p.entry;
  const std::string key = s.key + ".vector";
  if (!grid.geo.hasTransform)
    Fail(r, key,
         s.path +
             ": a vector layer needs a grid with georeference (grid.like a georeferenced "
             "raster, or grid.crs, grid.bounds and grid.cell)");
  p.ds = OpenSource(r, key, s.path, s.file, true);
  GDALDataset& ds = *p.ds;
  p.info.driver = ds.GetDriver() ? ds.GetDriver()->GetDescription() : "";
  OGRLayer* layer = nullptr;
  std::string names;
  for (int i = 0; i < ds.GetLayerCount(); ++i)
    names += std::string(i ? ", " : "") + ds.GetLayer(i)->GetName();
  if (!s.layer.empty()) {
    layer = ds.GetLayerByName(s.layer.c_str());
    if (layer == nullptr)
      Fail(r, s.key + ".layer",
           s.path + " has no layer \"" + s.layer + "\" (it has: " + names + ")");
  } else if (ds.GetLayerCount() == 1) {
    layer = ds.GetLayer(0);
  } else if (ds.GetLayerCount() == 0) {
    Fail(r, key, s.path + ": holds no layer");
  } else {
    Fail(r, s.key + ".layer", s.path + " holds several layers (" + names + "): name one");
  }
  p.info.crs = WktOf(layer->GetSpatialRef());
  p.info.georeferenced = true;
  Quiet quiet;
  if (!s.where.empty() && layer->SetAttributeFilter(s.where.c_str()) != OGRERR_NONE)
    Fail(r, s.key + ".where", "GDAL refuses \"" + s.where + "\": " + Quiet::Why("a bad filter"));
  std::unique_ptr<OGRCoordinateTransformation> ct;
  if (OtherCrs(p.info.crs, grid.geo.wkt)) {
    const OGRSpatialReference from = SrsOf(p.info.crs), to = SrsOf(grid.geo.wkt);
    ct.reset(OGRCreateCoordinateTransformation(&from, &to));
    if (!ct)
      Fail(r, key, s.path + ": cannot be reprojected to the grid's CRS (" + Quiet::Why("?") + ")");
  }
  const Box gridBox = BoxOf(grid.geo.transform, grid.rows, grid.cols);
  layer->ResetReading();
  CPLErrorReset();
  for (OGRFeature* raw; (raw = layer->GetNextFeature()) != nullptr;) {
    std::unique_ptr<OGRFeature> f(raw);
    std::unique_ptr<OGRGeometry> g(f->StealGeometry());
    if (!g || g->IsEmpty()) continue;
    ++p.info.features;
    if (ct && g->transform(ct.get()) != OGRERR_NONE) continue;
    OGREnvelope e;
    g->getEnvelope(&e);
    if (e.MinX > gridBox.xmax || e.MaxX < gridBox.xmin || e.MinY > gridBox.ymax ||
        e.MaxY < gridBox.ymin)
      continue;
    p.geometries.push_back(std::move(g));
  }
  if (CPLGetLastErrorType() == CE_Failure && !s.where.empty())
    Fail(r, s.key + ".where", "GDAL refuses \"" + s.where + "\": " + Quiet::Why("a bad filter"));
  if (CPLGetLastErrorType() == CE_Failure)
    Fail(r, key, s.path + ": read error: " + Quiet::Why("?"));
  if (p.info.features > 0 && p.geometries.empty())
    Fail(r, key,
         s.path + ": none of its " + std::to_string(p.info.features) +
             " features overlaps the grid");
  p.info.placing = ct ? "reprojected and burnt" : "burnt";
}

}  // namespace

LayerPlan PlanLayer(const Recipe& recipe, const LayerEntry& entry, const Grid& grid) {
  LayerPlan p(new PlannedLayer);
  p->entry = &entry;
  p->info.key = entry.key;
  p->info.path = entry.path;
  p->info.file = entry.file;
  p->info.vector = entry.vector;
  p->recipe = &recipe;
  if (entry.vector)
    PlanVector(recipe, grid, *p);
  else
    PlanRaster(recipe, grid, *p);
  p->info.sha256 = FileSha256(entry.file);
  return p;
}

}  // namespace towngrow::io
