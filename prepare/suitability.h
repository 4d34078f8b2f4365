// A suitability surface: how fit each cell of the grid is for growth, 0
// (not at all) to 100, the product of a recipe's factors.
//
// Each factor is computed on its raster's own cells first (no-data cells,
// and cells that hold no number, take the factor's "nodata"), then placed
// on the grid: as it stands when it has the grid's size and place (or when
// the layer or grid has no georeference), else warped by GDAL from its CRS
// to the grid's as the mean of its cells when they are finer than the
// grid's, by bilinear interpolation otherwise (a continuous surface, where
// land-use layers take the most frequent value or the nearest). Grid cells
// the raster does not cover take the factor's "nodata" as well.
//
// A cell's value is the product of its factors, times 100, rounded half up.
#pragma once

#include <cstdint>
#include <vector>

#include "prepare/layers.h"

namespace towngrow::io {

// A factor's value (0..1) for a raster value `v` (not no-data).
double FactorValue(const Factor& factor, double v);

// Opens each factor's raster and checks it against the grid. Throws AppError.
std::vector<LayerPlan> PlanFactors(const Recipe& recipe, const std::vector<Factor>& factors,
                                   const Grid& grid);

// The surface, 0..100 per cell, row 0 first; each layer's report holds the
// input and, per value 0..100, the cells where the factor alone gives it.
BuiltMap BuildSuitability(std::vector<LayerPlan>& plans, const std::vector<Factor>& factors,
                          const Grid& grid);

}  // namespace towngrow::io
