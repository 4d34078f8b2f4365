// The processes of a distributed ensemble or calibration. Built with
// TOWNGROW_MPI, MpiProcesses starts MPI (threads allowed, only this thread
// calls MPI) and ends it; without it there is one process, rank 0. Every
// MPI call lives in processes.cpp: the sums of ensembles and the point
// exchange of calibrations (the first process alone sends points; each
// other sends their statistics back).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
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
  void SendPoint(int rank, int round, const Point& point) override;
  void SendStop(int rank) override;
  bool ReceivePoint(int& round, Point& point, std::size_t dimensions) override;
  void SendStats(const PointResult& result) override;
  void SendFailure(const std::string& what) override;
  int ReceiveStats(PointResult& result, std::size_t controls, std::size_t measures) override;

private:
  int rank_ = 0;
  int size_ = 1;
  bool started_ = false;
};

}  // namespace towngrow::cli
