// The built-in starting town that every host begins with.
//
// Layout, centred on (rows / 2, cols / 2) with the arm length
// L = min(10, min(rows, cols) / 4):
// - a street cross of street vertices (ID 2) along the middle row and the
//   middle column, L cells each way from the centre;
// - a street node (ID 1) at each of the four ends of the cross;
// - three houses (ID 3) beside each arm next to its node: one on either
//   side of the arm one cell in from the node, and one more on the
//   clockwise side two cells in. Every node thus sees three houses within
//   its demand window (radius 4), the least that lets a node grow with the
//   default street node, and every house stands beside a street, so new
//   housing finds the street share it needs.
// All cells written get the age 0. Only these cells are written: the rest
// of the coverage keeps what it holds, so the town can be laid over an
// imported or filled state (streets are written last and win over houses).
#include "towngrow/simulation.h"

#include <algorithm>

namespace towngrow {

namespace {

void Put(CLandUseCoverage& coverage, int row, int col, unsigned char id) {
  // Both setters refuse cells outside the grid.
  coverage.SetCellValue(row, col, id);
  coverage.SetCellAge(row, col, 0);
}

}  // namespace

int PlaceStarterTown(CLandUseCoverage& coverage) {
  if (coverage.IsEmpty() || coverage.m_pCellAge == nullptr) return 0;
  if (coverage.m_pLandUseSet == nullptr) return 0;
  if (coverage.m_nRows < 5 || coverage.m_nCols < 5) return 0;

  const unsigned char kNode = 1;
  const unsigned char kVertex = 2;
  const unsigned char kHouse = 3;
  const int cr = coverage.m_nRows / 2;
  const int cc = coverage.m_nCols / 2;
  const int arm = std::min(10, std::min(coverage.m_nRows, coverage.m_nCols) / 4);

  // The four arms: up, right, down, left; the perpendicular turns clockwise.
  const int dr[4] = {-1, 0, 1, 0};
  const int dc[4] = {0, 1, 0, -1};

  for (int a = 0; a < 4; ++a) {
    const int nodeR = cr + arm * dr[a];
    const int nodeC = cc + arm * dc[a];
    const int pr = dr[(a + 1) % 4];
    const int pc = dc[(a + 1) % 4];
    Put(coverage, nodeR - dr[a] + pr, nodeC - dc[a] + pc, kHouse);
    Put(coverage, nodeR - dr[a] - pr, nodeC - dc[a] - pc, kHouse);
    Put(coverage, nodeR - 2 * dr[a] + pr, nodeC - 2 * dc[a] + pc, kHouse);
  }
  for (int k = -arm; k <= arm; ++k) {
    Put(coverage, cr + k, cc, kVertex);
    Put(coverage, cr, cc + k, kVertex);
  }
  for (int a = 0; a < 4; ++a) Put(coverage, cr + arm * dr[a], cc + arm * dc[a], kNode);
  return 1;
}

}  // namespace towngrow
