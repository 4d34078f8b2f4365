// The full comparison and the evaluator of named measures: which passes
// run, and the multiple-resolution budget from their tables.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

#include "compare/compare_internal.h"
#include "compare/measure_names.h"

namespace towngrow {

using namespace compare_detail;

namespace {

void CheckFuzzy(double halvingDistance, double radius) {
  if (!(halvingDistance > 0.0) || !std::isfinite(halvingDistance))
    throw std::invalid_argument("the halving distance must be a number above 0");
  if (!(radius >= 0.0 && radius <= 64.0))
    throw std::invalid_argument("the fuzzy kappa's radius must be from 0 to 64 cells");
}

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

namespace {

// The change group, and the pair group when asked for, from a triple table.
void FillFromTriples(const std::vector<std::uint64_t>& triples, bool pairs,
                     std::vector<std::uint64_t>& pairTable, const ClassScheme& scheme,
                     ComparisonResult& r) {
  FillChange(triples, scheme, r);
  if (pairs) {
    PairsOfTriples(triples, scheme.Classes() + 1, pairTable);
    FillCrossTab(pairTable, scheme, r);
  }
}

void ClearResult(ComparisonResult& r) {
  r.crossTab.clear();
  r.hasChange = r.hasFuzzy = false;
  r.resolutions.clear();
  r.landscapeSimulated.clear();
}

}  // namespace

void MeasureEvaluator::Evaluate(const RasterView& observed, const RasterView& simulated,
                                const RasterView* start, Scalar* out) {
  Impl& m = *impl_;
  if (m.change && start == nullptr)
    throw std::invalid_argument("the change measures need a start map");
  CheckViews(observed, simulated, m.change ? start : nullptr);
  ComparisonResult& r = m.result;
  ClearResult(r);
  if (m.change) {
    CountTriples(*start, observed, simulated, m.table, m.tripleTable, m.counts);
    FillFromTriples(m.tripleTable, m.pairs, m.pairTable, m.scheme, r);
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

namespace compare_detail {

bool ChangedCells::Suits(const MeasureEvaluator& evaluator) {
  const MeasureEvaluator::Impl& m = *evaluator.impl_;
  return !m.resolution && !m.fuzzy && !m.landscape;
}

void ChangedCells::BaseTable(const MeasureEvaluator& evaluator, const RasterView& start,
                             const RasterView& observed, std::vector<std::uint64_t>& base) {
  CheckViews(observed, start, &start);
  std::vector<std::uint32_t> scratch;
  CountTriples(start, observed, start, evaluator.impl_->table, base, scratch);
}

void ChangedCells::Evaluate(MeasureEvaluator& evaluator, const std::vector<std::uint64_t>& base,
                            const RasterView& start, const RasterView& observed,
                            const RasterView& simulated, const std::uint64_t* blocks,
                            std::size_t words, Scalar* out) {
  MeasureEvaluator::Impl& m = *evaluator.impl_;
  const std::size_t K1 = static_cast<std::size_t>(m.table.K) + 1;
  const std::uint8_t* of = m.table.of.data();
  m.tripleTable = base;
  std::uint64_t* triples = m.tripleTable.data();
  const std::size_t cols = static_cast<std::size_t>(start.cols);
  const std::size_t n = static_cast<std::size_t>(start.rows) * cols;
  const bool flat = start.Stride() == start.cols && observed.Stride() == start.cols &&
                    simulated.Stride() == start.cols;
  auto move = [&](unsigned char sId, unsigned char oId, unsigned char xId) {
    const std::size_t s = of[sId], x = of[xId];
    if (x == s) return;
    const std::size_t at = (s * K1 + of[oId]) * K1;
    --triples[at + s];
    ++triples[at + x];
  };
  for (std::size_t w = 0; w < words; ++w) {
    if (blocks[w] == 0) continue;
    for (std::size_t b = 0; b < 64; ++b) {
      if (((blocks[w] >> b) & 1) == 0) continue;
      const std::size_t first = std::min((w * 64 + b) * 64, n);
      const std::size_t last = std::min(first + 64, n);
      for (std::size_t i = first; i < last; ++i) {
        if (flat) {
          if (simulated.data[i] != start.data[i])
            move(start.data[i], observed.data[i], simulated.data[i]);
        } else {
          const int r = static_cast<int>(i / cols), c = static_cast<int>(i % cols);
          move(start.Row(r)[c], observed.Row(r)[c], simulated.Row(r)[c]);
        }
      }
    }
  }
  ClearResult(m.result);
  if (m.change) {
    FillFromTriples(m.tripleTable, m.pairs, m.pairTable, m.scheme, m.result);
  } else if (m.pairs) {
    PairsOfTriples(m.tripleTable, static_cast<int>(K1), m.pairTable);
    FillCrossTab(m.pairTable, m.scheme, m.result);
  }
  for (std::size_t i = 0; i < m.parsed.size(); ++i) out[i] = ValueOf(m.result, m.parsed[i]);
}

}  // namespace compare_detail
}  // namespace towngrow
