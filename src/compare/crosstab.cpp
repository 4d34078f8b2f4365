// The cross-tabulation and change passes: one pass over the cells counts
// class pairs (or, with a start map, class triples) into small tables, and
// every measure of the two groups comes from those tables.
//
// The counting keeps 32-bit partial tables, four of them interleaved when
// they are small so that runs of equal cells do not wait on one counter,
// and folds them into the 64-bit tables before they could overflow.
#include <algorithm>
#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "compare/compare_internal.h"

namespace towngrow::compare_detail {
namespace {

constexpr std::uint64_t kFlushCells = 0xFFFFFFFFull;

template <typename IndexOf>
void CountCells(int rows, int cols, std::size_t size, std::vector<std::uint64_t>& counts,
                std::vector<std::uint32_t>& scratch, IndexOf indexOf) {
  counts.assign(size, 0);
  const std::size_t ways = size <= 4096 ? 4 : 1;
  scratch.assign(size * ways, 0);
  std::uint32_t* t0 = scratch.data();
  std::uint32_t* t1 = ways == 4 ? t0 + size : t0;
  std::uint32_t* t2 = ways == 4 ? t0 + 2 * size : t0;
  std::uint32_t* t3 = ways == 4 ? t0 + 3 * size : t0;
  auto flush = [&] {
    for (std::size_t w = 0; w < ways; ++w)
      for (std::size_t i = 0; i < size; ++i) counts[i] += scratch[w * size + i];
    std::fill(scratch.begin(), scratch.end(), 0u);
  };
  std::uint64_t since = 0;
  for (int r = 0; r < rows; ++r) {
    if (since + static_cast<std::uint64_t>(cols) > kFlushCells / 4) {
      flush();
      since = 0;
    }
    since += static_cast<std::uint64_t>(cols);
    int c = 0;
    for (; c + 4 <= cols; c += 4) {
      ++t0[indexOf(r, c)];
      ++t1[indexOf(r, c + 1)];
      ++t2[indexOf(r, c + 2)];
      ++t3[indexOf(r, c + 3)];
    }
    for (; c < cols; ++c) ++t0[indexOf(r, c)];
  }
  flush();
}

double Share(std::uint64_t part, std::uint64_t whole) {
  return static_cast<double>(part) / static_cast<double>(whole);
}

Scalar Ratio(std::uint64_t part, std::uint64_t whole, const char* reason) {
  return whole == 0 ? Scalar::None(reason) : Scalar::Of(Share(part, whole));
}

}  // namespace

ClassTable::ClassTable(const ClassScheme& scheme) : K(scheme.Classes()) {
  for (int id = 0; id < 256; ++id) {
    const int k = scheme.classOf[static_cast<std::size_t>(id)];
    of[static_cast<std::size_t>(id)] = static_cast<std::uint8_t>(k < 0 ? K : k);
  }
}

void CheckViews(const RasterView& observed, const RasterView& simulated, const RasterView* start) {
  auto check = [](const RasterView& v, const char* which) {
    if (v.data == nullptr || v.rows <= 0 || v.cols <= 0)
      throw std::invalid_argument(std::string("the ") + which + " map has no cells");
    if (v.Stride() < v.cols)
      throw std::invalid_argument(std::string("the ") + which +
                                  " map's rows are closer than its columns");
  };
  auto same = [&](const RasterView& v, const char* which) {
    check(v, which);
    if (v.rows != observed.rows || v.cols != observed.cols)
      throw std::invalid_argument(std::string("the ") + which + " map has " +
                                  std::to_string(v.rows) + " x " + std::to_string(v.cols) +
                                  " cells, the observed map " + std::to_string(observed.rows) +
                                  " x " + std::to_string(observed.cols));
  };
  check(observed, "observed");
  same(simulated, "simulated");
  if (start != nullptr) same(*start, "start");
}

void CountPairs(const RasterView& first, const RasterView& second, const ClassTable& t,
                std::vector<std::uint64_t>& counts, std::vector<std::uint32_t>& scratch) {
  const std::size_t K1 = static_cast<std::size_t>(t.K) + 1;
  std::array<std::uint32_t, 256> rowOf{};
  for (std::size_t id = 0; id < 256; ++id) rowOf[id] = t.of[id] * static_cast<std::uint32_t>(K1);
  const std::uint8_t* of = t.of.data();
  const unsigned char* a = first.data;
  const unsigned char* b = second.data;
  const std::ptrdiff_t sa = first.Stride(), sb = second.Stride();
  CountCells(first.rows, first.cols, K1 * K1, counts, scratch,
             [&](int r, int c) { return rowOf[a[r * sa + c]] + of[b[r * sb + c]]; });
}

void CountTriples(const RasterView& start, const RasterView& observed, const RasterView& simulated,
                  const ClassTable& t, std::vector<std::uint64_t>& counts,
                  std::vector<std::uint32_t>& scratch) {
  const std::uint32_t K1 = static_cast<std::uint32_t>(t.K) + 1;
  std::array<std::uint32_t, 256> startOf{}, observedOf{};
  for (std::size_t id = 0; id < 256; ++id) {
    startOf[id] = t.of[id] * K1 * K1;
    observedOf[id] = t.of[id] * K1;
  }
  const std::uint8_t* of = t.of.data();
  const unsigned char* o = start.data;
  const unsigned char* a = observed.data;
  const unsigned char* s = simulated.data;
  const std::ptrdiff_t so = start.Stride(), sa = observed.Stride(), ss = simulated.Stride();
  CountCells(start.rows, start.cols, static_cast<std::size_t>(K1) * K1 * K1, counts, scratch,
             [&](int r, int c) {
               return startOf[o[r * so + c]] + observedOf[a[r * sa + c]] + of[s[r * ss + c]];
             });
}

void CountIds(const RasterView& map, std::array<std::uint64_t, 256>& counts) {
  counts.fill(0);
  for (int r = 0; r < map.rows; ++r) {
    const unsigned char* row = map.Row(r);
    for (int c = 0; c < map.cols; ++c) ++counts[row[c]];
  }
}

void PairsOfTriples(const std::vector<std::uint64_t>& triples, int K1,
                    std::vector<std::uint64_t>& pairs) {
  const std::size_t n = static_cast<std::size_t>(K1) * static_cast<std::size_t>(K1);
  pairs.assign(n, 0);
  for (std::size_t o = 0; o < static_cast<std::size_t>(K1); ++o)
    for (std::size_t i = 0; i < n; ++i) pairs[i] += triples[o * n + i];
}

void FillCrossTab(const std::vector<std::uint64_t>& pairs, const ClassScheme& scheme,
                  ComparisonResult& r) {
  const std::size_t K = static_cast<std::size_t>(scheme.Classes());
  const std::size_t K1 = K + 1;
  r.crossTab.assign(K * K, 0);
  r.observedCells.assign(K, 0);
  r.simulatedCells.assign(K, 0);
  std::uint64_t n = 0, diagonal = 0;
  for (std::size_t i = 0; i < K; ++i)
    for (std::size_t j = 0; j < K; ++j) {
      const std::uint64_t v = pairs[i * K1 + j];
      r.crossTab[i * K + j] = v;
      r.observedCells[i] += v;
      r.simulatedCells[j] += v;
      n += v;
      if (i == j) diagonal += v;
    }
  r.cells = n;
  r.classQuantity.assign(K, Scalar::None("no cell has a class in both maps"));
  r.classAllocation.assign(K, Scalar::None("no cell has a class in both maps"));
  if (n == 0) {
    const Scalar none = Scalar::None("no cell has a class in both maps");
    r.agreement = r.kappa = r.quantity = r.allocation = r.leeSallee = none;
    return;
  }
  std::uint64_t quantity2 = 0, allocation2 = 0;  // sums of q_g and a_g, in cells
  double expected = 0.0;
  bool oneClass = false;
  for (std::size_t g = 0; g < K; ++g) {
    const std::uint64_t row = r.observedCells[g], col = r.simulatedCells[g];
    const std::uint64_t d = r.crossTab[g * K + g];
    const std::uint64_t q = row > col ? row - col : col - row;
    const std::uint64_t a = 2 * std::min(row - d, col - d);
    quantity2 += q;
    allocation2 += a;
    r.classQuantity[g] = Scalar::Of(Share(q, n));
    r.classAllocation[g] = Scalar::Of(Share(a, n));
    expected += Share(row, n) * Share(col, n);
    if (row == n && col == n) oneClass = true;
  }
  const double p0 = Share(diagonal, n);
  r.agreement = Scalar::Of(p0);
  r.quantity = Scalar::Of(Share(quantity2, 2 * n));
  r.allocation = Scalar::Of(Share(allocation2, 2 * n));
  r.kappa = oneClass ? Scalar::None("both maps hold one and the same class only")
                     : Scalar::Of((p0 - expected) / (1.0 - expected));

  std::uint64_t both = 0, observedDev = 0, simulatedDev = 0;
  bool anyDeveloped = false;
  for (std::size_t i = 0; i < K; ++i) {
    if (!scheme.developed[i]) continue;
    anyDeveloped = true;
    observedDev += r.observedCells[i];
    simulatedDev += r.simulatedCells[i];
    for (std::size_t j = 0; j < K; ++j)
      if (scheme.developed[j]) both += r.crossTab[i * K + j];
  }
  if (!anyDeveloped)
    r.leeSallee = Scalar::None("no class is developed");
  else
    r.leeSallee =
        Ratio(both, observedDev + simulatedDev - both, "neither map has a developed cell");
}

void FillChange(const std::vector<std::uint64_t>& triples, const ClassScheme& scheme,
                ComparisonResult& r) {
  const std::size_t K = static_cast<std::size_t>(scheme.Classes());
  const std::size_t K1 = K + 1;
  r.hasChange = true;
  r.overall = ChangeBudget{};
  r.developed = ChangeBudget{};
  r.perClass.assign(K, ChangeBudget{});
  // Fixed-size tables: no allocation per call (calibration calls this often).
  std::array<std::uint64_t, kMaxClasses> observedGain{}, simulatedGain{}, byStart{};
  std::array<std::uint64_t, kMaxClasses * kMaxClasses> observedGiven{}, simulatedGiven{};
  std::uint64_t n = 0, agree = 0;
  for (std::size_t o = 0; o < K; ++o)
    for (std::size_t a = 0; a < K; ++a)
      for (std::size_t s = 0; s < K; ++s) {
        const std::uint64_t v = triples[(o * K1 + a) * K1 + s];
        if (v == 0) continue;
        n += v;
        byStart[o] += v;
        observedGiven[o * K + a] += v;
        simulatedGiven[o * K + s] += v;
        if (a == s) agree += v;
        ChangeBudget& all = r.overall;
        if (a != o) {
          (s == a ? all.hits : s == o ? all.misses : all.wrongHits) += v;
          observedGain[a] += v;
          ChangeBudget& k = r.perClass[a];
          if (s == a)
            k.hits += v;
          else if (s == o)
            k.misses += v;
          else
            k.wrongHits += v;
        } else if (s != o) {
          all.falseAlarms += v;
        }
        if (s != o) {
          simulatedGain[s] += v;
          if (a == o)
            r.perClass[s].falseAlarms += v;
          else if (a != s)
            r.perClass[s].wrongHits += v;
        }
        const bool dO = scheme.developed[o], dA = scheme.developed[a], dS = scheme.developed[s];
        if (dA != dO)
          (dS == dA ? r.developed.hits : r.developed.misses) += v;
        else if (dS != dO)
          r.developed.falseAlarms += v;
      }
  r.changeCells = n;

  auto finish = [](ChangeBudget& b, std::uint64_t observedChange, std::uint64_t simulatedChange) {
    b.figureOfMerit =
        Ratio(b.hits, b.hits + b.misses + b.wrongHits + b.falseAlarms, "no change in either map");
    b.producers = Ratio(b.hits, observedChange, "no observed change");
    b.users = Ratio(b.hits, simulatedChange, "no simulated change");
  };
  const ChangeBudget& all = r.overall;
  finish(r.overall, all.hits + all.misses + all.wrongHits,
         all.hits + all.wrongHits + all.falseAlarms);
  finish(r.developed, r.developed.hits + r.developed.misses,
         r.developed.hits + r.developed.falseAlarms);
  for (std::size_t k = 0; k < K; ++k) finish(r.perClass[k], observedGain[k], simulatedGain[k]);

  if (n == 0) {
    r.ksim = Scalar::None("no cell has a class in all three maps");
    return;
  }
  // pE(T) = sum_o p(o) sum_i p(a=i|o) p(s=i|o) = sum_o (1/n) sum_i nA(o,i) nS(o,i) / n(o).
  double expected = 0.0;
  bool certain = true;  // pE(T) = 1: every start class goes to one class in both maps
  for (std::size_t o = 0; o < K; ++o) {
    if (byStart[o] == 0) continue;
    double sum = 0.0;
    bool point = false;
    for (std::size_t i = 0; i < K; ++i) {
      const std::uint64_t x = observedGiven[o * K + i], y = simulatedGiven[o * K + i];
      sum += Share(x, byStart[o]) * Share(y, byStart[o]);
      if (x == byStart[o] && y == byStart[o]) point = true;
    }
    expected += Share(byStart[o], n) * sum;
    certain = certain && point;
  }
  r.ksim = certain ? Scalar::None("every start class has one outcome in both maps")
                   : Scalar::Of((Share(agree, n) - expected) / (1.0 - expected));
}

}  // namespace towngrow::compare_detail
