// A layer of a recipe as planned: its source open, how its cells reach the
// grid (taken as they stand or warped, the window read) or, for a vector
// layer, its features in the grid's CRS.
#pragma once

#include <memory>
#include <vector>

#include <ogr_geometry.h>

#include "prepare/gdal_source.h"
#include "prepare/layers.h"

namespace towngrow::io {

class PlannedLayer {
public:
  const Recipe* recipe = nullptr;
  const LayerEntry* entry = nullptr;
  InputInfo info;
  prepare_gdal::Dataset ds;
  // A raster's: taken as it stands, or warped (by mode or nearest).
  bool warp = false, mode = false;
  double gt[6] = {0, 1, 0, 0, 0, 1};
  // The part of a raster that is read: x and y offsets, columns and rows.
  int win[4] = {0, 0, 0, 0};
  // A vector's features, in the grid's CRS, those that overlap the grid.
  std::vector<std::unique_ptr<OGRGeometry>> geometries;
};

}  // namespace towngrow::io
