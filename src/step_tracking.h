// What the step driver keeps between steps to visit only the cells that
// can change, and the pieces of a step that use it (simulation.cpp tells
// the whole story). Also what it remembers of a start it restarts from
// (run_restart.h): the cells written since, each once.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "grid/write_log.h"
#include "step_visits.h"
#include "towngrow/simulation.h"

namespace towngrow {

namespace step_detail {

// Whether the background allows `id` at flat cell i of a coverage `cols`
// columns wide: bit id of its cell, for IDs 0 to 7; cells beyond its own
// grid allow nothing.
inline bool Allows(const CGrid& background, std::size_t i, std::size_t cols, unsigned char id) {
  if (id > 7 || background.m_pData == nullptr) return false;
  const std::size_t r = i / cols;
  const std::size_t c = i - r * cols;
  if (r >= static_cast<std::size_t>(background.m_nRows) ||
      c >= static_cast<std::size_t>(background.m_nCols))
    return false;
  return ((background.m_pData[r * static_cast<std::size_t>(background.m_nCols) + c] >> id) & 1) !=
         0;
}

// The fields CopyValueFromCoverage copies besides the cells.
inline void CopyFields(CLandUseCoverage& to, const CLandUseCoverage& from) {
  to.m_dScale = from.m_dScale;
  to.m_nGridType = from.m_nGridType;
  if (to.m_strName != from.m_strName) to.m_strName = from.m_strName;
  to.m_dCellSize = from.m_dCellSize;
  to.m_dXllCorner = from.m_dXllCorner;
  to.m_dYllCorner = from.m_dYllCorner;
  to.m_nNoDataValue = from.m_nNoDataValue;
  to.m_pLandUseSet = from.m_pLandUseSet;
}

inline std::size_t CellsOf(const CGrid& grid) {
  return static_cast<std::size_t>(grid.m_nRows) * static_cast<std::size_t>(grid.m_nCols);
}

}  // namespace step_detail

using namespace step_detail;

// What the driver keeps between steps to visit only the cells that can
// change, and the pieces of a step that use it.
struct Simulation::Tracking {
  bool full = true;                        // the next step takes the full path
  VisitSet visit;                          // the visited IDs the block flags were set for
  std::vector<std::uint64_t> blocks;       // one bit per 64 cells: may hold a visited ID
  std::array<long, 256> counts{};          // cells per ID of the current coverage
  const unsigned char* curData = nullptr;  // the buffers the above describe
  const unsigned char* nextData = nullptr;
  detail::WriteLog log;
  std::unique_ptr<std::uint32_t[]> logRoom;
  std::size_t logCells = 0;                    // the grid size the room was chosen for
  std::size_t room = 0;                        // the room for the next step's log
  const unsigned char* countedData = nullptr;  // counts were taken of these cells at a
                                               // step's end (null: not since)
  // Under a background: per ID 0 to 7, the cells holding it that the
  // background `allowedFor` allows (Allows), moved along with the
  // cell counts; null when not known. A host that edits a background's
  // cells sets it again (SetBackground), which takes the full path.
  const CGrid* allowedFor = nullptr;
  std::array<long, 8> allowed{};

  // Since a restart (run_restart.h): a bit per 64 cells (buffer order, as
  // the block flags) for the blocks into which a step wrote; the state
  // differs from the start in no other block unless `lost` (a step whose
  // writes the log missed, or an edit by the host). `start...` hold the
  // start's block flags, visited IDs and cell counts, taken by the first
  // step.
  struct Since {
    bool recording = false;
    bool lost = false;
    std::vector<std::uint64_t> written;
    const CLandUseCoverage* start = nullptr;
    const CGrid* background = nullptr;
    bool haveStart = false;
    std::vector<std::uint64_t> startBlocks;
    VisitSet startVisit;
    std::array<long, 256> startCounts{};
    const CGrid* startAllowedFor = nullptr;
    std::array<long, 8> startAllowed{};
  } since;

  // The allowed cells of every ID 0 to 7 under `background`, in one pass.
  void TakeAllowed(const CLandUseCoverage& cov, const CGrid& background) {
    allowed = {};
    allowedFor = &background;
    if (background.m_pData == nullptr) return;
    const int rows = std::min(cov.m_nRows, background.m_nRows);
    const int cols = std::min(cov.m_nCols, background.m_nCols);
    for (int r = 0; r < rows; ++r) {
      const unsigned char* v = cov.m_pData + static_cast<std::size_t>(r) * cov.m_nCols;
      const unsigned char* b =
          background.m_pData + static_cast<std::size_t>(r) * background.m_nCols;
      for (int c = 0; c < cols; ++c)
        if (v[c] < 8) allowed[v[c]] += (b[c] >> v[c]) & 1;
    }
  }

  // A cell of a coverage `cols` wide changed from `before` to `now`.
  void MoveAllowed(std::size_t i, std::size_t cols, unsigned char before, unsigned char now) {
    if (allowedFor == nullptr) return;
    if (Allows(*allowedFor, i, cols, before)) --allowed[before];
    if (Allows(*allowedFor, i, cols, now)) ++allowed[now];
  }

  // Flags every block anew from the coverage's cells.
  void FlagBlocks(const unsigned char* v, std::size_t n) {
    const std::size_t nBlocks = (n + kBlock - 1) / kBlock;
    blocks.assign((nBlocks + 63) / 64, 0);
    for (std::size_t b = 0; b < nBlocks; ++b) {
      const std::size_t first = b * kBlock;
      if (visit.Mask(v + first, std::min(kBlock, n - first)) != 0)
        blocks[b / 64] |= std::uint64_t{1} << (b % 64);
    }
  }

  // Makes the next coverage a copy of the current one: by the full path
  // (copy, count and flag every cell) when nothing known can be trusted,
  // else by its fields alone (its cells are a copy already).
  void PrepareNext(CLandUseCoverage& cur, CLandUseCoverage& next, const VisitSet& now) {
    const std::size_t n = CellsOf(cur);
    const bool wholeGrid =
        full || now != visit || cur.m_pData != curData || next.m_pData != nextData;
    full = true;  // until this step has run to its end
    if (wholeGrid) {
      allowedFor = nullptr;
      next.CopyValueFromCoverage(&cur);
      // The counts taken at the end of a step whose log overflowed still
      // hold (Init and a non-const Current() clear the mark).
      if (countedData != cur.m_pData) counts = CountCellsPerId(cur);
      visit = now;
      FlagBlocks(cur.m_pData, n);
    } else {
      CopyFields(next, cur);
    }
    countedData = nullptr;
  }

  // Paints a scheduled entry's cells into both coverages (which are copies
  // of each other here), with the counts, block flags and the blocks
  // written since a restart moved along.
  void Paint(CLandUseCoverage& cur, CLandUseCoverage& next, const PaintedCells& paint) {
    const std::size_t n = CellsOf(cur);
    for (std::size_t i = 0; i < paint.cells.size(); ++i) {
      const std::uint32_t k = paint.cells[i];
      if (k >= n) continue;
      const unsigned char id = paint.ids[i];
      MoveAllowed(k, static_cast<std::size_t>(cur.m_nCols), cur.m_pData[k], id);
      --counts[cur.m_pData[k]];
      ++counts[id];
      cur.m_pData[k] = next.m_pData[k] = id;
      cur.m_pCellAge[k] = next.m_pCellAge[k] = 0;
      const std::size_t b = k / kBlock;
      if (visit.Has(id)) blocks[b / 64] |= std::uint64_t{1} << (b % 64);
      if (since.recording) since.written[b / 64] |= std::uint64_t{1} << (b % 64);
    }
  }

  // The develop results of the cells that are not visited, per position.
  void QuietResults(const IdTable& ids, const CLandUseCoverage& cur, const CGrid* background,
                    std::vector<long>& dev) {
    for (int id = 0; id < 256; ++id) {
      if (ids.kind[id] != kQuiet || counts[id] == 0) continue;
      long done = counts[id];
      if (background != nullptr) {
        if (allowedFor != background) TakeAllowed(cur, *background);
        done = id <= 7 ? allowed[static_cast<std::size_t>(id)] : 0;
      }
      dev[static_cast<std::size_t>(ids.pos[id])] += done;
    }
  }

  // An empty log of the cells written into `next`: room for a 32nd of the
  // cells (at least 4096) at first; none for a grid whose flat indices
  // exceed 32 bits, where any write makes the next step full.
  void PrepareLog(const CLandUseCoverage& next, std::size_t n) {
    if (logCells != n) {
      logCells = n;
      room = n > UINT32_MAX ? 0 : std::max<std::size_t>(n / 32, 4096);
    }
    if (room != log.limit || log.cells == nullptr) {
      logRoom.reset(room == 0 ? nullptr : new (std::nothrow) std::uint32_t[room]);
      log.cells = logRoom.get();
      log.limit = log.cells != nullptr ? room : 0;  // no room: a full step follows any write
    }
    log.target = &next;
    log.count = 0;
    log.overflow = false;
  }

  // After the swap: the coverage the step read (`was`) becomes a copy of
  // the new state (`now`) again by the cells the log holds, with the cell
  // counts and block flags moved along; or, when the log cannot tell
  // (a host's rule ran, or it overflowed), the counts are taken anew and
  // the next step takes the full path.
  void Settle(const CLandUseCoverage& now, CLandUseCoverage& was, bool ranHostRule) {
    if (ranHostRule || log.overflow) {
      since.lost = true;
      allowedFor = nullptr;
      counts = CountCellsPerId(now);
      countedData = now.m_pData;
      const std::size_t n = CellsOf(now);
      if (log.overflow) room = std::min(2 * room, std::max<std::size_t>(n / 4, room));
      return;
    }
    const unsigned char* nowV = now.m_pData;
    unsigned char* wasV = was.m_pData;
    const short* nowA = now.m_pCellAge;
    short* wasA = was.m_pCellAge;
    const std::size_t cols = static_cast<std::size_t>(now.m_nCols);
    for (std::size_t k = 0; k < log.count; ++k) {
      const std::uint32_t i = log.cells[k];
      const unsigned char v = nowV[i];
      const unsigned char before = wasV[i];
      if (v != before) {
        MoveAllowed(i, cols, before, v);
        --counts[before];
        ++counts[v];
        wasV[i] = v;
        if (visit.Has(v)) blocks[i / kBlock / 64] |= std::uint64_t{1} << (i / kBlock % 64);
      }
      wasA[i] = nowA[i];
    }
    if (since.recording) NoteSince();
    curData = now.m_pData;
    nextData = was.m_pData;
    full = false;
  }

  // Marks the blocks of this step's logged cells as written since the
  // restart.
  void NoteSince() {
    std::uint64_t* written = since.written.data();
    for (std::size_t k = 0; k < log.count; ++k) {
      const std::uint32_t b = log.cells[k] / kBlock;
      written[b / 64] |= std::uint64_t{1} << (b % 64);
    }
  }

  // Remembers the start's flags and counts (and its allowed cells under
  // the first step's background), once the first step after a restart has
  // taken them.
  void RememberStart(const CLandUseCoverage& cur, const CGrid* background) {
    if (!since.recording || since.lost || since.haveStart) return;
    if (background != nullptr && allowedFor != background) TakeAllowed(cur, *background);
    since.startBlocks = blocks;
    since.startVisit = visit;
    since.startCounts = counts;
    since.startAllowedFor = allowedFor;
    since.startAllowed = allowed;
    since.haveStart = true;
  }
};

}  // namespace towngrow
