// The cells written into one coverage while the step driver develops a
// step. The driver installs a log for its written coverage on its thread;
// every cell and age write of the library (SetCellValue, SetCellAge,
// SetCellAgeGrow, CovDDALine through SetCellValue, and the rules' inline
// age step) notes the flat index of the cell it wrote into that coverage.
// Writes into any other coverage, and writes while no log is installed, go
// unnoted at the cost of one thread-local load.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

#include "towngrow/grid/grid.h"

namespace towngrow {
namespace detail {

struct WriteLog {
  const CGrid* target = nullptr;
  std::vector<std::uint32_t> cells;  // flat indices; a repeat of the last one is left out
  std::size_t limit = 0;             // entries at most; past it the log is given up
  bool overflow = false;             // given up: the cells written are not all known

  void Note(std::size_t index) {
    if (overflow) return;
    if (!cells.empty() && cells.back() == index) return;  // value, then age, of one cell
    if (cells.size() >= limit) {
      overflow = true;
      return;
    }
    try {
      cells.push_back(static_cast<std::uint32_t>(index));
    } catch (const std::bad_alloc&) {
      overflow = true;
    }
  }
};

inline thread_local WriteLog* t_writeLog = nullptr;

// Notes a write into a cell of `grid` that lies in the grid.
inline void NoteWrite(const CGrid* grid, int nRow, int nCol) {
  WriteLog* log = t_writeLog;
  if (log == nullptr || log->target != grid) return;
  log->Note(static_cast<std::size_t>(nRow) * static_cast<std::size_t>(grid->m_nCols) +
            static_cast<std::size_t>(nCol));
}

// Installs a log on this thread for as long as it lives; the log that was
// installed before comes back afterwards, also when a rule throws.
class WriteLogScope {
public:
  explicit WriteLogScope(WriteLog& log) : previous_(t_writeLog) { t_writeLog = &log; }
  ~WriteLogScope() { t_writeLog = previous_; }
  WriteLogScope(const WriteLogScope&) = delete;
  WriteLogScope& operator=(const WriteLogScope&) = delete;

private:
  WriteLog* previous_;
};

}  // namespace detail
}  // namespace towngrow
