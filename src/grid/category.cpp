#include "towngrow/grid/category.h"

#include "grid/cell_values.h"
#include "platform/draws.h"

namespace towngrow {

int RandInt(int n) { return detail::RandIntOf(n); }

int GetMaxIndex(const int* weights, int nCount) {
  if (nCount < 1 || weights == nullptr) return -1;
  return detail::MaxIndexOf(weights, nCount);
}

LandUseCategory IntToCategory(int n) { return detail::CategoryOfInt(n); }

int ShareCount(int percent, int radius) { return detail::ShareCountOf(percent, radius); }

}  // namespace towngrow
