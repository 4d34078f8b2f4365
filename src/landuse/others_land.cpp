#include "towngrow/landuse/others_land.h"

namespace towngrow {

COthersLand::COthersLand() {
  SetID(6);
  SetLandUseCategory(Others);
  SetColor(0x000000);
  SetLandUseName("Others");
}

COthersLand::~COthersLand() = default;

// Others land never changes by itself: no write, no draw.
int COthersLand::Develop(CLandUseCoverage*, int, int, CLandUseCoverage*) { return 1; }

}  // namespace towngrow
