// Class schemes, views, the full comparison and the named measures.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>

#include "compare/compare_internal.h"
#include "towngrow/landuse/land_use.h"

namespace towngrow {

using namespace compare_detail;

RasterView ViewOf(const CGrid& grid) { return ViewOf(grid, grid.m_nRows, grid.m_nCols); }

RasterView ViewOf(const CGrid& grid, int rows, int cols) {
  if (grid.m_pData == nullptr || grid.m_nRows <= 0 || grid.m_nCols <= 0) return RasterView{};
  return RasterView{grid.m_pData, std::clamp(rows, 0, grid.m_nRows),
                    std::clamp(cols, 0, grid.m_nCols), grid.m_nCols};
}

void ClassScheme::Check() const {
  const int K = Classes();
  if (K < 1 || K > kMaxClasses)
    throw std::invalid_argument("a class scheme has 1 to " + std::to_string(kMaxClasses) +
                                " classes, not " + std::to_string(K));
  if (developed.size() != names.size())
    throw std::invalid_argument("a class scheme needs one developed flag per class");
  std::set<std::string> seen;
  for (const std::string& name : names) {
    const bool ok =
        !name.empty() && name.size() <= 40 && std::all_of(name.begin(), name.end(), [](char ch) {
          return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') ||
                 ch == '_' || ch == '-';
        });
    if (!ok)
      throw std::invalid_argument("class name \"" + name.substr(0, 60) +
                                  "\" is not 1 to 40 letters, digits, '_' or '-'");
    if (name == "developed")
      throw std::invalid_argument("\"developed\" is the binary class and names no class");
    if (!seen.insert(name).second)
      throw std::invalid_argument("class name \"" + name + "\" is given twice");
  }
  for (int id = 0; id < 256; ++id) {
    const int k = classOf[static_cast<std::size_t>(id)];
    if (k < -1 || k >= K)
      throw std::invalid_argument("ID " + std::to_string(id) + " names class " + std::to_string(k) +
                                  " of " + std::to_string(K));
  }
}

ClassScheme DefaultClasses(const CLandUseSet& set) {
  ClassScheme s;
  s.names = {"vacant", "street", "housing", "industry", "commerce", "others"};
  s.developed = {false, true, true, true, true, false};
  for (int id = 0; id < 256; ++id) {
    const unsigned char u = static_cast<unsigned char>(id);
    if (set.GetIDIndex(u) < 0) continue;
    int k = 5;
    switch (set.GetCategory(u)) {
      case Blank:
        k = 0;
        break;
      case StreetNode:
      case StreetVertex:
        k = 1;
        break;
      case House:
        k = 2;
        break;
      case Industry:
        k = 3;
        break;
      case Commerce:
        k = 4;
        break;
      default:
        break;
    }
    s.classOf[static_cast<std::size_t>(id)] = static_cast<std::int16_t>(k);
  }
  return s;
}

namespace {

void CheckFuzzy(double halvingDistance, double radius) {
  if (!(halvingDistance > 0.0) || !std::isfinite(halvingDistance))
    throw std::invalid_argument("the halving distance must be a number above 0");
  if (!(radius >= 0.0 && radius <= 64.0))
    throw std::invalid_argument("the fuzzy kappa's radius must be from 0 to 64 cells");
}

const char* const kNotComputed = "not computed";

// The multiple-resolution budget from the agreement per level and the
// class totals of both maps.
void FillResolutions(const std::vector<std::uint64_t>& agreement,
                     const std::vector<std::uint64_t>& totals, int K,
                     std::vector<ResolutionBudget>& out) {
  std::uint64_t n = 0, quantity2 = 0;
  for (int k = 0; k < K; ++k) {
    const std::uint64_t a = totals[2 * static_cast<std::size_t>(k)];
    const std::uint64_t s = totals[2 * static_cast<std::size_t>(k) + 1];
    n += a;
    quantity2 += a > s ? a - s : s - a;
  }
  out.resize(agreement.size());
  for (std::size_t l = 0; l < agreement.size(); ++l) {
    ResolutionBudget& b = out[l];
    b.blockSide = 1LL << l;
    if (n == 0) {
      b.agreement = b.quantity = b.allocation = Scalar::None("no cell has a class in both maps");
      continue;
    }
    const double twoN = 2.0 * static_cast<double>(n);
    b.agreement = Scalar::Of(static_cast<double>(agreement[l]) / static_cast<double>(n));
    b.quantity = Scalar::Of(static_cast<double>(quantity2) / twoN);
    b.allocation = Scalar::Of(static_cast<double>(2 * n - 2 * agreement[l] - quantity2) / twoN);
  }
}

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

Scalar ClassOf(const std::vector<Scalar>& v, int cls) {
  return cls >= 0 && static_cast<std::size_t>(cls) < v.size() ? v[static_cast<std::size_t>(cls)]
                                                              : Scalar::None(kNotComputed);
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

// Which unclassified IDs a map holds, when the tables show any.
void UnclassifiedIds(const RasterView& map, const ClassScheme& scheme,
                     std::array<std::uint64_t, 256>& out) {
  CountIds(map, out);
  for (std::size_t id = 0; id < 256; ++id)
    if (scheme.classOf[id] >= 0) out[id] = 0;
}

}  // namespace

ComparisonResult Compare(const RasterView& observed, const RasterView& simulated,
                         const RasterView* start, const ClassScheme& scheme,
                         const CompareOptions& options) {
  scheme.Check();
  CheckViews(observed, simulated, start);
  if (options.fuzzy) CheckFuzzy(options.halvingDistance, options.radius);
  const ClassTable table(scheme);
  const std::size_t K = static_cast<std::size_t>(table.K), K1 = K + 1;

  ComparisonResult r;
  r.rows = observed.rows;
  r.cols = observed.cols;
  r.classNames = scheme.names;
  std::vector<std::uint64_t> pairs, triples;
  std::vector<std::uint32_t> scratch;
  if (start != nullptr) {
    CountTriples(*start, observed, simulated, table, triples, scratch);
    PairsOfTriples(triples, static_cast<int>(K1), pairs);
    std::uint64_t startNone = 0;
    for (std::size_t i = 0; i < K1 * K1; ++i) startNone += triples[K * K1 * K1 + i];
    if (startNone > 0) UnclassifiedIds(*start, scheme, r.unclassified.start);
  } else {
    CountPairs(observed, simulated, table, pairs, scratch);
  }
  std::uint64_t observedNone = 0, simulatedNone = 0;
  for (std::size_t i = 0; i < K1; ++i) {
    observedNone += pairs[K * K1 + i];
    simulatedNone += pairs[i * K1 + K];
  }
  if (observedNone > 0) UnclassifiedIds(observed, scheme, r.unclassified.observed);
  if (simulatedNone > 0) UnclassifiedIds(simulated, scheme, r.unclassified.simulated);

  FillCrossTab(pairs, scheme, r);
  if (start != nullptr && options.change) FillChange(triples, scheme, r);
  if (options.fuzzy) {
    FuzzyScratchHolder holder;
    r.hasFuzzy = true;
    r.halvingDistance = options.halvingDistance;
    r.radius = options.radius;
    FuzzyKappa(observed, simulated, table, options.halvingDistance, options.radius,
               r.fuzzyAgreement, r.fuzzyExpected, r.fuzzyKappa, *holder.p);
  }
  if (options.resolutions) {
    ResolutionScratch rs;
    std::vector<std::uint64_t> agreement;
    ResolutionAgreement(observed, simulated, table, agreement, rs);
    FillResolutions(agreement, rs.totals, table.K, r.resolutions);
  }
  if (options.landscape) {
    LandscapeScratchHolder holder;
    Landscape(observed, table, r.landscapeObserved, *holder.p);
    Landscape(simulated, table, r.landscapeSimulated, *holder.p);
  }
  return r;
}

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

struct MeasureEvaluator::Impl {
  ClassScheme scheme;
  ClassTable table;
  std::vector<std::string> names;
  std::vector<Named> parsed;
  double halvingDistance, radius;
  bool pairs = false, change = false, resolution = false, fuzzy = false, landscape = false;

  ComparisonResult result;
  std::vector<std::uint64_t> pairTable, tripleTable, agreement;
  std::vector<std::uint32_t> counts;
  ResolutionScratch resolutionScratch;
  FuzzyScratchHolder fuzzyScratch;
  LandscapeScratchHolder landscapeScratch;

  Impl(const ClassScheme& s, std::vector<std::string> n, double h, double r)
      : scheme((s.Check(), s)), table(s), names(std::move(n)), halvingDistance(h), radius(r) {
    for (const std::string& name : names) {
      parsed.push_back(Parse(name, scheme));
      switch (GroupOf(parsed.back().kind)) {
        case Group::Pairs:
          pairs = true;
          break;
        case Group::Change:
          change = true;
          break;
        case Group::Resolution:
          resolution = true;
          break;
        case Group::Fuzzy:
          fuzzy = true;
          break;
        case Group::Landscape:
          landscape = true;
          break;
      }
    }
    if (fuzzy) CheckFuzzy(h, r);
  }
};

MeasureEvaluator::MeasureEvaluator(const ClassScheme& scheme, std::vector<std::string> names,
                                   double halvingDistance, double radius)
    : impl_(new Impl(scheme, std::move(names), halvingDistance, radius)) {}

MeasureEvaluator::~MeasureEvaluator() { delete impl_; }

const std::vector<std::string>& MeasureEvaluator::Names() const { return impl_->names; }

bool MeasureEvaluator::NeedsStart() const { return impl_->change; }

void MeasureEvaluator::Evaluate(const RasterView& observed, const RasterView& simulated,
                                const RasterView* start, Scalar* out) {
  Impl& m = *impl_;
  if (m.change && start == nullptr)
    throw std::invalid_argument("the change measures need a start map");
  CheckViews(observed, simulated, m.change ? start : nullptr);
  ComparisonResult& r = m.result;
  r.crossTab.clear();
  r.hasChange = r.hasFuzzy = false;
  r.resolutions.clear();
  r.landscapeSimulated.clear();
  const int K1 = m.table.K + 1;
  if (m.change) {
    CountTriples(*start, observed, simulated, m.table, m.tripleTable, m.counts);
    FillChange(m.tripleTable, m.scheme, r);
    if (m.pairs) {
      PairsOfTriples(m.tripleTable, K1, m.pairTable);
      FillCrossTab(m.pairTable, m.scheme, r);
    }
  } else if (m.pairs) {
    CountPairs(observed, simulated, m.table, m.pairTable, m.counts);
    FillCrossTab(m.pairTable, m.scheme, r);
  }
  if (m.resolution) {
    ResolutionAgreement(observed, simulated, m.table, m.agreement, m.resolutionScratch);
    FillResolutions(m.agreement, m.resolutionScratch.totals, m.table.K, r.resolutions);
  }
  if (m.fuzzy) {
    r.hasFuzzy = true;
    FuzzyKappa(observed, simulated, m.table, m.halvingDistance, m.radius, r.fuzzyAgreement,
               r.fuzzyExpected, r.fuzzyKappa, *m.fuzzyScratch.p);
  }
  if (m.landscape) Landscape(simulated, m.table, r.landscapeSimulated, *m.landscapeScratch.p);
  for (std::size_t i = 0; i < m.parsed.size(); ++i) out[i] = ValueOf(r, m.parsed[i]);
}

}  // namespace towngrow
