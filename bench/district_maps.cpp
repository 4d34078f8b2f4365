// Makes a district to calibrate on, from scratch: the maps of a real
// district sample's size and growth, for bench/calibrate_district.sh.
//
//   district_maps OUT [ID.field=value ...]
//
// Writes into OUT (ASCII grids of 1575 rows x 2765 columns):
//   start.asc         a road network (street vertices, ID 2: a few long
//                     roads that wander across the district) and 360
//                     places along it (housing, ID 3: discs of 20
//                     to 1,200 cells with ragged edges), the road cells
//                     inside a place street nodes (ID 1); about 48,000
//                     developed cells
//   background.asc    255, and 0 (nothing grows) on a river that crosses
//                     the district and on a lake
//   urban-10.asc, urban-16.asc, urban-21.asc
//                     the control maps: the cells developed after 10, 16
//                     and 21 steps of the model (seed 1000) from the start
//                     under the background, as urban extents are given
//                     (developed cells housing, the rest vacant); about
//                     370,000 at 21 steps
// and prints the developed cells of each map. The model is the default
// one with the fields below ("truth"), which the arguments may change
// (ID.field=value for the fields listed in kFields); the maps repeat
// exactly. Public library surface only.
#include <towngrow/towngrow.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace towngrow;

constexpr int kRows = 1575;
constexpr int kCols = 2765;

// splitmix64: the district's own draws, the same on every platform.
struct Draws {
  std::uint64_t s;
  std::uint64_t Next() {
    std::uint64_t z = (s += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double Unit() { return static_cast<double>(Next() >> 11) / 9007199254740992.0; }
  int Below(int n) { return static_cast<int>(Unit() * n); }
};

// The fields of the truth the arguments may set.
struct Field {
  const char* name;
  int CLandUse::*member;
};
const Field kFields[] = {{"policy", &CLandUse::m_nPolicy},
                         {"maxLength", &CLandUse::m_nMaxLength},
                         {"neighborRadius", &CLandUse::m_nNeighborRadius},
                         {"activeAge", &CLandUse::m_nActiveAge},
                         {"inactivePeriod", &CLandUse::m_nInactivePeriod}};

bool SetField(CLandUseSet& set, const std::string& arg) {
  const std::size_t dot = arg.find('.'), eq = arg.find('=');
  if (dot == std::string::npos || eq == std::string::npos || eq < dot) return false;
  const int id = std::atoi(arg.substr(0, dot).c_str());
  const std::string name = arg.substr(dot + 1, eq - dot - 1);
  const int value = std::atoi(arg.substr(eq + 1).c_str());
  const int at = set.GetIDIndex(id);
  if (at < 0) return false;
  auto* use = static_cast<CLandUse*>(set.m_LandUseArray.GetAt(at));
  for (const Field& f : kFields)
    if (name == f.name) {
      use->*f.member = value;
      return true;
    }
  if (id == 1 && name == "housePercent") {
    static_cast<CStreetNode*>(use)->m_nHousePercent = value;
    return true;
  }
  if (id == 3 && name == "streetPercent") {
    static_cast<CHouse*>(use)->m_nStreetPercent = value;
    return true;
  }
  return false;
}

// A road that wanders from one side to the other: one cell wide, its
// direction drifting a little at every cell.
void DrawRoad(CLandUseCoverage& cov, Draws& d, bool across) {
  double r = across ? 50 + d.Below(kRows - 100) : 0;
  double c = across ? 0 : 50 + d.Below(kCols - 100);
  double heading = (across ? 0.0 : M_PI / 2) + (d.Unit() - 0.5) * 0.6;
  const double base = across ? 0.0 : M_PI / 2;
  int lastR = -1, lastC = -1;
  while (r >= 0 && r < kRows && c >= 0 && c < kCols) {
    const int ir = static_cast<int>(r), ic = static_cast<int>(c);
    // Keep the road 4-connected: fill the corner of a diagonal move.
    if (lastR >= 0 && ir != lastR && ic != lastC) cov.SetCellValue(lastR, ic, 2);
    cov.SetCellValue(ir, ic, 2);
    lastR = ir;
    lastC = ic;
    heading += (d.Unit() - 0.5) * 0.08;
    heading = base + std::max(-0.7, std::min(0.7, heading - base));
    r += std::sin(heading) * 0.9;
    c += std::cos(heading) * 0.9;
  }
}

long Developed(const CLandUseCoverage& cov) {
  long n = 0;
  const std::size_t cells = static_cast<std::size_t>(cov.m_nRows) * cov.m_nCols;
  for (std::size_t i = 0; i < cells; ++i) n += cov.m_pData[i] >= 1 && cov.m_pData[i] <= 5;
  return n;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: district_maps OUT [ID.field=value ...]\n");
    return 2;
  }
  const std::string out = argv[1];
  CLandUseSet set;
  // The truth: the default model with housing that settles beside any
  // cell (no street demand, no neighbourhood), up to 9 cells away, at a
  // policy of 69, so that the district grows about 8 times in 21 steps, as
  // the sample did.
  for (const char* f : {"3.policy=69", "3.maxLength=9", "3.neighborRadius=0", "3.streetPercent=0"})
    SetField(set, f);
  for (int i = 2; i < argc; ++i)
    if (!SetField(set, argv[i])) {
      std::fprintf(stderr, "district_maps: %s is not ID.field=value of a known field\n", argv[i]);
      return 2;
    }

  Draws d{20240501};
  CLandUseCoverage start, background;
  start.InitCoverage(kRows, kCols, 0);
  start.m_pLandUseSet = &set;
  background.InitCoverage(kRows, kCols, 0);
  background.m_pLandUseSet = &set;

  // The exclusion: a river from north to south, 30 to 50 cells wide, and a
  // lake.
  std::vector<unsigned char> closed(static_cast<std::size_t>(kRows) * kCols, 0);
  {
    double mid = kCols * 0.62;
    for (int r = 0; r < kRows; ++r) {
      mid += (d.Unit() - 0.5) * 3;
      const int half = 15 + static_cast<int>(10 * (0.5 + 0.5 * std::sin(r / 90.0)));
      for (int c = static_cast<int>(mid) - half; c <= static_cast<int>(mid) + half; ++c)
        if (c >= 0 && c < kCols) closed[static_cast<std::size_t>(r) * kCols + c] = 1;
    }
    const int lr = kRows / 4, lc = kCols / 5, rad = 110;
    for (int r = lr - rad; r <= lr + rad; ++r)
      for (int c = lc - rad; c <= lc + rad; ++c)
        if ((r - lr) * (r - lr) + (c - lc) * (c - lc) <= rad * rad)
          closed[static_cast<std::size_t>(r) * kCols + c] = 1;
  }

  // Roads: four across, three from north to south.
  for (int i = 0; i < 4; ++i) DrawRoad(start, d, true);
  for (int i = 0; i < 3; ++i) DrawRoad(start, d, false);
  std::vector<std::pair<int, int>> roadCells;
  for (int r = 0; r < kRows; ++r)
    for (int c = 0; c < kCols; ++c)
      if (start.GetCellValue(r, c) == 2 && !closed[static_cast<std::size_t>(r) * kCols + c])
        roadCells.emplace_back(r, c);

  // Places along the roads: sizes from 20 to 1,200 cells, most small.
  const int places = 360;
  for (int p = 0; p < places; ++p) {
    const auto [pr, pc] =
        roadCells[static_cast<std::size_t>(d.Below(static_cast<int>(roadCells.size())))];
    const double size = 20 * std::pow(60.0, d.Unit() * d.Unit());
    const double radius = std::sqrt(size / M_PI);
    const int reach = static_cast<int>(radius * 1.4) + 1;
    for (int r = pr - reach; r <= pr + reach; ++r)
      for (int c = pc - reach; c <= pc + reach; ++c) {
        if (r < 0 || r >= kRows || c < 0 || c >= kCols) continue;
        if (closed[static_cast<std::size_t>(r) * kCols + c]) continue;
        const double dist = std::hypot(r - pr, c - pc);
        if (dist > radius * (0.75 + 0.5 * d.Unit())) continue;
        const int v = start.GetCellValue(r, c);
        start.SetCellValue(r, c, v == 2 || v == 1 ? 1 : 3);
      }
  }
  for (int r = 0; r < kRows; ++r)
    for (int c = 0; c < kCols; ++c)
      background.SetCellValue(r, c, closed[static_cast<std::size_t>(r) * kCols + c] ? 0 : 255);

  if (!start.ExportASCFile(out + "/start.asc") ||
      !background.ExportASCFile(out + "/background.asc")) {
    std::fprintf(stderr, "district_maps: cannot write into %s\n", out.c_str());
    return 1;
  }
  std::printf("start: %ld developed cells\n", Developed(start));

  Simulation sim(&set);
  sim.Init(kRows, kCols);
  sim.Current().CopyValueFromCoverage(&start);
  sim.SetBackground(&background);
  SeedRandom(1000);
  CLandUseCoverage urban;
  urban.InitCoverage(kRows, kCols, 0);
  urban.m_pLandUseSet = &set;
  const Simulation& read = sim;
  for (long steps : {10L, 16L, 21L}) {
    sim.Run(steps - sim.StepCount());
    const unsigned char* v = read.Current().m_pData;
    const std::size_t n = static_cast<std::size_t>(kRows) * kCols;
    for (std::size_t i = 0; i < n; ++i) urban.m_pData[i] = v[i] >= 1 && v[i] <= 5 ? 3 : 0;
    const std::string name = out + "/urban-" + std::to_string(steps) + ".asc";
    if (!urban.ExportASCFile(name)) return 1;
    std::printf("urban-%ld: %ld developed cells\n", steps, Developed(urban));
  }
  return 0;
}
