// The neighbourhood counts of CLandUse on a set's category table: the
// clipped square, code counts in packed bytes or by vector compares, and
// the general paths for large windows, categories outside 0..6 and
// coverages linked to another set.
#include <algorithm>

#include "landuse/category_table.h"
#include "towngrow/grid/coverage.h"
#include "towngrow/landuse/land_use_set.h"

namespace towngrow {
namespace detail {

namespace {

// Cells of the window counted one by one through the coverage's own
// category look-up (for a coverage linked to another set than the table's).
long long CountCellByCell(const CLandUseCoverage& cov, const Window& w, LandUseCategory category) {
  long long count = 0;
  for (long long r = w.rowFirst; r <= w.rowLast; ++r)
    for (long long c = w.colFirst; c <= w.colLast; ++c)
      if (cov.GetLandUseCategory(static_cast<int>(r), static_cast<int>(c)) == category) ++count;
  return count;
}

// IsInRange of the coverage, inline.
inline bool InGrid(const CLandUseCoverage& cov, int nRow, int nCol) {
  return nRow >= 0 && nCol >= 0 && nRow < cov.m_nRows && nCol < cov.m_nCols;
}

// The counting rule of the several-category count: place k of the list
// takes its category's cells unless the category is Blank (vacant cells
// never count there) or an earlier place lists it (a cell counts at the
// first listed place of its category only).
inline bool PlaceCounts(const LandUseCategory* categories, int k) {
  const LandUseCategory cat = categories[k];
  if (cat == Blank) return false;
  for (int j = 0; j < k; ++j)
    if (categories[j] == cat) return false;
  return true;
}

// The one-category count's answer from the cells counted in the window: a
// count of vacant land adds the cells of the square beyond the edge (the
// side is below 2^32, so its square fits in 64 unsigned bits); held at
// 2147483647.
inline int WithBeyondEdge(unsigned long long total, LandUseCategory category, int nRadius,
                          const Window& w) {
  if (category == Blank) {
    const unsigned long long side = 2ULL * static_cast<unsigned long long>(nRadius) + 1ULL;
    total += side * side - static_cast<unsigned long long>(w.Cells());
  }
  return total > 2147483647ULL ? 2147483647 : static_cast<int>(total);
}

}  // namespace

Window ClipSquare(const CLandUseCoverage& cov, int nRow, int nCol, int nRadius) {
  const long long r = nRadius;
  Window w;
  w.rowFirst = std::max<long long>(0, nRow - r);
  w.rowLast = std::min<long long>(cov.m_nRows - 1LL, nRow + r);
  w.colFirst = std::max<long long>(0, nCol - r);
  w.colLast = std::min<long long>(cov.m_nCols - 1LL, nCol + r);
  return w;
}

// A table look-up per byte does not vectorise well; the scalar loop is
// shorter for the small windows the rules count in.
#if defined(__GNUC__) && !defined(__clang__)
__attribute__((optimize("no-tree-vectorize")))
#endif
CodeCounts
CountCodes(const CLandUseCoverage& cov, const CategoryTable& table, const Window& w) {
  CodeCounts result;
  const long long cells = w.Cells();
  if (cells == 0) return result;
  if (cov.m_pData == nullptr) {  // every cell answers the value 0
    result.small_ = false;
    result.counts_[table.code[0]] = cells;
    return result;
  }
  // Eight byte-wide counters in one word: each cell adds the word of its
  // ID. A byte holds up to 255, so a larger window empties the word into
  // wide counters before it can overflow.
  const std::size_t stride = static_cast<std::size_t>(cov.m_nCols);
  const std::size_t width = static_cast<std::size_t>(w.colLast - w.colFirst + 1);
  const std::uint64_t* one = table.packedOne;
  // Start of the window's part of row r (computed per row, so no pointer
  // ever steps past the buffer).
  auto rowStartOf = [&](long long r) {
    return cov.m_pData + static_cast<std::size_t>(r) * stride +
           static_cast<std::size_t>(w.colFirst);
  };
  std::uint64_t packed = 0;
  if (cells <= 255) {
    for (long long r = w.rowFirst; r <= w.rowLast; ++r) {
      const unsigned char* q = rowStartOf(r);
      std::size_t k = 0;
      for (; k + 4 <= width; k += 4)
        packed += one[q[k]] + one[q[k + 1]] + one[q[k + 2]] + one[q[k + 3]];
      for (; k < width; ++k) packed += one[q[k]];
    }
    result.packed_ = packed;
    return result;
  }
  result.small_ = false;
  std::size_t pending = 0;
  auto flush = [&]() {
    for (int k = 0; k < kCodeCount; ++k)
      result.counts_[k] += static_cast<long long>((packed >> (8 * k)) & 0xFFu);
    packed = 0;
    pending = 0;
  };
  for (long long r = w.rowFirst; r <= w.rowLast; ++r) {
    const unsigned char* rowStart = rowStartOf(r);
    for (std::size_t done = 0; done < width;) {
      if (pending == 255) flush();
      const std::size_t take = std::min(width - done, 255 - pending);
      for (const unsigned char *q = rowStart + done, *end = q + take; q != end; ++q)
        packed += one[*q];
      pending += take;
      done += take;
    }
  }
  flush();
  return result;
}

long long CountExact(const CLandUseCoverage& cov, const CategoryTable& table, const Window& w,
                     LandUseCategory category) {
  const long long cells = w.Cells();
  if (cells == 0) return 0;
  const int wanted = static_cast<int>(category);
  if (cov.m_pData == nullptr) return table.category[0] == wanted ? cells : 0;
  const std::size_t stride = static_cast<std::size_t>(cov.m_nCols);
  long long count = 0;
  for (long long r = w.rowFirst; r <= w.rowLast; ++r) {
    const unsigned char* p = cov.m_pData + static_cast<std::size_t>(r) * stride;
    for (long long c = w.colFirst; c <= w.colLast; ++c)
      if (table.category[p[c]] == wanted) ++count;
  }
  return count;
}

// The general one-category count, for windows the small path does not take.
#if defined(__GNUC__)
__attribute__((noinline))
#endif
int CountOneGeneral(const CLandUseCoverage* pCoverage, const CLandUseSet* pTableSet,
                    const CategoryTable& table, LandUseCategory category, int nRadius,
                    const Window& w) {
  long long count = 0;
  if (pCoverage->m_pLandUseSet != pTableSet) {
    count = CountCellByCell(*pCoverage, w, category);
  } else if (CodeOf(category) != kOtherCode) {
    count = CountCodes(*pCoverage, table, w).Of(CodeOf(category));
  } else {
    count = CountExact(*pCoverage, table, w, category);
  }

  return WithBeyondEdge(static_cast<unsigned long long>(count), category, nRadius, w);
}

// The general several-category count, for windows and categories the small
// path does not take.
#if defined(__GNUC__)
__attribute__((noinline))
#endif
int CountSeveralGeneral(const CLandUseCoverage* pCoverage, const CLandUseSet* pTableSet,
                        const CategoryTable& table, const LandUseCategory* categories,
                        int* counts, int nCount, const Window& w) {
  const bool ownTable = pCoverage->m_pLandUseSet == pTableSet;
  CodeCounts codeCounts;
  if (ownTable) codeCounts = CountCodes(*pCoverage, table, w);
  for (int k = 0; k < nCount; ++k) {
    const LandUseCategory cat = categories[k];
    long long n = 0;
    if (!PlaceCounts(categories, k))
      n = 0;
    else if (!ownTable)
      n = CountCellByCell(*pCoverage, w, cat);
    else if (CodeOf(cat) != kOtherCode)
      n = codeCounts.Of(CodeOf(cat));
    else
      n = CountExact(*pCoverage, table, w, cat);
    counts[k] = static_cast<int>(n);  // at most the grid's cell count
  }
  return 1;
}

// Small windows (at most 255 cells) of a coverage with cells, counted
// through the table of its own set: the codes of all cells in one word.
inline bool SmallPath(const CLandUseCoverage& cov, const CLandUseSet* pTableSet, const Window& w) {
  return cov.m_pLandUseSet == pTableSet && cov.m_pData != nullptr && w.rowFirst <= w.rowLast &&
         w.colFirst <= w.colLast && w.Cells() <= 255;
}

inline std::uint64_t PackedCodes(const CLandUseCoverage& cov, const CategoryTable& table,
                                 const Window& w) {
  const std::size_t stride = static_cast<std::size_t>(cov.m_nCols);
  const std::size_t width = static_cast<std::size_t>(w.colLast - w.colFirst + 1);
  const std::uint64_t* one = table.packedOne;
  const unsigned char* q = cov.m_pData + static_cast<std::size_t>(w.rowFirst) * stride +
                           static_cast<std::size_t>(w.colFirst);
  std::uint64_t packed = 0;
  for (long long r = w.rowFirst;; ++r) {
    std::size_t k = 0;
    for (; k + 3 <= width; k += 3) packed += one[q[k]] + one[q[k + 1]] + one[q[k + 2]];
    for (; k < width; ++k) packed += one[q[k]];
    if (r == w.rowLast) break;
    q += stride;  // only while another row of the window follows
  }
  return packed;
}

// CountWindowCodes for G codes from an array; counts are written only when
// it answers true.
template <int G>
bool CountCodesInto(const CLandUseCoverage& cov, const CategoryTable& table, const Window& w,
                    const int* codes, int* counts) {
  int c[G];
  int n[G];
  std::copy(codes, codes + G, c);
  if (!CountWindowCodes(cov, table, w, c, n)) return false;
  std::copy(n, n + G, counts);
  return true;
}

bool CountCodesOf(const CLandUseCoverage& cov, const CategoryTable& table, const Window& w,
                  const int* codes, int* counts, int nCount) {
  switch (nCount) {
    case 1:
      return CountCodesInto<1>(cov, table, w, codes, counts);
    case 2:
      return CountCodesInto<2>(cov, table, w, codes, counts);
    case 3:
      return CountCodesInto<3>(cov, table, w, codes, counts);
    default:
      return false;
  }
}

inline unsigned PackedCount(std::uint64_t packed, int code) {
  return static_cast<unsigned>((packed >> (8 * code)) & 0xFFu);
}

int CountOne(const CLandUseCoverage* pCoverage, const CLandUseSet* pTableSet,
             const CategoryTable& table, LandUseCategory category, int nRow, int nCol,
             int nRadius) {
  if (pCoverage == nullptr || !InGrid(*pCoverage, nRow, nCol)) return 0;
  if (nRadius < 0) return 0;  // an empty square
  const Window w = ClipSquare(*pCoverage, nRow, nCol, nRadius);
  const int code = CodeOf(category);
  if (code == kOtherCode || !SmallPath(*pCoverage, pTableSet, w))
    return CountOneGeneral(pCoverage, pTableSet, table, category, nRadius, w);
  int vectorCount = 0;
  unsigned long long total = CountCodesInto<1>(*pCoverage, table, w, &code, &vectorCount)
                                 ? static_cast<unsigned long long>(vectorCount)
                                 : PackedCount(PackedCodes(*pCoverage, table, w), code);
  // (A small window may still be the clipped part of a huge square.)
  return WithBeyondEdge(total, category, nRadius, w);
}

int CountSeveral(const CLandUseCoverage* pCoverage, const CLandUseSet* pTableSet,
                 const CategoryTable& table, const LandUseCategory* categories, int* counts,
                 int nCount, int nRow, int nCol, int nRadius) {
  if (pCoverage == nullptr || !InGrid(*pCoverage, nRow, nCol)) return 0;
  if (nCount > 0 && (categories == nullptr || counts == nullptr)) return 0;
  if (nRadius < 0 || nCount <= 0) {
    for (int k = 0; k < nCount; ++k) counts[k] = 0;
    return 1;
  }
  const Window w = ClipSquare(*pCoverage, nRow, nCol, nRadius);
  bool plain = SmallPath(*pCoverage, pTableSet, w);
  for (int k = 0; k < nCount && plain; ++k) plain = CodeOf(categories[k]) != kOtherCode;
  if (!plain)
    return CountSeveralGeneral(pCoverage, pTableSet, table, categories, counts, nCount, w);

  if (nCount <= 3) {
    // Every place counts (distinct categories other than Blank): each
    // place counts its code.
    int codes[3] = {0, 0, 0};
    bool vector = true;
    for (int k = 0; k < nCount && vector; ++k) {
      vector = PlaceCounts(categories, k);
      codes[k] = CodeOf(categories[k]);
    }
    if (vector && CountCodesOf(*pCoverage, table, w, codes, counts, nCount)) return 1;
  }
  const std::uint64_t packed = PackedCodes(*pCoverage, table, w);
  for (int k = 0; k < nCount; ++k) {
    counts[k] = PlaceCounts(categories, k)
                    ? static_cast<int>(PackedCount(packed, CodeOf(categories[k])))
                    : 0;
  }
  return 1;
}

}  // namespace detail
}  // namespace towngrow
