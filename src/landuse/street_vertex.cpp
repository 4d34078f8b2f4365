// Street vertices: street cells between nodes. A cell with fewer than two
// street cells (node or vertex) in its 3 x 3 window, itself included, has
// lost its connection and is set back to vacant land in the new coverage;
// its age is left as it is. No draw is taken unless the set holds several
// vacant land uses (GetProbID then picks one).
//
// Choices of ours: a null coverage, or a cell outside pCoverage's grid,
// returns 0 and writes nothing; a coverage without a linked set clears to
// ID 0.
#include "towngrow/landuse/street_vertex.h"

#include <algorithm>
#include <cstddef>

#include "landuse/growth_steps.h"
#include "towngrow/grid/coverage.h"
#include "towngrow/landuse/land_use_set.h"

namespace towngrow {

CStreetVertex::CStreetVertex() {
  SetID(2);
  SetLandUseCategory(StreetVertex);
  SetColor(0x8CB4D2);
  SetLandUseName("Street Vertex");
}

CStreetVertex::~CStreetVertex() = default;

int CStreetVertex::Develop(CLandUseCoverage* pCoverage, int nRow, int nCol,
                           CLandUseCoverage* pNewCoverage) {
  if (pCoverage == nullptr || pNewCoverage == nullptr) return 0;
  if (pCoverage->IsInRange(nRow, nCol) == 0) return 0;

  // In a step of the driver the set's table is at hand (pinned): a cell
  // still joined needs only its first two street cells found.
  const detail::CategoryTable* pinned = detail::PinnedTableOf(pCoverage->m_pLandUseSet);
  if (pinned != nullptr && growth::JoinedByTwo(*pCoverage, *pinned, nRow, nCol)) return 0;

  const LandUseCategory categories[2] = {StreetNode, StreetVertex};
  int counts[2] = {0, 0};
  growth::Categories table(pCoverage->m_pLandUseSet);
  if (table.CountEach(pCoverage, categories, counts, nRow, nCol, 1) == 0) return 0;
  if (counts[0] + counts[1] >= 2) return 0;

  const int id =
      pCoverage->m_pLandUseSet != nullptr ? pCoverage->m_pLandUseSet->GetProbID(Blank) : 0;
  pNewCoverage->SetCellValue(nRow, nCol, static_cast<unsigned char>(id));
  return 1;
}

}  // namespace towngrow
