// Replays the seed corpus of the parameter-file fuzz target and every input
// that once made it fail (fuzz/regressions/params/) through its checks: a
// file is either taken or refused with a one-line AppError naming it, and a
// set that took it grows a town and writes parameters that read back alike.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "../../fuzz/params_harness.h"

namespace {

namespace fs = std::filesystem;

const fs::path kFuzzDir = fs::path(__FILE__).parent_path().parent_path().parent_path() / "fuzz";

std::vector<fs::path> Files() {
  std::vector<fs::path> files;
  for (const char* kind : {"corpus", "regressions"}) {
    const fs::path dir = kFuzzDir / kind / "params";
    if (!fs::is_directory(dir)) continue;
    for (const auto& e : fs::directory_iterator(dir))
      if (e.is_regular_file()) files.push_back(e.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string FileName(const testing::TestParamInfo<fs::path>& info) {
  std::string name = info.param.parent_path().parent_path().filename().string() + "_" +
                     info.param.filename().string();
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

class ParamsReplay : public testing::TestWithParam<fs::path> {};

TEST_P(ParamsReplay, IsTakenOrRefusedCleanly) {
  std::ifstream in(GetParam(), std::ios::binary);
  const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  EXPECT_EQ(towngrow_fuzz::CheckParamsInput(bytes.data(), bytes.size()), "") << GetParam();
}

INSTANTIATE_TEST_SUITE_P(Inputs, ParamsReplay, testing::ValuesIn(Files()), FileName);

}  // namespace
