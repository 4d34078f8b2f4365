#include "io/scenario_files.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <set>

#include "io/checksum.h"
#include "io/error.h"
#include "io/gdal_raster.h"
#include "io/grid_files.h"
#include "io/json_file.h"

namespace fs = std::filesystem;

namespace towngrow::io {
namespace {

std::string Num(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

// Probes a raster of rows x cols cells and reads its band.
std::vector<float> ReadOfSize(const std::string& path, int rows, int cols, bool& isFloat,
                              const MapReadOptions& maps) {
  if (!fs::exists(path)) throw Error(path + ": no such file");
  GdalRasterInfo info;
  if (!ProbeGdalRaster(path, maps.band, info)) throw Error(path + ": not a raster GDAL reads");
  if (info.rows != rows || info.cols != cols)
    throw Error(path + ": has " + std::to_string(info.rows) + " rows and " +
                std::to_string(info.cols) + " columns, the grid " + std::to_string(rows) + " and " +
                std::to_string(cols));
  return ReadGdalBand(path, info, isFloat);
}

std::string Place(const std::string& path, std::size_t k, int cols) {
  return path + ": row " + std::to_string(k / static_cast<std::size_t>(cols)) + ", column " +
         std::to_string(k % static_cast<std::size_t>(cols));
}

// Runs `read`, putting `context` before the line of any refusal.
template <class F>
auto Within(const std::string& context, const F& read) -> decltype(read()) {
  try {
    return read();
  } catch (const Error& e) {
    throw Error(context + ": " + e.what());
  }
}

}  // namespace

std::shared_ptr<const Suitability> LoadSuitability(const std::string& path, int rows, int cols,
                                                   const std::string& what) {
  return Within(what, [&] {
    bool isFloat = false;
    std::vector<float> v = ReadOfSize(path, rows, cols, isFloat, MapReadOptions());
    const float top = isFloat ? 1.0f : 100.0f;
    for (std::size_t k = 0; k < v.size(); ++k) {
      if (std::isnan(v[k])) {
        v[k] = 0.0f;  // no-data: nothing settles there
        continue;
      }
      if (!(v[k] >= 0.0f && v[k] <= top))
        throw Error(Place(path, k, cols) + ": suitability " + Num(v[k]) + " is outside 0 to " +
                    Num(top) + (isFloat ? " (a floating-point band)" : " (per cent)"));
      if (!isFloat) v[k] /= 100.0f;
    }
    auto surface = std::make_shared<Suitability>();
    surface->rows = rows;
    surface->cols = cols;
    surface->values = std::move(v);
    return std::shared_ptr<const Suitability>(std::move(surface));
  });
}

LoadedScenario LoadScenario(const std::string& schedule, const std::string& suitability, int rows,
                            int cols, long steps, CLandUseSet& set, MessageLog& log,
                            const MapReadOptions& maps) {
  LoadedScenario out;
  if (!suitability.empty()) {
    out.scenario.suitability = LoadSuitability(suitability, rows, cols, "--suitability");
    out.files.push_back({suitability, FileSha256(suitability)});
  }
  if (schedule.empty()) return out;
  const Json doc = ReadJsonFile(schedule, "schedule");
  out.files.push_back({schedule, FileSha256(schedule)});
  const fs::path folder = fs::path(schedule).parent_path();
  const auto resolve = [&](const std::string& name) {
    return fs::path(name).is_absolute() ? name : (folder / name).lexically_normal().string();
  };
  if (!doc.is_array()) Where{schedule, "the schedule"}.Fail("must be a list, got " + TypeName(doc));
  std::set<long> stepsSeen;
  std::vector<long> late;
  const std::size_t n = static_cast<std::size_t>(rows) * static_cast<std::size_t>(cols);
  for (std::size_t i = 0; i < doc.size(); ++i) {
    const Json& e = doc[i];
    std::string where = "entry " + std::to_string(i + 1);
    const Where w{schedule, where};
    if (!e.is_object()) w.Fail("must be an object, got " + TypeName(e));
    for (auto it = e.begin(); it != e.end(); ++it)
      if (it.key() != "step" && it.key() != "layers" && it.key() != "background" &&
          it.key() != "suitability")
        w.Fail("unknown key \"" + ShownText(it.key()) +
               "\" (an entry has step, layers, background, suitability)");
    if (!e.contains("step") || !e["step"].is_number_integer())
      w.Fail("\"step\" must be a whole number of 1 or more");
    const long step = e["step"].get<long>();
    if (step < 1) w.Fail("\"step\" must be 1 or more, got " + std::to_string(step));
    where += " (step " + std::to_string(step) + ")";
    const Where at{schedule, where};
    if (!stepsSeen.insert(step).second) at.Fail("a second entry for step " + std::to_string(step));
    if (step > steps) late.push_back(step);
    const std::string context = schedule + ": " + where;
    ScheduleEntry entry;
    entry.step = step;
    const auto fileOf = [&](const char* key, const Json& v) {
      if (!v.is_string() || v.get<std::string>().empty())
        Where{schedule, where + "." + key}.Fail("must be a file name, got " + TypeName(v));
      const std::string path = resolve(v.get<std::string>());
      out.files.push_back({path, ""});
      return path;
    };
    if (e.contains("layers")) {
      const Json& layers = e["layers"];
      if (!layers.is_array())
        Where{schedule, where + ".layers"}.Fail("must be a list of file names, got " +
                                                TypeName(layers));
      std::vector<std::int16_t> painted(layers.empty() ? 0 : n, -1);
      for (std::size_t l = 0; l < layers.size(); ++l) {
        const std::string path = fileOf("layers", layers[l]);
        Within(context + ": layers[" + std::to_string(l) + "]", [&] {
          bool isFloat = false;
          const std::vector<float> v = ReadOfSize(path, rows, cols, isFloat, maps);
          for (std::size_t k = 0; k < n; ++k) {
            if (std::isnan(v[k])) continue;
            if (!(v[k] >= 0.0f && v[k] <= 255.0f) || v[k] != std::floor(v[k]))
              throw Error(Place(path, k, cols) + ": value " + Num(v[k]) +
                          " is no land-use ID (0 to 255) nor the raster's no-data value");
            painted[k] = static_cast<std::int16_t>(v[k]);
          }
          return 0;
        });
      }
      for (std::size_t k = 0; k < painted.size(); ++k)
        if (painted[k] >= 0) {
          entry.paint.cells.push_back(static_cast<std::uint32_t>(k));
          entry.paint.ids.push_back(static_cast<unsigned char>(painted[k]));
        }
    }
    if (e.contains("background")) {
      const std::string path = fileOf("background", e["background"]);
      auto grid = std::make_shared<CLandUseCoverage>();
      Within(context + ": background",
             [&] { return LoadBackgroundFile(path, rows, cols, set, *grid, log, maps), 0; });
      out.backgrounds.push_back(grid);
      entry.background = grid;
    }
    if (e.contains("suitability"))
      entry.suitability = LoadSuitability(fileOf("suitability", e["suitability"]), rows, cols,
                                          context + ": suitability");
    out.scenario.schedule.push_back(std::move(entry));
  }
  for (ScenarioFile& f : out.files)
    if (f.sha256.empty()) f.sha256 = FileSha256(f.path);
  std::sort(out.scenario.schedule.begin(), out.scenario.schedule.end(),
            [](const ScheduleEntry& a, const ScheduleEntry& b) { return a.step < b.step; });
  if (!late.empty()) {
    std::string list;
    for (const long s : late) list += (list.empty() ? "" : ", ") + std::to_string(s);
    log.Warn(schedule + ": the entries of step" + (late.size() > 1 ? "s " : " ") + list +
             " come after the last step (" + std::to_string(steps) + ") and take no effect");
  }
  return out;
}

}  // namespace towngrow::io
