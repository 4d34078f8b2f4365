// The maps of the comparison benchmarks: 10000 x 10000 cells made of 10 x 10
// tiles of towns that the model grew on a 1000 x 1000 grid (the sparse
// random start, then 30 steps under two seeds: the observed and the
// simulated town from one start), and, as the worst case for the run-based
// passes, maps of independent random IDs 0..6.
#pragma once

#include <towngrow/towngrow.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace compare_bench {

struct Maps {
  int side = 0;
  std::vector<unsigned char> start, observed, simulated;
  towngrow::RasterView View(const std::vector<unsigned char>& m) const {
    return towngrow::RasterView{m.data(), side, side, 0};
  }
};

inline void Tile(const towngrow::CLandUseCoverage& tile, int side,
                 std::vector<unsigned char>& out) {
  const int t = tile.m_nRows;
  out.resize(static_cast<std::size_t>(side) * static_cast<std::size_t>(side));
  for (int r = 0; r < side; ++r)
    for (int c = 0; c < side; ++c)
      out[static_cast<std::size_t>(r) * side + c] =
          tile.m_pData[static_cast<std::size_t>(r % t) * t + static_cast<std::size_t>(c % t)];
}

inline Maps TownMaps(int side = 10000, int tile = 1000, long steps = 30) {
  using namespace towngrow;
  SetMessageHandler([](const std::string&) {});
  Maps m;
  m.side = side;
  CLandUseSet set;
  CLandUseCoverage start;
  start.InitCoverage(tile, tile, 0);
  start.m_pLandUseSet = &set;
  SeedRandom(1);
  start.RandomFill();
  Tile(start, side, m.start);
  for (unsigned seed : {2u, 3u}) {
    Simulation sim(&set);
    sim.Init(tile, tile);
    sim.Current().CopyValueFromCoverage(&start);
    SeedRandom(seed);
    sim.Run(steps);
    Tile(sim.Current(), side, seed == 2 ? m.observed : m.simulated);
  }
  SetMessageHandler({});
  return m;
}

inline Maps NoiseMaps(int side = 10000) {
  Maps m;
  m.side = side;
  std::mt19937_64 gen(7);
  for (auto* v : {&m.start, &m.observed, &m.simulated}) {
    v->resize(static_cast<std::size_t>(side) * static_cast<std::size_t>(side));
    for (auto& x : *v) x = static_cast<unsigned char>(gen() % 7);
  }
  return m;
}

}  // namespace compare_bench
