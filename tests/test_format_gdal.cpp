// Our files as a GIS sees them, through the GDAL command-line tools: the
// ASCII grid and the float grid open with the right size, georeference,
// no-data value and cell values; the float grid's header has no byte-order
// line, so GDAL reads its data big-endian until one is appended; and ASCII
// grids that GDAL writes import with the right IDs. Skipped when the GDAL
// tools are not installed.
#include <cstdlib>
#include <sstream>

#include "test_format_support.h"

using namespace towngrow;

namespace {

bool HaveGdal() {
  bool ok = false;
  fmt_test::RunCommand(
      "gdalinfo --version >/dev/null 2>&1 && gdal_translate --version >/dev/null 2>&1", &ok);
  return ok;
}

#define REQUIRE_GDAL() \
  if (!HaveGdal()) GTEST_SKIP() << "GDAL command-line tools not installed"

std::string GdalInfo(const std::string& file) {
  bool ok = false;
  const std::string out = fmt_test::RunCommand("gdalinfo '" + file + "' 2>&1", &ok);
  EXPECT_TRUE(ok) << out;
  return out;
}

struct XyzCell {
  double x, y, z;
};

// Every cell as GDAL reads it: centre x, centre y and value, row by row.
std::vector<XyzCell> GdalCells(const std::string& file, const std::string& scratch) {
  bool ok = false;
  const std::string out =
      fmt_test::RunCommand("gdal_translate -q -of XYZ '" + file + "' '" + scratch + "' 2>&1", &ok);
  EXPECT_TRUE(ok) << out;
  std::vector<XyzCell> cells;
  std::istringstream in(fmt_test::ReadAll(scratch));
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty()) continue;
    const char* p = line.c_str();
    char* end = nullptr;
    XyzCell c;
    c.x = std::strtod(p, &end);
    c.y = std::strtod(end, &end);
    c.z = std::strtod(end, &end);
    cells.push_back(c);
  }
  return cells;
}

// Checks that GDAL's cells are the coverage's IDs at the right positions.
void ExpectCells(const std::vector<XyzCell>& cells, const CLandUseCoverage& cov, double left,
                 double top, double size) {
  ASSERT_EQ(cells.size(), static_cast<std::size_t>(cov.m_nRows) * cov.m_nCols);
  for (std::size_t k = 0; k < cells.size(); ++k) {
    const int r = static_cast<int>(k) / cov.m_nCols;
    const int c = static_cast<int>(k) % cov.m_nCols;
    EXPECT_DOUBLE_EQ(cells[k].x, left + (c + 0.5) * size) << k;
    EXPECT_DOUBLE_EQ(cells[k].y, top - (r + 0.5) * size) << k;
    EXPECT_EQ(cells[k].z, cov.GetCellValue(r, c)) << "row " << r << " column " << c;
  }
}

}  // namespace

TEST(GdalCheck, AsciiAndFloatGridsOpenWithTheirGeoreferenceAndValues) {
  REQUIRE_GDAL();
  struct Case {
    const char* file;
    double xll, yll, size;
    int noData;
    const char* origin;  // upper left: yll plus rows times the cell size
    double left, top;
  };
  const Case cases[] = {
      {"g.asc", 3789.0, 4072000.0, 12.5, -9999,
       "Origin = (3789.000000000000000,4072087.500000000000000)", 3789.0, 4072087.5},
      // exponent form, four digits: 3.789e+005 and 4.072e+006
      {"g.asc", 378923.0, 4072345.0, 30.0, -1,
       "Origin = (378900.000000000000000,4072210.000000000000000)", 378900.0, 4072210.0},
      // the float grid's header holds fixed fields
      {"g.flt", 1.0, 2.0, 30.0, -32768, "Origin = (378923.000000000000000,4072555.000000000000000)",
       378923.0, 4072555.0},
  };
  for (const Case& k : cases) {
    fmt_test::ScratchDir dir;
    CLandUseCoverage cov;
    ASSERT_EQ(cov.InitCoverage(7, 9, 0), 1);
    fmt_test::FillRandom(cov, 5);
    cov.SetCellValue(0, 0, 3);
    cov.m_dXllCorner = k.xll;
    cov.m_dYllCorner = k.yll;
    cov.m_dCellSize = k.size;
    cov.m_nNoDataValue = k.noData;
    const bool flt = std::string(k.file) == "g.flt";
    ASSERT_EQ(flt ? cov.ExportBINFile(dir / k.file) : cov.ExportASCFile(dir / k.file), 1);
    const std::string info = GdalInfo(dir / k.file);
    EXPECT_NE(info.find("Size is 9, 7"), std::string::npos) << info;
    EXPECT_NE(info.find(k.origin), std::string::npos) << info;
    EXPECT_NE(info.find("Pixel Size = (" + std::to_string(k.size) + "000000000,-" +
                        std::to_string(k.size) + "000000000)"),
              std::string::npos)
        << info;
    EXPECT_NE(info.find("NoData Value=" + std::to_string(k.noData)), std::string::npos) << info;
    if (flt) {
      // Without a byte-order line GDAL takes the bytes as big-endian: ID 3
      // (00 00 40 40) comes out as a tiny number. With the line it reads the IDs.
      const std::vector<XyzCell> misread = GdalCells(dir / k.file, dir / "m.xyz");
      ASSERT_EQ(misread.size(), 63u);
      EXPECT_LT(misread[0].z, 1e-30);
      fmt_test::WriteAll(dir / "g.hdr",
                         fmt_test::ReadAll(dir / "g.hdr") + "byteorder LSBFIRST\r\n");
    }
    ExpectCells(GdalCells(dir / k.file, dir / "g.xyz"), cov, k.left, k.top, k.size);
  }
}

TEST(GdalCheck, AsciiGridsWrittenByGdalImport) {
  REQUIRE_GDAL();
  fmt_test::ScratchDir dir;
  CLandUseCoverage cov;
  ASSERT_EQ(cov.InitCoverage(8, 11, 0), 1);
  fmt_test::FillRandom(cov, 12);
  cov.m_dXllCorner = 1000.0;
  cov.m_dYllCorner = 2000.0;
  cov.m_dCellSize = 25.0;
  ASSERT_EQ(cov.ExportASCFile(dir / "ours.asc"), 1);
  fmt_test::MessageRecorder messages;
  for (const char* type : {"", "-ot Float32", "-ot Int16"}) {
    bool ok = false;
    const std::string out =
        fmt_test::RunCommand(std::string("gdal_translate -q -of AAIGrid ") + type + " '" +
                                 (dir / "ours.asc") + "' '" + (dir / "theirs.asc") + "' 2>&1",
                             &ok);
    ASSERT_TRUE(ok) << out;
    CLandUseCoverage back;
    ASSERT_EQ(back.InitCoverage(8, 11, 9), 1);
    back.m_nNoDataValue = 0;
    back.SetGridValue(77);
    ASSERT_EQ(back.ImportASCFile(dir / "theirs.asc", 0), 1) << type;
    EXPECT_EQ(testkit::Values(back), testkit::Values(cov)) << type;
    EXPECT_EQ(testkit::Ages(back), std::vector<short>(88, 0)) << type;
    EXPECT_DOUBLE_EQ(back.m_dXllCorner, 1000.0) << type;
    EXPECT_DOUBLE_EQ(back.m_dYllCorner, 2000.0) << type;
    EXPECT_DOUBLE_EQ(back.m_dCellSize, 25.0) << type;
    EXPECT_EQ(back.m_nNoDataValue, -9999) << type;
  }
  EXPECT_TRUE(messages.texts.empty());
}
