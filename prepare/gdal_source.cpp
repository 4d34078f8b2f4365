// GDAL and OGR pieces that preparing layers shares (see gdal_source.h).
#include "prepare/gdal_source.h"

#include <gdal_utils.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>

#include <cpl_error.h>

#include "io/error.h"

namespace towngrow::io::prepare_gdal {

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

void WarpOnto(const Recipe& r, const std::string& key, const std::string& path, GDALDataset& src,
              GDALDataset& dst, const char* method, const std::string& noData) {
  CPLStringList args;
  for (const char* a :
       {"-r", method, "-srcnodata", noData.c_str(), "-dstnodata", noData.c_str(), "-q"})
    args.AddString(a);
  GDALWarpAppOptions* options = GDALWarpAppOptionsNew(args.List(), nullptr);
  GDALDatasetH srcH = GDALDataset::ToHandle(&src);
  int usageError = 0;
  GDALDatasetH out = GDALWarp(nullptr, GDALDataset::ToHandle(&dst), 1, &srcH, options, &usageError);
  GDALWarpAppOptionsFree(options);
  if (out == nullptr)
    Fail(r, key, path + ": GDAL cannot warp it onto the grid (" + Quiet::Why("?") + ")");
}

}  // namespace towngrow::io::prepare_gdal
