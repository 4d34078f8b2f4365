// Digest of many runs through the public surface: one line per scenario
// with a hash of the final state, the Develop results, the messages shown
// and the generator's state after the run. Two builds of the library that
// print the same lines grow the same towns, draw the same numbers and show
// the same messages, so every speed change is checked against the build
// before it:
//
//   ./step_digest > before.txt   (old build)
//   ./step_digest > after.txt    (new build)
//   diff before.txt after.txt
//
// The scenarios cover the sparse and the dense start, small and odd grids
// (every cell near a border), the driver with and without a background, a
// changed roster (appended land uses, changed IDs and categories, a null
// entry, parameters of every rule) and the host changing the set between
// steps.
#include <towngrow/towngrow.h>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

using namespace towngrow;

namespace {

struct Digest {
  std::uint64_t h = 1469598103934665603ULL;
  void Add(std::uint64_t v) { h = (h ^ v) * 1099511628211ULL; }
};

Digest g_messages;
long g_messageCount = 0;

void AddState(Digest& d, const CLandUseCoverage& cov) {
  for (int r = 0; r < cov.m_nRows; ++r)
    for (int c = 0; c < cov.m_nCols; ++c) {
      d.Add(cov.GetCellValue(r, c));
      d.Add(static_cast<unsigned short>(cov.GetCellAge(r, c)));
    }
}

// The reference step written out by hand, as a host does it; results of
// Develop go into the digest.
void HostStep(CLandUseSet& set, CLandUseCoverage*& cur, CLandUseCoverage*& nxt, Digest& d,
              const CGrid* background) {
  nxt->CopyValueFromCoverage(cur);
  for (int r = 0; r < cur->m_nRows; ++r)
    for (int c = 0; c < cur->m_nCols; ++c) {
      const int i = set.GetIDIndex(cur->GetCellValue(r, c));
      if (i < 0) continue;
      auto* use = static_cast<CLandUse*>(set.m_LandUseArray.GetAt(i));
      if (use == nullptr) continue;
      const int done = background == nullptr
                           ? use->Develop(cur, r, c, nxt)
                           : use->DevelopWithBackGround(cur, r, c, nxt, background);
      d.Add(static_cast<std::uint64_t>(done) + 7u * static_cast<std::uint64_t>(i));
    }
  std::swap(cur, nxt);
}

template <class T>
T* As(CLandUseSet& set, int i) {
  return dynamic_cast<T*>(set.m_LandUseArray.GetAt(i));
}

void Report(const char* name, Digest& d) {
  d.Add(static_cast<std::uint64_t>(RandomDraw()));  // the generator's state
  std::printf("%-28s %016llx messages %ld %016llx\n", name, static_cast<unsigned long long>(d.h),
              g_messageCount, static_cast<unsigned long long>(g_messages.h));
}

// Runs `steps` host steps from a start; `change` may alter the set before
// each step (step number given).
template <class Change>
void DigestCase(const char* name, int rows, int cols, unsigned seed, int steps,
                const std::vector<int>& weights, CLandUseSet& set, const CGrid* background,
                Change change) {
  CLandUseCoverage a, b;
  a.InitCoverage(rows, cols, 0);
  b.InitCoverage(rows, cols, 0);
  a.m_pLandUseSet = &set;
  b.m_pLandUseSet = &set;
  SeedRandom(seed);
  if (weights.empty())
    a.RandomFill();
  else
    a.RandomFill(weights.data(), static_cast<int>(weights.size()));
  CLandUseCoverage* cur = &a;
  CLandUseCoverage* nxt = &b;
  Digest d;
  for (int s = 0; s < steps; ++s) {
    change(s);
    HostStep(set, cur, nxt, d, background);
  }
  AddState(d, *cur);
  Report(name, d);
}

void NoChange(int) {}

}  // namespace

int main() {
  SetMessageHandler([](const std::string& text) {
    ++g_messageCount;
    for (unsigned char ch : text) g_messages.Add(ch);
  });
  const std::vector<int> sparse;
  const std::vector<int> dense = {100, 2, 10, 40, 10, 10, 0};
  const std::vector<int> mixed = {30, 8, 20, 40, 25, 25, 5};

  {
    CLandUseSet set;
    DigestCase("sparse 120x90 s7", 120, 90, 7, 60, sparse, set, nullptr, NoChange);
    DigestCase("sparse 5x5 s3", 5, 5, 3, 40, sparse, set, nullptr, NoChange);
    DigestCase("sparse 7x13 s11", 7, 13, 11, 60, sparse, set, nullptr, NoChange);
    DigestCase("dense 100x100 s7", 100, 100, 7, 30, dense, set, nullptr, NoChange);
    DigestCase("mixed 60x61 s5", 60, 61, 5, 40, mixed, set, nullptr, NoChange);
    DigestCase("mixed 6x200 s9", 6, 200, 9, 40, mixed, set, nullptr, NoChange);
  }
  {
    // Parameters of every rule moved off their defaults.
    CLandUseSet set;
    auto* node = As<CStreetNode>(set, 1);
    node->m_nConnectMode = 2;
    node->m_nJunctionFillPercent = 60;
    node->m_nJunctionVertices = 3;
    node->m_nMinStep = 3;
    node->m_nMaxStep = 5;
    node->m_nDensityType = 1;
    auto* house = As<CLandUse>(set, 3);
    house->m_nNeighborRadius = 3;
    house->m_nMaxLength = 7;
    house->m_nDensityType = 3;
    house->m_dDensityRate = 0.3;
    house->m_dDensityPower = 1.5;
    house->m_nPolicy = 80;
    auto* industry = As<CLandUse>(set, 4);
    industry->m_nDensityType = 2;
    industry->m_nNeighborRadius = 1;
    auto* commerce = As<CLandUse>(set, 5);
    commerce->m_nNeighborRadius = 4;
    commerce->m_nDeadAge = 5;
    DigestCase("params mixed 80x80 s2", 80, 80, 2, 40, mixed, set, nullptr, NoChange);
    node->m_nConnectMode = 1;
    DigestCase("params sparse 150x150 s4", 150, 150, 4, 60, sparse, set, nullptr, NoChange);
  }
  {
    // Appended land uses: a second housing (ID 9), a second vacant land
    // (ID 12), a second street node (ID 7), a land use of category 9
    // (ID 8), and a null entry in between.
    CLandUseSet set;
    auto* house2 = new CLandUse();
    house2->m_ID = 9;
    house2->m_LandUseCategory = House;
    set.m_LandUseArray.Add(house2);
    set.m_LandUseArray.Add(nullptr);
    auto* vacant2 = new CLandUse();
    vacant2->m_ID = 12;
    set.m_LandUseArray.Add(vacant2);
    auto* node2 = new CStreetNode();
    node2->m_ID = 7;
    set.m_LandUseArray.Add(node2);
    auto* odd = new CLandUse();
    odd->m_ID = 8;
    odd->m_LandUseCategory = static_cast<LandUseCategory>(9);
    set.m_LandUseArray.Add(odd);
    const std::vector<int> wide = {60, 4, 10, 30, 10, 10, 3, 3, 3, 10, 0, 0, 5};
    DigestCase("appended wide 90x70 s6", 90, 70, 6, 40, wide, set, nullptr, NoChange);
    DigestCase("appended sparse 100x100 s8", 100, 100, 8, 50, sparse, set, nullptr, NoChange);
  }
  {
    // The host changes IDs and categories between steps.
    CLandUseSet set;
    auto* house = As<CLandUse>(set, 3);
    auto* commerce = As<CLandUse>(set, 5);
    auto* extra = new CLandUse();
    extra->m_ID = 20;
    extra->m_LandUseCategory = Commerce;
    DigestCase("changing 90x90 s12", 90, 90, 12, 60, mixed, set, nullptr, [&](int s) {
      if (s == 10) house->m_LandUseCategory = Industry;
      if (s == 15) house->m_LandUseCategory = House;
      if (s == 20) commerce->m_ID = 11;
      if (s == 25) set.m_LandUseArray.Add(extra);
      if (s == 30) commerce->m_ID = 5;
      if (s == 35) house->m_ID = 0;  // two vacant IDs: the earlier wins
      if (s == 40) house->m_ID = 3;
      if (s == 45) house->m_nMaxLength = 9;
      if (s == 50) house->m_dDensityScale = 0.5;
    });
  }
  {
    // Background rasters through the driver and by hand.
    CLandUseSet set;
    CGrid background;
    background.InitGrid(100, 100, 0xFF);
    for (int r = 0; r < 100; ++r)
      for (int c = 0; c < 100; ++c)
        background.SetCellValue(
            r, c, static_cast<unsigned char>((r * 7 + c * 13) % 3 == 0 ? 0x07 : 0xFF));
    DigestCase("background 100x100 s21", 100, 100, 21, 40, mixed, set, &background, NoChange);

    Simulation sim;
    sim.Init(100, 100);
    SeedRandom(33);
    sim.Current().RandomFill();
    PlaceStarterTown(sim.Current());
    sim.SetBackground(&background);
    Digest d;
    for (int s = 0; s < 40; ++s) {
      const StepReport& rep = sim.Step();
      for (long v : rep.developments) d.Add(static_cast<std::uint64_t>(v));
    }
    AddState(d, sim.Current());
    Report("driver background s33", d);
  }
  {
    Simulation sim;
    sim.Init(200, 150);
    SeedRandom(1);
    sim.Current().RandomFill();
    PlaceStarterTown(sim.Current());
    Digest d;
    for (int s = 0; s < 60; ++s) {
      const StepReport& rep = sim.Step();
      for (long v : rep.developments) d.Add(static_cast<std::uint64_t>(v));
      for (long v : rep.cellsPerId) d.Add(static_cast<std::uint64_t>(v));
    }
    AddState(d, sim.Current());
    Report("driver 200x150 s1", d);
  }
  {
    // Single operations on a grown coverage, called alone.
    CLandUseSet set;
    CLandUseCoverage a;
    a.InitCoverage(40, 40, 0);
    a.m_pLandUseSet = &set;
    SeedRandom(77);
    a.RandomFill(mixed.data(), 7);
    Digest d;
    CLandUse probe;
    const LandUseCategory three[3] = {House, Commerce, House};
    for (int r = -3; r < 43; ++r)
      for (int c = -3; c < 43; ++c)
        for (int radius = -1; radius <= 5; radius += 2) {
          for (int k = 0; k < 8; ++k)
            d.Add(static_cast<std::uint64_t>(
                probe.GetCategoryInNeighbor(&a, static_cast<LandUseCategory>(k), r, c, radius)));
          int counts[3] = {-1, -1, -1};
          d.Add(static_cast<std::uint64_t>(
              probe.GetCategoryInNeighbor(&a, three, counts, 3, r, c, radius)));
          for (int v : counts) d.Add(static_cast<std::uint64_t>(v));
          d.Add(static_cast<std::uint64_t>(a.GetLandUseCategory(r, c)));
        }
    for (int n = -2; n < 40; ++n)
      for (int law = -1; law < 5; ++law) {
        probe.m_nDensityType = law;
        d.Add(static_cast<std::uint64_t>(probe.GetRealLength(n)));
      }
    for (int id = 0; id < 256; ++id) {
      d.Add(static_cast<std::uint64_t>(set.GetIDIndex(static_cast<unsigned char>(id))));
      d.Add(static_cast<std::uint64_t>(set.GetCategory(static_cast<unsigned char>(id))));
      d.Add(static_cast<std::uint64_t>(set.GetColor(static_cast<unsigned char>(id))));
    }
    Report("single operations", d);
  }
  return 0;
}
