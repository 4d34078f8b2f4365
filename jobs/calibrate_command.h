// `towngrow calibrate`: fits parameters to a town's past. Points of a
// search space (values of land-use parameters) are each run --runs times
// from the start map (run i seeded seed + i * seed-step, as an ensemble
// seeds run i) and compared with the control maps, observed a number of
// steps after the start; the objective ranks them.
//
// Inputs: --start (a map or the built-in town), --observed MAP:STEPS (one
// or more), --space FILE, and optionally --params (the base parameters),
// --background, --runs, --seed, --seed-step, --method grid|refine|lhs with
// --rounds, --keep, --lattice, --samples, --objective, --threads.
//
// The space file is a JSON list of parameters, each
//   {"id": <land-use ID>, "field": "<name as towngrow params prints it>",
//    "values": [v, ...]}   or   {"id", "field", "min", "max", "step"}
// (a list entry as "directionProb[2]"; true/false fields as 0 and 1). A
// parameter is named "id<ID>.<field>" in keys and files.
//
// Outputs in --out:
//   calibration.sqlite  every finished point (calibration_store.h); a rerun
//                       of the same command skips the points it holds
//   ranking.csv         every point, best first: rank, key, values,
//                       objective, quantity, round, then the mean and sd of
//                       each measure at each control map
//   rounds.csv          per round: points, points run, the ranges searched,
//                       best objective and point of the round and so far
//   best.json           the best point's complete parameters (works with
//                       --params) and a "run" record that repeats its runs
//   rounds.png          the best objective after each round
//   objective-<parameter>.png  the objective of every point against the
//                       parameter's value (other characters than letters,
//                       digits, '.', '_', '-' of the name as '-')
//   report.html         the ten best points, the rounds, these charts inline
//                       and the command line that repeats the calibration
//   validation.csv      with --validate MAP:STEPS: the best point scored on
//                       each held-out map (not used for fitting): objective,
//                       quantity and each measure's mean and sd over its runs
//   best/step-<N>/      for the best point, the ensemble's maps and the
//                       comparison with the control map of N steps (as
//                       `towngrow ensemble --observed` writes them)
// and a line per round on standard output, a progress bar on a terminal.
//
// Choices of ours:
// - Bad input of any kind (files, keys, values outside a parameter's
//   legal range, control maps of another size, steps of 0, a database made
//   for other inputs) is refused before anything is written.
// - Held-out maps (--validate) are not part of the database's fingerprint:
//   the fit does not depend on them.
// - The database is the only file written while the search runs; the other
//   outputs appear when it ends.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include <towngrow/calibrate.h>
#include "jobs/run_command.h"

namespace towngrow::jobs {

struct CalibrateOptions {
  RunOptions town;                    // start, size, parameters, background, seed, out, quiet
  std::vector<std::string> observed;  // MAP:STEPS
  std::vector<std::string> validate;  // MAP:STEPS, held out: the best point scored apart
  std::string space;
  int runs = 4;
  unsigned int seedStep = 1;
  std::string method = "grid";
  int rounds = 3;
  int keep = 3;
  int lattice = 5;
  int samples = 100;
  std::string objective = "fom.developed";
  int threads = 0;
  bool resume = false;
  bool bestOutputs = true;  // best.json's ensemble maps and comparisons
};

// A searched parameter as the space file names it.
struct SpaceEntry {
  int id = 0;
  std::string field;
};

// Reads a space file against the set's land uses and parameter table (one
// entry per parameter into `entries`); throws AppError naming the file and
// the entry.
SearchSpace ReadSpace(const std::string& path, const CLandUseSet& set,
                      std::vector<SpaceEntry>& entries);

// Runs the calibration; throws AppError on bad input. `out` receives the
// round lines and the summary.
int RunCalibrateCommand(const CalibrateOptions& options, std::FILE* out);

}  // namespace towngrow::jobs
