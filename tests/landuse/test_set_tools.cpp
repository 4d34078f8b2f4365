// The hosts' helpers for sets: typed access by position, the first land use
// of each ID, and a deep copy that keeps every field and class.
#include <sstream>
#include <typeinfo>

#include "support/scene.h"

using namespace testkit;

namespace {

// Every field of a land use (its class's own fields too) as text.
std::string Fields(const CLandUse& u) {
  std::ostringstream o;
  o << typeid(u).name() << ' ' << int{u.m_ID} << ' ' << u.m_LandUseCategory << ' ' << u.m_Color
    << ' ' << u.m_strLandUseName << ' ' << u.m_nMaxLength << ' ' << u.m_nDensityType << ' '
    << u.m_dDensityScale << ' ' << u.m_dDensityRate << ' ' << u.m_dDensityPower << ' '
    << u.m_nActiveAge << ' ' << u.m_nInactivePeriod << ' ' << u.m_nDeadAge << ' '
    << u.m_nNeighborRadius << ' ' << u.m_nPolicy;
  for (int v : u.m_nDirectionProb) o << ' ' << v;
  for (int v : u.m_nLandUseProb) o << ' ' << v;
  if (const auto* n = dynamic_cast<const CStreetNode*>(&u))
    for (int v : {n->m_nMinStep, n->m_nMaxStep, n->m_nHousePercent, n->m_nIndustryPercent,
                  n->m_nCommercePercent, n->m_nConnectMode, n->m_nJunctionVertices,
                  n->m_nJunctionHousePercent, n->m_nJunctionFillPercent, n->m_bJunctionFill})
      o << ' ' << v;
  if (const auto* h = dynamic_cast<const CHouse*>(&u)) {
    o << ' ' << h->m_nStreetPercent;
    for (int v : h->m_nMixedLandUseProb) o << ' ' << v;
    for (int v : h->m_nResidentialLandUseProb) o << ' ' << v;
  }
  if (const auto* i = dynamic_cast<const CIndustry*>(&u))
    o << ' ' << i->m_nHouseCommercePercent << ' ' << i->m_nStreetPercent;
  if (const auto* c = dynamic_cast<const CCommerce*>(&u))
    o << ' ' << c->m_nHousePercent << ' ' << c->m_nStreetPercent;
  return o.str();
}

// Moves every field of the land use off its default, by a value of its own.
void Scribble(CLandUse& u, int k) {
  u.m_ID = static_cast<unsigned char>(40 + k), u.m_Color = 0x10101u * static_cast<unsigned>(k);
  u.m_strLandUseName = "use " + std::to_string(k), u.m_nMaxLength = 100 + k;
  u.m_nDensityType = k % 4, u.m_dDensityScale = 0.5 + k, u.m_dDensityRate = 0.25 + k;
  u.m_dDensityPower = 1.75 + k, u.m_nActiveAge = 200 + k, u.m_nInactivePeriod = 300 + k;
  u.m_nDeadAge = 400 + k, u.m_nNeighborRadius = 5 + k, u.m_nPolicy = 60 + k;
  u.m_LandUseCategory = static_cast<LandUseCategory>(6 - k % 7);
  for (int& v : u.m_nDirectionProb) v = 500 + k++;
  for (int& v : u.m_nLandUseProb) v = 600 + k++;
  if (auto* n = dynamic_cast<CStreetNode*>(&u))
    for (int* v : {&n->m_nMinStep, &n->m_nMaxStep, &n->m_nHousePercent, &n->m_nIndustryPercent,
                   &n->m_nCommercePercent, &n->m_nConnectMode, &n->m_nJunctionVertices,
                   &n->m_nJunctionHousePercent, &n->m_nJunctionFillPercent, &n->m_bJunctionFill})
      *v = 700 + k++;
  if (auto* h = dynamic_cast<CHouse*>(&u)) {
    h->m_nStreetPercent = 800 + k;
    for (int& v : h->m_nMixedLandUseProb) v = 810 + k++;
    for (int& v : h->m_nResidentialLandUseProb) v = 820 + k++;
  }
  if (auto* i = dynamic_cast<CIndustry*>(&u)) i->m_nHouseCommercePercent = 900 + k;
  if (auto* i = dynamic_cast<CIndustry*>(&u)) i->m_nStreetPercent = 910 + k;
  if (auto* c = dynamic_cast<CCommerce*>(&u)) c->m_nHousePercent = 920 + k;
  if (auto* c = dynamic_cast<CCommerce*>(&u)) c->m_nStreetPercent = 930 + k;
}

}  // namespace

TEST(SetTools, CopyKeepsEveryFieldClassAndNullEntryAndOwnsItsLandUses) {
  CLandUseSet set;  // the roster, a base-class land use, a null entry, a second house
  CLandUse* const added[] = {new CLandUse(), nullptr, new CHouse()};
  for (CLandUse* lu : added) set.m_LandUseArray.Add(lu);
  const std::string roster = Fields(LandUseAt(set, 3));
  for (int i : {0, 1, 2, 3, 4, 5, 6, 7, 9}) Scribble(LandUseAt(set, i), i);
  EXPECT_NE(Fields(LandUseAt(set, 3)), roster);
  const std::unique_ptr<CLandUseSet> copy = CopyLandUseSet(set);
  ASSERT_EQ(copy->m_LandUseArray.GetSize(), 10);
  EXPECT_EQ(copy->m_LandUseArray.GetAt(8), nullptr);
  for (int i : {0, 1, 2, 3, 4, 5, 6, 7, 9}) {
    EXPECT_EQ(Fields(LandUseAt(*copy, i)), Fields(LandUseAt(set, i))) << i;
    EXPECT_NE(&LandUseAt(*copy, i), &LandUseAt(set, i)) << i;
  }
  LandUseAt(*copy, 3).m_nNeighborRadius = 1;  // the copy's own land uses
  EXPECT_EQ(LandUseAt(set, 3).m_nNeighborRadius, 8);

  class Own : public CHouse {};
  set.m_LandUseArray.Add(new Own());
  EXPECT_THROW(CopyLandUseSet(set), std::invalid_argument);
}

TEST(SetTools, PositionsOfTheFirstLandUseOfEachIdSkipNullsAndRefuseBadPositions) {
  CLandUseSet set;
  CLandUse* const added[] = {new CHouse(), nullptr, new CLandUse()};  // a second ID 3: not listed
  for (CLandUse* lu : added) set.m_LandUseArray.Add(lu);
  LandUseAt(set, 9).m_ID = 12;
  delete set.m_LandUseArray.GetAt(2);  // the roster's ID 2 gone
  set.m_LandUseArray.SetAt(2, nullptr);
  EXPECT_EQ(DistinctIdPositions(set), (std::vector<int>{0, 1, 3, 4, 5, 6, 9}));
  for (int i : DistinctIdPositions(set)) EXPECT_EQ(set.GetIDIndex(LandUseAt(set, i).m_ID), i);
  const CLandUseSet& view = set;
  EXPECT_EQ(&LandUseAt(view, 7), set.m_LandUseArray.GetAt(7));
  for (int bad : {-1, 2, 8, 10}) EXPECT_THROW(LandUseAt(view, bad), std::out_of_range) << bad;
}
