#include "towngrow/landuse/house.h"

namespace towngrow {

CHouse::CHouse() {
  SetID(3);
  SetLandUseCategory(House);
  SetColor(0x32CD32);
  SetLandUseName("Housing");
  m_nActiveAge = 30;
  m_nStreetPercent = 5;
  m_nMixedLandUseProb[0] = 70;
  m_nMixedLandUseProb[1] = 15;
  m_nMixedLandUseProb[2] = 25;
  m_nResidentialLandUseProb[0] = 80;
  m_nResidentialLandUseProb[1] = 15;
  m_nResidentialLandUseProb[2] = 25;
}

CHouse::~CHouse() = default;

// PLACEHOLDER until the growth rule lands: grows nothing.
int CHouse::Develop(CLandUseCoverage*, int, int, CLandUseCoverage*) { return 0; }

}  // namespace towngrow
