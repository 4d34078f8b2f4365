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
#include "landuse/settle_rules.h"
#include "step_tracking.h"

namespace towngrow {

using namespace step_detail;

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
      // A cell that its rule only ages, answering 0: done here without the
      // call.
      if (OnlyAged(cur_->m_pCellAge[cell], row, col, id, *use)) {
        short& grown = next_->m_pCellAge[cell];
        grown = static_cast<short>(static_cast<std::uint16_t>(grown) + 1u);
        return;
      }
    }
    // A street vertex still joined by two street cells stays as it is,
    // without a draw: its rule would answer 0 (asked here, under the same
    // pinned table, to spare the call). Under a background that does not
    // allow its ID (other than 3 to 5), nothing calls its rule.
    if (ids_.kind[id] == kVertex) {
      const bool allowed = background_ == nullptr || Allowed(row, col, id);
      if (!allowed && (id < 3 || id > 5)) return;
      const detail::CategoryTable* pinned = detail::PinnedTableOf(set_);
      if (allowed && pinned != nullptr && growth::JoinedByTwo(*cur_, *pinned, row, col)) return;
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

  // CheckBackGround of the land use of `id`.
  bool Allowed(int row, int col, unsigned char id) const {
    return id <= 7 && ((background_->GetCellValue(row, col) >> id) & 1) != 0;
  }

  // Whether the rule of a housing, industry or commerce cell of this age
  // only ages it and answers 0: a dead or resting cell (OnlyAges) where
  // its rule runs; under a background that does not allow its ID, for IDs
  // 3 to 5 a cell not yet old (DevelopWithBackGround ages it and answers
  // 0; an old one is given up, other IDs are not aged: the call decides).
  bool OnlyAged(short age, int row, int col, unsigned char id, const CLandUse& use) const {
    if (background_ == nullptr || Allowed(row, col, id)) return growth::OnlyAges(age, use);
    return id >= 3 && id <= 5 && (age < 0 || !growth::IsOldAge(age, use));
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

// Whether every ID of a developed category (street node to commerce) that
// the state holds is visited, so that the blocks flagged for visited IDs
// hold every developed cell.
bool DevelopedAreVisited(const IdTable& ids, const CLandUseSet& set,
                         const std::array<long, 256>& counts) {
  const detail::CategoryTable& table = detail::CategoryTableOf(&set);
  for (int id = 0; id < 256; ++id) {
    const int category = table.category[id];
    if (counts[id] > 0 && category >= StreetNode && category <= Commerce && ids.kind[id] < kLibrary)
      return false;
  }
  return true;
}

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
  track_->since.recording = false;
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
  track_->since.lost = true;
}

const CLandUseCoverage& Simulation::Current() const { return *cur_; }

void Simulation::SetScenario(const Scenario* pScenario) { scenario_ = pScenario; }

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
  // What the scenario holds in force for this step.
  const long stepNo = report_.step + 1;
  const CGrid* background = BackgroundAt(scenario_, stepNo, background_);
  const Suitability* surface = SuitabilityAt(scenario_, stepNo);
  const ScheduleEntry* entry = EntryAt(scenario_, stepNo);

  IdTable ids;
  Classify(*set_, background != nullptr, ids);
  const VisitSet visit(ids);
  t.PrepareNext(*cur, *next, visit);
  if (report_.step == 0) t.RememberStart(*cur, background);
  if (entry != nullptr) t.Paint(*cur, *next, entry->paint);
  std::vector<long>& dev = report_.developments;
  dev.assign(static_cast<std::size_t>(set_->m_LandUseArray.GetSize()), 0);
  t.QuietResults(ids, *cur, background, dev);

  // The visited cells, in the reference order, with their writes noted;
  // then the settlement rules, if any land use has them on.
  t.PrepareLog(*next, CellsOf(*cur));
  CellVisitor visitor(ids, set_, cur, next, background, t.log, dev);
  report_.settled = SettleCounts{};
  {
    detail::WriteLogScope scope(t.log);
    PinScope pin(set_);
    SuitabilityScope gate(set_, surface);
    visitor.VisitBlocks(t.blocks, visit, CellsOf(*cur));
    if (detail::AnySettleRule(*set_)) {
      detail::SettleHints hints;
      if (!visitor.RanHostRule()) hints.log = &t.log;
      if (DevelopedAreVisited(ids, *set_, t.counts)) hints.developedBlocks = &t.blocks;
      report_.settled = detail::Settle(*cur, *next, background, detail::t_suitabilityGate, hints);
    }
    report_.suitabilityTested = gate.Tested();
    report_.suitabilityRefused = gate.Refused();
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
