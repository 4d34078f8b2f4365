// Housing: ages, settles housing, industry or commerce near streets by
// what surrounds the new cell, and is abandoned or renewed when old.
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
