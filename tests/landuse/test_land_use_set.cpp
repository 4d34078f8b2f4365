// The set of land uses: look-ups by ID (the first of a shared ID, null entries skipped), the pick
// of an ID by category and ownership of what it holds. The roster's names, colours and parameters
// are pinned by the program's parameter template (tests/cli/test_commands.cpp).
#include "support/scene.h"

using namespace testkit;

namespace {

CLandUse* Make(int id, LandUseCategory category, unsigned color = 0x010203) {
  auto* lu = new CLandUse();
  return lu->m_ID = static_cast<unsigned char>(id), lu->m_LandUseCategory = category,
         lu->m_Color = color, lu;
}

// Position, existence, colour and category of an ID.
std::tuple<int, int, unsigned, LandUseCategory> LookUp(const CLandUseSet& set, int id) {
  const auto k = static_cast<unsigned char>(id);
  return {set.GetIDIndex(k), set.IsIDExist(k), set.GetColor(k), set.GetCategory(k)};
}

}  // namespace

TEST(LandUseSet, PicksTakeOneDrawInArrayOrderOnlyWhenSeveralLandUsesMatch) {
  CLandUseSet set;
  CLandUse* const added[] = {Make(200, Commerce), nullptr, Make(11, Commerce), Make(9, House)};
  for (CLandUse* lu : added) set.m_LandUseArray.Add(lu);
  for (unsigned seed = 1; seed <= 20; ++seed) {
    Replay rp(seed);
    EXPECT_EQ(set.GetProbID(Commerce), (std::vector<int>{5, 200, 11})[rp.Int(3) - 1]) << seed;
    EXPECT_EQ(set.GetProbID(House), rp.Int(2) == 1 ? 3 : 9) << seed;
    for (int c : {0, 1, 2, 4, 6, 9})
      EXPECT_EQ(set.GetProbID(static_cast<LandUseCategory>(c)), c % 9);
    EXPECT_TRUE(rp.DrawsMatch()) << seed;
  }
  for (int id : {0, 6, 7, 255})
    EXPECT_EQ(LookUp(set, id),
              id < 7 ? std::make_tuple(id, 1, set.GetColor(static_cast<unsigned char>(id)),
                                       IntToCategory(id))
                     : std::make_tuple(-1, 0, 0xFFFFFFu, Others));
}

TEST(LandUseSet, SharedIdsEmptyArraysNullEntriesAndOwnership) {
  class Counted : public CLandUse {
  public:
    explicit Counted(int* destroyed) : destroyed_(destroyed) {}
    ~Counted() override { ++*destroyed_; }
    int* destroyed_;
  };
  CLandUseSet set;
  ClearSet(set);
  Replay rp(777);
  EXPECT_TRUE(set.IsIDUnique());
  EXPECT_EQ(set.GetProbID(Blank), 0);  // empty: no draw
  EXPECT_TRUE(rp.DrawsMatch());
  EXPECT_EQ(LookUp(set, 0), std::make_tuple(-1, 0, 0xFFFFFFu, Others));
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
  EXPECT_TRUE(holed.IsIDUnique());
  EXPECT_EQ(holed.GetProbID(Blank), 0);
  int destroyed = 0;
  auto* owner = new CLandUseSet();
  for (int k = 0; k < 2; ++k) owner->m_LandUseArray.Add(new Counted(&destroyed));
  delete static_cast<CObject*>(owner);  // through the root: the destructor is virtual
  EXPECT_EQ(destroyed, 2);
}
