// The command line: `towngrow run|ensemble|compare|calibrate|params|convert|info|render`, --help on
// every command, --version. Bad input of any kind (a wrong option as much
// as a refused file) gives one line on standard error and exit status 2.
#include "commands/cli.h"

#include <cstdio>
#include <exception>
#include <new>
#include <string>

#include <CLI/CLI.hpp>

#include <towngrow/towngrow.h>

#include "cli/prepare_command.h"
#include "commands/app_error.h"
#include "commands/calibrate_command.h"
#include "commands/compare_command.h"
#include "commands/ensemble_command.h"
#include "commands/ensemble_ranks.h"
#include "commands/file_commands.h"
#include "commands/run_command.h"
#include "maps/grid_files.h"

namespace towngrow::app {
namespace {

// The options `run` and `ensemble` share: start, size, parameters,
// background, steps, seed, output folder and quiet.
void AddTownOptions(CLI::App* cmd, RunOptions& run) {
  cmd->add_option("--rows", run.rows,
                  "Rows of the grid (5 to 10000); with a start file, "
                  "the default is the file's size")
      ->check(CLI::Range(5, 10000));
  cmd->add_option("--cols", run.cols,
                  "Columns of the grid (5 to 10000); with a start file, "
                  "the default is the file's size")
      ->check(CLI::Range(5, 10000));
  cmd->add_option("--steps", run.steps, "Number of steps to run")
      ->check(CLI::Range(0L, 100000000L));
  cmd->add_option("--seed", run.seed, "Seed of the random generator");
  cmd->add_option("--start", run.start,
                  "Start state: 'town' (the built-in town), 'random' (the sparse random "
                  "start) or a file (.asc, .e00, .flt, .xya, .dat, or a raster GDAL reads "
                  "such as a GeoTIFF), read into a grid of its size");
  cmd->add_option("--background", run.background,
                  "Background file of the grid's size: each cell's value is a bit set of the "
                  "land-use IDs allowed there (bit k for ID k)");
  cmd->add_option("--params", run.params,
                  "Parameter file (JSON, as printed by 'towngrow params'; run.json works too)");
  cmd->add_option("--out", run.out, "Output folder (created if missing)");
  cmd->add_option("--crs", run.crs,
                  "Coordinate reference system of the output maps (e.g. EPSG:32633, or WKT); "
                  "default: the start file's (from a GeoTIFF's own, or the .prj beside a grid)");
  cmd->add_flag("--quiet", run.quiet, "No progress bar and no closing summary");
  cmd->add_option("--extent", run.extent,
                  "What the maps and the animation show: 'town' (the developed area with a "
                  "margin, the same for every frame; the whole grid when nothing is "
                  "developed) or 'full' (the whole grid)")
      ->check(CLI::IsMember({"town", "full"}));
  cmd->add_option("--chart-scale", run.chartScale,
                  "The y axis of the charts of cells over the steps: 'linear' or 'log'")
      ->check(CLI::IsMember({"linear", "log"}));
}

// The options of every command that reads maps: which band of a raster of
// several bands, and the library's plain readers instead of the strict check.
void AddMapOptions(CLI::App* cmd, MapReadOptions& maps) {
  cmd->add_option("--band", maps.band,
                  "Band to read of a raster with several bands (from 1); one-band rasters "
                  "ignore it")
      ->check(CLI::Range(1, 65535));
  cmd->add_flag("--lenient", maps.lenient,
                "Read .asc, .e00, .flt, .xya and .dat files as the library's readers take "
                "them, without the strict check (short rows, text, fractions and values "
                "outside 0 to 255 are then read as those readers do)");
}

void SetSizeGiven(CLI::App* cmd, RunOptions& run) {
  run.sizeGiven = cmd->count("--rows") > 0 || cmd->count("--cols") > 0;
}

int Fail(const std::string& what) {
  if (IsSecondaryProcess()) return kExitBadInput;  // the first process says it
  std::fprintf(stderr, "towngrow: error: %s\n", what.c_str());
  return kExitBadInput;
}

}  // namespace

int RunCli(int argc, char** argv) {
  CLI::App app{
      "towngrow: grows a town on a grid of land-use cells, step by step, and "
      "exchanges grids with GIS software."};
  app.name("towngrow");
  app.set_version_flag("--version", std::string("towngrow ") + Version());
  app.require_subcommand(1);
  app.option_defaults()->always_capture_default(true);

  MapReadOptions maps;
  RunOptions run;
  CLI::App* runCmd = app.add_subcommand(
      "run",
      "Grow a town and write its end state, snapshots, a map, an animation, step "
      "statistics and a record that repeats the run into one folder.");
  AddTownOptions(runCmd, run);
  AddMapOptions(runCmd, maps);
  runCmd
      ->add_option("--every", run.every,
                   "Record a snapshot (see --format) and an animation frame every N steps")
      ->check(CLI::Range(1L, 100000000L));
  runCmd
      ->add_option("--format", run.formats,
                   "Snapshot format step-NNNN.<ext>: asc, e00, flt, xya or tif (GeoTIFF); repeat "
                   "for several (default: no snapshots)")
      ->check(CLI::IsMember({"asc", "e00", "flt", "xya", "tif"}))
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  bool noPng = false, noGif = false;
  runCmd->add_flag("--no-png", noPng, "Do not write final.png and growth.png");
  runCmd->add_flag("--no-gif", noGif, "Do not write growth.gif");

  EnsembleOptions ensemble;
  ensemble.town.out = "towngrow-ensemble";
  CLI::App* ensembleCmd = app.add_subcommand(
      "ensemble",
      "Grow the same town many times under different seeds and write, per cell, "
      "how likely each kind of land use is at the end (grids and heat maps), and "
      "per step the mean and deviation of the cells of each land use.");
  ensembleCmd->add_option("--runs", ensemble.runs, "Number of runs (1 to 65535)")
      ->required()
      ->check(CLI::Range(1, 65535));
  AddTownOptions(ensembleCmd, ensemble.town);
  AddMapOptions(ensembleCmd, maps);
  ensembleCmd->add_option("--seed-step", ensemble.seedStep,
                          "Run i (from 0) is seeded with seed + i * seed-step");
  ensembleCmd
      ->add_option("--threads", ensemble.threads, "Worker threads (0: one per processor core)")
      ->check(CLI::Range(0, 1024));
  ensembleCmd->add_option("--observed", ensemble.observed,
                          "Observed map of the grid's size: compare every run's end state with "
                          "it and score the probability of developed (comparison.json, "
                          "comparison.csv)");
  ensembleCmd->add_option("--start-of-change", ensemble.startOfChange,
                          "Map at the start of the observed change, for the change measures "
                          "(default: the ensemble's start; none for --start random)");

  CompareCommandOptions compare;
  CLI::App* compareCmd = app.add_subcommand(
      "compare",
      "Compare a simulated land-use map with an observed one: cross-tabulation, agreement, "
      "kappa, quantity and allocation disagreement, with a start map the change budget "
      "(hits, misses, false alarms, wrong hits, Figure of Merit, KSim), Lee-Sallee, fuzzy "
      "kappa, the budget at coarser resolutions and landscape metrics. Writes compare.json, "
      "crosstab.csv, landscape.csv, resolution.csv, resolution.png, agreement.png and "
      "agreement.tif into "
      "--out.");
  compareCmd
      ->add_option("OBSERVED", compare.observed,
                   "Observed (reference) map: any file the program reads (.asc, .e00, .flt, "
                   ".xya, .dat, GeoTIFF and other rasters GDAL reads)")
      ->required();
  compareCmd->add_option("SIMULATED", compare.simulated, "Simulated map file of the same size")
      ->required();
  compareCmd->add_option("--start", compare.start,
                         "Map at the start of the change (same size): adds the change measures");
  compareCmd->add_option("--classes", compare.classes,
                         "Class file (JSON) naming classes of IDs; see below");
  compareCmd->add_option("--params", compare.params,
                         "Parameter file whose land uses give the IDs of the default classes");
  compareCmd->add_option("--out", compare.out, "Output folder (created if missing)");
  AddMapOptions(compareCmd, maps);
  compareCmd->add_option("--halving", compare.halvingDistance,
                         "Fuzzy kappa: distance in cells at which a neighbour counts one half");
  compareCmd->add_option("--radius", compare.radius,
                         "Fuzzy kappa: neighbours farther than this many cells do not count "
                         "(0 to 64)");
  bool noFuzzy = false;
  compareCmd->add_flag("--no-fuzzy", noFuzzy, "Leave out the fuzzy kappa");
  compareCmd->add_flag("--quiet", compare.quiet, "No progress and no summary");
  compareCmd->footer(
      "Classes: by default vacant, street (node or vertex), housing, industry, commerce and "
      "others, by the land uses' categories; street, housing, industry and commerce are "
      "developed. A class file replaces them:\n"
      "  {\"classes\": [{\"name\": \"urban\", \"ids\": [1, 2, 3, 5], \"developed\": true},\n"
      "               {\"name\": \"open\", \"ids\": [0]}]}\n"
      "1 to 32 classes; names of letters, digits, '_' or '-'; each ID 0..255 in at most one "
      "class; \"developed\" is optional (false). Cells of IDs no class has are counted, "
      "reported and left out of the measures.\n");

  CalibrateOptions calibrate;
  calibrate.town.out = "towngrow-calibration";
  CLI::App* calibrateCmd = app.add_subcommand(
      "calibrate",
      "Fit parameters to a town's past: run every point of a search space (values of land-use "
      "parameters) --runs times from the start map, compare each run with the control maps "
      "observed some steps later, and rank the points by an objective. Writes "
      "calibration.sqlite (every finished point; rerunning the same command resumes), "
      "ranking.csv, rounds.csv, best.json and, for the best point, the ensemble's maps and "
      "comparison at each control map (best/step-N/) into --out.");
  AddTownOptions(calibrateCmd, calibrate.town);
  AddMapOptions(calibrateCmd, maps);
  calibrateCmd
      ->add_option("--observed", calibrate.observed,
                   "Control map and the steps from the start it was observed at, MAP:STEPS; "
                   "repeat for several")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  calibrateCmd
      ->add_option("--validate", calibrate.validate,
                   "Held-out map MAP:STEPS, not used for fitting: the best point is scored on "
                   "it apart (validation.csv and a line of the summary); repeat for several")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  calibrateCmd->add_option("--space", calibrate.space, "Search space file (JSON); see below");
  calibrateCmd->add_option("--runs", calibrate.runs, "Runs per point (1 to 65535)");
  calibrateCmd->add_option("--seed-step", calibrate.seedStep,
                           "Run i (from 0) of every point is seeded with seed + i * seed-step");
  calibrateCmd->add_option("--method", calibrate.method,
                           "grid (every combination of the values), refine (rounds, each a "
                           "finer lattice around the best --keep points) or lhs (--samples "
                           "Latin hypercube points over the ranges, then refinement)");
  calibrateCmd->add_option("--rounds", calibrate.rounds, "refine, lhs: rounds in all (1 to 100)");
  calibrateCmd->add_option("--keep", calibrate.keep,
                           "refine, lhs: the best points a round narrows around (1 to 1000)");
  calibrateCmd->add_option("--lattice", calibrate.lattice,
                           "refine, lhs: values per parameter of a refinement round (2 to 1000)");
  calibrateCmd->add_option("--samples", calibrate.samples, "lhs: points of the first round");
  calibrateCmd->add_option("--objective", calibrate.objective,
                           "A measure name, a product (fom.developed*ksim) or a weighted mean "
                           "(0.6*fom.developed+0.4*leesallee); see below");
  calibrateCmd
      ->add_option("--threads", calibrate.threads, "Worker threads (0: one per processor core)")
      ->check(CLI::Range(0, 1024));
  calibrateCmd->add_flag("--resume", calibrate.resume,
                         "Go on with the database in --out (required to exist); a rerun "
                         "without it resumes too");
  calibrateCmd->footer(
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

  std::string paramsFile;
  CLI::App* paramsCmd = app.add_subcommand(
      "params", "Print the parameters of every land use as JSON: a template for --params.");
  paramsCmd->add_option("--params", paramsFile, "Show these parameters applied to the defaults");

  std::string convertIn, convertOut, convertParams, convertCrs;
  CLI::App* convertCmd = app.add_subcommand(
      "convert",
      "Convert a grid file to another format, chosen by the names' endings (.asc, .e00, .flt, "
      ".xya, .dat, .tif; any raster GDAL reads as input). A GeoTIFF gets the land uses' "
      "colours and names (--params) and the input's georeference and CRS.");
  convertCmd->add_option("IN", convertIn, "File to read")->required();
  convertCmd->add_option("OUT", convertOut, "File to write")->required();
  convertCmd->add_option("--params", convertParams,
                         "Parameter file that gives the names and colours of a GeoTIFF");
  convertCmd->add_option("--crs", convertCrs,
                         "Coordinate reference system to assign (e.g. EPSG:32633), replacing "
                         "the input's");
  AddMapOptions(convertCmd, maps);

  std::string infoFile, infoParams;
  CLI::App* infoCmd = app.add_subcommand(
      "info", "Show a file's kind, size, georeference and cells per land-use ID.");
  infoCmd->add_option("FILE", infoFile, "File to read")->required();
  infoCmd->add_option("--params", infoParams, "Parameter file that names the land uses");
  AddMapOptions(infoCmd, maps);

  std::string renderIn, renderOut, renderParams, renderExtent = "town";
  int renderScale = 0;
  CLI::App* renderCmd =
      app.add_subcommand("render", "Draw the map of a grid file as a PNG image with a legend.");
  renderCmd->add_option("FILE", renderIn, "File to read")->required();
  renderCmd->add_option("OUT", renderOut, "PNG file to write")->required();
  renderCmd
      ->add_option("--scale", renderScale,
                   "Pixels per cell (0: about 800 pixels on the longer side)")
      ->check(CLI::Range(0, 64));
  renderCmd->add_option("--params", renderParams, "Parameter file that gives names and colours");
  renderCmd
      ->add_option("--extent", renderExtent,
                   "'town' (the developed cells with a margin; the whole grid when none is "
                   "developed) or 'full' (the whole grid)")
      ->check(CLI::IsMember({"town", "full"}));
  AddMapOptions(renderCmd, maps);

  cli::AddPrepareCommand(app);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);
    return Fail(e.what());
  }

  MapReading() = maps;
  try {
    if (runCmd->parsed()) {
      SetSizeGiven(runCmd, run);
      run.png = !noPng;
      run.gif = !noGif;
      RunTown(run, stdout);
    } else if (ensembleCmd->parsed()) {
      SetSizeGiven(ensembleCmd, ensemble.town);
      const int code = RunEnsembleCommand(ensemble, stdout);
      if (code != 0) return code;
    } else if (compareCmd->parsed()) {
      compare.fuzzy = !noFuzzy;
      RunCompareCommand(compare, stdout);
    } else if (calibrateCmd->parsed()) {
      if (calibrateCmd->count("--steps") > 0)
        throw AppError(
            "--steps: a calibration runs each point to its control maps' steps "
            "(--observed MAP:STEPS)");
      SetSizeGiven(calibrateCmd, calibrate.town);
      RunCalibrateCommand(calibrate, stdout);
    } else if (paramsCmd->parsed()) {
      std::fputs(ParamsText(paramsFile).c_str(), stdout);
    } else if (convertCmd->parsed()) {
      ConvertFile(convertIn, convertOut, convertParams, convertCrs);
    } else if (infoCmd->parsed()) {
      PrintFileInfo(infoFile, infoParams, stdout);
    } else if (renderCmd->parsed()) {
      RenderFile(renderIn, renderOut, renderScale, renderParams, renderExtent);
    }
  } catch (const AppError& e) {
    return Fail(e.what());
  } catch (const FileError& e) {
    return Fail(e.what());
  } catch (const std::bad_alloc&) {
    return Fail("not enough memory");
  } catch (const std::exception& e) {
    return Fail(e.what());
  }
  std::fflush(stdout);
  return 0;
}

}  // namespace towngrow::app
