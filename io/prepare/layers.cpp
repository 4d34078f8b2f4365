// Layers onto the grid through GDAL and OGR (see layers.h).
#include "io/prepare/layers.h"

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
#include "io/prepare/checksum.h"
#include "io/prepare/streets.h"

namespace towngrow::io {
namespace {

// GDAL's messages kept from the terminal; the last one is read for ours.
class Quiet {
public:
  Quiet() {
    CPLPushErrorHandler(CPLQuietErrorHandler);
    CPLErrorReset();
  }
  ~Quiet() { CPLPopErrorHandler(); }
  Quiet(const Quiet&) = delete;
  Quiet& operator=(const Quiet&) = delete;
  static std::string Why(const std::string& fallback) {
    const char* m = CPLGetLastErrorMsg();
    return m != nullptr && *m != '\0' ? std::string(m) : fallback;
  }
};

struct CloseDataset {
  void operator()(GDALDataset* ds) const { GDALClose(ds); }
};
using Dataset = std::unique_ptr<GDALDataset, CloseDataset>;

[[noreturn]] void Fail(const Recipe& r, const std::string& key, const std::string& what) {
  throw Error(r.name + ": " + key + ": " + what);
}

std::string SizeText(int rows, int cols) {
  return std::to_string(rows) + " x " + std::to_string(cols) + " cells";
}

// A name that is neither a file nor a GDAL path (/vsizip/..., PG:...).
bool Missing(const std::string& file) {
  std::error_code ec;
  if (std::filesystem::exists(file, ec)) return false;
  return file.rfind("/vsi", 0) != 0 && file.find(':') == std::string::npos;
}

Dataset OpenSource(const Recipe& r, const std::string& key, const std::string& path,
                   const std::string& file, bool vector) {
  GDALAllRegister();
  if (Missing(file)) Fail(r, key, path + ": no such file");
  Quiet quiet;
  const unsigned flags = (vector ? GDAL_OF_VECTOR : GDAL_OF_RASTER) | GDAL_OF_READONLY;
  Dataset ds(GDALDataset::FromHandle(GDALOpenEx(file.c_str(), flags, nullptr, nullptr, nullptr)));
  if (!ds)
    Fail(r, key,
         path + ": not a " + (vector ? "vector source" : "raster") + " GDAL reads (" +
             Quiet::Why("unknown format") + ")");
  if (!vector && ds->GetRasterCount() < 1) Fail(r, key, path + ": a raster without bands");
  return ds;
}

bool GeoTransformOf(GDALDataset& ds, double gt[6]) {
  if (ds.GetGeoTransform(gt) != CE_None) return false;
  return !(gt[0] == 0 && gt[1] == 1 && gt[2] == 0 && gt[3] == 0 && gt[4] == 0 && gt[5] == 1);
}

std::string WktOf(const OGRSpatialReference* srs) {
  if (srs == nullptr || srs->IsEmpty()) return "";
  char* wkt = nullptr;
  srs->exportToWkt(&wkt);
  std::string out = wkt != nullptr ? wkt : "";
  CPLFree(wkt);
  return out;
}

OGRSpatialReference SrsOf(const std::string& wkt) {
  OGRSpatialReference srs;
  srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  if (!wkt.empty()) srs.importFromWkt(wkt.c_str());
  return srs;
}

// Both known and different.
bool OtherCrs(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  const OGRSpatialReference sa = SrsOf(a), sb = SrsOf(b);
  return !sa.IsSame(&sb);
}

struct Box {
  double xmin, ymin, xmax, ymax;
  bool Overlaps(const Box& o) const {
    return xmax > o.xmin && xmin < o.xmax && ymax > o.ymin && ymin < o.ymax;
  }
};

Box BoxOf(const double gt[6], int rows, int cols) {
  Box b{std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()};
  for (int corner = 0; corner < 4; ++corner) {
    const double px = corner & 1 ? cols : 0, ln = corner & 2 ? rows : 0;
    const double x = gt[0] + px * gt[1] + ln * gt[2], y = gt[3] + px * gt[4] + ln * gt[5];
    b.xmin = std::min(b.xmin, x);
    b.xmax = std::max(b.xmax, x);
    b.ymin = std::min(b.ymin, y);
    b.ymax = std::max(b.ymax, y);
  }
  return b;
}

double CellOf(const double gt[6]) {
  return (std::hypot(gt[1], gt[4]) + std::hypot(gt[2], gt[5])) / 2;
}

bool SameTransform(const double a[6], const double b[6]) {
  const double tol = 1e-9 * std::max(CellOf(a), CellOf(b));
  for (int i = 0; i < 6; ++i)
    if (std::fabs(a[i] - b[i]) > tol) return false;
  return true;
}

// A MEM dataset over a buffer of ours (one band, no copy).
Dataset MemOver(void* data, GDALDataType type, int rows, int cols, const double* gt,
                const std::string& wkt, double noData) {
  GDALDriver* mem = GetGDALDriverManager()->GetDriverByName("MEM");
  if (mem == nullptr) throw Error("GDAL has no MEM driver");
  Dataset ds(mem->Create("", cols, rows, 0, type, nullptr));
  if (!ds) throw Error("GDAL cannot make a dataset in memory: " + Quiet::Why("?"));
  char pointer[64];
  std::snprintf(pointer, sizeof pointer, "DATAPOINTER=%p", data);
  char* options[] = {pointer, nullptr};
  ds->AddBand(type, options);
  if (gt != nullptr) ds->SetGeoTransform(const_cast<double*>(gt));
  if (!wkt.empty()) {
    const OGRSpatialReference srs = SrsOf(wkt);
    ds->SetSpatialRef(&srs);
  }
  ds->GetRasterBand(1)->SetNoDataValue(noData);
  return ds;
}

}  // namespace

class PlannedLayer {
public:
  const Recipe* recipe = nullptr;
  const LayerSpec* spec = nullptr;
  InputInfo info;
  Dataset ds;
  // A raster's: taken as it stands, or warped (by mode or nearest).
  bool warp = false, mode = false;
  double gt[6] = {0, 1, 0, 0, 0, 1};
  // The part of a raster that is read: x and y offsets, columns and rows.
  int win[4] = {0, 0, 0, 0};
  // A vector's features, in the grid's CRS, those that overlap the grid.
  std::vector<std::unique_ptr<OGRGeometry>> geometries;
};

void PlannedLayerDeleter::operator()(PlannedLayer* p) const { delete p; }
const InputInfo& InfoOf(const PlannedLayer& plan) { return plan.info; }

Grid ResolveGrid(const Recipe& recipe) {
  Grid grid;
  const GridSpec& g = recipe.grid;
  std::string key = "grid.like", path = g.like, file = g.likeFile;
  if (g.kind == GridSpec::FirstRaster) {
    const LayerSpec* first = nullptr;
    for (const LayerSpec* l : AllLayers(recipe))
      if (!l->vector) {
        first = l;
        break;
      }
    if (first == nullptr)
      Fail(recipe, "grid",
           "no raster layer to take the grid from: give \"like\", or \"crs\", \"bounds\" and "
           "\"cell\"");
    key = first->key + ".raster";
    path = first->path;
    file = first->file;
  }
  if (g.kind == GridSpec::Bounds) {
    try {
      grid.geo.wkt = CrsFromUserText(g.crs);
    } catch (const Error& e) {
      Fail(recipe, "grid.crs", e.what());
    }
    const double w = (g.bounds[2] - g.bounds[0]) / g.cell, h = (g.bounds[3] - g.bounds[1]) / g.cell;
    if (w > kMaxGridSide + 1 || h > kMaxGridSide + 1)
      Fail(recipe, "grid",
           "the bounds hold more than " + std::to_string(kMaxGridSide) + " cells of " +
               std::to_string(g.cell) + " on a side");
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
    Fail(recipe, g.kind == GridSpec::Bounds ? "grid" : key,
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
  const LayerSpec& s = *p.spec;
  const std::string key = s.key + ".raster";
  p.ds = OpenSource(r, key, s.path, s.file, false);
  GDALDataset& ds = *p.ds;
  if (s.band > ds.GetRasterCount())
    Fail(r, s.key + ".band",
         s.path + " has " + std::to_string(ds.GetRasterCount()) + " band(s), not band " +
             std::to_string(s.band));
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
  const LayerSpec& s = *p.spec;
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

// The codes of a raster layer's values: each value its rules give gets
// one, cells no rule names take `keep` (Code's largest value).
template <class Code>
struct Coding {
  static constexpr Code kKeep = std::numeric_limits<Code>::max();
  std::vector<int> values;  // code -> value
  std::map<int, Code> codeOf;
  // Values -32768..65535 by table, others by search.
  static constexpr std::int64_t kLutLo = -32768, kLutSize = 98304;
  std::vector<Code> lut;

  explicit Coding(const std::vector<ValueRule>& rules) {
    for (const ValueRule& rule : rules)
      if (codeOf.emplace(rule.value, static_cast<Code>(values.size())).second)
        values.push_back(rule.value);
    lut.resize(kLutSize);
    for (std::int64_t i = 0; i < kLutSize; ++i) lut[i] = Search(rules, kLutLo + i);
  }

  Code Search(const std::vector<ValueRule>& rules, std::int64_t v) const {
    const ValueRule* rule = FindRule(rules, v);
    return rule != nullptr ? codeOf.at(rule->value) : kKeep;
  }
};

template <class Code>
void Classify(const Recipe& r, PlannedLayer& p, Code* out) {
  const LayerSpec& s = *p.spec;
  const Coding<Code> coding(s.rules);
  GDALRasterBand* band = p.ds->GetRasterBand(s.band);
  int hasNoData = 0;
  const double noData = band->GetNoDataValue(&hasNoData);
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
      Code code = Coding<Code>::kKeep;
      if (hasNoData && (v == noData || (std::isnan(v) && std::isnan(noData)))) {
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
  values = Coding<Code>(p.spec->rules).values;
  const std::size_t cells = static_cast<std::size_t>(grid.rows) * grid.cols;
  std::vector<Code> onGrid(cells, Coding<Code>::kKeep);
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
      MemOver(own.data(), type, p.win[3], p.win[2], windowGt, p.info.crs, Coding<Code>::kKeep);
  Dataset dst = MemOver(onGrid.data(), type, grid.rows, grid.cols, grid.geo.transform, grid.geo.wkt,
                        Coding<Code>::kKeep);
  const std::string keep = std::to_string(Coding<Code>::kKeep);
  CPLStringList args;
  for (const char* a : {"-r", p.mode ? "mode" : "near", "-srcnodata", keep.c_str(), "-dstnodata",
                        keep.c_str(), "-q"})
    args.AddString(a);
  GDALWarpAppOptions* options = GDALWarpAppOptionsNew(args.List(), nullptr);
  GDALDatasetH srcH = GDALDataset::ToHandle(src.get());
  int usageError = 0;
  GDALDatasetH out =
      GDALWarp(nullptr, GDALDataset::ToHandle(dst.get()), 1, &srcH, options, &usageError);
  GDALWarpAppOptionsFree(options);
  if (out == nullptr)
    Fail(r, p.spec->key + ".raster",
         p.spec->path + ": GDAL cannot warp it onto the grid (" + Quiet::Why("?") + ")");
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
      Fail(r, p.spec->key + ".vector",
           p.spec->path + ": GDAL cannot burn it onto the grid (" + Quiet::Why("?") + ")");
  }
  if (p.spec->value != kStreet) return burnt;
  double inv[6];
  if (!GDALInvGeoTransform(const_cast<double*>(grid.geo.transform), inv))
    Fail(r, p.spec->key + ".vector", "the grid's transform cannot be inverted");
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
  if (p.spec->vector) {
    const std::vector<std::uint8_t> burnt = Burn(r, p, grid, report.joined);
    const int v = p.spec->value;
    for (std::size_t i = 0; i < cells; ++i)
      if (burnt[i]) {
        put(i, v);
        ++report.cells[v];
      }
    return;
  }
  std::set<int> distinct;
  for (const ValueRule& rule : p.spec->rules) distinct.insert(rule.value);
  std::vector<int> values;
  auto apply = [&](const auto& onGrid, auto keep) {
    for (std::size_t i = 0; i < cells; ++i)
      if (onGrid[i] != keep) {
        const int v = values[onGrid[i]];
        put(i, v);
        ++report.cells[v];
      }
  };
  if (distinct.size() < 255)
    apply(RasterOnGrid<std::uint8_t>(r, p, grid, values), Coding<std::uint8_t>::kKeep);
  else
    apply(RasterOnGrid<std::uint16_t>(r, p, grid, values), Coding<std::uint16_t>::kKeep);
}

}  // namespace

LayerPlan PlanLayer(const Recipe& recipe, const LayerSpec& spec, const Grid& grid) {
  LayerPlan p(new PlannedLayer);
  p->spec = &spec;
  p->info.key = spec.key;
  p->info.path = spec.path;
  p->info.file = spec.file;
  p->info.vector = spec.vector;
  p->recipe = &recipe;
  if (spec.vector)
    PlanVector(recipe, grid, *p);
  else
    PlanRaster(recipe, grid, *p);
  p->info.sha256 = FileSha256(spec.file);
  return p;
}

BuiltMap BuildIdMap(std::vector<LayerPlan>& plans, const Grid& grid, unsigned char nodeId,
                    unsigned char vertexId) {
  const std::size_t cells = static_cast<std::size_t>(grid.rows) * grid.cols;
  BuiltMap map;
  map.cells.assign(cells, 0);
  std::vector<std::uint8_t> street(cells, 0);
  for (LayerPlan& p : plans) {
    map.layers.emplace_back();
    map.layers.back().input = p->info;
    PlaceLayer(*p->recipe, *p, grid, map.layers.back(), [&](std::size_t i, int v) {
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
