// Search spaces: the parameters a calibration searches, as a JSON list of
//   {"id": <land-use ID>, "field": "<name as the parameter template shows it>",
//    "values": [v, ...]}   or   {"id", "field", "min", "max", "step"}
// (a list entry as "directionProb[2]"; true/false fields as 0 and 1). A
// parameter is named "id<ID>.<field>" in keys and files. Values must lie
// within the field's legal range, whole for whole-number fields.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include <towngrow/calibrate.h>
#include <towngrow/landuse/land_use_set.h>

#include "io/json_file.h"

namespace towngrow::io {

// A searched parameter as the space names it.
struct SpaceEntry {
  int id = 0;
  std::string field;
};

// Reads a space against the set's land uses and parameter table (one entry
// per parameter into `entries`); refusals (io::Error) name `name` (the
// file, or "space" for a value given in memory) and the entry.
SearchSpace ReadSpace(const Json& doc, const std::string& name, const CLandUseSet& set,
                      std::vector<SpaceEntry>& entries);
SearchSpace ReadSpaceFile(const std::string& path, const CLandUseSet& set,
                          std::vector<SpaceEntry>& entries);

// The set of a point: the parameters `base` (a parameter document) with
// the point's values set.
std::unique_ptr<CLandUseSet> SetForPoint(const Json& base, const std::vector<SpaceEntry>& entries,
                                         const Point& point);

}  // namespace towngrow::io
