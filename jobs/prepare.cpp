// Running a recipe and writing what it makes (see prepare.h).
#include "jobs/prepare.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>

#include "io/checksum.h"
#include "io/error.h"
#include "io/gdal_raster.h"
#include "io/grid_files.h"
#include "io/result_text.h"
#include "jobs/options.h"
#include "params/params_json.h"
#include "prepare/suitability.h"
#include "report/pages.h"
#include "report/render.h"
#include "report/report.h"
#include "towngrow/calibrate.h"
#include "towngrow/grid/category.h"
#include "towngrow/landuse/land_use.h"
#include "towngrow/landuse/land_use_set.h"
#include "towngrow/platform/framework.h"
#include "towngrow/scenario.h"
#include "towngrow/version.h"

namespace towngrow::jobs {
namespace {

namespace fs = std::filesystem;

const CLandUse* LandUseOf(const CLandUseSet& set, int id) {
  if (id < 0 || id > 255) return nullptr;
  const int i = set.GetIDIndex(static_cast<unsigned char>(id));
  return i < 0 ? nullptr : static_cast<const CLandUse*>(set.m_LandUseArray.GetAt(i));
}

std::string NameOf(const CLandUseSet& set, int id) {
  if (id == io::kStreet) return "street";
  const CLandUse* use = LandUseOf(set, id);
  return use != nullptr ? std::string(use->m_strLandUseName) : "ID " + std::to_string(id);
}

// The ID of the set's first land use of a category (`fallback` for none).
unsigned char IdOfCategory(const CLandUseSet& set, LandUseCategory category, int fallback) {
  for (int i = 0; i < set.m_LandUseArray.GetSize(); ++i) {
    const auto* use = static_cast<const CLandUse*>(set.m_LandUseArray.GetAt(i));
    if (use != nullptr && set.GetCategory(use->m_ID) == category) return use->m_ID;
  }
  return static_cast<unsigned char>(fallback);
}

// A land use of the set from street node to commerce (a layer's "street" is none).
bool Developed(const CLandUseSet& set, int id) {
  if (LandUseOf(set, id) == nullptr) return false;
  const LandUseCategory c = set.GetCategory(static_cast<unsigned char>(id));
  return c == StreetNode || c == StreetVertex || c == House || c == Industry || c == Commerce;
}

// The values a layer's rules give (IDs, kStreet, or allowed sets).
std::set<int> ValuesOf(const io::LayerEntry& layer) {
  std::set<int> values;
  if (layer.vector) values.insert(layer.value);
  if (layer.hasNoData) values.insert(layer.noData);
  for (const io::ValueRule& rule : layer.rules) values.insert(rule.value);
  return values;
}

void WarnUnknownIds(const io::Recipe& r, const std::vector<io::LayerEntry>& layers,
                    const CLandUseSet& set, const PrepareHooks& hooks) {
  if (!hooks.warning) return;
  for (const io::LayerEntry& layer : layers) {
    std::set<int> told;
    auto check = [&](int id, const std::string& key) {
      if (id == io::kStreet || LandUseOf(set, id) != nullptr || !told.insert(id).second) return;
      hooks.warning(r.name + ": " + key + ": ID " + std::to_string(id) +
                    " is no land use of the parameters (its cells never change)");
    };
    if (layer.vector) check(layer.value, layer.valueKey);
    if (layer.hasNoData) check(layer.noData, layer.noDataKey);
    for (const io::ValueRule& rule : layer.rules) check(rule.value, rule.key);
  }
}

std::vector<io::LayerPlan> Plan(const io::Recipe& r, const std::vector<io::LayerEntry>& layers,
                                const io::Grid& grid, const PrepareHooks& hooks) {
  std::vector<io::LayerPlan> plans;
  for (const io::LayerEntry& layer : layers) {
    if (hooks.stage) hooks.stage("Opening " + layer.key + " (" + layer.path + ")");
    plans.push_back(io::PlanLayer(r, layer, grid));
    const io::InputInfo& info = io::InfoOf(*plans.back());
    if (layer.vector && info.features == 0 && hooks.warning)
      hooks.warning(r.name + ": " + layer.key + ": " + layer.path + ": no feature" +
                    (layer.where.empty() ? "" : " where " + layer.where));
  }
  return plans;
}

void Count(PreparedMap& map) {
  map.counts.fill(0);
  for (std::uint8_t v : map.cells) ++map.counts[v];
}

// A schedule's land uses: the value of the cells no layer painted (255, or
// when a painted cell holds 255 the largest value none holds), set in them.
int MarkUnpainted(const io::Recipe& r, const io::ScheduleEntry& e, std::vector<std::uint8_t>& cells,
                  const std::vector<std::uint8_t>& painted) {
  std::array<bool, 256> used{};
  bool left = false;
  for (std::size_t i = 0; i < cells.size(); ++i) {
    if (painted[i])
      used[cells[i]] = true;
    else
      left = true;
  }
  int value = 255;
  while (value >= 0 && used[value]) --value;
  if (!left) return -1;
  if (value < 0)
    throw io::Error(r.name + ": " + e.key +
                    ".start: its layers give every value 0 to 255, none is left for the cells "
                    "they leave as they are");
  for (std::size_t i = 0; i < cells.size(); ++i)
    if (!painted[i]) cells[i] = static_cast<std::uint8_t>(value);
  return value;
}

std::string Join(const std::string& folder, const std::string& name) {
  return (fs::path(folder) / name).string();
}

io::GeoInfo OutputGeo(const io::Grid& grid) {
  if (grid.geo.hasTransform) return grid.geo;
  io::GeoInfo geo = io::GeoFromFields(0, 0, 1, grid.rows);
  geo.wkt = grid.geo.wkt;
  return geo;
}

// "every land use", "nothing", "IDs 0, 2".
std::string AllowText(int bits) {
  if (bits == 255) return "every land use";
  if (bits == 0) return "nothing";
  std::string ids;
  for (int id = 0; id < 8; ++id)
    if (bits & (1 << id)) ids += (ids.empty() ? "" : ", ") + std::to_string(id);
  return (ids.find(',') == std::string::npos ? "ID " : "IDs ") + ids;
}

unsigned int AllowColor(int bits, int order) {
  static const unsigned int palette[8] = {0x2730D7u, 0x61AEFDu, 0x50981Au, 0x94327Bu,
                                          0xB4771Fu, 0x0E7FFFu, 0xC2C2C2u, 0x4B8C8Cu};
  if (bits == 255) return 0xF5F5F5u;
  if (bits == 0) return 0x404040u;
  return palette[order % 8];
}

// The values of a background as classes of a GeoTIFF and a picture.
std::vector<io::LegendClass> AllowClasses(const PreparedMap& map) {
  std::vector<io::LegendClass> kinds;
  int order = 0;
  for (int v = 255; v >= 0; --v) {
    if (map.counts[v] == 0) continue;
    kinds.push_back({v, "allows " + AllowText(v), AllowColor(v, v == 255 || v == 0 ? 0 : order++)});
  }
  return kinds;
}

// A map's value in words: a land use, "unchanged" (a schedule map's cells
// left as they are), an allowed set.
std::string ValueText(const PreparedMap& map, const CLandUseSet& set, int v) {
  if (map.background) return "allows " + AllowText(v);
  if (v == map.noData) return "unchanged";
  return NameOf(set, v);
}

// A surface's mean (0..100) from its cells per value.
double MeanOf(const std::array<std::uint64_t, 256>& counts) {
  double sum = 0, n = 0;
  for (int v = 0; v < 256; ++v) sum += static_cast<double>(counts[v]) * v, n += counts[v];
  return n > 0 ? sum / n : 0;
}

std::string SurfaceText(const std::array<std::uint64_t, 256>& counts) {
  char text[96];
  std::snprintf(text, sizeof text, "mean %.1f, 0 in %llu cells, 100 in %llu cells", MeanOf(counts),
                static_cast<unsigned long long>(counts[0]),
                static_cast<unsigned long long>(counts[100]));
  return text;
}

std::string CellsText(const CLandUseSet& set, const std::array<std::uint64_t, 257>& cells,
                      bool background) {
  std::string text;
  for (int v = 0; v < 257; ++v) {
    if (cells[v] == 0) continue;
    const std::string what =
        background
            ? "allows " + AllowText(v)
            : (v == io::kStreet ? "street" : NameOf(set, v) + " (" + std::to_string(v) + ")");
    text += (text.empty() ? "" : ", ") + what + ": " + std::to_string(cells[v]);
  }
  return text.empty() ? "none" : text;
}

Json CellsJson(const std::array<std::uint64_t, 256>& counts) {
  Json j = Json::object();
  for (int v = 0; v < 256; ++v)
    if (counts[v] != 0) j[std::to_string(v)] = counts[v];
  return j;
}

std::string CrsText(const std::string& wkt) { return wkt.empty() ? "unknown" : io::CrsTitle(wkt); }

}  // namespace

PrepareResult RunPrepare(const Json& recipe, const std::string& folder, const std::string& name,
                         const PrepareHooks& hooks) {
  PrepareResult result;
  result.given = recipe;
  result.recipe = io::ParseRecipe(recipe, name, folder);
  const io::Recipe& r = result.recipe;
  result.set = std::make_shared<CLandUseSet>();
  if (!r.params.empty()) {
    std::error_code ec;
    if (!fs::exists(r.paramsFile, ec))
      throw io::Error(r.name + ": params: " + r.params + ": no such file");
    io::ApplyParamsFile(r.paramsFile, *result.set);
  }
  const CLandUseSet& set = *result.set;
  WarnUnknownIds(r, r.start, set, hooks);
  for (const io::ObservedEntry& o : r.observed) WarnUnknownIds(r, o.layers, set, hooks);
  for (const io::ScheduleEntry& e : r.schedule) WarnUnknownIds(r, e.start, set, hooks);
  if (hooks.stage) hooks.stage("Making the grid");
  result.grid = io::ResolveGrid(r);
  const io::Grid& grid = result.grid;

  // Every layer is opened and checked before any map is made.
  std::vector<io::LayerPlan> start = Plan(r, r.start, grid, hooks);
  std::vector<io::LayerPlan> background = Plan(r, r.background, grid, hooks);
  std::vector<std::vector<io::LayerPlan>> observed;
  for (const io::ObservedEntry& o : r.observed) observed.push_back(Plan(r, o.layers, grid, hooks));
  auto planFactors = [&](const std::vector<io::Factor>& factors, const std::string& key) {
    if (hooks.stage && !factors.empty()) hooks.stage("Opening " + key);
    return io::PlanFactors(r, factors, grid);
  };
  std::vector<io::LayerPlan> suitability = planFactors(r.suitability, "suitability");
  struct EntryPlans {
    std::vector<io::LayerPlan> start, background, suitability;
  };
  std::vector<EntryPlans> scheduled;
  for (const io::ScheduleEntry& e : r.schedule)
    scheduled.push_back({Plan(r, e.start, grid, hooks), Plan(r, e.background, grid, hooks),
                         planFactors(e.suitability, e.key + ".suitability")});

  const unsigned char node = IdOfCategory(set, StreetNode, 1);
  const unsigned char vertex = IdOfCategory(set, StreetVertex, 2);
  auto keep = [&](io::BuiltMap built, PreparedMap map) {
    map.cells = std::move(built.cells);
    map.layers = std::move(built.layers);
    Count(map);
    result.maps.push_back(std::move(map));
  };
  if (hooks.stage) hooks.stage("Making start.tif");
  PreparedMap startMap;
  startMap.file = "start.tif";
  keep(io::BuildIdMap(start, grid, node, vertex), startMap);
  start.clear();
  if (r.hasBackground) {
    if (hooks.stage) hooks.stage("Making background.tif");
    PreparedMap map;
    map.file = "background.tif";
    map.background = true;
    keep(io::BuildBackground(background, grid), map);
    background.clear();
  }
  if (r.hasSuitability) {
    if (hooks.stage) hooks.stage("Making suitability.tif");
    PreparedMap map;
    map.file = "suitability.tif";
    map.suitability = true;
    keep(io::BuildSuitability(suitability, r.suitability, grid), map);
    suitability.clear();
  }
  for (std::size_t k = 0; k < r.observed.size(); ++k) {
    PreparedMap map;
    map.name = r.observed[k].name;
    map.steps = r.observed[k].steps;
    map.file = "observed-" + map.name + ".tif";
    if (hooks.stage) hooks.stage("Making " + map.file);
    keep(io::BuildIdMap(observed[k], grid, node, vertex), map);
    observed[k].clear();
    // At most one developed land use besides streets: a binary map.
    std::set<int> developed;
    for (const io::LayerEntry& layer : r.observed[k].layers)
      for (int v : ValuesOf(layer))
        if (Developed(set, v) && v != node && v != vertex) developed.insert(v);
    if (developed.size() <= 1) result.oneClass = true;
  }
  for (std::size_t k = 0; k < r.schedule.size(); ++k) {
    const io::ScheduleEntry& e = r.schedule[k];
    const std::string stem = "schedule-" + std::to_string(e.step);
    PreparedMap map;
    map.step = e.step;
    if (e.hasStart) {
      map.file = stem + ".tif";
      if (hooks.stage) hooks.stage("Making " + map.file);
      std::vector<std::uint8_t> painted;
      io::BuiltMap built = io::BuildIdMap(scheduled[k].start, grid, node, vertex, &painted);
      map.noData = MarkUnpainted(r, e, built.cells, painted);
      keep(std::move(built), map);
      map.noData = -1;
    }
    if (e.hasBackground) {
      map.file = stem + "-background.tif";
      if (hooks.stage) hooks.stage("Making " + map.file);
      map.background = true;
      keep(io::BuildBackground(scheduled[k].background, grid), map);
      map.background = false;
    }
    if (e.hasSuitability) {
      map.file = stem + "-suitability.tif";
      if (hooks.stage) hooks.stage("Making " + map.file);
      map.suitability = true;
      keep(io::BuildSuitability(scheduled[k].suitability, e.suitability, grid), map);
    }
    scheduled[k] = {};
  }
  return result;
}

PrepareResult RunPrepareFile(const std::string& path, const PrepareHooks& hooks) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) throw io::Error(path + ": no such recipe file");
  const Json doc = io::ReadJsonFile(path, "recipe");
  const std::string folder = fs::path(path).parent_path().string();
  return RunPrepare(doc, folder.empty() ? "." : folder, path, hooks);
}

Json ClassesJson(const PrepareResult& result) {
  Json developed = Json::array(), rest = Json::array();
  const CLandUseSet& set = *result.set;
  std::set<int> ids;
  for (int i = 0; i < set.m_LandUseArray.GetSize(); ++i)
    ids.insert(static_cast<const CLandUse*>(set.m_LandUseArray.GetAt(i))->m_ID);
  for (int id : ids) (Developed(set, id) ? developed : rest).push_back(id);
  Json doc;
  doc["classes"] = Json::array();
  doc["classes"].push_back({{"name", "urban"}, {"ids", developed}, {"developed", true}});
  doc["classes"].push_back({{"name", "non-urban"}, {"ids", rest}});
  return doc;
}

Json ScheduleJson(const PrepareResult& result) {
  Json doc = Json::array();
  for (const PreparedMap& map : result.maps) {
    if (map.step == 0) continue;
    if (doc.empty() || doc.back()["step"] != map.step) doc.push_back({{"step", map.step}});
    if (map.background)
      doc.back()["background"] = map.file;
    else if (map.suitability)
      doc.back()["suitability"] = map.file;
    else
      doc.back()["layers"] = Json::array({map.file});
  }
  return doc;
}

namespace {

// " --stem ": an option of the program's calibrate command line.
std::string Named(const std::string& stem) { return " " + ProgramOption(stem) + " "; }

}  // namespace

std::string CalibrateCommandLine(const PrepareResult& result, const std::string& folder) {
  std::string words =
      "towngrow calibrate" + Named("start") + io::ShellWord(Join(folder, "start.tif"));
  for (const PreparedMap& map : result.maps) {
    if (map.step != 0) continue;
    if (map.background)
      words += Named("background") + io::ShellWord(Join(folder, map.file));
    else if (map.suitability)
      words += Named("suitability") + io::ShellWord(Join(folder, map.file));
    else if (!map.name.empty())
      words += Named("observed") +
               io::ShellWord(Join(folder, map.file) + ":" + std::to_string(map.steps));
  }
  if (!result.recipe.schedule.empty())
    words += Named("schedule") + io::ShellWord(Join(folder, "schedule.json"));
  if (result.oneClass) words += Named("classes") + io::ShellWord(Join(folder, "classes.json"));
  if (!result.recipe.params.empty())
    words += Named("params") + io::ShellWord(result.recipe.paramsFile);
  return words + Named("space") + "SPACE.json";
}

Json PrepareRecord(const PrepareResult& result, const std::string& folder,
                   const std::map<std::string, std::string>& digests) {
  const io::Recipe& r = result.recipe;
  const io::Grid& g = result.grid;
  Json doc;
  doc["towngrow"] = Version();
  doc["recipe"] = r.name;
  doc["folder"] = io::AbsolutePath(r.folder);
  if (!r.description.empty()) doc["description"] = r.description;
  Json grid;
  grid["rows"] = g.rows;
  grid["cols"] = g.cols;
  grid["from"] = g.from;
  grid["transform"] = g.geo.hasTransform
                          ? Json(std::vector<double>(g.geo.transform, g.geo.transform + 6))
                          : Json(nullptr);
  grid["crs"] = g.geo.wkt.empty() ? Json(nullptr) : Json(io::CrsTitle(g.geo.wkt));
  grid["crsWkt"] = g.geo.wkt.empty() ? Json(nullptr) : Json(g.geo.wkt);
  doc["grid"] = grid;
  doc["params"] = r.params.empty() ? Json(nullptr) : Json(io::AbsolutePath(r.paramsFile));
  Json inputs = Json::array(), outputs = Json::object();
  for (const PreparedMap& map : result.maps) {
    Json out;
    if (!map.name.empty()) {
      out["name"] = map.name;
      out["steps"] = map.steps;
    }
    if (map.step != 0) out["step"] = map.step;
    if (map.noData >= 0) out["unchanged"] = map.noData;
    if (digests.count(map.file)) out["sha256"] = digests.at(map.file);
    if (map.suitability) out["mean"] = MeanOf(map.counts);
    out["cells"] = CellsJson(map.counts);
    Json layers = Json::array();
    for (const io::LayerReport& layer : map.layers) {
      const io::InputInfo& in = layer.input;
      Json i;
      i["key"] = in.key;
      i["path"] = in.path;
      i["file"] = io::AbsolutePath(in.file);
      i["kind"] = in.vector ? "vector" : "raster";
      i["driver"] = in.driver;
      if (in.vector)
        i["features"] = in.features;
      else
        i["size"] = {in.rows, in.cols};
      i["crs"] = in.crs.empty() ? Json(nullptr) : Json(io::CrsTitle(in.crs));
      i["georeferenced"] = in.georeferenced;
      i["placed"] = in.placing;
      i["sha256"] = in.sha256.empty() ? Json(nullptr) : Json(in.sha256);
      inputs.push_back(i);
      Json set = Json::object();
      for (int v = 0; v < 257; ++v)
        if (layer.cells[v] != 0)
          set[v == io::kStreet ? "street" : std::to_string(v)] = layer.cells[v];
      Json l = {{"key", in.key}, {map.suitability ? "cellsPerPercent" : "cellsSet", set}};
      if (in.vector && layer.joined > 0) l["joined"] = layer.joined;
      layers.push_back(l);
    }
    out["layers"] = layers;
    outputs[map.file] = out;
  }
  doc["inputs"] = inputs;
  doc["outputs"] = outputs;
  doc["classes"] = result.oneClass ? Json("classes.json") : Json(nullptr);
  if (!result.recipe.schedule.empty()) {
    Json schedule = ScheduleJson(result);
    for (Json& entry : schedule)
      for (const char* k : {"layers", "background", "suitability"}) {
        if (!entry.contains(k)) continue;
        const std::string file = k[0] == 'l' ? entry[k][0] : entry[k];
        const Json written = {
            {"file", file},
            {"sha256", digests.count(file) ? Json(digests.at(file)) : Json(nullptr)}};
        entry[k] = k[0] == 'l' ? Json::array({written}) : written;
      }
    doc["schedule"] = {{"file", "schedule.json"},
                       {"sha256", digests.count("schedule.json") ? Json(digests.at("schedule.json"))
                                                                 : Json(nullptr)},
                       {"entries", schedule}};
  }
  doc["calibrate"] = CalibrateCommandLine(result, folder);
  doc["given"] = result.given;
  return doc;
}

void WritePrepareOutputs(const PrepareResult& result, io::OutputFolder& out) {
  const std::string& folder = out.Path();
  const io::Grid& g = result.grid;
  const io::GeoInfo geo = OutputGeo(g);
  report::Report page;
  page.title = "towngrow prepare: " + result.recipe.name;
  std::error_code ec;
  std::string recipe = result.recipe.name;
  HostOptions host{folder};
  page.command = fs::is_regular_file(result.recipe.name, ec)
                     ? RepeatLine("prepare", PrepareTable(recipe, host))
                     : "(a recipe given as a value: prepare.json holds it under \"given\")";
  page.facts = {
      {"grid", std::to_string(g.rows) + " x " + std::to_string(g.cols) + " cells, " + g.from},
      {"CRS", CrsText(g.geo.wkt)},
      {"calibrate", CalibrateCommandLine(result, folder)},
      {"towngrow", Version()}};
  report::ReportTable layers;
  layers.caption = "Layers: the cells each set (later layers win)";
  layers.header = {"map", "layer", "file", "placed", "cells set"};
  std::map<std::string, std::string> digests;
  constexpr unsigned int kSurfaceColor = 0x3C8C1Eu;  // green, 0x00BBGGRR
  for (const PreparedMap& map : result.maps) {
    io::TiffLegend legend;
    const std::string at = map.step != 0 ? " at the start of step " + std::to_string(map.step) : "";
    if (map.background) {
      legend.classes = AllowClasses(map);
      legend.description = "background: land uses allowed per cell (bit k for ID k)" + at;
    } else if (map.suitability) {
      legend.percent = true;
      legend.percentNoData = false;
      legend.color = kSurfaceColor;
      legend.description = "suitability for growth, 0 to 100" + at;
    } else {
      legend.classes = io::LegendOf(*result.set);
      legend.noData = map.noData;
      legend.description = map.step != 0      ? "land uses painted" + at + " (no-data: unchanged)"
                           : map.name.empty() ? "start map"
                                              : "control map " + map.name + " (" +
                                                    std::to_string(map.steps) + " steps)";
    }
    digests[map.file] =
        io::FileSha256(out.AddGeoTiff(map.file, map.cells.data(), g.rows, g.cols, geo, legend));

    report::MapPicture pic;
    pic.cells = map.cells.data();
    pic.rows = g.rows;
    pic.cols = g.cols;
    report::ValueFlags present{};
    for (int v = 0; v < 256; ++v) present[v] = map.counts[v] != 0 && v != map.noData;
    if (map.suitability) {
      report::HeatColors(kSurfaceColor, pic);
    } else {
      report::LegendColors(legend.classes, present, pic);
      if (map.noData >= 0) {
        pic.colors[map.noData] = 0xF0F0F0u;
        pic.legend.push_back({0xF0F0F0u, "unchanged"});
      }
    }
    pic.title = map.file;
    pic.subtitle = legend.description;
    pic.mapScale = report::MapScaleOf(geo);
    const std::string pngName = map.file.substr(0, map.file.size() - 4) + ".png";
    page.pictures.push_back(
        report::AddMapPng(out, pngName, pic, map.file + ": " + legend.description));

    report::ReportTable cells;
    cells.caption = map.file + ": cells per " +
                    (map.background    ? "allowed set"
                     : map.suitability ? "value"
                                       : "land use");
    cells.header = {map.background    ? "allows"
                    : map.suitability ? "suitability"
                                      : "land use",
                    "value", "cells", "share"};
    auto row = [&](const std::string& what, const std::string& value, std::uint64_t n) {
      char share[32];
      std::snprintf(share, sizeof share, "%.2f %%", 100.0 * n / map.cells.size());
      cells.rows.push_back({what, value, std::to_string(n), share});
    };
    if (map.suitability) {
      const int bins[][2] = {{0, 0}, {1, 25}, {26, 50}, {51, 75}, {76, 99}, {100, 100}};
      for (const auto& b : bins) {
        std::uint64_t n = 0;
        for (int v = b[0]; v <= b[1]; ++v) n += map.counts[v];
        const std::string range =
            std::to_string(b[0]) + (b[0] == b[1] ? "" : "-" + std::to_string(b[1]));
        row(b[0] == 0 ? "none" : b[0] == 100 ? "full" : "partial", range, n);
      }
    }
    for (int v = 0; v < 256 && !map.suitability; ++v)
      if (map.counts[v] != 0) row(ValueText(map, *result.set, v), std::to_string(v), map.counts[v]);
    page.tables.push_back(cells);
    for (const io::LayerReport& layer : map.layers) {
      std::string what;
      if (map.suitability) {
        std::array<std::uint64_t, 256> perPercent{};
        std::copy(layer.cells.begin(), layer.cells.begin() + 256, perPercent.begin());
        what = "factor " + SurfaceText(perPercent);
      } else {
        what = CellsText(*result.set, layer.cells, map.background) +
               (layer.joined > 0 ? "; " + std::to_string(layer.joined) + " joined" : "");
      }
      layers.rows.push_back(
          {map.file, layer.input.key, layer.input.path, layer.input.placing, what});
    }
  }
  page.tables.push_back(layers);
  if (!result.recipe.schedule.empty())
    digests["schedule.json"] =
        io::FileSha256(out.AddText("schedule.json", io::DumpReadable(ScheduleJson(result))));
  if (result.oneClass) out.AddText("classes.json", io::DumpReadable(ClassesJson(result)));
  out.AddText("prepare.json", io::DumpReadable(PrepareRecord(result, folder, digests)));
  report::AddReportPage(out, page);
}

std::string PrepareSummary(const PrepareResult& result, const std::string& folder) {
  const io::Grid& g = result.grid;
  std::string text = "Grid: " + std::to_string(g.rows) + " x " + std::to_string(g.cols) +
                     " cells, " + g.from + ", CRS " + CrsText(g.geo.wkt) + "\n";
  std::string files;
  for (const PreparedMap& map : result.maps) {
    text += map.file + (map.name.empty() ? "" : " (" + std::to_string(map.steps) + " steps)") +
            (map.step == 0 ? "" : " (at step " + std::to_string(map.step) + ")") + ":";
    std::string parts;
    for (int v = 0; v < 256 && !map.suitability; ++v)
      if (map.counts[v] != 0)
        parts += std::string(parts.empty() ? " " : ", ") + ValueText(map, *result.set, v) + " " +
                 std::to_string(map.counts[v]);
    text += (map.suitability ? " " + SurfaceText(map.counts) : parts) + "\n";
    files += map.file + ", ";
  }
  if (!result.recipe.schedule.empty()) files += "schedule.json, ";
  if (result.oneClass) files += "classes.json, ";
  text += "Wrote " + files + "their pictures (.png), prepare.json and report.html into " + folder +
          "\n";
  if (result.recipe.observed.empty())
    text += "Add control maps (\"observed\") to the recipe to calibrate on them\n";
  else
    text += "Calibrate with (fill in the space file):\n  " + CalibrateCommandLine(result, folder) +
            "\n";
  return text;
}

}  // namespace towngrow::jobs
