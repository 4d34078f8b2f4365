// The measures by name: parsing, the list of every name a comparison
// answers, and the value of a name in a result.
#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

#include "compare/compare_internal.h"
#include "compare/measure_names.h"

namespace towngrow {

namespace compare_detail {

namespace {

const char* const kNotComputed = "not computed";

Scalar ClassOf(const std::vector<Scalar>& v, int cls) {
  return cls >= 0 && static_cast<std::size_t>(cls) < v.size() ? v[static_cast<std::size_t>(cls)]
                                                              : Scalar::None(kNotComputed);
}

}  // namespace

Group GroupOf(Kind k) {
  switch (k) {
    case Kind::Fom:
    case Kind::Producers:
    case Kind::Users:
    case Kind::KSim:
      return Group::Change;
    case Kind::AgreementAt:
    case Kind::AllocationAt:
      return Group::Resolution;
    case Kind::FuzzyKappa:
      return Group::Fuzzy;
    case Kind::Patches:
    case Kind::Lpi:
    case Kind::PatchArea:
    case Kind::EdgeDensity:
    case Kind::Compactness:
      return Group::Landscape;
    default:
      return Group::Pairs;
  }
}

Named Parse(const std::string& name, const ClassScheme& scheme) {
  static const std::pair<const char*, Kind> plain[] = {
      {"agreement", Kind::Agreement}, {"kappa", Kind::Kappa},
      {"quantity", Kind::Quantity},   {"allocation", Kind::Allocation},
      {"leesallee", Kind::LeeSallee}, {"fom", Kind::Fom},
      {"producers", Kind::Producers}, {"users", Kind::Users},
      {"ksim", Kind::KSim},           {"fuzzykappa", Kind::FuzzyKappa}};
  for (const auto& p : plain)
    if (name == p.first) return Named{p.second};
  const std::invalid_argument unknown("unknown measure name \"" + name.substr(0, 80) + "\"");
  const auto at = name.find('@');
  if (at != std::string::npos) {
    const std::string head = name.substr(0, at), tail = name.substr(at + 1);
    if ((head != "agreement" && head != "allocation") || tail.empty() || tail.size() > 10 ||
        !std::all_of(tail.begin(), tail.end(), [](char c) { return c >= '0' && c <= '9'; }))
      throw unknown;
    const long long b = std::stoll(tail);
    int level = 1;
    while (level < 31 && (1LL << level) < b) ++level;
    if ((1LL << level) != b) throw unknown;
    return Named{head == "agreement" ? Kind::AgreementAt : Kind::AllocationAt, -1, level};
  }
  const auto dot = name.find('.');
  if (dot == std::string::npos) throw unknown;
  const std::string head = name.substr(0, dot), tail = name.substr(dot + 1);
  static const std::pair<const char*, Kind> perClass[] = {{"quantity", Kind::ClassQuantity},
                                                          {"allocation", Kind::ClassAllocation},
                                                          {"fom", Kind::Fom},
                                                          {"producers", Kind::Producers},
                                                          {"users", Kind::Users},
                                                          {"patches", Kind::Patches},
                                                          {"lpi", Kind::Lpi},
                                                          {"patcharea", Kind::PatchArea},
                                                          {"edgedensity", Kind::EdgeDensity},
                                                          {"compactness", Kind::Compactness}};
  for (const auto& p : perClass) {
    if (head != p.first) continue;
    const bool change = GroupOf(p.second) == Group::Change;
    if (change && tail == "developed") return Named{p.second, -2};
    const auto it = std::find(scheme.names.begin(), scheme.names.end(), tail);
    if (it == scheme.names.end()) throw unknown;
    return Named{p.second, static_cast<int>(it - scheme.names.begin())};
  }
  throw unknown;
}

Scalar ValueOf(const ComparisonResult& r, const Named& n) {
  const bool pairs = !r.crossTab.empty();
  auto change = [&](Scalar ChangeBudget::*field) {
    if (!r.hasChange) return Scalar::None(kNotComputed);
    if (n.cls == -1) return r.overall.*field;
    if (n.cls == -2) return r.developed.*field;
    return static_cast<std::size_t>(n.cls) < r.perClass.size()
               ? r.perClass[static_cast<std::size_t>(n.cls)].*field
               : Scalar::None(kNotComputed);
  };
  auto landscape = [&](Scalar LandscapeMetrics::*field) {
    if (static_cast<std::size_t>(n.cls) >= r.landscapeSimulated.size())
      return Scalar::None(kNotComputed);
    return r.landscapeSimulated[static_cast<std::size_t>(n.cls)].*field;
  };
  auto resolution = [&](Scalar ResolutionBudget::*field) {
    if (r.resolutions.empty()) return Scalar::None(kNotComputed);
    const std::size_t l = std::min(static_cast<std::size_t>(n.level), r.resolutions.size() - 1);
    return r.resolutions[l].*field;
  };
  switch (n.kind) {
    case Kind::Agreement:
      return pairs ? r.agreement : Scalar::None(kNotComputed);
    case Kind::Kappa:
      return pairs ? r.kappa : Scalar::None(kNotComputed);
    case Kind::Quantity:
      return pairs ? r.quantity : Scalar::None(kNotComputed);
    case Kind::Allocation:
      return pairs ? r.allocation : Scalar::None(kNotComputed);
    case Kind::LeeSallee:
      return pairs ? r.leeSallee : Scalar::None(kNotComputed);
    case Kind::ClassQuantity:
      return ClassOf(r.classQuantity, n.cls);
    case Kind::ClassAllocation:
      return ClassOf(r.classAllocation, n.cls);
    case Kind::AgreementAt:
      return resolution(&ResolutionBudget::agreement);
    case Kind::AllocationAt:
      return resolution(&ResolutionBudget::allocation);
    case Kind::Fom:
      return change(&ChangeBudget::figureOfMerit);
    case Kind::Producers:
      return change(&ChangeBudget::producers);
    case Kind::Users:
      return change(&ChangeBudget::users);
    case Kind::KSim:
      return r.hasChange ? r.ksim : Scalar::None(kNotComputed);
    case Kind::FuzzyKappa:
      return r.hasFuzzy ? r.fuzzyKappa : Scalar::None(kNotComputed);
    case Kind::Patches: {
      if (static_cast<std::size_t>(n.cls) >= r.landscapeSimulated.size())
        return Scalar::None(kNotComputed);
      return Scalar::Of(
          static_cast<double>(r.landscapeSimulated[static_cast<std::size_t>(n.cls)].patches));
    }
    case Kind::Lpi:
      return landscape(&LandscapeMetrics::largestPatchIndex);
    case Kind::PatchArea:
      return landscape(&LandscapeMetrics::meanPatchArea);
    case Kind::EdgeDensity:
      return landscape(&LandscapeMetrics::edgeDensity);
    case Kind::Compactness:
      return landscape(&LandscapeMetrics::meanCompactness);
  }
  return Scalar::None(kNotComputed);
}

}  // namespace compare_detail

using namespace compare_detail;

std::vector<std::string> MeasureNames(const ClassScheme& scheme, bool withStart, int rows,
                                      int cols) {
  std::vector<std::string> names = {"agreement", "kappa", "quantity", "allocation", "leesallee"};
  for (const char* head : {"quantity.", "allocation."})
    for (const std::string& c : scheme.names) names.push_back(head + c);
  if (rows > 0 && cols > 0) {
    const int L = ResolutionLevels(rows, cols);
    for (const char* head : {"agreement@", "allocation@"})
      for (int l = 1; l <= L; ++l) names.push_back(head + std::to_string(1LL << l));
  }
  if (withStart) {
    for (const char* head : {"fom", "producers", "users"}) {
      names.push_back(head);
      names.push_back(std::string(head) + ".developed");
      for (const std::string& c : scheme.names) names.push_back(std::string(head) + "." + c);
    }
    names.push_back("ksim");
  }
  names.push_back("fuzzykappa");
  for (const char* head : {"patches.", "lpi.", "patcharea.", "edgedensity.", "compactness."})
    for (const std::string& c : scheme.names) names.push_back(head + c);
  return names;
}

Scalar MeasureValue(const ComparisonResult& result, const ClassScheme& scheme,
                    const std::string& name) {
  return ValueOf(result, Parse(name, scheme));
}

}  // namespace towngrow
