// Inputs beyond the format tests': the fuzz targets' inputs through their own checks
// (fuzz/import_harness.h), 100 MB lines read by a child that cannot hold them, coverages without
// buffers, and memory that runs out under a lowered address-space limit.
#include "fuzz/import_harness.h"
#include "support/files.h"
#include "support/process.h"
#include "support/scene.h"

using namespace testkit;

namespace {

using Reader = decltype(&CLandUseCoverage::ImportASCFile);
const fs::path kFuzz = fs::path(__FILE__).parent_path().parent_path().parent_path() / "fuzz";

// The seed corpus and past failures of each reader's fuzz target, whose folder names the target.
std::vector<fs::path> Inputs() {
  std::vector<fs::path> inputs;
  for (const char* kind : {"corpus", "regressions"})
    for (const char* t : {"ascii", "e00", "float", "points", "format"})
      for (const auto& f : FilesIn(kFuzz / kind / t)) inputs.push_back(f);
  return inputs;
}

class FuzzReplay : public testing::TestWithParam<fs::path> {};

TEST_P(FuzzReplay, KeepsTheReadersInvariants) {
  const std::string bytes = ReadAll(GetParam());
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  const std::string t = GetParam().parent_path().filename().string();
  const auto check = t == "ascii"    ? towngrow_fuzz::CheckAsciiInput
                     : t == "e00"    ? towngrow_fuzz::CheckE00Input
                     : t == "float"  ? towngrow_fuzz::CheckFloatInput
                     : t == "points" ? towngrow_fuzz::CheckPointsInput
                                     : towngrow_fuzz::CheckFormatName;
  EXPECT_EQ(check(data, bytes.size()), "");
}

INSTANTIATE_TEST_SUITE_P(Inputs, FuzzReplay, testing::ValuesIn(Inputs()), [](const auto& info) {
  const fs::path& f = info.param;
  return TestNameOf(f.parent_path().parent_path().filename().string() + "_" +
                    f.parent_path().filename().string() + "_" + f.filename().string()) +
         "_" + std::to_string(info.index);
});

// Something to replay: a moved folder cannot make the replay pass by running nothing.
TEST(FuzzReplaySeeds, EveryTargetHasItsCorpus) {
  for (const char* t : {"ascii", "e00", "float", "points", "format", "params"})
    EXPECT_GE(FilesIn(kFuzz / "corpus" / t).size(), 10u) << t;
}

class Limited : public testing::Test {
protected:
  void SetUp() override {
#ifdef TOWNGROW_ASAN
    GTEST_SKIP() << "address-space limits and the address sanitizer do not mix";
#endif
    if (UnderValgrind()) GTEST_SKIP() << "valgrind's allocator gives up instead of answering null";
  }
};

// One line of 100 MB of digits per reader, in a child that may grow by 32 MB
// only: the digits saturate at INT_MAX (ID 255). The float grid reads only
// what its header promises of a 100 MB data file (bytes 31 32 33 34: 0).
TEST_F(Limited, HundredMegabyteLinesAreReadAsTheyStreamPast) {
  const std::tuple<const char*, std::string, std::string, Reader, const char*> cases[] = {
      {"long.asc", "ncols 5\r\nnrows 2\r\nxllcorner 1\r\nyllcorner 2\r\ncellsize 3\r\n7 ",
       " 4\r\n1 2 3 4 5 \r\n", &CLandUseCoverage::ImportASCFile, "7 255 4 9:50 9:50|1 2 3 4 5"},
      {"long.e00", "EXP  0\r\nGRD  2\r\n5 2 1 0\r\n\r\n\r\n\r\n  7 ", " 4\r\n1 2 3 4 5\r\nEOG\r\n",
       &CLandUseCoverage::ImportE00File, "7 255 4 0 0|1 2 3 4 5"},
      {"long.xya", "0 1 ", "\r\n1 0 3\r\n", &CLandUseCoverage::ImportXYAFile,
       "9:50 3 9:50 9:50 9:50|255 9:50 9:50 9:50 9:50"},
      {"long.flt", "", "", &CLandUseCoverage::ImportFLTFile, "0 0 0 0 0|0 0 0 0 0"}};
  ScratchDir dir;
  WriteAll(dir / "long.hdr", "ncols 5\r\nnrows 2\r\n\r\n\r\n\r\nnodata_value -9999\r\n");
  std::string block;
  for (int i = 0; i < 100000; ++i) block += "1234567890";
  for (const auto& k : cases) {
    {
      std::ofstream out(dir / std::get<0>(k), std::ios::binary);
      out << std::get<1>(k);
      for (int i = 0; i < 100; ++i) out << block;
      out << std::get<2>(k);
    }
    const std::string got = InChildWithHeadroom(32LL << 20, [&] {
      CLandUseCoverage c;
      c.InitCoverage(5, 5, 50);
      c.SetGridValue(9);
      std::string s = std::to_string((c.*std::get<3>(k))(dir / std::get<0>(k), 0)) + ":";
      for (int r = 0; r < 5; ++r)
        for (int col = 0; col < 5; ++col) {
          s += (col ? " " : r ? "|" : "") + std::to_string(c.GetCellValue(r, col));
          if (c.GetCellAge(r, col) != 0) s += ":" + std::to_string(c.GetCellAge(r, col));
        }
      return s;
    });
    EXPECT_EQ(got,
              std::string("1:") + std::get<4>(k) +
                  "|9:50 9:50 9:50 9:50 9:50|9:50 9:50 9:50 9:50 9:50|9:50 9:50 9:50 9:50 9:50");
    fs::remove(dir / std::get<0>(k));
  }
}

// The largest coverage with too little room: 100 MB of cells cannot be had with 40 MB to spare;
// with 160 MB the cells fit but the 200 MB of ages do not, and the coverage lets go of its cells
// too. It keeps its shape without buffers: a grid that fits is read and nothing stored, a copy
// holds nothing, a small coverage works again.
TEST_F(Limited, MemoryThatRunsOutLeavesACoverageWithoutBuffersThatStaysSafe) {
  ScratchDir dir;
  WriteAll(dir / "g.asc",
           "ncols 5\r\nnrows 5\r\nxllcorner 0\r\nyllcorner 0\r\ncellsize 1\r\n1 2 3 4 5\r\n");
  for (long long headroom : {40LL << 20, 160LL << 20}) {
    const std::string got = InChildWithHeadroom(headroom, [&] {
      std::vector<std::string> texts;
      SetMessageHandler([&](const std::string& t) { texts.push_back(t); });
      CLandUseCoverage c;
      std::ostringstream o;
      o << c.InitCoverage(10000, 10000, 3) << " " << texts.at(0) << " "
        << c.ImportASCFile(dir / "g.asc", 0) << c.IsEmpty() << c.GetCellAge(4, 4)
        << std::unique_ptr<CLandUseCoverage>(c.Copy())->IsEmpty() << " " << c.InitCoverage(6, 7, 2)
        << c.GetCellAge(5, 6) << " " << texts.size();
      return o.str();
    });
    EXPECT_EQ(got, std::string(headroom == 40LL << 20 ? "0 Not enough memory!!"
                                                      : "0 Not Enough Memory!!") +
                       " 11-1001 12 1");
  }
}

// After Free the shape stays and the buffers are gone: every reader answers
// 1 and writes nothing anywhere; the export writes IDs 0.
TEST(Bufferless, EveryReaderWritesNothingAndTheExportWritesZeros) {
  ScratchDir dir;
  WriteAll(dir / "g.asc",
           "ncols 5\r\nnrows 5\r\nxllcorner 0\r\nyllcorner 0\r\ncellsize 30\r\n1 2 3 4 5\r\n");
  WriteAll(dir / "g.e00", "EXP  0\r\nGRD  2\r\n5 5 1 0\r\n\r\n\r\n\r\n1 2 3 4 5\r\n");
  WriteAll(dir / "g.hdr", "ncols 5\r\nnrows 5\r\n\r\n\r\n\r\nnodata_value 1\r\n");
  WriteAll(dir / "g.flt", std::string(100, '\x40'));
  WriteAll(dir / "g.xya", "1 1 3\r\n4 4 5\r\n");
  CLandUseCoverage c, back;
  ASSERT_EQ(c.InitCoverage(5, 5, 1) + back.InitCoverage(5, 5, 7), 2);
  c.Free();
  EXPECT_EQ(c.ImportASCFile(dir / "g.asc", 0) + c.ImportE00File(dir / "g.e00", 0) +
                c.ImportFLTFile(dir / "g.flt", 0) + c.ImportXYAFile(dir / "g.xya", 0) +
                c.ImportDATFile(dir / "g.xya", 1),
            5);
  EXPECT_EQ(std::make_tuple(c.IsEmpty(), c.m_nRows, c.m_nCols), std::make_tuple(1, 5, 5));
  ASSERT_EQ(c.ExportASCFile(dir / "out.asc"), 1);
  back.SetGridValue(4);
  ASSERT_EQ(back.ImportASCFile(dir / "out.asc", 0), 1);
  EXPECT_EQ(std::make_tuple(Values(back), Ages(back)),
            std::make_tuple(std::vector<unsigned char>(25, 0), std::vector<short>(25, 0)));
}

}  // namespace
