// Shared by the tests that run the towngrow program as a separate process:
// a scratch folder per test, running the program in it, reading its files.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "picture_support.h"

#ifndef TOWNGROW_EXE
#error "TOWNGROW_EXE must name the towngrow program"
#endif

namespace program_test {

using picture_test::Image;
using picture_test::Rgb;

namespace fs = std::filesystem;

struct Result {
  int code = -1;
  std::string out;
  std::string err;
};

inline std::string Slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream s(text);
  for (std::string l; std::getline(s, l);) lines.push_back(l);
  return lines;
}

inline std::vector<std::string> Split(const std::string& line, char sep) {
  std::vector<std::string> parts;
  std::istringstream s(line);
  for (std::string p; std::getline(s, p, sep);) parts.push_back(p);
  return parts;
}

inline std::set<std::string> Listing(const fs::path& d) {
  std::set<std::string> names;
  if (!fs::exists(d)) return names;
  for (const auto& e : fs::directory_iterator(d)) names.insert(e.path().filename().string());
  return names;
}

// An ASCII grid written by the program: its six header lines as written,
// its size from them, and its values row after row.
struct Grid {
  int rows = 0, cols = 0;
  std::string header;
  std::vector<int> values;
  int At(int r, int c) const { return values[static_cast<std::size_t>(r * cols + c)]; }
};

inline Grid ReadAsc(const fs::path& path) {
  Grid g;
  std::istringstream in(Slurp(path));
  std::string line;
  for (int i = 0; i < 6 && std::getline(in, line); ++i) {
    g.header += line + "\n";
    std::istringstream words(line);
    std::string key;
    int value = 0;
    words >> key >> value;
    if (key == "ncols") g.cols = value;
    if (key == "nrows") g.rows = value;
  }
  for (int v; in >> v;) g.values.push_back(v);
  EXPECT_EQ(g.values.size(), static_cast<std::size_t>(g.rows * g.cols)) << path;
  return g;
}

// A PNG the program wrote, in 8-bit RGB; a file that cannot be read fails
// the test.
inline Image ReadPng(const fs::path& path) {
  Image result;
  if (!picture_test::ReadPng(path.string(), result))
    ADD_FAILURE() << path << ": cannot read the PNG";
  return result;
}

// A scratch folder per test (kept when the test fails) with a work folder
// in which the program runs.
class ProgramTest : public ::testing::Test {
protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    base_ = fs::path(::testing::TempDir()) / ("towngrow-" + std::string(info->test_suite_name()) +
                                              "-" + info->name() + "-" + std::to_string(getpid()));
    fs::remove_all(base_);
    work_ = base_ / "work";
    fs::create_directories(work_);
  }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(base_);
  }

  // Runs the program in the work folder; `prefix` goes before it in the
  // shell (for limits).
  Result Run(const std::string& args, const std::string& prefix = "") {
    const fs::path out = base_ / "stdout.txt";
    const fs::path err = base_ / "stderr.txt";
    const std::string cmd = "cd '" + work_.string() + "' && " + prefix + "'" + TOWNGROW_EXE + "' " +
                            args + " >'" + out.string() + "' 2>'" + err.string() + "' </dev/null";
    const int status = std::system(cmd.c_str());
    Result r;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = Slurp(out);
    r.err = Slurp(err);
    return r;
  }

  fs::path W(const std::string& name) const { return work_ / name; }

  // A refused command line: status 2, nothing on standard output, one
  // short line "towngrow: error: ..." holding `message`, and the work folder
  // still holding just `inputs`. `prefix` goes before the program in the
  // shell, as for Run.
  void ExpectBadInput(const std::string& args, const std::string& message,
                      const std::set<std::string>& inputs, const std::string& prefix = "") {
    SCOPED_TRACE(args);
    const Result r = Run(args, prefix);
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out, "");
    const std::string shown = r.err.substr(0, 500);
    EXPECT_EQ(r.err.rfind("towngrow: error: ", 0), 0u) << shown;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "not one line: " << shown;
    EXPECT_NE(r.err.find(message), std::string::npos) << shown;
    EXPECT_LT(r.err.size(), 1000u) << "a long error line: " << shown;
    EXPECT_EQ(Listing(work_), inputs);
  }

  fs::path base_, work_;
};

}  // namespace program_test
