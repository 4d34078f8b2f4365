// Schedules and suitability surfaces through the program: a run records them (files and SHA-256)
// and repeats them; every bad schedule or surface is refused in one line naming the file and entry,
// writing nothing; a calibration database made with another schedule is refused.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "io/json_file.h"
#include "support/program.h"

namespace {

using namespace testkit;
using towngrow::io::Json;

class ScenarioCli : public ProgramTest {
protected:
  // A 30 x 30 ASCII grid of `value`, `mark` in row 5 columns 3 to 20, no-data -1 when `noData`.
  void Layer(const std::string& name, const std::string& value, const std::string& mark,
             bool noData = true, int rows = 30) {
    std::string text = "ncols 30\nnrows " + std::to_string(rows) +
                       "\nxllcorner 0\nyllcorner 0\ncellsize 30\n" +
                       (noData ? "NODATA_value -1\n" : "");
    for (int r = 0; r < rows; ++r, text += "\n")
      for (int c = 0; c < 30; ++c) text += (r == 5 && c >= 3 && c <= 20 ? mark : value) + " ";
    std::ofstream(W(name)) << text;
  }
  void Text(const std::string& name, const std::string& text) { std::ofstream(W(name)) << text; }
};

TEST_F(ScenarioCli, RunsRecordAndRepeatTheirScheduleAndRefuseBadOnesWhole) {
  Layer("road.asc", "-1", "2");
  Layer("half.asc", "50", "50", false);
  Layer("all.asc", "255", "255", false);
  Text("s.json", R"([{"step": 4, "layers": ["road.asc"], "suitability": "half.asc"},
                     {"step": 2, "background": "all.asc"}, {"step": 90, "layers": ["road.asc"]}])");
  const Result r =
      Ok("run --rows 30 --cols 30 --steps 6 --schedule s.json --suitability half.asc "
         "--quiet --no-png --no-gif --format asc --every 1 --out o");
  EXPECT_EQ(r.err,
            "towngrow: warning: s.json: the entries of step 90 come after the last step "
            "(6) and take no effect\n");
  // The road is in the map after 4 steps, not after 3.
  EXPECT_EQ(AscCells(W("o/step-0003.asc"))[5 * 30 + 10], 0);
  EXPECT_EQ(AscCells(W("o/step-0004.asc"))[5 * 30 + 10], 2);
  const Json run = Json::parse(ReadAll(W("o/run.json")))["run"];
  EXPECT_EQ(run["scenario"]["steps"], Json::array({2, 4, 90}));
  EXPECT_EQ(run["scenario"]["files"].size(), 6u);  // the surface, the schedule, the four it names
  EXPECT_EQ(run["scenario"]["files"][1]["sha256"].get<std::string>().size(), 64u);
  const std::string repeat = run["repeat"];
  ASSERT_NE(repeat.find(" --schedule "), std::string::npos);
  Ok(repeat.substr(9) + " --quiet --out again");
  EXPECT_EQ(ReadAll(W("again/final.asc")), ReadAll(W("o/final.asc")));

  Layer("short.asc", "1", "1", true, 20);
  Layer("fraction.asc", "-1", "2.5");
  Layer("over.asc", "101", "0", false), Layer("gap.asc", "100", "-1");  // no-data: nothing settles
  Ok("run --rows 30 --cols 30 --steps 1 --suitability gap.asc --quiet --no-png --no-gif --out g");
  Text("late.json", R"([{"step": 0}])");
  Text("twice.json", R"([{"step": 3}, {"step": 3, "layers": []}])");
  Text("missing.json", R"([{"step": 3, "layers": ["nothere.asc"]}])");
  Text("short.json", R"([{"step": 3, "layers": ["short.asc"]}])");
  Text("fraction.json", R"([{"step": 3, "layers": ["fraction.asc"]}])");
  Text("key.json", R"([{"step": 3, "roads": ["road.asc"]}])");
  Text("over.json", R"([{"step": 7, "suitability": "over.asc"}])");
  Text("notalist.json", R"({"step": 3})");
  const std::pair<std::string, std::string> rows[] = {
      {"--schedule late.json", "late.json: entry 1: \"step\" must be 1 or more, got 0"},
      {"--schedule twice.json", "twice.json: entry 2 (step 3): a second entry for step 3"},
      {"--schedule missing.json", "missing.json: entry 1 (step 3): layers[0]: "},
      {"--schedule missing.json", "nothere.asc: no such file"},
      {"--schedule short.json", "short.asc: has 20 rows and 30 columns, the grid 30 and 30"},
      {"--schedule fraction.json", "fraction.asc: row 5, column 3: value 2.5 is no land-use ID"},
      {"--schedule key.json", "key.json: entry 1: unknown key \"roads\""},
      {"--schedule notalist.json", "notalist.json: the schedule: must be a list"},
      {"--schedule over.json", "over.json: entry 1 (step 7): suitability: "},
      {"--suitability over.asc", "--suitability: "},
      {"--suitability over.asc", "over.asc: row 0, column 0: suitability 101 is outside 0 to 100"}};
  for (const auto& [args, message] : rows)
    for (const char* command : {"run", "ensemble --runs 2"})
      ExpectBadInput(std::string(command) + " --rows 30 --cols 30 --steps 5 --out bad " + args,
                     message);

  // A calibration grows under its schedule (its fit scores otherwise without it) and goes on
  // only with that one; its best point's ensemble is the ensemble command's, file for file, with
  // the background, the classes, a start's no-data value and a control map's no-data cells.
  Text("space.json", R"([{"id": 3, "field": "suitabilityWeight", "values": [1, 2]}])");
  Text("classes.json", R"({"classes": [{"name": "built", "ids": [1, 2, 3], "developed": true},
      {"name": "rest", "ids": [0, 4, 5]}]})");
  std::string control = ReadAll(W("o/step-0006.asc"));
  const std::size_t row0 = control.find('\n', control.find("nodata_value")) + 1;
  Text("c.asc", control.replace(row0, 6, "-9999 -9999 -9999 "));
  Layer("bg.asc", "247", "255", false);  // housing only in row 5
  std::string start = ReadAll(W("o/step-0000.asc"));
  Text("st.asc", start.replace(start.find("-9999"), 5, "-1"));
  const std::string inputs =
      " --start st.asc --seed-step 3 --runs 2 --extent full "
      "--chart-scale log --background bg.asc --classes classes.json --quiet "
      "--out ";
  const std::string calibrate = "calibrate --observed c.asc:6 --space space.json" + inputs;
  Ok(calibrate + "fit --schedule s.json"), Ok(calibrate + "plain");
  EXPECT_NE(Json::parse(ReadAll(W("fit/best.json")))["run"]["objectiveValue"],
            Json::parse(ReadAll(W("plain/best.json")))["run"]["objectiveValue"]);
  fs::rename(W("fit/best/step-6"), W("aside"));
  Ok("ensemble --steps 6 --observed c.asc --schedule s.json --params fit/best.json" + inputs +
     "fit/best/step-6");
  for (const std::string& f : Listing(W("fit/best/step-6")))
    EXPECT_EQ(ReadAll(W("aside/" + f)), ReadAll(W("fit/best/step-6/" + f))) << f;
  Text("s.json", R"([{"step": 3, "layers": ["road.asc"]}])");
  ExpectBadInput(calibrate + "fit --schedule s.json", "scenario");

  // Abandonment: a housing that grows old within 2 steps gives cells up by
  // the horizon of 40 steps; held ages give none up and reach best.json.
  Text("old.json", R"({"landUses": [{"id": 3, "activeAge": 1, "inactivePeriod": 1},
      {"id": 4, "activeAge": 2, "inactivePeriod": 0}, {"id": 5, "activeAge": 1, "inactivePeriod": 3},
      {"id": 1, "activeAge": 1, "inactivePeriod": 1}]})");
  const std::string fit =
      "calibrate --start town --rows 30 --cols 30 --observed o/step-0006.asc:6 --space space.json "
      "--runs 1 --params old.json --horizon 40 --out ";
  for (const bool hold : {false, true}) {
    const Result r = Ok(fit + (hold ? "held --hold-ages" : "free"));
    const std::size_t at = r.out.find(" by step 40 (the horizon)");
    ASSERT_NE(at, std::string::npos) << r.out;
    EXPECT_EQ(r.out.substr(r.out.rfind(", ", at) + 2, at - r.out.rfind(", ", at) - 2) == "0.0",
              hold)
        << r.out;
  }
  const Json held = Json::parse(ReadAll(W("held/best.json")))["landUses"];
  for (int id : {1, 3, 4, 5})  // housing, industry and commerce; street nodes keep theirs
    EXPECT_EQ(held[id]["activeAge"].get<int>() + held[id]["inactivePeriod"].get<int>(),
              id == 1 ? 2 : 40);
}

}  // namespace
