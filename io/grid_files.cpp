#include "io/grid_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <system_error>

#include "io/error.h"
#include "io/strict_check.h"

namespace fs = std::filesystem;

namespace towngrow::io {
namespace {

// Reads one line; a CR before the LF belongs to the line end.
bool GetLine(std::istream& in, std::string& line) {
  if (!std::getline(in, line)) return false;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

// "word integer" of a header line; false when the line is not like that.
bool WordAndInt(const std::string& line, long long& value) {
  std::istringstream s(line);
  std::string word;
  if (!(s >> word)) return false;
  return static_cast<bool>(s >> value);
}

// The number after the first blank of a line (0.0 when none), as the
// ASCII grid reader takes it.
double NumberAfterBlank(const std::string& line) {
  const auto blank = line.find(' ');
  const std::string rest = blank == std::string::npos ? line : line.substr(blank);
  return std::strtod(rest.c_str(), nullptr);
}

// A header line "xllcenter ...": the number is the lower-left cell's centre.
bool IsCentre(const std::string& line) {
  std::string word = line.substr(0, 9);
  for (auto& ch : word) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return word == "xllcenter";
}

void CheckSize(const std::string& path, long long rows, long long cols) {
  if (rows < 1 || cols < 1)
    throw AppError(path + ": bad grid header: " + std::to_string(cols) + " columns and " +
                   std::to_string(rows) + " rows");
  if (rows > kMaxSide || cols > kMaxSide)
    throw AppError(path + ": the grid has " + std::to_string(rows) + " rows and " +
                   std::to_string(cols) + " columns, more than the largest grid of " +
                   std::to_string(kMaxSide) + " x " + std::to_string(kMaxSide));
}

// The header of a float grid, taken beside its data file.
std::string SensibleHeaderName(const std::string& path) {
  const fs::path p(path);
  const std::string name = p.filename().string();
  const std::string stem = name.substr(0, name.find('.'));
  return (p.parent_path() / (stem + ".hdr")).string();
}

// The header the library looks for: the whole path up to its first ".".
std::string LibraryHeaderName(const std::string& path) {
  return path.substr(0, path.find('.')) + ".hdr";
}

void ReadAsc(const std::string& path, std::istream& in, GridFileInfo& info) {
  std::string l1, l2;
  long long cols = 0, rows = 0;
  if (!GetLine(in, l1) || !GetLine(in, l2) || !WordAndInt(l1, cols) || !WordAndInt(l2, rows))
    throw AppError(path +
                   ": not an ASCII grid: it must begin with the lines \"ncols <n>\" and "
                   "\"nrows <n>\"");
  CheckSize(path, rows, cols);
  info.rows = static_cast<int>(rows);
  info.cols = static_cast<int>(cols);
  std::string l3, l4, l5;
  if (GetLine(in, l3) && GetLine(in, l4) && GetLine(in, l5)) {
    info.hasGeoref = true;
    info.centred = IsCentre(l3);
    info.xll = NumberAfterBlank(l3);
    info.yll = NumberAfterBlank(l4);
    info.cellSize = NumberAfterBlank(l5);
    const int next = in.peek();
    std::string l6;
    if ((next == 'n' || next == 'N') && GetLine(in, l6)) {
      info.hasNoData = true;
      info.noData = static_cast<long>(NumberAfterBlank(l6));
    }
  }
}

void ReadE00(std::istream& in, GridFileInfo& info, const std::string& path) {
  std::string l1, l2, l3;
  if (!GetLine(in, l1) || !GetLine(in, l2) || !GetLine(in, l3)) return;  // the import refuses
  std::string head = l1.substr(0, 6);
  for (auto& ch : head) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  if (head != "EXP  0" || l2.compare(0, 6, "GRD  2") != 0) return;  // the import refuses
  std::istringstream s(l3.substr(0, 79));
  long long cols = 0, rows = 0;
  if (!(s >> cols >> rows))
    throw AppError(path + ": bad E00 grid description (line 3): \"" + l3 + "\"");
  CheckSize(path, rows, cols);
  info.rows = static_cast<int>(rows);
  info.cols = static_cast<int>(cols);
  std::string l4, l5;
  double cx = 0, cy = 0, x = 0, y = 0;
  if (GetLine(in, l4) && GetLine(in, l5)) {
    std::istringstream s4(l4), s5(l5);
    if ((s4 >> cx >> cy) && (s5 >> x >> y)) {
      info.hasGeoref = true;
      info.cellSize = cx;
      info.xll = x;
      info.yll = y;
    }
  }
}

// False when the header beside the file is not the float grid's (its first
// two lines are not "ncols <n>" and "nrows <n>").
bool ReadFlt(const std::string& path, GridFileInfo& info) {
  const std::string header = SensibleHeaderName(path);
  std::ifstream in(header, std::ios::binary);
  if (!in) throw AppError(path + ": its header file " + header + " cannot be opened");
  std::string lines[6];
  for (auto& l : lines) GetLine(in, l);
  long long cols = 0, rows = 0;
  if (!WordAndInt(lines[0], cols) || !WordAndInt(lines[1], rows)) return false;
  CheckSize(path, rows, cols);
  info.rows = static_cast<int>(rows);
  info.cols = static_cast<int>(cols);
  std::istringstream s3(lines[2]), s4(lines[3]), s5(lines[4]), s6(lines[5]);
  std::string w;
  double x = 0, y = 0, c = 0, nd = 0;
  if ((s3 >> w >> x) && (s4 >> w >> y) && (s5 >> w >> c)) {
    info.hasGeoref = true;
    info.centred = IsCentre(lines[2]);
    info.xll = x;
    info.yll = y;
    info.cellSize = c;
  }
  if (s6 >> w >> nd) {
    info.hasNoData = true;
    info.noData = static_cast<long>(nd);
  }
  std::error_code ec;
  const auto bytes = fs::file_size(path, ec);
  const unsigned long long need =
      static_cast<unsigned long long>(rows) * static_cast<unsigned long long>(cols) * 4ULL;
  if (ec) throw AppError(path + ": cannot be read: " + ec.message());
  if (bytes < need)
    throw AppError(path + ": holds " + std::to_string(bytes) + " bytes but its header asks for " +
                   std::to_string(need) + " (" + std::to_string(rows) + " x " +
                   std::to_string(cols) + " floats)");
  return true;
}

void ReadPoints(const std::string& path, std::istream& in, GridFileInfo& info) {
  std::string line;
  long long maxX = -1, maxY = -1;
  while (GetLine(in, line)) {
    const char* p = line.c_str();
    char* end = nullptr;
    errno = 0;
    const long long x = std::strtoll(p, &end, 10);
    if (end == p) continue;
    p = end;
    const long long y = std::strtoll(p, &end, 10);
    if (end == p) continue;
    p = end;
    std::strtoll(p, &end, 10);
    if (end == p) continue;
    ++info.points;
    if (x < 0 || y < 0) continue;  // the reader skips such cells
    if (x >= kMaxSide || y >= kMaxSide)
      throw AppError(path + ": names the cell at column " + std::to_string(x) + ", row " +
                     std::to_string(y) + ", beyond the largest grid of " +
                     std::to_string(kMaxSide) + " x " + std::to_string(kMaxSide));
    if (x > maxX) maxX = x;
    if (y > maxY) maxY = y;
  }
  info.rows = static_cast<int>(maxY + 1);
  info.cols = static_cast<int>(maxX + 1);
}

[[noreturn]] void Refused(const std::string& path, MessageLog& log, const std::string& fallback) {
  const std::string why = log.CapturedLine();
  throw AppError(path + ": " + (why.empty() ? fallback : "refused: " + why));
}

}  // namespace

std::string FormatWord(ImportDataFormat format) {
  switch (format) {
    case FormatE00:
      return "e00";
    case FormatXYA:
      return "xya";
    case FormatXY:
      return "xy";
    case FormatASC:
      return "asc";
    case FormatFLT:
      return "flt";
    case FormatDAT:
      return "dat";
    default:
      return "other";
  }
}

MapReadOptions& MapReading() {
  static MapReadOptions options;
  return options;
}

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

namespace {

GridFileInfo FromGdal(const std::string& path, GridFileInfo& info) {
  CheckSize(path, info.raster.rows, info.raster.cols);
  info.gdal = true;
  info.rows = info.raster.rows;
  info.cols = info.raster.cols;
  info.geo = info.raster.geo;
  info.hasNoData = info.raster.hasNoData;
  const double nd = info.raster.noData;  // may be NaN or far beyond a long
  info.noData = std::isfinite(nd) && std::fabs(nd) < 1e15 ? static_cast<long>(nd) : 0;
  if (info.geo.hasTransform) {
    info.hasGeoref = true;
    info.xll = info.geo.transform[0];
    info.cellSize = info.geo.transform[1];
    info.yll = info.geo.transform[3] + info.geo.transform[5] * info.rows;
  }
  return info;
}

}  // namespace

GridFileInfo ReadGridFileInfo(const std::string& path) {
  GridFileInfo info;
  CLandUseCoverage probe;
  info.format = probe.TestFileFormat(path);
  if (info.format == FormatXY)
    throw AppError(path +
                   ": .xy point lists have no defined layout and cannot be read "
                   "(use .xya)");
  if (path.empty()) throw AppError(": unknown kind of file (an empty name)");
  std::error_code ec;
  if (!fs::exists(path, ec)) throw AppError(path + ": no such file");
  if (fs::is_directory(path, ec)) throw AppError(path + ": is a folder, not a file");
  if (info.format == FormatOther) {
    if (!ProbeGdalRaster(path, MapReading().band, info.raster))
      throw AppError(path +
                     ": unknown kind of file (neither a raster GDAL reads nor a name "
                     "ending in .asc, .e00, .flt, .xya or .dat)");
    return FromGdal(path, info);
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) throw AppError(path + ": cannot be opened");
  switch (info.format) {
    case FormatASC:
      ReadAsc(path, in, info);
      break;
    case FormatE00:
      ReadE00(in, info, path);
      break;
    case FormatFLT:
      if (!ReadFlt(path, info)) {
        // Not the float grid's header: perhaps another .hdr raster GDAL reads.
        if (!ProbeGdalRaster(path, MapReading().band, info.raster))
          throw AppError(SensibleHeaderName(path) +
                         ": not a float grid header: it must begin with the lines "
                         "\"ncols <n>\" and \"nrows <n>\"");
        info.format = FormatOther;
        return FromGdal(path, info);
      }
      break;
    default:
      ReadPoints(path, in, info);
      break;
  }
  if (info.centred && !MapReading().lenient) {  // placed by the corner, not the centre
    info.xll -= info.cellSize / 2;
    info.yll -= info.cellSize / 2;
  } else {
    info.centred = false;
  }
  if (info.hasGeoref) info.geo = GeoFromFields(info.xll, info.yll, info.cellSize, info.rows);
  info.geo.wkt = CrsFromPrjFile(fs::path(path).replace_extension(".prj").string());
  return info;
}

void InitOrFail(CLandUseCoverage& cov, int rows, int cols, MessageLog& log) {
  if (rows < kMinSide || cols < kMinSide || rows > kMaxSide || cols > kMaxSide)
    throw AppError("a grid of " + std::to_string(rows) + " x " + std::to_string(cols) +
                   " cells is not possible (each side from " + std::to_string(kMinSide) + " to " +
                   std::to_string(kMaxSide) + ")");
  log.BeginCapture();
  if (!cov.InitCoverage(rows, cols, 0)) {
    const std::string why = log.CapturedLine();
    throw AppError("not enough memory for a grid of " + std::to_string(rows) + " x " +
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
  if (info.format == FormatFLT && LibraryHeaderName(path) != SensibleHeaderName(path)) {
    // The library would look for the header elsewhere: read a private copy.
    scratch.reset(new ScratchDir());
    source = scratch->Path() + "/grid.flt";
    std::error_code ec;
    fs::copy_file(path, source, ec);
    if (!ec) fs::copy_file(SensibleHeaderName(path), scratch->Path() + "/grid.hdr", ec);
    if (ec) throw AppError(path + ": cannot be read: " + ec.message());
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
    throw AppError(path + ": read error: " + e.what());
  }
  if (!ok) Refused(path, log, "cannot be read");
}

}  // namespace

void ImportInto(const std::string& path, const GridFileInfo& info, CLandUseCoverage& cov,
                MessageLog& log, int noDataId) {
  const unsigned char others =
      noDataId < 0 ? OthersId(cov.m_pLandUseSet) : static_cast<unsigned char>(noDataId);
  if (info.gdal) {
    ReadGdalRaster(path, info.raster, others, cov);
  } else {
    const bool strict = !MapReading().lenient;
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

GridFileInfo LoadFitted(const std::string& path, CLandUseCoverage& cov, CLandUseSet& set,
                        MessageLog& log) {
  GridFileInfo info = ReadGridFileInfo(path);
  InitOrFail(cov, std::max(info.rows, kMinSide), std::max(info.cols, kMinSide), log);
  cov.m_pLandUseSet = &set;
  ImportInto(path, info, cov, log);
  return info;
}

ScratchDir::ScratchDir() {
  char templ[] = "/tmp/towngrow-XXXXXX";
  if (mkdtemp(templ) == nullptr)
    throw AppError(std::string("cannot create a scratch folder in /tmp: ") + std::strerror(errno));
  path_ = templ;
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

std::string TempNameFor(const std::string& finalPath) {
  const fs::path p(finalPath);
  return (p.parent_path() / ("." + p.filename().string() + ".part-" + std::to_string(::getpid())))
      .string();
}

void PublishTemp(const std::string& tempPath, const std::string& finalPath) {
  std::error_code ec;
  // A temporary file may have been created private; the result is an
  // ordinary file (read-write for the owner, readable as the umask allows).
  const mode_t mask = ::umask(0);
  ::umask(mask);
  fs::permissions(tempPath, static_cast<fs::perms>(0666 & ~mask), ec);
  fs::rename(tempPath, finalPath, ec);
  if (ec) {
    fs::remove(tempPath, ec);
    throw AppError(finalPath + ": cannot be written: " + ec.message());
  }
}

void WriteFileAtomic(const std::string& finalPath, const std::string& content) {
  const std::string temp = TempNameFor(finalPath);
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (out) out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.close();
    if (!out) {
      std::error_code ec;
      fs::remove(temp, ec);
      throw AppError(finalPath + ": cannot be written");
    }
  }
  PublishTemp(temp, finalPath);
}

void CopyFileAtomic(const std::string& from, const std::string& finalPath) {
  const std::string temp = TempNameFor(finalPath);
  std::error_code ec;
  fs::copy_file(from, temp, fs::copy_options::overwrite_existing, ec);
  if (ec) {
    std::error_code ignored;
    fs::remove(temp, ignored);
    throw AppError(finalPath + ": cannot be written: " + ec.message());
  }
  PublishTemp(temp, finalPath);
}

void ExportCoverage(const CLandUseCoverage& cov, const std::string& finalPath, ScratchDir& scratch,
                    const GeoInfo& geo) {
  if (!IsWritableName(finalPath))
    throw AppError(finalPath + ": cannot write this kind of file (names ending in " +
                   kWritableKinds + " can be written)");
  if (IsTiffName(finalPath)) {
    TiffLegend legend;
    legend.set = cov.m_pLandUseSet;
    legend.description = "land-use ID";
    WriteGeoTiff(finalPath, cov.m_pData, cov.m_nRows, cov.m_nCols, GeoForOutput(cov, geo), legend);
    return;
  }
  const ImportDataFormat format = cov.TestFileFormat(finalPath);
  const std::string work = scratch.Path() + "/grid." + FormatWord(format);
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
    throw AppError(finalPath + ": write error: " + e.what());
  }
  if (!ok) throw AppError(finalPath + ": cannot be written (scratch copy refused)");
  std::error_code ec;
  if (format == FormatFLT) {
    const std::string header = scratch.Path() + "/grid.hdr";
    {
      std::ofstream out(header, std::ios::binary | std::ios::app);
      out << "byteorder LSBFIRST\r\n";
      if (!out) throw AppError(finalPath + ": cannot complete its header");
    }
    CopyFileAtomic(work, finalPath);
    CopyFileAtomic(header, SensibleHeaderName(finalPath));
    fs::remove(header, ec);
  } else {
    CopyFileAtomic(work, finalPath);
  }
  fs::remove(work, ec);
  if ((format == FormatASC || format == FormatFLT) && !geo.wkt.empty())
    WriteFileAtomic(fs::path(finalPath).replace_extension(".prj").string(), EsriWkt(geo.wkt));
}

void MakeFolder(const std::string& path) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) return;
  fs::create_directories(path, ec);
  if (ec || !fs::is_directory(path))
    throw AppError(path + ": cannot create the output folder" +
                   (ec ? ": " + ec.message() : std::string()));
}

}  // namespace towngrow::io
