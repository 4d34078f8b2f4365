// Helpers of the file exchange tests: a scratch directory whose path has no
// dot (the float grid pairs its header by the first dot of the whole name),
// whole-file reading and writing, a message recorder and coverage makers.
#pragma once

#include <gtest/gtest.h>

#include <towngrow/towngrow.h>
#include <unistd.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <tuple>
#include <vector>

#include "support/scene.h"

namespace fmt_test {

class ScratchDir {
public:
  ScratchDir() {
    static int counter = 0;
    path_ = "/tmp/towngrow_fmt_" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  const std::string& Path() const { return path_; }

private:
  std::string path_;
};

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

// The readers and writers of the coverage as member pointers, the readers
// by the kind of file they read.
using Reader = decltype(&towngrow::CLandUseCoverage::ImportASCFile);
using Writer = decltype(&towngrow::CLandUseCoverage::ExportASCFile);
struct Kind {
  static constexpr Reader Asc = &towngrow::CLandUseCoverage::ImportASCFile;
  static constexpr Reader E00 = &towngrow::CLandUseCoverage::ImportE00File;
  static constexpr Reader Flt = &towngrow::CLandUseCoverage::ImportFLTFile;
  static constexpr Reader Xya = &towngrow::CLandUseCoverage::ImportXYAFile;
  static constexpr Reader Dat = &towngrow::CLandUseCoverage::ImportDATFile;
};

inline bool Exists(const std::string& path) { return std::filesystem::exists(path); }

using MessageRecorder = testkit::NoticeRecorder;

// The cells row by row, each "value", or "value:age" when the age is not 0
// (a stored cell has age 0): one string per row, values split by blanks.
inline std::vector<std::string> Rows(const towngrow::CLandUseCoverage& cov, int rows = -1) {
  std::vector<std::string> out;
  for (int r = 0; r < (rows < 0 ? cov.m_nRows : rows); ++r) {
    std::string line;
    for (int c = 0; c < cov.m_nCols; ++c) {
      line += (c ? " " : "") + std::to_string(cov.GetCellValue(r, c));
      if (cov.GetCellAge(r, c) != 0) line += ":" + std::to_string(cov.GetCellAge(r, c));
    }
    out.push_back(line);
  }
  return out;
}

inline const std::string kRangeText =
    "The Range is larger than the environment!\n Please make a larger environemt first";
inline const std::string kBadFormatText = "Bad Export File Format...\nCheck the format!!!";
inline const std::string kIntegerGridText = "Now the system can only support integer grid!!";

// Fills IDs and ages from the generator (a data source only here): IDs
// 0..255 with zeros frequent, ages 1..30000 so that age 0 marks a store.
inline void FillRandom(towngrow::CLandUseCoverage& cov, unsigned seed) {
  towngrow::SeedRandom(seed);
  for (int r = 0; r < cov.m_nRows; ++r)
    for (int c = 0; c < cov.m_nCols; ++c) {
      const int d = towngrow::RandomDraw();
      cov.SetCellValue(r, c, static_cast<unsigned char>(d % 3 == 0 ? 0 : d % 256));
      cov.SetCellAge(r, c, static_cast<short>(1 + towngrow::RandomDraw() % 30000));
    }
}

// IDs, ages and georeference, for "nothing changed" checks.
inline auto Take(const towngrow::CLandUseCoverage& cov) {
  return std::make_tuple(testkit::Values(cov), testkit::Ages(cov), cov.m_dCellSize,
                         cov.m_dXllCorner, cov.m_dYllCorner, cov.m_nNoDataValue);
}

// A 5 x 6 coverage with age 9 everywhere, a scratch folder and a notice
// recorder: what most format tests start from.
class FormatTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_EQ(cov.InitCoverage(5, 6, 9), 1); }
  towngrow::CLandUseCoverage cov;
  ScratchDir dir;
  MessageRecorder messages;
};

// Runs a shell command and answers its standard output; ok is false when it
// did not exit with 0.
inline std::string RunCommand(const std::string& cmd, bool* ok = nullptr) {
  std::string out;
  FILE* p = ::popen(cmd.c_str(), "r");
  if (p == nullptr) {
    if (ok) *ok = false;
    return out;
  }
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int rc = ::pclose(p);
  if (ok) *ok = rc == 0;
  return out;
}

}  // namespace fmt_test
