// The towngrow program end to end: it is run as a separate process in a
// scratch folder, and its files are checked against what the library gives
// for the same run in this process.
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <towngrow/towngrow.h>

#include "commands/params_json.h"
#include "pictures/render.h"
#include "program_support.h"

#include "../support/sanitizer.h"

namespace fs = std::filesystem;
using towngrow::CLandUseCoverage;
using towngrow::CLandUseSet;
using towngrow::app::Json;

#ifndef TOWNGROW_EXE
#error "TOWNGROW_EXE must name the towngrow program"
#endif

namespace {

using namespace program_test;

std::array<long, 256> Counts(const Grid& g) {
  std::array<long, 256> counts{};
  for (int id : g.values) ++counts[static_cast<std::size_t>(id)];
  return counts;
}

// RGB of a colour in the model's 0x00BBGGRR layout.
Rgb ColorRgb(unsigned int color) {
  return {static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
          static_cast<int>((color >> 16) & 0xFF)};
}

// A GIF's number of frames and its first and last frames in RGB.
struct Gif {
  std::size_t frames = 0;
  Image first, last;
};

Image FrameRgb(const GifFileType* gif, const SavedImage& saved) {
  const ColorMapObject* map = saved.ImageDesc.ColorMap ? saved.ImageDesc.ColorMap : gif->SColorMap;
  Image img;
  img.width = saved.ImageDesc.Width;
  img.height = saved.ImageDesc.Height;
  img.rgb.reserve(static_cast<std::size_t>(3 * img.width * img.height));
  for (int p = 0; p < img.width * img.height; ++p) {
    const GifColorType c = map->Colors[saved.RasterBits[p]];
    img.rgb.insert(img.rgb.end(), {c.Red, c.Green, c.Blue});
  }
  return img;
}

Gif ReadGif(const fs::path& path) {
  Gif result;
  int error = 0;
  GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
  if (gif == nullptr) {
    ADD_FAILURE() << path << ": cannot open GIF (" << error << ")";
    return result;
  }
  if (DGifSlurp(gif) != GIF_OK) {
    ADD_FAILURE() << path << ": cannot decode GIF";
  } else if (gif->ImageCount > 0) {
    result.frames = static_cast<std::size_t>(gif->ImageCount);
    result.first = FrameRgb(gif, gif->SavedImages[0]);
    result.last = FrameRgb(gif, gif->SavedImages[gif->ImageCount - 1]);
  }
  DGifCloseFile(gif, &error);
  return result;
}

// The same run as the program's, in this process: the set, then the size,
// the seed, the start, the steps.
std::string LibraryRun(int rows, int cols, unsigned seed, bool random, long steps,
                       const fs::path& scratch) {
  CLandUseSet set;
  towngrow::Simulation sim(&set);
  EXPECT_EQ(sim.Init(rows, cols), 1);
  towngrow::SeedRandom(seed);
  if (random)
    sim.Current().RandomFill();
  else
    towngrow::PlaceStarterTown(sim.Current());
  sim.Run(steps);
  const fs::path file = scratch / "library-run.asc";
  EXPECT_EQ(sim.Current().ExportASCFile(file.string()), 1);
  std::string text = Slurp(file);
  fs::remove(file);
  return text;
}

class CliTest : public program_test::ProgramTest {};

}  // namespace

TEST_F(CliTest, DefaultRunWritesEveryFileConsistently) {
  const Result r = Run("run");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.err, "");  // no terminal: no progress bar
  EXPECT_NE(r.out.find("Grew 200 x 200 cells for 100 steps (seed 1) into towngrow-out"),
            std::string::npos)
      << r.out;
  const fs::path out = W("towngrow-out");
  EXPECT_EQ(Listing(out),
            (std::set<std::string>{"final.asc", "final.png", "final.tif", "final.tif.aux.xml",
                                   "growth.gif", "run.json", "stats.csv"}));
  EXPECT_EQ(Listing(work_), (std::set<std::string>{"towngrow-out"}));

  const Grid grid = ReadAsc(out / "final.asc");
  ASSERT_EQ(grid.rows, 200);
  ASSERT_EQ(grid.cols, 200);
  EXPECT_EQ(Slurp(out / "final.asc"), LibraryRun(200, 200, 1, false, 100, base_));

  // stats.csv: a header, step 0 (the start) and one row per step; the last
  // row's cell counts are the final grid's.
  const auto csv = Lines(Slurp(out / "stats.csv"));
  ASSERT_EQ(csv.size(), 102u);
  const auto header = Split(csv[0], ',');
  ASSERT_EQ(header.size(), 1u + 7u + 1u + 7u);
  EXPECT_EQ(header[0], "step");
  EXPECT_EQ(header[4], "Housing (ID 3) cells");
  EXPECT_EQ(header[8], "other IDs cells");
  EXPECT_EQ(header[9], "Vacant Land (ID 0) developments");
  CLandUseSet set;
  CLandUseCoverage start;
  start.InitCoverage(200, 200, 0);
  start.m_pLandUseSet = &set;
  towngrow::PlaceStarterTown(start);
  const auto startCounts = towngrow::CountCellsPerId(start);
  const auto finalCounts = Counts(grid);
  for (std::size_t row = 1; row < csv.size(); ++row) {
    const auto f = Split(csv[row], ',');
    ASSERT_EQ(f.size(), header.size()) << csv[row];
    EXPECT_EQ(std::stol(f[0]), static_cast<long>(row) - 1);
    long sum = 0;
    for (int i = 1; i <= 8; ++i) sum += std::stol(f[static_cast<std::size_t>(i)]);
    EXPECT_EQ(sum, 40000) << csv[row];
    for (int id = 0; id < 7; ++id) {
      const long cells = std::stol(f[static_cast<std::size_t>(1 + id)]);
      if (row == 1) {
        EXPECT_EQ(cells, startCounts[static_cast<std::size_t>(id)]) << "start, ID " << id;
        EXPECT_EQ(f[static_cast<std::size_t>(9 + id)], "0");
      }
      if (row == csv.size() - 1) {
        EXPECT_EQ(cells, finalCounts[static_cast<std::size_t>(id)]) << "end, ID " << id;
      }
    }
  }

  // final.png: every land use present shows its colour in the middle of
  // one of its cells.
  const Image png = ReadPng(out / "final.png");
  const int scale = towngrow::app::DefaultScale(200, 200);
  ASSERT_GE(png.width, 200 * scale);
  ASSERT_GE(png.height, 200 * scale);
  std::set<int> checked;
  for (int r = 0; r < 200; ++r)
    for (int c = 0; c < 200; ++c) {
      const int id = grid.At(r, c);
      if (checked.count(id) != 0 && (r + c) % 97 != 0) continue;
      checked.insert(id);
      EXPECT_EQ(png.At(c * scale + scale / 2, r * scale + scale / 2),
                ColorRgb(set.GetColor(static_cast<unsigned char>(id))))
          << "cell " << r << "," << c << " ID " << id;
    }
  EXPECT_GE(checked.size(), 5u);

  // growth.gif: the start and every step; the last frame is the end state.
  const Gif gif = ReadGif(out / "growth.gif");
  ASSERT_EQ(gif.frames, 101u);
  const Image& last = gif.last;
  const int gifScale = last.width / 200;
  ASSERT_GE(gifScale, 1);
  for (int r = 3; r < 200; r += 7)
    for (int c = 5; c < 200; c += 11)
      ASSERT_EQ(last.At(c * gifScale + gifScale / 2, r * gifScale + gifScale / 2),
                ColorRgb(set.GetColor(static_cast<unsigned char>(grid.At(r, c)))))
          << "cell " << r << "," << c;
  EXPECT_EQ(gif.first.At(100 * gifScale, 100 * gifScale),
            ColorRgb(set.GetColor(start.GetCellValue(100, 100))));

  // run.json: everything a repeat needs.
  const Json doc = Json::parse(Slurp(out / "run.json"));
  EXPECT_EQ(doc["run"]["seed"], 1);
  EXPECT_EQ(doc["run"]["steps"], 100);
  EXPECT_EQ(doc["run"]["rows"], 200);
  EXPECT_EQ(doc["run"]["cols"], 200);
  EXPECT_EQ(doc["run"]["start"], "town");
  EXPECT_EQ(doc["run"]["towngrowVersion"], towngrow::Version());
  EXPECT_EQ(doc["landUses"], towngrow::app::SetToJson(set)["landUses"]);
}

TEST_F(CliTest, RunsMatchTheLibraryForSeedsAndStarts) {
  Result r = Run("run --rows 40 --cols 50 --steps 15 --seed 7 --no-png --no-gif --quiet --out a");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "");  // --quiet
  EXPECT_EQ(Listing(W("a")), (std::set<std::string>{"final.asc", "final.tif", "final.tif.aux.xml",
                                                    "run.json", "stats.csv"}));
  EXPECT_EQ(Slurp(W("a/final.asc")), LibraryRun(40, 50, 7, false, 15, base_));

  r =
      Run("run --rows 30 --cols 20 --steps 9 --seed 3 --start random --no-png --no-gif --quiet "
          "--out b");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Slurp(W("b/final.asc")), LibraryRun(30, 20, 3, true, 9, base_));
  EXPECT_NE(Slurp(W("b/final.asc")), LibraryRun(30, 20, 4, true, 9, base_));  // the seed matters
}

TEST_F(CliTest, RunJsonRepeatsTheRunBitForBit) {
  std::ofstream(W("params.json")) << R"({"landUses": [
      {"id": 3, "activeAge": 20, "residentialLandUseProb": [60, 20, 20]},
      {"id": 1, "connectMode": 2},
      {"id": 9, "kind": "House", "name": "Villas", "color": "#00FF80"}]})";
  Result r =
      Run("run --params params.json --rows 30 --cols 40 --steps 12 --seed 5 --start random --every "
          "3 --out one --quiet");
  ASSERT_EQ(r.code, 0) << r.err;
  const Json first = Json::parse(Slurp(W("one/run.json")));
  EXPECT_EQ(first["landUses"].size(), 8u);
  EXPECT_EQ(first["landUses"][3]["activeAge"], 20);
  EXPECT_EQ(first["landUses"][7]["name"], "Villas");
  // The appended land use has its own columns.
  EXPECT_NE(Lines(Slurp(W("one/stats.csv")))[0].find("Villas (ID 9) cells"), std::string::npos);

  r =
      Run("run --params one/run.json --rows 30 --cols 40 --steps 12 --seed 5 --start random "
          "--every 3 --out two --quiet");
  ASSERT_EQ(r.code, 0) << r.err;
  for (const char* name : {"final.asc", "stats.csv", "growth.gif", "final.png"})
    EXPECT_EQ(Slurp(W("one") / name), Slurp(W("two") / name)) << name;
  const Json second = Json::parse(Slurp(W("two/run.json")));
  EXPECT_EQ(second["landUses"], first["landUses"]);

  // The recorded command line repeats it too.
  std::string again = first["run"]["repeat"].get<std::string>();
  ASSERT_EQ(again.rfind("towngrow run ", 0), 0u) << again;
  r = Run(again.substr(std::string("towngrow ").size()) + " --every 3 --out three --quiet");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Slurp(W("one/final.asc")), Slurp(W("three/final.asc")));
  EXPECT_EQ(Slurp(W("one/stats.csv")), Slurp(W("three/stats.csv")));

  // Without the parameter file the run differs.
  r = Run("run --rows 30 --cols 40 --steps 12 --seed 5 --start random --out four --quiet");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(Slurp(W("one/stats.csv")), Slurp(W("four/stats.csv")));
}

TEST_F(CliTest, BackgroundDecidesWhereLandUsesMayGrow) {
  // A background value is a bit set of allowed IDs: 255 allows IDs 0 to 7
  // everywhere (the run is the plain one), 0 allows nothing (streets never
  // grow, housing only ages).
  for (int value : {255, 0}) {
    std::ofstream bg(W("bg" + std::to_string(value) + ".asc"));
    bg << "ncols 50\nnrows 40\nxllcorner 0\nyllcorner 0\ncellsize 30\n";
    for (int r = 0; r < 40; ++r) {
      for (int c = 0; c < 50; ++c) bg << value << ' ';
      bg << '\n';
    }
  }
  Result r =
      Run("run --rows 40 --cols 50 --steps 10 --background bg255.asc --quiet --no-png --no-gif "
          "--out all");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(Slurp(W("all/final.asc")), LibraryRun(40, 50, 1, false, 10, base_));
  const Json doc = Json::parse(Slurp(W("all/run.json")));
  EXPECT_EQ(doc["run"]["background"], fs::absolute(W("bg255.asc")).lexically_normal().string());

  r =
      Run("run --rows 40 --cols 50 --steps 10 --background bg0.asc --quiet --no-png --no-gif --out "
          "none");
  ASSERT_EQ(r.code, 0) << r.err;
  const auto csv = Lines(Slurp(W("none/stats.csv")));
  ASSERT_EQ(csv.size(), 12u);
  for (std::size_t row = 2; row < csv.size(); ++row) {
    // Cells per ID never change, and no land use develops anything.
    const auto before = Split(csv[row - 1], ',');
    const auto now = Split(csv[row], ',');
    for (std::size_t i = 1; i <= 8; ++i) EXPECT_EQ(now[i], before[i]) << csv[row];
    for (std::size_t i = 9; i < now.size(); ++i) EXPECT_EQ(now[i], "0") << csv[row];
  }
}

TEST_F(CliTest, StartFromAFileIsSizedToFitAndRecorded) {
  Result r = Run("run --rows 30 --cols 45 --steps 4 --quiet --no-gif --no-png --out a");
  ASSERT_EQ(r.code, 0) << r.err;
  r = Run("convert a/final.asc start.xya");
  ASSERT_EQ(r.code, 0) << r.err;
  r = Run("run --start a/final.asc --steps 6 --seed 2 --quiet --no-gif --no-png --out b");
  ASSERT_EQ(r.code, 0) << r.err;
  const Json doc = Json::parse(Slurp(W("b/run.json")));
  EXPECT_EQ(doc["run"]["rows"], 30);
  EXPECT_EQ(doc["run"]["cols"], 45);
  EXPECT_EQ(doc["run"]["start"], fs::absolute(W("a/final.asc")).lexically_normal().string());
  const auto csv = Lines(Slurp(W("b/stats.csv")));
  ASSERT_EQ(csv.size(), 8u);
  const auto startCounts = Counts(ReadAsc(W("a/final.asc")));
  const auto f = Split(csv[1], ',');
  for (int id = 0; id < 7; ++id)
    EXPECT_EQ(std::stol(f[static_cast<std::size_t>(1 + id)]),
              startCounts[static_cast<std::size_t>(id)]);
  r = Run("run --start a/final.asc --steps 6 --seed 2 --quiet --no-gif --no-png --out c");
  EXPECT_EQ(Slurp(W("b/final.asc")), Slurp(W("c/final.asc")));
}

TEST_F(CliTest, SnapshotsInEveryFormatAtTheRecordedSteps) {
  Result r =
      Run("run --rows 20 --cols 25 --steps 5 --every 2 --format asc --format flt --format e00 "
          "--format xya --quiet --out s");
  ASSERT_EQ(r.code, 0) << r.err;
  std::set<std::string> expected = {"final.asc",  "final.png", "final.tif", "final.tif.aux.xml",
                                    "growth.gif", "run.json",  "stats.csv"};
  for (const char* step : {"0000", "0002", "0004"})
    for (const char* ext : {"asc", "flt", "hdr", "e00", "xya"})
      expected.insert(std::string("step-") + step + "." + ext);
  EXPECT_EQ(Listing(W("s")), expected);
  EXPECT_EQ(ReadGif(W("s/growth.gif")).frames, 3u);
  // Step 0 is the start; step 4 is four steps of the library run.
  EXPECT_EQ(Slurp(W("s/step-0000.asc")), LibraryRun(20, 25, 1, false, 0, base_));
  EXPECT_EQ(Slurp(W("s/step-0004.asc")), LibraryRun(20, 25, 1, false, 4, base_));
  const auto hdr = Lines(Slurp(W("s/step-0002.hdr")));
  ASSERT_EQ(hdr.size(), 7u);
  EXPECT_EQ(hdr[0], "ncols  25\r");
  EXPECT_EQ(hdr[6], "byteorder LSBFIRST\r");
  EXPECT_EQ(std::filesystem::file_size(W("s/step-0002.flt")), 20u * 25u * 4u);
}

TEST_F(CliTest, ConvertInfoAndRender) {
  Result r = Run("run --rows 12 --cols 17 --steps 8 --quiet --no-gif --no-png --out a");
  ASSERT_EQ(r.code, 0) << r.err;
  const Grid original = ReadAsc(W("a/final.asc"));
  ASSERT_EQ(Run("convert a/final.asc maps/g.e00").code, 0);  // the folder is made
  ASSERT_EQ(Run("convert maps/g.e00 g.flt").code, 0);
  ASSERT_EQ(Run("convert g.flt g.dat").code, 0);
  r = Run("convert g.flt back.asc");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "");
  const Grid back = ReadAsc(W("back.asc"));
  EXPECT_EQ(back.values, original.values);
  // The float grid's georeference travels into the ASCII grid.
  EXPECT_NE(Slurp(W("back.asc")).find("xllcorner 3.789e+005\r\n"), std::string::npos);

  r = Run("info g.flt");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("size:           12 rows x 17 columns"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("lower-left x 378923, lower-left y 4072345, cell size 30"),
            std::string::npos)
      << r.out;
  const auto counts = Counts(original);
  CLandUseSet set;
  for (int id = 0; id < 7; ++id) {
    if (counts[static_cast<std::size_t>(id)] == 0) continue;
    const auto* lu = static_cast<const towngrow::CLandUse*>(set.m_LandUseArray.GetAt(id));
    char line[128];
    std::snprintf(line, sizeof line, "  %4d  %-24s %10ld %6.2f%%", id, lu->m_strLandUseName.c_str(),
                  counts[static_cast<std::size_t>(id)],
                  100.0 * static_cast<double>(counts[static_cast<std::size_t>(id)]) / (12 * 17));
    EXPECT_NE(r.out.find(line), std::string::npos) << line << "\n" << r.out;
  }
  r = Run("info g.dat");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(r.out.find("georeference:   none in this file"), std::string::npos) << r.out;

  r = Run("render maps/g.e00 pics/map.png --scale 3");
  ASSERT_EQ(r.code, 0) << r.err;
  const Image png = ReadPng(W("pics/map.png"));
  ASSERT_GE(png.width, 17 * 3);
  for (int row = 0; row < 12; ++row)
    for (int col = 0; col < 17; ++col)
      ASSERT_EQ(png.At(col * 3 + 1, row * 3 + 1),
                ColorRgb(set.GetColor(static_cast<unsigned char>(original.At(row, col)))));
  EXPECT_EQ(Listing(W("pics")), (std::set<std::string>{"map.png"}));
}

TEST_F(CliTest, BadInputGivesOneLineStatusTwoAndNoOutput) {
  std::ofstream(W("big.asc")) << "ncols 20000\nnrows 5\n";
  std::ofstream(W("bad.e00")) << "EXP  1\nGRD  2\n";
  std::ofstream(W("small.asc")) << "ncols 5\nnrows 5\nxllcorner 0\nyllcorner 0\ncellsize 30\n"
                                   "0 0 0 0 0\n0 0 0 0 0\n0 0 0 0 0\n0 0 0 0 0\n0 0 0 0 0\n";
  std::ofstream(W("unknown.json")) << R"({"landUses": [{"id": 3, "speed": 2}]})";
  std::ofstream(W("broken.json")) << R"({"landUses": [)";
  std::ofstream(W("notes.txt")) << "hello\n";
  std::ofstream(W("blocker")) << "a file\n";
  const std::set<std::string> inputs = Listing(work_);

  struct Case {
    std::string args;
    std::string message;
  };
  const Case cases[] = {
      {"run --out o --start missing.asc", "towngrow: error: missing.asc: no such file"},
      {"run --out o --start notes.txt", "notes.txt: unknown kind of file"},
      {"run --out o --start big.asc",
       "big.asc: the grid has 5 rows and 20000 columns, more than the largest grid of 10000 x "
       "10000"},
      {"run --out o --start bad.e00",
       "bad.e00: refused: Bad Export File Format... Check the format!!!"},
      {"run --out o --params unknown.json", "unknown.json: landUses[0].speed: unknown key"},
      {"run --out o --params broken.json", "broken.json: not valid JSON"},
      {"run --out o --params missing.json", "missing.json: cannot open the parameter file"},
      {"run --out o --background missing.asc", "missing.asc: no such file"},
      {"run --out o --background small.asc",
       "small.asc: the background has 5 rows and 5 columns, the town 200 and 200"},
      {"run --out o --rows 4", "--rows"},
      {"run --out o --cols 10001", "--cols"},
      {"run --out o --format png", "--format"},
      {"run --out o --every 0", "--every"},
      {"run --out blocker/o", "blocker/o: cannot create the output folder"},
      {"convert missing.asc o.e00", "missing.asc: no such file"},
      {"convert small.asc o.png", "o.png: cannot write this kind of file"},
      {"convert small.asc o.xy", "o.xy: cannot write this kind of file"},
      {"info bad.e00", "bad.e00: refused: Bad Export File Format... Check the format!!!"},
      {"render big.asc o.png", "more than the largest grid"},
      {"params --params unknown.json", "unknown.json: landUses[0].speed: unknown key"},
      {"", "towngrow: error:"},
      {"grow", "towngrow: error:"},
  };
  for (const auto& c : cases) ExpectBadInput(c.args, c.message, inputs);
}

TEST_F(CliTest, MemoryExhaustionIsABadInputToo) {
#ifdef TOWNGROW_ASAN
  GTEST_SKIP() << "address-space limits and the address sanitizer do not mix";
#endif
  // 10000 x 10000 cells need two coverages of 300 MB; allow far less.
  const Result r = Run("run --rows 10000 --cols 10000 --steps 1 --out o", "ulimit -v 250000; ");
  EXPECT_EQ(r.code, 2);
  const auto lines = Lines(r.err);
  ASSERT_EQ(lines.size(), 1u) << r.err;
  EXPECT_NE(lines[0].find("not enough memory for a grid of 10000 x 10000 cells"), std::string::npos)
      << lines[0];
  EXPECT_FALSE(fs::exists(W("o")));
}

TEST_F(CliTest, HelpOnEveryCommandAndVersion) {
  Result r = Run("--version");
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.out, std::string("towngrow ") + towngrow::Version() + "\n");
  for (const char* cmd : {"run", "params", "convert", "info", "render"}) {
    r = Run(std::string(cmd) + " --help");
    EXPECT_EQ(r.code, 0) << cmd;
    EXPECT_NE(r.out.find(std::string("towngrow ") + cmd), std::string::npos) << r.out;
  }
  r = Run("run --help");
  for (const char* shown : {"--rows INT:INT in [5 - 10000]=200", "--steps", "=100", "--seed UINT=1",
                            "--start TEXT=town", "--out TEXT=towngrow-out", "--every", "--format",
                            "--background", "--params", "--no-png", "--no-gif", "--quiet"})
    EXPECT_NE(r.out.find(shown), std::string::npos) << shown;
  r = Run("params");
  EXPECT_EQ(r.code, 0);
  CLandUseSet set;
  EXPECT_EQ(Json::parse(r.out), towngrow::app::SetToJson(set));
}
