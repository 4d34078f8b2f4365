// Fuzzy kappa with exponential distance decay, computed band by band.
//
// For every class k and both maps, the squared Euclidean distance from each
// cell to the nearest cell of class k comes from a separable distance
// transform: a column pass (distance in rows to the nearest class cell in
// the same column, held at radius + 1 meaning "farther") and a row pass
// over the lower envelope of the parabolas (x - j)^2 + g(j)^2 (Felzenszwalb
// and Huttenlocher). Only the two ends of a run of equal column distances
// can be nearest for a cell outside the run, and a cell inside the run is
// nearest to itself, so the row pass takes those ends as its sites: a row of
// long runs costs little. Everything is linear in cells, for any radius.
//
// The map is taken in bands of kBandRows rows plus the radius above and
// below, so memory is a few bytes per cell of a band. Each band adds to
// integer histograms of squared distances (per pair of classes and map, and
// of the cells' similarities); P, E and kappa come from them at the end, so
// the result does not depend on the band size.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "compare/compare_internal.h"

namespace towngrow::compare_detail {

struct FuzzyScratch {
  std::vector<std::uint8_t> clsA, clsS;  // classes of the band and its margins
  std::vector<std::uint8_t> g;           // column distances of the band rows
  std::vector<std::uint8_t> run;         // running column distance, one row
  std::vector<std::uint16_t> d2A, d2S;   // squared distances to class k, band rows
  std::vector<std::uint16_t> wA, wS;     // per cell: in A to S's class, in S to A's class
  std::vector<int> sites;
  std::vector<double> bounds;
  std::vector<std::uint64_t> histA, histS;  // [(c * K + k) * cap + d2]
  std::vector<std::uint64_t> similar;       // cells per squared distance of their similarity
  std::vector<std::uint64_t> nA, nS;        // cells per class
  std::vector<double> mu;                   // membership per squared distance
};

FuzzyScratchHolder::FuzzyScratchHolder() : p(new FuzzyScratch()) {}
FuzzyScratchHolder::~FuzzyScratchHolder() { delete p; }

namespace {

constexpr int kBandRows = 128;

// Column distances of class k over the band rows [r0, r1) of a band whose
// classes start at row e0 and end before e1.
void ColumnPass(const std::uint8_t* cls, int e0, int e1, int r0, int r1, int cols, std::uint8_t k,
                std::uint8_t far, std::vector<std::uint8_t>& run, std::uint8_t* g) {
  const std::size_t w = static_cast<std::size_t>(cols);
  run.assign(w, far);
  std::uint8_t* d = run.data();
  for (int r = e0; r < e1; ++r) {
    const std::uint8_t* row = cls + static_cast<std::size_t>(r - e0) * w;
    for (std::size_t c = 0; c < w; ++c) {
      const std::uint8_t next = static_cast<std::uint8_t>(d[c] + 1);
      d[c] = row[c] == k ? 0 : (next < far ? next : far);
    }
    if (r >= r0 && r < r1) std::copy(d, d + w, g + static_cast<std::size_t>(r - r0) * w);
  }
  std::fill(run.begin(), run.end(), far);
  for (int r = e1 - 1; r >= r0; --r) {
    const std::uint8_t* row = cls + static_cast<std::size_t>(r - e0) * w;
    for (std::size_t c = 0; c < w; ++c) {
      const std::uint8_t next = static_cast<std::uint8_t>(d[c] + 1);
      d[c] = row[c] == k ? 0 : (next < far ? next : far);
    }
    if (r < r1) {
      std::uint8_t* out = g + static_cast<std::size_t>(r - r0) * w;
      for (std::size_t c = 0; c < w; ++c) out[c] = std::min(out[c], d[c]);
    }
  }
}

// Squared distances d2[x] (cap meaning beyond the radius) from a row of
// column distances g (values >= far are no site), by the lower envelope of
// parabolas.
void EnvelopeRow(const std::uint8_t* g, int n, int far, int cap, std::uint16_t* d2,
                 std::vector<int>& sites, std::vector<double>& bounds) {
  sites.clear();
  int runs = 0;
  for (int x = 0; x < n; ++runs) {
    const std::uint8_t v = g[x];
    int y = x + 1;
    // Eight cells at a time through long runs, then cell by cell.
    const std::uint64_t eight = 0x0101010101010101ull * v;
    for (std::uint64_t word; y + 8 <= n; y += 8) {
      std::memcpy(&word, g + y, 8);
      if (word != eight) break;
    }
    while (y < n && g[y] == v) ++y;
    if (v < far) {
      sites.push_back(x);
      if (y - 1 > x) sites.push_back(y - 1);
    }
    x = y;
  }
  const std::uint16_t beyond = static_cast<std::uint16_t>(cap);
  if (runs == 1) {  // one column distance all along the row
    std::fill(d2, d2 + n, g[0] < far ? static_cast<std::uint16_t>(g[0] * g[0]) : beyond);
    return;
  }
  if (sites.empty()) {
    std::fill(d2, d2 + n, beyond);
    return;
  }
  auto height = [&](int p) {
    const double gp = g[p];
    return gp * gp + static_cast<double>(p) * static_cast<double>(p);
  };
  bounds.resize(sites.size() + 1);
  const double inf = std::numeric_limits<double>::infinity();
  // The envelope's parabolas overwrite `sites` from the front (k <= q).
  std::size_t k = 0;
  bounds[0] = -inf;
  bounds[1] = inf;
  for (std::size_t q = 1; q < sites.size(); ++q) {
    const int p = sites[q];
    const double hp = height(p);
    double s = 0.0;
    for (;;) {
      const int top = sites[k];
      s = (hp - height(top)) / (2.0 * static_cast<double>(p - top));
      if (s > bounds[k]) break;
      --k;  // bounds[0] is -inf, so k stays >= 0
    }
    ++k;
    sites[k] = p;
    bounds[k] = s;
    bounds[k + 1] = inf;
  }
  // Each parabola's stretch of the row, (bounds[k], bounds[k + 1]], holds
  // values within the radius only close to its site: within reachOf[g].
  const int limit = cap - 1;
  int reachOf[256];
  for (int v = 0; v < far; ++v)
    reachOf[v] = static_cast<int>(std::sqrt(static_cast<double>(limit - v * v)) + 1e-9);
  auto floorInt = [](double b) {  // bounds lie well inside the int range here
    const int t = static_cast<int>(b);
    return t - (b < t ? 1 : 0);
  };
  const std::size_t top = k;
  for (std::size_t q = 0; q <= top; ++q) {
    const int site = sites[q];
    const int gs = g[site], gs2 = gs * gs;
    const int lo = q == 0 ? 0 : std::max(0, floorInt(bounds[q]) + 1);
    const int hi = q == top ? n - 1 : std::min(n - 1, floorInt(bounds[q + 1]));
    if (lo > hi) continue;
    const int a = std::clamp(site - reachOf[gs], lo, hi + 1);
    const int b = std::clamp(site + reachOf[gs], lo - 1, hi);
    std::fill(d2 + lo, d2 + a, beyond);
    for (int x = a; x <= b; ++x) d2[x] = static_cast<std::uint16_t>((x - site) * (x - site) + gs2);
    std::fill(d2 + std::max(a, b + 1), d2 + hi + 1, beyond);
  }
  // A cell with a column distance of its own is a site too.
  for (int x = 0; x < n; ++x) {
    const std::uint16_t own = g[x] < far ? static_cast<std::uint16_t>(g[x] * g[x]) : beyond;
    d2[x] = std::min(d2[x], own);
  }
}

}  // namespace

void FuzzyKappa(const RasterView& observed, const RasterView& simulated, const ClassTable& t,
                double halvingDistance, double radius, Scalar& agreement, Scalar& expected,
                Scalar& kappa, FuzzyScratch& s) {
  const int K = t.K;
  const std::uint8_t none = static_cast<std::uint8_t>(K);
  const int rows = observed.rows, cols = observed.cols;
  const std::size_t w = static_cast<std::size_t>(cols);
  const int reach = static_cast<int>(std::floor(radius + 1e-9));           // rows of margin
  const int maxD2 = static_cast<int>(std::floor(radius * radius + 1e-9));  // within the radius
  const int cap = maxD2 + 1;                                               // "beyond"
  const std::uint8_t far = static_cast<std::uint8_t>(reach + 1);
  const std::size_t K2cap = static_cast<std::size_t>(K) * K * static_cast<std::size_t>(cap);
  s.histA.assign(K2cap, 0);
  s.histS.assign(K2cap, 0);
  s.similar.assign(static_cast<std::size_t>(cap) + 1, 0);
  s.nA.assign(static_cast<std::size_t>(K), 0);
  s.nS.assign(static_cast<std::size_t>(K), 0);

  for (int r0 = 0; r0 < rows; r0 += kBandRows) {
    const int r1 = std::min(rows, r0 + kBandRows);
    const int e0 = std::max(0, r0 - reach), e1 = std::min(rows, r1 + reach);
    const std::size_t extCells = static_cast<std::size_t>(e1 - e0) * w;
    const std::size_t bandCells = static_cast<std::size_t>(r1 - r0) * w;
    s.clsA.resize(extCells);
    s.clsS.resize(extCells);
    std::array<bool, kMaxClasses + 1> inA{}, inS{};
    for (int r = e0; r < e1; ++r) {
      const unsigned char* a = observed.Row(r);
      const unsigned char* b = simulated.Row(r);
      std::uint8_t* ca = &s.clsA[static_cast<std::size_t>(r - e0) * w];
      std::uint8_t* cs = &s.clsS[static_cast<std::size_t>(r - e0) * w];
      for (std::size_t c = 0; c < w; ++c) {
        ca[c] = t.of[a[c]];
        cs[c] = t.of[b[c]];
      }
      std::uint8_t lastA = none, lastS = none;  // presence, checked once per change of class
      for (std::size_t c = 0; c < w; ++c) {
        if (ca[c] != lastA) inA[lastA = ca[c]] = true;
        if (cs[c] != lastS) inS[lastS = cs[c]] = true;
      }
    }
    const std::size_t off = static_cast<std::size_t>(r0 - e0) * w;  // band start in the margins
    const std::uint8_t* bandA = s.clsA.data() + off;
    const std::uint8_t* bandS = s.clsS.data() + off;
    s.g.resize(bandCells);
    s.d2A.resize(bandCells);
    s.d2S.resize(bandCells);
    s.wA.assign(bandCells, static_cast<std::uint16_t>(cap));
    s.wS.assign(bandCells, static_cast<std::uint16_t>(cap));

    for (int k = 0; k < K; ++k) {
      const std::uint8_t kk = static_cast<std::uint8_t>(k);
      for (int m = 0; m < 2; ++m) {
        const bool first = m == 0;
        if (!(first ? inA : inS)[static_cast<std::size_t>(k)]) continue;  // all beyond
        ColumnPass((first ? s.clsA : s.clsS).data(), e0, e1, r0, r1, cols, kk, far, s.run,
                   s.g.data());
        std::uint16_t* d2 = (first ? s.d2A : s.d2S).data();
        for (int r = r0; r < r1; ++r) {
          const std::size_t o = static_cast<std::size_t>(r - r0) * w;
          EnvelopeRow(s.g.data() + o, cols, far, cap, d2 + o, s.sites, s.bounds);
        }
        // own: the cell's class in this map; other: in the other map.
        const std::uint8_t* own = first ? bandA : bandS;
        const std::uint8_t* other = first ? bandS : bandA;
        std::uint64_t* hist = (first ? s.histA : s.histS).data();
        std::uint16_t* toOther = (first ? s.wA : s.wS).data();
        for (std::size_t i = 0; i < bandCells; ++i) {
          const std::uint8_t c = own[i], o = other[i];
          if (c == none || o == none) continue;
          const std::uint16_t d = d2[i];
          if (d < cap && c != kk) ++hist[(static_cast<std::size_t>(c) * K + kk) * cap + d];
          if (o == kk) toOther[i] = d;
        }
      }
    }
    for (std::size_t i = 0; i < bandCells; ++i) {
      const std::uint8_t a = bandA[i], b = bandS[i];
      if (a == none || b == none) continue;
      ++s.nA[a];
      ++s.nS[b];
      ++s.similar[a == b ? 0 : std::max(s.wA[i], s.wS[i])];
    }
  }

  std::uint64_t n = 0;
  for (std::uint64_t v : s.nA) n += v;
  if (n == 0) {
    agreement = expected = kappa = Scalar::None("no cell has a class in both maps");
    return;
  }
  std::vector<double>& mu = s.mu;
  mu.assign(static_cast<std::size_t>(cap) + 1, 0.0);
  for (int d = 0; d <= maxD2; ++d)
    mu[static_cast<std::size_t>(d)] =
        std::exp2(-std::sqrt(static_cast<double>(d)) / halvingDistance);
  const double total = static_cast<double>(n);
  double p = 0.0;
  for (int d = 0; d <= cap; ++d)
    p += static_cast<double>(s.similar[static_cast<std::size_t>(d)]) *
         mu[static_cast<std::size_t>(d)];
  p /= total;

  double e = 0.0;
  bool oneClass = false;
  for (int a = 0; a < K; ++a) {
    const std::uint64_t na = s.nA[static_cast<std::size_t>(a)];
    if (na == n && s.nS[static_cast<std::size_t>(a)] == n) oneClass = true;
    if (na == 0) continue;
    for (int b = 0; b < K; ++b) {
      const std::uint64_t nb = s.nS[static_cast<std::size_t>(b)];
      if (nb == 0) continue;
      double pair = 1.0;
      if (a != b) {
        // X: membership of a around the S cells of class b; Y: of b around the A cells of a.
        const std::uint64_t* hx = &s.histS[(static_cast<std::size_t>(b) * K + a) * cap];
        const std::uint64_t* hy = &s.histA[(static_cast<std::size_t>(a) * K + b) * cap];
        std::uint64_t cx = 0, cy = 0;
        pair = 0.0;
        for (int d = 0; d <= maxD2; ++d) {
          cx += hx[d];
          cy += hy[d];
          if (cx == 0 || cy == 0) continue;
          pair += (mu[static_cast<std::size_t>(d)] - mu[static_cast<std::size_t>(d) + 1]) *
                  (static_cast<double>(cx) / static_cast<double>(nb)) *
                  (static_cast<double>(cy) / static_cast<double>(na));
        }
      }
      e += static_cast<double>(na) / total * (static_cast<double>(nb) / total) * pair;
    }
  }
  agreement = Scalar::Of(p);
  expected = Scalar::Of(e);
  kappa = oneClass ? Scalar::None("both maps hold one and the same class only")
                   : Scalar::Of((p - e) / (1.0 - e));
}

}  // namespace towngrow::compare_detail
