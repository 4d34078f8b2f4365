// The program's strict look at a file of the library's own formats before
// the library's lenient reader imports it. It refuses, in one line naming
// the file and the line (and row and column where they apply), what that
// reader would silently take another way: fewer or more rows or values than
// the header promises, text that is not a number, fractions, values outside
// 0 to 255, header lines it cannot read (a keyword out of place, a number
// missing, big-endian float data). `--lenient` skips it.
//
// Rows and columns are counted from 0 (row 0 at the top, as in point lists),
// lines from 1.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "io/grid_header.h"

namespace towngrow::io {

struct StrictFindings {
  // Cells (row * file columns + column) of an ASCII or E00 grid that hold
  // the grid's no-data value; the program gives them the others land use,
  // as the float grid reader does.
  std::vector<std::size_t> noDataCells;
};

// Throws io::Error on the first fault. `info` is what ReadGridFileInfo found.
StrictFindings CheckStrictly(const std::string& path, const GridFileInfo& info);

}  // namespace towngrow::io
