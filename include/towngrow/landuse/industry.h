// Industry: ages, spreads beside streets away from housing and commerce,
// and is abandoned when old.
#pragma once

#include "towngrow/landuse/land_use.h"

namespace towngrow {

class CIndustry : public CLandUse {
public:
  CIndustry();
  ~CIndustry() override;
  int Develop(CLandUseCoverage* pCoverage, int nRow, int nCol,
              CLandUseCoverage* pNewCoverage) override;

  int m_nHouseCommercePercent;
  int m_nStreetPercent;
};

}  // namespace towngrow
