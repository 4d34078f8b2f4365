#include "io/grid_header.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "io/error.h"

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
    throw Error(path + ": bad grid header: " + std::to_string(cols) + " columns and " +
                std::to_string(rows) + " rows");
  if (rows > kMaxSide || cols > kMaxSide)
    throw Error(path + ": the grid has " + std::to_string(rows) + " rows and " +
                std::to_string(cols) + " columns, more than the largest grid of " +
                std::to_string(kMaxSide) + " x " + std::to_string(kMaxSide));
}

void ReadAsc(const std::string& path, std::istream& in, GridFileInfo& info) {
  std::string l1, l2;
  long long cols = 0, rows = 0;
  if (!GetLine(in, l1) || !GetLine(in, l2) || !WordAndInt(l1, cols) || !WordAndInt(l2, rows))
    throw Error(path +
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
    throw Error(path + ": bad E00 grid description (line 3): \"" + l3 + "\"");
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
  const std::string header = FloatHeaderName(path);
  std::ifstream in(header, std::ios::binary);
  if (!in) throw Error(path + ": its header file " + header + " cannot be opened");
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
  if (ec) throw Error(path + ": cannot be read: " + ec.message());
  if (bytes < need)
    throw Error(path + ": holds " + std::to_string(bytes) + " bytes but its header asks for " +
                std::to_string(need) + " (" + std::to_string(rows) + " x " + std::to_string(cols) +
                " floats)");
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
      throw Error(path + ": names the cell at column " + std::to_string(x) + ", row " +
                  std::to_string(y) + ", beyond the largest grid of " + std::to_string(kMaxSide) +
                  " x " + std::to_string(kMaxSide));
    if (x > maxX) maxX = x;
    if (y > maxY) maxY = y;
  }
  info.rows = static_cast<int>(maxY + 1);
  info.cols = static_cast<int>(maxX + 1);
}

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

std::string FloatHeaderName(const std::string& path) {
  const fs::path p(path);
  const std::string name = p.filename().string();
  const std::string stem = name.substr(0, name.find('.'));
  return (p.parent_path() / (stem + ".hdr")).string();
}

GridFileInfo ReadGridFileInfo(const std::string& path, const MapReadOptions& maps) {
  GridFileInfo info;
  CLandUseCoverage probe;
  info.format = probe.TestFileFormat(path);
  if (info.format == FormatXY)
    throw Error(path +
                ": .xy point lists have no defined layout and cannot be read "
                "(use .xya)");
  if (path.empty()) throw Error(": unknown kind of file (an empty name)");
  std::error_code ec;
  if (!fs::exists(path, ec)) throw Error(path + ": no such file");
  if (fs::is_directory(path, ec)) throw Error(path + ": is a folder, not a file");
  if (info.format == FormatOther) {
    if (!ProbeGdalRaster(path, maps.band, info.raster))
      throw Error(path +
                  ": unknown kind of file (neither a raster GDAL reads nor a name "
                  "ending in .asc, .e00, .flt, .xya or .dat)");
    return FromGdal(path, info);
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Error(path + ": cannot be opened");
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
        if (!ProbeGdalRaster(path, maps.band, info.raster))
          throw Error(FloatHeaderName(path) +
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
  if (info.centred && !maps.lenient) {  // placed by the corner, not the centre
    info.xll -= info.cellSize / 2;
    info.yll -= info.cellSize / 2;
  } else {
    info.centred = false;
  }
  if (info.hasGeoref) info.geo = GeoFromFields(info.xll, info.yll, info.cellSize, info.rows);
  info.geo.wkt = CrsFromPrjFile(fs::path(path).replace_extension(".prj").string());
  return info;
}

}  // namespace towngrow::io
