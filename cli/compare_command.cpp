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
    app->add_option("OBSERVED", o_.observed,
                    "Observed (reference) map: any file the program reads (.asc, .e00, .flt, "
                    ".xya, .dat, GeoTIFF and other rasters GDAL reads)")
        ->required();
    app->add_option("SIMULATED", o_.simulated, "Simulated map file of the same size")->required();
    app->add_option("--start", o_.start,
                    "Map at the start of the change (same size): adds the change measures");
    app->add_option("--classes", o_.classes, "Class file (JSON) naming classes of IDs; see below");
    app->add_option("--params", o_.params,
                    "Parameter file whose land uses give the IDs of the default classes");
    app->add_option("--out", out_, "Output folder (created if missing)");
    AddMapOptions(app, o_.maps);
    app->add_option("--halving", o_.halvingDistance,
                    "Fuzzy kappa: distance in cells at which a neighbour counts one half");
    app->add_option("--radius", o_.radius,
                    "Fuzzy kappa: neighbours farther than this many cells do not count "
                    "(0 to 64)");
    app->add_flag("--no-fuzzy", noFuzzy_, "Leave out the fuzzy kappa");
    app->add_flag("--quiet", quiet_, "No progress and no summary");
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
    o_.fuzzy = !noFuzzy_;
    io::MessageLog log(PrintWarning);
    jobs::MapComparison comparison;
    jobs::ReadMapComparison(o_, log, comparison);
    ProgressBar progress(ProgressShown(quiet_));
    jobs::CompareMaps(comparison, o_, progress.Hook());
    io::OutputFolder folder(out_);
    jobs::WriteComparisonOutputs(comparison, o_, folder);
    folder.Publish();
    progress.Finish(true);
    if (quiet_) return 0;
    std::fputs(jobs::ComparisonSummaryText(comparison).c_str(), out);
    std::fprintf(out,
                 "Wrote compare.json, crosstab.csv, landscape.csv, resolution.csv/.png, "
                 "agreement.png and agreement.tif into %s\n",
                 out_.c_str());
    return 0;
  }

private:
  jobs::MapComparisonOptions o_;
  std::string out_ = "towngrow-compare";
  bool noFuzzy_ = false, quiet_ = false;
};

}  // namespace

std::unique_ptr<Command> AddCompareCommand(CLI::App& app) {
  return std::make_unique<CompareCommand>(app);
}

}  // namespace towngrow::cli
