// The messages of a distributed calibration (built with TOWNGROW_MPI,
// started by mpirun): the first process hands points out one at a time to
// the others as they finish (dynamic balance) and alone writes the
// database; each other process evaluates the points it is given with its
// own threads and sends their statistics back. All MPI calls of the
// calibration live in calibrate_ranks.cpp; without TOWNGROW_MPI there is
// one process and none of these is called.
#pragma once

#include <string>
#include <vector>

#include <towngrow/towngrow.h>

namespace towngrow::cli {

// A point to evaluate: the round and its values.
void SendPoint(int rank, int round, const Point& point);
// Tells a process that no more points come.
void SendStop(int rank);
// The next message for a process other than the first: false when it is
// the stop.
bool ReceivePoint(int& round, Point& point, std::size_t dimensions);

// A point's statistics, [control][measure] (RunStatistics' values: the
// undefined ones are those of no run), and its runs stopped by the runaway
// bound with the step of the first stop, to the first process.
void SendStats(const std::vector<std::vector<RunStatistic>>& stats, int stoppedRuns,
               long stoppedStep);
// A failure instead of statistics, as one line.
void SendFailure(const std::string& what);
// On the first process: the next statistics and the process that sent
// them. Throws io::Error with the text of a failure.
int ReceiveStats(std::vector<std::vector<RunStatistic>>& stats, int& stoppedRuns, long& stoppedStep,
                 std::size_t controls, std::size_t measures);

}  // namespace towngrow::cli
