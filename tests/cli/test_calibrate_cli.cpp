// `towngrow calibrate` end to end: a calibration killed with SIGKILL and
// rerun ends with the database and ranking of an uninterrupted one; the
// best point's run repeats with `towngrow run` and held-out maps score
// it apart; refused input writes nothing.
#include <gtest/gtest.h>

#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "io/params_json.h"
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
                          "SELECT * FROM measures ORDER BY point, control, measure"}) {
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
    ASSERT_EQ(Run("run --params truth.json --rows 30 --cols 30 --steps 8 --every 4 --format asc "
                  "--seed 1000 --out obs --quiet --no-png --no-gif")
                  .code,
              0);
    Space("space.json", R"([{"id": 1, "field": "minStep", "values": [1, 3, 5, 7]},
        {"id": 3, "field": "neighborRadius", "min": 0, "max": 3, "step": 1},
        {"id": 3, "field": "streetPercent", "values": [0, 20, 40, 60]}])");
  }
  void Space(const std::string& name, const std::string& text) { std::ofstream(W(name)) << text; }
  std::string Command(const std::string& out, const std::string& more = "") {
    return "calibrate --start town --rows 30 --cols 30 --observed obs/step-0004.asc:4 "
           "--observed obs/step-0008.asc:8 --space space.json --runs 3 --seed 7 --seed-step 5 "
           "--out " +
           out + more;
  }
};

TEST_F(CalibrateCliTest, KilledAndRerunEndsAsAnUninterruptedRun) {
  const Result whole = Run(Command("whole", " --threads 2 --method refine --rounds 2"));
  ASSERT_EQ(whole.code, 0) << whole.err;
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
                            Command("cut", " --threads 1 --method refine --rounds 2");
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

  const Result rerun = Run(Command("cut", " --threads 1 --method refine --rounds 2 --resume"));
  ASSERT_EQ(rerun.code, 0) << rerun.err;
  EXPECT_EQ(Dump(W("cut/calibration.sqlite")), want);
  EXPECT_EQ(ReadAll(W("cut/ranking.csv")), ReadAll(W("whole/ranking.csv")));
  EXPECT_EQ(ReadAll(W("cut/rounds.csv")), ReadAll(W("whole/rounds.csv")));
  // A third run finds every point done.
  const Result again = Run(Command("cut", " --method refine --rounds 2"));
  EXPECT_NE(again.out.find("round 1: 64 points (0 run now)"), std::string::npos) << again.out;
  EXPECT_EQ(ReadAll(W("cut/ranking.csv")), ReadAll(W("whole/ranking.csv")));
}

// With one run per point, the best point's measure is that of a lone run
// of best.json seeded with the calibration's seed.
TEST_F(CalibrateCliTest, TheBestPointsRunRepeatsAlone) {
  Space("one.json", R"([{"id": 3, "field": "directionProb[2]", "values": [40, 125]},
      {"id": 1, "field": "junctionFill", "values": [0]}])");
  const Result r =
      Run("calibrate --start town --rows 30 --cols 30 --observed obs/step-0008.asc:8 --space "
          "one.json --runs 1 --seed 42 --out cal --quiet --validate obs/step-0008.asc:8 --validate "
          "obs/step-0004.asc:4");
  ASSERT_EQ(r.code, 0) << r.err;
  const Json best = Json::parse(ReadAll(W("cal/best.json")));
  EXPECT_FALSE(best["landUses"][1]["junctionFill"].get<bool>());
  ASSERT_EQ(Run("run --params cal/best.json --rows 30 --cols 30 --steps 8 --seed 42 --out lone "
                "--quiet --no-png --no-gif")
                .code,
            0);
  ASSERT_EQ(Run("compare obs/step-0008.asc lone/final.asc --start obs/step-0000.asc --out cmp "
                "--quiet --no-fuzzy")
                .code,
            0);
  const Json cmp = Json::parse(ReadAll(W("cmp/compare.json")));
  const std::string fom = cmp["change"]["developed"]["figureOfMerit"].dump();
  const std::vector<std::string> row = Split(Split(ReadAll(W("cal/ranking.csv")))[1], ',');
  ASSERT_GT(row.size(), 8u);
  EXPECT_NEAR(std::stod(row[7]), std::stod(fom), 1e-6) << fom;  // fom.developed at step 8
  EXPECT_TRUE(fs::exists(W("cal/best/step-8/comparison.json")));
  // Held out: the fitted map again scores as in the ranking; another apart.
  const std::vector<std::string> held = Split(ReadAll(W("cal/validation.csv")));
  ASSERT_EQ(held.size(), 3u);
  EXPECT_EQ(Split(held[1], ',')[3], row[4]);  // objective
  EXPECT_EQ(Split(held[2], ',')[0], "obs/step-0004.asc");
  EXPECT_NE(Split(held[2], ',')[3], row[4]);
}

TEST_F(CalibrateCliTest, BadInputIsRefusedAndWritesNothing) {
  ASSERT_EQ(Run("run --rows 20 --cols 20 --steps 2 --out small --quiet --no-png --no-gif").code, 0);
  ASSERT_EQ(Run(Command("done", " --quiet")).code, 0);
  const struct {
    const char* space;  // written as space.json when not empty
    const char* more;
    const char* says;
  } cases[] = {
      {R"([{"id": 9, "field": "minStep", "values": [1]}])", "",
       "space.json: [0].id: no land use has ID 9"},
      {R"([{"id": 1, "field": "bogus", "values": [1]}])", "", "[0].field: bogus: no parameter"},
      {R"([{"id": 3, "field": "minStep", "values": [1]}])", "", "not a parameter of a House"},
      {R"([{"id": 3, "field": "directionProb", "values": [1]}])", "", "name one entry"},
      {R"([{"id": 3, "field": "streetPercent", "values": [101]}])", "",
       "[0].values[0]: 101 is outside"},
      {R"([{"id": 3, "field": "neighborRadius", "values": [1.5]}])", "", "not a whole number"},
      {R"([{"id": 3, "field": "neighborRadius", "min": 0, "max": 101, "step": 1}])", "",
       "[0].max: 101"},
      {R"([])", "", "space.json: the space lists no parameter"},
      {R"([{"id": 3, "field": "neighborRadius"}])", "", "needs values, or min, max and step"},
      {"", " --observed small/final.asc:4",
       "small/final.asc: has 20 x 20 cells (rows x columns), the start 30 x 30"},
      {"", " --observed obs/step-0004.asc:0", "obs/step-0004.asc:0: the steps must be"},
      {"", " --objective nosuch", "nosuch"},
      {"", " --validate small/final.asc:4", "small/final.asc: has 20 x 20 cells"},
      {"", " --method best", "--method best"},
      {"", " --steps 9", "--steps: a calibration runs each point to its control maps' steps"},
      {"", " --objective ksim", "done/calibration.sqlite: made for another objective"},
  };
  const std::string good = ReadAll(W("space.json"));
  const std::string db = Dump(W("done/calibration.sqlite"));
  for (const auto& c : cases) {
    Space("space.json", *c.space ? c.space : good);
    ExpectBadInput(Command(std::string(c.more) == " --objective ksim" ? "done" : "new", c.more),
                   c.says);
    EXPECT_FALSE(fs::exists(W("new")));
  }
  EXPECT_EQ(Dump(W("done/calibration.sqlite")), db);
  EXPECT_EQ(
      Listing(W("done")),
      (std::set<std::string>{"best", "best.json", "calibration.sqlite", "objective-id1.minStep.png",
                             "objective-id3.neighborRadius.png", "objective-id3.streetPercent.png",
                             "ranking.csv", "report.html", "rounds.csv", "rounds.png"}));
}

}  // namespace
