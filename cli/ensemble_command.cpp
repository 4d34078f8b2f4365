// `towngrow ensemble`: options, progress, the processes of a distributed
// ensemble and the closing summary (jobs/ensemble.h grows the runs and
// writes the folder).
#include <exception>

#include "cli/command.h"
#include "cli/processes.h"
#include "cli/progress.h"
#include "io/output_folder.h"
#include "jobs/ensemble.h"

namespace towngrow::cli {
namespace {

class EnsembleCommand : public Command {
public:
  explicit EnsembleCommand(CLI::App& parent) {
    app = parent.add_subcommand(
        "ensemble",
        "Grow the same town many times under different seeds and write, per cell, "
        "how likely each kind of land use is at the end (grids and heat maps), and "
        "per step the mean and deviation of the cells of each land use.");
    AddOptions(app, jobs::EnsembleTable(o_, host_));
  }

  int Run(std::FILE* out) override {
    o_.town.sizeGiven = SizeGiven(app);
    MpiProcesses processes;
    const bool root = processes.Rank() == 0;
    io::MessageLog log(PrintWarning);
    io::OutputFolder folder(host_.out);
    jobs::EnsembleTown town;
    std::exception_ptr failure;
    try {
      jobs::ReadEnsembleTown(o_, log, town);
      if (root) folder.Make();  // a folder that cannot be made is refused before the runs
    } catch (...) {
      failure = std::current_exception();
    }
    ProgressBar progress(root && ProgressShown(host_.quiet));
    const jobs::EnsembleOutcome outcome =
        jobs::GrowEnsemble(town, o_, progress.Hook(), processes, failure);
    progress.Finish();
    if (outcome.failed) return kExitBadInput;
    if (!root) return 0;
    jobs::WriteEnsembleOutputs(town, outcome, o_, folder);
    folder.Publish();
    if (host_.quiet) return 0;
    PrintSummary(out, town, outcome, log, processes.Size());
    if (town.comparison) std::fputs(town.comparison->SummaryText().c_str(), out);
    return 0;
  }

private:
  void PrintSummary(std::FILE* out, const jobs::EnsembleTown& town,
                    const jobs::EnsembleOutcome& outcome, const io::MessageLog& log,
                    int processes) const {
    const io::TownOptions& t = o_.town;
    const EnsembleResult& result = outcome.result;
    std::fprintf(out, "Grew %d runs of %d x %d cells for %ld steps (seed %u + i * %u) into %s\n",
                 result.runs, town.setup.rows, town.setup.cols, t.steps, t.seed, o_.seedStep,
                 host_.out.c_str());
    std::fprintf(out, "  %-24s %4s %12s %12s\n", "land use at the end", "ID", "mean cells", "sd");
    const auto& mean = result.meanPerStep.back();
    const auto& sd = result.stddevPerStep.back();
    for (int i : DistinctIdPositions(town.setup.set)) {
      const CLandUse& lu = LandUseAt(town.setup.set, i);
      std::fprintf(out, "  %-24s %4d %12.2f %12.2f\n", lu.m_strLandUseName.c_str(), lu.m_ID,
                   mean[lu.m_ID], sd[lu.m_ID]);
    }
    PrintMessages(out, log, processes > 1 ? ", by this process's runs" : "");
    std::fprintf(out, "Wall time %.2f s, %.2f runs per second", outcome.seconds,
                 outcome.seconds > 0 ? result.runs / outcome.seconds : 0.0);
    if (processes > 1) std::fprintf(out, " (%d processes)", processes);
    std::fputc('\n', out);
  }

  jobs::EnsembleOptions o_;
  jobs::HostOptions host_{"towngrow-ensemble"};
};

}  // namespace

std::unique_ptr<Command> AddEnsembleCommand(CLI::App& app) {
  return std::make_unique<EnsembleCommand>(app);
}

}  // namespace towngrow::cli
