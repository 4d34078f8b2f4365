// Land-use parameters as JSON: the template that `towngrow params` prints,
// the parameter section of run.json, and the reader of parameter files.
//
// Layout: {"landUses": [ {...}, ... ]}, one object per land use of the set in
// array order. Every object carries "id" and "kind" (the class: "LandUse",
// "StreetNode", "StreetVertex", "House", "Industry", "Commerce", "Others"),
// then "name", "category" (the category word), "color" ("#RRGGBB") and every
// growth parameter by a readable name (param_fields.h), the kind's own
// parameters last.
//
// Reading a document: each entry addresses a land use by "id". An entry
// whose ID the set holds changes the fields it names (its "kind", if given,
// must be the land use's kind); an entry with a new ID appends a land use of
// the given "kind" (required then), starting from that kind's defaults. A
// document may also hold a "run" object (the record that run.json keeps
// beside the parameters); the reader accepts and ignores it, so run.json
// itself can be given as parameters. Unknown keys, wrong types and values
// out of range are refused with an io::Error naming the file, the key path
// (e.g. landUses[2].activeAge) and what is wrong.
#pragma once

#include <string>

#include <towngrow/landuse/land_use_set.h>

#include "io/json_file.h"
#include "params/param_fields.h"

namespace towngrow::io {

// The whole set as a parameter document.
Json SetToJson(const CLandUseSet& set);

// Applies a parsed parameter document to the set. `fileName` only names
// the source in error texts ("<file>: <key>: <problem>").
void ApplyParams(const Json& doc, const std::string& fileName, CLandUseSet& set);

// Reads and applies a parameter file.
void ApplyParamsFile(const std::string& path, CLandUseSet& set);

}  // namespace towngrow::io
