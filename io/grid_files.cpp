#include "io/grid_files.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>

#include "io/error.h"
#include "io/strict_check.h"
#include "towngrow/formats/file_error.h"

namespace fs = std::filesystem;

namespace towngrow::io {
namespace {

[[noreturn]] void Refused(const std::string& path, MessageLog& log, const std::string& fallback) {
  const std::string why = log.CapturedLine();
  throw Error(path + ": " + (why.empty() ? fallback : "refused: " + why));
}

// The header the library looks for: the whole path up to its first ".".
std::string LibraryHeaderName(const std::string& path) {
  return path.substr(0, path.find('.')) + ".hdr";
}

}  // namespace

const char* const kWritableKinds = ".asc, .e00, .flt, .xya, .dat or .tif";

unsigned char OthersId(const CLandUseSet* set) {
  if (set)
    for (int i = 0; i < set->m_LandUseArray.GetSize(); ++i) {
      const auto* lu = static_cast<const CLandUse*>(set->m_LandUseArray.GetAt(i));
      if (lu->m_LandUseCategory == Others) return lu->m_ID;
    }
  return 6;
}

GeoInfo GeoForOutput(const CLandUseCoverage& cov, const GeoInfo& geo) {
  if (geo.hasTransform) return geo;
  GeoInfo out = GeoFromFields(cov.m_dXllCorner, cov.m_dYllCorner, cov.m_dCellSize, cov.m_nRows);
  out.wkt = geo.wkt;
  return out;
}

bool IsWritableName(const std::string& path) {
  const ImportDataFormat format = CLandUseCoverage().TestFileFormat(path);
  return IsTiffName(path) || (format != FormatOther && format != FormatXY);
}

void CheckWritableName(const std::string& path) {
  if (!IsWritableName(path))
    throw Error(path + ": cannot write this kind of file (names ending in " + kWritableKinds +
                " can be written)");
}

TiffLegend LandUseLegend(const CLandUseCoverage& cov) {
  TiffLegend legend;
  if (cov.m_pLandUseSet) legend.classes = LegendOf(*cov.m_pLandUseSet);
  legend.description = "land-use ID";
  return legend;
}

void InitOrFail(CLandUseCoverage& cov, int rows, int cols, MessageLog& log) {
  if (rows < kMinSide || cols < kMinSide || rows > kMaxSide || cols > kMaxSide)
    throw Error("a grid of " + std::to_string(rows) + " x " + std::to_string(cols) +
                " cells is not possible (each side from " + std::to_string(kMinSide) + " to " +
                std::to_string(kMaxSide) + ")");
  log.BeginCapture();
  if (!cov.InitCoverage(rows, cols, 0)) {
    const std::string why = log.CapturedLine();
    throw Error("not enough memory for a grid of " + std::to_string(rows) + " x " +
                std::to_string(cols) + " cells" + (why.empty() ? "" : " (" + why + ")"));
  }
}

namespace {

// The library's reader of the file's kind, through a private copy of a
// float grid whose header the library would look for elsewhere.
void ImportWithLibrary(const std::string& path, const GridFileInfo& info, CLandUseCoverage& cov,
                       MessageLog& log) {
  std::string source = path;
  std::unique_ptr<ScratchDir> scratch;
  if (info.format == FormatFLT && LibraryHeaderName(path) != FloatHeaderName(path)) {
    // The library would look for the header elsewhere: read a private copy.
    scratch.reset(new ScratchDir());
    source = scratch->Path() + "/grid.flt";
    std::error_code ec;
    fs::copy_file(path, source, ec);
    if (!ec) fs::copy_file(FloatHeaderName(path), scratch->Path() + "/grid.hdr", ec);
    if (ec) throw Error(path + ": cannot be read: " + ec.message());
  }
  log.BeginCapture();
  int ok = 0;
  try {
    switch (info.format) {
      case FormatE00:
        ok = cov.ImportE00File(source, 0);
        break;
      case FormatASC:
        ok = cov.ImportASCFile(source, 0);
        break;
      case FormatFLT:
        ok = cov.ImportFLTFile(source, 0);
        break;
      case FormatXYA:
        ok = cov.ImportXYAFile(source, 0);
        break;
      case FormatDAT:
        ok = cov.ImportDATFile(source, 0);
        break;
      default:
        ok = 0;
        break;
    }
  } catch (const FileError& e) {
    throw Error(path + ": read error: " + e.what());
  }
  if (!ok) Refused(path, log, "cannot be read");
}

}  // namespace

void ImportInto(const std::string& path, const GridFileInfo& info, CLandUseCoverage& cov,
                MessageLog& log, const MapReadOptions& maps, int noDataId) {
  const unsigned char others =
      noDataId < 0 ? OthersId(cov.m_pLandUseSet) : static_cast<unsigned char>(noDataId);
  if (info.gdal) {
    ReadGdalRaster(path, info.raster, others, cov);
  } else {
    const bool strict = !maps.lenient;
    const StrictFindings found = strict ? CheckStrictly(path, info) : StrictFindings();
    ImportWithLibrary(path, info, cov, log);
    for (const std::size_t k : found.noDataCells)
      cov.SetCellValue(static_cast<int>(k / static_cast<std::size_t>(info.cols)),
                       static_cast<int>(k % static_cast<std::size_t>(info.cols)), others);
  }
  if ((info.gdal || info.format == FormatFLT || info.format == FormatE00 || info.centred) &&
      info.hasGeoref) {
    cov.m_dXllCorner = info.xll;
    cov.m_dYllCorner = info.yll;
    cov.m_dCellSize = info.cellSize;
  }
}

namespace {

GridFileInfo Load(const std::string& path, const GridFileInfo& info, CLandUseCoverage& cov,
                  CLandUseSet& set, MessageLog& log, const MapReadOptions& maps) {
  InitOrFail(cov, std::max(info.rows, kMinSide), std::max(info.cols, kMinSide), log);
  cov.m_pLandUseSet = &set;
  ImportInto(path, info, cov, log, maps);
  return info;
}

}  // namespace

GridFileInfo LoadFitted(const std::string& path, CLandUseCoverage& cov, CLandUseSet& set,
                        MessageLog& log, const MapReadOptions& maps) {
  return Load(path, ReadGridFileInfo(path, maps), cov, set, log, maps);
}

GridFileInfo LoadOfSize(const std::string& path, int rows, int cols, const std::string& what,
                        CLandUseCoverage& cov, CLandUseSet& set, MessageLog& log,
                        const MapReadOptions& maps) {
  const GridFileInfo info = ReadGridFileInfo(path, maps);
  if (std::max(info.rows, kMinSide) != rows || std::max(info.cols, kMinSide) != cols)
    throw Error(path + ": has " + std::to_string(info.rows) + " x " + std::to_string(info.cols) +
                " cells (rows x columns), " + what + " " + std::to_string(rows) + " x " +
                std::to_string(cols));
  return Load(path, info, cov, set, log, maps);
}

std::vector<std::pair<std::string, std::string>> ExportToScratch(const CLandUseCoverage& cov,
                                                                 const std::string& finalPath,
                                                                 ScratchDir& scratch,
                                                                 const GeoInfo& geo) {
  static std::atomic<unsigned> counter{0};
  const ImportDataFormat format = cov.TestFileFormat(finalPath);
  // A name of its own in the scratch folder, without a "." before the
  // extension: the library pairs a float grid with its header by the first ".".
  const std::string stem = scratch.Path() + "/grid" + std::to_string(counter++);
  const std::string work = stem + "." + FormatWord(format);
  int ok = 0;
  try {
    switch (format) {
      case FormatE00:
        ok = cov.ExportE00File(work);
        break;
      case FormatASC:
        ok = cov.ExportASCFile(work);
        break;
      case FormatFLT:
        ok = cov.ExportBINFile(work);
        break;
      default:
        ok = cov.ExportXYAFile(work);
        break;  // .xya and .dat share the layout
    }
  } catch (const FileError& e) {
    throw Error(finalPath + ": write error: " + e.what());
  }
  if (!ok) throw Error(finalPath + ": cannot be written (scratch copy refused)");
  std::vector<std::pair<std::string, std::string>> files = {{work, finalPath}};
  if (format == FormatFLT) {
    const std::string header = stem + ".hdr";
    {
      std::ofstream out(header, std::ios::binary | std::ios::app);
      out << "byteorder LSBFIRST\r\n";
      if (!out) throw Error(finalPath + ": cannot complete its header");
    }
    files.emplace_back(header, FloatHeaderName(finalPath));
  }
  if ((format == FormatASC || format == FormatFLT) && !geo.wkt.empty()) {
    const std::string prj = stem + ".prj";
    std::ofstream out(prj, std::ios::binary | std::ios::trunc);
    out << EsriWkt(geo.wkt);
    if (!out) throw Error(finalPath + ": cannot write its .prj");
    files.emplace_back(prj, fs::path(finalPath).replace_extension(".prj").string());
  }
  return files;
}

void ExportCoverage(const CLandUseCoverage& cov, const std::string& finalPath, ScratchDir& scratch,
                    const GeoInfo& geo) {
  CheckWritableName(finalPath);
  if (IsTiffName(finalPath)) {
    WriteGeoTiff(finalPath, cov.m_pData, cov.m_nRows, cov.m_nCols, GeoForOutput(cov, geo),
                 LandUseLegend(cov));
    return;
  }
  for (const auto& [work, final] : ExportToScratch(cov, finalPath, scratch, geo)) {
    CopyFileAtomic(work, final);
    std::error_code ec;
    fs::remove(work, ec);
  }
}

void LoadBackgroundFile(const std::string& path, int rows, int cols, CLandUseSet& set,
                        CLandUseCoverage& background, MessageLog& log, const MapReadOptions& maps) {
  const GridFileInfo bg = ReadGridFileInfo(path, maps);
  // Point lists have no size of their own: they fill what they name.
  const bool grid =
      bg.gdal || bg.format == FormatASC || bg.format == FormatE00 || bg.format == FormatFLT;
  if (grid && (bg.rows != rows || bg.cols != cols))
    throw Error(path + ": the background has " + std::to_string(bg.rows) + " rows and " +
                std::to_string(bg.cols) + " columns, the town " + std::to_string(rows) + " and " +
                std::to_string(cols));
  InitOrFail(background, rows, cols, log);
  background.m_pLandUseSet = &set;
  ImportInto(path, bg, background, log, maps, 0);  // no-data: nothing may grow there
}

}  // namespace towngrow::io
