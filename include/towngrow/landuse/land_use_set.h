// The registry of the land uses of one model. It owns every land use its
// array holds (also those a host appends) and answers what an ID in a
// coverage cell means. A new set holds the default roster of seven.
//
// Choices of ours: a null pointer that a host stores in the array is
// skipped by every look-up and by GetProbID (it has no ID); GetProbID
// counts the matching land uses and finds the drawn one in a second scan
// instead of building a list, with the same single draw.
#pragma once

#include "towngrow/grid/category.h"
#include "towngrow/landuse/land_use.h"
#include "towngrow/platform/framework.h"

namespace towngrow {

class CLandUse;

class CLandUseSet : public CObject {
public:
  CLandUseSet();
  ~CLandUseSet() override;
  CLandUseSet(const CLandUseSet&) = delete;
  CLandUseSet& operator=(const CLandUseSet&) = delete;

  int IsIDUnique() const;
  int IsIDExist(unsigned char id) const;
  int GetIDIndex(unsigned char id) const;
  unsigned int GetColor(unsigned char id) const;
  LandUseCategory GetCategory(unsigned char id) const;
  int GetProbID(LandUseCategory category) const;

  CObArray m_LandUseArray;  // of CLandUse*
};

// Inline: hosts look up the land use of every cell they step. The first
// position holding a land use with the ID, -1 for none.
inline int CLandUseSet::GetIDIndex(unsigned char id) const {
  const int size = m_LandUseArray.GetSize();
  for (int i = 0; i < size; ++i) {
    const CLandUse* landUse = static_cast<const CLandUse*>(m_LandUseArray.GetAt(i));
    if (landUse != nullptr && landUse->m_ID == id) return i;
  }
  return -1;
}

// Inline too: the category of the first land use with the ID, Others for none.
inline LandUseCategory CLandUseSet::GetCategory(unsigned char id) const {
  const int i = GetIDIndex(id);
  return i < 0 ? Others : static_cast<const CLandUse*>(m_LandUseArray.GetAt(i))->m_LandUseCategory;
}

// Appends the seven land uses of the default roster, in roster order.
void AppendDefaultRoster(CLandUseSet& set);

}  // namespace towngrow
