// The GDAL/OGR side of `towngrow prepare`: the grid every map is made on,
// each layer's cells on that grid, and the maps the layers make.
//
// A raster layer: its rules are applied to its own values first (cells no
// rule names and no-data cells name nothing, unless the layer's "nodata"
// or a rule that names the no-data value says what no-data cells become),
// then the result is placed on the grid:
// - as it stands when it has the grid's size and place (or when the layer
//   or the grid has no georeference: then only a layer of the grid's size
//   is taken, any other is refused);
// - else warped by GDAL (GDALWarp) from its CRS to the grid's: nearest
//   neighbour, or the most frequent value ("mode") when its cells are finer
//   than the grid's (cells no rule names vote too, for keeping what lies
//   below; no-data cells do not vote) (its resolution in the grid's CRS, as GDAL suggests it
//   for the warp, below the grid's cell size). A layer or grid without a CRS
//   is taken to be in the other's CRS. A layer whose extent does not overlap
//   the grid is refused.
// A vector layer (any OGR source; `layer` names one of several, `where` is
// an OGR attribute filter) is reprojected to the grid's CRS and burnt by
// GDAL's rasterizer (GDALRasterizeGeometries, its defaults: a cell is burnt
// when its centre lies in a polygon, lines burn the cells along them). For
// "street", the cells of each line are then joined (streets.h). It needs a
// grid with georeference; a layer none of whose features overlaps the grid
// is refused.
// Every refusal is an AppError "<recipe>: <layer key>.<key>: <problem>".
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "io/gdal_raster.h"
#include "prepare/recipe.h"

namespace towngrow::io {

struct Grid {
  int rows = 0, cols = 0;
  GeoInfo geo;       // no transform: a grid without georeference
  std::string from;  // how it was made: "like urban.tif", "bounds", ...
};

constexpr int kMaxGridSide = 10000;

// The grid of a recipe. Throws AppError.
Grid ResolveGrid(const Recipe& recipe);

// What a layer is, for the record of prepare.json.
struct InputInfo {
  std::string key, path, file;
  bool vector = false;
  std::string driver;      // GDAL's short name
  int rows = 0, cols = 0;  // a raster's
  long features = 0;       // a vector's, after `where`
  std::string crs;         // WKT, empty when unknown
  bool georeferenced = false;
  std::string placing;  // "as it stands", "nearest neighbour", "most frequent value", "burnt"
  std::string sha256;   // of the file ("" for a folder or a connection)
};

// A layer opened and checked against the grid, ready to be placed.
class PlannedLayer;
struct PlannedLayerDeleter {
  void operator()(PlannedLayer* p) const;
};
using LayerPlan = std::unique_ptr<PlannedLayer, PlannedLayerDeleter>;

// Opens a layer and checks it against the grid (file, band, georeference,
// overlap, `where`); reads a vector layer's features. Throws AppError.
LayerPlan PlanLayer(const Recipe& recipe, const LayerEntry& entry, const Grid& grid);
const InputInfo& InfoOf(const PlannedLayer& plan);

// What one layer did to a map: cells it set per value (IDs 0..255, 256 for
// street; a background's allowed sets 0..255), and for a street vector the
// cells joined between burnt cells of one line.
struct LayerReport {
  InputInfo input;
  std::array<std::uint64_t, 257> cells{};
  long joined = 0;
};

// The cells of a map, row 0 first, and what each layer did.
struct BuiltMap {
  std::vector<std::uint8_t> cells;
  std::vector<LayerReport> layers;
};

// A start or control map: all vacant (0), then each layer in turn; street
// cells then take `nodeId` or `vertexId` by the street rule (streets.h).
// `painted`, when given, is set to 1 in every cell a layer names and 0
// elsewhere (a schedule's map of what changes).
BuiltMap BuildIdMap(std::vector<LayerPlan>& plans, const Grid& grid, unsigned char nodeId,
                    unsigned char vertexId, std::vector<std::uint8_t>* painted = nullptr);
// A background: every land use allowed (255), then each layer in turn.
BuiltMap BuildBackground(std::vector<LayerPlan>& plans, const Grid& grid);

}  // namespace towngrow::io
