// The per-thread category table of a set and the neighbourhood counts that
// run on it. See category_table.h for the staleness rule.
#include "landuse/category_table.h"

#include <algorithm>

#include "platform/draws.h"
#include "platform/per_thread.h"

#include "towngrow/grid/coverage.h"
#include "towngrow/landuse/land_use.h"
#include "towngrow/landuse/land_use_set.h"

namespace towngrow {
namespace detail {

namespace {

// Sets up to this many land uses are remembered entry by entry; a larger
// set gets its table rebuilt on every call (still exact, only slower).
constexpr int kSnapshotEntries = 64;

enum class CacheState : int { Empty = 0, NoSet, Set, Unchecked };

struct SnapshotEntry {
  const CObject* pointer;
  int id;
  int category;
};

// Zero-initialised on first use; one per thread (platform/per_thread.h).
struct TableCache {
  CacheState state;
  int size;
  bool hasNull;  // some snapshot entry is a null pointer
  SnapshotEntry entries[kSnapshotEntries];
  CategoryTable table;
};

TableCache& Cache() { return PerThread<TableCache>(); }

void FinishTable(CategoryTable& t) {
  for (int id = 0; id < 256; ++id) {
    const int code = CodeOf(static_cast<LandUseCategory>(t.category[id]));
    t.code[id] = static_cast<unsigned char>(code);
    t.packedOne[id] = std::uint64_t{1} << (8 * code);
  }
  for (int k = 0; k < kCodeCount; ++k) t.idCount[k] = 0;
  for (int id = 0; id < 256; ++id) {
    const int k = t.code[id];
    if (t.idCount[k] == 0)
      for (unsigned char& b : t.needle[k]) b = static_cast<unsigned char>(id);
    ++t.idCount[k];
  }
}

// Same answer per ID as the set's GetCategory: the first land use with the
// ID wins, so the array is walked backwards and earlier entries overwrite.
void BuildTable(const CLandUseSet* pSet, CategoryTable& t) {
  std::fill(std::begin(t.category), std::end(t.category), static_cast<int>(Others));
  for (int k = 0; k < kCodeCount; ++k) t.probCount[k] = 0;
  if (pSet != nullptr) {
    const CObArray& array = pSet->m_LandUseArray;
    for (int i = array.GetSize() - 1; i >= 0; --i) {
      const auto* landUse = static_cast<const CLandUse*>(array.GetAt(i));
      if (landUse != nullptr)
        t.category[landUse->m_ID] = static_cast<int>(landUse->m_LandUseCategory);
    }
    if (array.GetSize() > kProbEntries) {
      for (int k = 0; k < kCodeCount; ++k) t.probCount[k] = -1;
    } else {
      for (int i = 0; i < array.GetSize(); ++i) {
        const auto* landUse = static_cast<const CLandUse*>(array.GetAt(i));
        if (landUse == nullptr) continue;
        const int c = static_cast<int>(landUse->m_LandUseCategory);
        if (c < 0 || c >= kOtherCode) continue;
        t.probIds[c][t.probCount[c]++] = landUse->m_ID;
      }
    }
  }
  FinishTable(t);
}

bool SnapshotMatches(const TableCache& cache, const CObArray& array, int size) {
  if (cache.state != CacheState::Set || cache.size != size) return false;
  if (!cache.hasNull) {
    // The usual case: every snapshot pointer is a land use, so a pointer
    // that still equals it can be read without a null test.
    for (int i = 0; i < size; ++i) {
      const auto* landUse = static_cast<const CLandUse*>(array.GetAt(i));
      const SnapshotEntry& e = cache.entries[i];
      if (landUse != e.pointer || landUse->m_ID != e.id ||
          static_cast<int>(landUse->m_LandUseCategory) != e.category)
        return false;
    }
    return true;
  }
  for (int i = 0; i < size; ++i) {
    const auto* landUse = static_cast<const CLandUse*>(array.GetAt(i));
    const SnapshotEntry& e = cache.entries[i];
    if (landUse != e.pointer) return false;
    if (landUse != nullptr &&
        (landUse->m_ID != e.id || static_cast<int>(landUse->m_LandUseCategory) != e.category))
      return false;
  }
  return true;
}

void TakeSnapshot(TableCache& cache, const CObArray& array, int size) {
  for (int i = 0; i < size; ++i) {
    const auto* landUse = static_cast<const CLandUse*>(array.GetAt(i));
    SnapshotEntry& e = cache.entries[i];
    e.pointer = landUse;
    e.id = landUse != nullptr ? landUse->m_ID : -1;
    e.category = landUse != nullptr ? static_cast<int>(landUse->m_LandUseCategory) : -1;
  }
  cache.hasNull = false;
  for (int i = 0; i < size; ++i)
    cache.hasNull = cache.hasNull || cache.entries[i].pointer == nullptr;
  cache.size = size;
  cache.state = CacheState::Set;
}

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

}  // namespace

const CategoryTable& CategoryTableOf(const CLandUseSet* pSet) {
  TableCache& cache = Cache();
  TablePin& pin = t_tablePin;
  if (pSet != nullptr && pSet == pin.set) {
    if (pin.checkedAt == t_hostCalls) return cache.table;
    if (SnapshotMatches(cache, pSet->m_LandUseArray, pSet->m_LandUseArray.GetSize())) {
      pin.checkedAt = t_hostCalls;  // checked again: armed until the next message
      return cache.table;
    }
  }
  pin.set = nullptr;  // the table may change below
  if (pSet == nullptr) {
    if (cache.state != CacheState::NoSet) {
      BuildTable(nullptr, cache.table);
      cache.state = CacheState::NoSet;
    }
    return cache.table;
  }
  const CObArray& array = pSet->m_LandUseArray;
  const int size = array.GetSize();
  if (SnapshotMatches(cache, array, size)) return cache.table;
  BuildTable(pSet, cache.table);
  if (size <= kSnapshotEntries)
    TakeSnapshot(cache, array, size);
  else
    cache.state = CacheState::Unchecked;  // never matches: rebuilt next time
  return cache.table;
}

void PinCategoryTable(const CLandUseSet* pSet) {
  UnpinCategoryTable();
  if (pSet == nullptr) return;
  CategoryTableOf(pSet);
  TableCache& cache = Cache();
  if (cache.state != CacheState::Set) return;  // a set too large to remember
  t_tablePin = TablePin{pSet, &cache.table, t_hostCalls};
}

void UnpinCategoryTable() { t_tablePin.set = nullptr; }

int ProbIDFromTable(const CategoryTable& table, const CLandUseSet* pSet, LandUseCategory category) {
  const int c = static_cast<int>(category);
  if (c < 0 || c >= kOtherCode || table.probCount[c] < 0)
    return pSet != nullptr ? pSet->GetProbID(category) : 0;
  const int matches = table.probCount[c];
  if (matches == 0) return 0;
  if (matches == 1) return table.probIds[c][0];
  return table.probIds[c][detail::RandIntOf(matches) - 1];  // RandInt: 1..matches
}

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

  unsigned long long total = static_cast<unsigned long long>(count);
  if (category == Blank) {
    // Cells of the square beyond the edge count as vacant land. The side is
    // below 2^32, so its square fits in 64 unsigned bits.
    const unsigned long long side = 2ULL * static_cast<unsigned long long>(nRadius) + 1ULL;
    total += side * side - static_cast<unsigned long long>(w.Cells());
  }
  return total > 2147483647ULL ? 2147483647 : static_cast<int>(total);
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
    bool counted = cat != Blank;  // Blank cells never count
    // A cell counts at the first listed place of its category only.
    for (int j = 0; j < k && counted; ++j) counted = categories[j] != cat;
    long long n = 0;
    if (!counted)
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
  if (category == Blank) {
    // Cells of the square beyond the edge count as vacant land (a small
    // window may still be the clipped part of a huge square).
    const unsigned long long side = 2ULL * static_cast<unsigned long long>(nRadius) + 1ULL;
    total += side * side - static_cast<unsigned long long>(w.Cells());
  }
  return total > 2147483647ULL ? 2147483647 : static_cast<int>(total);
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
    // Distinct categories other than Blank: each place counts its code.
    int codes[3] = {0, 0, 0};
    bool vector = true;
    for (int k = 0; k < nCount && vector; ++k) {
      const LandUseCategory cat = categories[k];
      vector = cat != Blank;
      for (int j = 0; j < k && vector; ++j) vector = categories[j] != cat;
      codes[k] = CodeOf(cat);
    }
    if (vector && CountCodesOf(*pCoverage, table, w, codes, counts, nCount)) return 1;
  }
  const std::uint64_t packed = PackedCodes(*pCoverage, table, w);
  for (int k = 0; k < nCount; ++k) {
    const LandUseCategory cat = categories[k];
    bool counted = cat != Blank;  // Blank cells never count
    // A cell counts at the first listed place of its category only.
    for (int j = 0; j < k && counted; ++j) counted = categories[j] != cat;
    counts[k] = counted ? static_cast<int>(PackedCount(packed, CodeOf(cat))) : 0;
  }
  return 1;
}

}  // namespace detail
}  // namespace towngrow
