// The prepare subcommand: options, warnings and the summary.
#include "cli/prepare_command.h"

#include <cstdio>
#include <memory>
#include <new>
#include <string>

#include <CLI/CLI.hpp>

#include <towngrow/towngrow.h>

#include "commands/app_error.h"
#include "jobs/prepare.h"

namespace towngrow::cli {
namespace {

struct PrepareOptions {
  std::string recipe;
  std::string out = "towngrow-prepare";
  bool quiet = false;
};

void RunPrepareCommand(const PrepareOptions& o) {
  jobs::PrepareHooks hooks;
  hooks.warning = [](const std::string& line) {
    std::fprintf(stderr, "towngrow: warning: %s\n", line.c_str());
  };
  const jobs::PrepareResult result = jobs::RunPrepareFile(o.recipe, hooks);
  jobs::WritePrepareOutputs(result, o.out);
  if (!o.quiet) std::fputs(jobs::PrepareSummary(result, o.out).c_str(), stdout);
}

}  // namespace

void AddPrepareCommand(CLI::App& app) {
  auto options = std::make_shared<PrepareOptions>();
  CLI::App* cmd = app.add_subcommand(
      "prepare",
      "Make the start map, the background and the control maps from your own layers (land "
      "cover and road rasters, vector roads and areas, maps of later years in any CRS) as a "
      "recipe file says: writes start.tif, background.tif, observed-<name>.tif, prepare.json "
      "and report.html into --out and prints the calibrate command line that uses them.");
  cmd->add_option("RECIPE", options->recipe, "Recipe file (JSON); paths in it are relative to it")
      ->required();
  cmd->add_option("--out", options->out, "Output folder (created if missing)");
  cmd->add_flag("--quiet", options->quiet, "No summary");
  cmd->footer(
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
  cmd->callback([options]() {
    try {
      RunPrepareCommand(*options);
    } catch (const app::AppError& e) {
      throw CLI::RuntimeError(e.what(), app::kExitBadInput);
    } catch (const FileError& e) {
      throw CLI::RuntimeError(e.what(), app::kExitBadInput);
    } catch (const std::bad_alloc&) {
      throw CLI::RuntimeError("not enough memory", app::kExitBadInput);
    }
  });
}

}  // namespace towngrow::cli
