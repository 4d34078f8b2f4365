#include "towngrow/grid/coverage.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

#include "grid/cell_values.h"
#include "grid/write_log.h"
#include "towngrow/landuse/land_use.h"
#include "towngrow/landuse/land_use_set.h"
#include "towngrow/platform/messages.h"

namespace towngrow {

namespace {

// Number of cells of a shape; 0 for a shape without cells.
std::size_t CellCount(int nRows, int nCols) {
  if (nRows <= 0 || nCols <= 0) return 0;
  return static_cast<std::size_t>(nRows) * static_cast<std::size_t>(nCols);
}

short Low16(long long v) {
  return static_cast<short>(static_cast<std::uint16_t>(static_cast<std::uint64_t>(v) & 0xFFFFu));
}

// For every ID, the age range of the start states: the sum of the active
// age and the inactive period of the land use that holds the ID, wrapped to
// 32 bits as int arithmetic wraps; 0 for an ID without land use (and for
// every ID while no set is linked).
void AgeSums(const CLandUseSet* pSet, int (&sums)[256]) {
  for (int id = 0; id < 256; ++id) {
    sums[id] = 0;
    if (pSet == nullptr) continue;
    const int index = pSet->GetIDIndex(static_cast<unsigned char>(id));
    if (index < 0 || index >= pSet->m_LandUseArray.GetSize()) continue;
    const auto* pLandUse = static_cast<const CLandUse*>(pSet->m_LandUseArray.GetAt(index));
    if (pLandUse == nullptr) continue;
    const long long sum =
        static_cast<long long>(pLandUse->m_nActiveAge) + pLandUse->m_nInactivePeriod;
    sums[id] = static_cast<int>(static_cast<std::int32_t>(static_cast<std::uint32_t>(sum)));
  }
}

// Whether this coverage can take over the shape of a source: its buffers
// must hold every cell of the source's shape, so that the shape never
// promises more cells than the buffers have. A coverage without buffers can
// take the shape of a source that holds no cells either.
bool CanTakeShape(const CLandUseCoverage& target, const CLandUseCoverage& source) {
  const std::size_t needed = CellCount(source.m_nRows, source.m_nCols);
  if (target.m_pData == nullptr) return source.m_pData == nullptr || needed == 0;
  return CellCount(target.m_nRows, target.m_nCols) >= needed;
}

}  // namespace

CLandUseCoverage::CLandUseCoverage()
    : m_dCellSize(30.0),
      m_dXllCorner(0.0),
      m_dYllCorner(0.0),
      m_nNoDataValue(-9999),
      m_pCellAge(nullptr),
      m_pLandUseSet(nullptr) {}

CLandUseCoverage::~CLandUseCoverage() {
  delete[] m_pCellAge;
  m_pCellAge = nullptr;
  // The cell buffer goes with the grid's destructor.
}

// --- cells and ages ---------------------------------------------------------

int CLandUseCoverage::InitCoverage(int nRows, int nCols, short age) {
  if (nRows < 5 || nCols < 5 || nRows > 10000 || nCols > 10000) return 0;
  // A fresh start: the old age buffer goes whatever the shape.
  delete[] m_pCellAge;
  m_pCellAge = nullptr;
  if (!InitGrid(nRows, nCols, 0)) return 0;

  const std::size_t cells = CellCount(nRows, nCols);
  m_pCellAge = new (std::nothrow) short[cells];
  if (m_pCellAge == nullptr) {
    ShowMessage("Not Enough Memory!!");
    // Without ages the coverage is of no use: leave it empty.
    delete[] m_pData;
    m_pData = nullptr;
    return 0;
  }
  std::fill_n(m_pCellAge, cells, age);
  return 1;
}

short CLandUseCoverage::GetCellAge(int nRow, int nCol) const {
  return detail::AgeAt(*this, nRow, nCol);
}

short CLandUseCoverage::GetCellAge(CPoint pt) const { return GetCellAge(pt.y, pt.x); }

int CLandUseCoverage::SetCellAge(int nRow, int nCol, short age) {
  if (m_pData == nullptr || m_pCellAge == nullptr || nRow < 0 || nCol < 0 || nRow >= m_nRows ||
      nCol >= m_nCols)
    return 0;
  m_pCellAge[static_cast<std::size_t>(nRow) * static_cast<std::size_t>(m_nCols) +
             static_cast<std::size_t>(nCol)] = age;
  detail::NoteWrite(this, nRow, nCol);
  return 1;
}

int CLandUseCoverage::SetCellAge(CPoint pt, short age) { return SetCellAge(pt.y, pt.x, age); }

int CLandUseCoverage::SetCellAgeGrow(int nRow, int nCol, short delta) {
  if (m_pData == nullptr || m_pCellAge == nullptr || nRow < 0 || nCol < 0 || nRow >= m_nRows ||
      nCol >= m_nCols)
    return 0;
  short& age = m_pCellAge[static_cast<std::size_t>(nRow) * static_cast<std::size_t>(m_nCols) +
                          static_cast<std::size_t>(nCol)];
  age = Low16(static_cast<long long>(age) + delta);
  detail::NoteWrite(this, nRow, nCol);
  return 1;
}

int CLandUseCoverage::SetCellAgeGrow(CPoint pt, short delta) {
  return SetCellAgeGrow(pt.y, pt.x, delta);
}

LandUseCategory CLandUseCoverage::GetLandUseCategory(int nRow, int nCol) const {
  if (m_pLandUseSet == nullptr) return Others;
  return m_pLandUseSet->GetCategory(GetCellValue(nRow, nCol));
}

LandUseCategory CLandUseCoverage::GetLandUseCategory(CPoint pt) const {
  return GetLandUseCategory(pt.y, pt.x);
}

int CLandUseCoverage::SetCoverageAge(int age) {
  if (m_pCellAge == nullptr) return 0;
  std::fill_n(m_pCellAge, CellCount(m_nRows, m_nCols), Low16(age));
  return 1;
}

// --- copies -----------------------------------------------------------------

CLandUseCoverage* CLandUseCoverage::Copy() const {
  auto* pCopy = new (std::nothrow) CLandUseCoverage();
  if (pCopy == nullptr) return nullptr;
  pCopy->m_nGridType = m_nGridType;
  pCopy->m_strName = m_strName;
  pCopy->m_pLandUseSet = m_pLandUseSet;
  if (m_pData == nullptr) {
    // Nothing to copy: the copy holds no cells either, but keeps the shape.
    pCopy->m_nRows = m_nRows;
    pCopy->m_nCols = m_nCols;
    return pCopy;
  }
  if (!pCopy->InitGrid(m_nRows, m_nCols, 0)) return pCopy;
  // InitGrid names and types the copy; the source's name and type win.
  pCopy->m_nGridType = m_nGridType;
  pCopy->m_strName = m_strName;

  const std::size_t cells = CellCount(m_nRows, m_nCols);
  std::memcpy(pCopy->m_pData, m_pData, cells);
  if (m_pCellAge == nullptr) return pCopy;  // as the source: no ages
  pCopy->m_pCellAge = new (std::nothrow) short[cells];
  if (pCopy->m_pCellAge == nullptr) {
    ShowMessage("Not Enough Memory!!");
    delete[] pCopy->m_pData;
    pCopy->m_pData = nullptr;
    return pCopy;
  }
  std::memcpy(pCopy->m_pCellAge, m_pCellAge, cells * sizeof(short));
  return pCopy;
}

int CLandUseCoverage::CopyValueFromCoverage(const CLandUseCoverage* pSource) {
  if (pSource == nullptr) return 0;
  if (pSource == this) return 1;
  if (!CanTakeShape(*this, *pSource)) return 0;
  const std::size_t cells = CellCount(pSource->m_nRows, pSource->m_nCols);
  const bool hasCells = pSource->m_pData != nullptr && cells > 0;

  m_nRows = pSource->m_nRows;
  m_nCols = pSource->m_nCols;
  m_dScale = pSource->m_dScale;
  m_nGridType = pSource->m_nGridType;
  m_strName = pSource->m_strName;
  m_dCellSize = pSource->m_dCellSize;
  m_dXllCorner = pSource->m_dXllCorner;
  m_dYllCorner = pSource->m_dYllCorner;
  m_nNoDataValue = pSource->m_nNoDataValue;
  m_pLandUseSet = pSource->m_pLandUseSet;
  if (!hasCells) return 1;
  std::memcpy(m_pData, pSource->m_pData, cells);
  if (m_pCellAge != nullptr && pSource->m_pCellAge != nullptr)
    std::memcpy(m_pCellAge, pSource->m_pCellAge, cells * sizeof(short));
  return 1;
}

CLandUseCoverage& CLandUseCoverage::operator=(const CLandUseCoverage& src) {
  if (&src == this) return *this;
  if (!CanTakeShape(*this, src)) return *this;
  const std::size_t cells = CellCount(src.m_nRows, src.m_nCols);
  const bool hasCells = src.m_pData != nullptr && cells > 0;

  m_nRows = src.m_nRows;
  m_nCols = src.m_nCols;
  m_dScale = src.m_dScale;
  m_nGridType = src.m_nGridType;
  m_strName = src.m_strName;
  m_pLandUseSet = src.m_pLandUseSet;
  if (!hasCells) return *this;
  std::memcpy(m_pData, src.m_pData, cells);
  if (m_pCellAge != nullptr && src.m_pCellAge != nullptr)
    std::memcpy(m_pCellAge, src.m_pCellAge, cells * sizeof(short));
  return *this;
}

// --- random start states ----------------------------------------------------

int CLandUseCoverage::RandomFill() {
  if (static_cast<long long>(m_nRows) * m_nCols == 0) return 0;
  if (m_pData == nullptr) return 0;
  int sums[256];
  AgeSums(m_pLandUseSet, sums);
  const std::size_t cells = CellCount(m_nRows, m_nCols);
  for (std::size_t k = 0; k < cells; ++k) {
    int id = 0;
    if (RandInt(58) == 2) id = RandInt(6) - 1;
    m_pData[k] = static_cast<unsigned char>(id);
    const short age = static_cast<short>(RandInt(sums[id]) - 1);
    if (m_pCellAge != nullptr) m_pCellAge[k] = age;
  }
  return 1;
}

int CLandUseCoverage::RandomFill(const int* weights, int nCount) {
  if (static_cast<long long>(m_nRows) * m_nCols == 0 || nCount < 1) return 0;
  if (m_pData == nullptr || weights == nullptr) return 0;
  int sums[256];
  AgeSums(m_pLandUseSet, sums);
  const std::size_t cells = CellCount(m_nRows, m_nCols);
  for (std::size_t k = 0; k < cells; ++k) {
    const auto id = static_cast<unsigned char>(GetMaxIndex(weights, nCount) & 0xFF);
    m_pData[k] = id;
    const short age = static_cast<short>(RandInt(sums[id]) - 1);
    if (m_pCellAge != nullptr) m_pCellAge[k] = age;
  }
  return 1;
}

void CLandUseCoverage::Free() {
  delete[] m_pCellAge;
  m_pCellAge = nullptr;
  delete[] m_pData;
  m_pData = nullptr;
}

}  // namespace towngrow
