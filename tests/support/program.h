// The towngrow program run as a separate process in a scratch work folder,
// its refusals, and digests of the files it writes.
#pragma once

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "support/files.h"
#include "support/pictures.h"
#include "support/process.h"
#include "support/scene.h"

#ifndef TOWNGROW_EXE
#error "TOWNGROW_EXE must name the towngrow program"
#endif

namespace testkit {

class ProgramTest : public ::testing::Test {
protected:
  ProgramTest() : work_(dir_ / "work") { fs::create_directories(work_); }

  // Runs the program in the work folder; `prefix` goes before it in the
  // shell (limits, say).
  Result Run(const std::string& args, const std::string& prefix = "") {
    return RunShell("cd '" + work_ + "' && " + prefix + "'" + TOWNGROW_EXE + "' " + args,
                    dir_.Path());
  }
  fs::path W(const std::string& name) const { return fs::path(work_) / name; }

  // A refused command line: status 2, nothing on standard output, one line
  // "towngrow: error: ..." holding `message`, and the work folder still
  // holding just what it held.
  void ExpectBadInput(const std::string& args, const std::string& message,
                      const std::string& prefix = "") {
    SCOPED_TRACE(args);
    const std::set<std::string> before = Listing(work_);
    const Result r = Run(args, prefix);
    const std::string shown = r.err.substr(0, 500);
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("towngrow: error: ", 0), 0u) << shown;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << "not one line: " << shown;
    EXPECT_NE(r.err.find(message), std::string::npos) << shown;
    EXPECT_LT(r.err.size(), 1000u) << shown;
    EXPECT_EQ(Listing(work_), before);
  }

  // The cells of an ASCII grid the program wrote, row after row.
  std::vector<int> AscCells(const fs::path& path) {
    std::istringstream in(ReadAll(path));
    std::string line;
    for (int i = 0; i < 6; ++i) std::getline(in, line);
    std::vector<int> cells;
    for (int v; in >> v;) cells.push_back(v);
    return cells;
  }

  // A file as it is seen: a folder by its names, a PNG by its decoded pixels
  // (its compression is zlib's choice), other files, GIFs included, by their
  // bytes with the work folder's path and the version taken out.
  std::string FileDigest(const std::string& name) {
    const std::string path = W(name).string();
    Digest d;
    Image png;
    if (fs::is_directory(path)) {
      for (const std::string& n : Listing(path)) d.Add(n + "/");
    } else if (path.size() > 4 && path.compare(path.size() - 4, 4, ".png") == 0) {
      EXPECT_TRUE(ReadPng(path, png)) << name;
      d.Add(png.width).Add(png.height).Add(std::string(png.rgb.begin(), png.rgb.end()));
    } else {
      std::string text = ReadAll(path);
      for (const std::string& part : {work_, std::string(towngrow::Version())})
        for (std::size_t at; (at = text.find(part)) != std::string::npos;)
          text.replace(at, part.size(), "@");
      d.Add(text);
    }
    return d.Hex();
  }

  ScratchDir dir_;
  std::string work_;
};

}  // namespace testkit
