#include "cli/calibrate_ranks.h"

#include <cmath>

#include "cli/mpi.h"
#include "io/error.h"

namespace towngrow::cli {

#ifdef TOWNGROW_MPI

namespace {

enum Tag : int { kPoint = 101, kStop = 102, kStats = 103, kFailure = 104 };

}  // namespace

void SendPoint(int rank, int round, const Point& point) {
  std::vector<double> words;
  words.push_back(round);
  words.insert(words.end(), point.values.begin(), point.values.end());
  MPI_Send(words.data(), static_cast<int>(words.size()), MPI_DOUBLE, rank, kPoint, MPI_COMM_WORLD);
}

void SendStop(int rank) { MPI_Send(nullptr, 0, MPI_DOUBLE, rank, kStop, MPI_COMM_WORLD); }

bool ReceivePoint(int& round, Point& point, std::size_t dimensions) {
  std::vector<double> words(dimensions + 1);
  MPI_Status status;
  MPI_Recv(words.data(), static_cast<int>(words.size()), MPI_DOUBLE, 0, MPI_ANY_TAG, MPI_COMM_WORLD,
           &status);
  if (status.MPI_TAG == kStop) return false;
  round = static_cast<int>(words[0]);
  point.values.assign(words.begin() + 1, words.end());
  return true;
}

// Per measure: runs with a value, mean and deviation (NaN when no run has a
// value: RunStatistics' only undefined case).
void SendStats(const std::vector<std::vector<RunStatistic>>& stats, int stoppedRuns,
               long stoppedStep) {
  std::vector<double> words = {static_cast<double>(stoppedRuns), static_cast<double>(stoppedStep)};
  for (const auto& atControl : stats)
    for (const RunStatistic& s : atControl) {
      words.push_back(s.defined);
      words.push_back(s.mean.value ? *s.mean.value : NAN);
      words.push_back(s.sd.value ? *s.sd.value : NAN);
    }
  MPI_Send(words.data(), static_cast<int>(words.size()), MPI_DOUBLE, 0, kStats, MPI_COMM_WORLD);
}

void SendFailure(const std::string& what) {
  MPI_Send(what.data(), static_cast<int>(what.size()), MPI_CHAR, 0, kFailure, MPI_COMM_WORLD);
}

int ReceiveStats(std::vector<std::vector<RunStatistic>>& stats, int& stoppedRuns, long& stoppedStep,
                 std::size_t controls, std::size_t measures) {
  MPI_Status status;
  MPI_Probe(MPI_ANY_SOURCE, MPI_ANY_TAG, MPI_COMM_WORLD, &status);
  if (status.MPI_TAG == kFailure) {
    int n = 0;
    MPI_Get_count(&status, MPI_CHAR, &n);
    std::string what(static_cast<std::size_t>(n), '\0');
    MPI_Recv(what.data(), n, MPI_CHAR, status.MPI_SOURCE, kFailure, MPI_COMM_WORLD,
             MPI_STATUS_IGNORE);
    throw io::Error(what);
  }
  std::vector<double> words(2 + controls * measures * 3);
  MPI_Recv(words.data(), static_cast<int>(words.size()), MPI_DOUBLE, status.MPI_SOURCE, kStats,
           MPI_COMM_WORLD, MPI_STATUS_IGNORE);
  stoppedRuns = static_cast<int>(words[0]);
  stoppedStep = static_cast<long>(words[1]);
  stats.assign(controls, std::vector<RunStatistic>(measures));
  std::size_t k = 2;
  for (auto& atControl : stats)
    for (RunStatistic& s : atControl) {
      s.defined = static_cast<int>(words[k]);
      if (s.defined > 0) {
        s.mean = Scalar::Of(words[k + 1]);
        s.sd = Scalar::Of(words[k + 2]);
      } else {
        s.mean = s.sd = Scalar::None("no run has a value");
      }
      k += 3;
    }
  return status.MPI_SOURCE;
}

#else  // one process: never called

void SendPoint(int, int, const Point&) {}
void SendStop(int) {}
bool ReceivePoint(int&, Point&, std::size_t) { return false; }
void SendStats(const std::vector<std::vector<RunStatistic>>&, int, long) {}
void SendFailure(const std::string&) {}
int ReceiveStats(std::vector<std::vector<RunStatistic>>&, int&, long&, std::size_t, std::size_t) {
  throw io::Error("a calibration of one process receives no statistics");
}

#endif

}  // namespace towngrow::cli
