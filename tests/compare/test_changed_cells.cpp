// The calibration's comparison from changed cells gives what the full evaluation gives, bit for
// bit: random maps with IDs of no class, views with their own strides, marked cells that kept the
// start's value, and measure lists of the change group, the pair group or both.
#include <random>

#include "compare/compare_internal.h"
#include "support/scene.h"

using namespace testkit;
using compare_detail::ChangedCells;

TEST(ChangedCells, MeasuresFromTheChangedCellsAreThoseOfTheWholeMaps) {
  const int rows = 23, cols = 31;
  std::mt19937 random(5);
  auto id = [&](int spread) { return static_cast<unsigned char>(random() % spread); };
  ClassScheme scheme = DefaultClasses(CLandUseSet());
  scheme.classOf[7] = -1;
  // Maps held with a row stride of cols, or one of start, observed, simulated with cols + 3 (the
  // padding holds noise).
  for (const int padded : {-1, 0, 1, 2}) {
    int stride[3] = {cols, cols, cols};
    if (padded >= 0) stride[padded] += 3;
    auto at = [&](int k, int i) { return (i / cols) * stride[k] + i % cols; };
    std::vector<unsigned char> start(rows * stride[0]), observed(rows * stride[1]);
    for (auto& v : start) v = id(8);  // 7: no class
    for (auto& v : observed) v = id(8);
    const std::vector<std::vector<std::string>> lists = {
        {"fom.developed", "producers.developed", "users.developed", "ksim", "leesallee", "quantity",
         "allocation"},
        {"fom.housing", "ksim"},
        {"agreement", "kappa", "quantity.street", "allocation.housing"}};
    for (const auto& names : lists) {
      SCOPED_TRACE(names.front() + " " + std::to_string(padded));
      MeasureEvaluator whole(scheme, names), changed(scheme, names);
      ASSERT_TRUE(ChangedCells::Suits(changed));
      const RasterView startView{start.data(), rows, cols, stride[0]};
      const RasterView observedView{observed.data(), rows, cols, stride[1]};
      std::vector<std::uint64_t> base;
      ChangedCells::BaseTable(changed, startView, observedView, base);
      for (int run = 0; run < 4; ++run) {
        // Blocks of 64 cells (flat order) marked at random; some of their
        // cells change, some keep the start's value.
        std::vector<unsigned char> simulated(rows * stride[2], 7);
        std::vector<std::uint64_t> blocks(1, 0);  // 12 blocks
        for (int i = 0; i < rows * cols; ++i) {
          if (i % 64 == 0 && random() % 3 == 0) blocks[0] |= std::uint64_t{1} << (i / 64);
          const bool changes = ((blocks[0] >> (i / 64)) & 1) != 0 && random() % 4 != 0;
          simulated[at(2, i)] = changes ? id(8) : start[at(0, i)];
        }
        std::vector<Scalar> want(names.size()), got(names.size());
        const RasterView simulatedView{simulated.data(), rows, cols, stride[2]};
        whole.Evaluate(observedView, simulatedView, &startView, want.data());
        ChangedCells::Evaluate(changed, base, startView, observedView, simulatedView, blocks.data(),
                               blocks.size(), got.data());
        for (std::size_t m = 0; m < names.size(); ++m) {
          EXPECT_EQ(got[m].value, want[m].value) << names[m];
          EXPECT_STREQ(got[m].reason, want[m].reason) << names[m];
        }
      }
    }
  }
  EXPECT_FALSE(ChangedCells::Suits(MeasureEvaluator(scheme, {"ksim", "fuzzykappa"})));
  EXPECT_FALSE(ChangedCells::Suits(MeasureEvaluator(scheme, {"allocation@2"})));
}
