// Others land: every kind of land the model does not grow. Develop changes
// nothing, draws nothing and returns 1.
#pragma once

#include "towngrow/landuse/land_use.h"

namespace towngrow {

class COthersLand : public CLandUse {
public:
  COthersLand();
  ~COthersLand() override;
  int Develop(CLandUseCoverage* pCoverage, int nRow, int nCol,
              CLandUseCoverage* pNewCoverage) override;
};

}  // namespace towngrow
