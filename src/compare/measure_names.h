// The measures by name: what a name such as "fom.developed" or
// "allocation@4" parses to, which pass of the comparison computes it, and
// its value in a comparison's result.
#pragma once

#include <string>

#include "towngrow/compare.h"

namespace towngrow::compare_detail {

enum class Kind {
  Agreement,
  Kappa,
  Quantity,
  Allocation,
  LeeSallee,
  ClassQuantity,
  ClassAllocation,
  AgreementAt,
  AllocationAt,
  Fom,
  Producers,
  Users,
  KSim,
  FuzzyKappa,
  Patches,
  Lpi,
  PatchArea,
  EdgeDensity,
  Compactness,
};

enum class Group { Pairs, Change, Resolution, Fuzzy, Landscape };

// A parsed name. cls: a class index, -1 overall, -2 developed.
struct Named {
  Kind kind;
  int cls = -1;
  int level = 0;
};

Group GroupOf(Kind k);
// Throws std::invalid_argument for a name the scheme does not know.
Named Parse(const std::string& name, const ClassScheme& scheme);
// The measure's value in the result; "not computed" where its pass did not run.
Scalar ValueOf(const ComparisonResult& r, const Named& n);

}  // namespace towngrow::compare_detail
