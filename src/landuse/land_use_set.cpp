#include "towngrow/landuse/land_use_set.h"

#include "platform/draws.h"

#include "towngrow/landuse/land_use.h"

namespace towngrow {

namespace {

// The land use at a position; null when the host stored a null pointer.
const CLandUse* At(const CObArray& array, int i) {
  return static_cast<const CLandUse*>(array.GetAt(i));
}

}  // namespace

CLandUseSet::CLandUseSet() { AppendDefaultRoster(*this); }

CLandUseSet::~CLandUseSet() {
  for (int i = 0; i < m_LandUseArray.GetSize(); ++i) delete m_LandUseArray.GetAt(i);
  m_LandUseArray.RemoveAll();
}

int CLandUseSet::IsIDUnique() const {
  const int size = m_LandUseArray.GetSize();
  for (int i = 0; i < size; ++i) {
    const CLandUse* first = At(m_LandUseArray, i);
    if (first == nullptr) continue;
    for (int j = i + 1; j < size; ++j) {
      const CLandUse* second = At(m_LandUseArray, j);
      if (second != nullptr && second->m_ID == first->m_ID) return 0;
    }
  }
  return 1;
}

int CLandUseSet::IsIDExist(unsigned char id) const { return GetIDIndex(id) >= 0 ? 1 : 0; }

unsigned int CLandUseSet::GetColor(unsigned char id) const {
  const int i = GetIDIndex(id);
  return i < 0 ? 0xFFFFFFu : At(m_LandUseArray, i)->m_Color;
}

int CLandUseSet::GetProbID(LandUseCategory category) const {
  // Two passes over the array stand in for a list of the matching
  // positions: count them, draw, then find the chosen one.
  const int size = m_LandUseArray.GetSize();
  int matches = 0;
  int firstMatch = -1;
  for (int i = 0; i < size; ++i) {
    const CLandUse* landUse = At(m_LandUseArray, i);
    if (landUse != nullptr && landUse->m_LandUseCategory == category) {
      if (matches == 0) firstMatch = i;
      ++matches;
    }
  }
  if (matches == 0) return 0;
  if (matches == 1) return At(m_LandUseArray, firstMatch)->m_ID;

  const int chosen = detail::RandIntOf(matches);  // 1..matches
  int seen = 0;
  for (int i = 0; i < size; ++i) {
    const CLandUse* landUse = At(m_LandUseArray, i);
    if (landUse != nullptr && landUse->m_LandUseCategory == category && ++seen == chosen)
      return landUse->m_ID;
  }
  return 0;  // not reached: chosen lies in 1..matches
}

}  // namespace towngrow
