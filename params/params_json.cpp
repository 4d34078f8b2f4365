#include "params/params_json.h"

namespace towngrow::io {

Json SetToJson(const CLandUseSet& set) {
  Json list = Json::array();
  for (int i = 0; i < set.m_LandUseArray.GetSize(); ++i)
    list.push_back(LandUseToJson(*static_cast<const CLandUse*>(set.m_LandUseArray.GetAt(i))));
  Json doc = Json::object();
  doc["landUses"] = list;
  return doc;
}

void ApplyParams(const Json& doc, const std::string& fileName, CLandUseSet& set) {
  Where top{fileName, ""};
  if (!doc.is_object()) top.Fail("must hold a JSON object, got " + TypeName(doc));
  for (auto it = doc.begin(); it != doc.end(); ++it) {
    Where w{fileName, it.key()};
    if (it.key() == "run") {
      if (!it.value().is_object()) w.Fail("must be an object, got " + TypeName(it.value()));
    } else if (it.key() == "landUses") {
      if (!it.value().is_array()) w.Fail("must be a list, got " + TypeName(it.value()));
    } else {
      w.Fail("unknown key");
    }
  }
  if (!doc.contains("landUses")) return;
  const Json& list = doc["landUses"];
  for (std::size_t i = 0; i < list.size(); ++i)
    ApplyLandUseEntry(list[i], Where{fileName, "landUses[" + std::to_string(i) + "]"}, set);
}

void ApplyParamsFile(const std::string& path, CLandUseSet& set) {
  ApplyParams(ReadJsonFile(path, "parameter file"), path, set);
}

}  // namespace towngrow::io
