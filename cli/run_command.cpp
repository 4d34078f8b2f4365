// `towngrow run`: options, progress and the closing summary (jobs/grow.h
// grows the town and writes the folder).
#include "cli/command.h"
#include "cli/progress.h"
#include "io/output_folder.h"
#include "jobs/grow.h"

namespace towngrow::cli {
namespace {

class RunCommand : public Command {
public:
  explicit RunCommand(CLI::App& parent) {
    app = parent.add_subcommand(
        "run",
        "Grow a town and write its end state, snapshots, a map, an animation, step "
        "statistics and a record that repeats the run into one folder.");
    AddOptions(app, jobs::RunTable(o_, host_));
  }

  int Run(std::FILE* out) override {
    o_.town.sizeGiven = SizeGiven(app);
    io::MessageLog log(PrintWarning);
    io::OutputFolder folder(host_.out);
    ProgressBar progress(ProgressShown(host_.quiet));
    const auto growth = jobs::GrowTown(o_, log, progress.Hook(), &folder);
    progress.Finish();
    jobs::WriteGrowthOutputs(*growth, o_, folder);
    folder.Publish();
    if (!host_.quiet) PrintSummary(out, *growth, log);
    return 0;
  }

private:
  void PrintSummary(std::FILE* out, const jobs::Growth& growth, const io::MessageLog& log) const {
    const CLandUseSet& set = growth.setup.set;
    const CLandUseCoverage& cov = static_cast<const Simulation&>(*growth.sim).Current();
    const auto cells = CountCellsPerId(cov);
    const double total = static_cast<double>(cov.m_nRows) * cov.m_nCols;
    std::fprintf(out, "Grew %d x %d cells for %ld steps (seed %u) into %s\n", cov.m_nRows,
                 cov.m_nCols, growth.stepsRun, o_.town.seed, host_.out.c_str());
    std::fprintf(out, "  %-24s %4s %10s %7s\n", "land use", "ID", "cells", "share");
    for (int i : DistinctIdPositions(set)) {
      const CLandUse& lu = LandUseAt(set, i);
      const long c = cells[lu.m_ID];
      std::fprintf(out, "  %-24s %4d %10ld %6.2f%%\n", lu.m_strLandUseName.c_str(), lu.m_ID, c,
                   total > 0 ? 100.0 * static_cast<double>(c) / total : 0.0);
    }
    PrintMessages(out, log);
  }

  jobs::GrowOptions o_;
  jobs::HostOptions host_{"towngrow-out"};
};

}  // namespace

std::unique_ptr<Command> AddRunCommand(CLI::App& app) { return std::make_unique<RunCommand>(app); }

}  // namespace towngrow::cli
