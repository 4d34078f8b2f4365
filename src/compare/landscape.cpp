// Landscape metrics of one map by 8-connected patch labelling, row by row.
//
// Each row is cut into runs of one class. A run gets a provisional label
// and is joined (union-find) with every run of the same class in the row
// above that touches it, diagonals included. After the row, the labels in
// use are renumbered from 0 and carry their patch's area and perimeter so
// far; a patch that no run of the new row continues is complete and is
// added to its class's totals. So memory is linear in columns and time
// linear in cells.
//
// Perimeter: every run has two vertical sides (border sides included);
// the horizontal sides between two rows are the columns where the classes
// differ (found from a prefix sum over the row), and the top and bottom
// rows add their border sides. Total edge counts the same sides between
// two cells of different classes, but not the map's border.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "compare/compare_internal.h"

namespace towngrow::compare_detail {

struct LandscapeScratch {
  struct Run {
    int start, end;  // columns [start, end)
    std::uint8_t cls;
    int label;
  };
  std::vector<Run> prev, cur;
  std::vector<std::uint8_t> prevCls, curCls;
  std::vector<std::int32_t> differ;  // prefix sums of "class differs from the row above"
  std::vector<int> parent, renumber;
  std::vector<std::uint64_t> area, perimeter, area2, perimeter2;
  std::vector<std::uint8_t> labelCls, labelCls2;
  std::vector<double> compactness;  // per class, sum over patches
};

LandscapeScratchHolder::LandscapeScratchHolder() : p(new LandscapeScratch()) {}
LandscapeScratchHolder::~LandscapeScratchHolder() { delete p; }

namespace {

int Find(std::vector<int>& parent, int x) {
  while (parent[static_cast<std::size_t>(x)] != x) {
    int& px = parent[static_cast<std::size_t>(x)];
    px = parent[static_cast<std::size_t>(px)];
    x = px;
  }
  return x;
}

}  // namespace

void Landscape(const RasterView& map, const ClassTable& t, std::vector<LandscapeMetrics>& out,
               LandscapeScratch& s) {
  using Run = LandscapeScratch::Run;
  const int K = t.K;
  const std::uint8_t none = static_cast<std::uint8_t>(K);
  const int cols = map.cols;
  const std::size_t w = static_cast<std::size_t>(cols);
  out.assign(static_cast<std::size_t>(K), LandscapeMetrics{});
  s.compactness.assign(static_cast<std::size_t>(K), 0.0);
  s.prev.clear();
  s.curCls.resize(w);
  s.prevCls.resize(w);
  s.differ.resize(w + 1);
  const std::size_t maxLabels = 2 * w + 2;
  s.parent.resize(maxLabels);
  s.renumber.resize(maxLabels);
  for (auto* v : {&s.area, &s.perimeter, &s.area2, &s.perimeter2}) v->resize(maxLabels);
  s.labelCls.resize(maxLabels);
  s.labelCls2.resize(maxLabels);

  auto complete = [&](int label) {
    const std::size_t l = static_cast<std::size_t>(label);
    LandscapeMetrics& m = out[s.labelCls[l]];
    const double a = static_cast<double>(s.area[l]);
    ++m.patches;
    m.area += s.area[l];
    m.largestPatch = std::max(m.largestPatch, s.area[l]);
    s.compactness[s.labelCls[l]] +=
        static_cast<double>(s.perimeter[l]) / (2.0 * std::sqrt(3.14159265358979323846 * a));
  };

  int held = 0;  // labels 0..held-1 belong to the previous row's runs
  for (int r = 0; r < map.rows; ++r) {
    const unsigned char* ids = map.Row(r);
    std::uint8_t* cls = s.curCls.data();
    for (std::size_t c = 0; c < w; ++c) cls[c] = t.of[ids[c]];
    s.cur.clear();
    int labels = held;
    for (int c = 0; c < cols;) {
      const std::uint8_t v = cls[c];
      int e = c + 1;
      const std::uint64_t eight = 0x0101010101010101ull * v;  // eight cells at a time
      for (std::uint64_t word; e + 8 <= cols; e += 8) {
        std::memcpy(&word, cls + e, 8);
        if (word != eight) break;
      }
      while (e < cols && cls[e] == v) ++e;
      Run run{c, e, v, -1};
      if (v != none) {
        const std::size_t l = static_cast<std::size_t>(labels);
        run.label = labels++;
        s.parent[l] = run.label;
        s.area[l] = static_cast<std::uint64_t>(e - c);
        s.perimeter[l] = 2 + (r == 0 ? static_cast<std::uint64_t>(e - c) : 0);
        s.labelCls[l] = v;
      }
      s.cur.push_back(run);
      c = e;
    }
    for (std::size_t i = 1; i < s.cur.size(); ++i) {
      if (s.cur[i - 1].cls != none) ++out[s.cur[i - 1].cls].totalEdge;
      if (s.cur[i].cls != none) ++out[s.cur[i].cls].totalEdge;
    }
    if (r > 0) {
      const std::uint8_t* above = s.prevCls.data();
      std::int32_t* d = s.differ.data();
      d[0] = 0;
      for (std::size_t c = 0; c < w; ++c) d[c + 1] = d[c] + (cls[c] != above[c] ? 1 : 0);
      for (const std::vector<Run>* runs : {&s.cur, &s.prev})
        for (const Run& run : *runs) {
          if (run.cls == none) continue;
          const std::uint64_t sides = static_cast<std::uint64_t>(d[run.end] - d[run.start]);
          s.perimeter[static_cast<std::size_t>(run.label)] += sides;
          out[run.cls].totalEdge += sides;
        }
      std::size_t j0 = 0;
      for (const Run& run : s.cur) {
        while (j0 < s.prev.size() && s.prev[j0].end < run.start) ++j0;
        if (run.cls == none) continue;
        for (std::size_t j = j0; j < s.prev.size() && s.prev[j].start <= run.end; ++j) {
          if (s.prev[j].cls != run.cls) continue;
          const int a = Find(s.parent, s.prev[j].label), b = Find(s.parent, run.label);
          if (a != b) s.parent[static_cast<std::size_t>(std::max(a, b))] = std::min(a, b);
        }
      }
    }
    // Gather each patch's area and perimeter at its root; renumber the
    // patches the new row continues; complete the others.
    for (int l = 0; l < labels; ++l) {
      const int root = Find(s.parent, l);
      if (root == l) continue;
      s.area[static_cast<std::size_t>(root)] += s.area[static_cast<std::size_t>(l)];
      s.perimeter[static_cast<std::size_t>(root)] += s.perimeter[static_cast<std::size_t>(l)];
    }
    std::fill(s.renumber.begin(), s.renumber.begin() + labels, -1);
    int kept = 0;
    for (Run& run : s.cur) {
      if (run.cls == none) continue;
      const std::size_t root = static_cast<std::size_t>(Find(s.parent, run.label));
      if (s.renumber[root] < 0) {
        const std::size_t k = static_cast<std::size_t>(kept);
        s.renumber[root] = kept++;
        s.area2[k] = s.area[root];
        s.perimeter2[k] = s.perimeter[root];
        s.labelCls2[k] = s.labelCls[root];
      }
      run.label = s.renumber[root];
    }
    for (int l = 0; l < held; ++l)
      if (s.parent[static_cast<std::size_t>(l)] == l && s.renumber[static_cast<std::size_t>(l)] < 0)
        complete(l);
    std::swap(s.area, s.area2);
    std::swap(s.perimeter, s.perimeter2);
    std::swap(s.labelCls, s.labelCls2);
    for (int l = 0; l < kept; ++l) s.parent[static_cast<std::size_t>(l)] = l;
    held = kept;
    std::swap(s.prev, s.cur);
    std::swap(s.prevCls, s.curCls);
  }
  for (const Run& run : s.prev)
    if (run.cls != none)
      s.perimeter[static_cast<std::size_t>(run.label)] +=
          static_cast<std::uint64_t>(run.end - run.start);
  for (int l = 0; l < held; ++l) complete(l);

  std::uint64_t n = 0;
  for (const LandscapeMetrics& m : out) n += m.area;
  for (std::size_t k = 0; k < out.size(); ++k) {
    LandscapeMetrics& m = out[k];
    if (n == 0) {
      m.largestPatchIndex = m.edgeDensity = Scalar::None("the map has no cell with a class");
    } else {
      m.largestPatchIndex =
          Scalar::Of(100.0 * static_cast<double>(m.largestPatch) / static_cast<double>(n));
      m.edgeDensity = Scalar::Of(static_cast<double>(m.totalEdge) / static_cast<double>(n));
    }
    if (m.patches == 0) {
      m.meanPatchArea = m.meanCompactness = Scalar::None("the class has no patch");
    } else {
      const double p = static_cast<double>(m.patches);
      m.meanPatchArea = Scalar::Of(static_cast<double>(m.area) / p);
      m.meanCompactness = Scalar::Of(s.compactness[k] / p);
    }
  }
}

}  // namespace towngrow::compare_detail
