// The category of every land-use ID under one set, for the rules and the
// neighbourhood counts that look up thousands of cells per call.
//
// The table answers exactly what CLandUseSet::GetCategory answers (the
// category of the first land use with the ID, Others for an ID without
// one, Others for every ID when there is no set). It is kept per thread and
// is checked against the set on every call of CategoryTableOf: the snapshot
// holds, for every position of the set's array, the pointer stored there
// and the ID and category of that land use. A host that changes an ID or a
// category, stores another pointer (or null) or appends a land use between
// two calls gets a rebuilt table at the next call. Callers take the table
// once per rule call or per neighbourhood count, never across host code.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/host_calls.h"
#include "towngrow/grid/category.h"

#if defined(__SSE2__) && defined(__x86_64__) && !defined(TOWNGROW_NO_VECTOR_COUNTS)
#include <emmintrin.h>
#define TOWNGROW_VECTOR_COUNTS 1
#endif

namespace towngrow {

class CLandUse;
class CLandUseSet;
class CLandUseCoverage;

namespace detail {

// Codes 0..6 are the categories of those values; code 7 stands for every
// category value outside 0..6, which only the exact table tells apart.
constexpr int kCodeCount = 8;
constexpr int kOtherCode = 7;
constexpr int kProbEntries = 64;

struct CategoryTable {
  int category[256];             // exact category per ID
  unsigned char code[256];       // counting code per ID
  std::uint64_t packedOne[256];  // 1 in byte `code` of the ID: one add counts a cell
  int idCount[kCodeCount];       // number of IDs with each code
  alignas(16) unsigned char needle[kCodeCount][16];  // the first ID of each code, 16 times
  // GetProbID's choices per category 0..6: the IDs of the land uses with
  // that category in array order (null entries skipped), their number in
  // probCount; -1 when the set holds more than kProbEntries land uses (the
  // set is then asked itself).
  int probCount[kCodeCount];
  unsigned char probIds[kCodeCount][kProbEntries];
};

// GetProbID of the table's set for a category, with the same draw: none
// for no or one matching land use, else RandInt(matches). Categories
// outside 0..6, and sets beyond kProbEntries land uses, ask the set.
int ProbIDFromTable(const CategoryTable& table, const CLandUseSet* pSet, LandUseCategory category);

// The table for the set as it is now. The reference stays valid until the
// next call of CategoryTableOf on the same thread.
const CategoryTable& CategoryTableOf(const CLandUseSet* pSet);

// The step driver pins the table of its set while it runs the library's
// rules, during which no host code runs but the message handler: until it
// unpins, CategoryTableOf answers for that set without the check, as long
// as no message has been shown since the table was last checked (a check
// that matches arms the pin again). The driver unpins around the land uses
// of a host's own classes.
void PinCategoryTable(const CLandUseSet* pSet);
void UnpinCategoryTable();

struct TablePin {
  const CLandUseSet* set;      // the pinned set, null for none
  const CategoryTable* table;  // its table
  std::uint64_t checkedAt;     // t_hostCalls when the table was last checked
};
inline thread_local TablePin t_tablePin;  // zero-initialised: nothing pinned

// The pinned table of the set when it needs no check, else null.
inline const CategoryTable* PinnedTableOf(const CLandUseSet* pSet) {
  const TablePin& pin = t_tablePin;
  return pSet != nullptr && pSet == pin.set && pin.checkedAt == t_hostCalls ? pin.table : nullptr;
}

// Code of a category asked for; kOtherCode for values outside 0..6.
inline int CodeOf(LandUseCategory category) {
  const int c = static_cast<int>(category);
  return c >= 0 && c < kOtherCode ? c : kOtherCode;
}

// The in-grid part of a square around a cell, as inclusive bounds (64-bit
// so that any radius is safe); empty when first > last.
struct Window {
  long long rowFirst, rowLast, colFirst, colLast;
  long long Cells() const {
    if (rowLast < rowFirst || colLast < colFirst) return 0;
    return (rowLast - rowFirst + 1) * (colLast - colFirst + 1);
  }
};

Window ClipSquare(const CLandUseCoverage& cov, int nRow, int nCol, int nRadius);

// Number of cells of each code in a window.
class CodeCounts {
public:
  long long Of(int code) const {
    return small_ ? static_cast<long long>((packed_ >> (8 * code)) & 0xFFu) : counts_[code];
  }

private:
  friend CodeCounts CountCodes(const CLandUseCoverage&, const CategoryTable&, const Window&);
  bool small_ = true;
  std::uint64_t packed_ = 0;  // byte k: cells of code k (windows of at most 255 cells)
  long long counts_[kCodeCount] = {};
};

// Counts the window's cells by code (cells are the coverage's values; a
// coverage without a cell buffer answers ID 0 for every cell).
CodeCounts CountCodes(const CLandUseCoverage& cov, const CategoryTable& table, const Window& w);

// Number of cells in the window whose exact category is `category`.
long long CountExact(const CLandUseCoverage& cov, const CategoryTable& table, const Window& w,
                     LandUseCategory category);

// Cells of the window with each of G codes (codes 0..6, each held by at
// most one ID), when the window suits the vector path: a cell buffer, at
// most 16 columns and 255 rows, and 16 bytes from the last row's start
// inside the buffer. Answers false, leaving counts alone, otherwise (and
// on targets without SSE2), and the caller counts through CountCodes.
template <int G>
inline bool CountWindowCodes(const CLandUseCoverage& cov, const CategoryTable& table,
                             const Window& w, const int (&codes)[G], int (&counts)[G]);

// The same for the square of radius nRadius around a cell, clipped to the
// grid: the rules' counts of G distinct categories 1..6 (codes[g] is the
// category's value). Answers false, leaving counts alone, for a centre
// outside the grid, a radius outside 0..7, a code that more than one ID
// has, no cell buffer or a window near the buffer's end.
template <int G>
inline bool CountAround(const CLandUseCoverage& cov, const CategoryTable& table,
                        const int (&codes)[G], int nRow, int nCol, int nRadius, int (&counts)[G]);

// The two neighbourhood counts of CLandUse, same results and border rules,
// through a table taken for pTableSet. A coverage linked to another set is
// counted cell by cell through its own GetLandUseCategory instead (the
// table is not retaken, so it stays valid for the caller).
int CountOne(const CLandUseCoverage* pCoverage, const CLandUseSet* pTableSet,
             const CategoryTable& table, LandUseCategory category, int nRow, int nCol, int nRadius);
int CountSeveral(const CLandUseCoverage* pCoverage, const CLandUseSet* pTableSet,
                 const CategoryTable& table, const LandUseCategory* categories, int* counts,
                 int nCount, int nRow, int nCol, int nRadius);

// Value of a cell as GetCellValue answers it (0 outside the grid or
// without a cell buffer), inline for the rules' single look-ups.
inline unsigned char ValueAt(const CLandUseCoverage& cov, int nRow, int nCol);

// Category of one cell: through the table when it belongs to the
// coverage's set (pTableSet is the set the table was taken for), else
// through the coverage's own GetLandUseCategory.
inline LandUseCategory CategoryAt(const CLandUseCoverage& cov, const CLandUseSet* pTableSet,
                                  const CategoryTable& table, int nRow, int nCol);

}  // namespace detail
}  // namespace towngrow

#include "towngrow/grid/coverage.h"

namespace towngrow {
namespace detail {

inline unsigned char ValueAt(const CLandUseCoverage& cov, int nRow, int nCol) {
  if (cov.m_pData == nullptr || nRow < 0 || nCol < 0 || nRow >= cov.m_nRows || nCol >= cov.m_nCols)
    return 0;
  return cov.m_pData[static_cast<std::size_t>(nRow) * static_cast<std::size_t>(cov.m_nCols) +
                     static_cast<std::size_t>(nCol)];
}

inline LandUseCategory CategoryAt(const CLandUseCoverage& cov, const CLandUseSet* pTableSet,
                                  const CategoryTable& table, int nRow, int nCol) {
  if (cov.m_pLandUseSet != pTableSet) return cov.GetLandUseCategory(nRow, nCol);
  return static_cast<LandUseCategory>(table.category[ValueAt(cov, nRow, nCol)]);
}

#if defined(TOWNGROW_VECTOR_COUNTS)
// Cells with the ID of each code in `rows` rows of `cols` (1..16) columns
// from q; 16 bytes from the start of every row lie in the buffer. Byte
// lane i of acc[g] counts the rows whose column i holds that ID (at most
// 255, so no lane overflows).
template <int G>
inline void VectorCount(const unsigned char* q, std::size_t stride, int rows, int cols,
                        const CategoryTable& table, const int (&codes)[G], int (&counts)[G]) {
  __m128i needles[G];
  __m128i acc[G];
  for (int g = 0; g < G; ++g) {
    needles[g] = _mm_load_si128(reinterpret_cast<const __m128i*>(table.needle[codes[g]]));
    acc[g] = _mm_setzero_si128();
  }
  for (int r = 0;;) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
    for (int g = 0; g < G; ++g) acc[g] = _mm_sub_epi8(acc[g], _mm_cmpeq_epi8(v, needles[g]));
    if (++r == rows) break;
    q += stride;  // only while another row follows
  }
  const __m128i lanes = _mm_set_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
  const __m128i inWindow = _mm_cmplt_epi8(lanes, _mm_set1_epi8(static_cast<char>(cols)));
  for (int g = 0; g < G; ++g) {
    const __m128i sums = _mm_sad_epu8(_mm_and_si128(acc[g], inWindow), _mm_setzero_si128());
    const long long n = _mm_cvtsi128_si64(sums) + _mm_cvtsi128_si64(_mm_unpackhi_epi64(sums, sums));
    counts[g] = table.idCount[codes[g]] == 0 ? 0 : static_cast<int>(n);  // no ID: no cell
  }
}
#endif

template <int G>
inline bool CountWindowCodes(const CLandUseCoverage& cov, const CategoryTable& table,
                             const Window& w, const int (&codes)[G], int (&counts)[G]) {
#if defined(TOWNGROW_VECTOR_COUNTS)
  if (cov.m_pData == nullptr) return false;
  const long long rows = w.rowLast - w.rowFirst + 1;
  const long long cols = w.colLast - w.colFirst + 1;
  if (rows < 1 || cols < 1 || rows > 255 || cols > 16) return false;
  for (int g = 0; g < G; ++g)
    if (static_cast<unsigned>(codes[g]) >= static_cast<unsigned>(kOtherCode) ||
        table.idCount[codes[g]] > 1)
      return false;
  const std::size_t stride = static_cast<std::size_t>(cov.m_nCols);
  const std::size_t first =
      static_cast<std::size_t>(w.rowFirst) * stride + static_cast<std::size_t>(w.colFirst);
  const std::size_t last =
      static_cast<std::size_t>(w.rowLast) * stride + static_cast<std::size_t>(w.colFirst);
  // Sixteen bytes from the last row's start (and so from every row's) lie
  // in the buffer.
  if (last + 16 > static_cast<std::size_t>(cov.m_nRows) * stride) return false;
  VectorCount(cov.m_pData + first, stride, static_cast<int>(rows), static_cast<int>(cols), table,
              codes, counts);
  return true;
#else
  (void)cov;
  (void)table;
  (void)w;
  (void)codes;
  (void)counts;
  return false;
#endif
}

template <int G>
inline bool CountAround(const CLandUseCoverage& cov, const CategoryTable& table,
                        const int (&codes)[G], int nRow, int nCol, int nRadius, int (&counts)[G]) {
#if defined(TOWNGROW_VECTOR_COUNTS)
  if (cov.m_pData == nullptr || nRow < 0 || nCol < 0 || nRow >= cov.m_nRows ||
      nCol >= cov.m_nCols || nRadius < 0 || nRadius > 7)
    return false;
  for (int g = 0; g < G; ++g)
    if (table.idCount[codes[g]] > 1) return false;
  // The window, clipped without forming nRow + nRadius (no overflow).
  const int up = std::min(nRow, nRadius);
  const int down = std::min(cov.m_nRows - 1 - nRow, nRadius);
  const int left = std::min(nCol, nRadius);
  const int right = std::min(cov.m_nCols - 1 - nCol, nRadius);
  const std::size_t stride = static_cast<std::size_t>(cov.m_nCols);
  const std::size_t first =
      static_cast<std::size_t>(nRow - up) * stride + static_cast<std::size_t>(nCol - left);
  const std::size_t last = first + static_cast<std::size_t>(up + down) * stride;
  if (last + 16 > static_cast<std::size_t>(cov.m_nRows) * stride) return false;
  VectorCount(cov.m_pData + first, stride, up + down + 1, left + right + 1, table, codes, counts);
  return true;
#else
  (void)cov;
  (void)table;
  (void)codes;
  (void)nRow;
  (void)nCol;
  (void)nRadius;
  (void)counts;
  return false;
#endif
}

}  // namespace detail
}  // namespace towngrow
