// `towngrow calibrate` end to end: a calibration killed with SIGKILL and rerun ends with the
// database and ranking of an uninterrupted one; the best point's run repeats with `towngrow run`
// and held-out maps score it apart; refused input writes nothing.
#include <gtest/gtest.h>

#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "params/params_json.h"
#include "support/program.h"

namespace {

using namespace testkit;
using towngrow::io::Json;

// Every row of the database's tables, in key order, as text.
std::string Dump(const fs::path& db, long* points = nullptr) {
  sqlite3* h = nullptr;
  if (sqlite3_open_v2(db.c_str(), &h, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(h);
    return "no database";
  }
  std::string text;
  for (const char* sql : {"SELECT * FROM meta ORDER BY key", "SELECT * FROM points ORDER BY key",
                          "SELECT * FROM measures ORDER BY point, control, measure",
                          "SELECT * FROM stopped ORDER BY point"}) {
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(h, sql, -1, &st, nullptr) != SQLITE_OK) {
      text += "no table\n";
      continue;
    }
    long rows = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
      ++rows;
      for (int c = 0; c < sqlite3_column_count(st); ++c) {
        const unsigned char* v = sqlite3_column_text(st, c);
        // Reals as their exact bits, through the shortest round-trip text.
        if (sqlite3_column_type(st, c) == SQLITE_FLOAT) {
          char buf[40];
          std::snprintf(buf, sizeof buf, "%.17g", sqlite3_column_double(st, c));
          text += buf;
        } else {
          text += v ? reinterpret_cast<const char*>(v) : "NULL";
        }
        text += '|';
      }
      text += '\n';
    }
    if (points && std::string(sql).find("points") != std::string::npos) *points = rows;
    sqlite3_finalize(st);
  }
  sqlite3_close(h);
  return text;
}

class CalibrateCliTest : public ProgramTest {
protected:
  void SetUp() override {
    ProgramTest::SetUp();
    std::ofstream(W("truth.json"))
        << R"({"landUses": [{"id": 1, "minStep": 3}, {"id": 3, "neighborRadius": 2}]})";
    Ok("run --params truth.json --rows 30 --cols 30 --steps 8 --every 4 --format asc "
       "--seed 1000 --out obs --quiet --no-png --no-gif");
    Space("space.json", R"([{"id": 1, "field": "minStep", "values": [1, 3, 5, 7]},
        {"id": 3, "field": "neighborRadius", "min": 0, "max": 3, "step": 1},
        {"id": 3, "field": "streetPercent", "values": [0, 20, 40, 60]}])");
  }
  void Space(const std::string& name, const std::string& text) { std::ofstream(W(name)) << text; }
  std::string Command(const std::string& out, const std::string& more = "") {
    return "calibrate --start town --rows 30 --cols 30 --observed obs/step-0004.asc:4 --observed "
           "obs/step-0008.asc:8 --space space.json --runs 3 --seed 7 --seed-step 5 --out " +
           out + more;
  }
};

// For each search (a lattice, CMA-ES's generations, Morris's trajectories): killed once some points
// are in and rerun, the database and files equal an uninterrupted run's on more threads.
TEST_F(CalibrateCliTest, KilledAndRerunEndsAsAnUninterruptedRun) {
  // Each: the method, its own file (compared too), a third run's first round line, the plan.
  const std::tuple<const char*, const char*, const char*, const char*> searches[] = {
      {" --method refine --rounds 2 --lattice 3", "rounds.csv", "round 1: 64 points (0 run now)",
       "refine: 64 points in round 1, then up to 27 per round of 1 more (at most 91 in all): "},
      {" --method morris --trajectories 12", "sensitivity.csv",
       "round 1: ", "morris: 48 points: 12 Morris trajectories over 3 parameters"},
      {" --method cmaes --evaluations 40", "rounds.csv", "generation 1: 7 points (0 run now)",
       "cmaes: 40 points at most (the budget), 7 per round: a generation"}};
  for (const auto& [method, file, round1, plan] : searches) {
    SCOPED_TRACE(method);
    for (const char* d : {"whole", "cut", "s8"}) fs::remove_all(W(d));
    const Result whole = Ok(Command("whole", std::string(" --threads 2") + method));
    EXPECT_EQ(whole.out.rfind(plan, 0), 0u) << whole.out;
    long total = 0;
    const std::string want = Dump(W("whole/calibration.sqlite"), &total);

    // The same calibration on one thread, killed once some points are in.
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
      if (chdir(work_.c_str()) != 0) _exit(99);
      freopen("/dev/null", "w", stdout);
      freopen("/dev/null", "w", stderr);
      const std::string cmd = "exec '" + std::string(TOWNGROW_EXE) + "' " +
                              Command("cut", std::string(" --threads 1") + method);
      execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
      _exit(99);
    }
    long atKill = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (atKill < 10 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      if (fs::exists(W("cut/calibration.sqlite"))) Dump(W("cut/calibration.sqlite"), &atKill);
    }
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the calibration ended before it was killed";
    long kept = 0;
    Dump(W("cut/calibration.sqlite"), &kept);
    EXPECT_GE(kept, 10);
    EXPECT_LT(kept, total);
    EXPECT_FALSE(fs::exists(W("cut/ranking.csv")));

    const Result rerun = Ok(Command("cut", std::string(" --threads 1 --resume") + method));
    EXPECT_EQ(Dump(W("cut/calibration.sqlite")), want);
    for (const char* f : {"ranking.csv", "rounds.csv", file, "best/step-8/majority.json"})
      EXPECT_EQ(ReadAll(W(std::string("cut/") + f)), ReadAll(W(std::string("whole/") + f))) << f;
    EXPECT_EQ(ReadAll(W("whole/report.html")).find(" of a budget of 40") != std::string::npos,
              std::string(method).find("evaluations") != std::string::npos);
    if (std::string(method).find("refine") == std::string::npos) {  // points follow --seed
      std::string other = Command("s8", method);
      Ok(other.replace(other.find("--seed 7"), 8, "--seed 8"));
      auto points = [&](const char* ranking) {  // generation 1's, in any order
        std::set<std::string> p;
        for (const std::string& line : Split(ReadAll(W(ranking))))
          if (Split(line, ',')[7] == "1") p.insert(Split(line, ',')[1]);
        return p;
      };
      EXPECT_NE(points("s8/ranking.csv"), points("whole/ranking.csv"));
    }
    // A third run finds every point done.
    const Result again = Run(Command("cut", method));
    EXPECT_NE(again.out.find(round1), std::string::npos) << again.out;
    for (const std::string& line : Split(again.out))
      if (line.find("run now)") != std::string::npos) {
        EXPECT_NE(line.find("(0 run now)"), std::string::npos) << line;
      }
    EXPECT_EQ(ReadAll(W("cut/ranking.csv")), ReadAll(W("whole/ranking.csv")));
  }
  ExpectBadInput(Command("whole", " --method cmaes --evaluations 41"), "another search settings");
}

// With one run per point, the best point's measure is a lone run of best.json at the fit's seed.
TEST_F(CalibrateCliTest, TheBestPointsRunRepeatsAlone) {
  Space("one.json", R"([{"id": 3, "field": "directionProb[2]", "values": [40, 125]},
      {"id": 1, "field": "junctionFill", "values": [0]}])");
  Ok("calibrate --start town --rows 30 --cols 30 --observed obs/step-0008.asc:8 --space "
     "one.json --runs 1 --seed 42 --out cal --quiet --validate obs/step-0008.asc:8 --validate "
     "obs/step-0004.asc:4 --majority-runs 1");
  const Json best = Json::parse(ReadAll(W("cal/best.json")));
  EXPECT_FALSE(best["landUses"][1]["junctionFill"].get<bool>());
  Ok("run --params cal/best.json --rows 30 --cols 30 --steps 8 --seed 42 --out lone "
     "--quiet --no-png --no-gif");
  Ok("compare obs/step-0008.asc lone/final.asc --start obs/step-0000.asc --out cmp "
     "--quiet --no-fuzzy");
  const Json cmp = Json::parse(ReadAll(W("cmp/compare.json")));
  const std::string fom = cmp["change"]["developed"]["figureOfMerit"].dump();
  const std::vector<std::string> row = Split(Split(ReadAll(W("cal/ranking.csv")))[1], ',');
  ASSERT_GT(row.size(), 8u);
  EXPECT_NEAR(std::stod(row[7]), std::stod(fom), 1e-6) << fom;  // fom.developed at step 8
  // best.json's record names the point, its objective and the seeds of its runs.
  const Json& record = best["run"];
  EXPECT_EQ(record["point"], row[1]);
  EXPECT_NEAR(record["objectiveValue"].get<double>(), std::stod(row[4]),
              1e-6);  // after two parameters
  EXPECT_EQ(Json::array({record["runs"], record["seedStep"], record["runSeeds"], record["seed"]}),
            Json::parse("[1, 1, [42], 42]"));
  // Held out: the fitted map again scores as in the ranking; another apart.
  const std::vector<std::string> held = Split(ReadAll(W("cal/validation.csv")));
  ASSERT_EQ(held.size(), 3u);
  EXPECT_EQ(Split(held[1], ',')[3], row[4]);  // objective
  EXPECT_EQ(Split(held[2], ',')[0], "obs/step-0004.asc");
  EXPECT_NE(Split(held[2], ',')[3], row[4]);

  // The majority map of one fresh run is that run (seed 42 + 1, after the fit's): its measures are
  // those of the lone run seeded 43, on the fitted map and on the held-out map of the same steps.
  Ok("run --params cal/best.json --rows 30 --cols 30 --steps 8 --seed 43 --out fresh "
     "--quiet --no-png --no-gif");
  Ok("compare obs/step-0008.asc fresh/final.asc --start obs/step-0000.asc --out cmp2 "
     "--quiet --no-fuzzy");
  const Json fresh = Json::parse(ReadAll(W("cmp2/compare.json")));
  const Json major = Json::parse(ReadAll(W("cal/best/step-8/majority.json")));
  EXPECT_EQ(major["seeds"], Json::parse("[43]"));
  const double freshFom = fresh["change"]["developed"]["figureOfMerit"].get<double>();
  EXPECT_NE(freshFom, std::stod(fom));  // another seed: another town
  EXPECT_NEAR(major["measures"]["fom.developed"].get<double>(), freshFom, 1e-12);
  EXPECT_NEAR(major["measures"]["leesallee"].get<double>(),
              fresh["measures"]["leesallee"].get<double>(), 1e-12);
  const std::vector<std::string> header = Split(held[0], ',');
  const auto at =
      std::find(header.begin(), header.end(), "majority.fom.developed") - header.begin();
  ASSERT_LT(static_cast<std::size_t>(at), header.size());
  EXPECT_NEAR(std::stod(Split(held[1], ',')[static_cast<std::size_t>(at)]), freshFom, 1e-6);
}

TEST_F(CalibrateCliTest, BadInputIsRefusedAndWritesNothing) {
  Ok("run --rows 20 --cols 20 --steps 2 --out small --quiet --no-png --no-gif");
  Ok(Command("done", " --quiet"));
  std::ofstream(W("same.json")) << R"({"classes": [{"name": "vacant", "ids": [0]}, {"name":
      "street", "ids": [1, 2]}, {"name": "housing", "ids": [3, 4]}, {"name": "industry", "ids":
      [5]}, {"name": "commerce", "ids": [6]}, {"name": "others", "ids": [7]}]})";
  const std::string made = "done/calibration.sqlite: made for another ";
  // Each: the space.json written when not empty, what is added to the command, what it says.
  const std::tuple<const char*, const char*, std::string> cases[] = {
      {R"([{"id": 9, "field": "minStep", "values": [1]}])", "",
       "space.json: [0].id: no land use has ID 9"},
      {"", " --observed small/final.asc:4",
       "small/final.asc: has 20 x 20 cells (rows x columns), the start 30 x 30"},
      {"", " --observed obs/step-0004.asc", "obs/step-0004.asc: give MAP:STEPS"},
      {"", " --observed obs/step-0004.asc:", "obs/step-0004.asc:: give MAP:STEPS"},
      {"", " --observed obs/step-0004.asc:0", "obs/step-0004.asc:0: the steps must be"},
      {"", " --observed obs/step-0004.asc:4x", "the steps must be a whole number"},
      {"", " --observed obs/step-0004.asc:100000001", "a whole number from 1 to 100000000"},
      {"", " --start random", "--start random cannot be calibrated"},
      {"", " --classes same.json", made + "class file"},
      {"", " --objective nosuch", "nosuch"},
      {"", " --validate small/final.asc:4", "small/final.asc: has 20 x 20 cells"},
      {"", " --method best", "--method best"},
      {"", " --steps 9", "--steps: a calibration runs each point to its control maps' steps"},
      {"", " --objective ksim", made + "objective"},
      {"", " --method cmaes --evaluations 30", made + "search settings"},
      {"", " --rounds 2", made + "search settings"},
      {"", " --hold-ages", made + "holding of ages (--hold-ages)"},
      {"", " --observed obs/step-0004.asc:6", made + "control maps"},
      {R"([{"id": 1, "field": "minStep", "values": [1, 2]}])", "", made + "search space"},
      {"", " --method cmaes", "--method cmaes needs --evaluations N"},
      {"", " --method nsga2", "--method nsga2 needs --evaluations N"},
      {"", " --population 8", "--population is for cmaes and nsga2, not grid"},
      {"", " --method cmaes --evaluations 9 --population 4", "population must be from 5"},
      {"", " --method nsga2 --evaluations 9 --population 10", "a multiple of 4"},
      {"", " --method morris --levels 3", "levels must be an even number"},
      {"", " --max-points 63",
       "space.json: a round of 64 points (every combination of the values of 3 parameters) is "
       "more than the most allowed, 63: narrow the space, or search it with cmaes"},
      {"", " --runaway 0.5", "--runaway must be 0 (off) or from 1 to 1000, not 0.5"}};
  const std::string good = ReadAll(W("space.json"));
  const std::string db = Dump(W("done/calibration.sqlite"));
  for (const auto& [space, more, says] : cases) {
    Space("space.json", *space ? space : good);
    const bool done = says.rfind("done/", 0) == 0;
    ExpectBadInput(Command(done ? "done" : "new", more), says);
    EXPECT_FALSE(fs::exists(W("new")));
  }
  std::string obs = ReadAll(W("obs/step-0004.asc"));
  obs[obs.find_last_of("0123456789")] ^= 1;  // the control map's last cell alone
  WriteAll(W("obs/step-0004.asc"), obs);
  ExpectBadInput(Command("done", ""), made + "control maps");
  EXPECT_EQ(Dump(W("done/calibration.sqlite")), db);
  EXPECT_EQ(
      Listing(W("done")),
      (std::set<std::string>{"best", "best.json", "calibration.sqlite", "objective-id1.minStep.png",
                             "objective-id3.neighborRadius.png", "objective-id3.streetPercent.png",
                             "ranking.csv", "report.html", "rounds.csv", "rounds.png"}));
}

// The runaway bound. By default, a calibration none of whose runs passes it ends as one with the
// bound off, but for the new columns and meta row; with a bound of 1 the stopped points rank after
// every other, those with every run stopped last; a database resumes only under its own bound.
TEST_F(CalibrateCliTest, RunawayRunsStopAndRankLast) {
  Ok(Command("off", " --quiet --runaway 0"));
  Ok(Command("on", " --quiet"));
  const std::vector<std::string> on = Split(ReadAll(W("on/ranking.csv")));
  EXPECT_EQ(on.size(), 65u);
  for (const std::string& row : on)
    EXPECT_TRUE(row.empty() || row.rfind(",0,") == row.size() - 3 || row.rfind("rank", 0) == 0);
  std::string db = Dump(W("on/calibration.sqlite"));
  const std::size_t mark = db.find("runaway|3|\n");
  ASSERT_NE(mark, std::string::npos) << db;
  EXPECT_EQ(db.erase(mark, 11), Dump(W("off/calibration.sqlite")));
  for (const char* f : {"ranking.csv", "rounds.csv", "best/step-8/majority.json"})
    EXPECT_EQ(ReadAll(W(std::string("on/") + f)), ReadAll(W(std::string("off/") + f))) << f;

  Ok(Command("tight", " --quiet --runaway 1"));
  long stoppedPoints = 0, last = 0;
  bool undefinedSeen = false;
  for (const std::string& row : Split(ReadAll(W("tight/ranking.csv")))) {
    const std::vector<std::string> f = Split(row + ",", ',');  // the last field may be empty
    if (row.empty() || f[0] == "rank") continue;
    const long stopped = std::stol(f[f.size() - 2]);
    EXPECT_EQ(f.back().empty(), stopped == 0) << row;
    EXPECT_TRUE(stopped == 0 || f[5].empty()) << row;
    EXPECT_FALSE(undefinedSeen && !f[5].empty()) << "a defined objective after a stopped point";
    undefinedSeen = undefinedSeen || f[5].empty();
    EXPECT_GE(stopped, last) << row;
    last = stopped;
    stoppedPoints += stopped > 0;
  }
  EXPECT_EQ(last, 3) << "the last point has every run stopped";
  EXPECT_NE(ReadAll(W("tight/report.html")).find(" points stopped ("), std::string::npos);
  const std::string tight = Dump(W("tight/calibration.sqlite"));
  EXPECT_EQ(std::count(tight.begin(), tight.end(), '\n'),
            std::count(db.begin(), db.end(), '\n') + 1 + stoppedPoints);  // runaway|1| too

  const std::pair<const char*, const char*> refused[] = {
      {"on", " --runaway 2"}, {"on", " --runaway 0"}, {"off", ""}};  // a folder and what is added
  for (const auto& [out, more] : refused)
    ExpectBadInput(Command(out, std::string(" --resume") + more),
                   "made for another runaway bound (--runaway)");
  const Result resumed = Run(Command("tight", " --resume --runaway 1"));
  EXPECT_NE(resumed.out.find("(0 run now)"), std::string::npos) << resumed.out << resumed.err;
  EXPECT_EQ(Dump(W("tight/calibration.sqlite")), tight);
}

// sensitivity.csv: per parameter by rank, the objective's mu, mu* and sigma over all control maps,
// then every measure's at each; the street nodes' maxLength (their lengths come from maxStep) has
// no effect at all and comes last.
TEST_F(CalibrateCliTest, SensitivityRanksTheParametersByTheirEffects) {
  Space("morris.json", R"([{"id": 1, "field": "minStep", "min": 1, "max": 7, "step": 1},
      {"id": 1, "field": "maxLength", "min": 1, "max": 20, "step": 1},
      {"id": 3, "field": "neighborRadius", "min": 0, "max": 3, "step": 1}])");
  const Result r = Ok(
      "calibrate --start town --rows 30 --cols 30 --observed obs/step-0004.asc:4 --observed "
      "obs/step-0008.asc:8 --space morris.json --runs 2 --seed 7 --method morris --trajectories 6 "
      "--out m --quiet");
  const std::vector<std::string> lines = Split(ReadAll(W("m/sensitivity.csv")));
  ASSERT_EQ(lines.size(), 1u + 3 * (1 + 2 * 7));  // 7 measures at 2 control maps
  EXPECT_EQ(lines[0], "parameter,rank,effect,measure,steps,mu,mu*,sigma,effects");
  double above = 1e9;  // the objective's mu* of the rank before
  for (std::size_t k = 1; k < lines.size(); ++k) {
    SCOPED_TRACE(lines[k]);
    const std::vector<std::string> f = Split(lines[k], ',');
    ASSERT_EQ(f.size(), 9u);
    const std::size_t rank = (k - 1) / 15 + 1, row = (k - 1) % 15;
    EXPECT_EQ(f[1], std::to_string(rank));
    EXPECT_EQ(f[3] == "objective", row == 0);
    EXPECT_EQ(f[4], row == 0 ? "all" : row <= 7 ? "4" : "8");
    EXPECT_EQ(f[0] == "id1.maxLength", rank == 3);
    EXPECT_EQ(f[2], rank == 3 ? "none" : "yes");
    EXPECT_TRUE(rank < 3 || f[6] == "0.000000");  // mu*
    EXPECT_TRUE(row > 0 || std::stod(f[6]) <= above);
    above = row == 0 ? std::stod(f[6]) : above;
    EXPECT_EQ(f[8], "6");  // one effect per trajectory
  }
  EXPECT_EQ(FileDigest("m/sensitivity.png"), "chart800x636=");  // bars, no land use
  // The first rank's bar (rows of its fill) and whisker (the full colour) stand
  // highest: the whisker rises above the bar by sigma / mu* of the bar's height.
  Image img;
  ASSERT_TRUE(ReadPng(W("m/sensitivity.png"), img));
  int fillTop = img.height, base = 0, whiskerTop = img.height;
  for (int y = 0; y < img.height; ++y) {
    int fill = 0;
    for (int x = 0; x < img.width; ++x) {
      fill += img.At(x, y) == Rgb{130, 173, 210};
      if (img.At(x, y) == Rgb{46, 119, 180}) whiskerTop = std::min(whiskerTop, y);
    }
    if (fill >= 80) fillTop = std::min(fillTop, y), base = y;  // more than a cap's
  }
  const std::vector<std::string> first = Split(lines[1], ',');
  ASSERT_GT(base, fillTop);
  EXPECT_NEAR(double(fillTop - whiskerTop) / (base - fillTop),
              std::stod(first[7]) / std::stod(first[6]), 0.05);
  EXPECT_NE(ReadAll(W("m/report.html"))
                .find("id1.maxLength</td><td class=\"n\">0.0000</td><td class=\"n\">0.0000</td><td "
                      "class=\"n\">0.0000</td><td>none</td>"),
            std::string::npos);
}

// `towngrow params --space` lists every numeric field with its legal range in a space file's steps:
// it reads back whole, and a grid over it is refused up front, with its size and cmaes suggested.
TEST_F(CalibrateCliTest, TheSpaceOfEveryFieldReadsBack) {
  const Result p = Ok("params --space");
  const Json all = Json::parse(p.out);
  ASSERT_GT(all.size(), 60u);
  bool activeAge = false;
  for (const Json& e : all) {
    EXPECT_LE((e["max"].get<double>() - e["min"].get<double>()) / e["step"].get<double>(),
              1000.0 + 1e-9)
        << e.dump();
    activeAge = activeAge || (e["id"] == 3 && e["field"] == "activeAge" && e["min"] == 0 &&
                              e["max"] == 1000000 && e["step"] == 1000);
  }
  EXPECT_TRUE(activeAge) << p.out;
  std::ofstream(W("all.json")) << p.out;
  ExpectBadInput(
      "calibrate --start town --rows 30 --cols 30 --observed obs/step-0004.asc:4 --space all.json "
      "--out all",
      "points (every combination of the values of " + std::to_string(all.size()) +
          " parameters) is more than the most allowed, 100000: narrow the space, or search it "
          "with cmaes");
  EXPECT_FALSE(fs::exists(W("all")));
}

}  // namespace
