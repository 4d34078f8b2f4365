// The jobs in process: points over a loopback exchange, an ensemble over two processes.
#include <gtest/gtest.h>

#include <numeric>
#include <tuple>

#include "io/error.h"
#include "io/output_folder.h"
#include "jobs/calibrate.h"
#include "jobs/compare.h"
#include "jobs/ensemble.h"
#include "support/files.h"
#include "support/scene.h"

namespace {

using namespace testkit;
namespace jobs = towngrow::jobs;

// The other processes, played in turn by this one: each answer is what ServePoints sends back for
// the point sent last (so answers come in another order than the points went out); the answer `bad`
// is served with a parameter no land use has.
class Loopback : public jobs::Processes {
public:
  Loopback(int size, jobs::CalibrationInputs& in, int bad = 0) : size_(size), in_(in), bad_(bad) {}
  int Size() const override { return size_; }
  void SendPoint(int rank, int round, const Point& point) override {
    held_.push_back({rank, round, point});
  }
  void SendStop(int rank) override { stops.push_back(rank); }
  bool ReceivePoint(int& round, Point& point, std::size_t dimensions) override {
    EXPECT_EQ(dimensions, 2u);
    if (serving_.empty()) return false;
    std::tie(std::ignore, round, point) = serving_.back();
    serving_.clear();
    return true;
  }
  void SendStats(const PointResult& result) override { answer_ = result; }
  void SendFailure(const std::string& what) override { failure_ = what; }
  int ReceiveStats(PointResult& result, std::size_t, std::size_t) override {
    serving_ = {held_.back()};
    held_.pop_back();
    const int rank = std::get<0>(serving_[0]);
    const std::string field = in_.entries[1].field;
    if (++answers == bad_) in_.entries[1].field = "nosuch";
    jobs::ServePoints(in_, *this);
    in_.entries[1].field = field;
    if (!failure_.empty()) throw towngrow::io::Error(failure_);
    result.stats = answer_.stats;  // what travels
    result.stoppedRuns = answer_.stoppedRuns, result.stoppedStep = answer_.stoppedStep;
    return rank;
  }
  int answers = 0;
  std::vector<int> stops;

private:
  int size_;
  jobs::CalibrationInputs& in_;
  int bad_;
  std::vector<std::tuple<int, int, Point>> held_, serving_;
  PointResult answer_;
  std::string failure_;
};

// Process 1 of two keeps what it would send; process 0 adds it to its own, as the exchange does.
struct TwoProcesses : jobs::Processes {
  TwoProcesses* second = nullptr;  // set on process 0
  towngrow::EnsembleSums sums;
  std::vector<std::uint64_t> words;
  int Rank() const override { return second ? 0 : 1; }
  int Size() const override { return 2; }
  void SumToRoot(towngrow::EnsembleSums& s) override {
    second ? s.Merge(second->sums) : void(sums = s);
  }
  void SumToRoot(std::vector<std::uint64_t>& w) override {
    if (!second) words = w;
    for (std::size_t k = 0; second && k < w.size(); ++k) w[k] += second->words.at(k);
  }
};

class Jobs : public ::testing::Test {
protected:
  // The built-in town grown 3 and 6 steps from another seed: a calibration's control maps.
  void SetUp() override {
    CLandUseSet set;
    Simulation sim(&set);
    ASSERT_EQ(sim.Init(24, 24), 1);
    SeedRandom(99);
    PlaceStarterTown(sim.Current());
    for (int step : {3, 6}) {
      sim.Run(3);
      ASSERT_EQ(sim.Current().ExportASCFile(dir_ / ("obs" + std::to_string(step) + ".asc")), 1);
    }
    WriteAll(dir_ / "space.json", R"([{"id": 3, "field": "neighborRadius", "values": [1, 2, 3]},
        {"id": 1, "field": "minStep", "values": [1, 3]}])");
    o_.town.rows = o_.town.cols = 24, o_.town.sizeGiven = true;
    o_.observed = {dir_ / "obs3.asc:3", dir_ / "obs6.asc:6"};
    o_.space = dir_ / "space.json";
    o_.runs = o_.threads = 2;
  }
  std::vector<std::string> Ranking(jobs::Processes& processes) {
    jobs::CalibrationInputs in;
    jobs::ReadCalibrationInputs(o_, log_, in);
    std::vector<std::string> keys;
    for (const PointResult& r : jobs::Calibrate(in, nullptr, {}, processes).ranking)
      keys.push_back(r.key + " " + std::to_string(r.objective.value.value_or(-1)) + " r" +
                     std::to_string(r.round) + " seeds " + std::to_string(r.seeds.at(1)));
    return keys;
  }
  ScratchDir dir_;
  towngrow::io::MessageLog log_;
  jobs::CalibrateOptions o_;
};

TEST_F(Jobs, PointsSpreadOverProcessesRankAsOnOneAndEveryOtherIsStopped) {
  const std::vector<std::string> alone = Ranking(jobs::ThisProcessAlone());
  ASSERT_EQ(alone.size(), 6u);
  jobs::CalibrationInputs in;
  jobs::ReadCalibrationInputs(o_, log_, in);
  for (int size : {2, 7, 9}) {  // fewer, as many and more other processes than points
    SCOPED_TRACE(size);
    Loopback processes(size, in);
    EXPECT_EQ(std::make_tuple(Ranking(processes), processes.answers), std::make_tuple(alone, 6));
    std::vector<int> others(static_cast<std::size_t>(size - 1));
    std::iota(others.begin(), others.end(), 1);
    EXPECT_EQ(processes.stops, others);
  }
  Loopback failing(3, in, 4);  // the fourth answer fails: named, and every other stopped
  EXPECT_NE(Thrown<towngrow::io::Error>([&] {
              jobs::Calibrate(in, nullptr, {}, failing);
            }).find("nosuch: no such parameter"),
            std::string::npos);
  EXPECT_EQ(failing.stops, (std::vector<int>{1, 2}));
}

// An ensemble compared with its observed map writes over two processes what it writes on one.
TEST_F(Jobs, AnEnsembleSharedByTwoProcessesWritesWhatOneWrites) {
  jobs::EnsembleOptions o;
  o.town = o_.town, o.town.steps = 6, o.runs = 3, o.threads = 1;
  o.observed = dir_ / "obs6.asc";
  auto grow = [&](jobs::Processes& processes, const std::string& out) {
    jobs::EnsembleTown t;
    jobs::ReadEnsembleTown(o, log_, t);
    const jobs::EnsembleOutcome outcome = jobs::GrowEnsemble(t, o, {}, processes, nullptr);
    if (!outcome.root) return std::string();
    towngrow::io::OutputFolder folder(dir_ / out);
    jobs::WriteEnsembleOutputs(t, outcome, o, folder);
    folder.Publish();
    return ReadAll(dir_ / out + "/comparison.csv") + ReadAll(dir_ / out + "/comparison.json");
  };
  TwoProcesses second, first;
  first.second = &second;
  EXPECT_EQ(grow(second, "second"), "");
  const std::string shared = grow(first, "two");
  EXPECT_EQ(shared, grow(jobs::ThisProcessAlone(), "one"));
  EXPECT_NE(shared.find("\n2,"), std::string::npos) << shared;
}

}  // namespace

// The summary tells the unclassified cells of every ID, lowest and highest too, by map.
TEST(CompareJob, TheSummaryTellsUnclassifiedCellsOfEveryId) {
  jobs::MapComparison m;
  m.result.unclassified.observed[0] = 2, m.result.unclassified.start[255] = 1;
  const std::string text = jobs::ComparisonSummaryText(m);
  EXPECT_NE(text.find("\n  observed map: 2 cells of ID 0 have no class"), std::string::npos);
  EXPECT_NE(text.find("\n  start map: 1 cells of ID 255 have no class"), std::string::npos);
}

// The plan `calibrate` prints first: the points of round 1, of later rounds and in all, or the
// budget.
TEST(CalibratePlan, TellsTheRoundsAndTheBudget) {
  using towngrow::SearchMethod;
  jobs::CalibrationInputs in;
  in.space = {{"a", true, 0, 100, {0, 50, 100}}, {"b", true, 0, 100, {1, 2}}};
  const std::tuple<SearchMethod, int, int, const char*> rows[] = {
      {SearchMethod::Grid, 1, 0, "6 points: "},
      {SearchMethod::Refine, 3, 0,
       "6 points in round 1, then up to 10 per round of 2 more (at most 26 in all): "},
      {SearchMethod::Grid, 1, 4, "6 points (the budget: 4): "}};
  for (const auto& [method, rounds, budget, told] : rows) {
    in.settings.method = method, in.settings.rounds = rounds, in.settings.evaluations = budget;
    EXPECT_EQ(jobs::PlanText(in).rfind(told, 0), 0u) << jobs::PlanText(in);
  }
}

// The report's runaway bound: off, no run stopped, or the stopped points with the steps of the
// first and the last first stop. Hosts that fill the options themselves (Python, QGIS) get the
// program's range checks before anything is read.
TEST(CalibrateReport, TellsTheRunawayStopsAndRefusesOptionsOutOfRange) {
  jobs::CalibrateOptions o;
  towngrow::SearchResult result;
  result.ranking.resize(3);
  using Stops = std::vector<std::pair<int, long>>;  // runs stopped and first stop of each point
  const std::tuple<double, Stops, std::string> rows[] = {
      {0, {{2, 5}}, "off"},
      {4, {}, "4 x the developed cells of the next control map: no run stopped"},
      {2.5,
       {{0, 0}, {3, 9}},
       "2.5 x the developed cells of the next control map: 1 of 3 points "
       "stopped (3 runs), first stops at step 9"},
      {4,
       {{1, 12}, {2, 7}, {1, 30}},
       "4 x the developed cells of the next control map: 3 of 3 "
       "points stopped (4 runs), first stops at step 7 to 30"}};
  for (const auto& [k, stops, says] : rows) {
    o.runaway = k;
    for (std::size_t i = 0; i < 3; ++i)
      result.ranking[i].stoppedRuns = i < stops.size() ? stops[i].first : 0,
      result.ranking[i].stoppedStep = i < stops.size() ? stops[i].second : 0;
    EXPECT_EQ(jobs::RunawayText(o, result), says);
  }
  jobs::CalibrationInputs in;
  for (const auto& [runs, runaway, says] :
       {std::make_tuple(0, 4.0, "--runs must be from 1 to 65535, not 0"),
        std::make_tuple(1, -1.0, "--runaway must be from 0 to 1000, not -1")}) {
    o.runs = runs, o.runaway = runaway;
    EXPECT_EQ(Thrown<io::Error>([&] { jobs::FinishCalibrationInputs(o, in); }), says);
  }
}
