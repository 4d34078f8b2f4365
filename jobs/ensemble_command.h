// `towngrow ensemble`: the same town grown many times under different
// seeds, summarised per cell and per step.
//
// Run i (from 0) of an ensemble with --seed S and --seed-step K is exactly
// `towngrow run --seed <S + i*K>` with the same start, size, parameters,
// background and steps (seeds wrap modulo 2^32): the same end state, bit for
// bit. With --start random every run makes its own sparse random start from
// its own seed, as a lone run does: the fill is made on the host's worker,
// and the library's runner then goes on from a seed that repeats the draws
// that would have followed the fill (ContinuationSeed).
//
// Outputs, each finished under a temporary name and renamed when all are
// complete (a failure leaves none of them):
//   <class>.asc    per tracked class (housing, industry, commerce, street
//                  = street node or vertex, developed = any of these), the
//                  percentage of runs that ended with the cell in the class,
//                  as an ASCII grid with the start's georeference
//   <class>.png    the same as a heat map from white (0 %) to the class's
//                  colour (100 %), with a colour bar; with --extent town
//                  (the default) every heat map shows the cells any run
//                  developed into any class, with a margin
//   ensemble.csv   per step (0 = the start), per land use of the set: the
//                  mean and the sample standard deviation over runs of its
//                  cells (4 decimals; the deviation of one run is 0)
//   ensemble.png   the same as a chart: per land use but vacant land the
//                  mean with a band of one standard deviation each side
//   comparison.json, comparison.csv  with --observed: every run compared
//                  with the observed map (see ensemble_observed.h)
//   ensemble.json  the parameters in force and a "run" record as run.json
//                  keeps it, plus runs, seed step and a command line that
//                  repeats the ensemble (the file works as --params)
//
// Choices of ours:
// - Percent per cell: 100 * count / runs rounded half up to an integer
//   (PercentOfRuns).
// - Heat map colour: the colour of the set's first land use of the class's
//   first category (street: the street node's); a class of more than two
//   categories (developed) is drawn in dark grey.
// - The output folder is made once every input has been read, before the
//   runs (so that a folder that cannot be made is refused early).
// - Only the classes' files, ensemble.csv/.png and ensemble.json are written;
//   no run's own end state is kept (repeat a run alone for that).
// - The results never depend on --threads, nor on the number of processes
//   of a distributed build: every aggregate is an exact integer sum.
// - Built with TOWNGROW_MPI and started by mpirun, run i goes to process
//   i mod P; the sums are added on process 0, which alone writes the
//   outputs, shows the progress bar (of its own runs) and the summary.
#pragma once

#include <cstdio>
#include <string>

#include "jobs/run_command.h"

namespace towngrow::jobs {

struct EnsembleOptions {
  RunOptions town;  // start, size, parameters, background, steps, seed, out, quiet
  int runs = 0;     // 1 to 65535
  unsigned int seedStep = 1;
  int threads = 0;            // 0: one per processor core
  std::string observed;       // compare every run with this map (empty: none)
  std::string startOfChange;  // start of the observed change (empty: the ensemble's start)
  bool alone = false;         // this process alone, even under mpirun
};

// Runs the ensemble. Throws AppError on bad input (on process 0); returns
// the exit status (2 on the other processes of a failed distributed run,
// which print nothing). `out` receives the closing summary.
int RunEnsembleCommand(const EnsembleOptions& options, std::FILE* out);

// 100 * count / runs rounded half up (runs at least 1, count 0 to runs).
int PercentOfRuns(unsigned int count, unsigned int runs);

// A seed after which the calling thread's generator draws exactly what it
// would have drawn next without the call. It learns the state from a few
// draws of its own (the generator's top bit never shows in a draw, so the
// seed may differ from the state in that bit alone).
unsigned int ContinuationSeed();

}  // namespace towngrow::jobs
