// Rasters through GDAL, for the command-line program only (the library keeps
// to the standard library): reading any single-band raster GDAL opens into a
// coverage, writing coverages as GeoTIFF with their georeference, coordinate
// reference system, colour table and attribute table, and the CRS helpers
// (--crs, .prj files beside ASCII grids).
//
// Choices of ours:
// - A raster's cells must hold whole numbers 0 to 255; the first that does
//   not refuses the file, naming row and column (from 0, row 0 at the top)
//   and the value. No-data cells take the ID of the set's first land use of
//   the others kind (6 in the default roster), as the float grid reader does.
// - A raster of several bands needs --band N (from 1); with one band, --band
//   is ignored, so one option can serve a start and a background alike.
// - GeoTIFFs are tiled 256 x 256 and DEFLATE-compressed. A land-use map gets
//   a colour table (the land uses' colours, other entries opaque black),
//   category names and a raster attribute table with the columns ID, Name,
//   Red, Green and Blue. GDAL keeps the last two in "<name>.aux.xml" beside
//   the file, which is written and published with it. A percentage map
//   holds 0 to 100 with no-data 255 and a colour ramp from white to the
//   class's colour.
// - Every file is written under a temporary name in its own folder and
//   renamed when complete (its .aux.xml first, so a finished .tif never
//   lacks it); a stale .aux.xml of an earlier file of that name is removed.
#pragma once

#include <string>
#include <vector>

#include <towngrow/grid/coverage.h>
#include <towngrow/landuse/land_use_set.h>

namespace towngrow::io {

// Where a map lies: the affine transform of GDAL (x of the top-left corner,
// cell width, row rotation, y of the top-left corner, column rotation, cell
// height, negative for north-up) and the CRS as WKT (empty: unknown).
struct GeoInfo {
  bool hasTransform = false;
  double transform[6] = {0, 1, 0, 0, 0, 1};
  std::string wkt;
};

// The transform of a coverage's own fields (lower-left corner, square cells)
// for a grid of `rows` rows.
GeoInfo GeoFromFields(double xll, double yll, double cellSize, int rows);

// What GDAL tells of a raster before it is read.
struct GdalRasterInfo {
  std::string driver;      // short name, e.g. GTiff
  std::string driverLong;  // e.g. GeoTIFF
  int rows = 0, cols = 0, bands = 0;
  int band = 1;           // the band to read
  std::string valueType;  // GDAL's name, e.g. Byte, Int16, Float32
  bool hasNoData = false;
  double noData = 0.0;
  GeoInfo geo;
};

// True when GDAL can open `path` as a raster; fills `info` then (band 1 or
// `band` when it has several). Throws io::Error for a raster without bands,
// one of several bands without `band` (0), a band it does not have, or
// complex values. False when GDAL does not know the file.
bool ProbeGdalRaster(const std::string& path, int band, GdalRasterInfo& info);

// Reads the raster's band into the top-left corner of `cov` (already sized
// to hold it), age 0 in every cell it covers. Throws io::Error naming the
// file, row, column and value of the first cell that is not a whole number
// from 0 to 255 (no-data cells take `othersId`).
void ReadGdalRaster(const std::string& path, const GdalRasterInfo& info, unsigned char othersId,
                    CLandUseCoverage& cov);

// Reads the raster's band as numbers, row by row; no-data cells are NaN.
// `isFloat` tells whether the band holds numbers with fractions (a
// floating-point type). Throws io::Error naming the file.
std::vector<float> ReadGdalBand(const std::string& path, const GdalRasterInfo& info, bool& isFloat);

// One class of a GeoTIFF's legend: the cell value, its name, its colour.
struct LegendClass {
  int value = 0;  // 0 to 255
  std::string name;
  unsigned int color = 0;  // 0x00BBGGRR, as land uses keep it
};

// The classes of a set's land uses, one per ID (the first land use that
// holds it), in the set's order.
std::vector<LegendClass> LegendOf(const CLandUseSet& set);

// How a GeoTIFF is drawn: classes, or a percentage ramp.
struct TiffLegend {
  std::vector<LegendClass> classes;  // each value once, any order; none: the default roster's
  bool percent = false;              // 0..100, no-data 255, ramp to `color`
  bool percentNoData = true;         // false: a percentage map without no-data
  int noData = -1;                   // a class map's no-data value (transparent); -1 none
  unsigned int color = 0;            // 0x00BBGGRR, as land uses keep it
  std::string description;           // the band's description
};

// Writes rows x cols bytes (row 0 first) as a GeoTIFF at `path`, through a
// temporary name. Throws io::Error naming `path`.
void WriteGeoTiff(const std::string& path, const unsigned char* cells, int rows, int cols,
                  const GeoInfo& geo, const TiffLegend& legend);

// The same into the exact file `path` (no temporary name; the .aux.xml, if
// GDAL writes one, is `path` + ".aux.xml"). Throws io::Error naming `shown`.
void WriteGeoTiffAt(const std::string& path, const std::string& shown, const unsigned char* cells,
                    int rows, int cols, const GeoInfo& geo, const TiffLegend& legend);

// --crs: any definition GDAL takes (EPSG:32633, WKT, PROJ string) as WKT.
// Throws io::Error quoting the text.
std::string CrsFromUserText(const std::string& text);
// The CRS of a .prj file (ESRI or OGC WKT); empty when there is no file.
// Throws io::Error when the file holds no CRS GDAL can read.
std::string CrsFromPrjFile(const std::string& prjPath);
// The CRS as ESRI WKT, for a .prj file.
std::string EsriWkt(const std::string& wkt);
// "WGS 84 / UTM zone 33N (EPSG:32633)", for messages and `info`.
std::string CrsTitle(const std::string& wkt);

// The extension of a GeoTIFF name: ".tif" or ".tiff" in any case.
bool IsTiffName(const std::string& path);

}  // namespace towngrow::io
