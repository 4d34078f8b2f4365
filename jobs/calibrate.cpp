#include "jobs/calibrate.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <exception>
#include <new>

#include "io/error.h"
#include "io/result_text.h"
#include "towngrow/calibrate.h"
#include "towngrow/calibrate_scores.h"
#include "towngrow/grid/coverage.h"
#include "towngrow/landuse/land_use_set.h"
#include "towngrow/platform/framework.h"
#include "towngrow/platform/random.h"
#include "towngrow/simulation.h"

namespace towngrow::jobs {

namespace {

// "12 s", "4 min", "2.5 h".
std::string Duration(double seconds) {
  char buf[32];
  if (seconds < 90)
    std::snprintf(buf, sizeof buf, "%.0f s", seconds);
  else if (seconds < 5400)
    std::snprintf(buf, sizeof buf, "%.0f min", seconds / 60);
  else
    std::snprintf(buf, sizeof buf, "%.1f h", seconds / 3600);
  return buf;
}

// The first process of several: hands the points out one at a time to the
// others as they finish; a result that comes back is made whole as the
// evaluator makes its own.
void SpreadPoints(const CalibrationInputs& in, Processes& processes, const std::vector<Point>& pts,
                  int round, const std::function<void(std::size_t, PointResult&&)>& done) {
  std::vector<std::size_t> holding(static_cast<std::size_t>(processes.Size()), 0);
  std::size_t next = 0, out = 0;
  for (int r = 1; r < processes.Size() && next < pts.size(); ++r, ++out) {
    holding[static_cast<std::size_t>(r)] = next;
    processes.SendPoint(r, round, pts[next++]);
  }
  while (out > 0) {
    PointResult result;
    const int from =
        processes.ReceiveStats(result, in.controls.size(), in.evaluator->Measures().size());
    --out;
    const std::size_t index = holding[static_cast<std::size_t>(from)];
    if (next < pts.size()) {
      holding[static_cast<std::size_t>(from)] = next;
      processes.SendPoint(from, round, pts[next++]);
      ++out;
    }
    in.evaluator->Complete(result, pts[index], in.space, round);
    done(index, std::move(result));
  }
}

}  // namespace

SearchResult Calibrate(CalibrationInputs& in, store::CalibrationStore* store,
                       const CalibrateHooks& hooks, Processes& processes) {
  std::vector<std::string> names;
  for (const SearchParameter& p : in.space) names.push_back(p.name);
  const std::unique_ptr<Proposer> proposer = in.makeProposer ? in.makeProposer() : nullptr;
  const SearchSize size = PlannedSize(in.space, in.settings, proposer.get());
  const long budget = in.settings.evaluations;
  const bool generations = in.settings.method == SearchMethod::Proposed;
  // Points held so far (looked up or run) and run now, and the time the
  // points run now took: the time left is the points left at that pace.
  long done = 0, total = 0, held = 0, runNow = 0, stopped = 0;
  int round = 0;
  std::string best;
  const auto began = std::chrono::steady_clock::now();
  double firstAt = -1;  // seconds at the start of the first point run now
  auto report = [&]() {
    if (!hooks.progress) return;
    std::string note = (generations ? "generation " : "round ") + std::to_string(round) + best;
    if (budget > 0) note += ", " + std::to_string(budget - held) + " evaluations left";
    if (stopped > 0) note += ", " + std::to_string(stopped) + " stopped (runaway)";
    if (runNow > 0) {
      const double now =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
      const double each = (now - firstAt) / static_cast<double>(runNow);
      // The whole search where its size is known, the round otherwise.
      const double whole = budget > 0 ? static_cast<double>(budget) : size.total;
      const bool known = whole > 0 && (size.laterRound == 0 || budget > 0);
      const double left = known ? std::max(0.0, whole - static_cast<double>(held))
                                : static_cast<double>(total - done);
      note += ", about " + Duration(each * left) + " left" + (known ? "" : " in the round");
    }
    hooks.progress({done, total, "points", note});
  };
  SearchHooks search;
  search.evaluate = [&](const std::vector<Point>& points, int r,
                        const std::function<void(std::size_t, PointResult &&)>& d) {
    if (processes.Size() > 1)
      SpreadPoints(in, processes, points, r, d);
    else
      in.evaluator->Evaluate(points, in.space, r, d);
  };
  search.lookup = [&](const std::string& key) -> std::optional<PointResult> {
    if (store == nullptr) return std::nullopt;
    std::optional<PointResult> r = store->Lookup(key);
    if (r) ++held;
    if (r && r->stoppedRuns > 0) ++stopped;
    return r;
  };
  search.finished = [&](const PointResult& r) {
    if (store != nullptr) store->Add(r, names);
    ++done;
    ++held;
    ++runNow;
    if (r.stoppedRuns > 0) ++stopped;
    report();
  };
  search.roundBegins = [&](int r, std::size_t points, std::size_t known) {
    round = r;
    done = 0;
    total = static_cast<long>(points - known);
    if (firstAt < 0 && total > 0)
      firstAt = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    if (hooks.roundBegins) hooks.roundBegins(r, points, known);
    report();
  };
  search.roundEnds = [&](const RoundReport& r) {
    if (r.bestSoFar && r.bestSoFar->objective.value)
      best = ", best so far " + io::FixedText(r.bestSoFar->objective, 4);
    if (hooks.roundEnds) hooks.roundEnds(r);
  };
  const auto stopOthers = [&processes] {
    for (int r = 1; r < processes.Size(); ++r) processes.SendStop(r);
  };
  SearchResult result;
  try {
    result = Search(in.space, in.settings, search, proposer.get());
  } catch (...) {
    stopOthers();
    throw;
  }
  stopOthers();
  return result;
}

bool StartCalibration(const CalibrateOptions& o, io::MessageLog& log, CalibrationInputs& in,
                      io::OutputFolder& folder, bool resume, Processes& processes,
                      std::unique_ptr<store::CalibrationStore>& store) {
  const bool root = processes.Rank() == 0;
  std::exception_ptr failure;
  try {
    ReadCalibrationInputs(o, log, in);
  } catch (...) {
    failure = std::current_exception();
  }
  if (processes.AnyFailed(failure != nullptr)) {
    if (!root) return false;
    if (failure) std::rethrow_exception(failure);
    throw io::Error("another process of the calibration failed");
  }
  // Refused before anything is written when made for other inputs.
  if (root) try {
      store = OpenCalibrationStore(o, in, folder, resume);
    } catch (...) {
      failure = std::current_exception();
    }
  if (processes.AnyFailed(failure != nullptr)) {
    if (!root) return false;
    std::rethrow_exception(failure);
  }
  return true;
}

void ServePoints(const CalibrationInputs& in, Processes& processes) {
  int round = 0;
  Point p;
  while (processes.ReceivePoint(round, p, in.space.size())) {
    try {
      PointResult result;
      in.evaluator->Evaluate({p}, in.space, round,
                             [&result](std::size_t, PointResult&& r) { result = std::move(r); });
      processes.SendStats(result);
    } catch (const std::exception& e) {
      processes.SendFailure(e.what());
    }
  }
}

CalibrationEnd FinishCalibration(const CalibrationInputs& in, const CalibrateOptions& o,
                                 const SearchResult& result, io::OutputFolder& folder) {
  CalibrationEnd end;
  end.validation = ScoreHeldOut(in, result.ranking.front());
  end.majority = ScoreMajorities(in, o, result.ranking.front());
  WriteCalibrationOutputs(in, result, end.validation, end.majority, o, folder);
  folder.Publish();
  WriteBestEnsembles(in, o, end.majority, folder);
  return end;
}

std::vector<PointResult> ScoreHeldOut(const CalibrationInputs& in, const PointResult& best) {
  std::vector<PointResult> validation;
  for (const auto& v : in.validators)
    v->Evaluate({best.point}, in.space, 0, [&validation](std::size_t, PointResult&& r) {
      validation.push_back(std::move(r));
    });
  return validation;
}

}  // namespace towngrow::jobs

namespace towngrow::jobs {

Abandonment AbandonmentOf(const CalibrationInputs& in, const CalibrateOptions& o,
                          const PointResult& best) {
  Abandonment a;
  for (const ControlMapFile& c : in.controls) a.lastControl = std::max(a.lastControl, c.steps);
  a.horizon = o.horizon;
  std::array<unsigned char, 256> developed{};
  for (int id = 0; id < 256; ++id) {
    const int k = in.scheme.classOf[static_cast<std::size_t>(id)];
    developed[static_cast<std::size_t>(id)] =
        k >= 0 && in.scheme.developed[static_cast<std::size_t>(k)];
  }
  const std::size_t n = static_cast<std::size_t>(in.start.m_nRows) * in.start.m_nCols;
  for (int run = 0; run < o.runs; ++run) {
    const std::unique_ptr<CLandUseSet> set = in.SetOf(best.point);
    Simulation sim(set.get());
    if (!sim.Init(in.start.m_nRows, in.start.m_nCols)) throw std::bad_alloc();
    sim.Current().CopyValueFromCoverage(&in.start);
    sim.Current().m_pLandUseSet = set.get();
    sim.SetBackground(in.hasBackground ? &in.background : nullptr);
    sim.SetScenario(in.scenario);
    SeedRandom(o.town.seed + static_cast<unsigned int>(run) * o.seedStep);
    std::vector<unsigned char> ever(n);
    const Simulation& grown = sim;
    auto given = [&](const unsigned char* cells) {
      long count = 0;
      for (std::size_t k = 0; k < n; ++k) {
        ever[k] |= developed[cells[k]];
        count += ever[k] & (developed[cells[k]] ^ 1);
      }
      return static_cast<double>(count) / o.runs;
    };
    given(grown.Current().m_pData);
    sim.Run(std::max(a.lastControl, a.horizon), [&](const StepReport& r) {
      const double count = given(grown.Current().m_pData);
      if (r.step == a.lastControl) a.byLastControl += count;
      if (r.step == a.horizon) a.byHorizon += count;
      return true;
    });
  }
  return a;
}

MajorityScores ScoreMajorities(const CalibrationInputs& in, const CalibrateOptions& o,
                               const PointResult& best) {
  MajorityScores scores;
  scores.abandoned = AbandonmentOf(in, o, best);
  const unsigned int fresh =
      o.town.seed + static_cast<unsigned int>(o.runs) * o.seedStep;  // after the fit's seeds
  scores.fitted = ScoreMajorities(*in.evaluator, best.point, o.majorityRuns, fresh, o.threads);
  for (const auto& v : in.validators)
    scores.held.push_back(ScoreMajority(*v, best.point, 0, o.majorityRuns, fresh, o.threads));
  return scores;
}

std::string AbandonmentText(const Abandonment& a) {
  char buf[200];
  std::snprintf(buf, sizeof buf, "%.1f cells by step %ld (the last control map)", a.byLastControl,
                a.lastControl);
  std::string text = buf;
  if (a.horizon > 0) {
    std::snprintf(buf, sizeof buf, ", %.1f by step %ld (the horizon)", a.byHorizon, a.horizon);
    text += buf;
  }
  return text + ", mean over the fit's runs";
}

}  // namespace towngrow::jobs
