// Class schemes and views: which IDs form which class, and the rasters the
// comparison reads.
#include <algorithm>
#include <cstdint>
#include <set>
#include <stdexcept>
#include <string>

#include "compare/compare_internal.h"
#include "towngrow/landuse/land_use.h"

namespace towngrow {

RasterView ViewOf(const CGrid& grid) { return ViewOf(grid, grid.m_nRows, grid.m_nCols); }

RasterView ViewOf(const CGrid& grid, int rows, int cols) {
  if (grid.m_pData == nullptr || grid.m_nRows <= 0 || grid.m_nCols <= 0) return RasterView{};
  return RasterView{grid.m_pData, std::clamp(rows, 0, grid.m_nRows),
                    std::clamp(cols, 0, grid.m_nCols), grid.m_nCols};
}

void ClassScheme::Check() const {
  const int K = Classes();
  if (K < 1 || K > kMaxClasses)
    throw std::invalid_argument("a class scheme has 1 to " + std::to_string(kMaxClasses) +
                                " classes, not " + std::to_string(K));
  if (developed.size() != names.size())
    throw std::invalid_argument("a class scheme needs one developed flag per class");
  std::set<std::string> seen;
  for (const std::string& name : names) {
    const bool ok =
        !name.empty() && name.size() <= 40 && std::all_of(name.begin(), name.end(), [](char ch) {
          return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') ||
                 ch == '_' || ch == '-';
        });
    if (!ok)
      throw std::invalid_argument("class name \"" + name.substr(0, 60) +
                                  "\" is not 1 to 40 letters, digits, '_' or '-'");
    if (name == "developed")
      throw std::invalid_argument("\"developed\" is the binary class and names no class");
    if (!seen.insert(name).second)
      throw std::invalid_argument("class name \"" + name + "\" is given twice");
  }
  for (int id = 0; id < 256; ++id) {
    const int k = classOf[static_cast<std::size_t>(id)];
    if (k < -1 || k >= K)
      throw std::invalid_argument("ID " + std::to_string(id) + " names class " + std::to_string(k) +
                                  " of " + std::to_string(K));
  }
}

ClassScheme DefaultClasses(const CLandUseSet& set) {
  ClassScheme s;
  s.names = {"vacant", "street", "housing", "industry", "commerce", "others"};
  s.developed = {false, true, true, true, true, false};
  for (int id = 0; id < 256; ++id) {
    const unsigned char u = static_cast<unsigned char>(id);
    if (set.GetIDIndex(u) < 0) continue;
    int k = 5;
    switch (set.GetCategory(u)) {
      case Blank:
        k = 0;
        break;
      case StreetNode:
      case StreetVertex:
        k = 1;
        break;
      case House:
        k = 2;
        break;
      case Industry:
        k = 3;
        break;
      case Commerce:
        k = 4;
        break;
      default:
        break;
    }
    s.classOf[static_cast<std::size_t>(id)] = static_cast<std::int16_t>(k);
  }
  return s;
}

}  // namespace towngrow
