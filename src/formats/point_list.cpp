// Point lists: one line per cell with its column, row and land-use ID.
//
// Export writes every non-blank cell, rows from 0 and columns from 0 within
// a row, as "%4d %4d %4d" and CR LF. Import (".XYA" and ".DAT" alike) reads
// three integers separated by white space from each line, anything after the
// third ignored; a position outside the coverage changes nothing, and the
// lines are applied in file order. The ".XY" list has no layout of its own:
// its import reads nothing and answers 0.
//
// Choices of ours:
// - A line that does not begin with three integers (an empty line, a
//   comment, fewer than three numbers) is skipped.
// - Numbers beyond the int range saturate, so such a position is outside
//   the coverage and an ID keeps the low 8 bits of the saturated value.
// - Lines are never held whole. Lines that lie whole in the reader's block
//   are parsed where they lie; a line longer than the block, or a last line
//   without a line end, is read one character at a time, with the same
//   results.
#include <cstring>
#include <string>

#include "formats/exchange.h"
#include "formats/numbers.h"
#include "formats/scan.h"
#include "formats/text_file.h"

namespace towngrow {
namespace {

// An integer of the current line: white space skipped, optional sign, at
// least one digit.
bool ScanLineInt(io::FileReader& in, int& value) {
  constexpr int kEnd = io::FileReader::kEnd;
  int c = in.LinePeek();
  while (c != kEnd && io::IsSpace(c)) {
    in.LineSkip();
    c = in.LinePeek();
  }
  bool negative = false;
  if (c == '+' || c == '-') {
    negative = c == '-';
    in.LineSkip();
    c = in.LinePeek();
  }
  if (c == kEnd || !io::IsDigit(c)) return false;
  long long magnitude = 0;
  while (c != kEnd && io::IsDigit(c)) {
    if (magnitude <= 2147483648LL) magnitude = magnitude * 10 + (c - '0');
    in.LineSkip();
    c = in.LinePeek();
  }
  const long long v = negative ? -magnitude : magnitude;
  value = v > 2147483647LL ? 2147483647 : v < -2147483648LL ? -2147483647 - 1 : static_cast<int>(v);
  return true;
}

// "%4d" without a detour through a general formatter for the common case.
void AppendField(std::string& out, int v) {
  if (v < 0 || v > 9999) {
    io::AppendIntWidth(out, v, 4);
    return;
  }
  char f[4] = {' ', ' ', ' ', ' '};
  int i = 3;
  do {
    f[i--] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v > 0);
  out.append(f, 4);
}

// An integer of a line that lies whole in memory: the same as ScanLineInt,
// the line feed ending the line.
inline bool ScanIntInPlace(const char*& p, int& value) {
  const char* q = p;
  while (*q != '\n' && io::IsSpace(static_cast<unsigned char>(*q))) ++q;
  bool negative = false;
  if (*q == '+' || *q == '-') negative = *q++ == '-';
  if (!io::IsDigit(static_cast<unsigned char>(*q))) {
    p = q;
    return false;
  }
  long long magnitude = 0;
  for (; io::IsDigit(static_cast<unsigned char>(*q)); ++q)
    if (magnitude <= io::kMagnitudeLimit) magnitude = magnitude * 10 + (*q - '0');
  value = io::Saturated(negative, magnitude);
  p = q;
  return true;
}

// Applies one line: three integers or nothing.
inline void Apply(io::CellSink& sink, bool ok, int x, int y, int value, int bOverlay) {
  if (!ok || (bOverlay && value == 0)) return;
  sink.Store(y, x, value);  // nothing outside the coverage
}

int ImportPoints(CLandUseCoverage& cov, const std::string& name, int bOverlay) {
  io::FileReader in;
  if (!in.Open(name)) return 0;
  io::CellSink sink(cov);
  for (;;) {
    // The whole lines of the block.
    const char* begin = in.Data();
    const char* lines = io::LastLineEnd(begin, begin + in.Available());
    const char* p = begin;
    while (p < lines) {
#ifdef TOWNGROW_SWAR
      {
        // The exporter's line of three 4-character fields, CR LF.
        int x, y, value;
        if (lines - p >= 16 && p[14] == '\r' && p[15] == '\n' && p[4] == ' ' && p[9] == ' ' &&
            io::RightAlignedDigits4(p, x) && io::RightAlignedDigits4(p + 5, y) &&
            io::RightAlignedDigits4(p + 10, value)) {
          Apply(sink, true, x, y, value, bOverlay);
          p += 16;
          continue;
        }
      }
#endif
      int x = 0, y = 0, value = 0;
      const bool ok = ScanIntInPlace(p, x) && ScanIntInPlace(p, y) && ScanIntInPlace(p, value);
      if (p[0] == '\r' && p[1] == '\n')  // the usual line end right after the third number
        p += 2;
      else
        p = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(lines - p))) + 1;
      Apply(sink, ok, x, y, value, bOverlay);
    }
    in.Advance(static_cast<std::size_t>(p - begin));
    if (in.More()) continue;
    if (in.AtEnd()) break;
    // A line longer than the block, or a last line without a line end.
    int x = 0, y = 0, value = 0;
    const bool ok = ScanLineInt(in, x) && ScanLineInt(in, y) && ScanLineInt(in, value);
    in.EndLine();
    Apply(sink, ok, x, y, value, bOverlay);
  }
  return 1;
}

}  // namespace

int CLandUseCoverage::ImportXYAFile(CString strFileName, int bOverlay) {
  return ImportPoints(*this, strFileName, bOverlay);
}

int CLandUseCoverage::ImportDATFile(CString strFileName, int bOverlay) {
  return ImportPoints(*this, strFileName, bOverlay);
}

int CLandUseCoverage::ImportXYFile(CString /*strFileName*/, int /*bOverlay*/) { return 0; }

int CLandUseCoverage::ExportXYAFile(CString strFileName) const {
  io::FileWriter out;
  if (!out.Create(strFileName)) return 0;
  // Every line is 16 bytes, as all fields have at most 4 digits (a coverage
  // has at most 10000 x 10000 cells): the row's field and the ID fields are
  // made once, the column field per line.
  std::string idText;
  for (int id = 0; id < 256; ++id) AppendField(idText, id);
  std::string row;
  for (int y = 0; y < m_nRows; ++y) {
    row.clear();
    const unsigned char* values =
        m_pData != nullptr && m_nCols > 0
            ? m_pData + static_cast<std::size_t>(y) * static_cast<std::size_t>(m_nCols)
            : nullptr;
    if (values == nullptr) {  // every value is 0: nothing to write
      out.Write(row);
      continue;
    }
    std::string yField;
    AppendField(yField, y);
    char line[16] = {' ', ' ', ' ', ' ', ' ', ' ', ' ',  ' ',
                     ' ', ' ', ' ', ' ', ' ', ' ', '\r', '\n'};
    std::memcpy(line + 5, yField.data(), 4);
    for (int x = 0; x < m_nCols; ++x) {
      const unsigned char id = values[x];
      if (id == 0) continue;
      int v = x;  // "%4d" of 0..9999
      for (int i = 3; i >= 0; --i) {
        line[i] = v > 0 || i == 3 ? static_cast<char>('0' + v % 10) : ' ';
        v /= 10;
      }
      std::memcpy(line + 10, idText.data() + 4 * id, 4);
      row.append(line, 16);
    }
    out.Write(row);
  }
  out.Close();
  return 1;
}

}  // namespace towngrow
