// JSON files of the layer (parameters, search spaces, class files, recipes):
// reading one whole but capped, with one-line refusals, and writing JSON
// for people.
#pragma once

#include <cstddef>
#include <string>

#include <nlohmann/json.hpp>

namespace towngrow::io {

using Json = nlohmann::ordered_json;

// The largest JSON file read (the parser would hold a long token several
// times over).
constexpr std::size_t kMaxJsonFileBytes = std::size_t{16} << 20;

// Reads and parses a JSON file of the given kind ("parameter file", ...);
// a missing, unreadable, too large or unparsable file is an io::Error
// naming it.
Json ReadJsonFile(const std::string& path, const std::string& kind);

// JSON text for people: objects one member per line, lists of plain values
// on one line. Ends with a line feed.
std::string DumpReadable(const Json& doc);

// A piece of a refusal text that came from a file (a key, a value): control
// characters escaped, so the text stays one line, and cut after 200
// characters, so a key or value of megabytes gives a short line.
std::string ShownText(const std::string& text);

// Where a refusal points: "<file>: <key path>: <problem>".
struct Where {
  const std::string& file;
  std::string path;
  [[noreturn]] void Fail(const std::string& problem) const;
};

// "an integer", "a text", "a list", ... for "must be X, got Y".
std::string TypeName(const Json& value);

}  // namespace towngrow::io
