#include "params/search_space.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "io/error.h"
#include "params/param_fields.h"
#include "params/params_json.h"

namespace towngrow::io {
namespace {

constexpr int kMaxValuesPerParameter = 100000;

}  // namespace

SearchSpace ReadSpace(const Json& doc, const std::string& path, const CLandUseSet& set,
                      std::vector<SpaceEntry>& entries) {
  if (!doc.is_array())
    throw Error(path + ": must hold a list of parameters ({\"id\", \"field\", \"values\"})");
  if (doc.empty()) throw Error(path + ": the space lists no parameter");
  SearchSpace space;
  for (std::size_t i = 0; i < doc.size(); ++i) {
    const Json& e = doc[i];
    const std::string at = path + ": [" + std::to_string(i) + "]";
    if (!e.is_object()) throw Error(at + ": must be an object");
    for (auto it = e.begin(); it != e.end(); ++it)
      if (it.key() != "id" && it.key() != "field" && it.key() != "values" && it.key() != "min" &&
          it.key() != "max" && it.key() != "step")
        throw Error(at + "." + it.key() + ": unknown key");
    if (!e.contains("id") || !e["id"].is_number_integer())
      throw Error(at + ".id: must be a land-use ID (a whole number)");
    const long long id = e["id"].get<long long>();
    const int index = id >= 0 && id <= 255 ? set.GetIDIndex(static_cast<unsigned char>(id)) : -1;
    if (index < 0) throw Error(at + ".id: no land use has ID " + std::to_string(id));
    if (!e.contains("field") || !e["field"].is_string())
      throw Error(at + ".field: must name a parameter as towngrow params prints it");
    const std::string field = e["field"].get<std::string>();
    const CLandUse& lu = *static_cast<const CLandUse*>(set.m_LandUseArray.GetAt(index));
    NumberField nf;
    const std::string problem = FindNumberField(lu, field, nf);
    if (!problem.empty())
      throw Error(at + ".field: " + field.substr(0, 100) + ": " + problem + " (land use " +
                  std::to_string(id) + ")");
    SearchParameter p;
    p.name = "id" + std::to_string(id) + "." + field;
    p.integer = nf.integer;
    p.lowest = nf.min;
    p.highest = nf.max;
    const std::string range = "from " + ValueText(nf.min) + " to " + ValueText(nf.max);
    auto check = [&](const Json& v, const std::string& key) {
      if (!v.is_number()) throw Error(at + "." + key + ": must be a number");
      const double d = v.get<double>();
      if (!std::isfinite(d) || d < nf.min || d > nf.max)
        throw Error(at + "." + key + ": " + v.dump() + " is outside " + p.name + "'s range " +
                    range);
      if (nf.integer && d != std::floor(d))
        throw Error(at + "." + key + ": " + v.dump() + " is not a whole number, as " + p.name +
                    " is");
      return d;
    };
    if (e.contains("values")) {
      if (e.contains("min") || e.contains("max") || e.contains("step"))
        throw Error(at + ": give either values or min, max and step");
      const Json& vs = e["values"];
      if (!vs.is_array() || vs.empty())
        throw Error(at + ".values: must be a list of one or more numbers");
      for (std::size_t k = 0; k < vs.size(); ++k) {
        const double d = check(vs[k], "values[" + std::to_string(k) + "]");
        if (std::find(p.values.begin(), p.values.end(), d) != p.values.end())
          throw Error(at + ".values[" + std::to_string(k) + "]: " + vs[k].dump() +
                      " is listed twice");
        p.values.push_back(d);
      }
    } else {
      for (const char* key : {"min", "max", "step"})
        if (!e.contains(key)) throw Error(at + ": needs values, or min, max and step");
      const double lo = check(e["min"], "min"), hi = check(e["max"], "max");
      if (!e["step"].is_number() || !(e["step"].get<double>() > 0) ||
          !std::isfinite(e["step"].get<double>()))
        throw Error(at + ".step: must be a number above 0");
      const double step = e["step"].get<double>();
      if (hi < lo) throw Error(at + ".max: below min");
      const double count = std::floor((hi - lo) / step + 1e-9) + 1;
      if (count > kMaxValuesPerParameter)
        throw Error(at + ".step: gives more than " + std::to_string(kMaxValuesPerParameter) +
                    " values");
      for (long k = 0; k < static_cast<long>(count); ++k) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.10g", lo + static_cast<double>(k) * step);
        double v = std::min(hi, std::strtod(buf, nullptr));
        if (nf.integer && v != std::floor(v))
          throw Error(at + ".step: gives " + ValueText(v) + ", not a whole number, as " + p.name +
                      " is");
        if (p.values.empty() || p.values.back() != v) p.values.push_back(v);
      }
    }
    for (const SearchParameter& q : space)
      if (q.name == p.name) throw Error(at + ": " + p.name + " is listed twice");
    space.push_back(std::move(p));
    entries.push_back({static_cast<int>(id), field});
  }
  return space;
}

SearchSpace ReadSpaceFile(const std::string& path, const CLandUseSet& set,
                          std::vector<SpaceEntry>& entries) {
  return ReadSpace(ReadJsonFile(path, "search space"), path, set, entries);
}

std::unique_ptr<CLandUseSet> SetForPoint(const Json& base, const std::vector<SpaceEntry>& entries,
                                         const Point& point) {
  auto set = std::make_unique<CLandUseSet>();
  ApplyParams(base, "parameters", *set);
  for (std::size_t d = 0; d < entries.size(); ++d) {
    const int index = set->GetIDIndex(static_cast<unsigned char>(entries[d].id));
    SetNumberField(*static_cast<CLandUse*>(set->m_LandUseArray.GetAt(index)), entries[d].field,
                   point.values[d]);
  }
  return set;
}

}  // namespace towngrow::io
