// `towngrow compare` and `towngrow ensemble --observed` end to end: a hand-worked comparison's
// files, refused command lines, an ensemble's per-run comparisons against lone runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "params/params_json.h"
#include "support/program.h"

namespace {

using namespace testkit;
using towngrow::io::Json;

void WriteAsc(const fs::path& path, int rows, int cols, const std::vector<int>& ids) {
  std::ofstream out(path);
  out << "ncols " << cols << "\nnrows " << rows
      << "\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n";
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < cols; ++c)
      out << ids[static_cast<std::size_t>(r * cols + c)] << (c + 1 < cols ? " " : "\n");
}

class CompareCliTest : public ProgramTest {
protected:
  void SetUp() override {
    ProgramTest::SetUp();
    // The hand-worked maps of the library's tests (3 x 4, read into 5 x 5
    // coverages and compared at their own size), plus a 4 x 4 map.
    WriteAsc(W("start.asc"), 3, 4, {0, 0, 0, 0, 0, 3, 3, 0, 1, 1, 1, 1});
    WriteAsc(W("obs.asc"), 3, 4, {0, 3, 3, 0, 0, 3, 3, 4, 1, 1, 2, 1});
    WriteAsc(W("sim.asc"), 3, 4, {0, 3, 0, 3, 4, 3, 3, 3, 1, 1, 1, 6});
    WriteAsc(W("odd.asc"), 3, 4, {0, 3, 3, 0, 0, 3, 3, 4, 1, 1, 9, 9});
    WriteAsc(W("square.asc"), 4, 4, std::vector<int>(16, 0));
    std::ofstream(W("classes.json")) << R"({"classes": [{"name": "built", "ids": [1, 2, 3, 4, 5],
        "developed": true}, {"name": "open", "ids": [0, 6]}]})";
  }
  Json ReadJson(const fs::path& p) { return Json::parse(ReadAll(p)); }
};

TEST_F(CompareCliTest, HandWorkedFiles) {
  const Result r = Ok("compare obs.asc sim.asc --start start.asc --out out");
  EXPECT_EQ(Listing(W("out")),
            (std::set<std::string>{"agreement.png", "agreement.tif", "agreement.tif.aux.xml",
                                   "compare.json", "crosstab.csv", "landscape.csv", "report.html",
                                   "resolution.csv", "resolution.png"}));
  EXPECT_EQ(ReadAll(W("out/crosstab.csv")),
            "observed\\simulated,vacant,street,housing,industry,commerce,others,total\n"
            "vacant,1,0,1,1,0,0,3\nstreet,0,3,0,0,0,1,4\nhousing,1,0,3,0,0,0,4\n"
            "industry,0,0,1,0,0,0,1\ncommerce,0,0,0,0,0,0,0\nothers,0,0,0,0,0,0,0\n"
            "total,2,3,5,1,0,1,12\n");
  EXPECT_EQ(ReadAll(W("out/resolution.csv")),
            "block side,agreement,quantity,allocation\n1,0.583333,0.166667,0.250000\n"
            "2,0.750000,0.166667,0.083333\n4,0.833333,0.166667,0.000000\n");
  const Json doc = ReadJson(W("out/compare.json"));
  EXPECT_NEAR(doc["measures"]["kappa"].get<double>(), 3.0 / 7, 1e-12);
  EXPECT_NEAR(doc["measures"]["ksim"].get<double>(), -1.0 / 29, 1e-12);
  EXPECT_EQ(doc["crossTab"]["proportions"][1], Json::array({0.0, 0.25, 0.0, 0.0, 0.0, 1.0 / 12}));
  EXPECT_EQ(Json::array({doc["change"]["overall"]["falseAlarms"], doc["measures"]["fom.vacant"],
                         doc["undefined"]["fom.vacant"],
                         doc["landscape"]["housing"]["simulated"]["patches"]}),
            Json::parse(R"([3, null, "no change in either map", 1])"));
  EXPECT_NE(r.out.find("Figure of Merit 0.1667 (developed 0.3333)"), std::string::npos) << r.out;
  const std::string page = ReadAll(W("out/report.html"));  // its table: the map-wide measures
  EXPECT_TRUE(page.find("<td>kappa</td><td class=\"n\">0.4286</td>") != std::string::npos &&
              page.find("<td>fom.developed</td>") == std::string::npos);

  // The agreement map: 200 pixels per cell inside a grey frame, unchanged grey, hit green, miss
  // red, false alarm orange, wrong hit purple; a legend line per kind.
  Image png;
  ASSERT_TRUE(ReadPng(W("out/agreement.png").string(), png));
  const Rgb frame{128, 128, 128};
  auto isFrame = [&](int x, int y) { return png.At(x, y) == frame; };
  int left = 0, right = png.width - 1, top = 0, bottom = png.height / 2;
  while (left < right && !isFrame(left, png.height / 3)) ++left;
  while (right > left && !isFrame(right, png.height / 3)) --right;
  while (top < bottom && !isFrame(left + 5, top)) ++top;
  while (bottom + 1 < png.height && !isFrame(left + 5, bottom)) ++bottom;
  const int side = (right - left - 1) / 4;  // 3 rows, 4 columns, square cells
  ASSERT_EQ(side, 200);
  ASSERT_EQ(bottom - top - 1, 3 * side);
  auto at = [&](int row, int col) {
    return png.At(left + 1 + col * side + side / 2, top + 1 + row * side + side / 2);
  };
  const Rgb grey{230, 230, 230}, green{26, 152, 80}, red{215, 48, 39}, orange{253, 174, 97},
      purple{123, 50, 148};
  const std::tuple<int, int, Rgb> cells[] = {{0, 0, grey},   {0, 1, green},  {0, 2, red},
                                             {0, 3, orange}, {1, 3, purple}, {1, 0, orange},
                                             {1, 1, grey},   {2, 3, orange}};
  for (const auto& [row, col, kind] : cells) EXPECT_EQ(at(row, col), kind) << row << " " << col;
  for (const Rgb& kind : {green, red, orange, purple}) {  // each kind's swatch in the legend
    bool found = false;
    for (int y = bottom + 1; y < png.height && !found; ++y)
      for (int x = 0; x < png.width && !found; ++x) found = png.At(x, y) == kind;
    EXPECT_TRUE(found) << kind[0];
  }
  // The same kinds as codes in agreement.tif: 0 unchanged, 1 hit, 2 miss,
  // 3 false alarm, 4 wrong hit (read back into a 5 x 5 grid).
  Ok("convert out/agreement.tif codes.asc");
  std::vector<int> codes(25, 0);
  for (const auto& [cell, code] :
       {std::pair<int, int>{1, 1}, {2, 2}, {3, 3}, {5, 3}, {8, 4}, {13, 3}})
    codes[static_cast<std::size_t>(cell)] = code;
  EXPECT_EQ(AscCells(W("codes.asc")), codes);
}

TEST_F(CompareCliTest, ClassesAndUnclassifiedIds) {
  Result r = Ok("compare obs.asc odd.asc --classes classes.json --no-fuzzy --out out");
  Json doc = ReadJson(W("out/compare.json"));
  EXPECT_EQ(
      Json::array({doc["classes"][0]["name"], doc["classes"][1]["ids"],
                   doc["idsWithoutClass"]["simulated"]["9"], doc["cells"], doc.at("fuzzyKappa")}),
      Json::parse(R"(["built", [0, 6], 2, 10, null])"));
  EXPECT_NE(r.out.find("simulated map: 2 cells of ID 9 have no class"), std::string::npos);
  Ok("convert out/agreement.tif codes.asc");
  std::vector<int> codes(25, 0);  // same class but for "no class" (5) where ID 9 lies
  codes[12] = codes[13] = 5;
  EXPECT_EQ(AscCells(W("codes.asc")), codes);
  r = Ok("compare square.asc square.asc --quiet --out same");
  EXPECT_EQ(r.out, "");
  doc = ReadJson(W("same/compare.json"));
  EXPECT_EQ(doc["undefined"]["kappa"], "both maps hold one and the same class only");
}

TEST_F(CompareCliTest, RefusedCommandLines) {
  std::ofstream(W("dup.json"))
      << R"({"classes": [{"name": "a", "ids": [1]}, {"name": "b", "ids": [1]}]})";
  std::ofstream(W("key.json")) << R"({"classes": [{"name": "a", "ids": [1], "colour": 3}]})";
  std::ofstream(W("ids.json")) << R"({"classes": [{"name": "a", "developed": true}]})";
  std::ofstream(W("junk.txt")) << "not a map\n";
  const std::vector<std::pair<std::string, std::string>> table = {
      {"compare obs.asc square.asc",
       "square.asc: has 4 x 4 cells (rows x columns), the observed "
       "map obs.asc 3 x 4: maps of other sizes cannot be compared"},
      {"compare obs.asc sim.asc --start square.asc", "square.asc: has 4 x 4 cells"},
      {"compare obs.asc missing.asc", "missing.asc: no such file"},
      {"compare obs.asc junk.txt", "junk.txt: unknown kind of file"},
      {"compare obs.asc sim.asc --classes dup.json",
       "dup.json: classes[1].ids[0]: ID 1 is already"},
      {"compare obs.asc sim.asc --classes key.json",
       "key.json: classes[0].\"colour\": unknown key"},
      {"compare obs.asc sim.asc --classes ids.json", "ids.json: classes[0].ids: must be a list"},
      {"compare obs.asc sim.asc --halving 0", "--halving must be above 0"},
      {"ensemble --runs 2 --rows 30 --cols 40 --observed missing.asc", "missing.asc: no such file"},
      {"ensemble --runs 2 --rows 30 --cols 40 --observed square.asc",
       "square.asc: has 4 x 4 cells (rows x columns), the ensemble's grid 30 x 40"},
      {"ensemble --runs 2 --steps 1 --start-of-change sim.asc",
       "--start-of-change needs --observed"}};
  for (const auto& [args, message] : table) ExpectBadInput(args + " --out out", message);
}

// Run i of an ensemble compared with the observed map gives what `compare`
// gives for a lone run with the seed of run i, and threads change nothing.
TEST_F(CompareCliTest, EnsembleRunsMatchLoneComparisons) {
  const std::string size = " --rows 30 --cols 40", grid = size + " --steps 12";
  Ok("run" + grid + " --seed 50 --no-png --no-gif --quiet --out o");
  Ok("run" + size + " --steps 0 --no-png --no-gif --quiet --out s");
  for (const char* threads : {"1", "3"})
    Ok("ensemble --runs 3 --seed 7 --seed-step 4 --observed o/final.asc" + grid +
       " --quiet --threads " + threads + " --out e" + threads);
  for (const char* name : {"comparison.csv", "comparison.json"})
    EXPECT_EQ(ReadAll(W(std::string("e1/") + name)), ReadAll(W(std::string("e3/") + name))) << name;
  const std::vector<std::string> csv = Split(ReadAll(W("e1/comparison.csv")));
  ASSERT_EQ(csv.size(), 4u);
  const std::vector<std::string> names = Split(csv[0], ',');
  for (int i = 0; i < 3; ++i) {
    const std::string seed = std::to_string(7 + 4 * i);
    Ok("run" + grid + " --seed " + seed + " --no-png --no-gif --quiet --out r");
    Ok("compare o/final.asc r/final.asc --start s/final.asc --quiet --out c");
    const Json lone = Json::parse(ReadAll(W("c/compare.json")))["measures"];
    const std::vector<std::string> got = Split(csv[static_cast<std::size_t>(i) + 1], ',');
    EXPECT_EQ(got[1], seed);
    for (std::size_t m = 2; m < names.size(); ++m) {
      SCOPED_TRACE("run " + std::to_string(i) + " " + names[m]);
      const Json& want = lone[names[m]];
      if (want.is_null()) {
        EXPECT_EQ(m < got.size() ? got[m] : "", "");
      } else {
        ASSERT_LT(m, got.size());
        EXPECT_NEAR(std::stod(got[m]), want.get<double>(), 5e-7);
      }
    }
  }
  const Json summary = Json::parse(ReadAll(W("e1/comparison.json")));
  EXPECT_EQ(summary["measures"]["agreement"]["runs"], 3);
  EXPECT_EQ(summary["measures"]["fom.developed"]["runs"], 3);
  EXPECT_EQ(summary["undefined"]["fom.others"], "no run has a value");
  double sum = 0;
  for (const auto& bin : summary["developedProbability"]["reliability"])
    sum += bin["cells"].get<double>();
  EXPECT_EQ(sum, 1200);

  // The summary printed ends with the last measures' means (sd) as comparison.json holds them, the
  // AUC, and the observed cells that no class takes (those of ID 5 here).
  std::ofstream(W("no5.json")) << R"({"classes": [{"name": "built", "ids": [1, 2, 3, 4],
      "developed": true}, {"name": "open", "ids": [0, 6]}]})";
  const std::string out =
      Ok("ensemble --runs 3 --observed o/final.asc --classes no5.json" + grid + " --out s5").out;
  const Json j = Json::parse(ReadAll(W("s5/comparison.json")));
  const std::vector<int> observed = AscCells(W("o/final.asc"));
  const auto fives = std::count(observed.begin(), observed.end(), 5);
  const Json& m = j["measures"];
  char want[256];
  std::snprintf(want, sizeof want,
                ")\n  fom.developed %.4f (%.4f)  ksim %.4f (%.4f)\n  probability of developed: ROC "
                "AUC %.4f; reliability table in comparison.json\n  observed map: %d cells of ID 5 "
                "have no class and are left out\n",
                m["fom.developed"]["mean"].get<double>(), m["fom.developed"]["sd"].get<double>(),
                m["ksim"]["mean"].get<double>(), m["ksim"]["sd"].get<double>(),
                j["developedProbability"]["auc"].get<double>(), static_cast<int>(fives));
  EXPECT_GT(fives, 0);
  EXPECT_EQ(out.substr(out.size() - std::strlen(want)), want);
  EXPECT_EQ(j["idsWithoutClass"]["observed"]["5"], fives);
}

}  // namespace
