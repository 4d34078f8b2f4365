// The library tests' scaffolding: a scene of two linked coverages, notices,
// whole-coverage snapshots and digests, and the replayed random sequence.
#pragma once

#include <gtest/gtest.h>

#include <towngrow/towngrow.h>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace testkit {

using namespace towngrow;

// Row and column change of the eight direction codes, clockwise from up.
constexpr int kDRow[8] = {-1, -1, 0, 1, 1, 1, 0, -1};
constexpr int kDCol[8] = {0, 1, 1, 1, 0, -1, -1, -1};

constexpr const char* kVacantNotice = "Yes,You have changed the setting,..";
constexpr const char* kIndustryNotice = "Yes,You have changed the Industry setting,..";
constexpr const char* kCommerceNotice = "Yes,You have changed the Commerce setting,..";

// The generator's sequence for one seed, consumed draw by draw the way the
// code is expected to consume it. Constructing it reseeds the generator, so
// the code under test starts from the same seed.
class Replay {
public:
  explicit Replay(unsigned int seed, int count = 512) {
    SeedRandom(seed);
    for (int k = 0; k < count; ++k) draws_.push_back(RandomDraw());
    SeedRandom(seed);
  }
  int Draw() { return draws_.at(pos_++); }
  void Skip(int n) { pos_ += static_cast<std::size_t>(n); }
  // A uniform draw 1..|n|, no draw for 0.
  int Int(int n) { return n == 0 ? 0 : Draw() % n + 1; }
  // Index of the largest draw over the weights; ties to the earlier index.
  int MaxIndex(const std::vector<int>& weights) {
    int best = -32767, index = -1;
    for (std::size_t i = 0; i < weights.size(); ++i) {
      const int d = Int(weights[i]);
      if (d > best) best = d, index = static_cast<int>(i);
    }
    return index;
  }
  // True when the code took exactly the draws replayed so far.
  bool DrawsMatch() const { return RandomDraw() == draws_.at(pos_); }

private:
  std::vector<int> draws_;
  std::size_t pos_ = 0;
};

// Records every notice while it lives.
class NoticeRecorder {
public:
  NoticeRecorder() {
    old_ = SetMessageHandler([this](const std::string& t) { texts.push_back(t); });
  }
  ~NoticeRecorder() { SetMessageHandler(old_); }
  NoticeRecorder(const NoticeRecorder&) = delete;
  NoticeRecorder& operator=(const NoticeRecorder&) = delete;
  std::vector<std::string> texts;

private:
  MessageHandler old_;
};

inline std::vector<unsigned char> Values(const CLandUseCoverage& cov) {
  return std::vector<unsigned char>(cov.m_pData, cov.m_pData + cov.m_nRows * cov.m_nCols);
}
inline std::vector<short> Ages(const CLandUseCoverage& cov) {
  return std::vector<short>(cov.m_pCellAge, cov.m_pCellAge + cov.m_nRows * cov.m_nCols);
}

// FNV-1a over 64 bits: one number for a whole state, run or file. A
// coverage adds, cell by cell in rows, its value and then its age as an
// unsigned 16-bit number (the reduction of the step-cost yardstick).
struct Digest {
  std::uint64_t h = 1469598103934665603ULL;
  Digest& Add(std::uint64_t v) {
    h = (h ^ v) * 1099511628211ULL;
    return *this;
  }
  Digest& Add(const CLandUseCoverage& cov) {
    for (int r = 0; r < cov.m_nRows; ++r)
      for (int c = 0; c < cov.m_nCols; ++c)
        Add(cov.GetCellValue(r, c)).Add(static_cast<unsigned short>(cov.GetCellAge(r, c)));
    return *this;
  }
  Digest& Add(const std::string& bytes) {
    for (unsigned char b : bytes) Add(b);
    return *this;
  }
  std::string Hex() const {
    char buf[20];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
    return buf;
  }
};

// A square grid of side `side` holding the starter town, linked to a default set.
struct StarterTown {
  CLandUseSet set;
  CLandUseCoverage start;
  explicit StarterTown(int side) {
    start.InitCoverage(side, side, 0);
    start.m_pLandUseSet = &set;
    PlaceStarterTown(start);
  }
  // The maps `rules` grow from the start after each of `steps`, from `seed`.
  std::vector<std::vector<unsigned char>> Grown(CLandUseSet& rules, unsigned seed,
                                                const std::vector<long>& steps) const {
    Simulation sim(&rules);
    sim.Init(start.m_nRows, start.m_nCols);
    sim.Current().CopyValueFromCoverage(&start);
    sim.Current().m_pLandUseSet = &rules;
    SeedRandom(seed);
    std::vector<std::vector<unsigned char>> maps;
    for (const long s : steps) {
      sim.Run(s - sim.StepCount());
      const CLandUseCoverage& c = static_cast<const Simulation&>(sim).Current();
      maps.emplace_back(c.m_pData, c.m_pData + c.m_nRows * c.m_nCols);
    }
    return maps;
  }
};

// A read coverage and a written coverage of the same size, both linked to a set holding the
// default roster; all cells start vacant at age 0.
struct Scene {
  explicit Scene(int rows = 20, int cols = 20) : rows(rows), cols(cols) {
    EXPECT_EQ(cur.InitCoverage(rows, cols, 0), 1);
    EXPECT_EQ(next.InitCoverage(rows, cols, 0), 1);
    cur.m_pLandUseSet = &set;
    next.m_pLandUseSet = &set;
  }
  // Writes a cell into the read coverage (call Start afterwards).
  void Put(int r, int c, int id, short age = 0) {
    cur.SetCellValue(r, c, static_cast<unsigned char>(id));
    cur.SetCellAge(r, c, age);
  }
  void PutRow(int r, int c0, int c1, int id) {
    for (int c = c0; c <= c1; ++c) Put(r, c, id);
  }
  // The start of a step: the written coverage becomes a copy of the read one.
  void Start() { next.CopyValueFromCoverage(&cur); }

  template <class T>
  T* Get(int position) {
    return dynamic_cast<T*>(set.m_LandUseArray[position]);
  }
  // Appends a land use of type T with the given ID to the set.
  template <class T>
  T* Add(int id) {
    T* lu = new T();
    lu->SetID(id);
    set.m_LandUseArray.Add(lu);
    return lu;
  }

  // True when the written coverage differs from the read one only in the
  // listed cells (row, col pairs), values and ages both compared.
  bool SameExcept(std::initializer_list<std::pair<int, int>> cells) const {
    for (int y = 0; y < rows; ++y)
      for (int x = 0; x < cols; ++x) {
        bool listed = false;
        for (auto& rc : cells) listed = listed || (rc.first == y && rc.second == x);
        if (listed) continue;
        if (cur.GetCellValue(y, x) != next.GetCellValue(y, x) ||
            cur.GetCellAge(y, x) != next.GetCellAge(y, x))
          return false;
      }
    return true;
  }

  int rows, cols;
  CLandUseSet set;
  CLandUseCoverage cur, next;
};

// Appends `lu` to the set with the given ID and category.
inline CLandUse* Append(CLandUseSet& set, int id, int category, CLandUse* lu = new CLandUse()) {
  lu->m_ID = static_cast<unsigned char>(id);
  lu->m_LandUseCategory = static_cast<LandUseCategory>(category);
  set.m_LandUseArray.Add(lu);
  return lu;
}
// Empties a set's array, destroying what it held.
inline void ClearSet(CLandUseSet& set) {
  for (int i = 0; i < set.m_LandUseArray.GetSize(); ++i) delete set.m_LandUseArray.GetAt(i);
  set.m_LandUseArray.RemoveAll();
}

inline void SetWeights(int* w, int a, int b, int c) { w[0] = a, w[1] = b, w[2] = c; }

// The per-mille entries of a length draw over n candidates, transcribed plainly: n weights of the
// density law, their sum S, and w(i) / S x 1000 cut toward zero (held inside the int range) for the
// first n - 1. Where these have no value (unknown law, S zero or not finite, a quotient not finite)
// every entry is 0.
inline std::vector<int> LengthPerMille(int law, double a, double b, double c, int n) {
  if (n <= 1) return {};
  if (law < 0 || law > 3) return std::vector<int>(n - 1, 0);
  std::vector<double> w;
  double sum = 0;
  for (int i = 0; i < n; ++i) {
    const double di = i, power = law >= 2 ? a * std::pow(di + 1.0, -c) : 0.0;
    w.push_back(law == 0   ? 1.0 - a * di / n
                : law == 1 ? a * std::exp(-b * di)
                : law == 2 ? power
                           : power * std::exp(-b * di));
    sum += w.back();
  }
  std::vector<int> pm(n - 1, 0);
  if (!std::isfinite(sum) || sum == 0) return pm;
  for (int i = 0; i < n - 1; ++i) {
    const double v = w[i] / sum * 1000.0;
    if (!std::isfinite(v)) return std::vector<int>(n - 1, 0);
    pm[i] = static_cast<int>(std::clamp(v, -2147483647.0, 2147483647.0));
  }
  return pm;
}
inline std::vector<int> LengthPerMille(const CLandUse& l, int n) {
  return LengthPerMille(l.m_nDensityType, l.m_dDensityScale, l.m_dDensityRate, l.m_dDensityPower,
                        n);
}

// Random density parameters: mostly laws 0..3, scales of either sign (so
// that weight sums fall below zero, to zero and above), any rate and power.
inline void RandomLaw(std::mt19937& g, CLandUse& l) {
  std::uniform_real_distribution<double> u(-3.0, 5.0);
  l.m_nDensityType = std::uniform_int_distribution<int>(-1, 13)(g) % 5;  // 4 and -1: unknown
  l.m_dDensityScale = g() % 8 == 0 ? 0.0 : u(g);
  l.m_dDensityRate = u(g) / 2;
  l.m_dDensityPower = u(g) / 2;
}

}  // namespace testkit
