// The float grid: a data file of 4-byte little-endian IEEE floats, row by
// row, and a six-line text header beside it (ncols, nrows, xllcorner,
// yllcorner, cellsize, nodata_value). The header's name is the data file's
// name up to its first "." (directories included) followed by ".hdr"; a name
// without a "." pairs with ".hdr" alone.
//
// Export writes exactly six header lines with a fixed georeference and the
// no-data value -32768 (no byte-order line), then every ID as a float.
// Import reads ncols, nrows and the no-data value from lines 1, 2 and 6, then
// the values, truncated toward zero. A value equal to the no-data value always
// stores ID 6, whatever the overlay flag says; with the overlay flag 0 leaves
// its cell unchanged. Bytes are assembled explicitly, so the host's byte
// order plays no part.
//
// Choices of ours:
// - A float with no integer value in the int range (not a number, infinite,
//   or beyond it) stores nothing for its cell.
// - A data file shorter than the header promises: the cells beyond its end
//   stay unchanged (a partial value at the end is ignored).
// - A size or no-data line without a word and an integer reads 0.
// - The values are converted where they lie in the reader's block; no header
//   value decides an allocation.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "formats/exchange.h"
#include "formats/numbers.h"
#include "formats/text_file.h"
#include "towngrow/platform/messages.h"

namespace towngrow {
namespace {

constexpr int kOthersId = 6;

std::string HeaderName(const std::string& dataName) {
  const std::size_t dot = dataName.find('.');
  return (dot == std::string::npos ? std::string() : dataName.substr(0, dot)) + ".hdr";
}

}  // namespace

int CLandUseCoverage::ImportFLTFile(CString strFileName, int bOverlay) {
  int ncols = 0, nrows = 0, noData = 0;
  {
    io::FileReader header;
    if (!header.Open(HeaderName(strFileName))) return 0;
    std::string line;
    header.ReadLine(line, io::kHeaderKeep);
    ncols = io::WordAndInt(line);
    header.ReadLine(line, io::kHeaderKeep);
    nrows = io::WordAndInt(line);
    for (int i = 0; i < 3; ++i) header.ReadLine(line, io::kHeaderKeep);
    header.ReadLine(line, io::kHeaderKeep);
    noData = io::WordAndInt(line);
    if (ncols > m_nCols || nrows > m_nRows) {
      ShowMessage(io::kRangeMessage);
      return 0;
    }
  }
  io::FileReader data;
  if (!data.Open(strFileName)) return 0;
  if (ncols <= 0 || nrows <= 0) return 1;

  const io::CellSink sink(*this);
  for (int r = 0; r < nrows; ++r) {
    io::CellSink::Row row = sink.RowAt(r);
    for (int c = 0; c < ncols;) {
      // Whole values in the block, at most to the end of the row.
      while (data.Available() < 4 && data.More()) {
      }
      const std::size_t whole = data.Available() / 4;
      if (whole == 0) return 1;  // the data end (a partial value is ignored)
      const int n =
          whole < static_cast<std::size_t>(ncols - c) ? static_cast<int>(whole) : ncols - c;
      const unsigned char* b = reinterpret_cast<const unsigned char*>(data.Data());
      for (int i = 0; i < n; ++i, b += 4) {
        const std::uint32_t bits =
            static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
            static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
        float f;
        std::memcpy(&f, &bits, sizeof f);
        const double d = f;
        if (!(d > -2147483649.0 && d < 2147483648.0)) continue;  // no int value
        const int v = static_cast<int>(d);                       // toward zero
        if (v == noData)
          row.Store(c + i, kOthersId);
        else if (!(bOverlay && v == 0))
          row.Store(c + i, v);
      }
      data.Advance(static_cast<std::size_t>(n) * 4);
      c += n;
    }
  }
  return 1;
}

int CLandUseCoverage::ExportBINFile(CString strFileName) const {
  {
    io::FileWriter header;
    if (!header.Create(HeaderName(strFileName))) return 0;
    std::string s = "ncols  ";
    io::AppendInt(s, m_nCols);
    header.WriteLine(s);
    s = "nrows  ";
    io::AppendInt(s, m_nRows);
    header.WriteLine(s);
    header.WriteLine("xllcorner 378923");
    header.WriteLine("yllcorner 4072345");
    header.WriteLine("cellsize 30");
    header.WriteLine("nodata_value -32768");
    header.Close();
  }
  io::FileWriter data;
  if (!data.Create(strFileName)) return 0;

  // Every ID as the four bytes of its float, least significant first.
  unsigned char bytes[256][4];
  for (int id = 0; id < 256; ++id) {
    const float f = static_cast<float>(id);
    std::uint32_t bits;
    std::memcpy(&bits, &f, sizeof bits);
    for (int i = 0; i < 4; ++i) bytes[id][i] = static_cast<unsigned char>(bits >> (8 * i));
  }
  std::vector<char> row(m_nCols > 0 ? static_cast<std::size_t>(m_nCols) * 4 : 0);
  for (int r = 0; r < m_nRows; ++r) {
    for (int c = 0; c < m_nCols; ++c) {
      const unsigned char id = GetCellValue(r, c);
      std::memcpy(row.data() + static_cast<std::size_t>(c) * 4, bytes[id], 4);
    }
    data.Write(row.data(), row.size());
  }
  data.Close();
  return 1;
}

}  // namespace towngrow
