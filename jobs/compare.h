// `towngrow compare OBSERVED SIMULATED [--start START]`: how close a
// simulated map is to an observed one (see towngrow/compare.h for every
// measure).
//
// Outputs (published together once everything is computed; bad input
// writes nothing, not even the folder):
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
//   report.html    the measures, the pictures and the command line
//
// Classes: the default classes of the land uses (a parameter file names
// their IDs and categories), or a class file (io/class_file.h). Maps of
// other sizes than the observed one are refused before they are read; a
// file smaller than 5 x 5 is compared at its own size. Numbers in the CSV
// files have 6 decimals; undefined values are empty.
#pragma once

#include <string>

#include <towngrow/compare.h>
#include <towngrow/grid/coverage.h>

#include "io/grid_header.h"
#include "io/message_log.h"
#include "io/output_folder.h"
#include "jobs/hooks.h"

namespace towngrow::jobs {

struct MapComparisonOptions {
  std::string observed, simulated, start;  // files (start: empty for none)
  std::string classes, params;             // files, empty for none
  double halvingDistance = 2.0;            // fuzzy kappa
  double radius = 4.0;
  bool fuzzy = true;
  io::MapReadOptions maps;
};

// The maps compared (observed, simulated, start), their names and where
// they lie, and the results.
struct MapComparison {
  std::string names[3];  // as the results name them (files: absolute paths)
  std::string shown[3];  // as the summary shows them
  CLandUseCoverage maps[3];
  RasterView views[3]{};
  bool hasStart = false;
  io::GeoInfo geo;         // the observed map's
  bool repeatable = true;  // the options repeat it (maps given in memory do not)
  ClassScheme scheme;
  ComparisonResult result;
};

// Refuses a fuzzy kappa's halving distance or radius out of range.
void CheckComparisonOptions(const MapComparisonOptions& options);

// Reads the maps and the classes of the options. Throws io::Error. (A host
// that has the maps in memory fills a MapComparison itself: the maps, their
// views, names, the observed map's georeference, the scheme, and
// `repeatable` false unless the options name every input.)
void ReadMapComparison(const MapComparisonOptions& options, io::MessageLog& log,
                       MapComparison& comparison);

// Every measure; `progress` sees the stages (total 0).
void CompareMaps(MapComparison& comparison, const MapComparisonOptions& options,
                 const Progress& progress);

void WriteComparisonOutputs(const MapComparison& comparison, const MapComparisonOptions& options,
                            io::OutputFolder& folder);

// The summary lines for a terminal.
std::string ComparisonSummaryText(const MapComparison& comparison);

}  // namespace towngrow::jobs
