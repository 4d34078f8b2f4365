// Map comparison: how close a simulated land-use map is to an observed one,
// by the measures of land-change modelling.
//
// Inputs are read-only views of ID rasters (RasterView: a pointer, rows,
// columns and a row stride; adapters for CGrid and CLandUseCoverage). A
// ClassScheme maps each ID (0..255) to one of 1..32 named classes, or to
// none; some classes are marked "developed", and the binary class
// "developed" (the cells of those classes) is measured beside them. The
// default scheme of a land-use set (DefaultClasses) has the classes vacant
// (category Blank), street (StreetNode or StreetVertex), housing (House),
// industry (Industry), commerce (Commerce) and others (Others); street,
// housing, industry and commerce are developed. IDs the set does not hold
// belong to no class.
//
// Cells whose ID has no class are counted per map and ID (Unclassified) and
// reported, never silently dropped. A measure of two maps leaves out the
// cells where either has no class; the change measures leave out the cells
// where any of the three maps has none; the landscape metrics of a map
// treat its cells without a class as background.
//
// Throughout, N is the number of cells that take part, p the
// cross-tabulation in proportions of N (p_ij: observed class i, simulated
// class j), row_i = sum_j p_ij (observed shares), col_j = sum_i p_ij
// (simulated shares).
//
// Measures (each is undefined, an empty Scalar with a fixed reason text,
// where its formula divides by zero; never NaN):
//
// Overall agreement p0 = sum_g p_gg.
//
// Kappa (Cohen 1960, "A coefficient of agreement for nominal scales",
// Educational and Psychological Measurement 20): (p0 - pe) / (1 - pe) with
// pe = sum_g row_g col_g. Reported because it is expected; its flaws
// (Pontius and Millones 2011): its chance baseline is random allocation,
// which no model aims at, and it mixes quantity and allocation errors into
// one number that cannot be told apart. Undefined when both maps hold one
// and the same class only.
//
// Quantity and allocation disagreement (Pontius and Millones 2011, "Death
// to Kappa: birth of quantity disagreement and allocation disagreement for
// accuracy assessment", International Journal of Remote Sensing 32(15)):
// per class q_g = |row_g - col_g| and a_g = 2 min(row_g - p_gg, col_g -
// p_gg); Q = 1/2 sum_g q_g, A = 1/2 sum_g a_g; p0 + Q + A = 1.
//
// Change, given the start map O of the change, the observed map A and the
// simulated map S (Pontius et al. 2008, "Comparing the input, output, and
// validation maps for several models of land change", Annals of Regional
// Science 42(1)):
//   overall:  hits A != O, S = A;  misses A != O, S = O;  wrong hits A != O,
//             S != O, S != A;  false alarms A = O, S != O.
//   class k (gains of k): with the observed gain GA = {O != k, A = k} and
//             the simulated gain GS = {O != k, S = k}: hits GA and GS;
//             misses GA and S = O; false alarms GS and A = O; wrong hits
//             GA with S another new class, plus GS with A another new class
//             (so a wrong hit of the overall budget counts for both classes
//             it involves).
//   developed: the overall budget of the binary maps developed / not
//             developed (changes in both directions; no wrong hits).
// Figure of Merit = hits / (misses + hits + wrong hits + false alarms) (for
// a class: |GA and GS| / |GA or GS|); producer's accuracy of change = hits
// / observed change (hits + misses + wrong hits on the observed side);
// user's accuracy = hits / simulated change (hits + false alarms + wrong
// hits on the simulated side). Undefined when their divisor is 0 ("no
// change ...").
//
// Kappa Simulation (van Vliet, Bregt and Hagen-Zanker 2011, "Revisiting
// Kappa to account for change in the accuracy assessment of land-use
// change models", Ecological Modelling 222(8)): KSim = (p0 - pE(T)) / (1 -
// pE(T)), pE(T) = sum_j p(O=j) sum_i p(A=i | O=j) p(S=i | O=j). Undefined
// when pE(T) = 1 (for instance no change anywhere in either map).
//
// Lee-Sallee index of developed (Lee and Sallee 1970, "A method of
// measuring shape", Geographical Review 60(4)): |S and A| / |S or A| over
// the developed cells. Undefined when neither map has a developed cell.
//
// Fuzzy kappa with exponential distance decay (Hagen-Zanker 2009, "An
// improved Fuzzy Kappa statistic that accounts for spatial
// autocorrelation", International Journal of Geographical Information
// Science 23(1)): the membership of a cell in class k of a map is mu(d) =
// 2^(-d / h) for the Euclidean distance d (in cells, between cell centres)
// to the nearest cell of class k, 0 beyond the radius R (h the halving
// distance). A cell's similarity is s = min(mu_S(d to A's class in S),
// mu_A(d to S's class in A)), 1 where the classes agree; P = mean s. The
// expected similarity of two maps with the same class shares and the same
// spatial autocorrelation but independent positions is E = sum_a sum_b
// pA(a) pS(b) E[min(X, Y)], X the membership of class a over the S cells of
// class b, Y that of class b over the A cells of class a, independent (1
// when a = b). Fuzzy kappa = (P - E) / (1 - E); undefined when both maps
// hold one and the same class only. Distances come from a separable exact
// Euclidean distance transform (Felzenszwalb and Huttenlocher 2012), linear
// in cells for any radius.
//
// Multiple-resolution budget (Pontius 2002, "Statistical methods to
// partition effects of quantity and location during comparison of
// categorical maps at multiple resolutions", Photogrammetric Engineering
// and Remote Sensing 68(10); Pontius, Huffaker and Denman 2004): the maps
// are cut into blocks of b x b cells (b = 1, 2, 4, 8, ... until one block
// holds the map; blocks at the right and bottom edges may be smaller) and
// each block n is described by the number of cells R_nk, S_nk of each class
// in it. Agreement at b = sum_n sum_k min(R_nk, S_nk) / N, Q as at the cell
// level, A = 1 - agreement - Q. Allocation disagreement that shrinks at
// small b was a near miss; A reaches 0 when one block holds the map.
//
// Landscape metrics per class of one map (McGarigal and Marks 1995,
// FRAGSTATS, USDA Forest Service PNW-GTR-351): patches are 8-connected
// groups of cells of the class; N here is the map's cells with a class.
// Number of patches; largest patch index = 100 x largest patch / N; mean
// patch area (cells); total edge = cell sides
// between a cell of the class and a cell of another class or of no class
// (the map's border is no edge); edge density = total edge / N (cell sides
// per cell; times 10000 / cell size in metres gives metres per hectare);
// mean compactness = mean over patches of perimeter / (2 sqrt(pi area)),
// the perimeter counting every side of the patch, border sides included (1
// for a circle; 1.128 for one cell). Labelled row by row with a union-find
// of the runs of each row: linear in cells, memory linear in columns.
//
// Ensembles (ScoreProbability): the per-cell share of runs that ended
// developed, against the observed developed cells. ROC AUC (Hanley and
// McNeil 1982): the chance that a random observed developed cell has a
// higher share than a random other cell, ties counted one half. Reliability
// table (Murphy and Winkler 1977): cells in ten classes of predicted
// percentage [0, 10), [10, 20), ..., [90, 100], with the mean predicted
// percentage and the observed share of developed cells in each.
// RunStatistics gives the mean and sample standard deviation of each named
// measure over runs.
//
// Named measures, for calibration objectives (MeasureNames lists them for a
// scheme and a map size; <class> is a class name of the scheme):
//   agreement, kappa, quantity, allocation, leesallee
//   quantity.<class>, allocation.<class>          q_g and a_g of a class
//   agreement@<b>, allocation@<b>                 at block side b (2, 4, 8,
//                                                 ...; past the map's size,
//                                                 that of one block)
//   fom, producers, users                         overall change budget
//   fom.<class>, producers.<class>, users.<class> gains of a class
//   fom.developed, producers.developed, users.developed
//   ksim
//   fuzzykappa
//   patches.<class>, lpi.<class>, patcharea.<class>, edgedensity.<class>,
//   compactness.<class>                           of the simulated map
// The names of fom, producers, users and ksim need a start map.
//
// MeasureEvaluator computes a chosen set of named measures and nothing
// else, in as few passes as they allow (the cross-tabulation names in one
// pass over the cells; with change names, one pass over the three maps),
// with scratch memory kept between calls: for calibration loops.
//
// Memory: beyond the maps, the cross-tabulation and change passes use
// tables of at most (K+1)^3 counts (K classes); the multiple-resolution
// budget counts per block along one strip of rows per resolution; the
// fuzzy kappa works in bands of 128 rows (a few bytes per cell of a band);
// the landscape labelling holds two rows of runs. None of them holds a
// whole-map buffer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "towngrow/grid/coverage.h"
#include "towngrow/grid/grid.h"
#include "towngrow/landuse/land_use_set.h"

namespace towngrow {

// A read-only view of an ID raster: cell (r, c) is data[r * stride + c].
// stride 0 means cols.
struct RasterView {
  const unsigned char* data = nullptr;
  int rows = 0;
  int cols = 0;
  std::ptrdiff_t stride = 0;

  std::ptrdiff_t Stride() const { return stride != 0 ? stride : cols; }
  const unsigned char* Row(int r) const { return data + static_cast<std::ptrdiff_t>(r) * Stride(); }
};

// The whole grid; a grid without cells gives an empty view.
RasterView ViewOf(const CGrid& grid);
// The top-left rows x cols cells of a grid (at most its own size).
RasterView ViewOf(const CGrid& grid, int rows, int cols);

constexpr int kMaxClasses = 32;

struct ClassScheme {
  std::vector<std::string> names;         // class k's name
  std::vector<bool> developed;            // class k counts as developed
  std::array<std::int16_t, 256> classOf;  // ID -> class index, -1: no class

  ClassScheme() { classOf.fill(-1); }
  int Classes() const { return static_cast<int>(names.size()); }
  // Throws std::invalid_argument unless there are 1..kMaxClasses classes
  // with unique names of 1..40 letters, digits, '_' or '-' (not
  // "developed"), `developed` has one entry per class and every classOf
  // entry is -1 or a class index.
  void Check() const;
};

// vacant, street, housing, industry, commerce, others, by the categories of
// the IDs the set holds (see above).
ClassScheme DefaultClasses(const CLandUseSet& set);

// A value that may be undefined, with the reason (a fixed text) when it is.
struct Scalar {
  std::optional<double> value;
  const char* reason = "";  // "" when there is a value

  static Scalar Of(double v) { return Scalar{v, ""}; }
  static Scalar None(const char* why) { return Scalar{std::nullopt, why}; }
};

// The cross-tabulation group (crossTab, agreement, kappa, Q, A, per-class q
// and a, Lee-Sallee) is always computed: its one pass also finds the cells
// without a class.
struct CompareOptions {
  bool change = true;            // change budget and KSim (only with a start map)
  bool fuzzy = true;             // fuzzy kappa
  double halvingDistance = 2.0;  // h, cells, > 0
  double radius = 4.0;           // R, cells, 0..64
  bool resolutions = true;       // multiple-resolution budget
  bool landscape = true;         // landscape metrics of both maps
};

// Cells of IDs without a class, per map and ID.
struct Unclassified {
  std::array<std::uint64_t, 256> observed{};
  std::array<std::uint64_t, 256> simulated{};
  std::array<std::uint64_t, 256> start{};  // zero without a start map
};

struct ChangeBudget {
  std::uint64_t hits = 0, misses = 0, falseAlarms = 0, wrongHits = 0;
  Scalar figureOfMerit, producers, users;
};

struct ResolutionBudget {
  long long blockSide = 1;
  Scalar agreement, quantity, allocation;
};

struct LandscapeMetrics {
  std::uint64_t patches = 0;
  std::uint64_t area = 0;          // cells of the class
  std::uint64_t largestPatch = 0;  // cells
  std::uint64_t totalEdge = 0;     // cell sides
  Scalar largestPatchIndex, meanPatchArea, edgeDensity, meanCompactness;
};

struct ComparisonResult {
  int rows = 0, cols = 0;
  std::vector<std::string> classNames;
  Unclassified unclassified;
  std::uint64_t cells = 0;  // N: cells with a class in both maps

  // Cross-tabulation group.
  std::vector<std::uint64_t> crossTab;                       // [observed * K + simulated], cells
  std::vector<std::uint64_t> observedCells, simulatedCells;  // per class
  Scalar agreement, kappa, quantity, allocation, leeSallee;
  std::vector<Scalar> classQuantity, classAllocation;  // q_g, a_g

  // Change group (only with a start map).
  bool hasChange = false;
  std::uint64_t changeCells = 0;  // cells with a class in all three maps
  ChangeBudget overall, developed;
  std::vector<ChangeBudget> perClass;
  Scalar ksim;

  // Fuzzy kappa.
  bool hasFuzzy = false;
  double halvingDistance = 0, radius = 0;
  Scalar fuzzyAgreement, fuzzyExpected, fuzzyKappa;  // P, E, kappa

  std::vector<ResolutionBudget> resolutions;  // block sides 1, 2, 4, ...

  // Landscape metrics per class (empty unless computed).
  std::vector<LandscapeMetrics> landscapeObserved, landscapeSimulated;
};

// Compares the simulated map with the observed one (and with the start of
// the change when `start` is not null). The maps must have the same rows
// and columns: otherwise std::invalid_argument, as for a scheme that fails
// Check, a view without cells or with a stride shorter than its columns,
// or options out of range.
ComparisonResult Compare(const RasterView& observed, const RasterView& simulated,
                         const RasterView* start, const ClassScheme& scheme,
                         const CompareOptions& options = {});

// Every measure name of the scheme (see above), in a fixed order; without
// the change names when withStart is false; the resolution names for block
// sides up to the first that holds a map of rows x cols cells (none when
// rows or cols is 0).
std::vector<std::string> MeasureNames(const ClassScheme& scheme, bool withStart = true,
                                      int rows = 0, int cols = 0);

// The value of a named measure in a full result; an empty Scalar with the
// reason "not computed" when its group was not computed; unknown names
// throw std::invalid_argument.
Scalar MeasureValue(const ComparisonResult& result, const ClassScheme& scheme,
                    const std::string& name);

// Computes only the named measures. Unknown names throw
// std::invalid_argument at construction. Evaluate writes one Scalar per
// name into `out` (names().size() of them); a start map is needed (not
// null) when NeedsStart(). Keeps its scratch memory between calls: one
// evaluator per thread.
namespace compare_detail {
struct ChangedCells;  // the calibration's evaluation from changed cells
}

class MeasureEvaluator {
public:
  MeasureEvaluator(const ClassScheme& scheme, std::vector<std::string> names,
                   double halvingDistance = 2.0, double radius = 4.0);
  ~MeasureEvaluator();
  MeasureEvaluator(const MeasureEvaluator&) = delete;
  MeasureEvaluator& operator=(const MeasureEvaluator&) = delete;

  const std::vector<std::string>& Names() const;
  bool NeedsStart() const;
  void Evaluate(const RasterView& observed, const RasterView& simulated, const RasterView* start,
                Scalar* out);

private:
  friend struct compare_detail::ChangedCells;
  struct Impl;
  Impl* impl_;
};

// One class of predicted percentage in a reliability table.
struct ReliabilityBin {
  int fromPercent = 0, toPercent = 0;  // [from, to), the last bin [90, 100]
  std::uint64_t cells = 0;
  Scalar meanPredicted;      // percent
  Scalar observedFrequency;  // share of observed developed cells, 0..1
};

struct ProbabilityScore {
  std::uint64_t cells = 0, observedDeveloped = 0;
  Scalar auc;
  std::array<ReliabilityBin, 10> reliability;
};

// runsDeveloped[r * cols + c]: the runs (of `runs`) that ended with the
// cell developed; scored against the observed map's developed cells (cells
// whose observed ID has no class are left out).
ProbabilityScore ScoreProbability(const std::uint16_t* runsDeveloped, int runs,
                                  const RasterView& observed, const ClassScheme& scheme);

struct RunStatistic {
  int defined = 0;  // runs with a value
  Scalar mean, sd;  // sd: sample deviation (n - 1), 0 for one run
};

// Per measure (values[run][measure]): mean and deviation over the runs where
// it is defined.
std::vector<RunStatistic> RunStatistics(const std::vector<std::vector<Scalar>>& values);

}  // namespace towngrow
