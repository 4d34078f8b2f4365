// The set of land uses: the default roster it starts with, look-ups by ID,
// the random pick of an ID by category, and ownership of what it holds.
#include <gtest/gtest.h>

#include <towngrow/towngrow.h>
#include <vector>

using namespace towngrow;

namespace {

int ReplayRandInt(int n) {
  if (n == 0) return 0;
  return RandomDraw() % n + 1;
}

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

// Empties a set's array, destroying what it held.
void Clear(CLandUseSet& set) {
  for (int i = 0; i < set.m_LandUseArray.GetSize(); ++i) delete set.m_LandUseArray.GetAt(i);
  set.m_LandUseArray.RemoveAll();
}

CLandUse* At(const CLandUseSet& set, int i) {
  return static_cast<CLandUse*>(set.m_LandUseArray.GetAt(i));
}

template <typename Op>
bool TakesNoDraw(Op op) {
  SeedRandom(777);
  const int first = RandomDraw();
  SeedRandom(777);
  op();
  return RandomDraw() == first;
}

}  // namespace

TEST(LandUseSetRoster, SevenLandUsesInRosterOrder) {
  CLandUseSet set;
  ASSERT_EQ(set.m_LandUseArray.GetSize(), 7);
  const struct {
    const char* name;
    LandUseCategory category;
    unsigned int color;
  } roster[] = {{"Vacant Land", Blank, 0xFFFFFF},      {"Street Node", StreetNode, 0x0000BE},
                {"Street Vertex", StreetVertex, 0x8CB4D2}, {"Housing", House, 0x32CD32},
                {"Industry", Industry, 0xD0E040},      {"Commerce", Commerce, 0x0000FF},
                {"Others", Others, 0x000000}};
  for (int i = 0; i < 7; ++i) {
    const CLandUse* lu = At(set, i);
    ASSERT_NE(lu, nullptr);
    EXPECT_EQ(lu->m_ID, i);
    EXPECT_EQ(lu->m_strLandUseName, roster[i].name);
    EXPECT_EQ(lu->m_LandUseCategory, roster[i].category);
    EXPECT_EQ(lu->m_Color, roster[i].color);
    EXPECT_EQ(set.GetColor(static_cast<unsigned char>(i)), roster[i].color);
    EXPECT_EQ(set.GetCategory(static_cast<unsigned char>(i)), roster[i].category);
  }
  EXPECT_NE(dynamic_cast<CStreetNode*>(At(set, 1)), nullptr);
  EXPECT_NE(dynamic_cast<CStreetVertex*>(At(set, 2)), nullptr);
  EXPECT_NE(dynamic_cast<CIndustry*>(At(set, 4)), nullptr);
  EXPECT_NE(dynamic_cast<CCommerce*>(At(set, 5)), nullptr);
  EXPECT_NE(dynamic_cast<COthersLand*>(At(set, 6)), nullptr);
  EXPECT_EQ(At(set, 3)->m_nActiveAge, 30);
  EXPECT_EQ(At(set, 4)->m_nMaxLength, 3);
  EXPECT_EQ(At(set, 5)->m_nLandUseProb[2], 80);
}

TEST(LandUseSetRoster, LookUpsOfTheDefaultSet) {
  CLandUseSet set;
  EXPECT_EQ(set.IsIDUnique(), 1);
  for (int k = 0; k <= 6; ++k) {
    EXPECT_EQ(set.GetIDIndex(static_cast<unsigned char>(k)), k);
    EXPECT_EQ(set.IsIDExist(static_cast<unsigned char>(k)), 1);
  }
  for (int id : {7, 100, 255}) {
    const auto missing = static_cast<unsigned char>(id);
    EXPECT_EQ(set.GetIDIndex(missing), -1);
    EXPECT_EQ(set.IsIDExist(missing), 0);
    EXPECT_EQ(set.GetColor(missing), 0xFFFFFFu);
    EXPECT_EQ(set.GetCategory(missing), Others);
  }
  EXPECT_EQ(set.GetCategory(0), Blank);
}

TEST(LandUseSetRoster, SingleLandUseOfACategoryIsPickedWithoutDraw) {
  CLandUseSet set;
  const int expected[] = {0, 1, 2, 3, 4, 5, 6};
  for (int c = 0; c <= 6; ++c) {
    int got = -1;
    EXPECT_TRUE(TakesNoDraw([&] { got = set.GetProbID(static_cast<LandUseCategory>(c)); }));
    EXPECT_EQ(got, expected[c]);
  }
  int got = -1;
  EXPECT_TRUE(TakesNoDraw([&] { got = set.GetProbID(static_cast<LandUseCategory>(9)); }));
  EXPECT_EQ(got, 0);
}

TEST(LandUseSetLookUps, SmallSetAndDuplicateIDs) {
  CLandUseSet set;
  Clear(set);
  set.m_LandUseArray.Add(Make(0, Blank, 0x11));
  set.m_LandUseArray.Add(Make(1, StreetNode, 0x22));
  set.m_LandUseArray.Add(Make(2, StreetVertex, 0x33));
  EXPECT_EQ(set.IsIDUnique(), 1);
  EXPECT_EQ(set.GetIDIndex(2), 2);
  EXPECT_EQ(set.GetIDIndex(7), -1);
  EXPECT_EQ(set.IsIDExist(2), 1);
  EXPECT_EQ(set.IsIDExist(7), 0);
  EXPECT_EQ(set.GetColor(7), 0xFFFFFFu);
  EXPECT_EQ(set.GetCategory(7), Others);

  // A second land use with ID 1: not unique, and look-ups find the first.
  set.m_LandUseArray.Add(Make(1, Commerce, 0x44));
  EXPECT_EQ(set.IsIDUnique(), 0);
  EXPECT_EQ(set.GetIDIndex(1), 1);
  EXPECT_EQ(set.GetColor(1), 0x22u);
  EXPECT_EQ(set.GetCategory(1), StreetNode);
}

TEST(LandUseSetLookUps, DuplicateOfTheFirstAndLastPairs) {
  CLandUseSet set;
  Clear(set);
  set.m_LandUseArray.Add(Make(5, House));
  EXPECT_EQ(set.IsIDUnique(), 1);  // one land use
  set.m_LandUseArray.Add(Make(6, House));
  set.m_LandUseArray.Add(Make(7, House));
  set.m_LandUseArray.Add(Make(7, House));  // only the last pair shares an ID
  EXPECT_EQ(set.IsIDUnique(), 0);
  EXPECT_EQ(set.GetIDIndex(7), 2);
}

TEST(LandUseSetLookUps, EmptyArrayAnswersAsForMissingIDs) {
  CLandUseSet set;
  Clear(set);
  EXPECT_EQ(set.IsIDUnique(), 1);
  EXPECT_EQ(set.GetIDIndex(0), -1);
  EXPECT_EQ(set.IsIDExist(0), 0);
  EXPECT_EQ(set.GetColor(0), 0xFFFFFFu);
  EXPECT_EQ(set.GetCategory(0), Others);
  int got = -1;
  EXPECT_TRUE(TakesNoDraw([&] { got = set.GetProbID(Blank); }));
  EXPECT_EQ(got, 0);
}

TEST(LandUseSetLookUps, NullEntriesAreSkipped) {
  CLandUseSet set;
  delete set.m_LandUseArray.GetAt(0);
  set.m_LandUseArray.SetAt(0, nullptr);
  set.m_LandUseArray.Add(Make(0, Blank, 0x99));
  EXPECT_EQ(set.GetIDIndex(0), 7);
  EXPECT_EQ(set.GetColor(0), 0x99u);
  EXPECT_EQ(set.IsIDUnique(), 1);
  EXPECT_EQ(set.GetProbID(Blank), 0);
  EXPECT_EQ(set.GetIDIndex(3), 3);
}

TEST(LandUseSetProbID, TwoHousingLandUsesTakeOneDraw) {
  CLandUseSet set;
  set.m_LandUseArray.Add(Make(9, House));
  bool sawThree = false, sawNine = false;
  for (unsigned seed = 1; seed < 60; ++seed) {
    SeedRandom(seed);
    const int got = set.GetProbID(House);
    const int next = RandomDraw();
    SeedRandom(seed);
    const int j = ReplayRandInt(2);
    EXPECT_EQ(got, j == 1 ? 3 : 9) << seed;
    EXPECT_EQ(next, RandomDraw()) << seed;
    sawThree |= got == 3;
    sawNine |= got == 9;
  }
  EXPECT_TRUE(sawThree);
  EXPECT_TRUE(sawNine);

  // The other categories still hold one land use each: no draw.
  int got = -1;
  EXPECT_TRUE(TakesNoDraw([&] { got = set.GetProbID(Industry); }));
  EXPECT_EQ(got, 4);

  set.m_LandUseArray.Add(Make(3, Others));
  EXPECT_EQ(set.IsIDUnique(), 0);
  EXPECT_EQ(set.GetIDIndex(3), 3);
  EXPECT_EQ(set.GetCategory(3), House);
}

TEST(LandUseSetProbID, PicksInArrayOrderNotIDOrder) {
  CLandUseSet set;
  set.m_LandUseArray.Add(Make(200, Commerce));
  set.m_LandUseArray.Add(Make(11, Commerce));
  const int inArrayOrder[] = {5, 200, 11};
  for (unsigned seed = 1; seed < 60; ++seed) {
    SeedRandom(seed);
    const int got = set.GetProbID(Commerce);
    const int next = RandomDraw();
    SeedRandom(seed);
    const int j = ReplayRandInt(3);
    EXPECT_EQ(got, inArrayOrder[j - 1]) << seed;
    EXPECT_EQ(next, RandomDraw()) << seed;
  }
}

TEST(LandUseSetOwnership, DestroysRosterAndAppendedLandUses) {
  int destroyed = 0;
  {
    CLandUseSet set;
    // Stand recorders in for the roster too, so that every position counts.
    for (int i = 0; i < set.m_LandUseArray.GetSize(); ++i) {
      const CLandUse* old = At(set, i);
      CLandUse* stand = new RecordingLandUse(old->m_ID, old->m_LandUseCategory, &destroyed);
      delete old;
      set.m_LandUseArray.SetAt(i, stand);
    }
    set.m_LandUseArray.Add(new RecordingLandUse(9, House, &destroyed));
    set.m_LandUseArray.Add(new RecordingLandUse(10, Industry, &destroyed));
    EXPECT_EQ(destroyed, 0);
  }
  EXPECT_EQ(destroyed, 9);
}

TEST(LandUseSetOwnership, DestroysThroughTheBasePointer) {
  int destroyed = 0;
  CLandUseSet* set = new CLandUseSet();
  set->m_LandUseArray.Add(new RecordingLandUse(9, House, &destroyed));
  CObject* asRoot = set;
  delete asRoot;  // the set's destructor is virtual
  EXPECT_EQ(destroyed, 1);
}
