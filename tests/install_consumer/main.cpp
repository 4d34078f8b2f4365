// Uses the installed headers and library through the umbrella header only;
// exits with 0 when the pieces answer as a host expects.
#include <towngrow/towngrow.h>
#include <cstdio>

int main() {
  using namespace towngrow;
  int failures = 0;
  SeedRandom(1);
  if (RandomDraw() != 41) ++failures;

  CLandUseSet set;
  if (set.m_LandUseArray.GetSize() != 7 || set.GetIDIndex(3) != 3) ++failures;

  Simulation sim;
  if (sim.Init(30, 30) != 1) ++failures;
  if (PlaceStarterTown(sim.Current()) != 1) ++failures;
  SetMessageHandler([](const std::string&) {});
  SeedRandom(1);
  if (sim.Run(3) != 3) ++failures;
  long total = 0;
  for (long n : sim.LastReport().cellsPerId) total += n;
  if (total != 30 * 30) ++failures;

  std::printf("towngrow %s consumer: %s\n", Version(), failures == 0 ? "ok" : "FAILED");
  return failures == 0 ? 0 : 1;
}
