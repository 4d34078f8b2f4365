// The towngrow program run as a separate process in a scratch work folder,
// its refusals, and digests of the files it writes.
#pragma once

#include <gtest/gtest.h>

#include <map>
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

  // Runs the program in the work folder; `prefix` goes before it in the shell (limits, say).
  Result Run(const std::string& args, const std::string& prefix = "") {
    return RunShell("cd '" + work_ + "' && " + prefix + "'" + TOWNGROW_EXE + "' " + args,
                    dir_.Path());
  }
  fs::path W(const std::string& name) const { return fs::path(work_) / name; }

  // Runs a command that must succeed (its error output shown if not).
  Result Ok(const std::string& args) {
    Result r = Run(args);
    EXPECT_EQ(r.code, 0) << args << "\n" << r.err.substr(0, 500);
    return r;
  }

  // A refused command line: status 2, nothing on standard output, one line "towngrow: error: ..."
  // holding `message`, and the work folder still holding just what it held.
  void ExpectBadInput(const std::string& args, const std::string& message,
                      const std::string& prefix = "") {
    SCOPED_TRACE(args);
    const std::set<std::string> before = Listing(work_);
    const Result r = Run(args, prefix);
    const std::string shown = r.err.substr(0, 500);
    EXPECT_EQ(std::make_tuple(r.code, r.out), std::make_tuple(2, ""));
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

  // A file as it is seen: a folder by its names, a picture by what it shows (Pictures), other files
  // by their bytes with the work folder's path and the version taken out.
  std::string FileDigest(const std::string& name) {
    const std::string path = W(name).string(), type = fs::path(path).extension().string();
    if (type == ".png" || type == ".gif") return Pictures(path);
    Digest d;
    if (fs::is_directory(path)) {
      for (const std::string& n : Listing(path)) d.Add(n + "/");
    } else {
      std::string text = ReadAll(path);
      for (const std::string& part : {work_, std::string(towngrow::Version())})
        for (std::size_t at; (at = text.find(part)) != std::string::npos;)
          text.replace(at, part.size(), "@");
      d.Add(text);
    }
    return d.Hex();
  }

  // What a PNG or GIF shows, in words no Cairo, font or giflib update changes: a chart's size and
  // the land uses drawn ("chart600x400=1,3"); a GIF's frames, then what a map's grey frame holds,
  // its land uses and its legend's ("3frames;map120x96=0,1,3;legend=1,3": IDs of the default set by
  // colour; outside the map, white and black are ground and text).
  std::string Pictures(const std::string& path) {
    Image img;
    std::string seen;
    if (path.back() == 'f') {
      Gif gif;
      if (!ReadGif(path, gif) || gif.frames.empty()) return "no frames";
      seen = std::to_string(gif.frames.size()) + "frames;";
      img = gif.frames.back();
    } else {
      EXPECT_TRUE(ReadPng(path, img)) << path;
    }
    const std::string stem = fs::path(path).stem().string();
    const bool chart =
        std::string(" growth ensemble rounds resolution sensitivity ").find(" " + stem + " ") !=
            std::string::npos ||
        stem.rfind("objective-", 0) == 0;
    if (chart && seen.empty())
      return "chart" + std::to_string(img.width) + "x" + std::to_string(img.height) + "=" +
             Uses(img, 0, 0, img.width, img.height, false);
    // The frame: the first grey line of 8 pixels or more, going on down.
    int top = -1, left = 0, right = 0, bottom = 0;
    for (int y = 0; y + 2 < img.height && top < 0; ++y)
      for (int x = 1, run = 0; x < img.width && top < 0; ++x) {
        const Rgb c = img.At(x - 1, y);
        const bool grey = c[0] == c[1] && c[1] == c[2] && c[0] > 60 && c[0] < 200;
        run = grey && img.At(x, y) == c ? run + 1 : 0;
        if (run >= 8 && (x + 1 == img.width || img.At(x + 1, y) != c) &&
            img.At(x - run, y + 2) == c && img.At(x, y + 2) == c)
          top = y, left = x - run, right = x;
      }
    if (top < 0) return seen + "nomap";
    for (bottom = top + 1; bottom < img.height && img.At(left, bottom) == img.At(left, top);)
      ++bottom;
    return seen + "map" + std::to_string(right - left - 1) + "x" +
           std::to_string(bottom - top - 2) + "=" +
           Uses(img, left + 1, top + 1, right, bottom - 1, true) +
           ";legend=" + Uses(img, 0, bottom, img.width, img.height, false);
  }

  // The IDs of the default set whose colours lie in the box [x0, x1) x
  // [y0, y1); white and black only `inside` a map.
  static std::string Uses(const Image& img, int x0, int y0, int x1, int y1, bool inside) {
    static const CLandUseSet set;
    std::map<Rgb, int> ids;
    for (int id = 255; id >= 0; --id) {
      const unsigned int c = set.GetColor(static_cast<unsigned char>(id));
      if (set.GetIDIndex(static_cast<unsigned char>(id)) >= 0 &&
          (inside || (c != 0xFFFFFFu && c != 0)))
        ids[{int(c & 0xFF), int(c >> 8 & 0xFF), int(c >> 16 & 0xFF)}] = id;
    }
    std::set<int> found;
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) {
        const auto at = ids.find(img.At(x, y));
        if (at != ids.end()) found.insert(at->second);
      }
    std::string text;
    for (int id : found) text += (text.empty() ? "" : ",") + std::to_string(id);
    return text;
  }

  ScratchDir dir_;
  std::string work_;
};

}  // namespace testkit
