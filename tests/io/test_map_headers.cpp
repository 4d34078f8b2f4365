// What a map file's header tells before it is read, for every kind the program reads: kind, rows
// and columns, cell size, corner, no-data value and points, or the one line refusing it.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include <towngrow/calibrate.h>

#include "io/error.h"
#include "io/grid_header.h"
#include "support/files.h"
#include "support/layers.h"

using namespace towngrow;
using namespace towngrow::io;
using testkit::WriteAll;

namespace {

// "kind rows x cols [cell C at X,Y] [nodata N] [points P]", the kind "gdal/<driver>" for
// rasters GDAL reads; or the refusal with the scratch folder taken out.
std::string Probe(const testkit::ScratchDir& dir, const std::string& name,
                  const MapReadOptions& maps = {}) {
  GridFileInfo i;
  std::string text = testkit::Thrown<Error>([&] { i = ReadGridFileInfo(dir / name, maps); });
  for (std::size_t at; (at = text.find(dir.Path() + "/")) != std::string::npos;)
    text.erase(at, dir.Path().size() + 1);
  if (!text.empty()) return text;
  std::string s = (i.gdal ? "gdal/" + i.raster.driver : FormatWord(i.format)) + " " +
                  std::to_string(i.rows) + "x" + std::to_string(i.cols);
  if (i.hasGeoref)
    s += " cell " + ValueText(i.cellSize) + " at " + ValueText(i.xll) + "," + ValueText(i.yll);
  if (i.hasNoData) s += " nodata " + std::to_string(i.noData);
  if (i.points > 0) s += " points " + std::to_string(i.points);
  return s;
}

}  // namespace

TEST(MapHeaders, EachKindTellsItsSizeCellAndCorner) {
  const std::string hdr = "ncols 3\nnrows 2\nxllcorner 10\nyllcorner 20\ncellsize 5\n";
  // Each row: its files (name, bytes), the file probed and what it tells.
  const std::pair<std::vector<std::pair<std::string, std::string>>, const char*> rows[] = {
      {{{"g.asc",
         "ncols 7\nnrows 5\nxllcorner 100\nyllcorner 200\ncellsize 30\nNODATA_value "
         "-9999\n1 2 3\n"}},
       "asc 5x7 cell 30 at 100,200 nodata -9999"},
      {{{"c.asc",
         "NCOLS 6\r\nNROWS 4\r\nXLLCENTER 115\r\nyllcenter 215.5\r\ncellsize 30\r\n1\r\n"}},
       "asc 4x6 cell 30 at 100,200.5"},
      {{{"bare.asc", "ncols 5\nnrows 8\n"}}, "asc 8x5"},
      // Points in row 0 and in column 0 count: the list spans them.
      {{{"p.xya", "   7    0    3\r\n   0    0    1\r\n"}}, "xya 1x8 points 2"},
      {{{"q.xya", "0 5 1\n-3 9 2\n4 -1 2\nx y z\n1 2\n"}}, "xya 6x1 points 3"},
      {{{"p.dat", "2 3 4\n"}}, "dat 4x3 points 1"},
      {{{"g.e00",
         "EXP  0 x\nGRD  2\n         9         6 1-2.1474836470000e+09\n"
         " 2.50000000000000E+01 2.50000000000000E+01\n"
         " 1.00000000000000E+03 2.00000000000000E+03\n"}},
       "e00 6x9 cell 25 at 1000,2000"},
      {{{"f.flt", std::string(24, '\0')}, {"f.hdr", hdr + "NODATA_value -1\nbyteorder LSBFIRST\n"}},
       "flt 2x3 cell 5 at 10,20 nodata -1"},
      {{{"a.b.flt", std::string(24, '\0')}, {"a.hdr", hdr}}, "flt 2x3 cell 5 at 10,20"},
      {{{"s.flt", std::string(23, '\0')}, {"s.hdr", hdr}},
       "s.flt: holds 23 bytes but its header asks for 24 (2 x 3 floats)"},
      {{{"h.flt", "abcd"}, {"h.hdr", "hello\n"}}, "h.hdr: not a float grid header"},
      {{{"lone.flt", "abcd"}}, "lone.flt: its header file lone.hdr cannot be opened"},
      {{{"n.e00", "EXP  0\nGRD  2\nabc\n"}}, "n.e00: bad E00 grid description (line 3)"},
      {{{"l.e00", "EXP  0\nGRD  2\n" + std::string(73, ' ') + "5    67\n"}}, "e00 6x5"},  // 79 read
      {{{"w.e00", "EXP  0\nGRD  2\n         5     10001 1\n"}},
       "w.e00: the grid has 10001 rows and 5 columns, more than the largest grid of 10000 x 10000"},
      {{{"z.asc", "ncols 3\nnrows 0\n"}}, "z.asc: bad grid header: 3 columns and 0 rows"},
      {{{"m.xya", "3 10000 1\n"}},
       "m.xya: names the cell at column 3, row 10000, beyond the largest grid of 10000 x 10000"},
      {{{"c.xya", "1 1 1\n10000 0 1\n"}}, "c.xya: names the cell at column 10000, row 0"},
      {{{"m.xy", "1 1 1\n"}}, "m.xy: .xy point lists have no defined layout"},
      {{{"d.txt", "hello\n"}}, "d.txt: unknown kind of file"}};
  for (const auto& [files, told] : rows) {
    testkit::ScratchDir dir;
    for (const auto& [name, bytes] : files) WriteAll(dir / name, bytes);
    const std::string tells = Probe(dir, files[0].first);
    if (std::string(told).find(':') == std::string::npos)
      EXPECT_EQ(tells, told) << files[0].first;
    else
      EXPECT_EQ(tells.rfind(told, 0), 0u) << tells;
  }
  testkit::ScratchDir dir;
  WriteAll(dir / "c.asc", "ncols 6\nnrows 4\nxllcenter 115\nyllcenter 215.5\ncellsize 30\n");
  EXPECT_EQ(Probe(dir, "c.asc", {0, true}), "asc 4x6 cell 30 at 115,215.5");  // lenient: as given
  const double gt[6] = {500, 10, 0, 900, 0, -10}, noData = 255;
  testkit::MakeRaster(dir / "t.tif", 3, 4, std::vector<int>(12, 1), gt, 32633, GDT_Byte, &noData);
  EXPECT_EQ(Probe(dir, "t.tif"), "gdal/GTiff 3x4 cell 10 at 500,870 nodata 255");
  EXPECT_EQ(FloatHeaderName("x.y/a.b.flt"), "x.y/a.hdr");
}
