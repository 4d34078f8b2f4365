// Land-use parameters as JSON: the template that `towngrow params` prints,
// the parameter section of run.json, and the reader of --params files.
//
// Layout: {"landUses": [ {...}, ... ]}, one object per land use of the set in
// array order. Every object carries "id" and "kind" (the class: "LandUse",
// "StreetNode", "StreetVertex", "House", "Industry", "Commerce", "Others"),
// then "name", "category" (the category word), "color" ("#RRGGBB") and every
// growth parameter by a readable name ("activeAge" is m_nActiveAge, ...;
// see the field table in params_json.cpp), the kind's own parameters last.
//
// Reading a file: each entry addresses a land use by "id". An entry whose ID
// the set holds changes the fields it names (its "kind", if given, must be
// the land use's kind); an entry with a new ID appends a land use of the
// given "kind" (required then), starting from that kind's defaults. A file
// may also hold a "run" object (the record that run.json keeps beside the
// parameters); the reader accepts and ignores it, so run.json itself can be
// given as --params. Unknown keys, wrong types and values out of range are
// refused with an AppError naming the file, the key path
// (e.g. landUses[2].activeAge) and what is wrong.
//
// Ranges (ours, chosen so that no value can make the model misbehave):
// ages and periods 0..1000000 (deadAge 0..32767), weights 0..32767, per
// cents and policy 0..100, radius 0..100, lengths and steps 0..10000
// (minStep 1..10000), densityType 0..3, density coefficients finite within
// +-1e6, connectMode 0..2, junctionVertices 0..9, names 1..200 printable
// characters.
#pragma once

#include <cstddef>
#include <string>

#include <nlohmann/json.hpp>

#include <towngrow/towngrow.h>

namespace towngrow::io {

using Json = nlohmann::ordered_json;

// The kind word of a land use (its class), as used in "kind".
std::string KindOf(const CLandUse& landUse);

// One land use as a JSON object (every field), and the whole set.
Json LandUseToJson(const CLandUse& landUse);
Json SetToJson(const CLandUseSet& set);

// Applies a parsed parameter document to the set. `fileName` only names
// the source in error texts. Throws AppError ("<file>: <key>: <problem>").
void ApplyParams(const Json& doc, const std::string& fileName, CLandUseSet& set);

// Reads and applies a parameter file; a missing or unparsable file, or one
// larger than kMaxParamsFileBytes, is an AppError naming it.
constexpr std::size_t kMaxParamsFileBytes = std::size_t{16} << 20;
void ApplyParamsFile(const std::string& path, CLandUseSet& set);

// Reads and parses a JSON file of the given kind ("parameter file", ...)
// with the same cap and refusals (AppError naming the file).
Json ReadJsonFile(const std::string& path, const std::string& kind);

// A parameter that takes a number (integers, numbers with a fraction,
// true/false as 0/1, one entry of a list as "directionProb[2]"), for
// searches over parameter values: whether it is whole and its legal range.
struct NumberField {
  bool integer = true;
  double min = 0, max = 0;
};
// Fills `out` for the land use's parameter `key` and answers ""; otherwise
// answers what is wrong ("no parameter of that name", "not a parameter of a
// House", "not a number", ...).
std::string FindNumberField(const CLandUse& landUse, const std::string& key, NumberField& out);
// Sets such a parameter (the value checked by the caller).
void SetNumberField(CLandUse& landUse, const std::string& key, double value);

// JSON text for people: objects one member per line, lists of plain values
// on one line. Ends with a line feed.
std::string DumpReadable(const Json& doc);

// "#RRGGBB" for a colour in the layout 0x00BBGGRR.
std::string ColorToHex(unsigned int color);

}  // namespace towngrow::io
