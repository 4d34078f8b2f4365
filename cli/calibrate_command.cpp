// `towngrow calibrate`: options, the processes of a distributed
// calibration (their transport; jobs/calibrate.h hands the points out),
// progress, the round lines and the summary (jobs/calibrate.h searches and
// writes the folder).
#include <chrono>
#include <cstdio>
#include <memory>

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
    io::OutputFolder folder(out_);
    std::unique_ptr<store::CalibrationStore> store;
    if (!jobs::StartCalibration(o_, log, in, folder, resume_, processes, store))
      return kExitBadInput;
    if (!root) {
      jobs::ServePoints(in, processes);
      return 0;
    }

    if (!quiet_) {
      std::fprintf(out, "%s: %s\n", o_.method.c_str(), jobs::PlanText(in).c_str());
      std::fflush(out);
    }
    ProgressBar progress(ProgressShown(quiet_));
    jobs::CalibrateHooks hooks;
    hooks.progress = progress.Hook();
    hooks.roundEnds = [&](const RoundReport& r) {
      progress.Finish(true);
      if (quiet_) return;
      std::fprintf(out, "%s %d: %zu points (%zu run now), best %s at %s\n",
                   in.settings.method == SearchMethod::Proposed ? "generation" : "round", r.round,
                   r.points, r.evaluated,
                   r.bestOfRound ? io::FixedText(r.bestOfRound->objective, 4).c_str() : "-",
                   r.bestOfRound ? r.bestOfRound->key.c_str() : "-");
      std::fflush(out);
    };
    const SearchResult result = jobs::Calibrate(in, store.get(), hooks, processes);
    store.reset();
    const jobs::CalibrationEnd end = jobs::FinishCalibration(in, o_, result, folder);
    if (!quiet_)
      PrintSummary(out, in, result, end.validation, end.majority.abandoned, processes.Size(),
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
                 out_.c_str(), seconds);
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
  std::string out_ = "towngrow-calibration";
  bool quiet_ = false, resume_ = false;
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
  AddTownOptions(app, o_.town, o_.pictures, out_, quiet_);
  app->add_option("--observed", o_.observed,
                  "Control map and the steps from the start it was observed at, MAP:STEPS; "
                  "repeat for several")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  app->add_option("--validate", o_.validate,
                  "Held-out map MAP:STEPS, not used for fitting: the best point is scored on "
                  "it apart (validation.csv and a line of the summary); repeat for several")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  app->add_option("--space", o_.space, "Search space file (JSON); see below");
  app->add_option("--classes", o_.classes,
                  "Class file (JSON, as towngrow compare takes it) for the comparisons with the "
                  "control maps; default: the land uses' classes");
  app->add_option("--runs", o_.runs, "Runs per point (1 to 65535)");
  app->add_option("--seed-step", o_.seedStep,
                  "Run i (from 0) of every point is seeded with seed + i * seed-step");
  app->add_option("--method", o_.method,
                  "grid (every combination of the values), refine (rounds, each a "
                  "finer lattice around the best --keep points), lhs (--samples "
                  "Latin hypercube points over the ranges, then refinement), morris (screening: "
                  "which parameters matter; sensitivity.csv), cmaes (CMA-ES, learns where the "
                  "good points lie; for many parameters) or nsga2 (a front of quantity against "
                  "allocation disagreement; pareto.csv)");
  app->add_option("--rounds", o_.rounds, "refine, lhs: rounds in all (1 to 100)");
  app->add_option("--keep", o_.keep,
                  "refine, lhs: the best points a round narrows around (1 to 1000)");
  app->add_option("--lattice", o_.lattice,
                  "refine, lhs: values per parameter of a refinement round (2 to 1000)");
  app->add_option("--samples", o_.samples, "lhs: points of the first round");
  app->add_option("--evaluations", o_.evaluations,
                  "The budget: the most distinct points evaluated (points found in the database "
                  "count, repeats do not); required by cmaes and nsga2; 0: none");
  app->add_option("--population", o_.population,
                  "cmaes: points per generation (0: 4 + 3 ln(parameters)); nsga2: a multiple of "
                  "4, at least 8 (0: 40)");
  app->add_option("--trajectories", o_.trajectories,
                  "morris: trajectories, each parameters + 1 points (1 to 1000000)");
  app->add_option("--levels", o_.levels, "morris: levels of each range, even (2 to 1000)");
  app->add_option("--max-points", o_.maxPoints,
                  "A search any of whose rounds could hold more points is refused before it "
                  "starts (1 to 100000000)");
  app->add_option("--majority-runs", o_.majorityRuns,
                  "Fresh runs of the best point whose majority map (cells in a class in at least "
                  "half of them) is scored on every control and held-out map (1 to 65535)");
  app->add_option("--horizon", o_.horizon,
                  "Steps of a projection from the start: the summary and report say how many cells "
                  "the best point gives up by then (cells of a developed class at some step and "
                  "in none at its end), beside those it gives up by the last control map")
      ->check(CLI::Range(0L, 100000000L));
  app->add_flag("--hold-ages", o_.holdAges,
                "Keep abandonment out of the search: every point's housing, industry and "
                "commerce rest rather than being given up within the horizon and the control "
                "maps' steps (their inactive period raised so that activeAge + inactivePeriod "
                "reaches it), so that a fit whose maps show no abandonment does not decide one");
  app->add_option("--runaway", o_.runaway,
                  "Stop a run once its developed cells (the comparison's developed classes) pass "
                  "K times those of the next control map (the first at or after the step; of the "
                  "start, if it holds more): it can no longer come close, and a run costs what "
                  "it grows. Its point scores as "
                  "the worst (undefined objective, ranked last; the optimisers see it as worse "
                  "than any other) and is marked in ranking.csv, calibration.sqlite and the "
                  "report. 0 turns it off; 1 to 1000");
  app->add_option("--objective", o_.objective,
                  "A measure name, a product (fom.developed*ksim) or a weighted mean "
                  "(0.6*fom.developed+0.4*leesallee); see below");
  app->add_option("--threads", o_.threads, "Worker threads (0: one per processor core)")
      ->check(CLI::Range(0, 1024));
  app->add_flag("--resume", resume_,
                "Go on with the database in --out (required to exist); a rerun "
                "without it resumes too");
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
