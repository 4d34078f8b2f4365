// Fills a coverage with the sparse random start and prints how many cells
// each land use got.
//   usage: random_fill [seed]    (seed 1 when none is given)
#include <towngrow/towngrow.h>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  using namespace towngrow;
  const unsigned seed = argc > 1 ? static_cast<unsigned>(std::strtoul(argv[1], nullptr, 10)) : 1u;

  CLandUseSet set;
  CLandUseCoverage coverage;
  if (!coverage.InitCoverage(100, 100, 0)) return 1;
  coverage.m_pLandUseSet = &set;

  SeedRandom(seed);
  coverage.RandomFill();

  const std::array<long, 256> counts = CountCellsPerId(coverage);
  std::printf("Sparse random start, 100 x 100, seed %u\n", seed);
  for (int i = 0; i < set.m_LandUseArray.GetSize(); ++i) {
    const CLandUse* use = static_cast<const CLandUse*>(set.m_LandUseArray.GetAt(i));
    std::printf("  %3d  %-14s %6ld\n", use->m_ID, use->m_strLandUseName.c_str(), counts[use->m_ID]);
  }
  return 0;
}
