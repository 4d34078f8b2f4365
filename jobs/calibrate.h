// `towngrow calibrate`: fits parameters to a town's past. Points of a
// search space (values of land-use parameters, params/search_space.h) are each
// run `runs` times from the start map (run i seeded seed + i * seed step,
// as an ensemble seeds run i) and compared with the control maps, observed
// a number of steps after the start; the objective ranks them.
//
// Outputs in the folder:
//   calibration.sqlite  every finished point (store/calibration_store.h); a
//                       rerun of the same calibration skips the points it
//                       holds, so one killed at any moment goes on where it
//                       stopped
//   ranking.csv         every point, best first: rank, key, values,
//                       objective, quantity, round, the mean and sd of each
//                       measure at each control map, then the runs stopped
//                       by the runaway bound and the step of the first stop
//                       (empty when none)
//   rounds.csv          per round: points, the ranges searched, best
//                       objective and point of the round and so far
//   best.json           the best point's complete parameters (works as a
//                       parameter file) and a "run" record that repeats its
//                       runs
//   rounds.png          the best objective after each round
//   objective-<parameter>.png  the objective of every point against the
//                       parameter's value (other characters than letters,
//                       digits, '.', '_', '-' of the name as '-')
//   report.html         the ten best points, the rounds, these charts inline
//                       and the command line that repeats the calibration
//   validation.csv      with held-out maps: the best point scored on each
//                       (not used for fitting): objective, quantity and each
//                       measure's mean and sd over its runs, then
//                       majority.<measure> of the majority map there
//   best/step-<N>/      for the best point, the ensemble's maps and the
//                       comparison with the control map of N steps (as
//                       `towngrow ensemble --observed` writes them), and
//                       majority.json: the measures of the map of the cells
//                       in a class in at least half of `majorityRuns` fresh
//                       runs (MajorityMap; run i seeded seed + (runs + i) *
//                       seed step: none of the fit's own seeds)
//   sensitivity.csv     morris: per parameter, its rank by influence and
//                       whether it has any effect, then mu, mu* and sigma of
//                       its elementary effects on the objective (control
//                       "all") and on each measure's mean at each control
//                       map (MorrisEffects); sensitivity.png the objective's
//                       mu* per parameter as bars with sigma
//   pareto.csv          nsga2: the points no other beats in both quantity
//                       and allocation disagreement (optimise/nsga2.h)
//
// Methods: grid, refine and lhs (lattices and samples, towngrow/calibrate.h),
// morris (screening: elementary effects), cmaes (CMA-ES, optimise/cmaes.h)
// and nsga2 (NSGA-II, optimise/nsga2.h); the last two need `evaluations`,
// the budget of distinct points. Every search says before it starts how
// many points it holds at most (PlanText) and refuses a round of more than
// `maxPoints`.
//
// Choices of ours:
// - Bad input of any kind (files, keys, values outside a parameter's legal
//   range, control maps of another size, steps of 0, a database made for
//   other inputs) is refused before anything is written.
// - Held-out maps are not part of the database's fingerprint: the fit does
//   not depend on them.
// - The database is the only file written while the search runs; the other
//   outputs appear together when it ends.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <towngrow/calibrate.h>
#include <towngrow/calibrate_scores.h>
#include <towngrow/compare.h>
#include <towngrow/grid/coverage.h>
#include <towngrow/landuse/land_use_set.h>
#include <towngrow/scenario.h>

#include "io/json_file.h"
#include "io/message_log.h"
#include "io/output_folder.h"
#include "jobs/hooks.h"
#include "jobs/record.h"
#include "jobs/town.h"
#include "params/search_space.h"
#include "store/calibration_store.h"

namespace towngrow::jobs {

// A run stops once it holds more than this many times the developed cells
// of the next control map (towngrow/calibrate.h, "Runaway runs"):
// docs/performance.md gives the measurements behind it.
constexpr double kDefaultRunaway = 3;

// The search methods (jobs/options.h names them).
enum class CalibrationMethod { Grid, Refine, Lhs, Morris, Cmaes, Nsga2 };

struct CalibrateOptions {
  io::TownOptions town;               // start, size, parameters, background, seed (not steps)
  std::vector<std::string> observed;  // MAP:STEPS
  std::vector<std::string> validate;  // MAP:STEPS, held out: the best point scored apart
  std::string space;                  // search space file
  std::string classes;                // class file of the comparisons (empty: the land uses')
  int runs = 4;
  unsigned int seedStep = 1;
  CalibrationMethod method = CalibrationMethod::Grid;
  int rounds = 3;
  int keep = 3;
  int lattice = 5;
  int samples = 100;
  int trajectories = 10;  // morris: R
  int levels = 4;         // morris: P (even)
  long evaluations = 0;   // the budget of distinct points (0: none); cmaes, nsga2 need one
  int population = 0;     // cmaes (0: 4 + 3 ln n), nsga2 (0: 40)
  double maxPoints = kDefaultMaxPoints;  // the most points of a round
  int majorityRuns = 25;                 // fresh runs of the best point's majority maps
  long horizon = 0;       // a projection's steps the best point's abandonment is told for (0: none)
  bool holdAges = false;  // every point's cells rest rather than being given up within the
                          // horizon (and the last control or held-out map's steps)
  double runaway = kDefaultRunaway;  // K of the runaway bound (0: off)
  std::string objective = "fom.developed";
  int threads = 0;
  PictureOptions pictures;
};

// The measures every point records at every control map.
const std::vector<std::string>& CalibrationMeasures();

// A map observed some steps after the start.
struct ControlMapFile {
  std::string path;  // as given ("" for a map given in memory)
  long steps = 0;
  CLandUseCoverage map;
};

// Everything a calibration is made of, read and checked (on every process
// of a distributed calibration).
struct CalibrationInputs {
  CalibrationInputs();
  ~CalibrationInputs();
  SearchSettings settings;
  Objective objective;
  io::TownOptions town;  // as given, with the steps of the last control map
  io::TownSetup setup;
  CLandUseCoverage start, background;
  bool hasBackground = false;
  const Scenario* scenario = nullptr;  // the schedule and suitability (in setup), or none
  std::vector<ControlMapFile> controls;
  std::vector<ControlMapFile> held;  // held out, scored apart
  std::vector<io::SpaceEntry> entries;
  SearchSpace space;
  ClassScheme scheme;
  io::Json baseParams;     // the parameters every point starts from
  bool repeatable = true;  // the options repeat it (a host's own start does not)
  std::unique_ptr<PointEvaluator> evaluator;
  std::vector<std::unique_ptr<PointEvaluator>> validators;  // one per held-out map
  // cmaes, nsga2: a new proposer for each search (empty for the others).
  std::function<std::unique_ptr<Proposer>()> makeProposer;

  long holdAgesTo = 0;  // with holdAges: the steps no cell may grow old within

  // The set of a point's runs: the point's values over the base parameters;
  // with holdAges, housing, industry and commerce then have their inactive
  // period raised so that activeAge + inactivePeriod reaches holdAgesTo.
  std::unique_ptr<CLandUseSet> SetOf(const Point& point) const;
};

// "map.asc:20" into the map's path and 20 (the last ':' splits); the
// option of that stem is named in refusals.
void ParseControlMap(const std::string& arg, ControlMapFile& control,
                     const std::string& stem = "observed");

// Reads every input of the options: the town, control and held-out maps,
// space and classes; then FinishCalibrationInputs. Throws io::Error.
void ReadCalibrationInputs(const CalibrateOptions& options, io::MessageLog& log,
                           CalibrationInputs& inputs);

// Checks the settings, objective and space, and makes the evaluators from
// the inputs' start, background, control and held-out maps, space, scheme
// and parameters (a host that makes those itself calls this).
void FinishCalibrationInputs(const CalibrateOptions& options, CalibrationInputs& inputs);

// What a database is made for (its meta table).
store::StoreMeta CalibrationMeta(const CalibrateOptions& options, const CalibrationInputs& inputs);

// Opens (or makes) the calibration's database in the folder: refused when it
// was made for other inputs, or when `resume` asks for one that is not there.
std::unique_ptr<store::CalibrationStore> OpenCalibrationStore(const CalibrateOptions& options,
                                                              const CalibrationInputs& inputs,
                                                              io::OutputFolder& folder,
                                                              bool resume);

// Reads the inputs on every process (ReadCalibrationInputs) and opens the
// database on the first (OpenCalibrationStore), on all processes or none: a
// failure on any is rethrown on the first, which names it, and answers
// false on the others.
bool StartCalibration(const CalibrateOptions& options, io::MessageLog& log,
                      CalibrationInputs& inputs, io::OutputFolder& folder, bool resume,
                      Processes& processes, std::unique_ptr<store::CalibrationStore>& store);

// What the search holds, said before it starts: "lhs: 300 points, then up
// to 3125 per round of refinement (at most 12800 in all)".
std::string PlanText(const CalibrationInputs& inputs);

struct CalibrateHooks {
  // The points of the round done; the note: the round (generation), the
  // best objective so far, the evaluations left of a budget and, after the
  // first points run now, the time left.
  Progress progress;
  std::function<void(int round, std::size_t points, std::size_t known)> roundBegins;
  std::function<void(const RoundReport& round)> roundEnds;
};

// Runs the search on the first process; finished points go to the store
// (if any) as they finish, and points it holds are not run again. Rethrows
// what the hooks throw (the store keeps the points finished until then).
// Over several processes the first hands the points out one at a time to
// the others as they finish (results come back in any order, each scored
// as the evaluator scores its own) and, at the end or on a failure, tells
// every other to stop.
SearchResult Calibrate(CalibrationInputs& inputs, store::CalibrationStore* store,
                       const CalibrateHooks& hooks, Processes& processes = ThisProcessAlone());

// On every process but the first of several: evaluates the points it is
// handed until it is told to stop; a point's failure goes back as one line.
void ServePoints(const CalibrationInputs& inputs, Processes& processes);

// The best point scored on each held-out map (one result per map).
std::vector<PointResult> ScoreHeldOut(const CalibrationInputs& inputs, const PointResult& best);

// The cells the best point gives up, judged by the comparison's classes:
// per run, the cells in a developed class at some step up to T that are in
// none at T; the mean over the fit's runs (its own seeds), for T the last
// control map's steps and the horizon. The maps hold no sign of
// abandonment a fit could see, so a model that gives up its cores fits as
// well as one that keeps them: this says which the best point is.
struct Abandonment {
  long lastControl = 0;
  double byLastControl = 0;
  long horizon = 0;  // 0: none asked
  double byHorizon = 0;
};

// The best point's majority maps scored on each control map (`fitted`)
// and held-out map (`held`): `majorityRuns` runs seeded seed + (runs + i) *
// seed step, fresh seeds none of the fit's runs had; and its abandonment.
struct MajorityScores {
  std::vector<MajorityScore> fitted, held;
  Abandonment abandoned;
};
MajorityScores ScoreMajorities(const CalibrationInputs& inputs, const CalibrateOptions& options,
                               const PointResult& best);
Abandonment AbandonmentOf(const CalibrationInputs& inputs, const CalibrateOptions& options,
                          const PointResult& best);
// "given up by the best point: 12.5 cells by step 60 (the last control map),
// 830 by step 100 (the horizon)", for summaries and reports.
std::string AbandonmentText(const Abandonment& abandoned);

// ranking.csv, rounds.csv, validation.csv, best.json, the charts and
// report.html (the folder's own; the database is written as the search goes).
void WriteCalibrationOutputs(const CalibrationInputs& inputs, const SearchResult& result,
                             const std::vector<PointResult>& validation,
                             const MajorityScores& majority, const CalibrateOptions& options,
                             io::OutputFolder& folder);

// best/step-<N>/ for each control map: the best point's ensemble, its
// comparison and majority.json (on this process alone).
void WriteBestEnsembles(const CalibrationInputs& inputs, const CalibrateOptions& options,
                        const MajorityScores& majority, io::OutputFolder& folder);

// What a host shows of the end of a calibration.
struct CalibrationEnd {
  std::vector<PointResult> validation;  // ScoreHeldOut
  MajorityScores majority;
};

// The end of a calibration with a folder: the best point scored on the
// held-out maps and by its majority maps, the outputs written and
// published, then the best point's ensembles (best/step-<N>/).
CalibrationEnd FinishCalibration(const CalibrationInputs& inputs, const CalibrateOptions& options,
                                 const SearchResult& result, io::OutputFolder& folder);

// The runaway bound and the points and runs it stopped, for the report
// and the summary: "3 x the developed cells of the next control map: 40 of
// 1000 points stopped (152 runs), first stops at step 2 to 9"; "off".
std::string RunawayText(const CalibrateOptions& options, const SearchResult& result);

// sensitivity.csv of a Morris search's effects (names: the space's
// parameters; steps: the control maps').
std::string SensitivityCsv(const Sensitivity& effects, const SearchSpace& space,
                           const std::vector<long>& steps);

}  // namespace towngrow::jobs
