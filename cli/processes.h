// The processes of a distributed ensemble or calibration. Built with
// TOWNGROW_MPI, MpiProcesses starts MPI (threads allowed, only this thread
// calls MPI) and ends it; without it there is one process, rank 0. The MPI
// calls of ensembles live in processes.cpp, those of calibrations in
// calibrate_ranks.cpp.
#pragma once

#include <cstdint>
#include <vector>

#include <towngrow/towngrow.h>

#include "jobs/hooks.h"

namespace towngrow::cli {

// True in a process that an MPI launcher started as other than the first
// (read from the launcher's environment, so it holds before MPI starts);
// always false without TOWNGROW_MPI. Such a process prints no error lines:
// the first one does.
bool IsSecondaryProcess();

class MpiProcesses : public jobs::Processes {
public:
  MpiProcesses();
  ~MpiProcesses() override;
  MpiProcesses(const MpiProcesses&) = delete;
  MpiProcesses& operator=(const MpiProcesses&) = delete;

  int Rank() const override { return rank_; }
  int Size() const override { return size_; }
  bool AnyFailed(bool failedHere) override;
  void SumToRoot(EnsembleSums& sums) override;
  void SumToRoot(std::vector<std::uint64_t>& words) override;

private:
  int rank_ = 0;
  int size_ = 1;
  bool started_ = false;
};

}  // namespace towngrow::cli
