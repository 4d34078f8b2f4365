// What all formats share: telling the kind from the name, and round trips
// through every format with both overlay values on random coverages up to
// 10000 columns wide, including a file smaller than the coverage and a
// coverage that was never initialised.
#include "test_format_support.h"

using namespace towngrow;

TEST(FormatDetection, KindFromTheEndOfTheName) {
  const CLandUseCoverage cov;
  const struct {
    const char* name;
    ImportDataFormat kind;
  } cases[] = {
      {"grid.asc", FormatASC},
      {"GRID.ASC", FormatASC},
      {"Grid.Asc", FormatASC},
      {"land.xya", FormatXYA},
      {"land.xy", FormatXY},
      {"LAND.XY", FormatXY},
      {"c:\\data\\t.e00", FormatE00},
      {"m.flt", FormatFLT},
      {"p.DaT", FormatDAT},
      {".E00", FormatE00},
      {".xy", FormatXY},
      {"xy", FormatOther},
      {"t.eoo", FormatOther},
      {"a.flt.bak", FormatOther},
      {"a.dat ", FormatOther},
      {"nodot", FormatOther},
      {"", FormatOther},
      {"dir.asc/file", FormatOther},
      {"a.xyz", FormatOther},
      {"a.XYA.", FormatOther},
      {"E00", FormatOther},
  };
  for (const auto& k : cases) EXPECT_EQ(cov.TestFileFormat(k.name), k.kind) << '"' << k.name << '"';
  EXPECT_EQ(static_cast<int>(FormatE00), 0);
  EXPECT_EQ(static_cast<int>(FormatOther), 6);
}

TEST(FormatDetection, DoesNotTouchTheCoverageOrTheFile) {
  fmt_test::ScratchDir dir;
  CLandUseCoverage cov;
  ASSERT_EQ(cov.InitCoverage(5, 5, 4), 1);
  EXPECT_EQ(cov.TestFileFormat(dir / "missing.asc"), FormatASC);
  EXPECT_FALSE(fmt_test::Exists(dir / "missing.asc"));
  EXPECT_EQ(testkit::Ages(cov), std::vector<short>(25, 4));
}

namespace {

struct Format {
  const char* name;
  const char* file;
  fmt_test::Writer write;
  fmt_test::Reader read;
  bool writesBlanks;  // point lists carry only non-blank cells
};

std::vector<Format> Formats() {
  using fmt_test::Kind;
  return {
      {"E00", "g.e00", &CLandUseCoverage::ExportE00File, Kind::E00, true},
      {"ASC", "g.asc", &CLandUseCoverage::ExportASCFile, Kind::Asc, true},
      {"FLT", "g.flt", &CLandUseCoverage::ExportBINFile, Kind::Flt, true},
      {"XYA", "g.xya", &CLandUseCoverage::ExportXYAFile, Kind::Xya, false},
      {"DAT", "g.dat", &CLandUseCoverage::ExportXYAFile, Kind::Dat, false},
  };
}

// Exports `src` and imports it into a coverage of `rows` x `cols` whose cells
// hold ID 200 with age 17, then checks every cell.
void CheckRoundTrip(const Format& f, const CLandUseCoverage& src, int rows, int cols, int overlay) {
  fmt_test::ScratchDir dir;
  fmt_test::MessageRecorder messages;
  ASSERT_EQ((src.*f.write)(dir / f.file), 1) << f.name;
  CLandUseCoverage dst;
  ASSERT_EQ(dst.InitCoverage(rows, cols, 17), 1);
  dst.SetGridValue(200);
  ASSERT_EQ((dst.*f.read)(dir / f.file, overlay), 1) << f.name;
  EXPECT_TRUE(messages.texts.empty());
  long long wrong = 0;
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c) {
      const bool inFile = r < src.m_nRows && c < src.m_nCols;
      const int id = inFile ? src.GetCellValue(r, c) : -1;
      const bool stored = inFile && (id != 0 || (!overlay && f.writesBlanks));
      const int wantId = stored ? id : 200;
      const int wantAge = stored ? 0 : 17;
      if (dst.GetCellValue(r, c) != wantId || dst.GetCellAge(r, c) != wantAge) {
        if (++wrong <= 5)
          ADD_FAILURE() << f.name << " overlay " << overlay << " cell " << r << "," << c << ": id "
                        << int(dst.GetCellValue(r, c)) << " age " << dst.GetCellAge(r, c)
                        << ", want " << wantId << " age " << wantAge;
      }
    }
  EXPECT_EQ(wrong, 0) << f.name << " overlay " << overlay;
}

}  // namespace

TEST(FormatRoundTrip, EveryFormatBothOverlayValuesAnySizeEveryId) {
  struct Case {
    int rows, cols, intoRows, intoCols;
    unsigned seed;  // 0: every ID 0 to 255 once
  };
  const Case cases[] = {{13, 17, 13, 17, 2024},
                        {6, 11, 9, 14, 99},
                        {6, 10000, 6, 10000, 31337},
                        {10000, 5, 10000, 5, 4242},
                        {16, 16, 16, 16, 0}};
  for (const Case& k : cases) {
    CLandUseCoverage src;
    ASSERT_EQ(src.InitCoverage(k.rows, k.cols, 5), 1);
    if (k.seed) fmt_test::FillRandom(src, k.seed);
    for (int id = 0; id < 256 && !k.seed; ++id)
      src.SetCellValue(id / 16, id % 16, static_cast<unsigned char>(id));
    for (const Format& f : Formats())
      for (int overlay : {0, 1}) CheckRoundTrip(f, src, k.intoRows, k.intoCols, overlay);
  }
}

TEST(FormatExchange, UninitialisedCoverage) {
  fmt_test::ScratchDir dir;
  fmt_test::MessageRecorder messages;
  CLandUseCoverage empty;
  // Exports write a grid of no rows and no columns.
  ASSERT_EQ(empty.ExportASCFile(dir / "e.asc"), 1);
  EXPECT_EQ(fmt_test::ReadAll(dir / "e.asc"),
            "ncols  0\r\nnrows  0\r\nxllcorner 0.\r\nyllcorner 0.\r\ncellsize 30.\r\nnodata_value "
            "-9999\r\n");
  ASSERT_EQ(empty.ExportE00File(dir / "e.e00"), 1);
  const std::string e00 = fmt_test::ReadAll(dir / "e.e00");
  EXPECT_NE(e00.find("GRD  2\r\n         0         0 1-2.14748364700000e+009\r\n"),
            std::string::npos);
  EXPECT_NE(
      e00.find("\r\n 0.000000e+000 0.000000e+000 0.000000e+000 0.000000e+000\r\nEOI\r\nEOS\r\n"),
      std::string::npos);
  ASSERT_EQ(empty.ExportBINFile(dir / "e.flt"), 1);
  EXPECT_EQ(fmt_test::ReadAll(dir / "e.flt"), "");
  ASSERT_EQ(empty.ExportXYAFile(dir / "e.xya"), 1);
  EXPECT_EQ(fmt_test::ReadAll(dir / "e.xya"), "");
  EXPECT_TRUE(messages.texts.empty());

  // Grid imports of a real grid are refused with the range message; point
  // lists store nothing.
  CLandUseCoverage src;
  ASSERT_EQ(src.InitCoverage(5, 5, 0), 1);
  src.SetGridValue(1);
  for (const Format& f : Formats()) {
    messages.texts.clear();
    ASSERT_EQ((src.*f.write)(dir / f.file), 1);
    EXPECT_EQ((empty.*f.read)(dir / f.file, 0), f.writesBlanks ? 0 : 1) << f.name;
    EXPECT_EQ(messages.texts, std::vector<std::string>(f.writesBlanks, fmt_test::kRangeText))
        << f.name;
    EXPECT_TRUE(empty.IsEmpty());
  }
}

TEST(FormatExchange, ReadAndWriteErrorsReachTheCaller) {
  if (!fmt_test::Exists("/proc/self/mem") || !fmt_test::Exists("/dev/full"))
    GTEST_SKIP() << "needs /proc/self/mem and /dev/full";
  fmt_test::MessageRecorder messages;
  CLandUseCoverage cov;
  ASSERT_EQ(cov.InitCoverage(5, 5, 1), 1);
  // Reading the start of a process's memory image fails with an I/O error.
  EXPECT_THROW(cov.ImportASCFile("/proc/self/mem", 0), FileError);
  EXPECT_THROW(cov.ImportE00File("/proc/self/mem", 0), FileError);
  EXPECT_THROW(cov.ImportXYAFile("/proc/self/mem", 0), FileError);
  EXPECT_THROW(cov.ImportDATFile("/proc/self/mem", 0), FileError);
  // A full device takes the file but none of its bytes.
  EXPECT_THROW(cov.ExportASCFile("/dev/full"), FileError);
  EXPECT_THROW(cov.ExportE00File("/dev/full"), FileError);
  cov.SetCellValue(0, 0, 1);
  EXPECT_THROW(cov.ExportXYAFile("/dev/full"), FileError);
  {
    // "/dev/full" has no dot: its header is ".hdr" in the current folder.
    fmt_test::ScratchDir dir;
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    bool thrown = false;
    try {
      cov.ExportBINFile("/dev/full");
    } catch (const FileError& e) {
      thrown = e.FileName() == "/dev/full";
    }
    std::filesystem::current_path(cwd);
    EXPECT_TRUE(thrown);
  }
  EXPECT_TRUE(messages.texts.empty());
}
