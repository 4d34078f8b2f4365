// The street network of a prepared map: which street cells become street
// nodes (where streets grow on from) and which street vertices, and how
// the cells GDAL burns for a vector line are joined.
//
// The rule, for every street cell (a cell a "street" rule named and no
// later layer took), looking at its 8 neighbours:
// - an end: exactly one neighbour is a street cell, or two that touch each
//   other (where a line drawn as a staircase ends, its last cell has the
//   next cell and the one beyond it as neighbours); a lone street cell (no
//   street neighbour) counts as an end too;
// - a junction: the street neighbours form three or more separate runs
//   around the cell (going round the 8 neighbours, each step from a
//   non-street to a street neighbour starts a run), that is three or more
//   lines meet there; a cell on a line that merely steps diagonally has
//   three street neighbours in two runs and stays a vertex;
// - ends and junctions become street nodes, every other street cell a
//   street vertex. Cells outside the grid are not streets, so a line that
//   leaves the grid ends at its border.
// Cells given a street ID directly by a rule (1 or 2) are not part of the
// network and keep their ID.
#pragma once

#include <cstdint>
#include <vector>

namespace towngrow::io {

// Turns every cell flagged in `street` (rows x cols, row 0 first) into
// `nodeId` or `vertexId` in `ids` by the rule above.
void ApplyStreetRule(const std::vector<std::uint8_t>& street, int rows, int cols,
                     unsigned char nodeId, unsigned char vertexId, std::vector<std::uint8_t>& ids);

// A line's path in grid coordinates (column, row; 0,0 the top-left corner of
// the top-left cell).
struct PixelPoint {
  double x = 0, y = 0;
};

// Joins the cells of one line: walks the line's cells in order (every cell
// the line passes through), keeps those flagged in `burnt`, and flags in
// `burnt` the cells of an 8-connected digital line between any two
// consecutive kept cells that are not neighbours. Answers the cells added.
long JoinLineCells(const std::vector<PixelPoint>& line, int rows, int cols,
                   std::vector<std::uint8_t>& burnt);

}  // namespace towngrow::io
