// `towngrow prepare`: options, warnings and the summary (jobs/prepare.h
// builds the maps and writes the folder).
#include <cstdio>

#include "cli/command.h"
#include "io/output_folder.h"
#include "jobs/prepare.h"

namespace towngrow::cli {
namespace {

class PrepareCommand : public Command {
public:
  explicit PrepareCommand(CLI::App& parent) {
    app = parent.add_subcommand(
        "prepare",
        "Make the start map, the background and the control maps from your own layers (land "
        "cover and road rasters, vector roads and areas, maps of later years in any CRS) as a "
        "recipe file says: writes start.tif, background.tif, observed-<name>.tif, prepare.json "
        "and report.html into --out and prints the calibrate command line that uses them.");
    AddOptions(app, jobs::PrepareTable(recipe_, host_));
    app->footer(
        "Recipe:\n"
        "  {\"grid\": {\"like\": \"urban-1930.tif\"},\n"
        "   \"start\": [{\"raster\": \"landcover.tif\", \"classes\": {\"21-24\": 3, \"11\": 6}},\n"
        "             {\"vector\": \"roads.gpkg\", \"where\": \"year <= 1930\", \"as\": "
        "\"street\"}],\n"
        "   \"background\": [{\"vector\": \"parks.gpkg\", \"allow\": [0, 2]}],\n"
        "   \"observed\": [{\"name\": \"1950\", \"steps\": 20,\n"
        "                 \"layers\": [{\"raster\": \"urban-1950.tif\", \"classes\": {\"1-255\": "
        "3}}]}]}\n"
        "See docs/prepare.md for every key, the presets (nlcd, corine, worldcover), the street "
        "rule and what the background does.\n");
  }

  int Run(std::FILE* out) override {
    jobs::PrepareHooks hooks;
    hooks.warning = PrintWarning;
    const jobs::PrepareResult result = jobs::RunPrepareFile(recipe_, hooks);
    io::OutputFolder folder(host_.out);
    jobs::WritePrepareOutputs(result, folder);
    folder.Publish();
    if (!host_.quiet) std::fputs(jobs::PrepareSummary(result, host_.out).c_str(), out);
    return 0;
  }

private:
  std::string recipe_;
  jobs::HostOptions host_{"towngrow-prepare"};
};

}  // namespace

std::unique_ptr<Command> AddPrepareCommand(CLI::App& app) {
  return std::make_unique<PrepareCommand>(app);
}

}  // namespace towngrow::cli
