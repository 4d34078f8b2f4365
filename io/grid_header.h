// What a map file holds before it is read: its kind, size and georeference,
// from its header (point lists: their largest column and row; other
// rasters: what GDAL tells of them).
//
// Choices of ours:
// - The kind of a file is told from its name, as the library does
//   (TestFileFormat); ".xy" lists have no layout and are refused. Any other
//   name is offered to GDAL (gdal_raster.h): GeoTIFF, Erdas Imagine, VRT
//   and every single-band raster it opens.
// - Anything beyond 10000 x 10000 cells is refused before any memory is
//   taken.
// - A float grid's header is looked for beside its data file: the name up
//   to the first "." of the file's own name, plus ".hdr".
// - A grid that gives its lower-left cell's centre (xllcenter) is placed by
//   its corner, unless the map is read leniently.
// - The georeference and CRS of a file travel beside the coverage as a
//   GeoInfo: from a GDAL raster's transform and CRS, or from a library
//   grid's header and the ".prj" file beside it (name with its extension
//   replaced).
#pragma once

#include <string>

#include <towngrow/grid/coverage.h>

#include "io/gdal_raster.h"

namespace towngrow::io {

constexpr int kMaxSide = 10000;
constexpr int kMinSide = 5;

// How maps are read: the band of a raster of several bands (0: none
// chosen) and leniently (the library's readers without the strict check).
struct MapReadOptions {
  int band = 0;
  bool lenient = false;
};

struct GridFileInfo {
  ImportDataFormat format = FormatOther;
  int rows = 0;  // rows and columns the file covers (before the 5 x 5 minimum)
  int cols = 0;
  bool hasGeoref = false;
  double xll = 0.0, yll = 0.0, cellSize = 0.0;
  bool hasNoData = false;
  long noData = 0;
  long points = 0;        // lines read, for point lists
  bool centred = false;   // the header gives the lower-left cell's centre (xllcenter)
  GeoInfo geo;            // transform (when the file has one) and CRS (when known)
  bool gdal = false;      // read through GDAL (format is then FormatOther)
  GdalRasterInfo raster;  // what GDAL tells of it
};

// Reads what the file holds without importing it. Throws io::Error for a
// missing file, a format that cannot be read, a bad header, a grid beyond
// 10000 x 10000, or a raster of several bands without a band chosen.
GridFileInfo ReadGridFileInfo(const std::string& path, const MapReadOptions& maps);

// Format word for messages and records: "asc", "e00", "flt", "xya", "dat",
// "xy", "other".
std::string FormatWord(ImportDataFormat format);

// The header file of a float grid: beside it, its name up to the first "."
// plus ".hdr".
std::string FloatHeaderName(const std::string& path);

}  // namespace towngrow::io
