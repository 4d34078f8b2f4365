// The housing rule: the age step, abandonment versus renewal of old cells,
// the refusal paths in their order, which coverage each test reads
// (category of the target in the new coverage, its age in the old one),
// the street test, the residential and mixed choices with the thresholds
// read from the set's industry and commerce land uses, notices, and the
// order of draws.
#include "growth_fixture.h"

using namespace growth_test;

namespace {

// A 15 x 15 scene with an active housing cell at (7, 7) and one street
// cell at (9, 10), in the square of the new cell (7, 8) but not next to
// the housing cell. The step is forced to one cell right; a House choice
// settles housing with four draws: policy, length, direction, choice.
class HouseRule : public ::testing::Test {
protected:
  HouseRule() : scene(15, 15) {
    house = scene.Get<CHouse>(3);
    scene.Put(7, 7, 3, 0);
    scene.Put(9, 10, 2);
    ForceStep(house, 2);
    Choose(1, 0, 0);
  }
  int Run(int r = 7, int c = 7) { return house->Develop(&scene.cur, r, c, &scene.next); }
  void Choose(int h, int i, int c) { SetWeights(house->m_nResidentialLandUseProb, h, i, c); }
  void ChooseMixed(int h, int i, int c) { SetWeights(house->m_nMixedLandUseProb, h, i, c); }
  // Puts n cells of an ID on the free cells of the new cell's square
  // (rows 5 to 9, columns 6 to 10), row by row.
  void Around(int id, int n) {
    for (; n > 0 && slot_ < 25; ++slot_) {
      const int r = 5 + slot_ / 5, c = 6 + slot_ % 5;
      if ((r == 7 && (c == 7 || c == 8)) || (r == 9 && c == 10)) continue;
      scene.Put(r, c, id);
      --n;
    }
  }

  Scene scene;
  CHouse* house = nullptr;
  NoticeRecorder notices;

private:
  int slot_ = 0;
};

}  // namespace

TEST_F(HouseRule, HouseChoiceSettlesHousingBesideAStreet) {
  ASSERT_NE(house, nullptr);
  scene.Start();
  Replay rp(31);
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(scene.next.GetCellValue(7, 8), 3);
  EXPECT_EQ(scene.next.GetCellAge(7, 8), 0);
  EXPECT_EQ(scene.next.GetCellAge(7, 7), 1);
  EXPECT_TRUE(scene.SameExcept({{7, 7}, {7, 8}}));
  for (int k = 0; k < 4; ++k) rp.Draw();
  EXPECT_EQ(RandomDraw(), rp.Next());
  EXPECT_EQ(scene.cur.GetCellValue(7, 8), 0);
  EXPECT_TRUE(notices.texts.empty());
}

TEST_F(HouseRule, HelpersDrawAsTheirParts) {
  // GetRealDistance is the base length draw: with two candidates always 1.
  Replay rp(4);
  EXPECT_EQ(house->GetRealDistance(), 1);
  rp.Draw();
  EXPECT_EQ(RandomDraw(), rp.Next());
  house->m_nMaxLength = 5;
  for (int k = 0; k < 50; ++k) {
    const int d = house->GetRealDistance();
    EXPECT_GE(d, 1);
    EXPECT_LE(d, 4);
  }
  // GetProbCategory: three weights for House, Industry, Commerce.
  const int onlyCommerce[3] = {0, 0, 1};
  const int none[3] = {0, 0, 0};
  const int onlyIndustry[3] = {0, 5, 0};
  EXPECT_EQ(house->GetProbCategory(onlyCommerce), Commerce);
  EXPECT_EQ(house->GetProbCategory(none), House);
  EXPECT_EQ(house->GetProbCategory(onlyIndustry), Industry);
  const int weights[3] = {80, 15, 25};
  for (unsigned seed = 1; seed <= 20; ++seed) {
    Replay r2(seed);
    const int expected = r2.MaxIndex({80, 15, 25}) + 3;
    EXPECT_EQ(house->GetProbCategory(weights), expected);
    EXPECT_EQ(RandomDraw(), r2.Next());
  }
}

TEST_F(HouseRule, CheckStreetReachesTheShareCountWithinTheRadius) {
  // Radius 2, 5 %: one street cell anywhere in the 25-cell square.
  scene.Start();
  EXPECT_EQ(house->CheckStreet(7, 8, &scene.cur), 1);   // (9, 10) is a corner
  EXPECT_EQ(house->CheckStreet(7, 7, &scene.cur), 0);   // three columns away
  EXPECT_EQ(house->CheckStreet(6, 8, &scene.cur), 0);   // three rows away
  scene.Put(9, 10, 1);  // a street node counts as well
  EXPECT_EQ(house->CheckStreet(7, 8, &scene.cur), 1);
  // Radius 2, 10 %: three cells (share count 2.5 + 0.5).
  house->m_nStreetPercent = 10;
  scene.Put(9, 9, 2);
  EXPECT_EQ(house->CheckStreet(7, 8, &scene.cur), 0);
  scene.Put(9, 8, 1);
  EXPECT_EQ(house->CheckStreet(7, 8, &scene.cur), 1);
  // Radius 3, 15 %: seven of 49.
  house->m_nNeighborRadius = 3;
  house->m_nStreetPercent = 15;
  scene.PutRow(10, 6, 9, 2);
  EXPECT_EQ(house->CheckStreet(7, 8, &scene.cur), 1);
  scene.Put(10, 6, 0);
  EXPECT_EQ(house->CheckStreet(7, 8, &scene.cur), 0);
  // It reads the coverage it is given, and at a corner only the cells
  // inside: 16 of 49.
  Scene corner(8, 8);
  CHouse* lu = corner.Get<CHouse>(3);
  lu->m_nNeighborRadius = 3;
  lu->m_nStreetPercent = 15;
  corner.PutRow(3, 0, 3, 2);
  corner.PutRow(2, 0, 2, 1);
  EXPECT_EQ(lu->CheckStreet(0, 0, &corner.cur), 1);
  EXPECT_EQ(lu->CheckStreet(0, 0, &corner.next), 0);
  corner.Put(2, 0, 0);
  EXPECT_EQ(lu->CheckStreet(0, 0, &corner.cur), 0);
  EXPECT_EQ(lu->CheckStreet(-1, 0, &corner.cur), 0);
}

TEST_F(HouseRule, AgeStatesOfYoungCellsAtTheirBoundaries) {
  struct Case {
    short age;
    int result;
    short ageAfter;
    int draws;
  };
  // Active up to 30, inactive 31 to 60, dead below 0.
  const Case cases[] = {{30, 1, 31, 4}, {31, 0, 32, 0}, {60, 0, 61, 0}, {-1, 0, 0, 0},
                        {-5, 0, -4, 0}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.age);
    scene.Put(7, 7, 3, k.age);
    scene.Start();
    Replay rp(12);
    EXPECT_EQ(Run(), k.result);
    EXPECT_EQ(scene.next.GetCellValue(7, 7), 3);
    EXPECT_EQ(scene.next.GetCellAge(7, 7), k.ageAfter);
    EXPECT_EQ(scene.next.GetCellValue(7, 8), k.result == 1 ? 3 : 0);
    for (int d = 0; d < k.draws; ++d) rp.Draw();
    EXPECT_EQ(RandomDraw(), rp.Next());
  }
}

TEST_F(HouseRule, AgeIsReadFromTheOldCoverageAndAddedToTheNewOne) {
  scene.Put(7, 7, 3, 2);
  scene.Start();
  scene.next.SetCellAge(7, 7, 45);  // inactive in the new coverage only
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(scene.next.GetCellAge(7, 7), 46);
  EXPECT_EQ(scene.next.GetCellValue(7, 8), 3);

  scene.Put(7, 7, 3, 45);
  scene.Start();
  scene.next.SetCellAge(7, 7, 2);  // active in the new coverage only
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(scene.next.GetCellAge(7, 7), 3);
  EXPECT_EQ(scene.next.GetCellValue(7, 8), 0);
}

TEST_F(HouseRule, CellOutsideTheGridWritesNothingAndDrawsNothing) {
  scene.Start();
  const int outside[][2] = {{-1, 0}, {0, -1}, {15, 3}, {3, 15}};
  for (auto& rc : outside) {
    Replay rp(7);
    EXPECT_EQ(Run(rc[0], rc[1]), 0);
    EXPECT_EQ(RandomDraw(), rp.Next());
  }
  EXPECT_TRUE(scene.SameExcept({}));
}

TEST_F(HouseRule, OldCellWithoutStreetsNextToItIsAlwaysAbandoned) {
  // Streets two cells away lie outside the smaller square of radius 1.
  scene.PutRow(5, 5, 9, 2);
  house->m_nDeadAge = 2;
  for (unsigned seed = 1; seed <= 25; ++seed) {
    scene.Put(7, 7, 3, 61);
    scene.Start();
    Replay rp(seed);
    rp.Int(9);  // the weight of the nine other cells; streets weigh 0
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(scene.next.GetCellValue(7, 7), 0);
    EXPECT_EQ(scene.next.GetCellAge(7, 7), -2);
    EXPECT_EQ(RandomDraw(), rp.Next());
    EXPECT_TRUE(scene.SameExcept({{7, 7}}));
  }
  EXPECT_TRUE(notices.texts.empty());
}

TEST_F(HouseRule, OldCellRingedByStreetsIsAlwaysRenewed) {
  // Eight streets around: the draw for them (1 to 8) never loses to the
  // single other cell (always 1). The renewed age is RandInt(30).
  for (int r = 6; r <= 8; ++r)
    for (int c = 6; c <= 8; ++c)
      if (r != 7 || c != 7) scene.Put(r, c, r == 6 ? 1 : 2);
  for (unsigned seed = 1; seed <= 25; ++seed) {
    scene.Put(7, 7, 3, 200);
    scene.Start();
    Replay rp(seed);
    rp.Int(8);
    rp.Int(1);
    const int age = rp.Int(30);
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(scene.next.GetCellValue(7, 7), 3);
    EXPECT_EQ(scene.next.GetCellAge(7, 7), age);
    EXPECT_EQ(RandomDraw(), rp.Next());
    EXPECT_TRUE(scene.SameExcept({{7, 7}}));
  }
  EXPECT_TRUE(notices.texts.empty());
}

TEST_F(HouseRule, AbandonOrRenewFollowsTheDrawOverStreetsAndTheRest) {
  // At the corner the square of radius 1 holds four cells inside and five
  // beyond the edge; three streets weigh 3 against the other six.
  Scene corner(8, 8);
  CHouse* lu = corner.Get<CHouse>(3);
  int abandoned = 0, renewed = 0;
  for (unsigned seed = 1; seed <= 60; ++seed) {
    corner.Put(0, 0, 3, 61);
    corner.Put(0, 1, 2);
    corner.Put(1, 0, 1);
    corner.Put(1, 1, 2);
    corner.Start();
    Replay rp(seed);
    const bool abandon = rp.MaxIndex({3, 6}) == 1;
    const int age = abandon ? 0 : rp.Int(30);
    EXPECT_EQ(lu->Develop(&corner.cur, 0, 0, &corner.next), 0);
    EXPECT_EQ(corner.next.GetCellValue(0, 0), abandon ? 0 : 3);
    EXPECT_EQ(corner.next.GetCellAge(0, 0), age);
    EXPECT_EQ(RandomDraw(), rp.Next());
    abandon ? ++abandoned : ++renewed;
  }
  EXPECT_GT(abandoned, 0);
  EXPECT_GT(renewed, 0);
}

TEST_F(HouseRule, RenewedCellGoesOnWithItsOldAge) {
  // A negative inactive period makes an active age old: a renewed cell then
  // goes on to settle a new cell in the same call.
  house->m_nInactivePeriod = -10;
  for (int r = 6; r <= 8; ++r)
    for (int c = 6; c <= 8; ++c)
      if ((r != 7 || c != 7) && (r != 7 || c != 8)) scene.Put(r, c, 2);
  int renewedAndSettled = 0, abandoned = 0;
  for (unsigned seed = 1; seed <= 60; ++seed) {
    scene.Put(7, 7, 3, 25);
    scene.Start();
    Replay rp(seed);
    const bool abandon = rp.MaxIndex({7, 2}) == 1;
    SCOPED_TRACE(seed);
    if (abandon) {
      ++abandoned;
      EXPECT_EQ(Run(), 0);
      EXPECT_EQ(scene.next.GetCellValue(7, 7), 0);
      EXPECT_EQ(scene.next.GetCellValue(7, 8), 0);
    } else {
      ++renewedAndSettled;
      const int age = rp.Int(30);
      for (int k = 0; k < 4; ++k) rp.Draw();  // policy, length, direction, choice
      EXPECT_EQ(Run(), 1);
      EXPECT_EQ(scene.next.GetCellAge(7, 7), age);
      EXPECT_EQ(scene.next.GetCellValue(7, 8), 3);
    }
    EXPECT_EQ(RandomDraw(), rp.Next());
  }
  EXPECT_GT(renewedAndSettled, 0);
  EXPECT_GT(abandoned, 0);
}

TEST_F(HouseRule, AbandonmentWithAChangedVacantIdShowsItsNotice) {
  scene.Get<CLandUse>(0)->SetID(8);
  house->m_nDeadAge = 40000;
  scene.Put(7, 7, 3, 61);
  scene.Start();
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(scene.next.GetCellValue(7, 7), 8);
  EXPECT_EQ(scene.next.GetCellAge(7, 7), 25536);
  ASSERT_EQ(notices.texts.size(), 1u);
  EXPECT_EQ(notices.texts[0], kVacantNotice);
}

TEST_F(HouseRule, PolicyRefusesAfterOneDraw) {
  house->m_nPolicy = 0;
  scene.Start();
  Replay rp(13);
  EXPECT_EQ(Run(), 0);
  rp.Draw();
  EXPECT_EQ(RandomDraw(), rp.Next());
  EXPECT_TRUE(scene.SameExcept({{7, 7}}));
}

TEST_F(HouseRule, TargetCategoryFromTheNewCoverageAgeFromTheOldOne) {
  // Taken earlier in this step: refused, even though vacant before it.
  scene.Start();
  scene.next.SetCellValue(7, 8, 5);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(scene.next.GetCellValue(7, 8), 5);

  // Given up earlier in this step (vacant in the new coverage): taken.
  scene.Put(7, 8, 4, 3);
  scene.Start();
  scene.next.SetCellValue(7, 8, 0);
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(scene.next.GetCellValue(7, 8), 3);

  // Dead at the start of the step: refused, whatever the new age says.
  scene.Put(7, 8, 0, -2);
  scene.Start();
  scene.next.SetCellAge(7, 8, 5);
  Replay rp(2);
  EXPECT_EQ(Run(), 0);
  for (int k = 0; k < 3; ++k) rp.Draw();
  EXPECT_EQ(RandomDraw(), rp.Next());
  EXPECT_EQ(scene.next.GetCellValue(7, 8), 0);

  // Dead in the new coverage only: taken, age 0.
  scene.Put(7, 8, 0, 0);
  scene.Start();
  scene.next.SetCellAge(7, 8, -7);
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(scene.next.GetCellAge(7, 8), 0);
}

TEST_F(HouseRule, NoStreetNearTheNewCellRefusesBeforeTheChoice) {
  scene.Put(9, 10, 0);
  scene.Put(9, 11, 2);  // beside the square, not in it
  scene.Start();
  Replay rp(17);
  EXPECT_EQ(Run(), 0);
  for (int k = 0; k < 3; ++k) rp.Draw();
  EXPECT_EQ(RandomDraw(), rp.Next());
  EXPECT_TRUE(scene.SameExcept({{7, 7}}));
}

TEST_F(HouseRule, ResidentialCommerceNeedsFiveHousingCells) {
  Choose(0, 0, 1);
  Around(3, 3);  // with the housing cell itself: four around the new cell
  Around(5, 2);  // two commerce cells keep the choice residential
  scene.Start();
  Replay rp(3);
  EXPECT_EQ(Run(), 0);
  for (int k = 0; k < 4; ++k) rp.Draw();
  EXPECT_EQ(RandomDraw(), rp.Next());
  EXPECT_EQ(scene.next.GetCellValue(7, 8), 0);

  Around(3, 1);
  scene.Start();
  EXPECT_EQ(scene.Count(7, 8, 2, {3}), 5);
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(scene.next.GetCellValue(7, 8), 5);
  EXPECT_EQ(scene.next.GetCellAge(7, 8), 0);
  EXPECT_TRUE(notices.texts.empty());
}

TEST_F(HouseRule, ResidentialIndustryAllowsTenHousingAndCommerceCells) {
  Choose(0, 1, 0);
  Around(4, 2);  // two industry cells: still residential, and not counted
  Around(5, 2);
  Around(3, 7);  // eight housing cells with the cell itself, ten with commerce
  scene.Start();
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(scene.next.GetCellValue(7, 8), 4);

  Around(3, 1);
  scene.Start();
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(scene.next.GetCellValue(7, 8), 0);
}

TEST_F(HouseRule, ResidentialHouseChoiceNeedsNoThreshold) {
  Around(3, 18);  // crowded with housing
  Around(5, 2);
  scene.Start();
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(scene.next.GetCellValue(7, 8), 3);
}

TEST_F(HouseRule, MixedChoiceUsesItsOwnWeightsAndTheDominantCategory) {
  struct Case {
    int industry, commerce;
    int mixed[3];
    int expectedID;  // 0: refused
  };
  // Five housing cells around the new cell in every case.
  const Case cases[] = {
      {4, 4, {1, 0, 0}, 0},  // House is never placed in the mixed case
      {4, 4, {0, 1, 0}, 0},  // a tie goes to Commerce
      {4, 4, {0, 0, 1}, 5},
      {4, 3, {0, 1, 0}, 4},  // more industry: Industry dominates
      {4, 3, {0, 0, 1}, 0},
      {3, 3, {0, 0, 1}, 5},
      {3, 0, {0, 1, 0}, 4},
      {0, 3, {0, 0, 1}, 5},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << k.industry << "/" << k.commerce << " "
                                    << k.mixed[0] << k.mixed[1] << k.mixed[2]);
    Scene s(15, 15);
    CHouse* lu = s.Get<CHouse>(3);
    ForceStep(lu, 2);
    SetWeights(lu->m_nResidentialLandUseProb, 1, 0, 0);  // would place House
    SetWeights(lu->m_nMixedLandUseProb, k.mixed[0], k.mixed[1], k.mixed[2]);
    s.Put(7, 7, 3, 0);
    s.Put(9, 10, 2);
    s.PutRow(5, 6, 9, 3);  // five housing cells with the cell itself
    for (int n = 0; n < k.industry; ++n) s.Put(6, 6 + n, 4);
    for (int n = 0; n < k.commerce; ++n) s.Put(8, 6 + n, 5);
    s.Start();
    Replay rp(5);
    EXPECT_EQ(lu->Develop(&s.cur, 7, 7, &s.next), k.expectedID != 0 ? 1 : 0);
    EXPECT_EQ(s.next.GetCellValue(7, 8), k.expectedID);
    for (int d = 0; d < 4; ++d) rp.Draw();
    EXPECT_EQ(RandomDraw(), rp.Next());
  }
  EXPECT_TRUE(notices.texts.empty());
}

TEST_F(HouseRule, MixedCommerceAndIndustryKeepTheirThresholds) {
  // Three commerce cells and four housing cells: commerce is refused.
  ChooseMixed(0, 0, 1);
  Around(5, 3);
  Around(3, 3);
  scene.Start();
  EXPECT_EQ(Run(), 0);
  // Three industry cells and eleven housing plus commerce: refused.
  Scene s(15, 15);
  CHouse* lu = s.Get<CHouse>(3);
  ForceStep(lu, 2);
  SetWeights(lu->m_nMixedLandUseProb, 0, 1, 0);
  s.Put(7, 7, 3, 0);
  s.Put(9, 10, 2);
  s.PutRow(5, 6, 10, 3);
  s.PutRow(6, 6, 10, 3);  // eleven housing cells with the cell itself
  s.PutRow(8, 6, 8, 4);
  s.Start();
  EXPECT_EQ(lu->Develop(&s.cur, 7, 7, &s.next), 0);
  s.Put(6, 10, 0);  // ten
  s.Start();
  EXPECT_EQ(lu->Develop(&s.cur, 7, 7, &s.next), 1);
  EXPECT_EQ(s.next.GetCellValue(7, 8), 4);
}

TEST_F(HouseRule, ThresholdsComeFromTheSetsIndustryAndCommerceWithHousingsRadius) {
  CIndustry* ind = scene.Get<CIndustry>(4);
  CCommerce* com = scene.Get<CCommerce>(5);
  // Commerce share 40 % of 25: ten housing cells.
  com->m_nHousePercent = 40;
  Choose(0, 0, 1);
  Around(3, 8);  // nine with the cell itself
  scene.Start();
  EXPECT_EQ(Run(), 0);
  Around(3, 1);
  scene.Start();
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(scene.next.GetCellValue(7, 8), 5);
  // Industry share 20 % of 25: at most five housing plus commerce.
  ind->m_nHouseCommercePercent = 20;
  Choose(0, 1, 0);
  scene.Start();
  EXPECT_EQ(Run(), 0);
  Scene s(15, 15);
  CHouse* lu = s.Get<CHouse>(3);
  s.Get<CIndustry>(4)->m_nHouseCommercePercent = 20;
  ForceStep(lu, 2);
  SetWeights(lu->m_nResidentialLandUseProb, 0, 1, 0);
  s.Put(7, 7, 3, 0);
  s.Put(9, 10, 2);
  s.PutRow(5, 6, 9, 3);  // five with the cell itself
  s.Start();
  EXPECT_EQ(lu->Develop(&s.cur, 7, 7, &s.next), 1);
  s.Put(8, 6, 5);  // six
  s.Start();
  EXPECT_EQ(lu->Develop(&s.cur, 7, 7, &s.next), 0);

  // Housing's radius 3 turns the commerce share of 20 % into ten of 49
  // (five of 25 with commerce's own radius).
  Scene w(15, 15);
  CHouse* wide = w.Get<CHouse>(3);
  wide->m_nNeighborRadius = 3;
  ForceStep(wide, 2);
  SetWeights(wide->m_nResidentialLandUseProb, 0, 0, 1);
  w.Put(7, 7, 3, 0);
  w.PutRow(10, 5, 11, 2);    // seven streets: 15 % of 49 with radius 3 is 7
  w.PutRow(4, 5, 11, 3);     // seven housing cells, eight with the cell itself
  w.Put(5, 5, 3);            // nine
  wide->m_nStreetPercent = 15;
  w.Start();
  EXPECT_EQ(wide->Develop(&w.cur, 7, 7, &w.next), 0);
  w.Put(5, 6, 3);  // ten
  w.Start();
  EXPECT_EQ(wide->Develop(&w.cur, 7, 7, &w.next), 1);
  EXPECT_EQ(w.next.GetCellValue(7, 8), 5);
}

TEST_F(HouseRule, CommerceIdAndThresholdAreDrawnBeforeTheChoice) {
  // A second commerce land use (ID 15) that needs no housing. The set draws
  // between 5 and 15 after the direction and before the choice; with only
  // three housing cells, ID 5 refuses and ID 15 is written, with the
  // industry notice.
  CCommerce* second = new CCommerce();
  second->SetID(15);
  second->m_nHousePercent = 0;
  scene.set.m_LandUseArray.Add(second);
  Choose(0, 0, 1);
  Around(3, 2);
  int written = 0, refused = 0;
  for (unsigned seed = 1; seed <= 24; ++seed) {
    notices.texts.clear();
    scene.Start();
    Replay rp(seed);
    for (int k = 0; k < 3; ++k) rp.Draw();  // policy, length, direction
    const int id = rp.Int(2) == 1 ? 5 : 15;
    rp.Draw();  // the choice
    SCOPED_TRACE(seed);
    if (id == 15) {
      ++written;
      EXPECT_EQ(Run(), 1);
      EXPECT_EQ(scene.next.GetCellValue(7, 8), 15);
      ASSERT_EQ(notices.texts.size(), 1u);
      EXPECT_EQ(notices.texts[0], kIndustryNotice);
    } else {
      ++refused;
      EXPECT_EQ(Run(), 0);
      EXPECT_EQ(scene.next.GetCellValue(7, 8), 0);
      EXPECT_TRUE(notices.texts.empty());
    }
    EXPECT_EQ(RandomDraw(), rp.Next());
  }
  EXPECT_GT(written, 0);
  EXPECT_GT(refused, 0);
}

TEST_F(HouseRule, IndustryIdIsDrawnBeforeTheCommerceId) {
  // Two industry and two commerce land uses: two set draws, industry first.
  CIndustry* ind2 = new CIndustry();
  ind2->SetID(14);
  CCommerce* com2 = new CCommerce();
  com2->SetID(15);
  scene.set.m_LandUseArray.Add(ind2);
  scene.set.m_LandUseArray.Add(com2);
  Choose(0, 1, 0);
  for (unsigned seed = 1; seed <= 24; ++seed) {
    notices.texts.clear();
    scene.Start();
    Replay rp(seed);
    for (int k = 0; k < 3; ++k) rp.Draw();
    const int industryID = rp.Int(2) == 1 ? 4 : 14;
    rp.Int(2);  // the commerce ID
    rp.Draw();  // the choice
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(scene.next.GetCellValue(7, 8), industryID);
    EXPECT_EQ(notices.texts.size(), industryID == 4 ? 0u : 1u);
    EXPECT_EQ(RandomDraw(), rp.Next());
  }
}

TEST_F(HouseRule, MissingIndustryOrCommerceRefusesOnlyTheChoiceThatNeedsIt) {
  // No industry land use at all.
  delete scene.set.m_LandUseArray[4];
  scene.set.m_LandUseArray.RemoveAt(4);
  // A commerce land use that is not of the commerce class.
  CLandUse* plain = new CLandUse();
  plain->SetID(5);
  plain->SetLandUseCategory(Commerce);
  delete scene.set.m_LandUseArray[4];  // the former commerce position
  scene.set.m_LandUseArray[4] = plain;
  Around(3, 6);

  const int choices[3][3] = {{0, 1, 0}, {0, 0, 1}, {1, 0, 0}};
  const int expected[3] = {0, 0, 3};
  for (int k = 0; k < 3; ++k) {
    Choose(choices[k][0], choices[k][1], choices[k][2]);
    scene.Start();
    Replay rp(9);
    for (int d = 0; d < 4; ++d) rp.Draw();  // the same draws as with them
    EXPECT_EQ(Run(), expected[k] != 0 ? 1 : 0);
    EXPECT_EQ(scene.next.GetCellValue(7, 8), expected[k]);
    EXPECT_EQ(RandomDraw(), rp.Next());
  }
  EXPECT_TRUE(notices.texts.empty());
}

TEST_F(HouseRule, ChangedHousingIdIsWrittenWithTheIndustryNotice) {
  house->SetID(13);
  scene.Put(7, 7, 13, 0);
  scene.Start();
  EXPECT_EQ(Run(), 1);
  EXPECT_EQ(scene.next.GetCellValue(7, 8), 13);
  ASSERT_EQ(notices.texts.size(), 1u);
  EXPECT_EQ(notices.texts[0], kIndustryNotice);
}

TEST_F(HouseRule, HousingIdIsDrawnAfterTheChoice) {
  CHouse* second = new CHouse();
  second->SetID(9);
  scene.set.m_LandUseArray.Add(second);
  int seen9 = 0;
  for (unsigned seed = 1; seed <= 16; ++seed) {
    notices.texts.clear();
    scene.Start();
    Replay rp(seed);
    for (int k = 0; k < 4; ++k) rp.Draw();
    const int id = rp.Int(2) == 1 ? 3 : 9;
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(scene.next.GetCellValue(7, 8), id);
    EXPECT_EQ(notices.texts.size(), id == 9 ? 1u : 0u);
    EXPECT_EQ(RandomDraw(), rp.Next());
    seen9 += id == 9;
  }
  EXPECT_GT(seen9, 0);
}

TEST_F(HouseRule, WithoutALinkedSetOldCellsTurnVacantAndYoungOnesStop) {
  scene.cur.m_pLandUseSet = nullptr;
  scene.Start();
  Replay rp(3);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(RandomDraw(), rp.Next());
  EXPECT_EQ(scene.next.GetCellAge(7, 7), 1);
  scene.Put(7, 7, 3, 70);
  scene.Start();
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(scene.next.GetCellValue(7, 7), 0);
  EXPECT_EQ(scene.next.GetCellAge(7, 7), 0);
  EXPECT_EQ(house->Develop(nullptr, 7, 7, &scene.next), 0);
  EXPECT_EQ(house->Develop(&scene.cur, 7, 7, nullptr), 0);
}

TEST(HouseRuleDraws, DefaultParametersFollowTheReplayedSequence) {
  // Default weights on a 21 x 21 scene: an active housing cell at (10, 10),
  // a street along row 8, three industry cells in row 6 and a housing block
  // in row 12, so that targets meet every branch.
  NoticeRecorder notices;
  int placed[6] = {0, 0, 0, 0, 0, 0};
  int refused = 0;
  for (unsigned seed = 1; seed <= 500; ++seed) {
    Scene s(21, 21);
    CHouse* lu = s.Get<CHouse>(3);
    s.Put(10, 10, 3, 0);
    s.PutRow(8, 0, 20, 2);
    s.PutRow(6, 4, 6, 4);
    s.PutRow(12, 8, 13, 3);
    s.Put(11, 13, 5);
    s.Start();
    Replay rp(seed);
    int expected = 0, tr = -1, tc = -1;
    rp.Int(100);
    const int len = rp.MaxIndex({333, 266, 199, 133}) + 1;
    const int dir = rp.Direction();
    tr = 10 + kDRow[dir] * len;
    tc = 10 + kDCol[dir] * len;
    if (s.cur.GetCellValue(tr, tc) == 0 && s.Count(tr, tc, 2, {1, 2}) >= 1) {
      const int h = s.Count(tr, tc, 2, {3});
      const int i = s.Count(tr, tc, 2, {4});
      const int c = s.Count(tr, tc, 2, {5});
      int choice;
      bool ok = true;
      if (i <= 2 && c <= 2) {
        choice = rp.MaxIndex({80, 15, 25});
      } else {
        choice = rp.MaxIndex({70, 15, 25});
        ok = choice == (i > c ? 1 : 2);
      }
      if (ok && choice == 2) ok = h >= 5;
      if (ok && choice == 1) ok = h + c <= 10;
      if (ok) expected = choice + 3;
    }
    SCOPED_TRACE(seed);
    ASSERT_EQ(lu->Develop(&s.cur, 10, 10, &s.next), expected != 0 ? 1 : 0);
    EXPECT_EQ(RandomDraw(), rp.Next());
    if (expected != 0) {
      ++placed[expected];
      EXPECT_EQ(s.next.GetCellValue(tr, tc), expected);
      EXPECT_TRUE(s.SameExcept({{10, 10}, {tr, tc}}));
    } else {
      ++refused;
      EXPECT_TRUE(s.SameExcept({{10, 10}}));
    }
  }
  EXPECT_GT(placed[3], 0);
  EXPECT_GT(placed[4], 0);
  EXPECT_GT(placed[5], 0);
  EXPECT_GT(refused, 0);
  EXPECT_TRUE(notices.texts.empty());
}
