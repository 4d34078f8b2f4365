// `towngrow compare`: options, the stages on a terminal and the summary
// (jobs/compare.h compares the maps and writes the folder).
#include "cli/command.h"
#include "cli/progress.h"
#include "io/output_folder.h"
#include "jobs/compare.h"

namespace towngrow::cli {
namespace {

class CompareCommand : public Command {
public:
  explicit CompareCommand(CLI::App& parent) {
    app = parent.add_subcommand(
        "compare",
        "Compare a simulated land-use map with an observed one: cross-tabulation, agreement, "
        "kappa, quantity and allocation disagreement, with a start map the change budget "
        "(hits, misses, false alarms, wrong hits, Figure of Merit, KSim), Lee-Sallee, fuzzy "
        "kappa, the budget at coarser resolutions and landscape metrics. Writes compare.json, "
        "crosstab.csv, landscape.csv, resolution.csv, resolution.png, agreement.png and "
        "agreement.tif into "
        "--out.");
    AddOptions(app, jobs::CompareTable(o_, host_));
    app->footer(
        "Classes: by default vacant, street (node or vertex), housing, industry, commerce and "
        "others, by the land uses' categories; street, housing, industry and commerce are "
        "developed. A class file replaces them:\n"
        "  {\"classes\": [{\"name\": \"urban\", \"ids\": [1, 2, 3, 5], \"developed\": true},\n"
        "               {\"name\": \"open\", \"ids\": [0]}]}\n"
        "1 to 32 classes; names of letters, digits, '_' or '-'; each ID 0..255 in at most one "
        "class; \"developed\" is optional (false). Cells of IDs no class has are counted, "
        "reported and left out of the measures.\n");
  }

  int Run(std::FILE* out) override {
    io::MessageLog log(PrintWarning);
    jobs::MapComparison comparison;
    jobs::ReadMapComparison(o_, log, comparison);
    ProgressBar progress(ProgressShown(host_.quiet));
    jobs::CompareMaps(comparison, o_, progress.Hook());
    io::OutputFolder folder(host_.out);
    jobs::WriteComparisonOutputs(comparison, o_, folder);
    folder.Publish();
    progress.Finish(true);
    if (host_.quiet) return 0;
    std::fputs(jobs::ComparisonSummaryText(comparison).c_str(), out);
    std::fprintf(out,
                 "Wrote compare.json, crosstab.csv, landscape.csv, resolution.csv/.png, "
                 "agreement.png and agreement.tif into %s\n",
                 host_.out.c_str());
    return 0;
  }

private:
  jobs::MapComparisonOptions o_;
  jobs::HostOptions host_{"towngrow-compare"};
};

}  // namespace

std::unique_ptr<Command> AddCompareCommand(CLI::App& app) {
  return std::make_unique<CompareCommand>(app);
}

}  // namespace towngrow::cli
