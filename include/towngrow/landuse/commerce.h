// Commerce: ages, spreads near housing when its own cell lies near
// streets, and is abandoned when old.
#pragma once

#include "towngrow/landuse/land_use.h"

namespace towngrow {

class CCommerce : public CLandUse {
public:
  CCommerce();
  ~CCommerce() override;
  int Develop(CLandUseCoverage* pCoverage, int nRow, int nCol,
              CLandUseCoverage* pNewCoverage) override;

  int m_nHousePercent;
  int m_nStreetPercent;
};

}  // namespace towngrow
