#include "towngrow/landuse/commerce.h"
#include "towngrow/landuse/house.h"
#include "towngrow/landuse/industry.h"
#include "towngrow/landuse/land_use_set.h"
#include "towngrow/landuse/others_land.h"
#include "towngrow/landuse/street_node.h"
#include "towngrow/landuse/street_vertex.h"

namespace towngrow {

void AppendDefaultRoster(CLandUseSet& set) {
  set.m_LandUseArray.Add(new CLandUse());  // vacant land, ID 0
  set.m_LandUseArray.Add(new CStreetNode());
  set.m_LandUseArray.Add(new CStreetVertex());
  set.m_LandUseArray.Add(new CHouse());
  set.m_LandUseArray.Add(new CIndustry());
  set.m_LandUseArray.Add(new CCommerce());
  set.m_LandUseArray.Add(new COthersLand());
}

}  // namespace towngrow
