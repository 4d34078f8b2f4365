// Reading a recipe: every key checked before any layer is opened.
#include "prepare/recipe.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <set>

#include "io/error.h"

namespace towngrow::io {
namespace {

namespace fs = std::filesystem;

class Reader {
public:
  Reader(const std::string& name, const std::string& folder) : name_(name), folder_(folder) {}

  [[noreturn]] void Fail(const std::string& key, const std::string& problem) const {
    throw Error(name_ + ": " + key + ": " + problem);
  }

  void Keys(const Json& object, const std::string& key,
            std::initializer_list<const char*> known) const {
    if (!object.is_object()) Fail(key.empty() ? "(top)" : key, "must be an object");
    for (const auto& [k, v] : object.items()) {
      (void)v;
      if (std::none_of(known.begin(), known.end(), [&](const char* n) { return k == n; })) {
        std::string list;
        for (const char* n : known) list += std::string(list.empty() ? "" : ", ") + n;
        Fail(Join(key, k), "unknown key (known: " + list + ")");
      }
    }
  }

  static std::string Join(const std::string& key, const std::string& member) {
    return key.empty() ? member : key + "." + member;
  }

  std::string Text(const Json& v, const std::string& key) const {
    if (!v.is_string() || v.get<std::string>().empty()) Fail(key, "must be a non-empty text");
    return v.get<std::string>();
  }

  std::string Resolve(const std::string& path) const {
    const fs::path p(path);
    if (p.is_absolute() || folder_.empty()) return path;
    return (fs::path(folder_) / p).lexically_normal().string();
  }

  long Whole(const Json& v, const std::string& key, long lo, long hi) const {
    if (!v.is_number_integer() &&
        !(v.is_number_float() && std::floor(v.get<double>()) == v.get<double>()))
      Fail(key, "must be a whole number");
    const double d = v.get<double>();
    if (d < lo || d > hi)
      Fail(key, "must be from " + std::to_string(lo) + " to " + std::to_string(hi) + ", not " +
                    v.dump());
    return static_cast<long>(d);
  }

  // An ID of a start or control map: 0..255 or "street".
  int IdValue(const Json& v, const std::string& key) const {
    if (v.is_string()) {
      if (v.get<std::string>() != "street") Fail(key, "must be a land-use ID or \"street\"");
      return kStreet;
    }
    if (!v.is_number()) Fail(key, "must be a land-use ID (0 to 255) or \"street\"");
    return static_cast<int>(Whole(v, key, 0, 255));
  }

  // A list of allowed IDs as a bit set; IDs 0..7.
  int AllowValue(const Json& v, const std::string& key) const {
    if (!v.is_array()) Fail(key, "must be a list of land-use IDs (0 to 7)");
    int bits = 0;
    for (std::size_t i = 0; i < v.size(); ++i) {
      const std::string at = key + "[" + std::to_string(i) + "]";
      if (!v[i].is_number()) Fail(at, "must be a land-use ID (0 to 7)");
      const long id = Whole(v[i], at, 0, 255);
      if (id > 7)
        Fail(at, "ID " + std::to_string(id) +
                     ": a background cell holds the IDs 0 to 7 only (one bit each)");
      bits |= 1 << id;
    }
    return bits;
  }

  // A number 0..1: a suitability class's share, a factor's value on no-data cells.
  double Share(const Json& v, const std::string& key) const {
    if (!v.is_number() || !(v.get<double>() >= 0 && v.get<double>() <= 1))
      Fail(key, "must be a number from 0 to 1, not " + v.dump());
    return v.get<double>();
  }

  double Number(const Json& v, const std::string& key) const {
    if (!v.is_number() || !std::isfinite(v.get<double>())) Fail(key, "must be a number");
    return v.get<double>();
  }

  std::vector<ValueRule> Classes(const Json& v, const std::string& key, Target target) const {
    if (!v.is_object() || v.empty()) Fail(key, "must be an object of value: rule entries");
    std::vector<ValueRule> rules;
    for (const auto& [k, rule] : v.items()) {
      ValueRule r;
      r.key = key + "[\"" + k + "\"]";
      if (!ParseRange(k, r.lo, r.hi))
        Fail(r.key, "not a whole number or a range of them (\"11\", \"21-24\")");
      if (r.lo > r.hi) Fail(r.key, "the range is reversed (write the smaller value first)");
      if (target == Target::Share)
        r.share = Share(rule, r.key);
      else
        r.value = target == Target::Ids ? IdValue(rule, r.key) : AllowValue(rule, r.key);
      rules.push_back(r);
    }
    std::sort(rules.begin(), rules.end(),
              [](const ValueRule& a, const ValueRule& b) { return a.lo < b.lo; });
    for (std::size_t i = 1; i < rules.size(); ++i)
      if (rules[i].lo <= rules[i - 1].hi)
        Fail(rules[i].key, "overlaps " + rules[i - 1].key.substr(key.size()));
    return rules;
  }

  // "11", "-5", "21-24", "-5--1" (values within +-1e15).
  static bool ParseRange(const std::string& text, std::int64_t& lo, std::int64_t& hi) {
    std::size_t at = 0;
    if (!ParseInt(text, at, lo)) return false;
    if (at == text.size()) {
      hi = lo;
      return true;
    }
    if (text[at] != '-') return false;
    ++at;
    return ParseInt(text, at, hi) && at == text.size();
  }

  static bool ParseInt(const std::string& text, std::size_t& at, std::int64_t& out) {
    bool negative = false;
    if (at < text.size() && text[at] == '-') {
      negative = true;
      ++at;
    }
    const std::size_t first = at;
    std::int64_t v = 0;
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) {
      if (at - first >= 15) return false;
      v = v * 10 + (text[at] - '0');
      ++at;
    }
    if (at == first) return false;
    out = negative ? -v : v;
    return true;
  }

  LayerEntry Layer(const Json& v, const std::string& key, Target target) const {
    LayerEntry layer;
    layer.key = key;
    if (!v.is_object()) Fail(key, "must be an object with \"raster\" or \"vector\"");
    const bool raster = v.contains("raster"), vector = v.contains("vector");
    if (raster == vector) Fail(key, "needs exactly one of \"raster\" and \"vector\"");
    layer.vector = vector;
    const char* valueWord = target == Target::Ids ? "as" : "allow";
    if (raster) {
      if (target == Target::Ids)
        Keys(v, key, {"raster", "band", "classes", "preset", "nodata"});
      else
        Keys(v, key, {"raster", "band", "classes", "nodata"});
      if (v.contains("nodata")) {
        layer.hasNoData = true;
        layer.noDataKey = key + ".nodata";
        layer.noData = target == Target::Ids ? IdValue(v["nodata"], layer.noDataKey)
                                             : AllowValue(v["nodata"], layer.noDataKey);
      }
      layer.path = Text(v["raster"], key + ".raster");
      if (v.contains("band"))
        layer.band = static_cast<int>(Whole(v["band"], key + ".band", 1, 65535));
      const bool classes = v.contains("classes"), preset = v.contains("preset");
      if (classes && preset) Fail(key, "give \"classes\" or \"preset\", not both");
      if (preset) {
        layer.preset = Text(v["preset"], key + ".preset");
        layer.rules = PresetRules(layer.preset);
        if (layer.rules.empty())
          Fail(key + ".preset", "\"" + layer.preset + "\" is none of nlcd, corine, worldcover");
        for (ValueRule& r : layer.rules) r.key = key + ".preset";
      } else if (classes) {
        layer.rules = Classes(v["classes"], key + ".classes", target);
      } else {
        Fail(key, target == Target::Ids ? "needs \"classes\" or \"preset\""
                                        : "needs \"classes\" (values to lists of allowed IDs)");
      }
    } else {
      Keys(v, key, {"vector", "layer", "where", valueWord});
      layer.path = Text(v["vector"], key + ".vector");
      if (v.contains("layer")) layer.layer = Text(v["layer"], key + ".layer");
      if (v.contains("where")) layer.where = Text(v["where"], key + ".where");
      if (!v.contains(valueWord))
        Fail(key, std::string("needs \"") + valueWord +
                      (target == Target::Ids ? "\" (a land-use ID or \"street\")"
                                             : "\" (a list of allowed IDs)"));
      layer.valueKey = key + "." + valueWord;
      layer.value = target == Target::Ids ? IdValue(v[valueWord], layer.valueKey)
                                          : AllowValue(v[valueWord], layer.valueKey);
    }
    layer.file = Resolve(layer.path);
    return layer;
  }

  std::vector<LayerEntry> Layers(const Json& v, const std::string& key, Target target) const {
    if (!v.is_array()) Fail(key, "must be a list of layers");
    std::vector<LayerEntry> layers;
    for (std::size_t i = 0; i < v.size(); ++i)
      layers.push_back(Layer(v[i], key + "[" + std::to_string(i) + "]", target));
    return layers;
  }

  Factor OneFactor(const Json& v, const std::string& key) const {
    Factor f;
    f.source.key = key;
    if (!v.is_object()) Fail(key, "must be an object with \"raster\" or \"slope\"");
    const bool raster = v.contains("raster"), slope = v.contains("slope");
    if (raster == slope) Fail(key, "needs exactly one of \"raster\" and \"slope\"");
    if (slope) {
      Keys(v, key, {"slope", "band", "critical", "nodata"});
      f.kind = Factor::Slope;
      f.source.path = Text(v["slope"], key + ".slope");
      f.source.fileKey = "slope";
      if (!v.contains("critical")) Fail(key, "needs \"critical\" (the slope that allows nothing)");
      f.critical = Number(v["critical"], key + ".critical");
      if (!(f.critical > 0))
        Fail(key + ".critical", "must be above 0, not " + v["critical"].dump());
    } else {
      Keys(v, key, {"raster", "band", "range", "invert", "classes", "nodata"});
      f.source.path = Text(v["raster"], key + ".raster");
      if (v.contains("range") == v.contains("classes"))
        Fail(key, "needs exactly one of \"range\" and \"classes\"");
      if (v.contains("classes")) {
        if (v.contains("invert")) Fail(key + ".invert", "goes with \"range\" only");
        f.kind = Factor::Classes;
        f.source.rules = Classes(v["classes"], key + ".classes", Target::Share);
      } else {
        const Json& range = v["range"];
        if (!range.is_array() || range.size() != 2) Fail(key + ".range", "must be [lo, hi]");
        f.lo = Number(range[0], key + ".range[0]");
        f.hi = Number(range[1], key + ".range[1]");
        if (!(f.lo < f.hi))
          Fail(key + ".range", "the range is reversed or empty (write the smaller value first)");
        if (v.contains("invert")) {
          if (!v["invert"].is_boolean()) Fail(key + ".invert", "must be true or false");
          f.invert = v["invert"].get<bool>();
        }
      }
    }
    if (v.contains("band"))
      f.source.band = static_cast<int>(Whole(v["band"], key + ".band", 1, 65535));
    if (v.contains("nodata")) f.noData = Share(v["nodata"], key + ".nodata");
    f.source.file = Resolve(f.source.path);
    return f;
  }

  std::vector<Factor> Factors(const Json& v, const std::string& key) const {
    if (!v.is_array() || v.empty()) Fail(key, "must be a list of at least one factor");
    std::vector<Factor> factors;
    for (std::size_t i = 0; i < v.size(); ++i)
      factors.push_back(OneFactor(v[i], key + "[" + std::to_string(i) + "]"));
    return factors;
  }

  std::vector<ScheduleEntry> Schedule(const Json& v) const {
    if (!v.is_array()) Fail("schedule", "must be a list of entries");
    std::vector<ScheduleEntry> entries;
    for (std::size_t i = 0; i < v.size(); ++i) {
      ScheduleEntry e;
      e.key = "schedule[" + std::to_string(i) + "]";
      const Json& in = v[i];
      Keys(in, e.key, {"step", "start", "background", "suitability"});
      if (!in.contains("step")) Fail(e.key, "needs \"step\"");
      e.step = Whole(in["step"], e.key + ".step", 1, 100000000);
      for (const ScheduleEntry& earlier : entries)
        if (earlier.step == e.step)
          Fail(e.key + ".step", "step " + std::to_string(e.step) + " is " + earlier.key + "'s too");
      if (in.size() == 1) Fail(e.key, "gives none of \"start\", \"background\", \"suitability\"");
      auto layers = [&](const char* k, Target target, bool& has, std::vector<LayerEntry>& out) {
        if (!in.contains(k)) return;
        has = true;
        out = Layers(in[k], e.key + "." + k, target);
        if (out.empty()) Fail(e.key + "." + k, "must list at least one layer");
      };
      layers("start", Target::Ids, e.hasStart, e.start);
      layers("background", Target::Background, e.hasBackground, e.background);
      if (in.contains("suitability")) {
        e.hasSuitability = true;
        e.suitability = Factors(in["suitability"], e.key + ".suitability");
      }
      entries.push_back(std::move(e));
    }
    std::stable_sort(
        entries.begin(), entries.end(),
        [](const ScheduleEntry& a, const ScheduleEntry& b) { return a.step < b.step; });
    return entries;
  }

  GridChoice Grid(const Json& v) {
    GridChoice g;
    Keys(v, "grid", {"like", "crs", "bounds", "cell"});
    if (v.contains("like")) {
      if (v.size() > 1) Fail("grid", "give \"like\" alone, or \"crs\", \"bounds\" and \"cell\"");
      g.kind = GridChoice::Like;
      g.like = Text(v["like"], "grid.like");
      g.likeFile = Resolve(g.like);
      return g;
    }
    for (const char* k : {"crs", "bounds", "cell"})
      if (!v.contains(k))
        Fail("grid",
             std::string("needs \"like\", or \"crs\", \"bounds\" and \"cell\" (no \"") + k + "\")");
    g.kind = GridChoice::Bounds;
    g.crs = Text(v["crs"], "grid.crs");
    const Json& b = v["bounds"];
    if (!b.is_array() || b.size() != 4) Fail("grid.bounds", "must be [xmin, ymin, xmax, ymax]");
    for (int i = 0; i < 4; ++i) {
      if (!b[i].is_number() || !std::isfinite(b[i].get<double>()))
        Fail("grid.bounds[" + std::to_string(i) + "]", "must be a number");
      g.bounds[i] = b[i].get<double>();
    }
    if (g.bounds[0] >= g.bounds[2] || g.bounds[1] >= g.bounds[3])
      Fail("grid.bounds", "xmin must be below xmax and ymin below ymax");
    if (!v["cell"].is_number() || !(v["cell"].get<double>() > 0) ||
        !std::isfinite(v["cell"].get<double>()))
      Fail("grid.cell", "must be a number above 0");
    g.cell = v["cell"].get<double>();
    return g;
  }

private:
  std::string name_, folder_;
};

bool GoodName(const std::string& name) {
  if (name.empty() || name.size() > 40 || name == "." || name == "..") return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.';
  });
}

}  // namespace

std::vector<ValueRule> PresetRules(const std::string& preset) {
  // Built-up land to housing, industry where the legend tells it apart,
  // roads to street, water to others; every other class names no cell.
  std::vector<ValueRule> rules;
  auto add = [&](std::int64_t lo, std::int64_t hi, int value) {
    rules.push_back({lo, hi, value, ""});
  };
  if (preset == "nlcd") {
    add(11, 11, 6);  // open water
    add(21, 24, 3);  // developed, open space to high intensity
  } else if (preset == "corine") {
    add(111, 112, 3);        // continuous and discontinuous urban fabric
    add(121, 121, 4);        // industrial or commercial units
    add(122, 122, kStreet);  // road and rail networks
    add(123, 123, 4);        // port areas
    add(511, 523, 6);        // inland and marine waters
  } else if (preset == "worldcover") {
    add(50, 50, 3);  // built-up
    add(80, 80, 6);  // permanent water bodies
  }
  return rules;
}

const ValueRule* FindRule(const std::vector<ValueRule>& rules, std::int64_t v) {
  auto it = std::upper_bound(rules.begin(), rules.end(), v,
                             [](std::int64_t x, const ValueRule& r) { return x < r.lo; });
  if (it == rules.begin()) return nullptr;
  --it;
  return v <= it->hi ? &*it : nullptr;
}

const ValueRule* NoDataRule(const std::vector<ValueRule>& rules, double noData) {
  if (!(std::fabs(noData) < 1e15) || std::floor(noData) != noData) return nullptr;
  return FindRule(rules, static_cast<std::int64_t>(noData));
}

std::vector<const LayerEntry*> AllLayers(const Recipe& recipe) {
  std::vector<const LayerEntry*> all;
  for (const LayerEntry& l : recipe.start) all.push_back(&l);
  for (const LayerEntry& l : recipe.background) all.push_back(&l);
  for (const ObservedEntry& o : recipe.observed)
    for (const LayerEntry& l : o.layers) all.push_back(&l);
  for (const ScheduleEntry& e : recipe.schedule) {
    for (const LayerEntry& l : e.start) all.push_back(&l);
    for (const LayerEntry& l : e.background) all.push_back(&l);
  }
  return all;
}

Recipe ParseRecipe(const Json& doc, const std::string& name, const std::string& folder) {
  Reader in(name, folder);
  Recipe r;
  r.name = name;
  r.folder = folder;
  in.Keys(doc, "",
          {"grid", "start", "background", "observed", "suitability", "schedule", "params",
           "description"});
  if (doc.contains("description")) r.description = in.Text(doc["description"], "description");
  if (doc.contains("grid")) r.grid = in.Grid(doc["grid"]);
  if (!doc.contains("start")) in.Fail("start", "missing: the layers of the start map");
  r.start = in.Layers(doc["start"], "start", Target::Ids);
  if (doc.contains("background")) {
    r.hasBackground = true;
    r.background = in.Layers(doc["background"], "background", Target::Background);
  }
  if (doc.contains("observed")) {
    const Json& obs = doc["observed"];
    if (!obs.is_array()) in.Fail("observed", "must be a list of control maps");
    std::set<std::string> names;
    for (std::size_t i = 0; i < obs.size(); ++i) {
      ObservedEntry o;
      o.key = "observed[" + std::to_string(i) + "]";
      in.Keys(obs[i], o.key, {"name", "steps", "layers"});
      for (const char* k : {"name", "steps", "layers"})
        if (!obs[i].contains(k)) in.Fail(o.key, std::string("needs \"") + k + "\"");
      o.name = in.Text(obs[i]["name"], o.key + ".name");
      if (!GoodName(o.name))
        in.Fail(o.key + ".name", "\"" + o.name +
                                     "\": 1 to 40 letters, digits, '_', '-' or '.' (it names "
                                     "observed-<name>.tif)");
      if (!names.insert(o.name).second)
        in.Fail(o.key + ".name", "\"" + o.name + "\" names an earlier control map too");
      o.steps = in.Whole(obs[i]["steps"], o.key + ".steps", 1, 100000000);
      o.layers = in.Layers(obs[i]["layers"], o.key + ".layers", Target::Ids);
      if (o.layers.empty()) in.Fail(o.key + ".layers", "must list at least one layer");
      r.observed.push_back(std::move(o));
    }
  }
  if (doc.contains("suitability")) {
    r.hasSuitability = true;
    r.suitability = in.Factors(doc["suitability"], "suitability");
  }
  if (doc.contains("schedule")) r.schedule = in.Schedule(doc["schedule"]);
  if (doc.contains("params")) {
    r.params = in.Text(doc["params"], "params");
    r.paramsFile = in.Resolve(r.params);
  }
  return r;
}

}  // namespace towngrow::io
