// The option tables of the commands: each option's name, kind, range,
// choices and help, and the field its value lies in.
#include <map>

#include "io/error.h"
#include "jobs/options.h"

namespace towngrow::jobs {
namespace {

using K = OptionKind;

const Option kRows{"rows", K::Number,
                   "Rows of the grid (5 to 10000); with a start file, the default is the file's "
                   "size",
                   5, 10000};
const Option kCols{"cols", K::Number,
                   "Columns of the grid (5 to 10000); with a start file, the default is the "
                   "file's size",
                   5, 10000};
const Option kSteps{"steps", K::Number, "Number of steps to run", 0, kMaxSteps};
const Option kSeed{"seed", K::Number, "Seed of the random generator"};
const Option kStart{"start", K::Text,
                    "Start state: 'town' (the built-in town), 'random' (the sparse random start) "
                    "or a file (.asc, .e00, .flt, .xya, .dat, or a raster GDAL reads such as a "
                    "GeoTIFF), read into a grid of its size"};
const Option kBackground{"background", K::File,
                         "Background file of the grid's size: each cell's value is a bit set of "
                         "the land-use IDs allowed there (bit k for ID k)"};
const Option kSchedule{
    "schedule", K::File,
    "Schedule file (JSON, as 'towngrow prepare' writes it): per step N, land-use rasters painted "
    "over the state (streets, districts; no-data where nothing changes), a background and a "
    "suitability surface that take effect at the start of step N, so they are in the map after "
    "N steps"};
const Option kSuitability{
    "suitability", K::File,
    "Suitability raster of the grid's size: 0 to 100 (or 0 to 1 in a float band; no-data 0). A "
    "development of a land use whose suitabilityWeight w is above 0 into a cell of suitability "
    "s passes with probability s^w"};
const Option kParams{"params", K::File,
                     "Parameter file (JSON, as printed by 'towngrow params'; run.json works too)"};
const Option kOut{"out", K::File, "Output folder (created if missing)"};
const Option kCrs{"crs", K::Text,
                  "Coordinate reference system of the output maps (e.g. EPSG:32633, or WKT); "
                  "default: the start file's (from a GeoTIFF's own, or the .prj beside a grid)"};
const Option kQuiet = Option{"quiet", K::Flag, "No progress bar and no closing summary"}.Display();
const Option kExtent{"extent",
                     K::Text,
                     "What the maps and the animation show: 'town' (the developed area with a "
                     "margin, the same for every frame; the whole grid when nothing is "
                     "developed) or 'full' (the whole grid)",
                     0,
                     -1,
                     {"town", "full"}};
const Option kChartScale{"chart-scale",
                         K::Text,
                         "The y axis of the charts of cells over the steps: 'linear' or 'log'",
                         0,
                         -1,
                         {"linear", "log"}};
const Option kBand{"band", K::Number,
                   "Band to read of a raster with several bands (from 1; 0: the first); "
                   "one-band rasters ignore it",
                   0, 65535};
const Option kLenient{"lenient", K::Flag,
                      "Read .asc, .e00, .flt, .xya and .dat files as the library's readers take "
                      "them, without the strict check (short rows, text, fractions and values "
                      "outside 0 to 255 are then read as those readers do)"};
const Option kThreads{"threads", K::Number, "Worker threads (0: one per processor core)", 0, 1024};
const Option kClasses{"classes", K::File,
                      "Class file (JSON, as towngrow compare takes it) for the comparison with "
                      "the observed maps; default: the land uses' classes"};

void VisitMaps(io::MapReadOptions& maps, const OptionVisit& v) {
  v(kBand, &maps.band);
  v(kLenient, &maps.lenient);
}

// The options every command that grows a town shares; a calibration takes
// its steps from the control maps and does not repeat them.
void VisitTown(io::TownOptions& t, PictureOptions& p, HostOptions& h, bool steps,
               const OptionVisit& v) {
  v(kRows, &t.rows);
  v(kCols, &t.cols);
  v(steps ? kSteps : kSteps.Display(), &t.steps);
  v(kSeed, &t.seed);
  v(kStart, &t.start);
  v(kBackground, &t.background);
  v(kSchedule, &t.schedule);
  v(kSuitability, &t.suitability);
  v(kParams, &t.params);
  v(kOut, &h.out);
  v(kCrs, &t.crs);
  v(kQuiet, &h.quiet);
  v(kExtent, &p.extent);
  v(kChartScale, &p.chartScale);
  VisitMaps(t.maps, v);
}

}  // namespace

OptionTable RunTable(GrowOptions& o, HostOptions& h) {
  static const Option every{"every", K::Number,
                            "Record a snapshot (see --format) and an animation frame every N steps",
                            1, kMaxSteps};
  static const Option format = Option{
      "format",
      K::Text,
      "Snapshot format step-NNNN.<ext>: asc, e00, flt, xya or tif "
      "(GeoTIFF); repeat for several (default: no snapshots)",
      0,
      -1,
      {"asc", "e00", "flt", "xya",
       "tif"}}.Keyword("formats");
  static const Option noPng =
      Option{"no-png", K::Flag, "Do not write final.png and growth.png"}.Keyword("png").Negated();
  static const Option noGif =
      Option{"no-gif", K::Flag, "Do not write growth.gif"}.Keyword("gif").Negated();
  return [&o, &h](const OptionVisit& v) {
    VisitTown(o.town, o.pictures, h, true, v);
    v(every, &o.every);
    v(format, &o.formats);
    v(noPng, &o.png);
    v(noGif, &o.gif);
  };
}

OptionTable EnsembleTable(EnsembleOptions& o, HostOptions& h) {
  static const Option runs =
      Option{"runs", K::Number, "Number of runs (1 to 65535)", 1, kMaxEnsembleRuns}.Required();
  static const Option seedStep{"seed-step", K::Number,
                               "Run i (from 0) is seeded with seed + i * seed-step"};
  static const Option observed{"observed", K::File,
                               "Observed map of the grid's size: compare every run's end state "
                               "with it and score the probability of developed "
                               "(comparison.json, comparison.csv)"};
  static const Option startOfChange{
      "start-of-change", K::File,
      "Map at the start of the observed change, for the change measures (default: the "
      "ensemble's start; none for --start random)"};
  return [&o, &h](const OptionVisit& v) {
    v(runs, &o.runs);
    VisitTown(o.town, o.pictures, h, true, v);
    v(seedStep, &o.seedStep);
    v(kThreads, &o.threads);
    v(observed, &o.observed);
    v(startOfChange, &o.startOfChange);
    v(kClasses, &o.classes);
  };
}

namespace {

// The options of a calibration beyond the town's.
namespace calibrate_options {

const Option observed{
    "observed", K::MapSteps,
    "Control map and the steps from the start it was observed at, MAP:STEPS; repeat for "
    "several"};
const Option validate{
    "validate", K::MapSteps,
    "Held-out map MAP:STEPS, not used for fitting: the best point is scored on it apart "
    "(validation.csv and a line of the summary); repeat for several"};
const Option space{"space", K::File, "Search space file (JSON); see below"};
const Option runs{"runs", K::Number, "Runs per point (1 to 65535)", 1, kMaxEnsembleRuns};
const Option seedStep{"seed-step", K::Number,
                      "Run i (from 0) of every point is seeded with seed + i * seed-step"};
const Option method{
    "method",
    K::Text,
    "grid (every combination of the values), refine (rounds, each a finer lattice around the "
    "best --keep points), lhs (--samples Latin hypercube points over the ranges, then "
    "refinement), morris (screening: which parameters matter; sensitivity.csv), cmaes "
    "(CMA-ES, learns where the good points lie; for many parameters) or nsga2 (a front of "
    "quantity against allocation disagreement; pareto.csv)",
    0,
    -1,
    MethodNames()};
const Option rounds{"rounds", K::Number, "refine, lhs: rounds in all (1 to 100)", 1, 100};
const Option keep{"keep", K::Number,
                  "refine, lhs: the best points a round narrows around (1 to 1000)", 1, 1000};
const Option lattice{"lattice", K::Number,
                     "refine, lhs: values per parameter of a refinement round (2 to "
                     "1000)",
                     2, 1000};
const Option samples{"samples", K::Number, "lhs: points of the first round", 1, 10000000};
const Option evaluations{
    "evaluations", K::Number,
    "The budget: the most distinct points evaluated (points found in the database count, "
    "repeats do not); required by cmaes and nsga2; 0: none",
    0, 100000000};
const Option population{
    "population", K::Number,
    "cmaes: points per generation (0: 4 + 3 ln(parameters)); nsga2: a multiple of 4, at least "
    "8 (0: 40)",
    0, 1000000};
const Option trajectories{"trajectories", K::Number,
                          "morris: trajectories, each parameters + 1 points (1 to "
                          "1000000)",
                          1, 1000000};
const Option levels{"levels", K::Number, "morris: levels of each range, even (2 to 1000)", 2, 1000};
const Option maxPoints{"max-points", K::Number,
                       "A search any of whose rounds could hold more points is refused "
                       "before it starts (1 to 100000000)",
                       1, 100000000};
const Option majorityRuns{
    "majority-runs", K::Number,
    "Fresh runs of the best point whose majority map (cells in a class in at least half of "
    "them) is scored on every control and held-out map (1 to 65535)",
    1, kMaxEnsembleRuns};
const Option horizon{
    "horizon", K::Number,
    "Steps of a projection from the start: the summary and report say how many cells the best "
    "point gives up by then (cells of a developed class at some step and in none at its end), "
    "beside those it gives up by the last control map",
    0, kMaxSteps};
const Option holdAges{
    "hold-ages", K::Flag,
    "Keep abandonment out of the search: every point's housing, industry and commerce rest "
    "rather than being given up within the horizon and the control maps' steps (their "
    "inactive period raised so that activeAge + inactivePeriod reaches it), so that a fit "
    "whose maps show no abandonment does not decide one"};
const Option runaway{
    "runaway", K::Number,
    "Stop a run once its developed cells (the comparison's developed classes) pass K times "
    "those of the next control map (the first at or after the step; of the start, if it holds "
    "more): it can no longer come close, and a run costs what it grows. Its point scores as "
    "the worst (undefined objective, ranked last; the optimisers see it as worse than any "
    "other) and is marked in ranking.csv, calibration.sqlite and the report. 0 turns it off; 1 "
    "to 1000",
    0, 1000};
const Option objective{"objective", K::Text,
                       "A measure name, a product (fom.developed*ksim) or a weighted "
                       "mean (0.6*fom.developed+0.4*leesallee); see below"};
const Option classes{"classes", K::File,
                     "Class file (JSON, as towngrow compare takes it) for the "
                     "comparisons with the control maps; default: the land uses' "
                     "classes"};
const Option resume{
    "resume", K::Flag,
    "Go on with the database in --out (required to exist); a rerun without it resumes too"};
}  // namespace calibrate_options
}  // namespace

OptionTable CalibrateTable(CalibrateOptions& o, HostOptions& h) {
  namespace c = calibrate_options;
  return [&o, &h](const OptionVisit& v) {
    VisitTown(o.town, o.pictures, h, false, v);
    v(c::observed, &o.observed);
    v(c::validate, &o.validate);
    v(c::space, &o.space);
    v(c::classes, &o.classes);
    v(c::runs, &o.runs);
    v(c::seedStep, &o.seedStep);
    v(c::method, &o.method);
    v(c::rounds, &o.rounds);
    v(c::keep, &o.keep);
    v(c::lattice, &o.lattice);
    v(c::samples, &o.samples);
    v(c::evaluations, &o.evaluations);
    v(c::population, &o.population);
    v(c::trajectories, &o.trajectories);
    v(c::levels, &o.levels);
    v(c::maxPoints, &o.maxPoints);
    v(c::majorityRuns, &o.majorityRuns);
    v(c::horizon, &o.horizon);
    v(c::holdAges, &o.holdAges);
    v(c::runaway, &o.runaway);
    v(c::objective, &o.objective);
    v(kThreads, &o.threads);
    v(c::resume.Display(), &h.resume);
  };
}

OptionTable CompareTable(MapComparisonOptions& o, HostOptions& h) {
  static const Option observed{"observed", K::File,
                               "Observed (reference) map: any file the program reads (.asc, "
                               ".e00, .flt, .xya, .dat, GeoTIFF and other rasters GDAL reads)"};
  static const Option simulated{"simulated", K::File, "Simulated map file of the same size"};
  static const Option start{"start", K::File,
                            "Map at the start of the change (same size): adds the change "
                            "measures"};
  static const Option classes{"classes", K::File,
                              "Class file (JSON) naming classes of IDs; see below"};
  static const Option params{"params", K::File,
                             "Parameter file whose land uses give the IDs of the default "
                             "classes"};
  static const Option halving{"halving", K::Number,
                              "Fuzzy kappa: distance in cells at which a neighbour counts one "
                              "half (above 0)"};
  static const Option radius{"radius", K::Number,
                             "Fuzzy kappa: neighbours farther than this many cells do not count "
                             "(0 to 64)",
                             0, 64};
  static const Option noFuzzy =
      Option{"no-fuzzy", K::Flag, "Leave out the fuzzy kappa"}.Keyword("fuzzy").Negated();
  static const Option quiet{"quiet", K::Flag, "No progress and no summary"};
  return [&o, &h](const OptionVisit& v) {
    v(observed.Positional().Required(), &o.observed);
    v(simulated.Positional().Required(), &o.simulated);
    v(start, &o.start);
    v(classes, &o.classes);
    v(params, &o.params);
    v(kOut, &h.out);
    VisitMaps(o.maps, v);
    v(halving, &o.halvingDistance);
    v(radius, &o.radius);
    v(noFuzzy, &o.fuzzy);
    v(quiet.Display(), &h.quiet);
  };
}

OptionTable PrepareTable(std::string& recipe, HostOptions& h) {
  static const Option recipeFile{"recipe", K::File,
                                 "Recipe file (JSON); paths in it are relative to it"};
  static const Option quiet{"quiet", K::Flag, "No summary"};
  return [&recipe, &h](const OptionVisit& v) {
    v(recipeFile.Positional().Required(), &recipe);
    v(kOut, &h.out);
    v(quiet.Display(), &h.quiet);
  };
}

OptionTable FileTable(const std::string& command, FileOptions& o) {
  static const Option in{"in", K::File, "File to read"}, file{"file", K::File, "File to read"};
  static const Option out{"out", K::File, "File to write"},
      png{"out", K::File, "PNG file to write"};
  static const Option space{"space", K::Flag,
                            "Print every numeric field of every land use with its legal range as "
                            "a calibration's space file (min, max, step), ready to cut down"};
  static const Option scale{"scale", K::Number,
                            "Pixels per cell (0: about 800 pixels on the longer side)", 0, 64};
  static const Option extent{"extent",
                             K::Text,
                             "'town' (the developed cells with a margin; the whole grid when none "
                             "is developed) or 'full' (the whole grid)",
                             0,
                             -1,
                             {"town", "full"}};
  static const Option crs{"crs", K::Text,
                          "Coordinate reference system to assign (e.g. EPSG:32633), replacing the "
                          "input's"};
  static const std::map<std::string, const char*> paramsHelp = {
      {"params", "Show these parameters applied to the defaults"},
      {"convert", "Parameter file that gives the names and colours of a GeoTIFF"},
      {"info", "Parameter file that names the land uses"},
      {"render", "Parameter file that gives names and colours"}};
  const auto help = paramsHelp.find(command);
  if (help == paramsHelp.end()) throw io::Error(command + ": no such command");
  const Option params{"params", K::File, help->second};
  const std::string c = command;
  return [c, params, &o](const OptionVisit& v) {
    if (c == "convert") v(in.Positional().Required(), &o.in);
    if (c == "info" || c == "render") v(file.Positional().Required(), &o.in);
    if (c == "convert") v(out.Positional().Required(), &o.out);
    if (c == "render") v(png.Positional().Required(), &o.out);
    if (c == "render") v(scale, &o.scale);
    v(params, &o.params);
    if (c == "params") {
      v(space, &o.space);
      return;
    }
    if (c == "convert") v(crs, &o.crs);
    if (c == "render") v(extent, &o.extent);
    VisitMaps(o.maps, v);
  };
}

}  // namespace towngrow::jobs
