// The cells written into one coverage while the step driver develops a
// step. The driver installs a log for its written coverage on its thread;
// every cell and age write of the library (SetCellValue, SetCellAge,
// SetCellAgeGrow, CovDDALine through SetCellValue) notes the flat index of
// the cell it wrote into that coverage; the rules' inline age step writes
// the developed cell itself, which the driver notes before the call.
// Writes into any other coverage, and writes while no log is installed, go
// unnoted at the cost of one thread-local load.
#pragma once

#include <cstddef>
#include <cstdint>

#include "towngrow/grid/grid.h"

namespace towngrow {
namespace detail {

struct WriteLog {
  const CGrid* target = nullptr;
  std::uint32_t* cells = nullptr;  // room for `limit` flat indices
  std::size_t count = 0;
  std::size_t limit = 0;
  bool overflow = false;  // more cells written than there is room for

  void Note(std::size_t index) {
    if (count != 0 && cells[count - 1] == index) return;  // value, then age, of one cell
    if (count == limit) {
      overflow = true;
      return;
    }
    cells[count++] = static_cast<std::uint32_t>(index);
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
