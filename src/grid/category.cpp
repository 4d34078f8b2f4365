#include "towngrow/grid/category.h"

#include <cstdint>

#include "platform/draws.h"

namespace towngrow {

int RandInt(int n) { return detail::RandIntOf(n); }

int GetMaxIndex(const int* weights, int nCount) {
  if (nCount < 1 || weights == nullptr) return -1;
  return detail::MaxIndexOf(weights, nCount);
}

LandUseCategory IntToCategory(int n) {
  switch (n) {
    case 0:
      return Blank;
    case 1:
      return StreetNode;
    case 2:
      return StreetVertex;
    case 3:
      return House;
    case 4:
      return Industry;
    case 5:
      return Commerce;
    default:
      return Others;
  }
}

int ShareCount(int percent, int radius) {
  // The product wraps in 32 bits as the original integer arithmetic did;
  // unsigned arithmetic keeps that free of undefined behaviour.
  const std::uint32_t side = 2u * static_cast<std::uint32_t>(radius) + 1u;
  const std::uint32_t product = static_cast<std::uint32_t>(percent) * side * side;
  const std::int32_t cells = static_cast<std::int32_t>(product);
  return static_cast<int>(static_cast<double>(cells) * 0.01 + 0.5);
}

}  // namespace towngrow
