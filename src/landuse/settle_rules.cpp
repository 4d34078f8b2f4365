// The settlement rules beyond the street-driven ones: spontaneous
// settlement with new centres, edge growth and road trips (the order of
// their draws is in towngrow/scenario.h).
#include "landuse/settle_rules.h"

#include <algorithm>
#include <cmath>

#include "grid/write_log.h"
#include "landuse/category_table.h"
#include "landuse/suitability_gate.h"
#include "platform/draws.h"
#include "towngrow/landuse/land_use.h"

namespace towngrow::detail {
namespace {

const int kRowStep[8] = {-1, -1, 0, 1, 1, 1, 0, -1};
const int kColStep[8] = {0, 1, 1, 1, 0, -1, -1, -1};

bool IsDeveloped(int category) { return category >= StreetNode && category <= Commerce; }
bool IsStreet(int category) { return category == StreetNode || category == StreetVertex; }

// One call's view of the coverages and the checks every settled cell passes.
class Settler {
public:
  Settler(const CLandUseCoverage& cur, CLandUseCoverage& next, const CGrid* background,
          SuitabilityGate* gate)
      : cur_(cur),
        next_(next),
        set_(cur.m_pLandUseSet),
        table_(PinnedTableOf(set_) != nullptr ? *PinnedTableOf(set_) : CategoryTableOf(set_)),
        background_(background),
        gate_(gate),
        rows_(cur.m_nRows),
        cols_(cur.m_nCols) {}

  int CategoryOf(const CLandUseCoverage& cov, long long r, long long c) const {
    if (r < 0 || c < 0 || r >= rows_ || c >= cols_) return -1;
    return table_.category[cov.m_pData[Index(r, c)]];
  }

  // Settles (r, c) for `use`, or for a street node with nodePercent per
  // cent; true when the cell was written.
  bool Settle(long long r, long long c, const CLandUse& use, int nodePercent) {
    if (r < 0 || c < 0 || r >= rows_ || c >= cols_) return false;
    const std::size_t k = Index(r, c);
    if (table_.category[next_.m_pData[k]] != Blank) return false;
    if (cur_.m_pCellAge[k] < 0) return false;
    const bool node = nodePercent > 0 && RandIntOf(100) <= nodePercent;
    const int id = ProbIDFromTable(table_, set_, node ? StreetNode : use.m_LandUseCategory);
    if (background_ != nullptr && !Allows(r, c, id)) return false;
    const int row = static_cast<int>(r), col = static_cast<int>(c);
    if (gate_ != nullptr && !gate_->Passes(row, col, id)) return false;
    next_.SetCellValue(row, col, static_cast<unsigned char>(id));
    next_.SetCellAge(row, col, 0);
    return true;
  }

  // Up to 8 neighbours drawn as directions, until `wanted` are settled.
  long SettleAround(long long r, long long c, const CLandUse& use, int wanted) {
    long settled = 0;
    for (int t = 0; t < 8 && settled < wanted; ++t) {
      const int d = RandIntOf(8) - 1;
      settled += Settle(r + kRowStep[d], c + kColStep[d], use, 0) ? 1 : 0;
    }
    return settled;
  }

  void Spontaneous(const CLandUse& use, SettleCounts& counts) {
    const double diagonal = std::sqrt(static_cast<double>(rows_) * rows_ + 1.0 * cols_ * cols_);
    const double expected = use.m_nSpontaneousRate * diagonal / 10000.0;
    long tries = static_cast<long>(expected);
    const double fraction = expected - static_cast<double>(tries);
    if (fraction > 0 && Draw() < fraction * 32768.0) ++tries;
    const std::uint64_t cells =
        static_cast<std::uint64_t>(rows_) * static_cast<std::uint64_t>(cols_);
    for (long t = 0; t < tries; ++t) {
      const std::uint64_t high = static_cast<std::uint64_t>(Draw());
      const std::uint64_t at = ((high << 15) | static_cast<std::uint64_t>(Draw())) % cells;
      const long long r = static_cast<long long>(at / static_cast<std::uint64_t>(cols_));
      const long long c = static_cast<long long>(at % static_cast<std::uint64_t>(cols_));
      if (!Settle(r, c, use, use.m_nSpontaneousNodePercent)) continue;
      ++counts[kSpontaneous];
      if (use.m_nCenterPercent > 0 && RandIntOf(100) <= use.m_nCenterPercent)
        counts[kNewCentre] += SettleAround(r, c, use, use.m_nCenterCells);
    }
  }

  template <class EachCell>
  void Edge(const CLandUse& use, const EachCell& eachDeveloped, SettleCounts& counts) {
    const double chance = use.m_nEdgePercent * 32768.0 / 100.0;
    const long long side = 2LL * use.m_nEdgeRadius + 1;
    eachDeveloped([&](std::size_t k) {
      const long long r = static_cast<long long>(k / static_cast<std::size_t>(cols_));
      const long long c = static_cast<long long>(k % static_cast<std::size_t>(cols_));
      if (!IsDeveloped(table_.category[cur_.m_pData[k]])) return;
      int around = 0;
      for (int d = 0; d < 8; ++d)
        around += IsDeveloped(CategoryOf(cur_, r + kRowStep[d], c + kColStep[d])) ? 1 : 0;
      if (around < 2 || around > 7) return;
      const int draw = Draw();
      if (draw >= chance) return;
      if (use.m_dEdgePower > 0) {
        const CodeCounts window = CountCodes(
            cur_, table_,
            ClipSquare(cur_, static_cast<int>(r), static_cast<int>(c), use.m_nEdgeRadius));
        long long developed = 0;
        for (int code = StreetNode; code <= Commerce; ++code) developed += window.Of(code);
        const double share = static_cast<double>(developed) / static_cast<double>(side * side);
        if (draw >= chance * std::pow(share, use.m_dEdgePower)) return;
      }
      const int d = RandIntOf(8) - 1;
      if (Settle(r + kRowStep[d], c + kColStep[d], use, 0)) ++counts[kEdge];
    });
  }

  void RoadTrips(const CLandUse& use, const std::vector<std::size_t>& sources,
                 SettleCounts& counts) {
    for (const std::size_t k : sources) {
      if (RandIntOf(100) > use.m_nRoadPercent) continue;
      long long r = 0, c = 0;
      if (!NearestStreet(static_cast<long long>(k / static_cast<std::size_t>(cols_)),
                         static_cast<long long>(k % static_cast<std::size_t>(cols_)),
                         use.m_nRoadRadius, r, c))
        continue;
      long long fromR = -1, fromC = -1;
      for (int move = 0; move < use.m_nRoadTrip; ++move) {
        long long nextR[8], nextC[8];
        int n = 0;
        for (int d = 0; d < 8; ++d) {
          const long long nr = r + kRowStep[d], nc = c + kColStep[d];
          if ((nr != fromR || nc != fromC) && IsStreet(CategoryOf(cur_, nr, nc)))
            nextR[n] = nr, nextC[n++] = nc;
        }
        if (n == 0) break;
        const int pick = RandIntOf(n) - 1;
        fromR = r, fromC = c;
        r = nextR[pick], c = nextC[pick];
      }
      counts[kRoadTrip] += SettleAround(r, c, use, 1);
    }
  }

  // The cells of the land use's category that `next` holds and `cur` does
  // not, ascending: from the cells written so far, or from every cell.
  std::vector<std::size_t> SettledSoFar(int category, const WriteLog* log) const {
    std::vector<std::size_t> found;
    const auto take = [&](std::size_t k) {
      const unsigned char v = next_.m_pData[k];
      if (v != cur_.m_pData[k] && table_.category[v] == category) found.push_back(k);
    };
    if (log != nullptr && !log->overflow) {
      for (std::size_t i = 0; i < log->count; ++i) take(log->cells[i]);
      std::sort(found.begin(), found.end());
      found.erase(std::unique(found.begin(), found.end()), found.end());
    } else {
      const std::size_t n = static_cast<std::size_t>(rows_) * static_cast<std::size_t>(cols_);
      for (std::size_t k = 0; k < n; ++k) take(k);
    }
    return found;
  }

private:
  std::size_t Index(long long r, long long c) const {
    return static_cast<std::size_t>(r) * static_cast<std::size_t>(cols_) +
           static_cast<std::size_t>(c);
  }

  bool Allows(long long r, long long c, int id) const {
    if (id > 7 || r >= background_->m_nRows || c >= background_->m_nCols ||
        background_->m_pData == nullptr)
      return false;
    const unsigned char bits =
        background_->m_pData[static_cast<std::size_t>(r) * background_->m_nCols + c];
    return ((bits >> id) & 1) != 0;
  }

  // The first street cell of `cur` in square rings around (r, c) out to the
  // radius, each ring from its top-left corner clockwise.
  bool NearestStreet(long long r, long long c, int radius, long long& sr, long long& sc) const {
    for (long long d = 0; d <= radius; ++d) {
      const long long side = d == 0 ? 1 : 8 * d;
      for (long long i = 0; i < side; ++i) {
        long long dr, dc;  // ring 0: the left column's one cell, (0, 0)
        if (i < 2 * d) {
          dr = -d, dc = -d + i;  // top row, left to right
        } else if (i < 4 * d) {
          dr = -d + (i - 2 * d), dc = d;  // right column, downwards
        } else if (i < 6 * d) {
          dr = d, dc = d - (i - 4 * d);  // bottom row, right to left
        } else {
          dr = d - (i - 6 * d), dc = -d;  // left column, upwards
        }
        if (IsStreet(CategoryOf(cur_, r + dr, c + dc))) {
          sr = r + dr, sc = c + dc;
          return true;
        }
      }
    }
    return false;
  }

  const CLandUseCoverage& cur_;
  CLandUseCoverage& next_;
  const CLandUseSet* set_;
  const CategoryTable& table_;
  const CGrid* background_;
  SuitabilityGate* gate_;
  int rows_, cols_;
};

bool RulesOn(const CLandUse& use) {
  return use.m_LandUseCategory >= House && use.m_LandUseCategory <= Commerce &&
         (use.m_nSpontaneousRate > 0 || use.m_nEdgePercent > 0 || use.m_nRoadPercent > 0);
}

}  // namespace

bool AnySettleRule(const CLandUseSet& set) {
  for (int i = 0; i < set.m_LandUseArray.GetSize(); ++i) {
    const auto* use = static_cast<const CLandUse*>(set.m_LandUseArray.GetAt(i));
    if (use != nullptr && RulesOn(*use)) return true;
  }
  return false;
}

SettleCounts Settle(const CLandUseCoverage& cur, CLandUseCoverage& next, const CGrid* background,
                    SuitabilityGate* gate, const SettleHints& hints) {
  SettleCounts counts{};
  const CLandUseSet* set = cur.m_pLandUseSet;
  if (set == nullptr || cur.m_pData == nullptr || cur.m_pCellAge == nullptr ||
      next.m_pData == nullptr || next.m_nRows != cur.m_nRows || next.m_nCols != cur.m_nCols)
    return counts;
  Settler settler(cur, next, background, gate);
  const std::size_t n =
      static_cast<std::size_t>(cur.m_nRows) * static_cast<std::size_t>(cur.m_nCols);
  const auto eachDeveloped = [&](const auto& visit) {
    if (hints.developedBlocks == nullptr) {
      for (std::size_t k = 0; k < n; ++k) visit(k);
      return;
    }
    const std::vector<std::uint64_t>& blocks = *hints.developedBlocks;
    for (std::size_t w = 0; w < blocks.size(); ++w)
      for (std::uint64_t bits = blocks[w]; bits != 0; bits &= bits - 1) {
        const std::size_t first = (w * 64 + static_cast<std::size_t>(__builtin_ctzll(bits))) * 64;
        for (std::size_t k = first; k < std::min(first + 64, n); ++k) visit(k);
      }
  };
  std::vector<bool> seen(256, false);
  for (int i = 0; i < set->m_LandUseArray.GetSize(); ++i) {
    const auto* use = static_cast<const CLandUse*>(set->m_LandUseArray.GetAt(i));
    if (use == nullptr || seen[use->m_ID]) continue;
    seen[use->m_ID] = true;
    if (!RulesOn(*use)) continue;
    if (use->m_nSpontaneousRate > 0) settler.Spontaneous(*use, counts);
    if (use->m_nEdgePercent > 0) settler.Edge(*use, eachDeveloped, counts);
    if (use->m_nRoadPercent > 0)
      settler.RoadTrips(*use, settler.SettledSoFar(use->m_LandUseCategory, hints.log), counts);
  }
  return counts;
}

}  // namespace towngrow::detail
