// What every import and export of a coverage shares: the three file
// messages, the way a file value becomes a cell's land-use ID, and the
// reading of header lines.
#pragma once

#include <cstddef>
#include <string>

#include "towngrow/grid/coverage.h"

namespace towngrow {
namespace io {

extern const char* const kRangeMessage;
extern const char* const kBadFormatMessage;
extern const char* const kIntegerGridMessage;

// Header lines are read to their end, but only this many of their first
// characters are looked at; no header can make a reader hold more.
constexpr std::size_t kHeaderKeep = 4096;

// Stores the low 8 bits of a file value as the land-use ID of a cell, with
// age 0. Outside the coverage nothing is written.
inline void StoreValue(CLandUseCoverage& cov, int row, int col, int value) {
  if (row < 0 || col < 0 || row >= cov.m_nRows || col >= cov.m_nCols) return;
  cov.SetCellValue(row, col, static_cast<unsigned char>(static_cast<unsigned>(value) & 0xFFu));
  cov.SetCellAge(row, col, 0);
}

// A line that holds a word and an integer: the integer, or 0 when the line
// does not hold both.
int WordAndInt(const std::string& line);

// The text of a line from its first blank on (the whole line when it has
// no blank).
std::string FromFirstBlank(const std::string& line);

}  // namespace io
}  // namespace towngrow
