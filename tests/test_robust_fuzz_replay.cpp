// Replays the seed corpus of the fuzz targets and every input that once made
// a target fail (fuzz/regressions/<target>/) through the same checks the
// fuzz targets apply: each reader imports the input into coverages of three
// sizes with both overlay values, and nothing may be written outside them,
// refused files must change nothing, and stored cells must carry age 0.
#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <ostream>
#include <string>
#include <vector>

#include "../fuzz/import_harness.h"
#include "support/fuzz_inputs.h"

namespace {

namespace fs = std::filesystem;

const fs::path kFuzzDir = fs::path(__FILE__).parent_path().parent_path() / "fuzz";

using Check = std::string (*)(const std::uint8_t*, std::size_t);

struct Case {
  std::string target;
  fs::path file;
};

// Shown by name (gtest would otherwise dump the bytes of the struct).
void PrintTo(const Case& c, std::ostream* os) { *os << c.target << ": " << c.file.string(); }

std::vector<Case> Cases(const std::vector<std::string>& targets) {
  std::vector<Case> cases;
  for (const char* kind : {"corpus", "regressions"})
    for (const auto& t : targets)
      for (const auto& f : testkit::FilesIn(kFuzzDir / kind / t)) cases.push_back({t, f});
  return cases;
}

std::string CaseName(const testing::TestParamInfo<Case>& info) {
  return testkit::TestNameOf(info.param.file.parent_path().parent_path().filename().string() + "_" +
                             info.param.target + "_" + info.param.file.filename().string()) +
         "_" + std::to_string(info.index);
}

Check CheckOf(const std::string& target) {
  if (target == "ascii") return towngrow_fuzz::CheckAsciiInput;
  if (target == "e00") return towngrow_fuzz::CheckE00Input;
  if (target == "float") return towngrow_fuzz::CheckFloatInput;
  if (target == "points") return towngrow_fuzz::CheckPointsInput;
  return towngrow_fuzz::CheckFormatName;
}

class FuzzReplay : public testing::TestWithParam<Case> {};

TEST_P(FuzzReplay, KeepsTheReadersInvariants) {
  const auto bytes = testkit::ReadBytes(GetParam().file);
  EXPECT_EQ(CheckOf(GetParam().target)(bytes.data(), bytes.size()), "") << GetParam().file;
}

INSTANTIATE_TEST_SUITE_P(Inputs, FuzzReplay,
                         testing::ValuesIn(Cases({"ascii", "e00", "float", "points", "format"})),
                         CaseName);

// The replay has something to replay: every reader has valid and broken
// seeds, so a moved folder cannot make this suite pass by running nothing.
TEST(FuzzReplaySeeds, EveryTargetHasItsCorpus) {
  for (const char* t : {"ascii", "e00", "float", "points", "format", "params"}) {
    const fs::path dir = kFuzzDir / "corpus" / t;
    ASSERT_TRUE(fs::is_directory(dir)) << dir;
    EXPECT_GE(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 10) << dir;
  }
}

}  // namespace
