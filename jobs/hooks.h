// What a job asks of its host while it works: where to report how far it
// is, and over which processes its work is spread. The program draws the
// progress as a bar and spreads work over MPI processes; the Python module
// calls a Python function and works in one process.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <towngrow/ensemble.h>

namespace towngrow::jobs {

// `done` of `total` units of work ("steps", "runs", "points"), and a note
// on the work as a whole ("round 2 of 3, best 0.4321"); total 0 names a
// stage of work that is not counted ("comparing the maps").
struct ProgressReport {
  long done = 0;
  long total = 0;
  std::string unit;
  std::string note;
};
// Called from the thread that runs the job; may throw to stop the job.
using Progress = std::function<void(const ProgressReport& report)>;

// The processes a job's runs are spread over: by default this one alone.
// A host that starts several processes (MPI) gives its own; the results of
// a job never depend on the number of processes.
class Processes {
public:
  virtual ~Processes() = default;
  virtual int Rank() const { return 0; }
  virtual int Size() const { return 1; }
  // Collective: true on every process when any of them failed.
  virtual bool AnyFailed(bool failedHere) { return failedHere; }
  // Collective: adds every process's sums (exact integer sums, so the
  // order does not matter) into those of process 0.
  virtual void SumToRoot(EnsembleSums& /*sums*/) {}
  virtual void SumToRoot(std::vector<std::uint64_t>& /*words*/) {}
};

// The one process a job runs in when its host gives none.
Processes& ThisProcessAlone();

}  // namespace towngrow::jobs
