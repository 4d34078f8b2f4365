// Industry: ages, spreads beside streets away from housing and commerce,
// and is abandoned when old.
//
// Develop with a null coverage returns 0 and writes nothing. Without a set
// linked to the read coverage an old cell is given up to ID 0 (no draw, no
// notice) and an active cell ends with 0 before any draw.
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
