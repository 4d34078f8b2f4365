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
// - Row lines are parsed as they are read and never held whole; header lines
//   are looked at only in their first 4096 characters.
#include <cstring>
#include <string>

#include "formats/exchange.h"
#include "formats/numbers.h"
#include "formats/text_file.h"
#include "towngrow/platform/messages.h"

namespace towngrow {

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
  const int noData = m_nNoDataValue;

  constexpr int kEnd = io::FileReader::kEnd;
  for (int r = 0; r < nrows; ++r) {
    for (int c = 0; c < ncols; ++c) {
      int ch = in.LineGet();
      while (ch != kEnd && io::IsSpace(ch)) ch = in.LineGet();
      if (ch == kEnd) break;  // nothing left: the rest of the row stays
      io::IntAccumulator acc;
      while (ch != ' ' && ch != kEnd) {
        acc.Put(ch);
        ch = in.LineGet();
      }
      const int value = acc.Value();
      if (!(bOverlay && (value == 0 || value == noData))) io::StoreValue(*this, r, c, value);
      if (ch == kEnd) break;  // no blank after it: the last value of the row
    }
    in.EndLine();
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
