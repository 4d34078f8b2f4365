#include "cli/processes.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "cli/mpi.h"

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

#else  // one process

bool IsSecondaryProcess() { return false; }

MpiProcesses::MpiProcesses() = default;
MpiProcesses::~MpiProcesses() = default;
bool MpiProcesses::AnyFailed(bool failedHere) { return failedHere; }
void MpiProcesses::SumToRoot(EnsembleSums&) {}
void MpiProcesses::SumToRoot(std::vector<std::uint64_t>&) {}

#endif

}  // namespace towngrow::cli
