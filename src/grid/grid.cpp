#include "towngrow/grid/grid.h"

#include <cstddef>
#include <cstring>
#include <new>

#include "grid/write_log.h"
#include "towngrow/grid/coverage.h"
#include "towngrow/platform/messages.h"

namespace towngrow {

namespace {

constexpr int kMinSide = 5;
constexpr int kMaxSide = 10000;

}  // namespace

CGrid::CGrid() : m_nGridType(-1), m_nRows(0), m_nCols(0), m_dScale(1.0), m_pData(nullptr) {}

CGrid::~CGrid() {
  delete[] m_pData;
  m_pData = nullptr;
}

int CGrid::IsEmpty() const { return m_pData == nullptr ? 1 : 0; }

int CGrid::InitGrid(int nRows, int nCols, unsigned char value) {
  if (nRows < kMinSide || nCols < kMinSide || nRows > kMaxSide || nCols > kMaxSide) return 0;

  // A coverage keeps its ages only while its shape stays; an age buffer of
  // another shape would no longer match the cell buffer.
  if (auto* coverage = dynamic_cast<CLandUseCoverage*>(this)) {
    if (coverage->m_pCellAge != nullptr &&
        (m_pData == nullptr || nRows != m_nRows || nCols != m_nCols)) {
      delete[] coverage->m_pCellAge;
      coverage->m_pCellAge = nullptr;
    }
  }

  delete[] m_pData;
  m_pData = nullptr;
  m_nRows = nRows;
  m_nCols = nCols;

  const std::size_t cells = static_cast<std::size_t>(nRows) * static_cast<std::size_t>(nCols);
  m_pData = new (std::nothrow) unsigned char[cells];
  if (m_pData == nullptr) {
    if (auto* coverage = dynamic_cast<CLandUseCoverage*>(this)) {
      delete[] coverage->m_pCellAge;  // no ages without cells
      coverage->m_pCellAge = nullptr;
    }
    ShowMessage("Not enough memory!!");
    return 0;
  }
  std::memset(m_pData, value, cells);
  m_dScale = 1.0;
  m_nGridType = 0;
  m_strName = "Grid";
  return 1;
}

int CGrid::SetGridValue(int value) {
  if (m_pData == nullptr) return 0;
  if (m_nRows <= 0 || m_nCols <= 0) return 1;
  const std::size_t cells = static_cast<std::size_t>(m_nRows) * static_cast<std::size_t>(m_nCols);
  std::memset(m_pData, static_cast<unsigned char>(value & 0xFF), cells);
  return 1;
}

int CGrid::SetCellValue(int nRow, int nCol, unsigned char value) {
  if (m_pData == nullptr || nRow < 0 || nCol < 0 || nRow >= m_nRows || nCol >= m_nCols) return 0;
  m_pData[static_cast<std::size_t>(nRow) * static_cast<std::size_t>(m_nCols) +
          static_cast<std::size_t>(nCol)] = value;
  detail::NoteWrite(this, nRow, nCol);
  return 1;
}

int CGrid::SetCellValue(CPoint pt, unsigned char value) { return SetCellValue(pt.y, pt.x, value); }

unsigned char CGrid::GetCellValue(CPoint pt) const { return GetCellValue(pt.y, pt.x); }

}  // namespace towngrow
