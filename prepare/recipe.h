// The recipe of `towngrow prepare`: which layers make the start map, the
// background and the control maps, on which grid. ParseRecipe checks a
// recipe as JSON before any layer is opened and answers what it says.
//
// Layout (keys of ours beside the fixed ones: "band", "description"):
//   {"grid": {"like": FILE} | {"crs": TEXT, "bounds": [xmin, ymin, xmax, ymax], "cell": SIZE},
//    "start": [LAYER, ...],
//    "background": [LAYER, ...],
//    "observed": [{"name": NAME, "steps": N, "layers": [LAYER, ...]}, ...],
//    "suitability": [FACTOR, ...],
//    "schedule": [{"step": N, "start": [LAYER, ...], "background": [LAYER, ...],
//                  "suitability": [FACTOR, ...]}, ...],
//    "params": FILE,
//    "description": TEXT}
// A layer of a start or control map is {"raster": FILE, "band": B,
// "classes": {VALUE: ID | "street", ...}} or the same with "preset" in place
// of "classes", or {"vector": SOURCE, "layer": NAME, "where": SQL, "as": ID
// | "street"}. A background layer is {"raster": FILE, "classes": {VALUE:
// [ID, ...]}} or {"vector": SOURCE, "layer": ..., "where": ..., "allow":
// [ID, ...]}. VALUE is a whole number ("11") or an inclusive range
// ("21-24", "-5--1"); the ranges of one layer may not overlap. A raster
// layer's "nodata" says what its no-data cells become (an ID or "street",
// in a background a list of allowed IDs); without it they keep what lies
// below, unless a rule's range holds the layer's no-data value: that rule
// then gives them (a layer with both is refused when it is opened).
//
// A FACTOR of a suitability surface (the surface is their product) is
// {"raster": FILE, "range": [LO, HI], "invert": BOOL} (LO..HI rescaled to
// 0..1 and clipped), {"slope": FILE, "critical": C} ((C - slope) / C below
// C, 0 from C on, 1 for a negative slope) or {"raster": FILE, "classes":
// {VALUE: SHARE, ...}} (SHARE 0..1; values no class names give 1); each
// with "band" and "nodata" (the factor on no-data cells, 0..1, default 1).
// A schedule entry gives, for the start of step N (1 or more, one entry
// per step), land-use layers painted on nothing, a background and a
// suitability surface; each key but "step" may be left out, not all.
//
// Choices of ours:
// - Paths are relative to the recipe's folder; absolute paths stay as they
//   are.
// - "band" (from 1, default 1) picks a band of a raster of several.
// - A control map's name is 1 to 40 letters, digits, '_', '-' or '.', unique
//   (it names observed-<name>.tif); its steps are 1 to 100000000.
// - A schedule's steps are 1 to 100000000 too; its entries are kept in the
//   order of their steps. An entry's lists, and every list of factors, hold
//   at least one item.
// - A range factor's LO must be below its HI; the critical slope above 0.
// - Anything else is refused with an AppError "<recipe>: <key>: <problem>"
//   (keys as start[1].classes["21-24"]).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "io/json_file.h"

namespace towngrow::io {

// The value a rule of a start or control map gives for "street": the cell
// joins the street network (street node or vertex, see streets.h).
constexpr int kStreet = 256;

// What a layer's rules give: land-use IDs (0..255, or kStreet) for a start
// or control map, sets of allowed IDs (bit k for ID k) for a background,
// shares 0..1 for a suitability factor.
enum class Target { Ids, Background, Share };

struct ValueRule {
  std::int64_t lo = 0, hi = 0;  // inclusive
  int value = 0;
  std::string key;   // where the recipe gives it, for messages
  double share = 0;  // a suitability class's (Target::Share)
};

struct LayerEntry {
  std::string key;  // start[1], observed[0].layers[2], ...
  bool vector = false;
  std::string path;                // as the recipe writes it
  std::string file;                // resolved against the recipe's folder
  std::string fileKey = "raster";  // the key that names it ("slope" for a slope factor)
  int band = 1;
  std::vector<ValueRule> rules;  // a raster's, sorted by lo
  std::string preset;            // the preset the rules come from, if any
  std::string layer, where;      // a vector's
  int value = 0;                 // a vector's ID (or kStreet) or allowed set
  std::string valueKey;          // where the recipe gives it
  bool hasNoData = false;        // a raster's "nodata": what its no-data cells become
  int noData = 0;                // an ID (or kStreet) or allowed set
  std::string noDataKey;
};

// A factor of a suitability surface; `source` names its raster (key,
// path, file, band) and, for Classes, holds the classes as rules.
struct Factor {
  enum Kind { Range, Slope, Classes };
  Kind kind = Range;
  LayerEntry source;
  double lo = 0, hi = 1;  // Range
  bool invert = false;    // Range
  double critical = 0;    // Slope
  double noData = 1;      // the factor on no-data cells
};

struct ScheduleEntry {
  std::string key;  // schedule[2]
  long step = 0;
  bool hasStart = false, hasBackground = false, hasSuitability = false;
  std::vector<LayerEntry> start, background;
  std::vector<Factor> suitability;
};

struct ObservedEntry {
  std::string key;
  std::string name;
  long steps = 0;
  std::vector<LayerEntry> layers;
};

struct GridChoice {
  enum Kind { FirstRaster, Like, Bounds };
  Kind kind = FirstRaster;
  std::string like, likeFile;  // Like: the path and the resolved file
  std::string crs;             // Bounds: as given
  double bounds[4] = {0, 0, 0, 0};
  double cell = 0;
};

struct Recipe {
  std::string name;    // the recipe in messages: its file name, or "recipe"
  std::string folder;  // the folder its paths are relative to
  GridChoice grid;
  std::vector<LayerEntry> start;
  bool hasBackground = false;
  std::vector<LayerEntry> background;
  std::vector<ObservedEntry> observed;
  bool hasSuitability = false;
  std::vector<Factor> suitability;
  std::vector<ScheduleEntry> schedule;  // by step
  std::string params, paramsFile;       // optional parameter file
  std::string description;
};

// Checks and reads a recipe. Throws AppError.
Recipe ParseRecipe(const Json& doc, const std::string& name, const std::string& folder);

// The rules of a preset legend ("nlcd", "corine", "worldcover"); empty for
// another name.
std::vector<ValueRule> PresetRules(const std::string& preset);

// Every layer of a recipe, in the order the maps are made (start,
// background, each control map, each schedule entry's).
std::vector<const LayerEntry*> AllLayers(const Recipe& recipe);

// The rule that names `v`, or null (rules sorted by lo, not overlapping).
const ValueRule* FindRule(const std::vector<ValueRule>& rules, std::int64_t v);
// The rule whose range holds a layer's no-data value, or null (none, or a
// value that is no whole number).
const ValueRule* NoDataRule(const std::vector<ValueRule>& rules, double noData);

}  // namespace towngrow::io
