// The state of the model: a raster of land-use IDs with an age per cell, a
// georeference, a no-data value and a link to the set of land uses that
// gives each ID its meaning. Also the geometry the growth rules move with
// and the file exchange with GIS software.
//
// Choices of ours, where the model leaves them open:
// - With no linked set, GetLandUseCategory answers Others, and both random
//   fills give every cell the age -1 without an age draw, as for a land use
//   whose active age and inactive period sum to 0; an ID that the linked set
//   does not hold is treated the same way. The sum of active age and inactive
//   period wraps to 32 bits before it is drawn from, as int arithmetic does.
// - The random fills return 0 without drawing on a coverage that holds no
//   cell buffer; a coverage with cells but no ages takes the age draws all
//   the same and stores no age. The weighted fill with no weights returns 0.
// - CopyValueFromCoverage and operator= copy nothing at all (the former then
//   returns 0) when this coverage's buffers cannot hold every cell of the
//   source's shape, or it has none while the source has cells; so a held
//   buffer always has m_nRows * m_nCols cells. A null source gives 0,
//   copying onto itself changes nothing. A source without ages leaves this
//   coverage's ages as they are.
// - Copy of a coverage without cells gives a copy without cells but with the
//   source's shape, name, type and set link; of a coverage without ages, a
//   copy without ages. If the copy object itself cannot be had, nullptr.
// - InitCoverage releases the old buffers first; when the age buffer cannot
//   be had, the cell buffer is released too, so the coverage is empty.
// - GetNewPoint applies its formulas to any input, wrapping in 32 bits.
//   CovDDALine skips positions whose coordinate an int cannot hold and stops
//   once the line has passed the far side of the grid.
#pragma once

#include "towngrow/grid/category.h"
#include "towngrow/grid/grid.h"

namespace towngrow {

class CLandUseSet;

enum ImportDataFormat : int {
  FormatE00 = 0,
  FormatXYA = 1,
  FormatXY = 2,
  FormatASC = 3,
  FormatFLT = 4,
  FormatDAT = 5,
  FormatOther = 6,
};

class CLandUseCoverage : public CGrid {
public:
  CLandUseCoverage();
  ~CLandUseCoverage() override;
  CLandUseCoverage(const CLandUseCoverage&) = delete;
  // Copies dimensions, scale, type, name, set link, values and ages into
  // this coverage's existing buffers; keeps the georeference and no-data.
  CLandUseCoverage& operator=(const CLandUseCoverage& src);

  // --- cells and ages -------------------------------------------------
  int InitCoverage(int nRows, int nCols, short age);
  short GetCellAge(int nRow, int nCol) const;
  short GetCellAge(CPoint pt) const;
  int SetCellAge(int nRow, int nCol, short age);
  int SetCellAge(CPoint pt, short age);
  int SetCellAgeGrow(int nRow, int nCol, short delta);
  int SetCellAgeGrow(CPoint pt, short delta);
  LandUseCategory GetLandUseCategory(int nRow, int nCol) const;
  LandUseCategory GetLandUseCategory(CPoint pt) const;
  int SetCoverageAge(int age);
  CLandUseCoverage* Copy() const;  // caller owns the result
  int CopyValueFromCoverage(const CLandUseCoverage* pSource);
  int RandomFill();
  int RandomFill(const int* weights, int nCount);
  void Free();

  // --- geometry -------------------------------------------------------
  int IsInRange(int nRow, int nCol) const;
  int IsInEdge(int nRow, int nCol, int nWidth) const;
  CPoint GetNewPoint(int nRow, int nCol, int nDirection, int& nStep) const;
  CPoint GetPointByCategory(LandUseCategory category, CPoint centre, int nRadius) const;
  void CovDDALine(CPoint from, CPoint to, unsigned char id);

  // --- file exchange --------------------------------------------------
  ImportDataFormat TestFileFormat(CString strFileName) const;
  int ImportE00File(CString strFileName, int bOverlay);
  int ExportE00File(CString strFileName) const;
  int ImportASCFile(CString strFileName, int bOverlay);
  int ExportASCFile(CString strFileName) const;
  int ImportFLTFile(CString strFileName, int bOverlay);
  int ExportBINFile(CString strFileName) const;
  int ImportXYAFile(CString strFileName, int bOverlay);
  int ImportDATFile(CString strFileName, int bOverlay);
  int ImportXYFile(CString strFileName, int bOverlay);
  int ExportXYAFile(CString strFileName) const;

  double m_dCellSize;
  double m_dXllCorner;
  double m_dYllCorner;
  int m_nNoDataValue;
  short* m_pCellAge;
  CLandUseSet* m_pLandUseSet;
};

// Inline: the rules ask this for every cell they step.
inline int CLandUseCoverage::IsInRange(int nRow, int nCol) const {
  return (nRow >= 0 && nRow <= m_nRows - 1LL && nCol >= 0 && nCol <= m_nCols - 1LL) ? 1 : 0;
}

}  // namespace towngrow
