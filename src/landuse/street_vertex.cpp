#include "towngrow/landuse/street_vertex.h"

namespace towngrow {

CStreetVertex::CStreetVertex() {
  SetID(2);
  SetLandUseCategory(StreetVertex);
  SetColor(0x8CB4D2);
  SetLandUseName("Street Vertex");
}

CStreetVertex::~CStreetVertex() = default;

// PLACEHOLDER until the growth rule lands: grows nothing.
int CStreetVertex::Develop(CLandUseCoverage*, int, int, CLandUseCoverage*) { return 0; }

}  // namespace towngrow
