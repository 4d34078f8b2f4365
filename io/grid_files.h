// Reading map files into coverages and writing coverages as map files.
//
// Choices of ours:
// - A coverage is at least 5 x 5 cells; a smaller file fills the top-left
//   corner of a 5 x 5 coverage and the rest is vacant land.
// - When the library's rule for a float grid's header (first "." of the
//   whole path) would look elsewhere than beside the file, the pair is read
//   from a private copy under the right names.
// - After reading a float or E00 grid, the coverage takes the georeference
//   of the file's header, so that a later ASCII grid export carries it.
// - Before the library's reader imports a file of its own formats, it is
//   checked strictly (strict_check.h); no-data cells of ASCII and E00 grids
//   then take the others land use. Reading leniently leaves the file to the
//   plain reader.
// - Exports are made into a private scratch folder whose path holds no ".",
//   then copied beside their final name under a temporary name and renamed.
//   ".tif" and ".tiff" names are written as GeoTIFF. ASCII and float grids
//   written with a known CRS get a ".prj" (ESRI WKT) beside them; a float
//   grid's ".hdr" gets a seventh line "byteorder LSBFIRST".
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <towngrow/grid/coverage.h>
#include <towngrow/landuse/land_use_set.h>

#include "io/atomic_files.h"
#include "io/gdal_raster.h"
#include "io/grid_header.h"
#include "io/message_log.h"

namespace towngrow::io {

// The ID no-data cells take: the set's first land use of the others kind,
// 6 when it has none.
unsigned char OthersId(const CLandUseSet* set);

// The georeference to write `cov` with: `geo` when it has a transform,
// else the coverage's own fields; the CRS of `geo` in either case.
GeoInfo GeoForOutput(const CLandUseCoverage& cov, const GeoInfo& geo);

// The names that can be written, for messages: ".asc, .e00, .flt, .xya, .dat or .tif".
extern const char* const kWritableKinds;
// True when ExportCoverage writes this kind of name; CheckWritableName
// refuses any other (io::Error naming it).
bool IsWritableName(const std::string& path);
void CheckWritableName(const std::string& path);

// How a land-use map is drawn as a GeoTIFF: the colours and names of the
// coverage's set (the default roster without one).
TiffLegend LandUseLegend(const CLandUseCoverage& cov);

// Sizes a coverage; on refusal an io::Error (memory exhaustion named as such).
void InitOrFail(CLandUseCoverage& cov, int rows, int cols, MessageLog& log);

// Imports the file into `cov` (already sized and linked), with bOverlay 0,
// after the strict check (unless read leniently). A refusal becomes an
// io::Error naming the file and the place or the library's message.
// No-data cells of GDAL rasters, ASCII and E00 grids take `noDataId`, -1:
// OthersId of the coverage's set.
void ImportInto(const std::string& path, const GridFileInfo& info, CLandUseCoverage& cov,
                MessageLog& log, const MapReadOptions& maps, int noDataId = -1);

// Sizes `cov` to fit the file (at least 5 x 5), links `set` and imports it.
GridFileInfo LoadFitted(const std::string& path, CLandUseCoverage& cov, CLandUseSet& set,
                        MessageLog& log, const MapReadOptions& maps);

// Reads a background file of rows x cols cells into `background` (sized,
// linked to `set`); its no-data cells allow nothing (0).
void LoadBackgroundFile(const std::string& path, int rows, int cols, CLandUseSet& set,
                        CLandUseCoverage& background, MessageLog& log, const MapReadOptions& maps);

// LoadFitted for a map that must have rows x cols cells (a control map, a
// map compared with another); refuses another size before reading it,
// naming `what` the map must match ("the start", "the observed map ...").
GridFileInfo LoadOfSize(const std::string& path, int rows, int cols, const std::string& what,
                        CLandUseCoverage& cov, CLandUseSet& set, MessageLog& log,
                        const MapReadOptions& maps);

// Writes `cov` in the format of `finalPath`'s name (asc, e00, flt, xya,
// dat, tif), whole or not at all. A GeoTIFF is drawn in the colours and
// names of the coverage's set (the default roster without one) and placed
// by GeoForOutput(cov, geo). Throws io::Error.
void ExportCoverage(const CLandUseCoverage& cov, const std::string& finalPath, ScratchDir& scratch,
                    const GeoInfo& geo = GeoInfo());

// The files ExportCoverage would write for a kind other than GeoTIFF, made
// in the scratch folder and not yet published: (scratch file, final path)
// for the grid and its companions (.hdr, .prj).
std::vector<std::pair<std::string, std::string>> ExportToScratch(const CLandUseCoverage& cov,
                                                                 const std::string& finalPath,
                                                                 ScratchDir& scratch,
                                                                 const GeoInfo& geo);

}  // namespace towngrow::io
