// The processes of a distributed ensemble. Built with TOWNGROW_MPI, a
// RankSession starts MPI (threads allowed, only this thread calls MPI) and
// ends it; without it there is one process, rank 0. A session made for
// one process alone (alone = true) never calls MPI: the first process of a
// distributed calibration grows its best point's ensembles so. The MPI
// calls of ensembles live in ensemble_ranks.cpp, those of calibrations in
// calibrate_ranks.cpp.
#pragma once

#include <cstdint>
#include <vector>

#include <towngrow/towngrow.h>

namespace towngrow::jobs {

// True in a process that an MPI launcher started as other than the first
// (read from the launcher's environment, so it holds before MPI starts);
// always false without TOWNGROW_MPI. Such a process prints no error lines:
// the first one does.
bool IsSecondaryProcess();

class RankSession {
public:
  explicit RankSession(bool alone = false);
  ~RankSession();
  RankSession(const RankSession&) = delete;
  RankSession& operator=(const RankSession&) = delete;

  int Rank() const { return rank_; }
  int Size() const { return size_; }
  bool Alone() const { return alone_; }

  // Collective: true on every process when any of them failed.
  bool AnyFailed(bool failedHere);

  // Collective: adds every process's sums element by element into those of
  // process 0 (exact unsigned integer sums, so the order of the reduction
  // does not matter). Every process must hold sums of the same shape. The
  // other processes' sums are left as they were.
  void SumToRoot(EnsembleSums& sums);
  // Collective: the same for a list of words of the same length everywhere.
  void SumToRoot(std::vector<std::uint64_t>& words);

private:
  int rank_ = 0;
  int size_ = 1;
  bool started_ = false;
  bool alone_ = false;
};

}  // namespace towngrow::jobs
