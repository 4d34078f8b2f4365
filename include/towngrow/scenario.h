// Scenarios: what a run reads beyond its start and parameters. All of it is
// off unless a host asks for it; a driver without a scenario, and land uses
// whose added fields keep their defaults, make exactly the reference step,
// draw for draw.
//
// - A suitability surface: per cell a value s from 0 to 1. A development of
//   a land use whose m_dSuitabilityWeight w is above 0 into a cell passes
//   with probability s^w, by one draw (RandomDraw() < s^w x 32768) taken
//   just before the write and only when w > 0; a refused development
//   writes nothing and its rule answers 0. The weight is the one of the
//   land use of the ID written (the first land use with that ID): housing's
//   rule placing commerce reads commerce's weight. The street rule tests
//   its new street once, at the cell of its new node (the far end, or the
//   node it joins), with the weight of the street node that grows it; its
//   junction fill tests each cell it fills. Abandonment is never tested.
//   Cells beyond the surface's shape pass.
// - A schedule: entries that take effect at the start of a step, before its
//   growth, so that what an entry of step N brings is in the state after N
//   steps. An entry paints land-use IDs over the state (age 0, in the
//   driver's current and next coverage alike), replaces the background in
//   force, replaces the suitability surface in force, or any of these.
//   The background and surface in force at step N are those of the latest
//   entry of a step at most N that has one, else the driver's own
//   background (SetBackground) and the scenario's first surface; so a run
//   that starts again (Init, a restart) starts from them again.
// - The settlement rules beyond the street-driven ones (SettleByRules):
//   spontaneous settlement, new centres, edge growth and road trips, each
//   switched on by fields of the land use that settles (see land_use.h).
//
// The driver applies all of it (Simulation::SetScenario); a host that runs
// the reference loop itself paints the entries, installs a SuitabilityScope
// around its Develop calls and calls SettleByRules after them.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "towngrow/grid/coverage.h"
#include "towngrow/grid/grid.h"

namespace towngrow {

// Per cell 0 (nothing settles) to 1 (no effect), row by row.
struct Suitability {
  int rows = 0;
  int cols = 0;
  std::vector<float> values;
};

// The cells a scheduled entry paints: flat indices (row x cols + column),
// ascending and distinct, and the ID each takes.
struct PaintedCells {
  std::vector<std::uint32_t> cells;
  std::vector<unsigned char> ids;
};

struct ScheduleEntry {
  long step = 1;                                   // 1 or more
  PaintedCells paint;                              // may be empty
  std::shared_ptr<const CGrid> background;         // null: the one in force stays
  std::shared_ptr<const Suitability> suitability;  // null: the one in force stays
};

struct Scenario {
  std::shared_ptr<const Suitability> suitability;  // from the start (null: none)
  std::vector<ScheduleEntry> schedule;             // ascending steps, one entry per step
};

// Throws std::invalid_argument when the scenario does not fit a grid of
// rows x cols: a surface or background of another shape, a suitability
// outside 0..1 (or not a number), entries out of order or of one step, a
// step below 1, painted cells out of order or beyond the grid, or a paint
// list whose IDs and cells differ in number.
void CheckScenario(const Scenario& scenario, int rows, int cols);

// The background and the surface in force at step `step` (from 1): the
// latest entry of a step at most `step` that has one, else `background`
// and the scenario's first surface.
const CGrid* BackgroundAt(const Scenario* scenario, long step, const CGrid* background);
const Suitability* SuitabilityAt(const Scenario* scenario, long step);
// The entry of exactly that step, or null.
const ScheduleEntry* EntryAt(const Scenario* scenario, long step);

// Paints the entry's cells into `cov` (IDs, ages 0).
void PaintEntry(const ScheduleEntry& entry, CLandUseCoverage& cov);

// The suitability gate for the rules of the land uses of `set` on this
// thread while the scope lives (null surface: none). Scopes nest; the one
// before comes back when this one ends.
class SuitabilityScope {
public:
  SuitabilityScope(const CLandUseSet* set, const Suitability* surface);
  ~SuitabilityScope();
  SuitabilityScope(const SuitabilityScope&) = delete;
  SuitabilityScope& operator=(const SuitabilityScope&) = delete;
  long Tested() const;   // developments that took the draw
  long Refused() const;  // of them, refused

private:
  struct Gate;
  std::unique_ptr<Gate> gate_;
  void* previous_;
};

// Cells settled by each of the four rules in one call.
enum SettleRule { kSpontaneous, kNewCentre, kEdge, kRoadTrip, kSettleRules };
using SettleCounts = std::array<long, kSettleRules>;

// The settlement rules beyond the street-driven ones, for one step, after
// every cell of the step has been developed: `cur` is the state at the
// start of the step (read), `next` the state being written. For each land
// use of the set (in array order, the first of each ID) whose category is
// housing, industry or commerce and whose rules are on, in this order:
// 1. spontaneous settlement: m_nSpontaneousRate x diagonal / 10000 tries
//    (the whole part, and one more with the fraction's probability, by one
//    draw when there is a fraction), each at a cell drawn uniformly (two
//    draws); a settled cell becomes a street node instead with
//    m_nSpontaneousNodePercent per cent (RandInt(100) <= p, drawn when p >
//    0); it becomes a new centre with m_nCenterPercent per cent (drawn when
//    above 0): up to 8 neighbours drawn (RandInt(8) - 1, a direction), until
//    m_nCenterCells of them are settled;
// 2. edge growth (m_nEdgePercent above 0): every developed cell of `cur`
//    (street node to commerce), rows from 0, with 2 to 7 developed cells
//    among its 8 neighbours, tries one neighbour (RandInt(8) - 1, a
//    direction) with the chance p x f^k: p m_nEdgePercent per cent, f the
//    share of developed cells in the square of radius m_nEdgeRadius around
//    it (cells beyond the grid count as not developed), k m_dEdgePower. One
//    draw d decides: the cell tries when d < p x f^k x 32768 (f is counted
//    only when d < p x 32768). A place grows from its edge the faster, the
//    more of the window it fills; with k 0 every edge cell tries with p;
// 3. road trips (m_nRoadPercent above 0): every cell of the land use's
//    category that this step settled so far (in `next` and not in `cur`),
//    in ascending order, starts a trip with m_nRoadPercent per cent
//    (RandInt(100) <= p): the nearest street cell of `cur` within
//    m_nRoadRadius (square rings outwards, each ring from its top-left
//    corner clockwise; none: no trip), then up to m_nRoadTrip moves to a
//    street neighbour (one draw among those not just left; none: the trip
//    ends), then up to 8 neighbours of the last street cell drawn as
//    directions until one of them is settled.
// A cell is settled with the ID GetProbID of the land use's category (a
// street node: of StreetNode) at age 0 when it lies in the grid, is vacant
// in `next`, its age in `cur` is not below 0, the background allows the ID
// there, and it passes the suitability gate (the surface given here). The
// checks run in that order; the ID is drawn before the background is
// asked.
SettleCounts SettleByRules(const CLandUseCoverage& cur, CLandUseCoverage& next,
                           const CGrid* background, const Suitability* suitability);

}  // namespace towngrow
