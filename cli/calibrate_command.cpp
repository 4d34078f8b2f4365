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
    io::OutputFolder folder(host_.out);
    std::unique_ptr<store::CalibrationStore> store;
    if (!jobs::StartCalibration(o_, log, in, folder, host_.resume, processes, store))
      return kExitBadInput;
    if (!root) {
      jobs::ServePoints(in, processes);
      return 0;
    }

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
    const SearchResult result = jobs::Calibrate(in, store.get(), hooks, processes);
    store.reset();
    const jobs::CalibrationEnd end = jobs::FinishCalibration(in, o_, result, folder);
    if (!host_.quiet)
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
