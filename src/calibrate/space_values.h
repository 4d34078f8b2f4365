// What the search's files share about a parameter's values: its lowest
// and highest value in the space, and a value as the parameter holds it.
#pragma once

#include "towngrow/calibrate.h"

namespace towngrow::calibrate_values {

// A value as the parameter holds it: whole for integers, 10 significant
// digits for reals, within the legal range.
double Rounded(const SearchParameter& p, double v);
double SpaceLow(const SearchParameter& p);
double SpaceHigh(const SearchParameter& p);

}  // namespace towngrow::calibrate_values
