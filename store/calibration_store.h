// The results of a calibration in an SQLite database (calibration.sqlite in
// the output folder), so that a calibration killed at any moment goes on
// where it stopped.
//
// Tables (WAL journal; each finished point is one transaction, so a point
// is in the database whole or not at all):
//   meta(key, value)         what the calibration is made of: a fingerprint
//                            per input (start map, control maps, background,
//                            parameters, space, runs, seeds, search, objective,
//                            measures); a database made for other inputs is
//                            refused, naming the first that differs
//   points(key, round, parameters, seeds, objective, objective_note,
//          quantity)         one row per finished point: its canonical key,
//                            the round that first asked for it, its values
//                            (JSON object), the seeds of its runs (JSON list),
//                            the objective and the mean quantity disagreement
//                            (NULL when undefined, with the reason)
//   measures(point, control, steps, measure, defined, mean, sd, note)
//                            per point, control map (index from 0, and its
//                            steps) and measure: the runs where the measure
//                            is defined and its mean and sample deviation
//                            over them (NULL and the reason when undefined)
//   stopped(point, runs, step)
//                            the points whose runs grew past the runaway
//                            bound: how many runs stopped and the step of
//                            the first stop (no row: none stopped)
// Tables are keyed by their primary keys (WITHOUT ROWID), so the rows and
// their order do not depend on the order in which points finished.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <towngrow/calibrate.h>
#include <towngrow/platform/framework.h>

struct sqlite3;

namespace towngrow::store {

using StoreMeta = std::vector<std::pair<std::string, std::string>>;

class CalibrationStore {
public:
  // Refuses (io::Error) a database at `path` whose meta table differs from
  // `meta`, or that is not a calibration database; does nothing when there
  // is no file. Writes nothing.
  static void CheckCompatible(const std::string& path, const StoreMeta& meta);

  // Opens or creates the database and writes the meta table of a new one.
  // `measures` and `steps` name the stats of a result, in their order.
  CalibrationStore(const std::string& path, const StoreMeta& meta,
                   std::vector<std::string> measures, std::vector<long> steps);
  ~CalibrationStore();
  CalibrationStore(const CalibrationStore&) = delete;
  CalibrationStore& operator=(const CalibrationStore&) = delete;

  // A finished point (its stats, seeds, round, objective, quantity and
  // stopped runs), or none.
  std::optional<PointResult> Lookup(const std::string& key) const;
  // Records a finished point in one transaction. `names` are the space's
  // parameter names.
  void Add(const PointResult& result, const std::vector<std::string>& names);
  long Count() const;

private:
  sqlite3* db_ = nullptr;
  std::string path_;
  std::vector<std::string> measures_;
  std::vector<long> steps_;
};

}  // namespace towngrow::store
