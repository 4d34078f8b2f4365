// One land use of the model: identity, growth parameters, the random
// choices every kind grows with, and the operations that look at a
// coverage (neighbourhood counts, age states, development under a
// background raster). The base class grows nothing: Develop returns 1.
//
// Choices of ours where the behaviour is otherwise open:
// - GetRealLength(n): n <= 1 (also negative n) gives 0 without a draw. Any
//   finite nonzero weight sum S, negative ones included, gives the per-mille
//   entries w(i) / S x 1000 cut toward zero; negative entries draw like any
//   nonzero weight (RandInt of a negative n lies in 1 to -n). Where the
//   entries have no value (a density law other than 0..3, a sum of exactly
//   0, a sum that is not finite, or a quotient that is not finite), every
//   per-mille entry is 0, so the draw runs over n - 1 zero weights (which
//   take no generator draws) and answers 1. Per-mille values are held
//   inside the int range (+-2147483647) before they are cut to integers.
//   Any n works; long candidate tables take the same draws without a heap
//   buffer.
// - Age states are exclusive and "dead" (age < 0) wins: a negative age is
//   never active, inactive or old, even with a negative m_nActiveAge. Sums
//   of m_nActiveAge and m_nInactivePeriod are taken in 64 bits.
// - A null coverage holds no cell: its cells have the age -100 (dead) and
//   the neighbourhood counts answer 0.
// - Neighbourhood counts: a negative radius is an empty square (the
//   several-category form still zeroes the counts and answers 1); null
//   category or count arrays with nCount > 0 answer 0 and touch nothing.
//   The category of a cell is the coverage's GetLandUseCategory. The one-
//   category count of Blank adds the cells of the square beyond the edge;
//   it is held at 2147483647.
// - CheckBackGround: an ID above 7 has no bit in a byte and is never
//   allowed; a null background allows nothing.
// - DevelopWithBackGround without a set linked to pCoverage gives up an old
//   cell to ID 0 (no message).
#pragma once

#include "towngrow/grid/category.h"
#include "towngrow/platform/framework.h"

namespace towngrow {

class CGrid;
class CLandUseCoverage;

class CLandUse : public CObject {
public:
  CLandUse();
  ~CLandUse() override;

  // The growth rule: reads pCoverage (never writes it), writes every change
  // into pNewCoverage; 1 when the rule did its development.
  virtual int Develop(CLandUseCoverage* pCoverage, int nRow, int nCol,
                      CLandUseCoverage* pNewCoverage);

  unsigned char GetID() const;
  int SetID(unsigned char id);
  unsigned int GetColor() const;
  int SetColor(unsigned int color);
  CString GetLandUseName() const;
  int SetLandUseName(CString name);
  LandUseCategory GetLandUseCategory() const;
  int SetLandUseCategory(LandUseCategory category);
  CString GetCategoryString() const;
  int SetDensityFromOther(const CLandUse* pOther);

  int GetRealLength();
  int GetRealLength(int n);
  int GetRealDirection();
  LandUseCategory GetProbLandUse();
  int CheckPolicy();

  // --- neighbourhood, age and background rules --------------------------
  // One category: cells beyond the edge count as Blank.
  int GetCategoryInNeighbor(const CLandUseCoverage* pCoverage, LandUseCategory category, int nRow,
                            int nCol, int nRadius) const;
  int GetCategoryInNeighbor(const CLandUseCoverage* pCoverage, LandUseCategory category, CPoint pt,
                            int nRadius) const;
  // Several categories: Blank cells and cells beyond the edge never count.
  int GetCategoryInNeighbor(const CLandUseCoverage* pCoverage, const LandUseCategory* categories,
                            int* counts, int nCount, int nRow, int nCol, int nRadius) const;
  int GetCategoryInNeighbor(const CLandUseCoverage* pCoverage, const LandUseCategory* categories,
                            int* counts, int nCount, CPoint pt, int nRadius) const;
  int IsActive(const CLandUseCoverage* pCoverage, int nRow, int nCol) const;
  int IsInActive(const CLandUseCoverage* pCoverage, int nRow, int nCol) const;
  int IsOld(const CLandUseCoverage* pCoverage, int nRow, int nCol) const;
  int IsDead(const CLandUseCoverage* pCoverage, int nRow, int nCol) const;
  int CheckBackGround(int nRow, int nCol, const CGrid* pBackGround) const;
  int DevelopWithBackGround(CLandUseCoverage* pCoverage, int nRow, int nCol,
                            CLandUseCoverage* pNewCoverage, const CGrid* pBackGround);

  unsigned char m_ID;
  LandUseCategory m_LandUseCategory;
  unsigned int m_Color;  // 0x00BBGGRR
  CString m_strLandUseName;
  int m_nMaxLength;
  int m_nDensityType;
  double m_dDensityScale;
  double m_dDensityRate;
  double m_dDensityPower;
  int m_nActiveAge;
  int m_nInactivePeriod;
  int m_nDeadAge;
  int m_nNeighborRadius;
  int m_nDirectionProb[8];
  int m_nLandUseProb[3];
  int m_nPolicy;

  // --- Beyond the street-driven rules (towngrow/scenario.h). At their
  // defaults they change nothing and take no draw. ---
  double m_dSuitabilityWeight;    // w, 0 to 10: a development of this land use into
                                  // a cell passes with s^w (0: not tested)
  int m_nSpontaneousRate;         // tries per step per 10,000 cells of the grid's diagonal
  int m_nSpontaneousNodePercent;  // a spontaneous cell becomes a street node instead
  int m_nCenterPercent;           // a spontaneous cell becomes a new centre
  int m_nCenterCells;             // the neighbours a new centre settles (2)
  int m_nEdgePercent;             // an edge cell of a place filling its window tries a
                                  // neighbour, per step
  int m_nEdgeRadius;              // the window that measures the place (1)
  double m_dEdgePower;            // how the place's share of the window weighs (0)
  int m_nRoadRadius;              // how far a road trip looks for a street (5)
  int m_nRoadTrip;                // the moves of a trip along the streets (10)
  int m_nRoadPercent;             // a cell settled in the step starts a road trip
};

}  // namespace towngrow
