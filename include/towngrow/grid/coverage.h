// The state of the model: a raster of land-use IDs with an age per cell, a
// georeference, a no-data value and a link to the set of land uses that
// gives each ID its meaning. Also the geometry the growth rules move with
// and the file exchange with GIS software.
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

}  // namespace towngrow
