// A named rectangular raster of bytes, row after row in one buffer. Base of
// the land-use coverage, and on its own a background raster whose cell
// values are bit sets of allowed land-use IDs.
//
// Choices of ours: a second InitGrid releases the old buffer first (invalid
// dimensions change nothing); InitGrid on a coverage keeps its ages only when
// the shape stays the same, so the age buffer always matches the cells; a new
// grid's m_dScale is 1.0; a grid cannot be copied by construction (it owns
// its buffer). While a buffer is held it has exactly m_nRows * m_nCols cells.
#pragma once

#include <cstddef>

#include "towngrow/platform/framework.h"

namespace towngrow {

class CGrid : public CObject {
public:
  CGrid();
  ~CGrid() override;
  CGrid(const CGrid&) = delete;
  CGrid& operator=(const CGrid&) = delete;

  int IsEmpty() const;
  int InitGrid(int nRows, int nCols, unsigned char value);
  int SetGridValue(int value);
  int SetCellValue(int nRow, int nCol, unsigned char value);
  int SetCellValue(CPoint pt, unsigned char value);
  unsigned char GetCellValue(int nRow, int nCol) const;
  unsigned char GetCellValue(CPoint pt) const;

  int m_nGridType;
  CString m_strName;
  int m_nRows;
  int m_nCols;
  double m_dScale;
  unsigned char* m_pData;
};

// Inline: hosts and the model read cells one by one in their inner loops.
// 0 outside the grid or without a buffer.
inline unsigned char CGrid::GetCellValue(int nRow, int nCol) const {
  if (m_pData == nullptr || nRow < 0 || nCol < 0 || nRow >= m_nRows || nCol >= m_nCols) return 0;
  return m_pData[static_cast<std::size_t>(nRow) * static_cast<std::size_t>(m_nCols) +
                 static_cast<std::size_t>(nCol)];
}

}  // namespace towngrow
