// Housing: ages, settles housing, industry or commerce near streets by
// what surrounds the new cell, and is abandoned or renewed when old.
//
// Thresholds of the mixed choice: housing reads the greatest share of
// housing plus commerce from the set's industry land use and the least
// share of housing from its commerce land use. Both IDs are always drawn
// (GetProbID(Industry), then GetProbID(Commerce)) before the choice draw,
// so the sequence of draws is the same with or without them. When the set
// holds no land use of a category, or the first land use with the drawn ID
// is not a CIndustry (or CCommerce), only a choice that needs that
// threshold is refused: Develop returns 0 at the moment the choice falls
// on Industry (or Commerce), after the choice draw and without a write.
// A House choice, and a choice of the other category, are not affected.
//
// Develop with a null coverage returns 0 and writes nothing. Without a set
// linked to the read coverage an old cell is given up to ID 0 (no draw, no
// notice) and an active cell ends with 0 before any draw.
#pragma once

#include "towngrow/landuse/land_use.h"

namespace towngrow {

class CHouse : public CLandUse {
public:
  CHouse();
  ~CHouse() override;

  int Develop(CLandUseCoverage* pCoverage, int nRow, int nCol,
              CLandUseCoverage* pNewCoverage) override;
  int GetRealDistance();
  LandUseCategory GetProbCategory(const int* weights);
  int CheckStreet(int nRow, int nCol, CLandUseCoverage* pCoverage);

  int m_nStreetPercent;
  int m_nMixedLandUseProb[3];
  int m_nResidentialLandUseProb[3];
};

}  // namespace towngrow
