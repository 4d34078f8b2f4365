// The start and control map of the calibration benchmarks' scenes: the
// built-in town alone, or one built-in town in the middle of every cell of
// a lattice x lattice grid over the region, grown `steps` steps from seed
// 1000 by the default model. Public library surface only, so that the
// benchmarks using it still build against an older library.
#pragma once

#include <towngrow/towngrow.h>
#include <cstddef>
#include <memory>
#include <vector>

namespace bench {

// Places the starting towns on `start` (side x side cells, bound to `set`).
inline void PlaceTowns(towngrow::CLandUseCoverage& start, towngrow::CLandUseSet& set, int side,
                       int lattice) {
  using namespace towngrow;
  start.InitCoverage(side, side, 0);
  start.m_pLandUseSet = &set;
  if (lattice == 1) {
    PlaceStarterTown(start);
    return;
  }
  CLandUseCoverage town;
  const int spacing = side / lattice;
  town.InitCoverage(spacing, spacing, 0);
  town.m_pLandUseSet = &set;
  PlaceStarterTown(town);
  for (int i = 0; i < lattice; ++i)
    for (int j = 0; j < lattice; ++j)
      for (int r = 0; r < spacing; ++r)
        for (int c = 0; c < spacing; ++c)
          if (town.GetCellValue(r, c) != 0)
            start.SetCellValue(i * spacing + r, j * spacing + c, town.GetCellValue(r, c));
}

// The cells of `start` after `steps` steps from seed 1000: the control map.
inline std::vector<unsigned char> GrowControl(towngrow::CLandUseSet& set,
                                              const towngrow::CLandUseCoverage& start, int side,
                                              long steps) {
  towngrow::Simulation sim(&set);
  sim.Init(side, side);
  sim.Current().CopyValueFromCoverage(&start);
  towngrow::SeedRandom(1000);
  sim.Run(steps);
  const towngrow::Simulation& read = sim;
  const unsigned char* cells = read.Current().m_pData;
  return {cells, cells + static_cast<std::size_t>(side) * side};
}

// A default set whose housing (ID 3) takes the point's first value as its
// streetPercent: the searches over that one field.
inline std::unique_ptr<towngrow::CLandUseSet> HouseStreetPercentSet(const towngrow::Point& p) {
  auto set = std::make_unique<towngrow::CLandUseSet>();
  static_cast<towngrow::CHouse*>(set->m_LandUseArray.GetAt(set->GetIDIndex(3)))->m_nStreetPercent =
      static_cast<int>(p.values[0]);
  return set;
}

}  // namespace bench
