// Grows the built-in starting town on a 100 x 100 coverage for 50 steps
// and prints the cells of every land use every 10 steps.
#include <towngrow/towngrow.h>
#include <cstdio>

namespace {

void PrintCounts(const towngrow::CLandUseSet& set, const towngrow::StepReport& report) {
  std::printf("step %3ld:", report.step);
  for (int i = 0; i < set.m_LandUseArray.GetSize(); ++i) {
    const auto* use = static_cast<const towngrow::CLandUse*>(set.m_LandUseArray.GetAt(i));
    std::printf("  %s %ld", use->m_strLandUseName.c_str(), report.cellsPerId[use->m_ID]);
  }
  std::printf("\n");
}

}  // namespace

int main() {
  using namespace towngrow;
  Simulation sim;
  if (!sim.Init(100, 100)) return 1;
  PlaceStarterTown(sim.Current());
  SeedRandom(1);

  StepReport start;  // the town as placed, before the first step
  start.cellsPerId = CountCellsPerId(sim.Current());
  PrintCounts(sim.Set(), start);
  sim.Run(50, [&](const StepReport& report) {
    if (report.step % 10 == 0) PrintCounts(sim.Set(), report);
    return true;
  });
  return 0;
}
