#include "towngrow/landuse/set_tools.h"

#include <array>
#include <stdexcept>
#include <string>
#include <typeinfo>

#include "towngrow/landuse/commerce.h"
#include "towngrow/landuse/house.h"
#include "towngrow/landuse/industry.h"
#include "towngrow/landuse/others_land.h"
#include "towngrow/landuse/street_node.h"
#include "towngrow/landuse/street_vertex.h"

namespace towngrow {

namespace {

CLandUse* Entry(const CLandUseSet& set, int index) {
  if (index < 0 || index >= set.m_LandUseArray.GetSize())
    throw std::out_of_range("the set has no land use at position " + std::to_string(index) +
                            " (it holds " + std::to_string(set.m_LandUseArray.GetSize()) + ")");
  CLandUse* use = static_cast<CLandUse*>(set.m_LandUseArray.GetAt(index));
  if (use == nullptr)
    throw std::out_of_range("the set holds no land use at position " + std::to_string(index) +
                            " (a null entry)");
  return use;
}

template <class T>
CLandUse* CopyAs(const CLandUse& use) {
  return new T(static_cast<const T&>(use));
}

// A copy of the land use, of its own exact class; null for a host's class.
CLandUse* CopyOf(const CLandUse& use) {
  const std::type_info& t = typeid(use);
  if (t == typeid(CLandUse)) return CopyAs<CLandUse>(use);
  if (t == typeid(CStreetNode)) return CopyAs<CStreetNode>(use);
  if (t == typeid(CStreetVertex)) return CopyAs<CStreetVertex>(use);
  if (t == typeid(CHouse)) return CopyAs<CHouse>(use);
  if (t == typeid(CIndustry)) return CopyAs<CIndustry>(use);
  if (t == typeid(CCommerce)) return CopyAs<CCommerce>(use);
  if (t == typeid(COthersLand)) return CopyAs<COthersLand>(use);
  return nullptr;
}

}  // namespace

const CLandUse& LandUseAt(const CLandUseSet& set, int index) { return *Entry(set, index); }
CLandUse& LandUseAt(CLandUseSet& set, int index) { return *Entry(set, index); }

std::vector<int> DistinctIdPositions(const CLandUseSet& set) {
  std::array<bool, 256> seen{};
  std::vector<int> positions;
  for (int i = 0; i < set.m_LandUseArray.GetSize(); ++i) {
    const auto* use = static_cast<const CLandUse*>(set.m_LandUseArray.GetAt(i));
    if (use == nullptr || seen[use->m_ID]) continue;
    seen[use->m_ID] = true;
    positions.push_back(i);
  }
  return positions;
}

std::unique_ptr<CLandUseSet> CopyLandUseSet(const CLandUseSet& set) {
  std::unique_ptr<CLandUseSet> copy(new CLandUseSet());
  for (int i = 0; i < copy->m_LandUseArray.GetSize(); ++i) delete copy->m_LandUseArray.GetAt(i);
  copy->m_LandUseArray.RemoveAll();
  for (int i = 0; i < set.m_LandUseArray.GetSize(); ++i) {
    const auto* use = static_cast<const CLandUse*>(set.m_LandUseArray.GetAt(i));
    std::unique_ptr<CLandUse> made;
    if (use != nullptr) {
      made.reset(CopyOf(*use));
      if (!made)
        throw std::invalid_argument("the land use at position " + std::to_string(i) +
                                    " is of a host's own class, which the library cannot copy");
    }
    copy->m_LandUseArray.Add(made.get());
    made.release();  // the copy owns it now
  }
  return copy;
}

}  // namespace towngrow
