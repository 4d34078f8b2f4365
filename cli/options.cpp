#include <unistd.h>

#include "cli/command.h"
#include "cli/processes.h"

namespace towngrow::cli {

void AddTownOptions(CLI::App* cmd, io::TownOptions& town, jobs::PictureOptions& pictures,
                    std::string& out, bool& quiet) {
  cmd->add_option("--rows", town.rows,
                  "Rows of the grid (5 to 10000); with a start file, "
                  "the default is the file's size")
      ->check(CLI::Range(5, 10000));
  cmd->add_option("--cols", town.cols,
                  "Columns of the grid (5 to 10000); with a start file, "
                  "the default is the file's size")
      ->check(CLI::Range(5, 10000));
  cmd->add_option("--steps", town.steps, "Number of steps to run")
      ->check(CLI::Range(0L, 100000000L));
  cmd->add_option("--seed", town.seed, "Seed of the random generator");
  cmd->add_option("--start", town.start,
                  "Start state: 'town' (the built-in town), 'random' (the sparse random "
                  "start) or a file (.asc, .e00, .flt, .xya, .dat, or a raster GDAL reads "
                  "such as a GeoTIFF), read into a grid of its size");
  cmd->add_option("--background", town.background,
                  "Background file of the grid's size: each cell's value is a bit set of the "
                  "land-use IDs allowed there (bit k for ID k)");
  cmd->add_option("--schedule", town.schedule,
                  "Schedule file (JSON, as 'towngrow prepare' writes it): per step N, land-use "
                  "rasters painted over the state (streets, districts; no-data where nothing "
                  "changes), a background and a suitability surface that take effect at the "
                  "start of step N, so they are in the map after N steps");
  cmd->add_option("--suitability", town.suitability,
                  "Suitability raster of the grid's size: 0 to 100 (or 0 to 1 in a float band; "
                  "no-data 0). A development of a land use whose suitabilityWeight w is above 0 "
                  "into a cell of suitability s passes with probability s^w");
  cmd->add_option("--params", town.params,
                  "Parameter file (JSON, as printed by 'towngrow params'; run.json works too)");
  cmd->add_option("--out", out, "Output folder (created if missing)");
  cmd->add_option("--crs", town.crs,
                  "Coordinate reference system of the output maps (e.g. EPSG:32633, or WKT); "
                  "default: the start file's (from a GeoTIFF's own, or the .prj beside a grid)");
  cmd->add_flag("--quiet", quiet, "No progress bar and no closing summary");
  cmd->add_option("--extent", pictures.extent,
                  "What the maps and the animation show: 'town' (the developed area with a "
                  "margin, the same for every frame; the whole grid when nothing is "
                  "developed) or 'full' (the whole grid)")
      ->check(CLI::IsMember({"town", "full"}));
  cmd->add_option("--chart-scale", pictures.chartScale,
                  "The y axis of the charts of cells over the steps: 'linear' or 'log'")
      ->check(CLI::IsMember({"linear", "log"}));
  AddMapOptions(cmd, town.maps);
}

bool SizeGiven(const CLI::App* cmd) { return cmd->count("--rows") > 0 || cmd->count("--cols") > 0; }

void AddMapOptions(CLI::App* cmd, io::MapReadOptions& maps) {
  cmd->add_option("--band", maps.band,
                  "Band to read of a raster with several bands (from 1); one-band rasters "
                  "ignore it")
      ->check(CLI::Range(1, 65535));
  cmd->add_flag("--lenient", maps.lenient,
                "Read .asc, .e00, .flt, .xya and .dat files as the library's readers take "
                "them, without the strict check (short rows, text, fractions and values "
                "outside 0 to 255 are then read as those readers do)");
}

void PrintWarning(const std::string& text) {
  if (IsSecondaryProcess()) return;
  std::fprintf(stderr, "towngrow: warning: %s\n", text.c_str());
}

void PrintMessages(std::FILE* out, const io::MessageLog& log, const std::string& note) {
  const auto counts = log.Counts();
  if (counts.empty()) return;
  std::fprintf(out, "Messages of the model (times shown%s):\n", note.c_str());
  for (const auto& entry : counts)
    std::fprintf(out, "  %8ld  %s\n", entry.second, io::MessageLog::OneLine(entry.first).c_str());
}

bool ProgressShown(bool quiet) { return !quiet && ::isatty(STDERR_FILENO) != 0; }

}  // namespace towngrow::cli
