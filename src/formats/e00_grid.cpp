// The E00 integer grid: "EXP" header, "GRD" section with the cell values,
// and an "IFO" section holding a one-record statistics table.
//
// Export writes a fixed georeference (cell size 30, lower-left corner
// 378923, 4072345), five values per line in fields of 14 characters, a row
// always starting on a new line, and the minimum, maximum, mean and standard
// deviation of all cells (two passes, the deviation over n - 1).
//
// Import checks the first two lines ("EXP  0" in any case, "GRD  2" exactly),
// reads ncols, nrows and the cell type from the grid description (at most 79
// characters; the next three lines likewise) and then, per row, joins the
// row's own ceil(ncols / 5) lines with nothing between them and one blank
// after them. A row whose text runs out reads 0 for its remaining columns;
// a missing line reads as empty, so a file that ends early is no error.
//
// Choices of ours:
// - Numbers of the grid description that are missing or malformed read as 0
//   (so a missing cell type is refused as a non-integer grid, and a missing
//   size reads nothing); the description's no-data value is not read at all
//   and cells holding it are stored like any other value.
// - Values beyond the int range saturate before their low 8 bits are taken.
// - A line of exactly 79 characters is read with its line end.
// - The statistics of a coverage without cells (n = 0) are written as four
//   zeros; with a single cell (n = 1) the standard deviation is 0.
// - Row lines are never held whole: they are parsed as they are read, so a
//   line of any length costs no memory.
#include <cmath>
#include <string>

#include "formats/exchange.h"
#include "formats/numbers.h"
#include "formats/text_file.h"
#include "towngrow/platform/messages.h"

namespace towngrow {
namespace {

constexpr std::size_t kDescriptionLimit = 79;

// The characters of a row's lines, joined with nothing between them and
// followed by one blank.
class JoinedRow {
public:
  JoinedRow(io::FileReader& in, long long lines) : in_(in), linesLeft_(lines) {}

  int Get() {
    while (linesLeft_ > 0) {
      const int c = in_.LineGet();
      if (c != io::FileReader::kEnd) return c;
      if (linesLeft_ == 1) break;
      in_.EndLine();
      --linesLeft_;
    }
    if (!blankGiven_) {
      blankGiven_ = true;
      return ' ';
    }
    return io::FileReader::kEnd;
  }

  // The next value: white space skipped, the text up to the next blank read
  // as an integer; false when the text is used up.
  bool NextValue(int& value) {
    int c = Get();
    while (c != io::FileReader::kEnd && io::IsSpace(c)) c = Get();
    if (c == io::FileReader::kEnd) return false;
    io::IntAccumulator acc;
    while (c != ' ' && c != io::FileReader::kEnd) {
      acc.Put(c);
      c = Get();
    }
    value = acc.Value();
    return true;
  }

  // Skips what is left of the row's lines.
  void Finish() {
    for (; linesLeft_ > 0; --linesLeft_) in_.EndLine();
  }

private:
  io::FileReader& in_;
  long long linesLeft_;
  bool blankGiven_ = false;
};

bool StartsWith(const std::string& line, const char* prefix, bool upperCase) {
  for (std::size_t i = 0; prefix[i] != '\0'; ++i) {
    if (i >= line.size()) return false;
    char ch = line[i];
    if (upperCase && ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
    if (ch != prefix[i]) return false;
  }
  return true;
}

std::string CornerLine(double x, double y) {
  std::string s;
  io::AppendExp(s, x, 13, 21);
  io::AppendExp(s, y, 13, 21);
  return s;
}

}  // namespace

int CLandUseCoverage::ImportE00File(CString strFileName, int bOverlay) {
  io::FileReader in;
  if (!in.Open(strFileName)) return 0;
  std::string line;

  in.ReadLine(line, io::kHeaderKeep);
  if (!StartsWith(line, "EXP  0", true)) {
    ShowMessage(io::kBadFormatMessage);
    return 0;
  }
  in.ReadLine(line, io::kHeaderKeep);
  if (!StartsWith(line, "GRD  2", false)) {
    ShowMessage(io::kBadFormatMessage);
    return 0;
  }

  in.ReadLineLimited(line, kDescriptionLimit);
  int ncols = 0, nrows = 0, cellType = 0;
  {
    const char* p = line.data();
    const char* end = p + line.size();
    if (io::ScanInt(p, end, ncols) && io::ScanInt(p, end, nrows)) io::ScanInt(p, end, cellType);
  }
  if (cellType != 1) {
    ShowMessage(io::kIntegerGridMessage);
    return 0;
  }
  if (ncols > m_nCols || nrows > m_nRows) {
    ShowMessage(io::kRangeMessage);
    return 0;
  }
  for (int i = 0; i < 3; ++i) in.ReadLineLimited(line, kDescriptionLimit);  // size, corners

  const long long linesPerRow = ncols > 0 ? (static_cast<long long>(ncols) + 4) / 5 : 0;
  for (int r = 0; r < nrows; ++r) {
    JoinedRow row(in, linesPerRow);
    bool more = true;
    for (int c = 0; c < ncols; ++c) {
      int value = 0;
      if (more) more = row.NextValue(value);
      if (!more) value = 0;
      if (bOverlay && value == 0) continue;
      io::StoreValue(*this, r, c, value);
    }
    row.Finish();
  }
  // The "EOG" line and the info section are not read.
  return 1;
}

int CLandUseCoverage::ExportE00File(CString strFileName) const {
  io::FileWriter out;
  if (!out.Create(strFileName)) return 0;
  const int rows = m_nRows;
  const int cols = m_nCols;

  out.WriteLine("EXP  0 /NORVA/TAMBE/QOR/PELGA.E00" + std::string(39, ' '));
  out.WriteLine("GRD  2");
  std::string s;
  io::AppendIntWidth(s, cols, 10);
  io::AppendIntWidth(s, rows, 10);
  io::AppendIntWidth(s, 1, 2);
  io::AppendExp(s, -2147483647.0, 14, 21);
  out.WriteLine(s);
  out.WriteLine(CornerLine(30.0, 30.0));
  out.WriteLine(CornerLine(378923.0, 4072345.0));
  out.WriteLine(CornerLine(378923.0 + 30.0 * cols, 4072345.0 + 30.0 * rows));

  // Every ID in its 14-character field, ready to copy.
  char fields[256][14];
  for (int id = 0; id < 256; ++id) {
    std::string f;
    io::AppendIntWidth(f, id, 14);
    for (int i = 0; i < 14; ++i) fields[id][i] = f[static_cast<std::size_t>(i)];
  }

  double sum = 0.0, maximum = -1.0, minimum = 3000.0;
  for (int r = 0; r < rows; ++r) {
    for (int c0 = 0; c0 < cols; c0 += 5) {
      char buf[5 * 14 + 2];
      std::size_t n = 0;
      for (int c = c0; c < cols && c < c0 + 5; ++c) {
        const unsigned char id = GetCellValue(r, c);
        for (int i = 0; i < 14; ++i) buf[n++] = fields[id][i];
        const double v = id;
        sum += v;
        if (v > maximum) maximum = v;
        if (v < minimum) minimum = v;
      }
      buf[n++] = '\r';
      buf[n++] = '\n';
      out.Write(buf, n);
    }
  }

  out.WriteLine("EOG");
  out.WriteLine("IFO  2");
  out.WriteLine("PELGA.STA                       XX   4   4  16         1");
  out.WriteLine("MIN               4-1   14-1  10 3 60-1  -1  -1-1                   1-");
  out.WriteLine("MAX               4-1   54-1  10 3 60-1  -1  -1-1                   2-");
  out.WriteLine("MEAN              4-1   94-1  10 3 60-1  -1  -1-1                   3-");
  out.WriteLine("STDV              4-1  134-1  10 3 60-1  -1  -1-1                   4-");

  const long long cells = rows > 0 && cols > 0 ? static_cast<long long>(rows) * cols : 0;
  double mean = 0.0, deviation = 0.0;
  if (cells == 0) {
    minimum = maximum = 0.0;
  } else {
    const double n = static_cast<double>(cells);
    mean = sum / n;
    if (cells > 1) {
      double squares = 0.0;
      for (int r = 0; r < rows; ++r)
        for (int c = 0; c < cols; ++c) {
          const double d = GetCellValue(r, c) - mean;
          squares += d * d;
        }
      deviation = std::sqrt(squares / (n - 1.0));
    }
  }
  s.clear();
  io::AppendExp(s, minimum, 6, 14);
  io::AppendExp(s, maximum, 6, 14);
  io::AppendExp(s, mean, 6, 14);
  io::AppendExp(s, deviation, 6, 14);
  out.WriteLine(s);
  out.WriteLine("EOI");
  out.WriteLine("EOS");
  out.Close();
  return 1;
}

}  // namespace towngrow
