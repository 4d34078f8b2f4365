#include "towngrow/landuse/land_use.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>

#include "landuse/land_use_draws.h"
#include "platform/draws.h"

namespace towngrow {

namespace {

// Weight of candidate i (0-based) of n under a distance-decay law. A law
// number without a definition gives "not a number", which makes the whole
// table count as zero weights.
double DecayWeight(int law, int i, int n, double a, double b, double c) {
  const double di = static_cast<double>(i);
  switch (law) {
    case 0:
      return 1.0 - a * di / static_cast<double>(n);
    case 1:
      return a * std::exp(-b * di);
    case 2:
      return a * std::pow(di + 1.0, -c);
    case 3:
      return a * std::pow(di + 1.0, -c) * std::exp(-b * di);
    default:
      return std::nan("");
  }
}

// Per mille of one weight, cut toward zero and held inside the int range
// (the value is finite here).
int PerMille(double w, double sum) {
  const double v = w / sum * 1000.0;
  if (v >= 2147483647.0) return INT_MAX;
  if (v <= -2147483647.0) return -INT_MAX;
  return static_cast<int>(v);
}

// Whether the per-mille entries of the first n - 1 weights have integer
// values: the sum is finite and not zero (negative sums included) and every
// quotient is finite. Otherwise every entry counts as 0.
bool PerMilleDefined(int law, int n, double a, double b, double c, double sum) {
  if (!std::isfinite(sum) || sum == 0.0) return false;
  for (int i = 0; i < n - 1; ++i)
    if (!std::isfinite(DecayWeight(law, i, n, a, b, c) / sum * 1000.0)) return false;
  return true;
}

// Candidate counts up to this size draw through GetMaxIndex on a buffer on
// the stack; longer tables take the same draws one by one through RandInt.
constexpr int kStackCandidates = 256;

// The slot for these parameters; on a miss a slot is cleared (filled is
// false) and the caller computes the table into it.
detail::LengthTable& CachedLengthTable(int n, int law, double a, double b, double c) {
  detail::LengthTables& tables = detail::ThreadLengthTables();
  const std::uint64_t ba = detail::BitsOf(a), bb = detail::BitsOf(b), bc = detail::BitsOf(c);
  for (detail::LengthTable& t : tables.slots)
    if (t.filled && t.n == n && t.law == law && t.a == ba && t.b == bb && t.c == bc) return t;
  detail::LengthTable& t = tables.slots[tables.next];
  tables.next = (tables.next + 1) % detail::kCachedTables;
  t.n = n;
  t.law = law;
  t.a = ba;
  t.b = bb;
  t.c = bc;
  t.filled = false;
  return t;
}

}  // namespace

CLandUse::CLandUse()
    : m_ID(0),
      m_LandUseCategory(Blank),
      m_Color(0xFFFFFF),
      m_strLandUseName("Vacant Land"),
      m_nMaxLength(5),
      m_nDensityType(0),
      m_dDensityScale(1.0),
      m_dDensityRate(2.0),
      m_dDensityPower(2.0),
      m_nActiveAge(50000),
      m_nInactivePeriod(30),
      m_nDeadAge(0),
      m_nNeighborRadius(2),
      m_nDirectionProb{125, 125, 125, 125, 125, 125, 125, 125},
      m_nLandUseProb{33, 33, 33},
      m_nPolicy(100),
      m_dSuitabilityWeight(0.0),
      m_nSpontaneousRate(0),
      m_nSpontaneousNodePercent(0),
      m_nCenterPercent(0),
      m_nCenterCells(2),
      m_nEdgePercent(0),
      m_nEdgeRadius(1),
      m_dEdgePower(0.0),
      m_nRoadRadius(5),
      m_nRoadTrip(10),
      m_nRoadPercent(0) {}

CLandUse::~CLandUse() = default;

int CLandUse::Develop(CLandUseCoverage*, int, int, CLandUseCoverage*) { return 1; }

unsigned char CLandUse::GetID() const { return m_ID; }

int CLandUse::SetID(unsigned char id) {
  m_ID = id;
  return 1;
}

unsigned int CLandUse::GetColor() const { return m_Color; }

int CLandUse::SetColor(unsigned int color) {
  m_Color = color;
  return 1;
}

CString CLandUse::GetLandUseName() const { return m_strLandUseName; }

int CLandUse::SetLandUseName(CString name) {
  m_strLandUseName = std::move(name);
  return 1;
}

LandUseCategory CLandUse::GetLandUseCategory() const { return m_LandUseCategory; }

int CLandUse::SetLandUseCategory(LandUseCategory category) {
  m_LandUseCategory = category;
  return 1;
}

CString CLandUse::GetCategoryString() const {
  switch (static_cast<int>(m_LandUseCategory)) {
    case Blank:
      return "Blank";
    case StreetNode:
      return "StreetNode";
    case StreetVertex:
      return "StreetVertex";
    case House:
      return "House";
    case Industry:
      return "Industry";
    case Commerce:
      return "Commerce";
    default:
      return "Others";
  }
}

int CLandUse::SetDensityFromOther(const CLandUse* pOther) {
  if (pOther == nullptr) return 0;
  m_nMaxLength = pOther->m_nMaxLength;
  m_nDensityType = pOther->m_nDensityType;
  m_dDensityScale = pOther->m_dDensityScale;
  m_dDensityRate = pOther->m_dDensityRate;
  m_dDensityPower = pOther->m_dDensityPower;
  return 1;
}

int CLandUse::GetRealLength() { return GetRealLength(m_nMaxLength); }

int CLandUse::GetRealLength(int n) { return detail::RealLengthOf(*this, n); }

namespace detail {

int DrawLengthUncached(const CLandUse& landUse, int n) {
  const int law = landUse.m_nDensityType;
  const double a = landUse.m_dDensityScale;
  const double b = landUse.m_dDensityRate;
  const double c = landUse.m_dDensityPower;

  // Short tables come from the per-thread cache, computed below on a miss.
  if (n - 1 <= kCachedCandidates) {
    LengthTable& table = CachedLengthTable(n, law, a, b, c);
    if (!table.filled) {
      double total = 0.0;
      for (int i = 0; i < n; ++i) total += DecayWeight(law, i, n, a, b, c);
      const bool ok = PerMilleDefined(law, n, a, b, c, total);
      for (int i = 0; i < n - 1; ++i)
        table.perMille[i] = ok ? PerMille(DecayWeight(law, i, n, a, b, c), total) : 0;
      table.filled = true;
    }
    return detail::MaxIndexOf(table.perMille, n - 1) + 1;
  }

  double sum = 0.0;
  for (int i = 0; i < n; ++i) sum += DecayWeight(law, i, n, a, b, c);

  // Only the first n - 1 entries take part in the draw; all n are summed.
  const int count = n - 1;
  const bool usable = PerMilleDefined(law, n, a, b, c, sum);

  if (count <= kStackCandidates) {
    int perMille[kStackCandidates];
    for (int i = 0; i < count; ++i)
      perMille[i] = usable ? PerMille(DecayWeight(law, i, n, a, b, c), sum) : 0;
    return GetMaxIndex(perMille, count) + 1;
  }

  // The draws of GetMaxIndex, taken entry by entry.
  int best = -32767;
  int index = -1;
  for (int i = 0; i < count; ++i) {
    const int d = RandInt(usable ? PerMille(DecayWeight(law, i, n, a, b, c), sum) : 0);
    if (d > best) {
      best = d;
      index = i;
    }
  }
  return index + 1;
}

}  // namespace detail

int CLandUse::GetRealDirection() { return detail::DirectionOf(*this); }

LandUseCategory CLandUse::GetProbLandUse() { return detail::ProbLandUseOf(*this); }

int CLandUse::CheckPolicy() { return detail::PolicyPasses(*this) ? 1 : 0; }

}  // namespace towngrow
