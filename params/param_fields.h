// The parameters of a land use by their readable names ("activeAge" is
// m_nActiveAge, ...): their types, the kinds of land use that carry them
// and their legal ranges.
//
// Ranges (ours, chosen so that no value can make the model misbehave):
// ages and periods 0..1000000 (deadAge 0..32767), weights 0..32767, per
// cents and policy 0..100, radius 0..100, lengths and steps 0..10000
// (minStep 1..10000), densityType 0..3, density coefficients finite within
// +-1e6, connectMode 0..2, junctionVertices 0..9, names 1..200 printable
// characters.
#pragma once

#include <string>
#include <vector>

#include <towngrow/grid/category.h>
#include <towngrow/landuse/land_use.h>
#include <towngrow/landuse/land_use_set.h>

#include "io/json_file.h"

namespace towngrow::io {

// The kind word of a land use (its class), as used in "kind": "LandUse",
// "StreetNode", "StreetVertex", "House", "Industry", "Commerce", "Others".
std::string KindOf(const CLandUse& landUse);

// One land use as a JSON object: "id", "kind", then every field.
Json LandUseToJson(const CLandUse& landUse);

// Applies one entry of a parameter document's "landUses" list: changes the
// land use of its "id", or appends a new one of its "kind".
void ApplyLandUseEntry(const Json& entry, const Where& where, CLandUseSet& set);

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
// The keys of every such parameter of the land use, in the order the
// parameter template shows them (a list's entries one by one).
std::vector<std::string> NumberFieldKeys(const CLandUse& landUse);

// The word of a category, as "category" holds it: "Blank", "StreetNode",
// "StreetVertex", "House", "Industry", "Commerce", "Others".
std::string CategoryWord(LandUseCategory category);

// "#RRGGBB" for a colour in the layout 0x00BBGGRR.
std::string ColorToHex(unsigned int color);

}  // namespace towngrow::io
