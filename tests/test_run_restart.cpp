// A driver restarted run after run from one start (the calibration's runs) starts each run from the
// state a fresh driver gets, whatever came before: other sets, seeds, step counts, a host's rule or
// edit, another background or start; the blocks it marks hold every cell a run changed.
#include "run_restart.h"
#include "run_start.h"
#include "support/scene.h"

using namespace testkit;

namespace {

class Own : public CHouse {};  // a host's class: its writes are not logged

enum Edit { kNone, kHostRule, kHostEdit, kOtherBackground, kOtherStart };

struct Leg {
  int streetPercent;  // housing's, in this run's set
  unsigned seed;
  long steps;
  Edit edit;  // what this run does differently, or what follows it
};

// The end state, reports and the generator's next draw of a run.
std::string Outcome(const Simulation& sim) {
  Digest d;
  d.Add(sim.Current());
  for (long v : sim.LastReport().cellsPerId) d.Add(static_cast<std::uint64_t>(v));
  for (long v : sim.LastReport().developments) d.Add(static_cast<std::uint64_t>(v));
  d.Add(static_cast<std::uint64_t>(sim.StepCount()));
  return d.Add(static_cast<std::uint64_t>(RandomDraw())).Hex();
}

std::unique_ptr<CLandUseSet> SetFor(const Leg& run) {
  auto set = std::make_unique<CLandUseSet>();
  if (run.edit == kHostRule) {
    delete set->m_LandUseArray.GetAt(3);
    set->m_LandUseArray.SetAt(3, new Own());
  }
  static_cast<CHouse*>(set->m_LandUseArray.GetAt(3))->m_nStreetPercent = run.streetPercent;
  return set;
}

}  // namespace

TEST(RunRestart, EveryRunStartsFromTheStateAFreshDriverGets) {
  NoticeRecorder quiet;
  CLandUseSet startSet;
  CLandUseCoverage starts[2];
  CGrid backgrounds[2];  // everything allowed but a band, in two places
  for (int k = 0; k < 2; ++k) {
    ASSERT_EQ(starts[k].InitCoverage(66, 70, 0), 1);
    starts[k].m_pLandUseSet = &startSet;
    SeedRandom(50 + k);
    ASSERT_EQ(starts[k].RandomFill() + PlaceStarterTown(starts[k]), 2);
    ASSERT_EQ(backgrounds[k].InitGrid(66, 70, 0xFF), 1);
    for (int c = 0; c < 70; ++c) backgrounds[k].SetCellValue(10 + 25 * k, c, 0x01);
  }
  const Leg runs[] = {
      {5, 1, 8, kNone},   {30, 2, 5, kNone},       {5, 3, 12, kNone}, {5, 4, 6, kHostRule},
      {10, 5, 9, kNone},  {5, 6, 7, kHostEdit},    {5, 7, 8, kNone},  {5, 8, 6, kOtherBackground},
      {20, 9, 10, kNone}, {5, 10, 4, kOtherStart}, {5, 11, 9, kNone}};
  Simulation reused(nullptr);
  std::unique_ptr<CLandUseSet> kept;
  const CGrid* background = nullptr;
  const CLandUseCoverage* start = &starts[0];
  for (const Leg& run : runs) {
    SCOPED_TRACE(run.seed);
    if (run.edit == kOtherBackground) background = &backgrounds[run.seed % 2];
    if (run.edit == kOtherStart) start = &starts[1];
    auto set = SetFor(run);
    detail::RunRestart::Start(reused, *start, set.get(), background, "test");
    kept = std::move(set);
    SeedRandom(run.seed), reused.Run(run.steps);
    const std::string got = Outcome(reused);

    auto freshSet = SetFor(run);
    Simulation fresh(freshSet.get());
    detail::StartRun(fresh, *start, freshSet.get(), background, "test");
    SeedRandom(run.seed), fresh.Run(run.steps);
    EXPECT_EQ(got, Outcome(fresh));

    // Every cell that differs from the start lies in a marked block.
    const auto* changed = detail::RunRestart::ChangedSinceStart(reused);
    EXPECT_EQ(changed == nullptr, run.edit == kHostRule);
    if (changed != nullptr) {
      ASSERT_EQ(changed->size(), 2u);  // 73 blocks of 64 cells
      const CLandUseCoverage& end = std::as_const(reused).Current();
      for (std::uint32_t i = 0; i < 66u * 70u; ++i)
        if (end.m_pData[i] != start->m_pData[i] || end.m_pCellAge[i] != start->m_pCellAge[i]) {
          EXPECT_EQ(((*changed)[i / 4096] >> (i / 64 % 64)) & 1, 1u) << i;
        }
    }
    if (run.edit == kHostEdit) {  // through a kept pointer, said to the driver
      const_cast<unsigned char*>(std::as_const(reused).Current().m_pData)[5] = 4;
      reused.MarkEdited();
      EXPECT_EQ(detail::RunRestart::ChangedSinceStart(reused), nullptr);  // no longer known
    }
  }
}
