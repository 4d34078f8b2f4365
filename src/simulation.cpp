// The step driver. See towngrow/simulation.h for what a step does.
//
// A step gives exactly what the reference step gives (copy the current
// coverage into the next, then develop every cell whose ID the set knows,
// rows from 0 and columns from 0), with the same draws in the same order,
// the same writes, messages and develop results, at a cost that follows
// the cells that can change rather than the grid:
//
// - Cells that need no call. A land use whose exact type is the base class
//   or the others land (never a host's class derived from them) changes
//   nothing, draws nothing and answers 1 (under a background: nothing for
//   IDs other than 3, 4 and 5, and 1 exactly where the background allows
//   the ID); a cell whose ID the set does not hold is skipped. Such cells
//   are not visited: their results are added per ID from the cell counts
//   (under a background, from one vectorised pass over the coverage and
//   the background). Every other cell is visited in the reference order.
// - The set's category table is pinned for the rules of a step (see
//   landuse/category_table.h), so that they need not check it per call.
// - Finding the visited cells. One bit per 64 cells (in buffer order, which
//   is the visiting order) says that those cells may hold a visited ID. A
//   step tests only the flagged blocks, 16 cells per compare, clears the
//   flag of a block without a visited cell and sets the flag of every block
//   into which it writes a visited ID.
// - Copying only what changed. While the rules run, the library notes every
//   cell written into the next coverage (grid/write_log.h; the driver notes
//   the cells of housing, industry and commerce, whose age step writes the
//   cell itself, before it develops them). After the swap the two
//   coverages differ only in those cells, so copying them (and updating
//   the cell counts from the values they replace) makes the next coverage
//   a copy of the current one again: the next step needs no copy.
//
// The full path (copy every cell, count every cell, flag every block anew)
// is taken whenever the driver cannot know what the coverages hold or which
// IDs are visited: the first step after Init, after the host took the
// current coverage for writing (non-const Current()), after SetBackground,
// after a resize by the host, when the set of visited IDs differs from the
// last step's (an ID, an entry, a type or, under a background, ID 3 to 5
// changed hands), after a step that ran a land use of a host's own class
// (it may write anywhere, also past the library's setters), after a step
// that wrote more cells than its log holds (at first a 32nd of the grid,
// at least 4096; each such step doubles the room for the next steps, up to
// a quarter of the grid, beyond which copying every cell costs less), and
// after a step left by an exception. The table of IDs is built afresh from
// the set at every step, so parameter changes need nothing at all.
//
// What this relies on, as the driver did before: Develop never writes the
// coverage it reads, and while a step runs the message handler edits
// neither the driver's coverages nor the IDs and entries of the set (a
// category it changes, the rules see).
//
// Other choices of ours:
// - The current coverage is (re)linked to the driver's set at the start of
//   every step, so that a host that fills it by an import keeps the link.
// - A step on a coverage without buffers does nothing (the step count does
//   not move); when the host has resized the current coverage, the next
//   coverage is resized to match before it is overwritten.
#include "towngrow/simulation.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <new>
#include <typeinfo>
#include <utility>

#include "grid/write_log.h"
#include "landuse/growth_steps.h"
#include "step_visits.h"

namespace towngrow {

using namespace step_detail;

namespace {

// Cells holding `id` (at most 7) whose background cell allows it; cells
// beyond the background's own grid allow nothing.
long AllowedCells(const CLandUseCoverage& cov, const CGrid& background, int id) {
  if (background.m_pData == nullptr) return 0;
  const int rows = std::min(cov.m_nRows, background.m_nRows);
  const int cols = std::min(cov.m_nCols, background.m_nCols);
  const auto want = static_cast<unsigned char>(id);
  long total = 0;
  for (int r = 0; r < rows; ++r) {
    const unsigned char* v = cov.m_pData + static_cast<std::size_t>(r) * cov.m_nCols;
    const unsigned char* b = background.m_pData + static_cast<std::size_t>(r) * background.m_nCols;
    unsigned int inRow = 0;
    for (int c = 0; c < cols; ++c)
      inRow += static_cast<unsigned int>((v[c] == want) & ((b[c] >> id) & 1));
    total += inRow;
  }
  return total;
}

// The fields CopyValueFromCoverage copies besides the cells.
void CopyFields(CLandUseCoverage& to, const CLandUseCoverage& from) {
  to.m_dScale = from.m_dScale;
  to.m_nGridType = from.m_nGridType;
  if (to.m_strName != from.m_strName) to.m_strName = from.m_strName;
  to.m_dCellSize = from.m_dCellSize;
  to.m_dXllCorner = from.m_dXllCorner;
  to.m_dYllCorner = from.m_dYllCorner;
  to.m_nNoDataValue = from.m_nNoDataValue;
  to.m_pLandUseSet = from.m_pLandUseSet;
}

std::size_t CellsOf(const CGrid& grid) {
  return static_cast<std::size_t>(grid.m_nRows) * static_cast<std::size_t>(grid.m_nCols);
}

}  // namespace

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

  // The develop results of the cells that are not visited, per position.
  void QuietResults(const IdTable& ids, const CLandUseCoverage& cur, const CGrid* background,
                    std::vector<long>& dev) const {
    for (int id = 0; id < 256; ++id) {
      if (ids.kind[id] != kQuiet || counts[id] == 0) continue;
      long done = counts[id];
      if (background != nullptr) done = id <= 7 ? AllowedCells(cur, *background, id) : 0;
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
    for (std::size_t k = 0; k < log.count; ++k) {
      const std::uint32_t i = log.cells[k];
      const unsigned char v = nowV[i];
      const unsigned char before = wasV[i];
      if (v != before) {
        --counts[before];
        ++counts[v];
        wasV[i] = v;
        if (visit.Has(v)) blocks[i / kBlock / 64] |= std::uint64_t{1} << (i / kBlock % 64);
      }
      wasA[i] = nowA[i];
    }
    curData = now.m_pData;
    nextData = was.m_pData;
    full = false;
  }
};

namespace {

// One step's visit of its cells: the rule of each visited cell in the
// reference order, or the driver's own answer where it knows the rule's.
class CellVisitor {
public:
  CellVisitor(const IdTable& ids, CLandUseSet* set, CLandUseCoverage* cur, CLandUseCoverage* next,
              const CGrid* background, detail::WriteLog& log, std::vector<long>& dev)
      : ids_(ids),
        set_(set),
        cur_(cur),
        next_(next),
        background_(background),
        log_(log),
        dev_(dev) {}

  // Visits every flagged block's cells of a visited ID; clears the flag of
  // a block that holds none.
  void VisitBlocks(std::vector<std::uint64_t>& blocks, const VisitSet& visit, std::size_t n) {
    const unsigned char* values = cur_->m_pData;
    const std::size_t cols = static_cast<std::size_t>(cur_->m_nCols);
    for (std::size_t w = 0; w < blocks.size(); ++w) {
      for (std::uint64_t flags = blocks[w]; flags != 0; flags &= flags - 1) {
        const std::size_t b = w * 64 + LowestBit(flags);
        const std::size_t first = b * kBlock;
        std::uint64_t cells = visit.Mask(values + first, std::min(kBlock, n - first));
        if (cells == 0) {
          blocks[w] &= ~(std::uint64_t{1} << (b % 64));
          continue;
        }
        // Row and column of the block's first cell, then moved along.
        std::size_t r = first / cols;
        std::size_t c = first - r * cols;
        std::size_t at = 0;
        for (; cells != 0; cells &= cells - 1) {
          const std::size_t k = LowestBit(cells);
          for (c += k - at, at = k; c >= cols; c -= cols) ++r;
          VisitCell(first + k, static_cast<int>(r), static_cast<int>(c), values[first + k]);
        }
      }
    }
  }

  bool RanHostRule() const { return ranHostRule_; }

private:
  void VisitCell(std::size_t cell, int row, int col, unsigned char id) {
    CLandUse* use = ids_.use[id];
    // The age step of housing, industry and commerce writes the cell
    // itself; it is noted here, not by the rule.
    if (ids_.kind[id] == kAging) {
      log_.Note(cell);
      // A dead or resting cell is only aged by its rule, which then
      // answers 0: done here without the call.
      if (background_ == nullptr && growth::OnlyAges(cur_->m_pCellAge[cell], *use)) {
        short& grown = next_->m_pCellAge[cell];
        grown = static_cast<short>(static_cast<std::uint16_t>(grown) + 1u);
        return;
      }
    }
    // A street vertex still joined by two street cells stays as it is,
    // without a draw: its rule would answer 0 (asked here, under the same
    // pinned table, to spare the call).
    if (ids_.kind[id] == kVertex && background_ == nullptr) {
      const detail::CategoryTable* pinned = detail::PinnedTableOf(set_);
      if (pinned != nullptr && growth::JoinedByTwo(*cur_, *pinned, row, col)) return;
    }
    int done;
    if (ids_.kind[id] != kHostRule) {
      done = Develop(use, row, col);
    } else {
      ranHostRule_ = true;
      detail::UnpinCategoryTable();  // the host's code may change the set
      done = Develop(use, row, col);
      detail::PinCategoryTable(set_);
    }
    if (done == 1) ++dev_[static_cast<std::size_t>(ids_.pos[id])];
  }

  int Develop(CLandUse* use, int row, int col) {
    return background_ == nullptr ? use->Develop(cur_, row, col, next_)
                                  : use->DevelopWithBackGround(cur_, row, col, next_, background_);
  }

  const IdTable& ids_;
  CLandUseSet* set_;
  CLandUseCoverage* cur_;
  CLandUseCoverage* next_;
  const CGrid* background_;
  detail::WriteLog& log_;
  std::vector<long>& dev_;
  bool ranHostRule_ = false;
};

}  // namespace

Simulation::Simulation()
    : ownedSet_(new CLandUseSet()),
      set_(ownedSet_.get()),
      cur_(&a_),
      next_(&b_),
      track_(new Tracking()) {}

Simulation::Simulation(CLandUseSet* pSet)
    : set_(pSet), cur_(&a_), next_(&b_), track_(new Tracking()) {
  if (set_ == nullptr) {
    ownedSet_.reset(new CLandUseSet());
    set_ = ownedSet_.get();
  }
}

Simulation::~Simulation() = default;

int Simulation::Init(int nRows, int nCols, short age) {
  track_->full = true;
  track_->countedData = nullptr;
  if (!a_.InitCoverage(nRows, nCols, age)) return 0;
  if (!b_.InitCoverage(nRows, nCols, age)) return 0;
  a_.m_pLandUseSet = set_;
  b_.m_pLandUseSet = set_;
  cur_ = &a_;
  next_ = &b_;
  report_ = StepReport();
  report_.cellsPerId = CountCellsPerId(*cur_);
  report_.developments.assign(static_cast<std::size_t>(set_->m_LandUseArray.GetSize()), 0);
  return 1;
}

CLandUseSet& Simulation::Set() { return *set_; }

CLandUseCoverage& Simulation::Current() {
  MarkEdited();  // the host may write it
  return *cur_;
}

void Simulation::MarkEdited() {
  track_->full = true;  // nothing known of the state is kept
  track_->countedData = nullptr;
}

const CLandUseCoverage& Simulation::Current() const { return *cur_; }

void Simulation::SetBackground(const CGrid* pBackground) {
  background_ = pBackground;
  track_->full = true;
}

const StepReport& Simulation::Step() {
  CLandUseCoverage* cur = cur_;
  CLandUseCoverage* next = next_;
  if (cur->IsEmpty() || cur->m_pCellAge == nullptr) return report_;
  Tracking& t = *track_;
  if (next->IsEmpty() || next->m_pCellAge == nullptr || next->m_nRows != cur->m_nRows ||
      next->m_nCols != cur->m_nCols) {
    if (!next->InitCoverage(cur->m_nRows, cur->m_nCols, 0)) return report_;
    t.full = true;
  }
  cur->m_pLandUseSet = set_;

  IdTable ids;
  Classify(*set_, background_ != nullptr, ids);
  const VisitSet visit(ids);
  t.PrepareNext(*cur, *next, visit);
  std::vector<long>& dev = report_.developments;
  dev.assign(static_cast<std::size_t>(set_->m_LandUseArray.GetSize()), 0);
  t.QuietResults(ids, *cur, background_, dev);

  // The visited cells, in the reference order, with their writes noted.
  t.PrepareLog(*next, CellsOf(*cur));
  CellVisitor visitor(ids, set_, cur, next, background_, t.log, dev);
  {
    detail::WriteLogScope scope(t.log);
    PinScope pin(set_);
    visitor.VisitBlocks(t.blocks, visit, CellsOf(*cur));
  }

  std::swap(cur_, next_);
  ++report_.step;
  t.Settle(*cur_, *next_, visitor.RanHostRule());
  report_.cellsPerId = t.counts;
  return report_;
}

long Simulation::Run(long nSteps, const std::function<bool(const StepReport&)>& callback) {
  long ran = 0;
  for (long s = 0; s < nSteps; ++s) {
    const long before = report_.step;
    const StepReport& report = Step();
    if (report.step == before) break;  // nothing to step
    ++ran;
    if (callback && !callback(report)) break;
  }
  return ran;
}

long Simulation::StepCount() const { return report_.step; }
const StepReport& Simulation::LastReport() const { return report_; }

std::array<long, 256> CountCellsPerId(const CLandUseCoverage& coverage) {
  std::array<long, 256> counts{};
  if (coverage.IsEmpty() || coverage.m_nRows <= 0 || coverage.m_nCols <= 0) return counts;
  const std::size_t n =
      static_cast<std::size_t>(coverage.m_nRows) * static_cast<std::size_t>(coverage.m_nCols);
  // Four tables in turn, so that runs of one ID do not wait on one counter.
  const unsigned char* p = coverage.m_pData;
  std::size_t part[4][256] = {};
  std::size_t k = 0;
  for (; k + 4 <= n; k += 4) {
    ++part[0][p[k]];
    ++part[1][p[k + 1]];
    ++part[2][p[k + 2]];
    ++part[3][p[k + 3]];
  }
  for (; k < n; ++k) ++part[0][p[k]];
  for (int id = 0; id < 256; ++id)
    counts[static_cast<std::size_t>(id)] =
        static_cast<long>(part[0][id] + part[1][id] + part[2][id] + part[3][id]);
  return counts;
}

}  // namespace towngrow
