// The per-thread category table of a set, its check against the set and
// the pin the driver holds during a step. See category_table.h for the
// staleness rule; the counts that run on the table are in
// neighbour_counts.cpp.
#include "landuse/category_table.h"

#include <algorithm>

#include "platform/draws.h"
#include "platform/per_thread.h"

#include "towngrow/grid/coverage.h"
#include "towngrow/landuse/land_use.h"
#include "towngrow/landuse/land_use_set.h"

namespace towngrow {
namespace detail {

namespace {

// Sets up to this many land uses are remembered entry by entry; a larger
// set gets its table rebuilt on every call (still exact, only slower).
constexpr int kSnapshotEntries = 64;

enum class CacheState : int { Empty = 0, NoSet, Set, Unchecked };

struct SnapshotEntry {
  const CObject* pointer;
  int id;
  int category;
};

// Zero-initialised on first use; one per thread (platform/per_thread.h).
struct TableCache {
  CacheState state;
  int size;
  bool hasNull;  // some snapshot entry is a null pointer
  SnapshotEntry entries[kSnapshotEntries];
  CategoryTable table;
};

TableCache& Cache() { return PerThread<TableCache>(); }

void FinishTable(CategoryTable& t) {
  for (int id = 0; id < 256; ++id) {
    const int code = CodeOf(static_cast<LandUseCategory>(t.category[id]));
    t.code[id] = static_cast<unsigned char>(code);
    t.packedOne[id] = std::uint64_t{1} << (8 * code);
  }
  for (int k = 0; k < kCodeCount; ++k) t.idCount[k] = 0;
  for (int id = 0; id < 256; ++id) {
    const int k = t.code[id];
    if (t.idCount[k] == 0)
      for (unsigned char& b : t.needle[k]) b = static_cast<unsigned char>(id);
    ++t.idCount[k];
  }
}

// Same answer per ID as the set's GetCategory: the first land use with the
// ID wins, so the array is walked backwards and earlier entries overwrite.
void BuildTable(const CLandUseSet* pSet, CategoryTable& t) {
  std::fill(std::begin(t.category), std::end(t.category), static_cast<int>(Others));
  for (int k = 0; k < kCodeCount; ++k) t.probCount[k] = 0;
  if (pSet != nullptr) {
    const CObArray& array = pSet->m_LandUseArray;
    for (int i = array.GetSize() - 1; i >= 0; --i) {
      const auto* landUse = static_cast<const CLandUse*>(array.GetAt(i));
      if (landUse != nullptr)
        t.category[landUse->m_ID] = static_cast<int>(landUse->m_LandUseCategory);
    }
    if (array.GetSize() > kProbEntries) {
      for (int k = 0; k < kCodeCount; ++k) t.probCount[k] = -1;
    } else {
      for (int i = 0; i < array.GetSize(); ++i) {
        const auto* landUse = static_cast<const CLandUse*>(array.GetAt(i));
        if (landUse == nullptr) continue;
        const int c = static_cast<int>(landUse->m_LandUseCategory);
        if (c < 0 || c >= kOtherCode) continue;
        t.probIds[c][t.probCount[c]++] = landUse->m_ID;
      }
    }
  }
  FinishTable(t);
}

bool SnapshotMatches(const TableCache& cache, const CObArray& array, int size) {
  if (cache.state != CacheState::Set || cache.size != size) return false;
  if (!cache.hasNull) {
    // The usual case: every snapshot pointer is a land use, so a pointer
    // that still equals it can be read without a null test.
    for (int i = 0; i < size; ++i) {
      const auto* landUse = static_cast<const CLandUse*>(array.GetAt(i));
      const SnapshotEntry& e = cache.entries[i];
      if (landUse != e.pointer || landUse->m_ID != e.id ||
          static_cast<int>(landUse->m_LandUseCategory) != e.category)
        return false;
    }
    return true;
  }
  for (int i = 0; i < size; ++i) {
    const auto* landUse = static_cast<const CLandUse*>(array.GetAt(i));
    const SnapshotEntry& e = cache.entries[i];
    if (landUse != e.pointer) return false;
    if (landUse != nullptr &&
        (landUse->m_ID != e.id || static_cast<int>(landUse->m_LandUseCategory) != e.category))
      return false;
  }
  return true;
}

void TakeSnapshot(TableCache& cache, const CObArray& array, int size) {
  for (int i = 0; i < size; ++i) {
    const auto* landUse = static_cast<const CLandUse*>(array.GetAt(i));
    SnapshotEntry& e = cache.entries[i];
    e.pointer = landUse;
    e.id = landUse != nullptr ? landUse->m_ID : -1;
    e.category = landUse != nullptr ? static_cast<int>(landUse->m_LandUseCategory) : -1;
  }
  cache.hasNull = false;
  for (int i = 0; i < size; ++i)
    cache.hasNull = cache.hasNull || cache.entries[i].pointer == nullptr;
  cache.size = size;
  cache.state = CacheState::Set;
}

}  // namespace

const CategoryTable& CategoryTableOf(const CLandUseSet* pSet) {
  TableCache& cache = Cache();
  TablePin& pin = t_tablePin;
  if (pSet != nullptr && pSet == pin.set) {
    if (pin.checkedAt == t_hostCalls) return cache.table;
    if (SnapshotMatches(cache, pSet->m_LandUseArray, pSet->m_LandUseArray.GetSize())) {
      pin.checkedAt = t_hostCalls;  // checked again: armed until the next message
      return cache.table;
    }
  }
  pin.set = nullptr;  // the table may change below
  if (pSet == nullptr) {
    if (cache.state != CacheState::NoSet) {
      BuildTable(nullptr, cache.table);
      cache.state = CacheState::NoSet;
    }
    return cache.table;
  }
  const CObArray& array = pSet->m_LandUseArray;
  const int size = array.GetSize();
  if (SnapshotMatches(cache, array, size)) return cache.table;
  BuildTable(pSet, cache.table);
  if (size <= kSnapshotEntries)
    TakeSnapshot(cache, array, size);
  else
    cache.state = CacheState::Unchecked;  // never matches: rebuilt next time
  return cache.table;
}

void PinCategoryTable(const CLandUseSet* pSet) {
  UnpinCategoryTable();
  if (pSet == nullptr) return;
  CategoryTableOf(pSet);
  TableCache& cache = Cache();
  if (cache.state != CacheState::Set) return;  // a set too large to remember
  t_tablePin = TablePin{pSet, &cache.table, t_hostCalls};
}

void UnpinCategoryTable() { t_tablePin.set = nullptr; }

int ProbIDFromTable(const CategoryTable& table, const CLandUseSet* pSet, LandUseCategory category) {
  const int c = static_cast<int>(category);
  if (c < 0 || c >= kOtherCode || table.probCount[c] < 0)
    return pSet != nullptr ? pSet->GetProbID(category) : 0;
  const int matches = table.probCount[c];
  if (matches == 0) return 0;
  if (matches == 1) return table.probIds[c][0];
  return table.probIds[c][detail::RandIntOf(matches) - 1];  // RandInt: 1..matches
}

}  // namespace detail
}  // namespace towngrow
