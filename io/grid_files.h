// Coverage files for the command-line host: what a file holds before it is
// read (its size and georeference, from its header or, for point lists, its
// largest column and row), reading it into a coverage sized to fit, and
// writing a coverage so that a finished file appears whole or not at all.
//
// Choices of ours:
// - The kind of a file is told from its name, as the library does
//   (TestFileFormat); ".xy" lists have no layout and are refused.
// - A coverage is at least 5 x 5 cells; a smaller file fills the top-left
//   corner of a 5 x 5 coverage and the rest is vacant land. Anything beyond
//   10000 x 10000 is refused before any memory is taken.
// - A float grid's header is looked for beside its data file: the name up
//   to the first "." of the file's own name, plus ".hdr". When the library's
//   rule (first "." of the whole path) would look elsewhere, the pair is
//   read from a private copy under the right names.
// - After reading a float or E00 grid, the coverage takes the georeference
//   of the file's header, so that a later ASCII grid export carries it.
// - Exports are made into a private scratch folder whose path holds no ".",
//   then copied beside their final name under a temporary name and renamed.
// - Any other name is offered to GDAL (gdal_raster.h): GeoTIFF, Erdas
//   Imagine, VRT and every single-band raster it opens. ".tif" and ".tiff"
//   names are written as GeoTIFF.
// - Before the library's reader imports a file of its own formats, the
//   program checks it strictly (strict_check.h); no-data cells of ASCII and
//   E00 grids then take the others land use, and a grid that gives its
//   lower-left cell's centre is placed by its corner. --lenient leaves the
//   file to the plain reader.
// - The georeference and CRS of a file travel beside the coverage as a
//   GeoInfo: from a GDAL raster's transform and CRS, or from a library
//   grid's header and the ".prj" file beside it (name with its extension
//   replaced). ASCII and float grids written with a known CRS get a ".prj"
//   (ESRI WKT) beside them.
#pragma once

#include <string>
#include <vector>

#include <towngrow/towngrow.h>

#include "io/gdal_raster.h"
#include "io/message_log.h"

namespace towngrow::io {

constexpr int kMaxSide = 10000;
constexpr int kMinSide = 5;

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

// How the program reads maps, set once from the command line: the band of a
// raster of several bands (0: none chosen) and --lenient (the library's
// readers without the strict check).
struct MapReadOptions {
  int band = 0;
  bool lenient = false;
};
MapReadOptions& MapReading();

// The ID the program gives no-data cells: the set's first land use of the
// others kind, 6 when it has none.
unsigned char OthersId(const CLandUseSet* set);

// The georeference to write `cov` with: `geo` when it has a transform,
// else the coverage's own fields; the CRS of `geo` in either case.
GeoInfo GeoForOutput(const CLandUseCoverage& cov, const GeoInfo& geo);

// Format word for messages and run.json: "asc", "e00", "flt", "xya", "dat", "xy", "other".
std::string FormatWord(ImportDataFormat format);

// The names the program writes, for messages: ".asc, .e00, .flt, .xya, .dat or .tif".
extern const char* const kWritableKinds;

// Reads what the file holds without importing it. Throws AppError for a
// missing file, a format that cannot be read, a bad header, a grid beyond
// 10000 x 10000, or a raster of several bands without --band.
GridFileInfo ReadGridFileInfo(const std::string& path);

// Imports the file into `cov` (already sized and linked), with bOverlay 0,
// after the strict check (unless --lenient). A refusal becomes an AppError
// naming the file and the place or the library's message. No-data cells of
// GDAL rasters, ASCII and E00 grids take `noDataId`, -1: OthersId of the
// coverage's set.
void ImportInto(const std::string& path, const GridFileInfo& info, CLandUseCoverage& cov,
                MessageLog& log, int noDataId = -1);

// Sizes `cov` to fit the file (at least 5 x 5), links `set` and imports it.
GridFileInfo LoadFitted(const std::string& path, CLandUseCoverage& cov, CLandUseSet& set,
                        MessageLog& log);

// Sizes a coverage; on refusal an AppError (memory exhaustion named as such).
void InitOrFail(CLandUseCoverage& cov, int rows, int cols, MessageLog& log);

// A private scratch folder (removed with everything in it on destruction).
class ScratchDir {
public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& Path() const { return path_; }

private:
  std::string path_;
};

// Writes `cov` in the format of `finalPath`'s name (asc, e00, flt, xya,
// dat, tif), whole or not at all. A float grid also gets its ".hdr" beside
// it, with a seventh line "byteorder LSBFIRST". A GeoTIFF is drawn in the
// colours and names of the coverage's set (the default roster without one)
// and placed by GeoForOutput(cov, geo). Throws AppError.
void ExportCoverage(const CLandUseCoverage& cov, const std::string& finalPath, ScratchDir& scratch,
                    const GeoInfo& geo = GeoInfo());

// True when ExportCoverage writes this kind of name.
bool IsWritableName(const std::string& path);

// Atomic file writing: content goes to a temporary name in the target
// folder, renamed to the final name when complete.
void WriteFileAtomic(const std::string& finalPath, const std::string& content);
std::string TempNameFor(const std::string& finalPath);
void PublishTemp(const std::string& tempPath, const std::string& finalPath);
// Copies a finished file to finalPath through a temporary name.
void CopyFileAtomic(const std::string& from, const std::string& finalPath);

// Creates a folder and its parents; AppError when it cannot be made.
void MakeFolder(const std::string& path);

}  // namespace towngrow::io
