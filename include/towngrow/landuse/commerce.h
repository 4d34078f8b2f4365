// Commerce: ages, spreads near housing when its own cell lies near
// streets, and is abandoned when old.
//
// Develop with a null coverage returns 0 and writes nothing. Without a set
// linked to the read coverage an old cell is given up to ID 0 (no draw, no
// notice) and an active cell ends with 0 before any draw.
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
