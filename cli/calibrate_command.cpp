// `towngrow calibrate`: options, the processes of a distributed
// calibration (the first hands points out, the others evaluate them),
// progress, the round lines and the summary (jobs/calibrate.h searches and
// writes the folder).
#include <chrono>
#include <cstdio>
#include <exception>

#include "cli/calibrate_ranks.h"
#include "cli/command.h"
#include "cli/processes.h"
#include "cli/progress.h"
#include "io/error.h"
#include "io/output_folder.h"
#include "io/result_text.h"
#include "jobs/calibrate.h"

namespace towngrow::cli {
namespace {

std::string Shown(const Scalar& v) { return v.value ? io::FixedText(v, 6) : "undefined"; }

// A process other than the first: evaluates the points it is given until
// it is told to stop.
int ServePoints(const jobs::CalibrationInputs& in) {
  int round = 0;
  Point p;
  while (ReceivePoint(round, p, in.space.size())) {
    try {
      PointResult result;
      in.evaluator->Evaluate({p}, in.space, round,
                             [&result](std::size_t, PointResult&& r) { result = std::move(r); });
      SendStats(result.stats, result.stoppedRuns, result.stoppedStep);
    } catch (const std::exception& e) {
      SendFailure(e.what());
    }
  }
  return 0;
}

// The first process of several: hands the points out one at a time to the
// others as they finish; results come back in any order.
void SpreadPoints(const MpiProcesses& processes, const jobs::CalibrationInputs& in,
                  const std::vector<Point>& pts, int round,
                  const std::function<void(std::size_t, PointResult&&)>& done) {
  const CalibrationModel& m = in.evaluator->Model();
  std::vector<unsigned int> seeds;
  for (unsigned int i = 0; i < static_cast<unsigned int>(m.runs); ++i)
    seeds.push_back(m.baseSeed + i * m.seedStep);
  std::vector<std::size_t> holding(static_cast<std::size_t>(processes.Size()), 0);
  std::size_t next = 0, out = 0;
  for (int r = 1; r < processes.Size() && next < pts.size(); ++r, ++out) {
    holding[static_cast<std::size_t>(r)] = next;
    SendPoint(r, round, pts[next++]);
  }
  while (out > 0) {
    PointResult result;
    const int from = ReceiveStats(result.stats, result.stoppedRuns, result.stoppedStep,
                                  in.controls.size(), in.evaluator->Measures().size());
    --out;
    const std::size_t index = holding[static_cast<std::size_t>(from)];
    if (next < pts.size()) {
      holding[static_cast<std::size_t>(from)] = next;
      SendPoint(from, round, pts[next++]);
      ++out;
    }
    result.point = pts[index];
    result.key = PointKey(in.space, result.point);
    result.round = round;
    result.seeds = seeds;
    in.evaluator->Score(result);
    done(index, std::move(result));
  }
}

class CalibrateCommand : public Command {
public:
  explicit CalibrateCommand(CLI::App& parent);

  int Run(std::FILE* out) override {
    const auto began = std::chrono::steady_clock::now();
    if (app->count("--steps") > 0)
      throw io::Error(
          "--steps: a calibration runs each point to its control maps' steps "
          "(--observed MAP:STEPS)");
    o_.town.sizeGiven = SizeGiven(app);
    MpiProcesses processes;
    const bool root = processes.Rank() == 0;
    io::MessageLog log(PrintWarning);
    jobs::CalibrationInputs in;
    io::OutputFolder folder(host_.out);
    std::exception_ptr failure;
    try {
      jobs::ReadCalibrationInputs(o_, log, in);
    } catch (...) {
      failure = std::current_exception();
    }
    if (processes.AnyFailed(failure != nullptr)) {
      if (!root) return kExitBadInput;
      if (failure) std::rethrow_exception(failure);
      throw io::Error("another process of the calibration failed");
    }
    // The database, on the first process alone; refused before anything is
    // written when it was made for other inputs.
    std::unique_ptr<store::CalibrationStore> store;
    if (root) try {
        store = jobs::OpenCalibrationStore(o_, in, folder, host_.resume);
      } catch (...) {
        failure = std::current_exception();
      }
    if (processes.AnyFailed(failure != nullptr)) {
      if (!root) return kExitBadInput;
      std::rethrow_exception(failure);
    }
    if (!root) return ServePoints(in);

    if (!host_.quiet) {
      std::fprintf(out, "%s: %s\n", jobs::MethodName(o_.method).c_str(),
                   jobs::PlanText(in).c_str());
      std::fflush(out);
    }
    ProgressBar progress(ProgressShown(host_.quiet));
    jobs::CalibrateHooks hooks;
    hooks.progress = progress.Hook();
    hooks.roundEnds = [&](const RoundReport& r) {
      progress.Finish(true);
      if (host_.quiet) return;
      std::fprintf(out, "%s %d: %zu points (%zu run now), best %s at %s\n",
                   in.settings.method == SearchMethod::Proposed ? "generation" : "round", r.round,
                   r.points, r.evaluated,
                   r.bestOfRound ? io::FixedText(r.bestOfRound->objective, 4).c_str() : "-",
                   r.bestOfRound ? r.bestOfRound->key.c_str() : "-");
      std::fflush(out);
    };
    if (processes.Size() > 1)
      hooks.evaluate = [&](const std::vector<Point>& pts, int round,
                           const std::function<void(std::size_t, PointResult &&)>& done) {
        SpreadPoints(processes, in, pts, round, done);
      };
    SearchResult result;
    try {
      result = jobs::Calibrate(in, store.get(), hooks);
    } catch (...) {
      for (int r = 1; r < processes.Size(); ++r) SendStop(r);
      throw;
    }
    for (int r = 1; r < processes.Size(); ++r) SendStop(r);
    store.reset();

    const std::vector<PointResult> validation = jobs::ScoreHeldOut(in, result.ranking.front());
    const jobs::MajorityScores majority = jobs::ScoreMajorities(in, o_, result.ranking.front());
    jobs::WriteCalibrationOutputs(in, result, validation, majority, o_, folder);
    folder.Publish();
    jobs::WriteBestEnsembles(in, o_, majority, folder);
    if (!host_.quiet)
      PrintSummary(out, in, result, validation, majority.abandoned, processes.Size(),
                   std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count());
    return 0;
  }

private:
  void PrintSummary(std::FILE* out, const jobs::CalibrationInputs& in, const SearchResult& result,
                    const std::vector<PointResult>& validation, const jobs::Abandonment& abandoned,
                    int processes, double seconds) const {
    const PointResult& best = result.ranking.front();
    const std::string objective = in.objective.Text();
    std::fprintf(out, "Best of %zu points: %s\n  objective %s = %s, quantity disagreement %s\n",
                 result.ranking.size(), best.key.c_str(), objective.c_str(),
                 Shown(best.objective).c_str(), Shown(best.quantity).c_str());
    std::fprintf(out, "  given up: %s\n", jobs::AbandonmentText(abandoned).c_str());
    std::fprintf(out, "Wrote %s (best.json, ranking.csv, rounds.csv, calibration.sqlite) in %.2f s",
                 host_.out.c_str(), seconds);
    if (processes > 1) std::fprintf(out, " (%d processes)", processes);
    std::fprintf(out, "\nRunaway bound: %s", jobs::RunawayText(o_, result).c_str());
    if (best.stoppedRuns > 0)
      std::fprintf(out,
                   "\nEvery point grew past the runaway bound: raise --runaway (or 0) or narrow "
                   "the space");
    for (std::size_t v = 0; v < validation.size(); ++v)
      std::fprintf(out,
                   "\nHeld out, not fitted: %s after %ld steps: objective %s = %s, quantity "
                   "disagreement %s",
                   in.held[v].path.c_str(), in.held[v].steps, objective.c_str(),
                   Shown(validation[v].objective).c_str(), Shown(validation[v].quantity).c_str());
    std::fputc('\n', out);
  }

  jobs::CalibrateOptions o_;
  jobs::HostOptions host_{"towngrow-calibration"};
};

CalibrateCommand::CalibrateCommand(CLI::App& parent) {
  app = parent.add_subcommand(
      "calibrate",
      "Fit parameters to a town's past: run every point of a search space (values of land-use "
      "parameters) --runs times from the start map, compare each run with the control maps "
      "observed some steps later, and rank the points by an objective. Writes "
      "calibration.sqlite (every finished point; rerunning the same command resumes), "
      "ranking.csv, rounds.csv, best.json and, for the best point, the ensemble's maps and "
      "comparison at each control map (best/step-N/) into --out.");
  AddOptions(app, jobs::CalibrateTable(o_, host_));
  app->footer(
      "Space file: a JSON list of parameters, each\n"
      "  {\"id\": 3, \"field\": \"neighborRadius\", \"values\": [1, 2, 3]}  or\n"
      "  {\"id\": 1, \"field\": \"minStep\", \"min\": 1, \"max\": 9, \"step\": 2}\n"
      "with fields named as 'towngrow params' prints them (one list entry as "
      "\"directionProb[2]\"; true/false as 0/1), values within the field's legal range.\n"
      "Objective: measures of 'towngrow compare' by name (fom.developed, ksim, leesallee, "
      "fuzzykappa, quantity, allocation, fom.<class>, ...), taken at every control map as "
      "their mean over the runs and averaged over the control maps. Measures where lower is "
      "better (quantity, allocation and their per-class and @<b> forms) enter as 1 - value. "
      "A measure undefined in any run ranks the point last. Ties go to the lower quantity "
      "disagreement, then to the point's key. Default: fom.developed.\n"
      "Run i of a point repeats alone with: towngrow run --params best.json --seed <seed + i * "
      "seed-step> --start ... --steps N (best.json's \"run\" record gives the words). --seed also "
      "seeds the Latin hypercube's draws.\n");
}

}  // namespace

std::unique_ptr<Command> AddCalibrateCommand(CLI::App& app) {
  return std::make_unique<CalibrateCommand>(app);
}

}  // namespace towngrow::cli
