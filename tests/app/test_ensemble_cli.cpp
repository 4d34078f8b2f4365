// `towngrow ensemble` end to end: the program runs in a scratch folder and
// its files are checked against lone `towngrow run`s with the seeds of the
// ensemble's runs.
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>

#include <array>
#include <cmath>
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

namespace fs = std::filesystem;
using towngrow::CLandUseSet;
using towngrow::app::Json;

#ifndef TOWNGROW_EXE
#error "TOWNGROW_EXE must name the towngrow program"
#endif

namespace {

using namespace program_test;

const std::set<std::string> kOutputs = {
    "housing.asc",  "housing.png",   "industry.asc", "industry.png",  "commerce.asc",
    "commerce.png", "street.asc",    "street.png",   "developed.asc", "developed.png",
    "ensemble.csv", "ensemble.json", "housing.tif",  "industry.tif",  "commerce.tif",
    "street.tif",   "developed.tif"};

// Whether an ID of the default set belongs to a tracked class.
bool InClass(const std::string& cls, int id) {
  if (cls == "housing") return id == 3;
  if (cls == "industry") return id == 4;
  if (cls == "commerce") return id == 5;
  if (cls == "street") return id == 1 || id == 2;
  return id >= 1 && id <= 5;  // developed
}

const char* const kClasses[] = {"housing", "industry", "commerce", "street", "developed"};

class EnsembleCliTest : public program_test::ProgramTest {
protected:
  // Runs `towngrow run` once per run of the ensemble (seeds S + i*K) and
  // checks the ensemble's grids and table against them.
  void ExpectEnsembleOfLoneRuns(const std::string& ensembleDir, const std::string& options,
                                unsigned seed, unsigned seedStep, int runs) {
    std::vector<Grid> finals;
    std::vector<std::vector<std::vector<long>>> cellsPerStep;  // [run][step][id]
    for (int i = 0; i < runs; ++i) {
      const std::string dir = ensembleDir + "-run" + std::to_string(i);
      const unsigned runSeed = seed + static_cast<unsigned>(i) * seedStep;
      const Result r = Run("run " + options + " --seed " + std::to_string(runSeed) +
                           " --no-png --no-gif --quiet --out " + dir);
      ASSERT_EQ(r.code, 0) << r.err;
      finals.push_back(ReadAsc(W(dir) / "final.asc"));
      std::vector<std::vector<long>> steps;
      const auto csv = Lines(Slurp(W(dir) / "stats.csv"));
      for (std::size_t row = 1; row < csv.size(); ++row) {
        const auto f = Split(csv[row], ',');
        std::vector<long> cells;
        for (int id = 0; id < 7; ++id)
          cells.push_back(std::stol(f[static_cast<std::size_t>(1 + id)]));
        steps.push_back(cells);
      }
      cellsPerStep.push_back(steps);
    }

    // Per cell: the share of lone runs whose end state has the cell in the class.
    for (const char* cls : kClasses) {
      SCOPED_TRACE(cls);
      const Grid g = ReadAsc(W(ensembleDir) / (std::string(cls) + ".asc"));
      ASSERT_EQ(g.rows, finals[0].rows);
      ASSERT_EQ(g.cols, finals[0].cols);
      EXPECT_EQ(g.header, finals[0].header);  // size and georeference of the run's grid
      for (std::size_t k = 0; k < g.values.size(); ++k) {
        int count = 0;
        for (const Grid& f : finals) count += InClass(cls, f.values[k]) ? 1 : 0;
        ASSERT_EQ(g.values[k], static_cast<int>(std::floor(100.0 * count / runs + 0.5)))
            << "cell " << k;
      }
    }

    // Per step and land use: mean and sample deviation over the lone runs.
    const auto csv = Lines(Slurp(W(ensembleDir) / "ensemble.csv"));
    ASSERT_EQ(csv.size(), cellsPerStep[0].size() + 1);
    const auto header = Split(csv[0], ',');
    ASSERT_EQ(header.size(), 1u + 2u * 7u);
    EXPECT_EQ(header[0], "step");
    EXPECT_EQ(header[7], "Housing (ID 3) mean");
    EXPECT_EQ(header[8], "Housing (ID 3) sd");
    for (std::size_t step = 0; step + 1 < csv.size(); ++step) {
      const auto f = Split(csv[step + 1], ',');
      ASSERT_EQ(f.size(), header.size());
      EXPECT_EQ(f[0], std::to_string(step));
      for (int id = 0; id < 7; ++id) {
        double sum = 0;
        for (const auto& run : cellsPerStep)
          sum += static_cast<double>(run[step][static_cast<std::size_t>(id)]);
        const double mean = sum / runs;
        double squares = 0;
        for (const auto& run : cellsPerStep) {
          const double d = static_cast<double>(run[step][static_cast<std::size_t>(id)]) - mean;
          squares += d * d;
        }
        const double sd = runs > 1 ? std::sqrt(squares / (runs - 1)) : 0.0;
        EXPECT_NEAR(std::stod(f[static_cast<std::size_t>(1 + 2 * id)]), mean, 0.00051)
            << "step " << step << " ID " << id;
        EXPECT_NEAR(std::stod(f[static_cast<std::size_t>(2 + 2 * id)]), sd, 0.00051)
            << "step " << step << " ID " << id;
      }
    }
  }
};

}  // namespace

TEST_F(EnsembleCliTest, EachRunIsTheLoneRunWithItsSeed) {
  const std::string options = "--rows 24 --cols 31 --steps 14";
  Result r = Run("ensemble --runs 5 --seed 9 --seed-step 7 " + options + " --out e");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.err, "");  // no terminal: no progress bar
  EXPECT_EQ(Listing(W("e")), kOutputs);
  EXPECT_NE(r.out.find("Grew 5 runs of 24 x 31 cells for 14 steps (seed 9 + i * 7) into e\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find(" runs per second"), std::string::npos) << r.out;
  ExpectEnsembleOfLoneRuns("e", options, 9, 7, 5);

  // One run picked from the ensemble (i = 3) repeats alone: an ensemble of
  // that run only is 0 or 100 in every cell, exactly the lone run's classes.
  r = Run("ensemble --runs 1 --seed 30 " + options + " --out pick --quiet");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "");
  ExpectEnsembleOfLoneRuns("pick", options, 30, 1, 1);
}

TEST_F(EnsembleCliTest, RandomStartsAreMadeByEachRunFromItsOwnSeed) {
  const std::string options = "--rows 20 --cols 26 --steps 9 --start random";
  const Result r = Run("ensemble --runs 4 --seed 4000000000 --seed-step 123456789 " + options +
                       " --quiet --out e");
  ASSERT_EQ(r.code, 0) << r.err;
  // The seeds wrap: 4000000000 + 3 * 123456789 passes 2^32.
  ExpectEnsembleOfLoneRuns("e", options, 4000000000u, 123456789u, 4);
  // The start row of the table differs between runs: its deviation is not 0.
  const auto csv = Lines(Slurp(W("e/ensemble.csv")));
  EXPECT_NE(Split(csv[1], ',')[2], "0.0000") << csv[1];
}

TEST_F(EnsembleCliTest, ParametersAndBackgroundReachEveryRun) {
  std::ofstream(W("params.json"))
      << R"({"landUses": [{"id": 3, "activeAge": 12, "residentialLandUseProb": [40, 30, 30]},
      {"id": 4, "neighborRadius": 2}]})";
  {
    // Streets may grow only in the left half; everything else anywhere.
    std::ofstream bg(W("bg.asc"));
    bg << "ncols 30\nnrows 22\nxllcorner 1000\nyllcorner 2000\ncellsize 10\n";
    for (int r = 0; r < 22; ++r) {
      for (int c = 0; c < 30; ++c) bg << (c < 15 ? 255 : 255 - 6) << ' ';
      bg << '\n';
    }
  }
  const std::string options =
      "--rows 22 --cols 30 --steps 12 --params params.json --background bg.asc";
  Result r = Run("ensemble --runs 3 --seed 2 --seed-step 5 " + options + " --quiet --out e");
  ASSERT_EQ(r.code, 0) << r.err;
  ExpectEnsembleOfLoneRuns("e", options, 2, 5, 3);

  // ensemble.json: the parameters in force and what repeats the ensemble.
  const Json doc = Json::parse(Slurp(W("e/ensemble.json")));
  EXPECT_EQ(doc["landUses"][3]["activeAge"], 12);
  const Json& run = doc["run"];
  EXPECT_EQ(run["command"], "ensemble");
  EXPECT_EQ(run["runs"], 3);
  EXPECT_EQ(run["seed"], 2);
  EXPECT_EQ(run["seedStep"], 5);
  EXPECT_EQ(run["steps"], 12);
  EXPECT_EQ(run["rows"], 22);
  EXPECT_EQ(run["start"], "town");
  EXPECT_EQ(run["background"], fs::absolute(W("bg.asc")).lexically_normal().string());
  ASSERT_EQ(run["tracked"].size(), 5u);
  EXPECT_EQ(run["tracked"][3]["name"], "street");
  EXPECT_EQ(run["tracked"][3]["categories"], (Json{"StreetNode", "StreetVertex"}));

  // The recorded command line (ensemble.json as the parameter file) repeats it.
  const std::string again = run["repeat"].get<std::string>();
  ASSERT_EQ(again.rfind("towngrow ensemble ", 0), 0u) << again;
  r = Run(again.substr(std::string("towngrow ").size()) + " --quiet --out again");
  ASSERT_EQ(r.code, 0) << r.err;
  for (const auto& name : kOutputs) {
    if (name == "ensemble.json") continue;
    EXPECT_EQ(Slurp(W("e") / name), Slurp(W("again") / name)) << name;
  }

  // Without the parameter file the housing differs.
  r =
      Run("ensemble --runs 3 --seed 2 --seed-step 5 --rows 22 --cols 30 --steps 12 --background "
          "bg.asc --quiet --out plain");
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_NE(Slurp(W("e/housing.asc")), Slurp(W("plain/housing.asc")));
}

TEST_F(EnsembleCliTest, ThreadCountsGiveIdenticalFiles) {
  const std::string options =
      "ensemble --runs 9 --seed 17 --seed-step 3 --rows 30 --cols 30 --steps 10 --quiet";
  for (const char* threads : {"1", "2", "5"}) {
    const Result r = Run(options + " --threads " + threads + " --out t" + threads);
    ASSERT_EQ(r.code, 0) << r.err;
  }
  for (const char* threads : {"2", "5"})
    for (const auto& name : kOutputs) {
      if (name == "ensemble.json") {
        Json a = Json::parse(Slurp(W("t1") / name)),
             b = Json::parse(Slurp(W(std::string("t") + threads) / name));
        a["run"].erase("repeat");  // names the output folder
        b["run"].erase("repeat");
        EXPECT_EQ(a, b) << threads;
      } else {
        EXPECT_EQ(Slurp(W("t1") / name), Slurp(W(std::string("t") + threads) / name))
            << name << ", " << threads;
      }
    }
  // Random starts go through their own workers: the same holds.
  for (const char* threads : {"1", "3"}) {
    const Result r = Run(options + " --start random --threads " + threads + " --out r" + threads);
    ASSERT_EQ(r.code, 0) << r.err;
  }
  for (const auto& name : kOutputs) {
    if (name == "ensemble.json") continue;
    EXPECT_EQ(Slurp(W("r1") / name), Slurp(W("r3") / name)) << name;
  }
}

TEST_F(EnsembleCliTest, HeatMapsShowThePercentagesInTheClassColours) {
  const Result r = Run("ensemble --runs 6 --rows 20 --cols 25 --steps 12 --quiet --out e");
  ASSERT_EQ(r.code, 0) << r.err;
  CLandUseSet set;
  const std::pair<const char*, unsigned int> colours[] = {{"housing", set.GetColor(3)},
                                                          {"industry", set.GetColor(4)},
                                                          {"commerce", set.GetColor(5)},
                                                          {"street", set.GetColor(1)},
                                                          {"developed", 0x404040u}};
  const int scale = towngrow::app::DefaultScale(20, 25);
  for (const auto& [cls, colour] : colours) {
    SCOPED_TRACE(cls);
    const Grid g = ReadAsc(W("e") / (std::string(cls) + ".asc"));
    const Image img = ReadPng(W("e") / (std::string(cls) + ".png"));
    ASSERT_GE(img.width, 25 * scale);
    ASSERT_GT(img.height, 20 * scale);
    std::set<int> seen;
    for (int row = 0; row < 20; ++row)
      for (int col = 0; col < 25; ++col) {
        const int p = g.values[static_cast<std::size_t>(row * 25 + col)];
        seen.insert(p);
        unsigned char rgb[3];
        towngrow::app::HeatColor(colour, p, rgb);
        ASSERT_EQ(img.At(col * scale + scale / 2, row * scale + scale / 2),
                  (Rgb{rgb[0], rgb[1], rgb[2]}))
            << row << "," << col << ": " << p << " %";
      }
    EXPECT_GE(seen.size(), 2u);
    for (int p : seen)
      EXPECT_EQ(p, static_cast<int>(std::floor(100.0 * std::round(p * 6 / 100.0) / 6 + 0.5))) << p;
  }
}

TEST_F(EnsembleCliTest, BadInputGivesOneLineStatusTwoAndNoOutput) {
  std::ofstream(W("small.asc")) << "ncols 5\nnrows 5\nxllcorner 0\nyllcorner 0\ncellsize 30\n"
                                   "0 0 0 0 0\n0 0 0 0 0\n0 0 0 0 0\n0 0 0 0 0\n0 0 0 0 0\n";
  std::ofstream(W("unknown.json")) << R"({"landUses": [{"id": 3, "speed": 2}]})";
  std::ofstream(W("blocker")) << "a file\n";
  const std::set<std::string> inputs = Listing(work_);
  struct Case {
    std::string args, message;
  };
  const Case cases[] = {
      {"ensemble --out o", "--runs is required"},
      {"ensemble --out o --runs 0", "--runs"},
      {"ensemble --out o --runs 65536", "--runs"},
      {"ensemble --out o --runs 2 --threads -1", "--threads"},
      {"ensemble --out o --runs 2 --start missing.asc", "missing.asc: no such file"},
      {"ensemble --out o --runs 2 --params unknown.json",
       "unknown.json: landUses[0].speed: unknown key"},
      {"ensemble --out o --runs 2 --background small.asc",
       "small.asc: the background has 5 rows and 5 columns, the town 200 and 200"},
      {"ensemble --out o --runs 2 --rows 4", "--rows"},
      {"ensemble --out o --runs 2 --steps -1", "--steps"},
      {"ensemble --out blocker/o --runs 2 --rows 5 --cols 5 --steps 1",
       "blocker/o: cannot create the output folder"},
  };
  for (const auto& c : cases) ExpectBadInput(c.args, c.message, inputs);
  // The most runs are accepted (checked without running them all: the
  // parse and the refusal of a bad start come first).
  const Result r = Run("ensemble --out o --runs 65535 --start missing.asc");
  EXPECT_EQ(r.code, 2);
  EXPECT_NE(r.err.find("missing.asc: no such file"), std::string::npos) << r.err;
}

TEST_F(EnsembleCliTest, HelpNamesTheSharedAndOwnOptions) {
  const Result r = Run("ensemble --help");
  EXPECT_EQ(r.code, 0);
  for (const char* shown :
       {"--runs", "--seed-step", "--threads", "--rows INT:INT in [5 - 10000]=200", "--seed UINT=1",
        "--start TEXT=town", "--background", "--params", "--steps", "--out TEXT=towngrow-ensemble",
        "--quiet"})
    EXPECT_NE(r.out.find(shown), std::string::npos) << shown;
  EXPECT_EQ(r.out.find("--every"), std::string::npos);
}

TEST_F(EnsembleCliTest, MessagesOfEveryRunAreCountedOnce) {
  // A second housing land use makes the industry rule show its notice
  // (it settles next to an ID that differs from the default roster's).
  std::ofstream(W("villas.json"))
      << R"({"landUses": [{"id": 9, "kind": "House", "name": "Villas"}]})";
  const std::string options = "--rows 30 --cols 30 --steps 15 --params villas.json";
  const std::string notice = "Yes,You have changed the Industry setting,..";
  auto countIn = [&](const std::string& out) {
    const auto at = out.find(notice);
    if (at == std::string::npos) return -1L;
    const auto lineStart = out.rfind('\n', at);
    return std::stol(out.substr(lineStart + 1, at - lineStart - 1));
  };
  long lone = 0;
  for (int i = 0; i < 4; ++i) {
    const Result r = Run("run " + options + " --seed " + std::to_string(3 + i) +
                         " --no-png --no-gif --out run" + std::to_string(i));
    ASSERT_EQ(r.code, 0) << r.err;
    const long n = countIn(r.out);
    if (n > 0) lone += n;
  }
  ASSERT_GT(lone, 0);
  for (const char* threads : {"1", "4"}) {
    const Result r = Run("ensemble --runs 4 --seed 3 " + options + " --threads " + threads +
                         " --out e" + threads);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(countIn(r.out), lone) << r.out;
  }
}

TEST_F(EnsembleCliTest, StartFromAFileKeepsItsSizeAndGeoreference) {
  Result r = Run("run --rows 18 --cols 23 --steps 6 --quiet --no-gif --no-png --out a");
  ASSERT_EQ(r.code, 0) << r.err;
  r = Run("convert a/final.asc start.flt");  // a float grid carries a georeference
  ASSERT_EQ(r.code, 0) << r.err;
  const std::string options = "--start start.flt --steps 8";
  r = Run("ensemble --runs 3 --seed 40 --seed-step 2 " + options + " --quiet --out e");
  ASSERT_EQ(r.code, 0) << r.err;
  ExpectEnsembleOfLoneRuns("e", options, 40, 2, 3);
  const Grid g = ReadAsc(W("e/developed.asc"));
  EXPECT_EQ(g.rows, 18);
  EXPECT_EQ(g.cols, 23);
  EXPECT_NE(g.header.find("xllcorner 3.789e+005"), std::string::npos) << g.header;
}
