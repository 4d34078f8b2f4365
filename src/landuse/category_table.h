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

#include <cstddef>
#include <cstdint>
#include <vector>

#include "towngrow/grid/category.h"

namespace towngrow {

class CLandUse;
class CLandUseSet;
class CLandUseCoverage;

namespace detail {

// Codes 0..6 are the categories of those values; code 7 stands for every
// category value outside 0..6, which only the exact table tells apart.
constexpr int kCodeCount = 8;
constexpr int kOtherCode = 7;

struct CategoryTable {
  int category[256];               // exact category per ID
  unsigned char code[256];         // counting code per ID
  std::uint64_t packedOne[256];    // 1 in byte `code` of the ID: one add counts a cell
};

// The table for the set as it is now. The reference stays valid until the
// next call of CategoryTableOf on the same thread.
const CategoryTable& CategoryTableOf(const CLandUseSet* pSet);

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

// The two neighbourhood counts of CLandUse, same results and border rules,
// through a table taken for pTableSet. A coverage linked to another set is
// counted cell by cell through its own GetLandUseCategory instead (the
// table is not retaken, so it stays valid for the caller).
int CountOne(const CLandUseCoverage* pCoverage, const CLandUseSet* pTableSet,
             const CategoryTable& table, LandUseCategory category, int nRow, int nCol,
             int nRadius);
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
  if (cov.m_pData == nullptr || nRow < 0 || nCol < 0 || nRow >= cov.m_nRows ||
      nCol >= cov.m_nCols)
    return 0;
  return cov.m_pData[static_cast<std::size_t>(nRow) * static_cast<std::size_t>(cov.m_nCols) +
                     static_cast<std::size_t>(nCol)];
}

inline LandUseCategory CategoryAt(const CLandUseCoverage& cov, const CLandUseSet* pTableSet,
                                  const CategoryTable& table, int nRow, int nCol) {
  if (cov.m_pLandUseSet != pTableSet) return cov.GetLandUseCategory(nRow, nCol);
  return static_cast<LandUseCategory>(table.category[ValueAt(cov, nRow, nCol)]);
}

}  // namespace detail
}  // namespace towngrow
