// Peak memory of a full comparison (every measure, fuzzy kappa included) of
// two 10000 x 10000 maps with their start, beyond the maps: the peak
// resident set is reset once the maps are made (/proc/self/clear_refs),
// and the peak after the comparison, less the resident set before it, is
// what the comparison took.
//
//   ./build/bench/compare_memory          (towns; "noise" for random IDs)
#include <towngrow/towngrow.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "compare_maps.h"

namespace {

long StatusKiB(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(key, 0) == 0) return std::stol(line.substr(std::strlen(key)));
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace towngrow;
  const bool noise = argc > 1 && std::string(argv[1]) == "noise";
  const compare_bench::Maps m = noise ? compare_bench::NoiseMaps() : compare_bench::TownMaps();
  CLandUseSet set;
  const ClassScheme scheme = DefaultClasses(set);
  { std::ofstream("/proc/self/clear_refs") << "5"; }
  const long before = StatusKiB("VmRSS:");
  const RasterView start = m.View(m.start);
  const auto t0 = std::chrono::steady_clock::now();
  const ComparisonResult r =
      Compare(m.View(m.observed), m.View(m.simulated), &start, scheme, CompareOptions{});
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  const long peak = StatusKiB("VmHWM:");
  const double cells = static_cast<double>(m.side) * m.side;
  std::printf(
      "%s maps %d x %d: resident before %ld KiB, peak %ld KiB, comparison %.4f bytes per "
      "cell beyond the maps, %.2f s (kappa %.4f, fuzzy kappa %.4f)\n",
      noise ? "noise" : "town", m.side, m.side, before, peak,
      static_cast<double>(peak - before) * 1024.0 / cells, seconds, *r.kappa.value,
      *r.fuzzyKappa.value);
  return 0;
}
