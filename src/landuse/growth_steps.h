// Steps shared by the rules of housing, industry and commerce: the age
// thresholds, the abandonment of an old cell, the write of a new cell and
// the notices shown when a written ID differs from the default roster's.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "grid/cell_values.h"
#include "grid/new_point.h"
#include "landuse/category_table.h"
#include "landuse/land_use_draws.h"
#include "towngrow/grid/coverage.h"
#include "towngrow/landuse/land_use.h"
#include "towngrow/landuse/land_use_set.h"
#include "towngrow/platform/messages.h"

namespace towngrow {
namespace growth {

constexpr const char* kVacantChangedNotice = "Yes,You have changed the setting,..";
constexpr const char* kIndustryChangedNotice = "Yes,You have changed the Industry setting,..";
constexpr const char* kCommerceChangedNotice = "Yes,You have changed the Commerce setting,..";

// Old: the age lies beyond the active ages and the inactive period. The sum
// is formed in 64 bits so that extreme parameters cannot overflow.
inline bool IsOldAge(int age, const CLandUse& landUse) {
  return static_cast<long long>(age) >
         static_cast<long long>(landUse.m_nActiveAge) + landUse.m_nInactivePeriod;
}

// A dead cell (age below 0) or a resting one (past its active ages, not
// yet old): the rules of housing, industry and commerce only age it and
// answer 0 (the step driver does that itself, without the call).
inline bool OnlyAges(int age, const CLandUse& landUse) {
  return age < 0 || (age > landUse.m_nActiveAge && !IsOldAge(age, landUse));
}

// -deadAge kept as a signed 16-bit value (the low 16 bits of the negation).
inline short DeadAgeValue(int deadAge) {
  const unsigned int negated = 0u - static_cast<unsigned int>(deadAge);
  const unsigned int low = negated & 0xFFFFu;
  return static_cast<short>(low >= 0x8000u ? static_cast<int>(low) - 0x10000
                                           : static_cast<int>(low));
}

// The age step every housing, industry and commerce call begins with: the
// cell's age in the read coverage (GetCellAge: -100 outside the grid or
// without buffers), then SetCellAgeGrow(1) in the written coverage, with
// the same checks, inline. Its write is the only one of the library not
// noted in the step driver's write log (grid/write_log.h): the driver notes
// every housing, industry and commerce cell before it develops it.
inline short AgeThenGrow(const CLandUseCoverage& cov, CLandUseCoverage& next, int nRow, int nCol) {
  short age = -100;
  if (cov.m_pData != nullptr && cov.m_pCellAge != nullptr && nRow >= 0 && nCol >= 0 &&
      nRow < cov.m_nRows && nCol < cov.m_nCols)
    age = cov.m_pCellAge[static_cast<std::size_t>(nRow) * static_cast<std::size_t>(cov.m_nCols) +
                         static_cast<std::size_t>(nCol)];
  if (next.m_pData != nullptr && next.m_pCellAge != nullptr && nRow >= 0 && nCol >= 0 &&
      nRow < next.m_nRows && nCol < next.m_nCols) {
    short& grown =
        next.m_pCellAge[static_cast<std::size_t>(nRow) * static_cast<std::size_t>(next.m_nCols) +
                        static_cast<std::size_t>(nCol)];
    grown = static_cast<short>(static_cast<std::uint16_t>(static_cast<std::uint16_t>(grown) + 1u));
  }
  return age;
}

// Gives an old cell up: the vacant ID of the set, the notice when that ID
// is not the default roster's 0, then the age -deadAge. Without a set the
// vacant ID is 0.
inline void AbandonCell(const CLandUseSet* pSet, int nRow, int nCol, CLandUseCoverage* pNewCoverage,
                        int deadAge) {
  const int id = pSet != nullptr ? pSet->GetProbID(Blank) : 0;
  pNewCoverage->SetCellValue(nRow, nCol, static_cast<unsigned char>(id));
  if (id != 0) ShowMessage(kVacantChangedNotice);
  pNewCoverage->SetCellAge(nRow, nCol, DeadAgeValue(deadAge));
}

// A new cell: its ID, then age 0.
inline void WriteNewCell(CLandUseCoverage* pNewCoverage, CPoint p, int id) {
  pNewCoverage->SetCellValue(p, static_cast<unsigned char>(id));
  pNewCoverage->SetCellAge(p, 0);
}

// Whether the 3 x 3 window around a cell in the grid (clipped to it) holds
// at least two street cells, nodes or vertices, by the table's categories:
// then the street vertex there stays as it is, the first thing its rule
// asks (the step driver asks it too, and spares such a cell the call).
inline bool JoinedByTwo(const CLandUseCoverage& cov, const detail::CategoryTable& table, int nRow,
                        int nCol) {
  if (cov.m_pData == nullptr) return false;
  const auto isStreet = [&table](unsigned char id) {
    const int category = table.category[id];
    return static_cast<int>(category == StreetNode || category == StreetVertex);
  };
  // Inside the grid all nine cells are counted without a branch on what
  // they hold, which the processor cannot foresee.
  if (nRow >= 1 && nCol >= 1 && nRow + 1 < cov.m_nRows && nCol + 1 < cov.m_nCols) {
    const std::size_t cols = static_cast<std::size_t>(cov.m_nCols);
    const unsigned char* p = cov.m_pData + static_cast<std::size_t>(nRow - 1) * cols +
                             static_cast<std::size_t>(nCol - 1);
    int found = 0;
    for (int r = 0; r < 3; ++r, p += cols)
      found += isStreet(p[0]) + isStreet(p[1]) + isStreet(p[2]);
    return found >= 2;
  }
  int found = 0;
  for (int r = std::max(0, nRow - 1); r <= std::min(cov.m_nRows - 1, nRow + 1); ++r) {
    const unsigned char* row = cov.m_pData + static_cast<std::size_t>(r) * cov.m_nCols;
    for (int c = std::max(0, nCol - 1); c <= std::min(cov.m_nCols - 1, nCol + 1); ++c) {
      if ((found += isStreet(row[c])) == 2) return true;
    }
  }
  return false;
}

// The categories of the read coverage's set for one rule call: the set's
// category table, taken at the first look-up and then kept for the rest of
// the call (the rules run no host code between their look-ups). Every
// answer equals that of the coverage's own GetLandUseCategory and of the
// public neighbourhood counts; a coverage linked to another set than the
// one given here is looked up through its own set.
class Categories {
public:
  explicit Categories(const CLandUseSet* pSet) : set_(pSet) {}

  // One cell. Before the table is taken this asks the set directly, which
  // for one look-up costs less than checking the table.
  LandUseCategory At(const CLandUseCoverage& cov, int nRow, int nCol) {
    if (table_ == nullptr) table_ = detail::PinnedTableOf(set_);  // free while pinned
    if (table_ == nullptr) {
      if (cov.m_pLandUseSet == nullptr) return Others;
      return cov.m_pLandUseSet->GetCategory(detail::ValueAt(cov, nRow, nCol));
    }
    return detail::CategoryAt(cov, set_, *table_, nRow, nCol);
  }
  LandUseCategory At(const CLandUseCoverage& cov, CPoint p) { return At(cov, p.y, p.x); }

  // The one-category count (cells beyond the edge count as Blank).
  int CountOne(const CLandUseCoverage* pCoverage, LandUseCategory category, int nRow, int nCol,
               int nRadius) {
    if (category != Blank) {  // Blank also counts the cells beyond the edge
      const LandUseCategory one[1] = {category};
      int count[1];
      if (Around(pCoverage, one, count, nRow, nCol, nRadius)) return count[0];
    }
    return detail::CountOne(pCoverage, set_, Table(), category, nRow, nCol, nRadius);
  }
  // The several-category count of G distinct categories other than Blank,
  // with the answer of CountSeveral: 0 (counts untouched) when the centre
  // lies outside the grid.
  template <int G>
  int CountEach(const CLandUseCoverage* pCoverage, const LandUseCategory (&categories)[G],
                int (&counts)[G], int nRow, int nCol, int nRadius) {
    if (Around(pCoverage, categories, counts, nRow, nCol, nRadius)) return 1;
    return CountSeveral(pCoverage, categories, counts, G, nRow, nCol, nRadius);
  }
  // The several-category count; 0 when the centre lies outside the grid.
  int CountSeveral(const CLandUseCoverage* pCoverage, const LandUseCategory* categories,
                   int* counts, int nCount, int nRow, int nCol, int nRadius) {
    return detail::CountSeveral(pCoverage, set_, Table(), categories, counts, nCount, nRow, nCol,
                                nRadius);
  }
  // Cells of one category within the radius, counted in the several-
  // category form (Blank cells and cells beyond the edge never count).
  int CountCategory(const CLandUseCoverage* pCoverage, LandUseCategory category, int nRow, int nCol,
                    int nRadius) {
    if (category == Blank) return 0;
    const LandUseCategory one[1] = {category};
    int count[1] = {0};
    CountEach(pCoverage, one, count, nRow, nCol, nRadius);
    return count[0];
  }
  // Street cells (street nodes and street vertices together) within the radius.
  int CountStreets(const CLandUseCoverage* pCoverage, int nRow, int nCol, int nRadius) {
    const LandUseCategory streets[2] = {StreetNode, StreetVertex};
    int counts[2] = {0, 0};
    CountEach(pCoverage, streets, counts, nRow, nCol, nRadius);
    return counts[0] + counts[1];
  }

  // The set's GetProbID, with the same draw; from the table when this call
  // has taken it (the set has not changed since: no host code ran). 0
  // without a set.
  int ProbID(LandUseCategory category) {
    if (set_ == nullptr) return 0;
    if (table_ == nullptr) return set_->GetProbID(category);
    return detail::ProbIDFromTable(*table_, set_, category);
  }

private:
  // The vector count for categories 1..6 of the coverage's own set.
  template <int G>
  bool Around(const CLandUseCoverage* pCoverage, const LandUseCategory (&categories)[G],
              int (&counts)[G], int nRow, int nCol, int nRadius) {
    if (pCoverage == nullptr || pCoverage->m_pLandUseSet != set_) return false;
    int codes[G];
    for (int g = 0; g < G; ++g) {
      const int c = static_cast<int>(categories[g]);
      if (c < 1 || c > 6) return false;
      codes[g] = c;
    }
    return detail::CountAround(*pCoverage, Table(), codes, nRow, nCol, nRadius, counts);
  }

  const detail::CategoryTable& Table() {
    if (table_ == nullptr) table_ = detail::PinnedTableOf(set_);
    if (table_ == nullptr) table_ = &detail::CategoryTableOf(set_);
    return *table_;
  }
  const CLandUseSet* set_;
  const detail::CategoryTable* table_ = nullptr;
};

}  // namespace growth
}  // namespace towngrow
