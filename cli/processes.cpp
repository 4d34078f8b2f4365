#include "cli/processes.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "cli/mpi.h"
#include "io/error.h"

namespace towngrow::cli {

#ifdef TOWNGROW_MPI

bool IsSecondaryProcess() {
  for (const char* name : {"OMPI_COMM_WORLD_RANK", "PMI_RANK", "PMIX_RANK"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return std::strcmp(value, "0") != 0;
  }
  return false;
}

namespace {

// Elements per reduction call: keeps the count well inside an int and the
// buffers small.
constexpr std::size_t kChunk = std::size_t{1} << 20;

void SumUint64(std::uint64_t* data, std::size_t n, int rank) {
  std::vector<std::uint64_t> total;
  for (std::size_t first = 0; first < n; first += kChunk) {
    const std::size_t count = std::min(kChunk, n - first);
    if (rank == 0) {
      total.assign(count, 0);
      MPI_Reduce(data + first, total.data(), static_cast<int>(count), MPI_UINT64_T, MPI_SUM, 0,
                 MPI_COMM_WORLD);
      std::copy(total.begin(), total.end(), data + first);
    } else {
      MPI_Reduce(data + first, nullptr, static_cast<int>(count), MPI_UINT64_T, MPI_SUM, 0,
                 MPI_COMM_WORLD);
    }
  }
}

// 16-bit counts travel as 64-bit values (the totals never pass 65535 runs).
void SumUint16(std::vector<std::uint16_t>& data, int rank) {
  std::vector<std::uint64_t> wide;
  for (std::size_t first = 0; first < data.size(); first += kChunk) {
    const std::size_t count = std::min(kChunk, data.size() - first);
    wide.assign(data.begin() + static_cast<std::ptrdiff_t>(first),
                data.begin() + static_cast<std::ptrdiff_t>(first + count));
    SumUint64(wide.data(), count, rank);
    if (rank == 0)
      for (std::size_t k = 0; k < count; ++k) data[first + k] = static_cast<std::uint16_t>(wide[k]);
  }
}

}  // namespace

MpiProcesses::MpiProcesses() {
  int provided = 0;
  MPI_Init_thread(nullptr, nullptr, MPI_THREAD_FUNNELED, &provided);
  started_ = true;
  MPI_Comm_rank(MPI_COMM_WORLD, &rank_);
  MPI_Comm_size(MPI_COMM_WORLD, &size_);
}

MpiProcesses::~MpiProcesses() {
  if (started_) MPI_Finalize();
}

bool MpiProcesses::AnyFailed(bool failedHere) {
  int here = failedHere ? 1 : 0;
  int any = 0;
  MPI_Allreduce(&here, &any, 1, MPI_INT, MPI_MAX, MPI_COMM_WORLD);
  return any != 0;
}

void MpiProcesses::SumToRoot(EnsembleSums& sums) {
  std::uint64_t runs = sums.runs;
  SumUint64(&runs, 1, rank_);
  if (rank_ == 0) sums.runs = static_cast<std::uint32_t>(runs);
  for (auto& counts : sums.cellCounts) SumUint16(counts, rank_);
  SumUint64(sums.cellSum.data(), sums.cellSum.size(), rank_);
  SumUint64(sums.squareLow.data(), sums.squareLow.size(), rank_);
  SumUint64(sums.squareHigh.data(), sums.squareHigh.size(), rank_);
}

void MpiProcesses::SumToRoot(std::vector<std::uint64_t>& words) {
  SumUint64(words.data(), words.size(), rank_);
}

namespace {

enum Tag : int { kPoint = 101, kStop = 102, kStats = 103, kFailure = 104 };

}  // namespace

// A point travels as its round then its values.
void MpiProcesses::SendPoint(int rank, int round, const Point& point) {
  std::vector<double> words;
  words.push_back(round);
  words.insert(words.end(), point.values.begin(), point.values.end());
  MPI_Send(words.data(), static_cast<int>(words.size()), MPI_DOUBLE, rank, kPoint, MPI_COMM_WORLD);
}

void MpiProcesses::SendStop(int rank) {
  MPI_Send(nullptr, 0, MPI_DOUBLE, rank, kStop, MPI_COMM_WORLD);
}

bool MpiProcesses::ReceivePoint(int& round, Point& point, std::size_t dimensions) {
  std::vector<double> words(dimensions + 1);
  MPI_Status status;
  MPI_Recv(words.data(), static_cast<int>(words.size()), MPI_DOUBLE, 0, MPI_ANY_TAG, MPI_COMM_WORLD,
           &status);
  if (status.MPI_TAG == kStop) return false;
  round = static_cast<int>(words[0]);
  point.values.assign(words.begin() + 1, words.end());
  return true;
}

// The runs stopped and the step of the first stop, then per measure: runs
// with a value, mean and deviation (NaN when no run has a value:
// RunStatistics' only undefined case).
void MpiProcesses::SendStats(const PointResult& result) {
  std::vector<double> words = {static_cast<double>(result.stoppedRuns),
                               static_cast<double>(result.stoppedStep)};
  for (const auto& atControl : result.stats)
    for (const RunStatistic& s : atControl) {
      words.push_back(s.defined);
      words.push_back(s.mean.value ? *s.mean.value : NAN);
      words.push_back(s.sd.value ? *s.sd.value : NAN);
    }
  MPI_Send(words.data(), static_cast<int>(words.size()), MPI_DOUBLE, 0, kStats, MPI_COMM_WORLD);
}

void MpiProcesses::SendFailure(const std::string& what) {
  MPI_Send(what.data(), static_cast<int>(what.size()), MPI_CHAR, 0, kFailure, MPI_COMM_WORLD);
}

int MpiProcesses::ReceiveStats(PointResult& result, std::size_t controls, std::size_t measures) {
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
  result.stoppedRuns = static_cast<int>(words[0]);
  result.stoppedStep = static_cast<long>(words[1]);
  result.stats.assign(controls, std::vector<RunStatistic>(measures));
  std::size_t k = 2;
  for (auto& atControl : result.stats)
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

#else  // one process

bool IsSecondaryProcess() { return false; }

MpiProcesses::MpiProcesses() = default;
MpiProcesses::~MpiProcesses() = default;
bool MpiProcesses::AnyFailed(bool failedHere) { return failedHere; }
void MpiProcesses::SumToRoot(EnsembleSums&) {}
void MpiProcesses::SumToRoot(std::vector<std::uint64_t>&) {}
void MpiProcesses::SendPoint(int, int, const Point&) {}
void MpiProcesses::SendStop(int) {}
bool MpiProcesses::ReceivePoint(int&, Point&, std::size_t) { return false; }
void MpiProcesses::SendStats(const PointResult&) {}
void MpiProcesses::SendFailure(const std::string&) {}
int MpiProcesses::ReceiveStats(PointResult& result, std::size_t controls, std::size_t measures) {
  return Processes::ReceiveStats(result, controls, measures);
}

#endif

}  // namespace towngrow::cli
