// `towngrow compare OBSERVED SIMULATED [--start START]`: how close a
// simulated map is to an observed one (see towngrow/compare.h for every
// measure).
//
// Outputs in the --out folder, all written under temporary names and
// published together once everything is computed (bad input writes
// nothing, not even the folder):
//   compare.json   every measure: the maps, the classes and their cells,
//                  IDs without a class, the cross-tabulation in cells and
//                  proportions, every named measure ("measures", null when
//                  undefined, with the reason under "undefined"), the change
//                  counts, the fuzzy kappa's P and E, the multiple-resolution
//                  budget, the landscape metrics of both maps
//   crosstab.csv   cells per observed (rows) and simulated (columns) class,
//                  with totals
//   landscape.csv  per class, the observed and the simulated map's metrics
//                  on adjacent lines
//   resolution.csv agreement, quantity and allocation per block side
//   resolution.png quantity and allocation disagreement per block side, as
//                  a chart (when the budget per resolution was computed)
//   agreement.png  with a start map: per cell unchanged in both, hit, miss,
//                  false alarm, wrong hit or no class; without: same class,
//                  other class or no class; with a legend of cell counts
//   agreement.tif  the same kinds as a GeoTIFF (codes 0 unchanged or same
//                  class, 1 hit, 2 miss, 3 false alarm, 4 wrong hit, 5 no
//                  class, 6 other class) with the observed map's
//                  georeference and CRS, named and coloured per kind
//
// Classes: the default classes of the land uses (--params FILE names their
// IDs and categories), or --classes FILE (ReadClassFile). Maps of other
// sizes than the observed one are refused before they are read.
//
// Choices of ours:
// - Map files are read through the program's map loading (any format it
//   reads); a file smaller than 5 x 5 is compared at its own size.
// - The ages of the maps are dropped once read (comparison needs IDs only).
// - Numbers in the CSV files have 6 decimals; undefined values are empty.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

#include <towngrow/towngrow.h>

#include "io/params_json.h"

namespace towngrow::jobs {

struct CompareCommandOptions {
  std::string observed, simulated, start;  // start: empty for none
  std::string classes, params;             // files, empty for none
  std::string out = "towngrow-compare";
  double halvingDistance = 2.0;
  double radius = 4.0;
  bool fuzzy = true;
  bool quiet = false;
};

void RunCompareCommand(const CompareCommandOptions& options, std::FILE* out);

// Shared with `ensemble --observed`: a value as JSON (null when undefined),
// as text with this many decimals ("" when undefined), and cells per ID as
// a JSON object of the IDs that have any ({"9": 12}).
io::Json ScalarJson(const Scalar& v);
std::string FixedText(const Scalar& v, int decimals);
io::Json IdCountsJson(const std::array<std::uint64_t, 256>& counts);

// Reads a class file: {"classes": [{"name": "urban", "ids": [1, 2, 3],
// "developed": true}, ...]} with 1 to 32 classes; names of 1 to 40
// letters, digits, '_' or '-', unique, not "developed"; IDs 0..255, each in
// at most one class; "developed" optional (false). IDs no class lists have
// no class. Anything else is refused with an AppError naming the file and
// the key.
ClassScheme ReadClassFile(const std::string& path);

}  // namespace towngrow::jobs
