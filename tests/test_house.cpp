// The housing rule: besides the behaviours shared with industry and
// commerce, abandonment versus renewal of old cells, which coverage the
// target is read from, the street test, and the residential and mixed
// choices with thresholds read from the set's industry and commerce.
#include "support/spread_rule.h"

using namespace testkit;

namespace {

// A 15 x 15 scene with a housing cell at (7, 7) and one street cell at
// (9, 10), in the square of the new cell (7, 8) but not next to the housing
// cell. The residential choice is forced to House.
void StreetAndChoice(Scene& s, CLandUse* lu) {
  s.Put(9, 10, 2);
  SetWeights(dynamic_cast<CHouse*>(lu)->m_nResidentialLandUseProb, 1, 0, 0);
}

const SpreadCase kHouse = {"House",
                           3,
                           15,
                           7,
                           7,
                           2,
                           30,
                           60,
                           true,
                           false,
                           kIndustryNotice,
                           [] { return static_cast<CLandUse*>(new CHouse()); },
                           StreetAndChoice};

INSTANTIATE_TEST_SUITE_P(House, SpreadRule, ::testing::Values(kHouse));

class HouseRule : public SpreadRule {
protected:
  CHouse* house() { return dynamic_cast<CHouse*>(lu); }
  void Choose(int h, int i, int c) { SetWeights(house()->m_nResidentialLandUseProb, h, i, c); }
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
  // Runs a fresh step and checks the result, the new cell and the draws
  // (policy, length, direction, choice, plus extra ones).
  void Expect(int id, int extraDraws = 0, unsigned seed = 3) {
    scene.Start();
    Replay rp(seed);
    EXPECT_EQ(Run(), id != 0 ? 1 : 0);
    EXPECT_EQ(scene.next.GetCellValue(7, 8), id);
    rp.Skip(4 + extraDraws);
    EXPECT_TRUE(rp.DrawsMatch());
  }

private:
  int slot_ = 0;
};

}  // namespace

TEST_P(HouseRule, HelpersDrawAsTheirPartsCheckStreetReachesTheShareCount) {
  Replay rp(4);
  EXPECT_EQ(house()->GetRealDistance(), 1);  // two candidate lengths: always 1
  rp.Skip(1);
  EXPECT_TRUE(rp.DrawsMatch());
  const int onlyIndustry[3] = {0, 5, 0}, none[3] = {0, 0, 0}, weights[3] = {80, 15, 25};
  EXPECT_EQ(house()->GetProbCategory(onlyIndustry), Industry);
  EXPECT_EQ(house()->GetProbCategory(none), House);
  for (unsigned seed = 1; seed <= 8; ++seed) {
    Replay r2(seed);
    EXPECT_EQ(house()->GetProbCategory(weights), r2.MaxIndex({80, 15, 25}) + 3);
    EXPECT_TRUE(r2.DrawsMatch());
  }
  CHouse* h = house();
  EXPECT_EQ(h->CheckStreet(7, 8, &scene.cur), 1);  // radius 2, 5 %: one of 25
  EXPECT_EQ(h->CheckStreet(7, 7, &scene.cur), 0);  // three columns away
  EXPECT_EQ(h->CheckStreet(6, 8, &scene.cur), 0);  // three rows away
  h->m_nStreetPercent = 10;                        // three cells (2.5 + 0.5)
  scene.Put(9, 9, 2);
  EXPECT_EQ(h->CheckStreet(7, 8, &scene.cur), 0);
  scene.Put(9, 8, 1);  // a node counts as well
  EXPECT_EQ(h->CheckStreet(7, 8, &scene.cur), 1);
  EXPECT_EQ(h->CheckStreet(7, 8, &scene.next), 0);  // it reads the coverage given
  // At a corner, radius 3 and 15 %: seven of the 16 cells inside.
  h->m_nNeighborRadius = 3;
  h->m_nStreetPercent = 15;
  Scene corner(8, 8);
  corner.PutRow(3, 0, 3, 2);
  corner.PutRow(2, 0, 2, 1);
  EXPECT_EQ(h->CheckStreet(0, 0, &corner.cur), 1);
  corner.Put(2, 0, 0);
  EXPECT_EQ(h->CheckStreet(0, 0, &corner.cur), 0);
  EXPECT_EQ(h->CheckStreet(-1, 0, &corner.cur), 0);
}

TEST_P(HouseRule, OldCellIsAbandonedOrRenewedByTheDrawOverStreetsAndTheRest) {
  // Streets in the 3 x 3 square weigh against its other cells (the cell
  // itself and cells beyond the edge included); renewal draws an active age.
  struct Case {
    int row, col, streets, rest;
  };
  const Case cases[] = {{7, 7, 0, 9}, {7, 7, 8, 1}, {0, 0, 3, 6}};
  house()->m_nDeadAge = 2;
  for (const Case& k : cases) {
    int abandoned = 0, renewed = 0;
    for (unsigned seed = 1; seed <= 20; ++seed) {
      Scene s(15, 15);
      s.PutRow(5, 5, 9, 2);  // two rows away: outside the square of radius 1
      for (int r = k.row - 1; r <= k.row + 1 && k.streets > 0; ++r)  // ringed or at the corner
        for (int c = k.col - 1; c <= k.col + 1; ++c)
          if (r >= 0 && c >= 0 && (r != k.row || c != k.col)) s.Put(r, c, r == k.row - 1 ? 1 : 2);
      s.Put(k.row, k.col, 3, 61);
      s.Start();
      Replay rp(seed);
      const bool abandon = rp.MaxIndex({k.streets, k.rest}) == 1;
      const int age = abandon ? -2 : rp.Int(30);
      SCOPED_TRACE(testing::Message() << k.streets << " streets, seed " << seed);
      EXPECT_EQ(house()->Develop(&s.cur, k.row, k.col, &s.next), 0);
      EXPECT_EQ(s.next.GetCellValue(k.row, k.col), abandon ? 0 : 3);
      EXPECT_EQ(s.next.GetCellAge(k.row, k.col), age);
      EXPECT_TRUE(rp.DrawsMatch());
      EXPECT_TRUE(s.SameExcept({{k.row, k.col}}));
      (abandon ? abandoned : renewed)++;
    }
    EXPECT_EQ(abandoned == 0, k.streets == 8);
    EXPECT_EQ(renewed == 0, k.streets == 0);
  }
  EXPECT_TRUE(notices.texts.empty());
  scene.Get<CLandUse>(0)->SetID(8);  // a changed vacant ID shows its notice
  house()->m_nDeadAge = 40000;
  SetAge(61);
  scene.Start();
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(scene.next.GetCellValue(7, 7), 8);
  EXPECT_EQ(scene.next.GetCellAge(7, 7), 25536);
  EXPECT_EQ(notices.texts, std::vector<std::string>{kVacantNotice});
}

TEST_P(HouseRule, RenewedCellGoesOnWithItsOldAge) {
  // A negative inactive period makes an active age old: a renewed cell
  // then settles a new cell in the same call.
  house()->m_nInactivePeriod = -10;
  scene.PutRow(6, 6, 8, 2);
  scene.PutRow(8, 6, 8, 2);
  scene.Put(7, 6, 2);
  int renewed = 0;
  for (unsigned seed = 1; seed <= 30; ++seed) {
    SetAge(25);
    scene.Start();
    Replay rp(seed);
    const bool abandon = rp.MaxIndex({7, 2}) == 1;
    const int age = abandon ? 0 : rp.Int(30);
    rp.Skip(abandon ? 0 : 4);
    SCOPED_TRACE(seed);
    EXPECT_EQ(Run(), abandon ? 0 : 1);
    EXPECT_EQ(scene.next.GetCellAge(7, 7), age);
    EXPECT_EQ(scene.next.GetCellValue(7, 8), abandon ? 0 : 3);
    EXPECT_TRUE(rp.DrawsMatch());
    renewed += !abandon;
  }
  EXPECT_GT(renewed, 0);
  EXPECT_LT(renewed, 30);
}

TEST_P(HouseRule, TargetCategoryFromTheNewCoverageAgeFromTheOldOneThenTheStreet) {
  struct Case {
    int oldId, oldAge, newId, newAge, result;
  };
  const Case cases[] = {
      {0, 0, 5, 0, 0},   // taken earlier in this step
      {4, 3, 0, 3, 1},   // given up earlier in this step
      {0, -2, 0, 5, 0},  // dead at the start of the step
      {0, 0, 0, -7, 1},  // dead in the new coverage only
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.newId * 100 + c.oldAge);
    scene.Put(7, 8, c.oldId, static_cast<short>(c.oldAge));
    scene.Start();
    scene.next.SetCellValue(7, 8, static_cast<unsigned char>(c.newId));
    scene.next.SetCellAge(7, 8, static_cast<short>(c.newAge));
    Replay rp(2);
    EXPECT_EQ(Run(), c.result);
    EXPECT_EQ(scene.next.GetCellValue(7, 8), c.result ? 3 : c.newId);
    EXPECT_EQ(scene.next.GetCellAge(7, 8), c.result ? 0 : c.newAge);
    rp.Skip(c.result ? 4 : 3);
    EXPECT_TRUE(rp.DrawsMatch());
  }
  scene.Put(9, 10, 0);  // no street near the new cell: refused before the choice
  scene.Put(9, 11, 2);  // beside the square, not in it
  scene.Start();
  Replay rp(17);
  EXPECT_EQ(Run(), 0);
  rp.Skip(3);
  EXPECT_TRUE(rp.DrawsMatch());
  EXPECT_TRUE(scene.SameExcept({{7, 7}}));
}

TEST_P(HouseRule, ResidentialChoicesAndTheirThresholds) {
  // Commerce needs five housing cells (the cell itself counts), industry
  // allows ten housing and commerce cells, housing needs none; up to two
  // industry or commerce cells keep the choice residential.
  Around(4, 2);  // industry: not counted
  Around(5, 2);
  Around(3, 3);
  Choose(0, 0, 1);
  Expect(0);  // four housing cells
  Around(3, 1);
  Expect(5);
  EXPECT_EQ(scene.next.GetCellAge(7, 8), 0);
  Choose(0, 1, 0);
  Around(3, 3);  // eight housing cells, ten with commerce
  Expect(4);
  Around(3, 1);
  Expect(0);
  Choose(1, 0, 0);
  Around(3, 10);  // crowded with housing
  Expect(3);
  EXPECT_TRUE(notices.texts.empty());
}

TEST_P(HouseRule, MixedChoiceUsesItsOwnWeightsAndTheDominantCategory) {
  struct Case {
    int industry, commerce;
    int mixed[3];
    int expectedID;  // 0: refused
  };
  // Five housing cells around the new cell in every case.
  const Case cases[] = {
      {4, 4, {1, 0, 0}, 0},  // House is never placed in the mixed case
      {4, 4, {0, 1, 0}, 0},  // a tie goes to Commerce
      {4, 4, {0, 0, 1}, 5}, {4, 3, {0, 1, 0}, 4}, {4, 3, {0, 0, 1}, 0},
      {3, 3, {0, 0, 1}, 5}, {3, 0, {0, 1, 0}, 4}, {0, 3, {0, 0, 1}, 5},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << k.industry << "/" << k.commerce << " " << k.mixed[0]
                                    << k.mixed[1] << k.mixed[2]);
    Scene s(15, 15);
    CHouse* h = s.Get<CHouse>(3);
    ForceStep(h, 2);
    SetWeights(h->m_nResidentialLandUseProb, 1, 0, 0);  // would place House
    SetWeights(h->m_nMixedLandUseProb, k.mixed[0], k.mixed[1], k.mixed[2]);
    s.Put(7, 7, 3, 0);
    s.Put(9, 10, 2);
    s.PutRow(5, 6, 9, 3);
    for (int n = 0; n < k.industry; ++n) s.Put(6, 6 + n, 4);
    for (int n = 0; n < k.commerce; ++n) s.Put(8, 6 + n, 5);
    s.Start();
    Replay rp(5);
    EXPECT_EQ(h->Develop(&s.cur, 7, 7, &s.next), k.expectedID != 0 ? 1 : 0);
    EXPECT_EQ(s.next.GetCellValue(7, 8), k.expectedID);
    rp.Skip(4);
    EXPECT_TRUE(rp.DrawsMatch());
  }
  // The thresholds hold in the mixed case too: three commerce cells and
  // four housing cells refuse commerce.
  SetWeights(house()->m_nMixedLandUseProb, 0, 0, 1);
  Around(5, 3);
  Around(3, 3);
  Expect(0);
  EXPECT_TRUE(notices.texts.empty());
}

TEST_P(HouseRule, ThresholdsComeFromTheSetsIndustryAndCommerceWithHousingsRadius) {
  scene.Get<CCommerce>(5)->m_nHousePercent = 40;  // ten of 25
  Choose(0, 0, 1);
  Around(3, 8);  // nine with the cell itself
  Expect(0);
  Around(3, 1);
  Expect(5);
  scene.Get<CIndustry>(4)->m_nHouseCommercePercent = 20;  // at most five of 25
  Choose(0, 1, 0);
  Expect(0);

  // Housing's radius 3 turns the commerce share of 20 % into ten of 49.
  Scene w(15, 15);
  CHouse* wide = w.Get<CHouse>(3);
  wide->m_nNeighborRadius = 3;
  wide->m_nStreetPercent = 15;
  ForceStep(wide, 2);
  SetWeights(wide->m_nResidentialLandUseProb, 0, 0, 1);
  w.Put(7, 7, 3, 0);
  w.PutRow(10, 5, 11, 2);  // seven streets
  w.PutRow(4, 5, 11, 3);
  w.Put(5, 5, 3);  // nine housing cells with the cell itself
  w.Start();
  EXPECT_EQ(wide->Develop(&w.cur, 7, 7, &w.next), 0);
  w.Put(5, 6, 3);
  w.Start();
  EXPECT_EQ(wide->Develop(&w.cur, 7, 7, &w.next), 1);
  EXPECT_EQ(w.next.GetCellValue(7, 8), 5);
}

TEST_P(HouseRule, IndustryThenCommerceIdAreDrawnBeforeTheChoice) {
  // A second commerce land use (ID 15) needs no housing: with three
  // housing cells ID 5 refuses and ID 15 is written with the notice. A
  // second industry land use (ID 14) is drawn first.
  scene.Add<CIndustry>(14);
  scene.Add<CCommerce>(15)->m_nHousePercent = 0;
  Around(3, 2);
  int written = 0;
  for (int choice : {1, 2}) {
    Choose(0, choice == 1, choice == 2);
    for (unsigned seed = 1; seed <= 16; ++seed) {
      notices.texts.clear();
      scene.Start();
      Replay rp(seed);
      rp.Skip(3);  // policy, length, direction
      const int industryID = rp.Int(2) == 1 ? 4 : 14;
      const int commerceID = rp.Int(2) == 1 ? 5 : 15;
      rp.Skip(1);  // the choice
      const int id = choice == 1 ? industryID : (commerceID == 15 ? 15 : 0);
      SCOPED_TRACE(seed);
      EXPECT_EQ(Run(), id != 0 ? 1 : 0);
      EXPECT_EQ(scene.next.GetCellValue(7, 8), id);
      EXPECT_EQ(notices.texts, id == 14 || id == 15 ? std::vector<std::string>{kIndustryNotice}
                                                    : std::vector<std::string>{});
      EXPECT_TRUE(rp.DrawsMatch());
      written += id == 15;
    }
  }
  EXPECT_GT(written, 0);
  EXPECT_LT(written, 16);
}

TEST_P(HouseRule, MissingIndustryOrCommerceRefusesOnlyTheChoiceThatNeedsIt) {
  // No industry land use, and a commerce land use not of the commerce class.
  delete scene.set.m_LandUseArray[4];
  scene.set.m_LandUseArray.RemoveAt(4);
  CLandUse* plain = new CLandUse();
  plain->SetID(5);
  plain->SetLandUseCategory(Commerce);
  delete scene.set.m_LandUseArray[4];
  scene.set.m_LandUseArray[4] = plain;
  Around(3, 6);
  Choose(0, 1, 0);
  Expect(0);
  Choose(0, 0, 1);
  Expect(0);
  Choose(1, 0, 0);
  Expect(3);
  EXPECT_TRUE(notices.texts.empty());
}

INSTANTIATE_TEST_SUITE_P(House, HouseRule, ::testing::Values(kHouse));
