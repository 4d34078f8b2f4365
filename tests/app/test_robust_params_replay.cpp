// Replays the seed corpus of the parameter-file fuzz target and every input
// that once made it fail (fuzz/regressions/params/) through its checks: a
// file is either taken or refused with a one-line AppError naming it, and a
// set that took it grows a town and writes parameters that read back alike.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "../../fuzz/params_harness.h"
#include "../support/fuzz_inputs.h"

namespace {

namespace fs = std::filesystem;

const fs::path kFuzzDir = fs::path(__FILE__).parent_path().parent_path().parent_path() / "fuzz";

std::vector<fs::path> Files() {
  std::vector<fs::path> files = testkit::FilesIn(kFuzzDir / "corpus" / "params");
  for (const auto& f : testkit::FilesIn(kFuzzDir / "regressions" / "params")) files.push_back(f);
  return files;
}

std::string FileName(const testing::TestParamInfo<fs::path>& info) {
  return testkit::TestNameOf(info.param.parent_path().parent_path().filename().string() + "_" +
                             info.param.filename().string());
}

class ParamsReplay : public testing::TestWithParam<fs::path> {};

TEST_P(ParamsReplay, IsTakenOrRefusedCleanly) {
  const std::vector<std::uint8_t> bytes = testkit::ReadBytes(GetParam());
  EXPECT_EQ(towngrow_fuzz::CheckParamsInput(bytes.data(), bytes.size()), "") << GetParam();
}

INSTANTIATE_TEST_SUITE_P(Inputs, ParamsReplay, testing::ValuesIn(Files()), FileName);

}  // namespace
