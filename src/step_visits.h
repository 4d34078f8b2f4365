// Which cells a step of the driver visits: the kind of every ID under the
// set as it is now (skipped, counted without a call, or visited, and how),
// and a test of 64 cells at a time against the visited IDs. Used by the
// driver (simulation.cpp) alone.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <typeinfo>

#include "landuse/category_table.h"
#include "towngrow/landuse/commerce.h"
#include "towngrow/landuse/house.h"
#include "towngrow/landuse/industry.h"
#include "towngrow/landuse/land_use.h"
#include "towngrow/landuse/land_use_set.h"
#include "towngrow/landuse/others_land.h"
#include "towngrow/landuse/street_node.h"
#include "towngrow/landuse/street_vertex.h"

#if defined(__SSE2__) && defined(__x86_64__) && !defined(TOWNGROW_NO_VECTOR_COUNTS)
#include <emmintrin.h>
#define TOWNGROW_STEP_SSE2 1
#endif

namespace towngrow::step_detail {

constexpr std::size_t kBlock = 64;  // cells per block flag

// What a step does with the cells of an ID.
enum Kind : unsigned char {
  kUnknown,   // the set holds no land use with the ID: skipped, not counted
  kQuiet,     // not visited; its result is counted per cell
  kLibrary,   // visited; every write goes through the library's setters
  kVertex,    // the same, of exactly the street vertex's class
  kAging,     // the same, and its first write is the age of its own cell
  kHostRule,  // visited; a host's class, which may write anywhere
};

// The land use, position and kind of every ID, from the set as it is now.
struct IdTable {
  CLandUse* use[256];
  int pos[256];
  Kind kind[256];
};

inline bool IsOneOf(const std::type_info& t, std::initializer_list<const std::type_info*> types) {
  for (const std::type_info* k : types)
    if (t == *k) return true;
  return false;
}

inline void Classify(const CLandUseSet& set, bool background, IdTable& ids) {
  for (int id = 0; id < 256; ++id) {
    const int i = set.GetIDIndex(static_cast<unsigned char>(id));
    ids.pos[id] = i;
    ids.use[id] = i < 0 ? nullptr : static_cast<CLandUse*>(set.m_LandUseArray.GetAt(i));
    if (ids.use[id] == nullptr) {
      ids.kind[id] = kUnknown;
      continue;
    }
    const std::type_info& t = typeid(*ids.use[id]);
    if (IsOneOf(t, {&typeid(CLandUse), &typeid(COthersLand)}))
      // Under a background, IDs 3 to 5 of any class age and may be given up.
      ids.kind[id] = background && id >= 3 && id <= 5 ? kLibrary : kQuiet;
    else if (IsOneOf(t, {&typeid(CHouse), &typeid(CIndustry), &typeid(CCommerce)}))
      ids.kind[id] = kAging;
    else if (t == typeid(CStreetVertex))
      ids.kind[id] = kVertex;
    else if (t == typeid(CStreetNode))
      ids.kind[id] = kLibrary;
    else
      ids.kind[id] = kHostRule;
  }
}

// The IDs a step visits, and a test of up to 64 cells at once: the visited
// IDs as at most four ranges, compared 16 cells at a time (more ranges, or
// a target without SSE2, test cell by cell through a table).
class VisitSet {
public:
  VisitSet() = default;
  explicit VisitSet(const IdTable& ids) {
    for (int id = 0; id < 256; ++id) visit_[id] = ids.kind[id] >= kLibrary;
    for (int id = 0; id < 256;) {
      if (!visit_[id]) {
        ++id;
        continue;
      }
      int last = id;
      while (last + 1 < 256 && visit_[last + 1]) ++last;
      if (ranges_ < kMaxRanges) {
        lo_[ranges_] = static_cast<unsigned char>(id);
        span_[ranges_] = static_cast<unsigned char>(last - id);
      }
      ++ranges_;
      id = last + 1;
    }
  }
  bool operator==(const VisitSet& o) const { return visit_ == o.visit_; }
  bool operator!=(const VisitSet& o) const { return !(*this == o); }
  bool Has(unsigned char id) const { return visit_[id]; }

  // Bit k set when p[k] is a visited ID, for the n (at most 64) cells from p.
  std::uint64_t Mask(const unsigned char* p, std::size_t n) const {
    if (ranges_ == 0) return 0;
#ifdef TOWNGROW_STEP_SSE2
    if (n == kBlock && ranges_ <= kMaxRanges) {
      std::uint64_t mask = 0;
      for (int q = 0; q < 4; ++q) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * q));
        __m128i hit = _mm_setzero_si128();
        for (int k = 0; k < ranges_; ++k) {
          // x - lo <= span, unsigned: min(x - lo, span) == x - lo
          const __m128i d = _mm_sub_epi8(x, _mm_set1_epi8(static_cast<char>(lo_[k])));
          const __m128i in =
              _mm_cmpeq_epi8(_mm_min_epu8(d, _mm_set1_epi8(static_cast<char>(span_[k]))), d);
          hit = _mm_or_si128(hit, in);
        }
        mask |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(hit)))
                << (16 * q);
      }
      return mask;
    }
#endif
    std::uint64_t mask = 0;
    for (std::size_t k = 0; k < n; ++k)
      mask |= static_cast<std::uint64_t>(visit_[p[k]] ? 1 : 0) << k;
    return mask;
  }

private:
  static constexpr int kMaxRanges = 4;
  std::array<bool, 256> visit_{};
  int ranges_ = 0;
  unsigned char lo_[kMaxRanges] = {};
  unsigned char span_[kMaxRanges] = {};
};

// Pins the category table of the set while it lives (see
// landuse/category_table.h).
class PinScope {
public:
  explicit PinScope(const CLandUseSet* pSet) { detail::PinCategoryTable(pSet); }
  ~PinScope() { detail::UnpinCategoryTable(); }
  PinScope(const PinScope&) = delete;
  PinScope& operator=(const PinScope&) = delete;
};

// Index of the lowest set bit of a nonzero word.
inline std::size_t LowestBit(std::uint64_t x) {
#if defined(__GNUC__) || defined(__clang__)
  return static_cast<std::size_t>(__builtin_ctzll(x));
#else
  std::size_t k = 0;
  while ((x & 1) == 0) x >>= 1, ++k;
  return k;
#endif
}

}  // namespace towngrow::step_detail
