// The passes behind towngrow/compare.h, shared by Compare and the
// MeasureEvaluator. Class indices of a scheme with K classes run 0..K-1;
// the index K stands for "no class" in every table (ClassTable).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "towngrow/compare.h"

namespace towngrow::compare_detail {

// ID -> class index, K for IDs without a class.
struct ClassTable {
  int K = 0;
  std::array<std::uint8_t, 256> of{};
  explicit ClassTable(const ClassScheme& scheme);
};

// Throws std::invalid_argument unless the views have cells, sane strides
// and the shape of `observed`.
void CheckViews(const RasterView& observed, const RasterView& simulated, const RasterView* start);

// counts[(a * (K+1)) + s] over the cells: a the class of `first`, s that
// of `second`. `counts` is resized and overwritten.
void CountPairs(const RasterView& first, const RasterView& second, const ClassTable& t,
                std::vector<std::uint64_t>& counts, std::vector<std::uint32_t>& scratch);
// counts[(o * (K+1) + a) * (K+1) + s] over start, observed and simulated.
void CountTriples(const RasterView& start, const RasterView& observed, const RasterView& simulated,
                  const ClassTable& t, std::vector<std::uint64_t>& counts,
                  std::vector<std::uint32_t>& scratch);
// Cells per ID (256 entries, overwritten).
void CountIds(const RasterView& map, std::array<std::uint64_t, 256>& counts);

// The cross-tabulation group from the pair table (K+1 squared): crossTab,
// class cells, agreement, kappa, Q, A, per-class q and a, Lee-Sallee.
void FillCrossTab(const std::vector<std::uint64_t>& pairs, const ClassScheme& scheme,
                  ComparisonResult& r);
// The change group from the triple table: the budgets and KSim.
void FillChange(const std::vector<std::uint64_t>& triples, const ClassScheme& scheme,
                ComparisonResult& r);
// Folds the triple table into the (observed, simulated) pair table.
void PairsOfTriples(const std::vector<std::uint64_t>& triples, int K1,
                    std::vector<std::uint64_t>& pairs);

// Multiple-resolution budget: per block side b = 2, 4, ... (until one block
// holds the map) the agreement sum_n sum_k min(R_nk, S_nk) in cells, into
// `agreementCells` (index 0: b = 2). Cells where either map has no class
// take no part.
struct ResolutionScratch {
  std::vector<std::vector<std::uint64_t>> levels;  // per level: blocks x (K+1) x 2
  std::vector<int> pending;                        // strips folded into a level
  std::vector<std::uint64_t> totals;               // (K+1) x 2: cells per class, both maps
};
void ResolutionAgreement(const RasterView& observed, const RasterView& simulated,
                         const ClassTable& t, std::vector<std::uint64_t>& agreementCells,
                         ResolutionScratch& scratch);
// Block sides 2, 4, ... up to the first that covers rows and cols.
int ResolutionLevels(int rows, int cols);

// Fuzzy kappa: P, E and kappa.
struct FuzzyScratch;
struct FuzzyScratchHolder {
  FuzzyScratch* p = nullptr;
  FuzzyScratchHolder();
  ~FuzzyScratchHolder();
  FuzzyScratchHolder(const FuzzyScratchHolder&) = delete;
  FuzzyScratchHolder& operator=(const FuzzyScratchHolder&) = delete;
};
void FuzzyKappa(const RasterView& observed, const RasterView& simulated, const ClassTable& t,
                double halvingDistance, double radius, Scalar& agreement, Scalar& expected,
                Scalar& kappa, FuzzyScratch& scratch);

// Landscape metrics of one map, per class (K entries).
struct LandscapeScratch;
struct LandscapeScratchHolder {
  LandscapeScratch* p = nullptr;
  LandscapeScratchHolder();
  ~LandscapeScratchHolder();
  LandscapeScratchHolder(const LandscapeScratchHolder&) = delete;
  LandscapeScratchHolder& operator=(const LandscapeScratchHolder&) = delete;
};
void Landscape(const RasterView& map, const ClassTable& t, std::vector<LandscapeMetrics>& out,
               LandscapeScratch& scratch);

// Many simulated maps evaluated against one start and one observed map,
// each map differing from the start in few cells that the caller knows (a
// calibration's runs): the table of (start, observed, start) is counted
// once, and a map's triple table is that one moved by its changed cells,
// so a map costs its changed cells, not the grid. The values are those of
// MeasureEvaluator::Evaluate(observed, simulated, &start), bit for bit.
struct ChangedCells {
  // Whether every measure of the evaluator comes from the triple table (no
  // multiple-resolution, fuzzy or landscape measure).
  static bool Suits(const MeasureEvaluator& evaluator);
  // The table of (start, observed, start); the views are checked as
  // Evaluate checks them.
  static void BaseTable(const MeasureEvaluator& evaluator, const RasterView& start,
                        const RasterView& observed, std::vector<std::uint64_t>& base);
  // The measures of `simulated`, which equals `start` but in the marked
  // blocks: bit b % 64 of blocks[b / 64] marks the cells 64 b to 64 b + 63
  // in row-major order (flat index row * cols + col); marked cells that
  // hold the start's value are allowed. The views must be those the base
  // table was counted from, and simulated of their shape.
  static void Evaluate(MeasureEvaluator& evaluator, const std::vector<std::uint64_t>& base,
                       const RasterView& start, const RasterView& observed,
                       const RasterView& simulated, const std::uint64_t* blocks, std::size_t words,
                       Scalar* out);
};

}  // namespace towngrow::compare_detail
