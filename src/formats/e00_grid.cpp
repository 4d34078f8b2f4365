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
// - Row lines are never held whole, so a line of any length costs no memory.
//   A row whose lines lie whole in the reader's block is parsed where it
//   lies, its line ends skipped as if the lines were joined; a row longer
//   than the block, or one that the end of the file cuts short, is joined
//   one character at a time, with the same results.
#include <cmath>
#include <cstring>
#include <string>

#include "formats/exchange.h"
#include "formats/numbers.h"
#include "formats/scan.h"
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

struct RowRule {
  int cols;
  long long lines;  // lines per row, at least 1
  int overlay;
};

// One row joined one character at a time.
void ReadRowByCharacter(io::FileReader& in, io::CellSink::Row row, const RowRule& rule) {
  JoinedRow joined(in, rule.lines);
  bool more = true;
  for (int c = 0; c < rule.cols; ++c) {
    int value = 0;
    if (more) more = joined.NextValue(value);
    if (!more) value = 0;
    if (rule.overlay && value == 0) continue;
    row.Store(c, value);
  }
  joined.Finish();
}

// A row as the exporter writes it, where it lies ([p, end) ends with a line
// feed): each of its lines holds five values (the last line the rest), each
// in a field of 14 characters of blanks and then one to eight digits, and
// ends right after them; every line after the first starts with a blank.
// Then each field's digits are exactly one value of the joined text. Answers
// the start of the next row, or null when the row is not of this form (or
// does not lie whole before end). A line's values are stored only once the
// line and the first byte of the next one have been checked, so what a
// rejected row stored is what any reading of the row stores there.
const char* ReadFixedRow(const char* p, const char* end, io::CellSink::Row row,
                         const RowRule& rule) {
#ifdef TOWNGROW_SWAR
  constexpr std::ptrdiff_t kField = 14;
  int c = 0;
  for (long long j = 0; j < rule.lines; ++j) {
    const int m = j + 1 < rule.lines ? 5 : rule.cols - c;
    const std::ptrdiff_t length = kField * m;
    if (end - p <= length) return nullptr;
    int values[5];
    for (int i = 0; i < m; ++i) {
      const char* f = p + kField * i;
      // Bytes 0..5 blank, bytes 6..13 right-aligned digits.
      std::uint64_t head;
      std::memcpy(&head, f, sizeof head);
      if (((head ^ 0x2020202020202020ULL) & 0x0000FFFFFFFFFFFFULL) != 0) return nullptr;
      if (!io::RightAlignedDigits8(f + 6, values[i])) return nullptr;
    }
    const char* next = p + length;
    if (*next == '\n')
      ++next;
    else if (*next == '\r' && next[1] == '\n')  // next[1]: end[-1] is a line feed
      next += 2;
    else
      return nullptr;
    if (j + 1 < rule.lines && (next == end || *next != ' ')) return nullptr;
    for (int i = 0; i < m; ++i)
      if (!(rule.overlay && values[i] == 0)) row.Store(c + i, values[i]);
    c += m;
    p = next;
  }
  return p;
#else
  (void)p;
  (void)end;
  (void)row;
  (void)rule;
  return nullptr;
#endif
}

// One row from its lines where they lie: [p, end) ends with a line feed.
// Answers the start of the row's next line, or null when the row's lines
// do not all lie before end (the row may then be read again: what it
// stored it stores again).
//
// The row's text is its lines joined with nothing between them, then one
// blank. Line ends are skipped where they fall: inside white space they are
// white space themselves, inside a value they are passed over, and the
// row's last line end is the end of its text.
const char* ReadRowInPlace(const char* p, const char* end, io::CellSink::Row row,
                           const RowRule& rule) {
  long long ends = 0;  // line ends passed
  int c = 0;
  for (; c < rule.cols; ++c) {
    // White space, line ends included.
    for (;;) {
      p = io::SkipBlanks(p, end);
      if (p == end) return nullptr;
      const unsigned char ch = static_cast<unsigned char>(*p);
      if (!io::IsSpace(ch)) break;
      ++p;
      if (ch == '\n' && ++ends == rule.lines) goto text_used_up;
    }
    {
      // The value: up to the next blank of the joined text.
      bool negative = false;
      if (*p == '+' || *p == '-') negative = *p++ == '-';
      long long magnitude = 0;
      bool last = false;  // the value ended with the row's text
      for (;;) {          // digits, passing over line ends
        if (p == end) return nullptr;
        const char ch = *p;
        if (io::IsDigit(static_cast<unsigned char>(ch))) {
          if (magnitude <= io::kMagnitudeLimit) magnitude = magnitude * 10 + (ch - '0');
          ++p;
        } else if (ch == '\n' || (ch == '\r' && p[1] == '\n')) {  // p[1]: end[-1] is a line feed
          p += ch == '\n' ? 1 : 2;
          if (++ends == rule.lines) {
            last = true;
            break;
          }
        } else {
          break;
        }
      }
      if (!last && *p != ' ') {  // the rest of the value's text
        for (;;) {
          if (p == end) return nullptr;
          const char ch = *p;
          if (ch == ' ') break;
          ++p;
          if (ch == '\n' && ++ends == rule.lines) {
            last = true;
            break;
          }
        }
      }
      const int value = io::Saturated(negative, magnitude);
      if (!(rule.overlay && value == 0)) row.Store(c, value);
      if (last) {
        ++c;
        goto text_used_up;
      }
      ++p;  // the blank
    }
  }
  // Every column read: the rest of the row's lines is skipped.
  while (ends < rule.lines) {
    const void* nl = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
    if (nl == nullptr) return nullptr;
    p = static_cast<const char*>(nl) + 1;
    ++ends;
  }
  return p;

text_used_up:
  // The columns after the text read 0.
  if (!rule.overlay)
    for (; c < rule.cols; ++c) row.Store(c, 0);
  return p;
}

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
  if (linesPerRow == 0) return 1;  // nothing to read in any row
  const io::CellSink sink(*this);
  const RowRule rule{ncols, linesPerRow, bOverlay};
  int r = 0;
  while (r < nrows) {
    // The rows whose lines lie whole in the block.
    const char* begin = in.Data();
    const char* lines = io::LastLineEnd(begin, begin + in.Available());
    const char* p = begin;
    while (r < nrows && p < lines) {
      const io::CellSink::Row row = sink.RowAt(r);
      const char* next = ReadFixedRow(p, lines, row, rule);
      if (next == nullptr) next = ReadRowInPlace(p, lines, row, rule);
      if (next == nullptr) break;
      p = next;
      ++r;
    }
    in.Advance(static_cast<std::size_t>(p - begin));
    if (r == nrows || in.More()) continue;
    // A row longer than the block, or the file ends inside it.
    ReadRowByCharacter(in, sink.RowAt(r), rule);
    ++r;
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
