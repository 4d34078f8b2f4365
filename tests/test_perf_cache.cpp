// The fast paths behind the rules keep answering as the plain look-ups do:
// the category table that the neighbourhood counts and rules use must
// follow every change a host makes to the set between calls (IDs,
// categories, appended or replaced entries, another set), and the cached
// length tables must follow every change of a density parameter.
#include <cmath>
#include <string>
#include <vector>

#include "support/scene.h"

using namespace towngrow;

namespace {

// Reference count written cell by cell through the coverage's own
// category look-up: the one-category form (beyond the edge is Blank).
int ReferenceOne(const CLandUseCoverage& cov, LandUseCategory cat, int row, int col, int radius) {
  if (row < 0 || col < 0 || row >= cov.m_nRows || col >= cov.m_nCols || radius < 0) return 0;
  int n = 0;
  for (int r = row - radius; r <= row + radius; ++r)
    for (int c = col - radius; c <= col + radius; ++c) {
      const bool in = r >= 0 && c >= 0 && r < cov.m_nRows && c < cov.m_nCols;
      if ((in ? cov.GetLandUseCategory(r, c) : Blank) == cat) ++n;
    }
  return n;
}

// The several-category form: Blank and beyond the edge never count, a cell
// counts at the first listed place of its category.
std::vector<int> ReferenceSeveral(const CLandUseCoverage& cov,
                                  const std::vector<LandUseCategory>& cats, int row, int col,
                                  int radius) {
  std::vector<int> counts(cats.size(), 0);
  for (int r = row - radius; r <= row + radius; ++r)
    for (int c = col - radius; c <= col + radius; ++c) {
      if (r < 0 || c < 0 || r >= cov.m_nRows || c >= cov.m_nCols) continue;
      const LandUseCategory cat = cov.GetLandUseCategory(r, c);
      if (cat == Blank) continue;
      for (std::size_t k = 0; k < cats.size(); ++k)
        if (cats[k] == cat) {
          ++counts[k];
          break;
        }
    }
  return counts;
}

std::vector<int> Several(const CLandUse& lu, const CLandUseCoverage& cov,
                         std::vector<LandUseCategory> cats, int row, int col, int radius) {
  std::vector<int> counts(cats.size(), -1);
  lu.GetCategoryInNeighbor(&cov, cats.data(), counts.data(), static_cast<int>(cats.size()), row,
                           col, radius);
  return counts;
}

struct Grid {
  CLandUseSet set;
  CLandUseCoverage cov;
  explicit Grid(int rows = 12, int cols = 12) {
    cov.InitCoverage(rows, cols, 0);
    cov.m_pLandUseSet = &set;
  }
  CLandUse* At(int i) { return static_cast<CLandUse*>(set.m_LandUseArray.GetAt(i)); }
};

}  // namespace

// --- the category table follows the set between calls --------------------

TEST(CategoryTableStaleness, ChangedCategoryIsSeenByTheNextCount) {
  Grid g;
  g.cov.SetCellValue(5, 5, 3);
  g.cov.SetCellValue(5, 6, 3);
  CLandUse probe;
  EXPECT_EQ(probe.GetCategoryInNeighbor(&g.cov, House, 5, 5, 1), 2);
  g.At(3)->m_LandUseCategory = Commerce;
  EXPECT_EQ(probe.GetCategoryInNeighbor(&g.cov, House, 5, 5, 1), 0);
  EXPECT_EQ(probe.GetCategoryInNeighbor(&g.cov, Commerce, 5, 5, 1), 2);
  EXPECT_EQ(Several(probe, g.cov, {House, Commerce}, 5, 5, 1), (std::vector<int>{0, 2}));
  g.At(3)->m_LandUseCategory = House;
  EXPECT_EQ(Several(probe, g.cov, {House, Commerce}, 5, 5, 1), (std::vector<int>{2, 0}));
}

TEST(CategoryTableStaleness, ChangedIdAndAppendedLandUseAreSeen) {
  Grid g;
  g.cov.SetCellValue(2, 2, 9);  // no land use has ID 9 yet: Others
  CLandUse probe;
  EXPECT_EQ(probe.GetCategoryInNeighbor(&g.cov, Others, 2, 2, 0), 1);

  auto* extra = new CLandUse();
  extra->m_ID = 9;
  extra->m_LandUseCategory = Industry;
  g.set.m_LandUseArray.Add(extra);
  EXPECT_EQ(probe.GetCategoryInNeighbor(&g.cov, Others, 2, 2, 0), 0);
  EXPECT_EQ(probe.GetCategoryInNeighbor(&g.cov, Industry, 2, 2, 0), 1);

  // The housing land use takes ID 9: it stands earlier in the array, so
  // the cell is housing now; ID 3 no longer exists.
  g.At(3)->m_ID = 9;
  g.cov.SetCellValue(2, 3, 3);
  EXPECT_EQ(Several(probe, g.cov, {House, Industry, Others}, 2, 2, 1), (std::vector<int>{1, 0, 1}));
}

TEST(CategoryTableStaleness, ReplacedAndNullEntriesAreSeen) {
  Grid g;
  g.cov.SetCellValue(4, 4, 2);
  CLandUse probe;
  EXPECT_EQ(probe.GetCategoryInNeighbor(&g.cov, StreetVertex, 4, 4, 0), 1);

  // Another object at the same position, same ID, other category.
  auto* replacement = new CLandUse();
  replacement->m_ID = 2;
  replacement->m_LandUseCategory = House;
  CObject* old = g.set.m_LandUseArray.GetAt(2);
  g.set.m_LandUseArray.SetAt(2, replacement);
  delete old;
  EXPECT_EQ(probe.GetCategoryInNeighbor(&g.cov, StreetVertex, 4, 4, 0), 0);
  EXPECT_EQ(probe.GetCategoryInNeighbor(&g.cov, House, 4, 4, 0), 1);

  // A null entry has no ID: ID 2 is unknown, hence Others.
  g.set.m_LandUseArray.SetAt(2, nullptr);
  delete replacement;
  EXPECT_EQ(probe.GetCategoryInNeighbor(&g.cov, Others, 4, 4, 0), 1);
  EXPECT_EQ(g.cov.GetLandUseCategory(4, 4), Others);
}

TEST(CategoryTableStaleness, TwoSetsAnsweredInTurnEachKeepTheirOwn) {
  Grid a;
  Grid b;
  b.At(3)->m_LandUseCategory = Commerce;  // b: ID 3 is commerce
  a.cov.SetCellValue(0, 0, 3);
  b.cov.SetCellValue(0, 0, 3);
  CLandUse probe;
  for (int turn = 0; turn < 3; ++turn) {
    EXPECT_EQ(probe.GetCategoryInNeighbor(&a.cov, House, 0, 0, 2), 1);
    EXPECT_EQ(probe.GetCategoryInNeighbor(&b.cov, House, 0, 0, 2), 0);
    EXPECT_EQ(probe.GetCategoryInNeighbor(&b.cov, Commerce, 0, 0, 2), 1);
  }
  // Without a set every cell is Others.
  a.cov.m_pLandUseSet = nullptr;
  EXPECT_EQ(probe.GetCategoryInNeighbor(&a.cov, Others, 0, 0, 1), 4);
  EXPECT_EQ(probe.GetCategoryInNeighbor(&a.cov, Blank, 0, 0, 1), 5);  // beyond the edge only
}

TEST(CategoryTableStaleness, RuleSeesACategoryChangedBetweenTwoCalls) {
  // A street vertex with one neighbour of ID 7: while ID 7 is unknown the
  // vertex has lost its connection and is cleared; once the host appends a
  // street node with ID 7, the same call keeps it.
  Grid g;
  CLandUseCoverage next;
  next.InitCoverage(12, 12, 0);
  g.cov.SetCellValue(6, 6, 2);
  g.cov.SetCellValue(6, 7, 7);
  CLandUse* vertex = g.At(2);

  next.CopyValueFromCoverage(&g.cov);
  EXPECT_EQ(vertex->Develop(&g.cov, 6, 6, &next), 1);
  EXPECT_EQ(next.GetCellValue(6, 6), 0);

  auto* node = new CStreetNode();
  node->m_ID = 7;
  g.set.m_LandUseArray.Add(node);
  next.CopyValueFromCoverage(&g.cov);
  EXPECT_EQ(vertex->Develop(&g.cov, 6, 6, &next), 0);
  EXPECT_EQ(next.GetCellValue(6, 6), 2);

  // And back: the node's land use becomes industry, no street any more.
  node->m_LandUseCategory = Industry;
  next.CopyValueFromCoverage(&g.cov);
  EXPECT_EQ(vertex->Develop(&g.cov, 6, 6, &next), 1);
  EXPECT_EQ(next.GetCellValue(6, 6), 0);
}

TEST(CategoryTableStaleness, NewCoverageLinkedToAnotherSetIsReadThroughThatSet) {
  // The street rule probes the far end of a new street in the new
  // coverage. Linked to a set in which ID 0 is a street node, every cell
  // there is a node, so the street is refused; with the same set it is
  // built.
  Grid g(20, 20);
  CLandUseSet other;
  static_cast<CLandUse*>(other.m_LandUseArray.GetAt(0))->m_LandUseCategory = StreetNode;
  g.cov.SetCellValue(10, 10, 1);
  for (int c = 6; c <= 8; ++c) g.cov.SetCellValue(6, c, 3);
  auto* node = static_cast<CStreetNode*>(g.At(1));
  for (int i = 0; i < 8; ++i) node->m_nDirectionProb[i] = i == 2 ? 1 : 0;

  CLandUseCoverage next;
  next.InitCoverage(20, 20, 0);
  next.CopyValueFromCoverage(&g.cov);
  SeedRandom(5);
  EXPECT_EQ(node->Develop(&g.cov, 10, 10, &next), 1);
  EXPECT_EQ(next.GetCellValue(10, 11), 2);

  next.CopyValueFromCoverage(&g.cov);
  next.m_pLandUseSet = &other;
  SeedRandom(5);
  EXPECT_EQ(node->Develop(&g.cov, 10, 10, &next), 0);
  EXPECT_EQ(next.GetCellValue(10, 11), 0);
}

// --- counts on any window agree with the cell-by-cell reference -----------

TEST(NeighbourhoodCountsFastPath, AgreeWithCellByCellCountsOnEveryWindowSize) {
  Grid g(60, 47);
  // A category outside 0..6 and a duplicate ID (the earlier entry wins).
  auto* odd = new CLandUse();
  odd->m_ID = 8;
  odd->m_LandUseCategory = static_cast<LandUseCategory>(9);
  g.set.m_LandUseArray.Add(odd);
  auto* shadowed = new CLandUse();
  shadowed->m_ID = 4;
  shadowed->m_LandUseCategory = House;
  g.set.m_LandUseArray.Add(shadowed);
  SeedRandom(11);
  const int weights[10] = {40, 5, 10, 30, 10, 10, 5, 0, 8, 3};
  g.cov.RandomFill(weights, 10);

  CLandUse probe;
  const std::vector<LandUseCategory> lists[] = {{House, Industry, Commerce},
                                                {StreetNode, StreetVertex},
                                                {Blank, House, House, Others},
                                                {static_cast<LandUseCategory>(9), Commerce},
                                                {Others}};
  const int centres[][2] = {{0, 0}, {59, 46}, {30, 20}, {5, 44}, {58, 1}};
  for (const auto& rc : centres)
    for (int radius : {0, 1, 2, 3, 4, 7, 8, 12, 30, 100}) {
      for (int cat = 0; cat <= 9; ++cat) {
        const auto category = static_cast<LandUseCategory>(cat);
        EXPECT_EQ(probe.GetCategoryInNeighbor(&g.cov, category, rc[0], rc[1], radius),
                  ReferenceOne(g.cov, category, rc[0], rc[1], radius))
            << "category " << cat << " radius " << radius;
      }
      for (const auto& list : lists)
        EXPECT_EQ(Several(probe, g.cov, list, rc[0], rc[1], radius),
                  ReferenceSeveral(g.cov, list, rc[0], rc[1], radius))
            << "radius " << radius;
    }
}

TEST(NeighbourhoodCountsFastPath, CoverageWithoutCellsCountsEveryCellAsIdZero) {
  // After Free the shape stays and every cell answers the value 0.
  Grid g(10, 10);
  g.At(0)->m_LandUseCategory = House;  // ID 0 is housing here
  g.cov.Free();
  CLandUse probe;
  EXPECT_EQ(probe.GetCategoryInNeighbor(&g.cov, House, 5, 5, 1), 9);
  EXPECT_EQ(probe.GetCategoryInNeighbor(&g.cov, House, 0, 0, 1), 4);
  EXPECT_EQ(Several(probe, g.cov, {Commerce, House}, 9, 9, 2), (std::vector<int>{0, 9}));
}

// --- length tables follow the density parameters --------------------------

namespace {

// GetMaxIndex over the per-mille entries of the land use's own law, replayed
// on the generator.
int ReplayLength(const CLandUse& l) {
  const std::vector<int> pm = testkit::LengthPerMille(l, l.m_nMaxLength);
  int best = -32767;
  int index = -1;
  for (std::size_t i = 0; i < pm.size(); ++i) {
    const int d = pm[i] == 0 ? 0 : RandomDraw() % pm[i] + 1;
    if (d > best) {
      best = d;
      index = static_cast<int>(i);
    }
  }
  return index + 1;
}

}  // namespace

TEST(LengthTableCache, EveryDensityParameterChangeTakesEffectAtTheNextDraw) {
  CLandUse lu;
  void (*const changes[])(CLandUse&) = {
      [](CLandUse&) {},
      [](CLandUse& l) { l.m_dDensityScale = 0.5; },
      [](CLandUse& l) { l.m_nMaxLength = 3; },
      [](CLandUse& l) { l.m_nDensityType = 2; },
      [](CLandUse& l) { l.m_dDensityPower = 1.0; },
      [](CLandUse& l) { l.m_nDensityType = 1; },
      [](CLandUse& l) { l.m_dDensityRate = 0.25; },
      [](CLandUse& l) { l.m_nDensityType = 3; },
      [](CLandUse& l) { l.m_nMaxLength = 9; },
      [](CLandUse& l) {  // back to the defaults: the first table again
        l.m_nDensityType = 0;
        l.m_nMaxLength = 5;
        l.m_dDensityScale = 1.0;
        l.m_dDensityRate = 2.0;
        l.m_dDensityPower = 2.0;
      },
  };
  std::vector<std::vector<int>> tables;
  for (auto change : changes) {
    change(lu);
    tables.push_back(testkit::LengthPerMille(lu, lu.m_nMaxLength));
    for (unsigned seed = 1; seed <= 40; ++seed) {
      SeedRandom(seed);
      const int expected = ReplayLength(lu);
      const int after = RandomDraw();
      SeedRandom(seed);
      EXPECT_EQ(lu.GetRealLength(), expected) << "change " << tables.size() << " seed " << seed;
      EXPECT_EQ(RandomDraw(), after) << "change " << tables.size() << ": number of draws";
    }
  }
  // Each change gave another table (so each step above tested a change).
  for (std::size_t i = 1; i + 1 < tables.size(); ++i) EXPECT_NE(tables[i], tables[i - 1]) << i;
  EXPECT_EQ(tables.back(), tables.front());
}

TEST(LengthTableCache, MoreLandUsesThanTheCacheKeepsTakeTheirOwnTables) {
  std::vector<CLandUse> uses(7);
  for (std::size_t i = 0; i < uses.size(); ++i) {
    uses[i].m_nMaxLength = 3 + static_cast<int>(i);
    uses[i].m_nDensityType = static_cast<int>(i % 4);
    uses[i].m_dDensityRate = 0.5;
  }
  for (int round = 0; round < 3; ++round)
    for (CLandUse& u : uses) {
      SeedRandom(7 + round);
      const int want = ReplayLength(u);
      SeedRandom(7 + round);
      EXPECT_EQ(u.GetRealLength(), want) << "n " << u.m_nMaxLength;
    }
}
