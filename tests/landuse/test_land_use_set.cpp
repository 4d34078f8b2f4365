// The set of land uses: the roster it starts with, look-ups by ID (the first
// of a shared ID, null entries skipped), the pick of an ID by category and
// ownership of what it holds.
#include "support/scene.h"

using namespace testkit;

namespace {

class Counted : public CLandUse {
public:
  Counted(int id, LandUseCategory category, int* destroyed) : destroyed_(destroyed) {
    m_ID = static_cast<unsigned char>(id);
    m_LandUseCategory = category;
  }
  ~Counted() override { ++*destroyed_; }

private:
  int* destroyed_;
};

CLandUse* Make(int id, LandUseCategory category, unsigned int color = 0x010203) {
  CLandUse* lu = new CLandUse();
  lu->m_ID = static_cast<unsigned char>(id);
  lu->m_LandUseCategory = category;
  lu->m_Color = color;
  return lu;
}

// Position, existence, colour and category of an ID.
std::tuple<int, int, unsigned, LandUseCategory> LookUp(const CLandUseSet& set, int id) {
  const auto k = static_cast<unsigned char>(id);
  return {set.GetIDIndex(k), set.IsIDExist(k), set.GetColor(k), set.GetCategory(k)};
}

}  // namespace

TEST(LandUseSet, RosterLookUpsAndPicksWithoutADrawForOneLandUse) {
  CLandUseSet set;
  const std::tuple<const char*, LandUseCategory, unsigned> roster[] = {
      {"Vacant Land", Blank, 0xFFFFFF},
      {"Street Node", StreetNode, 0x0000BE},
      {"Street Vertex", StreetVertex, 0x8CB4D2},
      {"Housing", House, 0x32CD32},
      {"Industry", Industry, 0xD0E040},
      {"Commerce", Commerce, 0x0000FF},
      {"Others", Others, 0x000000}};
  ASSERT_EQ(set.m_LandUseArray.GetSize(), 7);
  Replay rp(777);
  for (int i = 0; i < 7; ++i) {
    const auto* lu = static_cast<const CLandUse*>(set.m_LandUseArray.GetAt(i));
    EXPECT_EQ(lu->m_strLandUseName, std::get<0>(roster[i]));
    EXPECT_EQ(LookUp(set, i),
              std::make_tuple(i, 1, std::get<2>(roster[i]), std::get<1>(roster[i])));
    EXPECT_EQ(set.GetProbID(std::get<1>(roster[i])), i);
  }
  EXPECT_EQ(set.GetProbID(static_cast<LandUseCategory>(9)), 0);
  EXPECT_TRUE(rp.DrawsMatch());
  for (int id : {7, 100, 255})
    EXPECT_EQ(LookUp(set, id), std::make_tuple(-1, 0, 0xFFFFFFu, Others));
  EXPECT_NE(dynamic_cast<CStreetNode*>(set.m_LandUseArray[1]), nullptr);
  EXPECT_NE(dynamic_cast<CStreetVertex*>(set.m_LandUseArray[2]), nullptr);
  EXPECT_NE(dynamic_cast<CHouse*>(set.m_LandUseArray[3]), nullptr);
  EXPECT_NE(dynamic_cast<CIndustry*>(set.m_LandUseArray[4]), nullptr);
  EXPECT_NE(dynamic_cast<CCommerce*>(set.m_LandUseArray[5]), nullptr);
  EXPECT_NE(dynamic_cast<COthersLand*>(set.m_LandUseArray[6]), nullptr);
}

TEST(LandUseSet, SeveralLandUsesOfACategoryTakeOneDrawInArrayOrder) {
  CLandUseSet set;
  set.m_LandUseArray.Add(Make(200, Commerce));
  set.m_LandUseArray.Add(nullptr);
  set.m_LandUseArray.Add(Make(11, Commerce));
  set.m_LandUseArray.Add(Make(9, House));
  for (unsigned seed = 1; seed <= 20; ++seed) {
    Replay rp(seed);
    EXPECT_EQ(set.GetProbID(Commerce), (std::vector<int>{5, 200, 11})[rp.Int(3) - 1]) << seed;
    EXPECT_EQ(set.GetProbID(House), rp.Int(2) == 1 ? 3 : 9) << seed;
    EXPECT_EQ(set.GetProbID(Industry), 4);
    EXPECT_TRUE(rp.DrawsMatch()) << seed;
  }
}

TEST(LandUseSet, SharedIdsEmptyArraysNullEntriesAndOwnership) {
  CLandUseSet set;
  ClearSet(set);
  EXPECT_EQ(set.IsIDUnique(), 1);
  EXPECT_EQ(LookUp(set, 0), std::make_tuple(-1, 0, 0xFFFFFFu, Others));
  Replay rp(777);
  EXPECT_EQ(set.GetProbID(Blank), 0);
  EXPECT_TRUE(rp.DrawsMatch());
  for (int id : {5, 1, 7}) set.m_LandUseArray.Add(Make(id, id == 1 ? StreetNode : House, 0x22));
  EXPECT_EQ(set.IsIDUnique(), 1);
  set.m_LandUseArray.Add(Make(7, House));  // only the last pair shares an ID
  EXPECT_EQ(set.IsIDUnique(), 0);
  set.m_LandUseArray.Add(Make(1, Commerce, 0x44));  // look-ups find the first
  EXPECT_EQ(LookUp(set, 1), std::make_tuple(1, 1, 0x22u, StreetNode));
  CLandUseSet holed;  // null entries are skipped
  delete holed.m_LandUseArray.GetAt(0);
  holed.m_LandUseArray.SetAt(0, nullptr);
  holed.m_LandUseArray.Add(Make(0, Blank, 0x99));
  EXPECT_EQ(LookUp(holed, 0), std::make_tuple(7, 1, 0x99u, Blank));
  EXPECT_EQ(holed.IsIDUnique() * 10 + holed.GetProbID(Blank), 10);
  int destroyed = 0;
  CLandUseSet* owner = new CLandUseSet();
  owner->m_LandUseArray.Add(new Counted(9, House, &destroyed));
  owner->m_LandUseArray.Add(new Counted(10, Industry, &destroyed));
  delete static_cast<CObject*>(owner);  // through the root: the destructor is virtual
  EXPECT_EQ(destroyed, 2);
}
