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
// - Lines are parsed as they are read and never held whole.
#include <string>

#include "formats/exchange.h"
#include "formats/numbers.h"
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

int ImportPoints(CLandUseCoverage& cov, const std::string& name, int bOverlay) {
  io::FileReader in;
  if (!in.Open(name)) return 0;
  while (!in.AtEnd()) {
    int x = 0, y = 0, value = 0;
    const bool ok = ScanLineInt(in, x) && ScanLineInt(in, y) && ScanLineInt(in, value);
    in.EndLine();
    if (!ok || (bOverlay && value == 0)) continue;
    io::StoreValue(cov, y, x, value);  // nothing outside the coverage
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
  std::string row;
  for (int y = 0; y < m_nRows; ++y) {
    row.clear();
    for (int x = 0; x < m_nCols; ++x) {
      const unsigned char id = GetCellValue(y, x);
      if (id == 0) continue;
      AppendField(row, x);
      row.push_back(' ');
      AppendField(row, y);
      row.push_back(' ');
      AppendField(row, id);
      row += "\r\n";
    }
    out.Write(row);
  }
  out.Close();
  return 1;
}

}  // namespace towngrow
