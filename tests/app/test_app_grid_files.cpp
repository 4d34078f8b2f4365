// Reading files into coverages sized to fit them, and writing coverages so
// that only finished files appear.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include <towngrow/towngrow.h>

#include "commands/app_error.h"
#include "commands/message_log.h"
#include "maps/grid_files.h"
#include "program_support.h"

namespace fs = std::filesystem;
using towngrow::CLandUseCoverage;
using towngrow::CLandUseSet;
using namespace towngrow::app;
using program_test::Listing;
using program_test::Slurp;

namespace {

class GridFilesTest : public ::testing::Test {
protected:
  void SetUp() override {
    dir_ = fs::path(::testing::TempDir()) /
           ("grid-files-" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string P(const std::string& name) const { return (dir_ / name).string(); }

  // A 7 x 9 coverage with a pattern of IDs; the cell (6, 8) is not blank.
  void MakeSample(CLandUseCoverage& cov) {
    ASSERT_EQ(cov.InitCoverage(7, 9, 0), 1);
    cov.m_pLandUseSet = &set_;
    for (int r = 0; r < 7; ++r)
      for (int c = 0; c < 9; ++c)
        cov.SetCellValue(r, c, static_cast<unsigned char>((r * 9 + c) % 7));
    cov.SetCellValue(6, 8, 5);
  }

  std::string Refusal(const std::string& path) {
    CLandUseCoverage cov;
    try {
      LoadFitted(path, cov, set_, log_);
    } catch (const AppError& e) {
      return e.what();
    }
    return "(accepted)";
  }

  fs::path dir_;
  CLandUseSet set_;
  MessageLog log_;
};

}  // namespace

TEST_F(GridFilesTest, EveryFormatIsReadIntoACoverageOfItsSize) {
  CLandUseCoverage sample;
  MakeSample(sample);
  ASSERT_EQ(sample.ExportASCFile(P("g.asc")), 1);
  ASSERT_EQ(sample.ExportE00File(P("g.e00")), 1);
  ASSERT_EQ(sample.ExportBINFile(P("g.flt")), 1);
  ASSERT_EQ(sample.ExportXYAFile(P("g.xya")), 1);
  ASSERT_EQ(sample.ExportXYAFile(P("g.dat")), 1);
  for (const char* name : {"g.asc", "g.e00", "g.flt", "g.xya", "g.dat"}) {
    SCOPED_TRACE(name);
    const GridFileInfo info = ReadGridFileInfo(P(name));
    EXPECT_EQ(info.rows, 7);
    EXPECT_EQ(info.cols, 9);
    CLandUseCoverage cov;
    LoadFitted(P(name), cov, set_, log_);
    ASSERT_EQ(cov.m_nRows, 7);
    ASSERT_EQ(cov.m_nCols, 9);
    EXPECT_EQ(cov.m_pLandUseSet, &set_);
    for (int r = 0; r < 7; ++r)
      for (int c = 0; c < 9; ++c)
        ASSERT_EQ(cov.GetCellValue(r, c), sample.GetCellValue(r, c)) << r << "," << c;
  }
  EXPECT_EQ(log_.Total(), 0);
}

TEST_F(GridFilesTest, HeadersGiveTheGeoreference) {
  std::ofstream(P("geo.asc")) << "ncols 5\r\nnrows 6\r\nxllcorner 1000.5\r\nyllcorner 2000\r\n"
                                 "cellsize 12.5\r\nNODATA_value -1\r\n";
  GridFileInfo asc = ReadGridFileInfo(P("geo.asc"));
  EXPECT_EQ(asc.rows, 6);
  EXPECT_EQ(asc.cols, 5);
  ASSERT_TRUE(asc.hasGeoref);
  EXPECT_DOUBLE_EQ(asc.xll, 1000.5);
  EXPECT_DOUBLE_EQ(asc.yll, 2000.0);
  EXPECT_DOUBLE_EQ(asc.cellSize, 12.5);
  ASSERT_TRUE(asc.hasNoData);
  EXPECT_EQ(asc.noData, -1);

  // The float and E00 writers use their fixed georeference; a coverage
  // read from them takes it over (the library import leaves it alone).
  CLandUseCoverage sample;
  MakeSample(sample);
  ASSERT_EQ(sample.ExportBINFile(P("f.flt")), 1);
  ASSERT_EQ(sample.ExportE00File(P("e.e00")), 1);
  for (const char* name : {"f.flt", "e.e00"}) {
    SCOPED_TRACE(name);
    CLandUseCoverage cov;
    const GridFileInfo info = LoadFitted(P(name), cov, set_, log_);
    EXPECT_TRUE(info.hasGeoref);
    EXPECT_DOUBLE_EQ(cov.m_dXllCorner, 378923.0);
    EXPECT_DOUBLE_EQ(cov.m_dYllCorner, 4072345.0);
    EXPECT_DOUBLE_EQ(cov.m_dCellSize, 30.0);
  }
}

TEST_F(GridFilesTest, PointListsAreSizedByTheirLargestCellAndPaddedToFiveByFive) {
  MapReading().lenient = true;  // the library's reader skips the junk lines
  std::ofstream(P("p.xya"))
      << "   2    1    3\r\n  -4    0    5\r\nnot a point\r\n   0   -2    5\r\n";
  const GridFileInfo info = ReadGridFileInfo(P("p.xya"));
  EXPECT_EQ(info.rows, 2);  // row 1 is the largest named
  EXPECT_EQ(info.cols, 3);
  EXPECT_EQ(info.points, 3);
  CLandUseCoverage cov;
  LoadFitted(P("p.xya"), cov, set_, log_);
  ASSERT_EQ(cov.m_nRows, 5);
  ASSERT_EQ(cov.m_nCols, 5);
  long nonBlank = 0;
  for (int r = 0; r < 5; ++r)
    for (int c = 0; c < 5; ++c) nonBlank += cov.GetCellValue(r, c) != 0;
  EXPECT_EQ(nonBlank, 1);
  EXPECT_EQ(cov.GetCellValue(1, 2), 3);
  EXPECT_EQ(cov.GetCellAge(1, 2), 0);

  std::ofstream(P("empty.dat")).flush();
  const GridFileInfo none = ReadGridFileInfo(P("empty.dat"));
  EXPECT_EQ(none.rows, 0);
  EXPECT_EQ(none.cols, 0);
  CLandUseCoverage five;
  LoadFitted(P("empty.dat"), five, set_, log_);
  EXPECT_EQ(five.m_nRows, 5);
  EXPECT_EQ(five.m_nCols, 5);
  MapReading().lenient = false;
}

TEST_F(GridFilesTest, RefusalsNameTheFileAndTheProblem) {
  std::ofstream(P("wide.asc")) << "ncols 10001\nnrows 5\n";
  std::ofstream(P("tall.e00"))
      << "EXP  0 x\nGRD  2\n         5     10001 1-2.14748364700000e+009\n";
  std::ofstream(P("far.xya")) << "1 1 3\n10000 2 3\n";
  std::ofstream(P("nohead.asc")) << "1 2 3\n";
  std::ofstream(P("zero.asc")) << "ncols 0\nnrows 5\n";
  std::ofstream(P("bad.e00")) << "EXP  1 x\nGRD  2\n         5         5 1-2.14748364700000e+009\n";
  std::ofstream(P("float.e00"))
      << "EXP  0 x\nGRD  2\n         5         5 2-2.14748364700000e+009\n";
  std::ofstream(P("short.flt")) << "abc";
  std::ofstream(P("short.hdr"))
      << "ncols 5\r\nnrows 5\r\nxllcorner 0\r\nyllcorner 0\r\ncellsize 1\r\nnodata_value -1\r\n";
  std::ofstream(P("lonely.flt")) << "abcd";
  std::ofstream(P("g.xy")) << "1 1 1\n";
  std::ofstream(P("g.txt")) << "1 1 1\n";
  fs::create_directories(P("folder.asc"));

  struct Case {
    std::string file;
    std::string expected;
  };
  const Case cases[] = {
      {"wide.asc",
       ": the grid has 5 rows and 10001 columns, more than the largest grid of 10000 x 10000"},
      {"tall.e00", ": the grid has 10001 rows and 5 columns, more than the largest grid"},
      {"far.xya",
       ": names the cell at column 10000, row 2, beyond the largest grid of 10000 x 10000"},
      {"nohead.asc", ": not an ASCII grid"},
      {"zero.asc", ": bad grid header: 0 columns and 5 rows"},
      {"bad.e00", ": refused: Bad Export File Format... Check the format!!!"},
      {"float.e00", ": refused: Now the system can only support integer grid!!"},
      {"short.flt", ": holds 3 bytes but its header asks for 100 (5 x 5 floats)"},
      {"lonely.flt", ": its header file " + P("lonely.hdr") + " cannot be opened"},
      {"g.xy", ": .xy point lists have no defined layout"},
      {"g.txt", ": unknown kind of file"},
      {"missing.asc", ": no such file"},
      {"folder.asc", ": is a folder, not a file"},
  };
  for (const auto& c : cases) {
    const std::string what = Refusal(P(c.file));
    EXPECT_EQ(what.rfind(P(c.file) + c.expected, 0), 0u) << what;
    EXPECT_EQ(what.find('\n'), std::string::npos);
  }
}

TEST_F(GridFilesTest, FloatGridInAFolderWithADotIsReadFromItsOwnHeader) {
  CLandUseCoverage sample;
  MakeSample(sample);
  fs::create_directories(dir_ / "maps.v2");
  const std::string data = (dir_ / "maps.v2" / "town.flt").string();
  // Written beside each other as a GIS would, not where the library's own
  // header rule (first "." of the whole path) would put the header.
  ASSERT_EQ(sample.ExportBINFile(P("town.flt")), 1);
  fs::rename(P("town.flt"), data);
  fs::rename(P("town.hdr"), dir_ / "maps.v2" / "town.hdr");
  CLandUseCoverage cov;
  LoadFitted(data, cov, set_, log_);
  ASSERT_EQ(cov.m_nRows, 7);
  for (int r = 0; r < 7; ++r)
    for (int c = 0; c < 9; ++c) ASSERT_EQ(cov.GetCellValue(r, c), sample.GetCellValue(r, c));
  EXPECT_EQ(Listing(dir_ / "maps.v2"), (std::set<std::string>{"town.flt", "town.hdr"}));
}

TEST_F(GridFilesTest, ExportsAreTheLibraryFilesAndLeaveNothingElse) {
  CLandUseCoverage sample;
  MakeSample(sample);
  ASSERT_EQ(sample.ExportASCFile(P("ref.asc")), 1);
  ASSERT_EQ(sample.ExportE00File(P("ref.e00")), 1);
  ASSERT_EQ(sample.ExportBINFile(P("ref.flt")), 1);
  ASSERT_EQ(sample.ExportXYAFile(P("ref.xya")), 1);

  const fs::path out = dir_ / "out.d";  // a dot in the folder's name
  fs::create_directories(out);
  ScratchDir scratch;
  for (const char* name : {"a.asc", "a.e00", "a.flt", "a.xya", "a.dat"})
    ExportCoverage(sample, (out / name).string(), scratch);
  EXPECT_EQ(Listing(out),
            (std::set<std::string>{"a.asc", "a.e00", "a.flt", "a.hdr", "a.xya", "a.dat"}));
  EXPECT_EQ(Slurp((out / "a.asc").string()), Slurp(P("ref.asc")));
  EXPECT_EQ(Slurp((out / "a.e00").string()), Slurp(P("ref.e00")));
  EXPECT_EQ(Slurp((out / "a.flt").string()), Slurp(P("ref.flt")));
  EXPECT_EQ(Slurp((out / "a.xya").string()), Slurp(P("ref.xya")));
  EXPECT_EQ(Slurp((out / "a.dat").string()), Slurp(P("ref.xya")));
  // The float grid's header gets the byte order as a seventh line.
  EXPECT_EQ(Slurp((out / "a.hdr").string()), Slurp(P("ref.hdr")) + "byteorder LSBFIRST\r\n");
  EXPECT_TRUE(Listing(scratch.Path()).empty());

  for (const char* name : {"a.xy", "a.png"}) {
    try {
      ExportCoverage(sample, (out / name).string(), scratch);
      ADD_FAILURE() << name << " accepted";
    } catch (const AppError& e) {
      EXPECT_NE(std::string(e.what()).find("cannot write this kind of file"), std::string::npos);
    }
  }
  EXPECT_THROW(ExportCoverage(sample, (dir_ / "missing" / "a.asc").string(), scratch), AppError);
  EXPECT_FALSE(fs::exists(dir_ / "missing"));
  EXPECT_EQ(Listing(out).size(), 6u);
}

TEST_F(GridFilesTest, AtomicWritesAndFolders) {
  WriteFileAtomic(P("x.txt"), "one\n");
  WriteFileAtomic(P("x.txt"), "two\n");
  EXPECT_EQ(Slurp(P("x.txt")), "two\n");
  EXPECT_EQ(Listing(dir_), (std::set<std::string>{"x.txt"}));
  EXPECT_THROW(WriteFileAtomic(P("none/x.txt"), "x"), AppError);

  MakeFolder(P("a/b/c"));
  EXPECT_TRUE(fs::is_directory(P("a/b/c")));
  MakeFolder(P("a/b/c"));  // already there
  try {
    MakeFolder(P("x.txt/sub"));
    FAIL() << "made a folder below a file";
  } catch (const AppError& e) {
    EXPECT_EQ(std::string(e.what()).rfind(P("x.txt/sub") + ": cannot create the output folder", 0),
              0u);
  }
}

TEST_F(GridFilesTest, SizesOutsideTheGridLimitsAreRefusedBeforeAnyMemoryIsTaken) {
  CLandUseCoverage cov;
  EXPECT_THROW(InitOrFail(cov, 4, 10, log_), AppError);
  EXPECT_THROW(InitOrFail(cov, 10, 10001, log_), AppError);
  EXPECT_TRUE(cov.IsEmpty());
  InitOrFail(cov, 5, 6, log_);
  EXPECT_EQ(cov.m_nRows, 5);
  EXPECT_EQ(cov.m_nCols, 6);
}
