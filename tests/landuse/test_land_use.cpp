// The land-use base class: each rule's draws against the replayed generator (the length also
// against a plain transcription), a square's share, the age states and the background.
#include <climits>

#include "support/scene.h"

using namespace testkit;

namespace {

// A land use whose growth rule records its calls and answers 7.
class Recording : public CLandUse {
public:
  Recording(int id, int active, int inactive, int dead) {
    m_ID = static_cast<unsigned char>(id), m_nActiveAge = active;
    m_nInactivePeriod = inactive, m_nDeadAge = dead;
  }
  int Develop(CLandUseCoverage* cur, int r, int c, CLandUseCoverage* next) override {
    calls.push_back({cur, next, r, c});
    return 7;
  }
  std::vector<std::tuple<CLandUseCoverage*, CLandUseCoverage*, int, int>> calls;
};

// The length the replay draws for a land use's own law.
int ReplayLength(Replay& rp, const CLandUse& l, int n) {
  return n <= 1 ? 0 : rp.MaxIndex(LengthPerMille(l, n)) + 1;
}

}  // namespace

TEST(LandUse, CategoryWordsTheDensityCopyAndAQuietDevelop) {
  // Every land use's defaults are pinned by the parameter template (tests/cli/test_commands.cpp).
  CLandUse lu, source;
  source.m_nMaxLength = 9, source.m_nDensityType = 3, source.m_dDensityScale = 0.5;
  source.m_dDensityRate = 0.25, source.m_dDensityPower = 1.5, source.m_nActiveAge = 7;
  EXPECT_EQ(lu.SetDensityFromOther(nullptr), 0);
  EXPECT_EQ(lu.SetDensityFromOther(&source), 1);
  EXPECT_EQ(std::make_tuple(lu.m_nMaxLength, lu.m_nDensityType, lu.m_dDensityScale,
                            lu.m_dDensityRate, lu.m_dDensityPower, lu.m_nActiveAge),
            std::make_tuple(9, 3, 0.5, 0.25, 1.5, 50000));
  EXPECT_EQ(lu.SetID(200) + lu.SetColor(0x123456u) + lu.SetLandUseName("Park"), 3);
  EXPECT_EQ(std::make_tuple(lu.GetID(), lu.GetColor(), lu.GetLandUseName()),
            std::make_tuple(static_cast<unsigned char>(200), 0x123456u, std::string("Park")));
  const char* words[] = {"Blank", "StreetNode", "StreetVertex", "House", "Industry", "Commerce"};
  for (int c = -1; c <= 9; ++c) {
    EXPECT_EQ(lu.SetLandUseCategory(static_cast<LandUseCategory>(c)), 1);
    EXPECT_EQ(lu.GetCategoryString(), c >= 0 && c <= 5 ? words[c] : "Others") << c;
  }
  Scene s(6, 7);
  s.cur.SetCoverageAge(4);
  s.Start();
  Replay rp(4);
  EXPECT_EQ(lu.Develop(&s.cur, 2, 3, &s.next), 1);
  EXPECT_TRUE(rp.DrawsMatch());
  EXPECT_TRUE(s.SameExcept({}));
}

TEST(LandUse, LengthDrawFollowsThePlainTranscriptionForAnyLaw) {
  // Value and generator state after each call, twice per law (computed, then cached), over short,
  // stack-sized and long candidate tables, with negative, zero, infinite and not-a-number weight
  // sums among them: every parameter change is a new table, whatever the per-thread cache holds.
  std::mt19937 g(18);
  int negative = 0, zero = 0;
  for (int k = 0; k < 3000; ++k) {
    CLandUse lu;
    RandomLaw(g, lu);
    const int n = k % 10 == 0 ? static_cast<int>(g() % 400) : static_cast<int>(g() % 42) - 2;
    const std::vector<int> pm = LengthPerMille(lu, n);
    negative += std::any_of(pm.begin(), pm.end(), [](int p) { return p < 0; });
    zero += !pm.empty() && std::all_of(pm.begin(), pm.end(), [](int p) { return p == 0; });
    for (unsigned seed : {k + 1u, k + 2u}) {
      Replay rp(seed, 1024);
      ASSERT_EQ(lu.GetRealLength(n), ReplayLength(rp, lu, n)) << "case " << k << " n " << n;
      ASSERT_TRUE(rp.DrawsMatch()) << "case " << k;
    }
  }
  EXPECT_GT(negative, 200);
  EXPECT_GT(zero, 100);
  CLandUse own;  // without an argument: the land use's own maximum, here 5
  own.m_dDensityScale = 3;
  CStreetNode node;  // a street: the minimum step and a length of the maximum step's draw
  CHouse house;
  Replay rp(1);
  EXPECT_EQ(own.GetRealLength(), ReplayLength(rp, own, 5));
  EXPECT_EQ(node.GetRealStep(), node.m_nMinStep + ReplayLength(rp, node, node.m_nMaxStep));
  EXPECT_EQ(house.GetRealDistance(), ReplayLength(rp, house, house.m_nMaxLength));
  EXPECT_TRUE(rp.DrawsMatch());
}

TEST(LandUse, UniformAndLargestDrawsDirectionLandUseAndPolicyAgainstTheReplay) {
  // A bound of 0 takes no draw, a negative one acts as its magnitude, the
  // most negative int draws over INT_MAX. The largest draw over weights
  // wins, ties go to the earlier, a zero weight draws nothing and counts 0.
  for (int n : {0, 1, 3, -3, 50030, INT_MIN})
    for (unsigned seed = 1; seed <= 20; ++seed) {
      Replay rp(seed);
      EXPECT_EQ(RandInt(n), n == 0 ? 0 : rp.Draw() % (n == INT_MIN ? INT_MAX : std::abs(n)) + 1);
      EXPECT_TRUE(rp.DrawsMatch()) << n;
    }
  const int w[] = {4, 0, 9, 9, -6, 2};
  Replay none(9);
  EXPECT_EQ(GetMaxIndex(w, 0) + GetMaxIndex(w, -4) + GetMaxIndex(nullptr, 2), -3);
  EXPECT_TRUE(none.DrawsMatch());
  CLandUse lu;
  const std::vector<int> street = {150, 100, 150, 100, 150, 100, 150, 100}, zero8(8, 0);
  for (const auto& d : {std::vector<int>(8, 125), street, zero8, {4, 0, 9, 9, -6, 2, 1, 1}}) {
    std::copy(d.begin(), d.end(), lu.m_nDirectionProb);
    for (const auto& l : {std::vector<int>{33, 33, 33}, {0, 0, 1}, {0, 0, 0}, {1, 1, 0}}) {
      SetWeights(lu.m_nLandUseProb, l[0], l[1], l[2]);
      for (int policy : {100, 0, 50, -5, 250}) {
        lu.m_nPolicy = policy;
        for (unsigned seed = 1; seed <= 6; ++seed) {
          Replay rp(seed);
          EXPECT_EQ(GetMaxIndex(d.data(), 8), rp.MaxIndex(d));
          EXPECT_EQ(lu.GetRealDirection(), rp.MaxIndex(d));
          EXPECT_EQ(lu.GetProbLandUse(), static_cast<LandUseCategory>(rp.MaxIndex(l) + 3));
          EXPECT_EQ(lu.CheckPolicy(), rp.Int(100) <= policy ? 1 : 0) << policy;
          EXPECT_TRUE(rp.DrawsMatch());
        }
      }
    }
  }
  // A square's share, radius r: percent x (2r+1)^2 / 100 half up, toward zero, wrapping in 32 bits.
  const int shares[][3] = {{50, 1, 5},         {10, 2, 3},   {4, 1, 0},   {100, 0, 1},
                           {-50, 1, -4},       {-30, 1, -2}, {50, -2, 5}, {INT_MAX, 1, 21474836},
                           {65536, 32768, 655}};
  for (const auto& k : shares) EXPECT_EQ(ShareCount(k[0], k[1]), k[2]) << k[0] << "% r" << k[1];
}

TEST(LandUse, AgeStatesAtTheirBoundariesForTheCellAskedFor) {
  Scene s(5, 6);
  CLandUse lu;
  const std::tuple<int, int, int, const char*> cases[] = {
      // active, inactive, age: its states
      {30, 30, 0, "active "},    {30, 30, 30, "active "},   {30, 30, 31, "inactive "},
      {30, 30, 60, "inactive "}, {30, 30, 61, "old "},      {30, 30, 32767, "old "},
      {30, 30, -1, "dead "},     {30, 30, -32768, "dead "}, {INT_MAX, INT_MAX, 32767, "active "},
      {-10, 5, -2, "dead "},     {-10, 5, 0, "old "},       {-10, 5, -100, "dead "}};
  for (const auto& [active, inactive, age, states] : cases) {
    lu.m_nActiveAge = active, lu.m_nInactivePeriod = inactive;
    s.cur.SetCellAge(1, 2, static_cast<short>(age));
    EXPECT_EQ(std::string(lu.IsActive(&s.cur, 1, 2) ? "active " : "") +
                  (lu.IsInActive(&s.cur, 1, 2) ? "inactive " : "") +
                  (lu.IsOld(&s.cur, 1, 2) ? "old " : "") + (lu.IsDead(&s.cur, 1, 2) ? "dead " : ""),
              states)
        << active << " " << inactive << " age " << age;
  }
  lu.m_nActiveAge = 30;  // the cell asked for, in the coverage given
  EXPECT_FALSE(lu.IsActive(&s.cur, 1, 2));
  EXPECT_TRUE(lu.IsActive(&s.cur, 1, 3));
  EXPECT_TRUE(lu.IsActive(&s.next, 1, 2));
  EXPECT_EQ(lu.IsDead(&s.cur, 5, 0) + lu.IsDead(nullptr, 0, 0) + lu.IsOld(&s.cur, 0, -1), 2);
}

TEST(LandUse, BackgroundBitsAllowTheRuleElseACellOnlyAgesOrIsGivenUp) {
  // Bit k of a background cell allows ID k (none above 7). Forbidden: the rule is not run; a living
  // cell ages in the new coverage (from the age there); an old cell of housing, industry or
  // commerce is given up to vacant land with the negated dead age without a draw; others and cells
  // outside change nothing. (Second vacant land uses: the runs' digests.)
  CGrid bg;
  ASSERT_EQ(bg.InitGrid(6, 6, 0xFF), 1);
  const int checks[][3] = {
      {3, 0x08, 8}, {3, 0xF7, 0}, {7, 0x80, 0x80}, {8, 0xFF, 0}, {255, 0xFF, 0}};
  for (const auto& k : checks) {
    bg.SetCellValue(2, 2, static_cast<unsigned char>(k[1]));
    EXPECT_EQ(Recording(k[0], 0, 0, 0).CheckBackGround(2, 2, &bg), k[2]) << k[0];
  }
  Recording vacant(0, 0, 0, 0);
  EXPECT_EQ(vacant.CheckBackGround(6, 0, &bg) + vacant.CheckBackGround(0, 0, nullptr), 0);
  const int cases[][5] = {// ID, age in the old and in the new coverage, value and age after
                          {4, 0, 0, 4, 1},      {4, 50, 50, 4, 51},    {4, -3, -3, 4, -2},
                          {4, 5, 60, 4, 61},    {3, 51, 51, 0, -5},    {4, 51, 3, 0, -5},
                          {5, 51, 51, 0, -5},   {0, 100, 100, 0, 100}, {2, 100, 100, 2, 100},
                          {6, 100, 100, 6, 100}};
  for (const auto& k : cases) {
    SCOPED_TRACE(testing::Message() << k[0] << " " << k[1] << "/" << k[2]);
    Scene s(6, 6);
    s.Put(3, 4, k[0], static_cast<short>(k[1]));
    s.Start();
    s.next.SetCellAge(3, 4, static_cast<short>(k[2]));
    bg.SetGridValue(0xFF);
    bg.SetCellValue(3, 4, static_cast<unsigned char>(0xFF & ~(1 << k[0])));
    Recording lu(k[0], 10, 40, 5);
    Replay rp(31);
    EXPECT_EQ(lu.DevelopWithBackGround(&s.cur, 3, 4, &s.next, &bg), 0);
    EXPECT_EQ(lu.DevelopWithBackGround(&s.cur, 6, 0, &s.next, &bg) +
                  lu.DevelopWithBackGround(nullptr, 3, 4, nullptr, &bg),
              0);
    EXPECT_TRUE(rp.DrawsMatch() && lu.calls.empty());
    EXPECT_EQ(s.next.GetCellValue(3, 4), k[3]);
    EXPECT_EQ(s.next.GetCellAge(3, 4), k[4]);
    EXPECT_TRUE(s.SameExcept({{3, 4}}));
    EXPECT_EQ(s.cur.GetCellValue(3, 4), k[0]);
    bg.SetGridValue(0xFF);  // allowed: the rule runs with its arguments
    EXPECT_EQ(lu.DevelopWithBackGround(&s.cur, 2, 3, &s.next, &bg), 7);
    EXPECT_EQ(lu.calls, (decltype(lu.calls){{&s.cur, &s.next, 2, 3}}));
  }
}
