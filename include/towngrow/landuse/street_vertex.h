// Street vertices: street cells between nodes. A cell that has lost its
// connection to the rest of the street is cleared to vacant land.
//
// Choices of ours: a null coverage, or a cell outside pCoverage's grid,
// returns 0 and writes nothing; a coverage without a linked set clears to
// ID 0.
#pragma once

#include "towngrow/landuse/land_use.h"

namespace towngrow {

class CStreetVertex : public CLandUse {
public:
  CStreetVertex();
  ~CStreetVertex() override;
  int Develop(CLandUseCoverage* pCoverage, int nRow, int nCol,
              CLandUseCoverage* pNewCoverage) override;
};

}  // namespace towngrow
