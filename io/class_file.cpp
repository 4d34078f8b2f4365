#include "io/class_file.h"

#include <stdexcept>

#include "io/error.h"

namespace towngrow::io {
namespace {

// A value of the file, as one short line for a refusal.
std::string Shown(const Json& value) {
  const std::string text = value.dump();
  return text.size() <= 60 ? text : text.substr(0, 60) + "...";
}

}  // namespace

ClassScheme ReadClasses(const Json& doc, const std::string& path) {
  auto fail = [&](const std::string& key, const std::string& what) {
    throw Error(path + ": " + key + ": " + what);
  };
  if (!doc.is_object()) fail("the top level", "must be an object {\"classes\": [...]}");
  for (const auto& item : doc.items())
    if (item.key() != "classes") fail(Shown(Json(item.key())), "unknown key (only \"classes\")");
  if (!doc.contains("classes") || !doc["classes"].is_array())
    fail("classes", "must be a list of classes");
  const Json& list = doc["classes"];
  if (list.empty() || list.size() > static_cast<std::size_t>(kMaxClasses))
    fail("classes", "must list 1 to " + std::to_string(kMaxClasses) + " classes");
  ClassScheme scheme;
  for (std::size_t k = 0; k < list.size(); ++k) {
    const std::string at = "classes[" + std::to_string(k) + "]";
    const Json& c = list[k];
    if (!c.is_object()) fail(at, "must be an object with \"name\" and \"ids\"");
    for (const auto& item : c.items())
      if (item.key() != "name" && item.key() != "ids" && item.key() != "developed")
        fail(at + "." + Shown(Json(item.key())), "unknown key (name, ids, developed)");
    if (!c.contains("name") || !c["name"].is_string()) fail(at + ".name", "must be a text");
    if (!c.contains("ids") || !c["ids"].is_array() || c["ids"].empty())
      fail(at + ".ids", "must be a list of at least one ID");
    if (c.contains("developed") && !c["developed"].is_boolean())
      fail(at + ".developed", "must be true or false");
    try {  // the name alone, so that the refusal names its class
      ClassScheme one;
      one.names = {c["name"].get<std::string>()};
      one.developed = {false};
      one.Check();
    } catch (const std::invalid_argument& e) {
      fail(at + ".name", e.what());
    }
    scheme.names.push_back(c["name"].get<std::string>());
    scheme.developed.push_back(c.value("developed", false));
    const Json& ids = c["ids"];
    for (std::size_t i = 0; i < ids.size(); ++i) {
      const std::string where = at + ".ids[" + std::to_string(i) + "]";
      if (!ids[i].is_number_integer() || ids[i].get<long long>() < 0 ||
          ids[i].get<long long>() > 255)
        fail(where, Shown(ids[i]) + " is not an ID (a whole number from 0 to 255)");
      const int id = ids[i].get<int>();
      const int before = scheme.classOf[static_cast<std::size_t>(id)];
      if (before >= 0)
        fail(where, "ID " + std::to_string(id) + " is already in class \"" +
                        scheme.names[static_cast<std::size_t>(before)] + "\"");
      scheme.classOf[static_cast<std::size_t>(id)] = static_cast<std::int16_t>(k);
    }
  }
  try {
    scheme.Check();
  } catch (const std::invalid_argument& e) {
    fail("classes", e.what());
  }
  return scheme;
}

ClassScheme ReadClassFile(const std::string& path) {
  return ReadClasses(ReadJsonFile(path, "class file"), path);
}

}  // namespace towngrow::io
