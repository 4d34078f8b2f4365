// The ASCII grid: six header lines (ncols, nrows, xllcorner, yllcorner,
// cellsize and the optional nodata_value) and one line of blank-separated
// integers per row. The only format in which the coverage's own cell size,
// lower-left corner and no-data value travel.
//
// Export writes the corner and the cell size with four significant digits
// (30., 3.789e+005) and every ID followed by one blank.
//
// Import takes the first two lines by position (a word and an integer), the
// next three as numbers after their first blank, and the no-data line only
// when the next line starts with n or N. A row value is the text up to the
// next blank, read as an integer (a decimal part ignored); values after the
// first ncols of a line are ignored, and a line with fewer values leaves the
// rest of its row unchanged. With the overlay flag, 0 and the no-data value
// in force leave their cells unchanged.
//
// Choices of ours:
// - A first or second header line without a word and an integer gives 0 for
//   that size, so the grid reads nothing in that direction. The size check
//   comes before any field changes.
// - A row value that is not an integer reads as its longest integer prefix,
//   0 when it has none (so "abc" stores 0, or nothing with the overlay flag);
//   values beyond the int range saturate before their low 8 bits are taken.
// - Row lines are never held whole; header lines are looked at only in their
//   first 4096 characters. Rows that lie whole in the reader's block are
//   parsed where they lie; a row longer than the block, or a last row
//   without a line end, is read one character at a time, with the same
//   results.
#include <cstdint>
#include <cstring>
#include <string>

#include "formats/exchange.h"
#include "formats/numbers.h"
#include "formats/scan.h"
#include "formats/text_file.h"
#include "towngrow/platform/messages.h"

namespace towngrow {
namespace {

struct RowRule {
  int cols;
  int overlay;
  int noData;
  bool Keeps(int value) const { return overlay && (value == 0 || value == noData); }
};

// One row read one character at a time through the in-line cursor, then
// its line end.
void ReadRowByCharacter(io::FileReader& in, io::CellSink::Row row, const RowRule& rule) {
  constexpr int kEnd = io::FileReader::kEnd;
  for (int c = 0; c < rule.cols; ++c) {
    int ch = in.LineGet();
    while (ch != kEnd && io::IsSpace(ch)) ch = in.LineGet();
    if (ch == kEnd) break;  // nothing left: the rest of the row stays
    io::IntAccumulator acc;
    while (ch != ' ' && ch != kEnd) {
      acc.Put(ch);
      ch = in.LineGet();
    }
    const int value = acc.Value();
    if (!rule.Keeps(value)) row.Store(c, value);
    if (ch == kEnd) break;  // no blank after it: the last value of the row
  }
  in.EndLine();
}

// The same for a row whose line lies whole in memory from p on, its line
// feed before end; answers the start of the next line.
const char* ReadRowInPlace(const char* p, const char* end, io::CellSink::Row row,
                           const RowRule& rule) {
  int c = 0;
  while (c < rule.cols) {
    // White space up to the line end; a carriage return before the line
    // feed is white space too, so the line feed alone marks the end.
    while (*p != '\n' && io::IsSpace(static_cast<unsigned char>(*p))) ++p;
    if (*p == '\n') break;
#ifdef TOWNGROW_SWAR
    // Four one-digit values each with its blank, as the exporter writes IDs
    // below 10.
    if (rule.cols - c >= 4 && end - p >= 8) {
      std::uint64_t w;
      std::memcpy(&w, p, sizeof w);
      if ((w & 0xFF00FF00FF00FF00ULL) == 0x2000200020002000ULL &&
          (io::NonDigitBytes(w) & 0x00FF00FF00FF00FFULL) == 0) {
        for (int k = 0; k < 4; ++k) {
          const int value = static_cast<int>((w >> (16 * k)) & 0xFF) - '0';
          if (!rule.Keeps(value)) row.Store(c + k, value);
        }
        c += 4;
        p += 8;
        continue;
      }
    }
#endif
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    long long magnitude = 0;
    for (; io::IsDigit(static_cast<unsigned char>(*p)); ++p)
      if (magnitude <= io::kMagnitudeLimit) magnitude = magnitude * 10 + (*p - '0');
    while (*p != ' ' && *p != '\n') ++p;  // the rest of the value's text
    const int value = io::Saturated(negative, magnitude);
    if (!rule.Keeps(value)) row.Store(c, value);
    if (*p == '\n') break;  // no blank after it: the last value of the row
    ++p;
    ++c;
  }
  if (*p == '\n') return p + 1;
  return static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p))) + 1;
}

}  // namespace

int CLandUseCoverage::ImportASCFile(CString strFileName, int bOverlay) {
  io::FileReader in;
  if (!in.Open(strFileName)) return 0;
  std::string line;

  in.ReadLine(line, io::kHeaderKeep);
  const int ncols = io::WordAndInt(line);
  in.ReadLine(line, io::kHeaderKeep);
  const int nrows = io::WordAndInt(line);
  if (ncols > m_nCols || nrows > m_nRows) {
    ShowMessage(io::kRangeMessage);
    return 0;
  }

  in.ReadLine(line, io::kHeaderKeep);
  m_dXllCorner = io::ParseDoublePrefix(io::FromFirstBlank(line));
  in.ReadLine(line, io::kHeaderKeep);
  m_dYllCorner = io::ParseDoublePrefix(io::FromFirstBlank(line));
  in.ReadLine(line, io::kHeaderKeep);
  m_dCellSize = io::ParseDoublePrefix(io::FromFirstBlank(line));

  const int next = in.Peek();
  if (next == 'n' || next == 'N') {
    in.ReadLine(line, io::kHeaderKeep);
    m_nNoDataValue = io::ParseIntPrefix(io::FromFirstBlank(line));
  }
  const RowRule rule{ncols, bOverlay, m_nNoDataValue};
  const io::CellSink sink(*this);

  int r = 0;
  while (r < nrows) {
    // The whole lines of the block, one row each.
    const char* begin = in.Data();
    const char* lines = io::LastLineEnd(begin, begin + in.Available());
    const char* p = begin;
    for (; r < nrows && p < lines; ++r) p = ReadRowInPlace(p, lines, sink.RowAt(r), rule);
    in.Advance(static_cast<std::size_t>(p - begin));
    if (r == nrows || in.More()) continue;
    // A row longer than the block, or the file ends inside it (or before
    // it: then nothing is stored).
    ReadRowByCharacter(in, sink.RowAt(r), rule);
    ++r;
  }
  return 1;
}

int CLandUseCoverage::ExportASCFile(CString strFileName) const {
  io::FileWriter out;
  if (!out.Create(strFileName)) return 0;
  std::string s = "ncols  ";
  io::AppendInt(s, m_nCols);
  out.WriteLine(s);
  s = "nrows  ";
  io::AppendInt(s, m_nRows);
  out.WriteLine(s);
  s = "xllcorner ";
  io::AppendGeneral4(s, m_dXllCorner);
  out.WriteLine(s);
  s = "yllcorner ";
  io::AppendGeneral4(s, m_dYllCorner);
  out.WriteLine(s);
  s = "cellsize ";
  io::AppendGeneral4(s, m_dCellSize);
  out.WriteLine(s);
  s = "nodata_value ";
  io::AppendInt(s, m_nNoDataValue);
  out.WriteLine(s);

  // Every ID with its blank, ready to copy.
  char text[256][4];
  unsigned char length[256];
  for (int id = 0; id < 256; ++id) {
    std::string f;
    io::AppendInt(f, id);
    f.push_back(' ');
    length[id] = static_cast<unsigned char>(f.size());
    for (std::size_t i = 0; i < f.size(); ++i) text[id][i] = f[i];
  }
  // A row is built in place: each cell copies the four bytes of its text
  // and moves on by the text's length (at most 4, so the row buffer of 4
  // bytes per cell always has room). Without a cell buffer every value is 0.
  const std::size_t cols = m_nCols > 0 ? static_cast<std::size_t>(m_nCols) : 0;
  std::string row(cols * 4 + 2, ' ');
  for (int r = 0; r < m_nRows; ++r) {
    const unsigned char* values =
        m_pData != nullptr ? m_pData + static_cast<std::size_t>(r) * cols : nullptr;
    char* p = &row[0];
    for (std::size_t c = 0; c < cols; ++c) {
      const unsigned char id = values != nullptr ? values[c] : 0;
      std::memcpy(p, text[id], 4);
      p += length[id];
    }
    *p++ = '\r';
    *p++ = '\n';
    out.Write(row.data(), static_cast<std::size_t>(p - row.data()));
  }
  out.Close();
  return 1;
}

}  // namespace towngrow
