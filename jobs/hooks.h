// What a job asks of its host while it works: where to report how far it
// is, and over which processes its work is spread. The program draws the
// progress as a bar and spreads work over MPI processes; the Python module
// calls a Python function and works in one process.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <towngrow/calibrate.h>
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

  // The point exchange of a calibration over several processes: the first
  // hands points out, the others evaluate them (jobs/calibrate.h). Only
  // called when Size() > 1; the transport alone, no rule of the job.
  // To process `rank`: a point of a round, or the stop.
  virtual void SendPoint(int /*rank*/, int /*round*/, const Point& /*point*/) {}
  virtual void SendStop(int /*rank*/) {}
  // On a process other than the first: the next point; false at the stop.
  virtual bool ReceivePoint(int& /*round*/, Point& /*point*/, std::size_t /*dimensions*/) {
    return false;
  }
  // To the first process: a point's stats, stoppedRuns and stoppedStep, or
  // a failure as one line.
  virtual void SendStats(const PointResult& /*result*/) {}
  virtual void SendFailure(const std::string& /*what*/) {}
  // On the first process: the next stats ([controls][measures]), runs
  // stopped and step of the first stop into `result`; answers the process
  // that sent them. Throws io::Error with the text of a failure.
  virtual int ReceiveStats(PointResult& result, std::size_t controls, std::size_t measures);
};

// The one process a job runs in when its host gives none.
Processes& ThisProcessAlone();

}  // namespace towngrow::jobs
