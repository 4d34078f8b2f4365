#include "io/strict_check.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include "io/error.h"

namespace fs = std::filesystem;

namespace towngrow::io {
namespace {

// Reads a file line by line (a CR before the LF belongs to the line end),
// counting lines from 1.
class Lines {
public:
  explicit Lines(const std::string& path) : in_(path, std::ios::binary) {
    in_.rdbuf()->pubsetbuf(buffer_, sizeof buffer_);
    if (!in_) throw Error(path + ": cannot be opened");
  }
  bool Next(std::string& line) {
    if (!std::getline(in_, line)) return false;
    ++number_;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
  }
  long Number() const { return number_; }

private:
  char buffer_[1 << 16];
  std::ifstream in_;
  long number_ = 0;
};

bool IsBlankText(const char* b, const char* e) {
  for (; b < e; ++b)
    if (!std::isspace(static_cast<unsigned char>(*b))) return false;
  return true;
}

// A decimal number filling [b, e) but for trailing white space: optional
// sign, digits with an optional fraction, an optional exponent.
bool ParseNumber(const char* b, const char* e, double& value) {
  while (e > b && std::isspace(static_cast<unsigned char>(e[-1]))) --e;
  const char* p = b;
  if (p < e && (*p == '+' || *p == '-')) ++p;
  const char* digits = p;
  long long whole = 0;
  while (p < e && std::isdigit(static_cast<unsigned char>(*p)) && p - digits < 15)
    whole = whole * 10 + (*p++ - '0');
  if (p == e && p > digits) {  // the common case: a plain integer
    value = static_cast<double>(*b == '-' ? -whole : whole);
    return true;
  }
  bool any = p > digits;
  while (p < e && std::isdigit(static_cast<unsigned char>(*p))) any = true, ++p;
  if (p < e && *p == '.') {
    ++p;
    while (p < e && std::isdigit(static_cast<unsigned char>(*p))) any = true, ++p;
  }
  if (!any) return false;
  if (p < e && (*p == 'e' || *p == 'E')) {
    ++p;
    if (p < e && (*p == '+' || *p == '-')) ++p;
    const char* exp = p;
    while (p < e && std::isdigit(static_cast<unsigned char>(*p))) ++p;
    if (p == exp) return false;
  }
  if (p != e) return false;
  value = std::strtod(std::string(b, e).c_str(), nullptr);
  return std::isfinite(value);
}

std::string Quoted(const char* b, const char* e) {
  std::string text(b, std::min<std::size_t>(static_cast<std::size_t>(e - b), 40));
  for (char& ch : text)
    if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F) ch = '?';
  return "\"" + text + (e - b > 40 ? "...\"" : "\"");
}

std::string Num(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.10g", v);
  return buf;
}

// What a grid cell may hold: a whole number 0 to 255, or the no-data value.
// Returns the problem, or nullptr.
const char* CellProblem(double v, bool hasNoData, double noData) {
  if (hasNoData && v == noData) return nullptr;
  if (v != std::floor(v)) return "is not a whole number";
  if (v < 0 || v > 255) return "is outside 0 to 255";
  return nullptr;
}

[[noreturn]] void Fail(const std::string& path, long line, const std::string& what) {
  throw Error(path + ": line " + std::to_string(line) + ": " + what);
}

// The values of one grid row as the library's readers split it: white space
// skipped, each value up to the next blank. Checks each and counts them.
void CheckRow(const std::string& path, long line, const std::string& text, int row, int cols,
              bool hasNoData, double noData, StrictFindings& found) {
  const char* p = text.c_str();
  const char* end = p + text.size();
  int c = 0;
  for (;;) {
    while (p < end && std::isspace(static_cast<unsigned char>(*p))) ++p;
    if (p == end) break;
    const char* stop = static_cast<const char*>(std::memchr(p, ' ', static_cast<size_t>(end - p)));
    if (!stop) stop = end;
    const std::string at = "row " + std::to_string(row) + ", column " + std::to_string(c);
    if (c == cols)
      Fail(path, line,
           at + ": more values than the " + std::to_string(cols) + " columns the header promises");
    double v = 0;
    if (!ParseNumber(p, stop, v))
      Fail(path, line, at + ": " + Quoted(p, stop) + " is not a number");
    if (const char* problem = CellProblem(v, hasNoData, noData))
      Fail(path, line,
           at + ": value " + Num(v) + " " + problem + " (land-use IDs are whole numbers 0 to 255)");
    if (hasNoData && v == noData)
      found.noDataCells.push_back(static_cast<std::size_t>(row) * static_cast<std::size_t>(cols) +
                                  static_cast<std::size_t>(c));
    ++c;
    p = stop;
  }
  if (c < cols)
    Fail(path, line,
         "row " + std::to_string(row) + " holds " + std::to_string(c) +
             " values, the header promises " + std::to_string(cols));
}

std::string Lower(std::string s) {
  for (char& ch : s) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return s;
}

// A header line "keyword number" with one of the keywords; returns the
// keyword found (lower case).
std::string HeaderLine(const std::string& path, Lines& in, std::initializer_list<const char*> keys,
                       double& value, bool whole) {
  std::string line;
  const bool got = in.Next(line);
  std::istringstream s(line);
  std::string key, number, rest;
  s >> key >> number;
  key = Lower(key);
  bool known = false;
  for (const char* k : keys) known = known || key == k;
  const char* first = *keys.begin();
  if (!got || !known || !ParseNumber(number.data(), number.data() + number.size(), value) ||
      (s >> rest) || (whole && value != std::floor(value)))
    Fail(path, got ? in.Number() : in.Number() + 1,
         "the header line \"" + std::string(first) + (whole ? " <whole number>" : " <number>") +
             "\" is expected" +
             (got ? ", not " + Quoted(line.data(), line.data() + line.size())
                  : std::string(", the file ends")));
  return key;
}

void CheckAsc(const std::string& path, const GridFileInfo& info, StrictFindings& found) {
  Lines in(path);
  double v = 0;
  HeaderLine(path, in, {"ncols"}, v, true);
  HeaderLine(path, in, {"nrows"}, v, true);
  const std::string x = HeaderLine(path, in, {"xllcorner", "xllcenter"}, v, false);
  const std::string y = HeaderLine(path, in, {"yllcorner", "yllcenter"}, v, false);
  if ((x == "xllcenter") != (y == "yllcenter"))
    Fail(path, in.Number(), "xllcenter and yllcenter go together (or xllcorner and yllcorner)");
  HeaderLine(path, in, {"cellsize"}, v, false);
  std::string line;
  long rowsRead = 0;
  bool first = true;
  while (rowsRead < info.rows && in.Next(line)) {
    if (first && info.hasNoData) {  // the no-data line, which the reader found
      std::istringstream s(line);
      std::string key, number, rest;
      s >> key >> number;
      double nd = 0;
      if (Lower(key) != "nodata_value" ||
          !ParseNumber(number.data(), number.data() + number.size(), nd) || (s >> rest) ||
          nd != std::floor(nd))
        Fail(path, in.Number(),
             "the header line \"nodata_value <whole number>\" is expected, not " +
                 Quoted(line.data(), line.data() + line.size()));
      first = false;
      continue;
    }
    first = false;
    if (!line.empty() && std::isalpha(static_cast<unsigned char>(line[0])))
      Fail(path, in.Number(),
           Quoted(line.data(), line.data() + line.size()) +
               " is not a header line the reader knows, nor a row");
    CheckRow(path, in.Number(), line, static_cast<int>(rowsRead), info.cols, info.hasNoData,
             static_cast<double>(info.noData), found);
    ++rowsRead;
  }
  if (rowsRead < info.rows)
    Fail(path, in.Number() + 1,
         "the file ends at row " + std::to_string(rowsRead) + " of the " +
             std::to_string(info.rows) + " rows the header promises");
  while (in.Next(line))
    if (!IsBlankText(line.data(), line.data() + line.size()))
      Fail(path, in.Number(),
           "more rows than the " + std::to_string(info.rows) + " the header promises");
}

void CheckE00(const std::string& path, const GridFileInfo& info, StrictFindings& found) {
  Lines in(path);
  std::string line;
  for (int i = 0; i < 2; ++i) in.Next(line);  // the reader checks these two
  double noData = 0;
  bool hasNoData = false;
  for (int i = 3; i <= 6; ++i) {
    if (!in.Next(line)) throw Error(path + ": the header ends at line " + std::to_string(i));
    if (line.size() > 79)
      Fail(path, i, "a header line of more than 79 characters (the reader splits it)");
    if (i == 3) {
      std::istringstream s(line);
      long long cols = 0, rows = 0, type = 0;
      std::string nd;
      s >> cols >> rows >> type >> nd;
      hasNoData = ParseNumber(nd.data(), nd.data() + nd.size(), noData);
      if (type != 1) return;  // the reader refuses such a grid itself
    }
  }
  const int k = (info.cols + 4) / 5;
  for (int r = 0; r < info.rows; ++r) {
    std::string row;
    for (int i = 0; i < k; ++i) {
      if (!in.Next(line))
        throw Error(path + ": ends inside row " + std::to_string(r) + " of the " +
                    std::to_string(info.rows) + " rows the header promises");
      row += line;
    }
    CheckRow(path, in.Number(), row, r, info.cols, hasNoData, noData, found);
  }
  if (!in.Next(line) || line.compare(0, 3, "EOG") != 0)
    Fail(path, in.Number() + (line.empty() ? 1 : 0),
         "\"EOG\" is expected after the last row (more values than the header promises?)");
}

void CheckFlt(const std::string& path, const GridFileInfo& info, StrictFindings& found) {
  const fs::path p(path);
  const std::string name = p.filename().string();
  const std::string header = (p.parent_path() / (name.substr(0, name.find('.')) + ".hdr")).string();
  Lines in(header);
  double v = 0, noData = 0;
  HeaderLine(header, in, {"ncols"}, v, true);
  HeaderLine(header, in, {"nrows"}, v, true);
  const std::string x = HeaderLine(header, in, {"xllcorner", "xllcenter"}, v, false);
  const std::string y = HeaderLine(header, in, {"yllcorner", "yllcenter"}, v, false);
  if ((x == "xllcenter") != (y == "yllcenter"))
    Fail(header, in.Number(), "xllcenter and yllcenter go together (or xllcorner and yllcorner)");
  HeaderLine(header, in, {"cellsize"}, v, false);
  HeaderLine(header, in, {"nodata_value"}, noData, false);
  std::string line;
  while (in.Next(line)) {
    std::istringstream s(line);
    std::string key, word;
    s >> key >> word;
    key = Lower(key);
    word = Lower(word);
    if (key.empty()) continue;
    if (key == "byteorder" && (word == "msbfirst" || word == "m"))
      Fail(header, in.Number(), "big-endian data, which the float grid reader does not take");
    if (key != "byteorder" || (word != "lsbfirst" && word != "i"))
      Fail(header, in.Number(),
           Quoted(line.data(), line.data() + line.size()) +
               " is not a header line the reader knows");
  }
  std::ifstream data(path, std::ios::binary);
  const double noDataWhole = std::trunc(noData);  // the reader compares truncated values
  std::vector<float> buf(static_cast<std::size_t>(info.cols));
  for (int r = 0; r < info.rows; ++r) {
    data.read(reinterpret_cast<char*>(buf.data()),
              static_cast<std::streamsize>(buf.size() * sizeof(float)));
    if (!data) throw Error(path + ": ends inside row " + std::to_string(r));
    for (int c = 0; c < info.cols; ++c) {
      const double f = buf[static_cast<std::size_t>(c)];
      if (std::isfinite(f) && std::trunc(f) == noDataWhole) continue;
      const char* problem = std::isnan(f) ? "is not a number" : CellProblem(f, false, 0);
      if (problem)
        throw Error(path + ": row " + std::to_string(r) + ", column " + std::to_string(c) +
                    ": value " + Num(f) + " " + problem +
                    " (land-use IDs are whole numbers 0 to 255)");
    }
  }
  (void)found;
}

void CheckPoints(const std::string& path, StrictFindings&) {
  Lines in(path);
  std::string line;
  while (in.Next(line)) {
    std::istringstream s(line);
    std::string word;
    double n[3] = {0, 0, 0};
    int count = 0;
    bool ok = true;
    while (s >> word) {
      if (count == 3 || !ParseNumber(word.data(), word.data() + word.size(), n[count]) ||
          n[count] != std::floor(n[count]) || word.find_first_of(".eE") != std::string::npos)
        ok = false;
      ++count;
    }
    if (count == 0) continue;
    if (!ok || count != 3)
      Fail(path, in.Number(),
           Quoted(line.data(), line.data() + line.size()) +
               " is not three whole numbers (column, row, land-use ID)");
    if (n[0] < 0 || n[1] < 0) Fail(path, in.Number(), "a negative column or row names no cell");
    if (n[2] < 0 || n[2] > 255)
      Fail(path, in.Number(), "land-use ID " + Num(n[2]) + " is outside 0 to 255");
  }
}

}  // namespace

StrictFindings CheckStrictly(const std::string& path, const GridFileInfo& info) {
  StrictFindings found;
  switch (info.format) {
    case FormatASC:
      CheckAsc(path, info, found);
      break;
    case FormatE00:
      if (info.rows > 0) CheckE00(path, info, found);
      break;
    case FormatFLT:
      CheckFlt(path, info, found);
      break;
    case FormatXYA:
    case FormatDAT:
      CheckPoints(path, found);
      break;
    default:
      break;
  }
  return found;
}

}  // namespace towngrow::io
