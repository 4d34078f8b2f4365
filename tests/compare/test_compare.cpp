// Map comparison: every measure on small maps worked out by hand, the undefined cases, and the
// passes against plain references (block sums, flood fill, window scans) on random maps.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <towngrow/towngrow.h>

#include "compare/compare_internal.h"
#include "support/files.h"
#include "support/scene.h"

namespace {

using namespace towngrow;

struct Map {
  int rows, cols;
  std::vector<unsigned char> ids;
  RasterView View() const { return RasterView{ids.data(), rows, cols, 0}; }
  int At(int r, int c) const { return ids[static_cast<std::size_t>(r * cols + c)]; }
};

Map Random(int rows, int cols, unsigned seed, int ids, int noneEvery = 0) {
  std::mt19937 gen(seed);
  Map m{rows, cols, std::vector<unsigned char>(static_cast<std::size_t>(rows * cols))};
  for (auto& v : m.ids) {
    // Clumps: often repeat the cell to the left, so patches and runs are long.
    const bool repeat = &v != m.ids.data() && gen() % 3 != 0;
    v = repeat ? *(&v - 1) : static_cast<unsigned char>(gen() % static_cast<unsigned>(ids));
    if (noneEvery > 0 && gen() % static_cast<unsigned>(noneEvery) == 0) v = 9;  // no class
  }
  return m;
}

const ClassScheme& Scheme() {
  static const ClassScheme s = DefaultClasses(CLandUseSet());
  return s;
}

std::vector<Scalar> Evaluate(const std::vector<std::string>& names, const Map& obs, const Map& sim,
                             const Map* start, double h = 2, double r = 4) {
  MeasureEvaluator e(Scheme(), names, h, r);
  std::vector<Scalar> out(names.size());
  const RasterView sv = start != nullptr ? start->View() : RasterView{};
  e.Evaluate(obs.View(), sim.View(), start != nullptr ? &sv : nullptr, out.data());
  return out;
}

using Expect = std::pair<const char*, double>;  // a measure and its value, NAN: undefined

void ExpectValues(const std::vector<Expect>& table, const Map& obs, const Map& sim,
                  const Map* start, double h = 2, double r = 4) {
  std::vector<std::string> names;
  for (const Expect& e : table) names.push_back(e.first);
  const std::vector<Scalar> got = Evaluate(names, obs, sim, start, h, r);
  for (std::size_t i = 0; i < table.size(); ++i) {
    SCOPED_TRACE(table[i].first);
    if (std::isnan(table[i].second)) {
      EXPECT_FALSE(got[i].value.has_value()) << *got[i].value;
      EXPECT_STRNE(got[i].reason, "");
    } else {
      ASSERT_TRUE(got[i].value.has_value()) << got[i].reason;
      EXPECT_NEAR(*got[i].value, table[i].second, 1e-12);
    }
  }
}

// Start, observed and simulated maps of 3 x 4 cells (IDs of the default roster: 0 vacant, 1 and 2
// street, 3 housing, 4 industry, 6 others). Per cell start/observed/simulated: V/V/V, V/H/H hit,
// V/H/V miss, V/V/H false alarm; V/V/I false alarm, H/H/H, H/H/H, V/I/H wrong hit; S/S/S, S/S/S,
// S/S/S (IDs 1/2/1), S/S/O false alarm.
const Map kStart{3, 4, {0, 0, 0, 0, 0, 3, 3, 0, 1, 1, 1, 1}};
const Map kObserved{3, 4, {0, 3, 3, 0, 0, 3, 3, 4, 1, 1, 2, 1}};
const Map kSimulated{3, 4, {0, 3, 0, 3, 4, 3, 3, 3, 1, 1, 1, 6}};

TEST(CompareMeasures, HandWorkedMaps) {
  const double pi = 3.14159265358979323846, none = NAN;
  // clang-format off
  ExpectValues({
      // Cross-tabulation: diagonal 7 of 12; row (V S H I C O) 3 4 4 1 0 0,
      // column 2 3 5 1 0 1; pe = 39/144.
      {"agreement", 7.0 / 12}, {"kappa", 3.0 / 7}, {"leesallee", 7.0 / 11},
      {"quantity", 4.0 / 24}, {"allocation", 6.0 / 24}, {"quantity.others", 1.0 / 12},
      {"allocation.vacant", 2.0 / 12}, {"allocation.street", 0}, {"allocation.industry", 2.0 / 12},
      // Blocks of 2 x 2 (the bottom ones 1 x 2): 3 + 3 + 2 + 1 agree.
      {"agreement@2", 9.0 / 12}, {"allocation@2", 1.0 / 12}, {"agreement@4", 10.0 / 12},
      {"allocation@4", 0.0}, {"allocation@64", 0.0},
      // Change: hits 1, misses 1, wrong hits 1, false alarms 3.
      {"fom", 1.0 / 6}, {"producers", 1.0 / 3}, {"users", 1.0 / 5},
      {"fom.housing", 1.0 / 4}, {"producers.housing", 1.0 / 2}, {"users.housing", 1.0 / 3},
      {"fom.industry", 0}, {"producers.others", none}, {"users.others", 0}, {"fom.vacant", none},
      {"fom.developed", 2.0 / 6}, {"producers.developed", 2.0 / 3}, {"users.developed", 2.0 / 5},
      {"ksim", -1.0 / 29},  // pE(T) = 6/12 * 13/36 + 2/12 * 1 + 4/12 * 3/4 = 43/72.
      // Simulated patches: housing one of 5 cells, perimeter 12, edge 8;
      // vacant two single cells, edges 2 + 3; no commerce.
      {"patches.housing", 1}, {"lpi.housing", 500.0 / 12}, {"patcharea.housing", 5},
      {"edgedensity.housing", 8.0 / 12}, {"compactness.housing", 12 / (2 * std::sqrt(pi * 5))},
      {"patches.vacant", 2}, {"edgedensity.vacant", 5.0 / 12},
      {"compactness.vacant", 4 / (2 * std::sqrt(pi))},
      {"patches.commerce", 0}, {"lpi.commerce", 0}, {"patcharea.commerce", none}},
      kObserved, kSimulated, &kStart);
  // clang-format on
  // One housing cell in the second row of a vacant block: 15 of 16 agree
  // in blocks of 2 as in cells, and the quantity is all the disagreement.
  const Map housing{4, 4, {0, 0, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}};
  ExpectValues({{"agreement@2", 15.0 / 16}, {"allocation@2", 0}, {"quantity", 1.0 / 16}}, housing,
               Map{4, 4, std::vector<unsigned char>(16, 0)}, nullptr);
}

TEST(CompareMeasures, FuzzyKappaOfOneRow) {
  // V H V V against V V H V, radius 1, halving distance 2: mu(1) = 2^-1/2.
  // P = (2 + 2 mu) / 4; E = 10/16 + 6/16 * 2mu/3.
  const double mu = std::sqrt(0.5);
  const double p = (2 + 2 * mu) / 4, e = 10.0 / 16 + mu / 4;
  ExpectValues({{"fuzzykappa", (p - e) / (1 - e)}}, Map{1, 4, {0, 3, 0, 0}},
               Map{1, 4, {0, 0, 3, 0}}, nullptr, 2.0, 1.0);
}

TEST(CompareMeasures, UndefinedValues) {
  const Map vacant{2, 3, {0, 0, 0, 0, 0, 0}}, none{2, 3, {9, 9, 9, 9, 9, 9}};
  const double undefined = NAN;
  // No change anywhere: the change measures are undefined, the rest perfect.
  // clang-format off
  ExpectValues({{"fom", undefined}, {"producers", undefined}, {"users.developed", undefined},
                {"ksim", undefined}, {"agreement", 1}, {"kappa", 1}, {"allocation", 0},
                {"fuzzykappa", 1}}, kObserved, kObserved, &kObserved);
  // One class in both maps.
  ExpectValues({{"kappa", undefined}, {"fuzzykappa", undefined}, {"leesallee", undefined},
                {"agreement", 1}, {"lpi.vacant", 100}}, vacant, vacant, nullptr);
  // No cell with a class.
  ExpectValues({{"agreement", undefined}, {"quantity", undefined}, {"agreement@2", undefined},
                {"fuzzykappa", undefined}, {"lpi.vacant", undefined}}, none, none, nullptr);
  // clang-format on
}

TEST(CompareMeasures, RefusedInput) {
  const Map small{2, 2, {0, 0, 0, 0}};
  EXPECT_THROW(Compare(kObserved.View(), small.View(), nullptr, Scheme()), std::invalid_argument);
  EXPECT_THROW(MeasureEvaluator(Scheme(), {"fom.nowhere"}), std::invalid_argument);
  EXPECT_THROW(MeasureEvaluator(Scheme(), {"agreement@3"}), std::invalid_argument);
  EXPECT_THROW(Evaluate({"fom"}, kObserved, kSimulated, nullptr), std::invalid_argument);
  EXPECT_THROW(Evaluate({"agreement"}, kObserved, small, nullptr), std::invalid_argument);
  // The fuzzy kappa's halving distance above 0 and finite, its radius from 0 to 64: both ends.
  const std::tuple<double, double, bool> fuzzy[] = {{1e-9, 0, true},   {1e9, 64, true},
                                                    {0, 4, false},     {INFINITY, 4, false},
                                                    {2, -1e-9, false}, {2, 64.001, false}};
  CompareOptions o;
  ClassScheme s = Scheme();
  const auto compare = [&] { Compare(kObserved.View(), kSimulated.View(), nullptr, s, o); };
  auto taken = [&] { return testkit::Thrown<std::invalid_argument>(compare).empty(); };
  for (const auto& [halving, radius, ok] : fuzzy)
    EXPECT_EQ((o.halvingDistance = halving, o.radius = radius, taken()), ok)
        << halving << " " << radius;
  s.names[1] = "vacant";  // a class scheme with a name twice
  EXPECT_FALSE((o = {}, taken()));
}

TEST(CompareMeasures, EvaluatorMatchesFullComparisonAndCountsUnclassified) {
  const Map obs = Random(37, 23, 1, 7, 40), sim = Random(37, 23, 2, 7, 40);
  const Map start = Random(37, 23, 3, 7, 40);
  const RasterView sv = start.View();
  const ComparisonResult full = Compare(obs.View(), sim.View(), &sv, Scheme());
  EXPECT_EQ(full.classNames, Scheme().names);
  const std::vector<std::string> names = MeasureNames(Scheme(), true, 37, 23);
  // 5 + 2 x 6 per class + 2 x 6 block sides + 3 x (1 + 1 + 6) change + ksim + fuzzy + 5 x 6.
  ASSERT_EQ(names.size(), 5u + 12 + 12 + 24 + 2 + 30);
  // One evaluator for two pairs of maps, the first larger and of other
  // classes, as a calibration loop reuses it: nothing of the first stays.
  MeasureEvaluator evaluator(Scheme(), names);
  std::vector<Scalar> got(names.size());
  const Map big = Random(150, 61, 4, 6), other = Random(150, 61, 5, 3);
  const RasterView bigStart = other.View();
  evaluator.Evaluate(big.View(), other.View(), &bigStart, got.data());
  evaluator.Evaluate(obs.View(), sim.View(), &sv, got.data());
  for (std::size_t i = 0; i < names.size(); ++i) {
    const Scalar want = MeasureValue(full, Scheme(), names[i]);
    ASSERT_EQ(got[i].value.has_value(), want.value.has_value()) << names[i];
    if (want.value) {
      EXPECT_DOUBLE_EQ(*got[i].value, *want.value) << names[i];
    }
  }
  std::uint64_t nines = 0, both = 0;
  for (std::size_t i = 0; i < obs.ids.size(); ++i)
    nines += obs.ids[i] == 9, both += obs.ids[i] != 9 && sim.ids[i] != 9;
  EXPECT_EQ(full.unclassified.observed[9], nines);
  EXPECT_EQ(std::make_tuple(full.unclassified.observed[0], full.cells), std::make_tuple(0u, both));
  Map lone = Random(5, 6, 1, 3), from = Random(5, 6, 3, 3);  // one unclassified cell is told,
  lone.ids[7] = 9, from.ids[29] = 9;                         // where it lies only
  const RasterView fromView = from.View();
  const ComparisonResult one = Compare(lone.View(), Random(5, 6, 2, 3).View(), &fromView, Scheme());
  const std::uint64_t lone9[3] = {1, 0, 1};
  EXPECT_EQ(std::make_tuple(one.unclassified.observed[9], one.unclassified.simulated[9],
                            one.unclassified.start[9]),
            std::make_tuple(lone9[0], lone9[1], lone9[2]));
}

// The budget at every block side against block sums done directly.
TEST(CompareMeasures, ResolutionsAgainstBlockSums) {
  for (const auto& [rows, cols] : {std::pair{1, 1}, {1, 17}, {19, 1}, {33, 65}, {130, 7}}) {
    // The observed map with a sprinkle of changes, so that many blocks hold one ID in both maps.
    const Map a = Random(rows, cols, 5, 7, 30), noise = Random(rows, cols, 6, 7, 30);
    Map s = a;
    for (std::size_t i = 0; i < s.ids.size(); i += 1 + i % 5) s.ids[i] = noise.ids[i];
    const ComparisonResult r = Compare(a.View(), s.View(), nullptr, Scheme());
    const int L = compare_detail::ResolutionLevels(rows, cols);
    ASSERT_EQ(r.resolutions.size(), static_cast<std::size_t>(L) + 1);
    for (std::size_t l = 0; l < r.resolutions.size(); ++l) {
      const int b = 1 << l;
      std::uint64_t agree = 0;
      for (int br = 0; br < a.rows; br += b)
        for (int bc = 0; bc < a.cols; bc += b) {
          std::vector<long> ca(8, 0), cs(8, 0);
          for (int r0 = br; r0 < std::min(a.rows, br + b); ++r0)
            for (int c0 = bc; c0 < std::min(a.cols, bc + b); ++c0)
              if (a.At(r0, c0) != 9 && s.At(r0, c0) != 9) {
                ++ca[static_cast<std::size_t>(Scheme().classOf[a.At(r0, c0)])];
                ++cs[static_cast<std::size_t>(Scheme().classOf[s.At(r0, c0)])];
              }
          for (int k = 0; k < 8; ++k) agree += static_cast<std::uint64_t>(std::min(ca[k], cs[k]));
        }
      const ResolutionBudget& rb = r.resolutions[l];
      SCOPED_TRACE(std::to_string(rows) + "x" + std::to_string(cols) + " b " + std::to_string(b));
      EXPECT_EQ(rb.blockSide, b);
      EXPECT_NEAR(*rb.agreement.value, static_cast<double>(agree) / r.cells, 1e-12);
      EXPECT_NEAR(*rb.agreement.value + *rb.quantity.value + *rb.allocation.value, 1.0, 1e-12);
      EXPECT_DOUBLE_EQ(*rb.quantity.value, *r.quantity.value);
    }
    EXPECT_NEAR(*r.resolutions[0].allocation.value, *r.allocation.value, 1e-12);
    EXPECT_NEAR(*r.resolutions.back().allocation.value, 0.0, 1e-12);
  }
}

// Patches, areas, perimeters and edges against a flood fill.
TEST(CompareMeasures, LandscapeAgainstFloodFill) {
  for (unsigned seed = 1; seed <= 6; ++seed) {
    const Map m = Random(20 + static_cast<int>(seed) * 7, 31, seed, 7, seed % 2 ? 12 : 0);
    const ComparisonResult r = Compare(m.View(), m.View(), nullptr, Scheme());
    const auto cls = [&](int y, int x) { return Scheme().classOf[m.At(y, x)]; };
    std::vector<int> seen(m.ids.size(), 0);
    std::vector<std::uint64_t> patches(6), largest(6), edge(6);
    std::vector<double> compact(6);
    for (int y = 0; y < m.rows; ++y)
      for (int x = 0; x < m.cols; ++x) {
        const int k = cls(y, x);
        if (k < 0) continue;
        for (int d = 0; d < 4; ++d) {  // sides against other classes inside the map
          const int ny = y + (d == 0) - (d == 1), nx = x + (d == 2) - (d == 3);
          if (ny >= 0 && ny < m.rows && nx >= 0 && nx < m.cols && cls(ny, nx) != k)
            ++edge[static_cast<std::size_t>(k)];
        }
        if (seen[static_cast<std::size_t>(y * m.cols + x)]) continue;
        std::vector<std::pair<int, int>> stack{{y, x}};
        seen[static_cast<std::size_t>(y * m.cols + x)] = 1;
        std::uint64_t area = 0, perimeter = 0;
        while (!stack.empty()) {
          const auto [cy, cx] = stack.back();
          stack.pop_back();
          ++area;
          for (int d = 0; d < 4; ++d) {
            const int ny = cy + (d == 0) - (d == 1), nx = cx + (d == 2) - (d == 3);
            const bool inside = ny >= 0 && ny < m.rows && nx >= 0 && nx < m.cols;
            perimeter += !inside || cls(ny, nx) != k;
          }
          for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) {
              const int ny = cy + dy, nx = cx + dx;
              if (ny < 0 || ny >= m.rows || nx < 0 || nx >= m.cols || cls(ny, nx) != k) continue;
              int& s = seen[static_cast<std::size_t>(ny * m.cols + nx)];
              if (!s) stack.push_back({ny, nx});
              s = 1;
            }
        }
        ++patches[static_cast<std::size_t>(k)];
        largest[static_cast<std::size_t>(k)] = std::max(largest[static_cast<std::size_t>(k)], area);
        compact[static_cast<std::size_t>(k)] +=
            perimeter / (2 * std::sqrt(3.14159265358979323846 * static_cast<double>(area)));
      }
    for (std::size_t k = 0; k < 6; ++k) {
      SCOPED_TRACE("seed " + std::to_string(seed) + " class " + std::to_string(k));
      const LandscapeMetrics& got = r.landscapeSimulated[k];
      EXPECT_EQ(std::make_tuple(got.patches, got.largestPatch, got.totalEdge),
                std::make_tuple(patches[k], largest[k], edge[k]));
      if (patches[k] > 0) {
        EXPECT_NEAR(*got.meanCompactness.value, compact[k] / patches[k], 1e-12);
      }
    }
  }
}

// P and E by a window scan for each class's nearest cell, on maps taller than a transform band.
TEST(CompareMeasures, FuzzyKappaAgainstWindowScan) {
  const std::tuple<int, int, double, double> cases[] = {
      {9, 11, 2, 4}, {300, 6, 1.5, 3.5}, {40, 40, 3, 0}, {25, 30, 2, 8}, {40, 1, 2, 3}};
  for (const auto& [rows, cols, h, radius] : cases) {
    const Map a = Random(rows, cols, 11, 7, 25), s = Random(rows, cols, 12, 7, 25);
    const int reach = static_cast<int>(radius), maxD2 = static_cast<int>(radius * radius);
    auto mu = [&, h = h](int d2) { return d2 > maxD2 ? 0.0 : std::exp2(-std::sqrt(d2) / h); };
    auto nearest = [&](const Map& m, int y, int x, int k) {  // squared distance, maxD2 + 1 beyond
      int best = maxD2 + 1;
      for (int dy = -reach; dy <= reach; ++dy)
        for (int dx = -reach; dx <= reach; ++dx) {
          const int ny = y + dy, nx = x + dx;
          if (ny >= 0 && ny < m.rows && nx >= 0 && nx < m.cols &&
              Scheme().classOf[m.At(ny, nx)] == k)
            best = std::min(best, dy * dy + dx * dx);
        }
      return best;
    };
    // hist[map][own class][other class][d2]
    std::vector<double> hist(2 * 6 * 6 * static_cast<std::size_t>(maxD2 + 2), 0.0), n(12, 0.0);
    double p = 0, total = 0;
    for (int y = 0; y < rows; ++y)
      for (int x = 0; x < cols; ++x) {
        const int ka = Scheme().classOf[a.At(y, x)], ks = Scheme().classOf[s.At(y, x)];
        if (ka < 0 || ks < 0) continue;
        ++total;
        p += ka == ks ? 1.0 : std::min(mu(nearest(s, y, x, ka)), mu(nearest(a, y, x, ks)));
        for (int m = 0; m < 2; ++m) {
          const int own = m == 0 ? ka : ks;
          ++n[static_cast<std::size_t>(m * 6 + own)];
          for (int k = 0; k < 6; ++k)
            ++hist[((static_cast<std::size_t>(m) * 6 + own) * 6 + k) * (maxD2 + 2) +
                   nearest(m == 0 ? a : s, y, x, k)];
        }
      }
    double e = 0;
    for (int ka = 0; ka < 6; ++ka)
      for (int ks = 0; ks < 6; ++ks) {
        double pair = 0;  // mean over (S cell of ks, A cell of ka) of mu(max(d2, d2'))
        for (int i = 0; i <= maxD2 + 1; ++i)
          for (int j = 0; j <= maxD2 + 1; ++j)
            pair += hist[((6 + ks) * 6 + ka) * (maxD2 + 2) + i] *
                    hist[((0 + ka) * 6 + ks) * (maxD2 + 2) + j] * mu(std::max(i, j));
        if (n[ka] > 0 && n[6 + ks] > 0) e += pair / (total * total);
      }
    CompareOptions o;
    o.halvingDistance = h, o.radius = radius;
    const ComparisonResult r = Compare(a.View(), s.View(), nullptr, Scheme(), o);
    SCOPED_TRACE(std::to_string(rows) + "x" + std::to_string(cols));
    EXPECT_NEAR(*r.fuzzyAgreement.value, p / total, 1e-12);
    EXPECT_NEAR(*r.fuzzyExpected.value, e, 1e-12);
    if (radius == 0) {
      EXPECT_NEAR(*r.fuzzyKappa.value, *r.kappa.value, 1e-12);
    }
    const ComparisonResult self = Compare(a.View(), a.View(), nullptr, Scheme(), o);
    EXPECT_NEAR(*self.fuzzyKappa.value, 1.0, 1e-12);
  }
}

TEST(CompareScores, ProbabilityAndRunStatistics) {
  // Runs developed per cell (of 4) and the observed map (3 housing, 0 vacant).
  const std::uint16_t counts[6] = {0, 1, 2, 4, 4, 3};
  const Map observed{1, 6, {0, 0, 3, 3, 0, 3}};
  const ProbabilityScore score = ScoreProbability(counts, 4, observed.View(), Scheme());
  EXPECT_NEAR(*score.auc.value, 6.5 / 9, 1e-12);  // 2 + 2.5 + 2 pairs ranked right of 9
  const std::vector<std::array<double, 3>> bins = {
      {0, 1, 0}, {2, 1, 0}, {5, 1, 1}, {7, 1, 1}, {9, 2, 0.5}};  // bin, cells, frequency
  for (const auto& b : bins) {
    const ReliabilityBin& got = score.reliability[static_cast<std::size_t>(b[0])];
    EXPECT_EQ(got.cells, static_cast<std::uint64_t>(b[1])) << b[0];
    EXPECT_DOUBLE_EQ(*got.observedFrequency.value, b[2]) << b[0];
  }
  EXPECT_DOUBLE_EQ(*score.reliability[9].meanPredicted.value, 100);
  EXPECT_FALSE(score.reliability[1].meanPredicted.value.has_value());
  EXPECT_THROW(ScoreProbability(counts, 4, RasterView{}, Scheme()), std::invalid_argument);

  const std::vector<RunStatistic> st =
      RunStatistics({{Scalar::Of(1), Scalar::None("x")}, {Scalar::Of(3), Scalar::Of(2)}});
  EXPECT_DOUBLE_EQ(*st[0].mean.value, 2);
  EXPECT_DOUBLE_EQ(*st[0].sd.value, std::sqrt(2.0));
  EXPECT_EQ(st[1].defined, 1);
  EXPECT_DOUBLE_EQ(*st[1].sd.value, 0);
}

// The run-end hook sees exactly the listed runs, once each, in the end state of their lone runs.
TEST(CompareScores, EnsembleHookSeesEachRunOnce) {
  const testkit::StarterTown town(30);
  EnsembleConfig config;
  config.start = &town.start, config.steps = 6, config.baseSeed = 3, config.seedStep = 2;
  config.runs = 5, config.threads = 3;
  std::vector<std::vector<unsigned char>> seen(5);
  std::vector<int> calls(5, 0);
  config.onRunEnd = [&](int run, const CLandUseCoverage& end) {
    ++calls[static_cast<std::size_t>(run)];  // distinct runs: no two threads share an entry
    seen[static_cast<std::size_t>(run)].assign(end.m_pData, end.m_pData + 900);
  };
  RunEnsembleRuns(config, {4, 1, 2});
  EXPECT_EQ(calls, (std::vector<int>{0, 1, 1, 0, 1}));
  CLandUseSet rules;  // the default set, as the ensemble's
  for (int run : {1, 2, 4}) EXPECT_EQ(seen.at(run), town.Grown(rules, 3 + 2u * run, {6})[0]) << run;
}

}  // namespace
