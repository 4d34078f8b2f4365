// The set of land uses: the default roster it starts with, look-ups by ID,
// the random pick of an ID by category, and ownership of what it holds.
#include "support/scene.h"

using namespace testkit;

namespace {

// A land use that records its destruction.
class RecordingLandUse : public CLandUse {
public:
  RecordingLandUse(unsigned char id, LandUseCategory category, int* destroyed)
      : m_pDestroyed(destroyed) {
    m_ID = id;
    m_LandUseCategory = category;
  }
  ~RecordingLandUse() override { ++*m_pDestroyed; }

private:
  int* m_pDestroyed;
};

CLandUse* Make(unsigned char id, LandUseCategory category, unsigned int color = 0x010203) {
  CLandUse* lu = new CLandUse();
  lu->m_ID = id;
  lu->m_LandUseCategory = category;
  lu->m_Color = color;
  return lu;
}

CLandUse* At(const CLandUseSet& set, int i) {
  return static_cast<CLandUse*>(set.m_LandUseArray.GetAt(i));
}

// Look-ups of an ID: position, existence, colour, category.
void ExpectLookUp(const CLandUseSet& set, int id, int index, unsigned color, LandUseCategory cat) {
  const auto k = static_cast<unsigned char>(id);
  EXPECT_EQ(set.GetIDIndex(k), index) << id;
  EXPECT_EQ(set.IsIDExist(k), index >= 0 ? 1 : 0) << id;
  EXPECT_EQ(set.GetColor(k), color) << id;
  EXPECT_EQ(set.GetCategory(k), cat) << id;
}

}  // namespace

TEST(LandUseSet, SevenLandUsesInRosterOrderEachPickedWithoutDrawSeveralWithOne) {
  CLandUseSet set;
  ASSERT_EQ(set.m_LandUseArray.GetSize(), 7);
  const struct {
    const char* name;
    LandUseCategory category;
    unsigned int color;
  } roster[] = {{"Vacant Land", Blank, 0xFFFFFF},
                {"Street Node", StreetNode, 0x0000BE},
                {"Street Vertex", StreetVertex, 0x8CB4D2},
                {"Housing", House, 0x32CD32},
                {"Industry", Industry, 0xD0E040},
                {"Commerce", Commerce, 0x0000FF},
                {"Others", Others, 0x000000}};
  Replay rp(777);
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(At(set, i)->m_ID, i);
    EXPECT_EQ(At(set, i)->m_strLandUseName, roster[i].name);
    ExpectLookUp(set, i, i, roster[i].color, roster[i].category);
    EXPECT_EQ(set.GetProbID(roster[i].category), i);
  }
  EXPECT_EQ(set.GetProbID(static_cast<LandUseCategory>(9)), 0);
  EXPECT_TRUE(rp.DrawsMatch());
  EXPECT_EQ(set.IsIDUnique(), 1);
  for (int id : {7, 100, 255}) ExpectLookUp(set, id, -1, 0xFFFFFFu, Others);
  EXPECT_NE(dynamic_cast<CStreetNode*>(At(set, 1)), nullptr);
  EXPECT_NE(dynamic_cast<CStreetVertex*>(At(set, 2)), nullptr);
  EXPECT_NE(dynamic_cast<COthersLand*>(At(set, 6)), nullptr);
  // The growth weights and lengths of housing, industry and commerce (their
  // ages and thresholds are exercised by the rules' own tests).
  const auto* house = dynamic_cast<CHouse*>(At(set, 3));
  const auto* industry = dynamic_cast<CIndustry*>(At(set, 4));
  const auto* commerce = dynamic_cast<CCommerce*>(At(set, 5));
  ASSERT_TRUE(house && industry && commerce);
  using W = std::vector<int>;
  EXPECT_EQ(W(house->m_nResidentialLandUseProb, house->m_nResidentialLandUseProb + 3),
            (W{80, 15, 25}));
  EXPECT_EQ(W(house->m_nMixedLandUseProb, house->m_nMixedLandUseProb + 3), (W{70, 15, 25}));
  EXPECT_EQ(W(industry->m_nLandUseProb, industry->m_nLandUseProb + 3), (W{20, 50, 30}));
  EXPECT_EQ(W(commerce->m_nLandUseProb, commerce->m_nLandUseProb + 3), (W{15, 5, 80}));
  EXPECT_EQ((W{house->m_nMaxLength, industry->m_nMaxLength, commerce->m_nMaxLength}), (W{5, 3, 5}));
  EXPECT_EQ((W{house->m_nNeighborRadius, industry->m_nNeighborRadius, commerce->m_nNeighborRadius}),
            (W{2, 3, 2}));
  for (const CLandUse* lu : {At(set, 3), At(set, 4), At(set, 5)})
    EXPECT_EQ(W(lu->m_nDirectionProb, lu->m_nDirectionProb + 8), W(8, 125));
  // Several land uses of a category: one draw, in array order.
  set.m_LandUseArray.Add(Make(200, Commerce));
  set.m_LandUseArray.Add(Make(11, Commerce));
  set.m_LandUseArray.Add(Make(9, House));
  const int commerceIds[] = {5, 200, 11};
  int picked9 = 0;
  for (unsigned seed = 1; seed <= 20; ++seed) {
    Replay rp(seed);
    EXPECT_EQ(set.GetProbID(Commerce), commerceIds[rp.Int(3) - 1]) << seed;
    const int house = rp.Int(2) == 1 ? 3 : 9;
    EXPECT_EQ(set.GetProbID(House), house) << seed;
    EXPECT_EQ(set.GetProbID(Industry), 4);  // one land use: no draw
    EXPECT_TRUE(rp.DrawsMatch()) << seed;
    picked9 += house == 9;
  }
  EXPECT_GT(picked9, 0);
  EXPECT_LT(picked9, 20);
}

TEST(LandUseSet, DuplicateIDsEmptyArraysAndNullEntries) {
  CLandUseSet set;
  testkit::ClearSet(set);
  EXPECT_EQ(set.IsIDUnique(), 1);  // empty: answers as for missing IDs, no draw
  ExpectLookUp(set, 0, -1, 0xFFFFFFu, Others);
  Replay rp(777);
  EXPECT_EQ(set.GetProbID(Blank), 0);
  EXPECT_TRUE(rp.DrawsMatch());

  set.m_LandUseArray.Add(Make(5, House, 0x11));
  set.m_LandUseArray.Add(Make(1, StreetNode, 0x22));
  set.m_LandUseArray.Add(Make(7, House));
  EXPECT_EQ(set.IsIDUnique(), 1);
  set.m_LandUseArray.Add(Make(7, House));  // only the last pair shares an ID
  EXPECT_EQ(set.IsIDUnique(), 0);
  set.m_LandUseArray.Add(Make(1, Commerce, 0x44));  // look-ups find the first
  ExpectLookUp(set, 1, 1, 0x22u, StreetNode);
  ExpectLookUp(set, 7, 2, 0x010203u, House);

  CLandUseSet withHole;  // null entries are skipped
  delete withHole.m_LandUseArray.GetAt(0);
  withHole.m_LandUseArray.SetAt(0, nullptr);
  withHole.m_LandUseArray.Add(Make(0, Blank, 0x99));
  ExpectLookUp(withHole, 0, 7, 0x99u, Blank);
  EXPECT_EQ(withHole.IsIDUnique(), 1);
  EXPECT_EQ(withHole.GetProbID(Blank), 0);
  EXPECT_EQ(withHole.GetIDIndex(3), 3);
}

TEST(LandUseSet, DestroysRosterAndAppendedLandUsesThroughTheBasePointer) {
  int destroyed = 0;
  CLandUseSet* set = new CLandUseSet();
  for (int i = 0; i < set->m_LandUseArray.GetSize(); ++i) {
    const CLandUse* old = At(*set, i);
    CLandUse* stand = new RecordingLandUse(old->m_ID, old->m_LandUseCategory, &destroyed);
    delete old;
    set->m_LandUseArray.SetAt(i, stand);
  }
  set->m_LandUseArray.Add(new RecordingLandUse(9, House, &destroyed));
  set->m_LandUseArray.Add(new RecordingLandUse(10, Industry, &destroyed));
  EXPECT_EQ(destroyed, 0);
  CObject* asRoot = set;
  delete asRoot;  // the set's destructor is virtual
  EXPECT_EQ(destroyed, 9);
}
