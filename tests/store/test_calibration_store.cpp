// The calibration store: finished points read back whole (round, seeds, objective, quantity and
// every measure per control map, undefined values with their reasons) after the store is closed and
// opened again; a store made for other inputs, or no store at all, is refused and left as it was.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include <towngrow/calibrate.h>

#include "io/error.h"
#include "store/calibration_store.h"
#include "support/files.h"

using namespace towngrow;
using towngrow::store::CalibrationStore;
using towngrow::store::StoreMeta;

namespace {

std::string Shown(const Scalar& s) {
  return s.value ? ValueText(*s.value) : std::string("-") + s.reason;
}

// A point as text: key, round, seeds, objective, quantity, each map's measures (runs, mean, sd).
std::string Shown(const PointResult& r) {
  std::string s = r.key + " round " + std::to_string(r.round) + " seeds";
  for (unsigned int seed : r.seeds) s += " " + std::to_string(seed);
  s += " objective " + Shown(r.objective) + " quantity " + Shown(r.quantity);
  for (const auto& control : r.stats) {
    s += " |";
    for (const RunStatistic& m : control)
      s += " " + std::to_string(m.defined) + " " + Shown(m.mean) + " " + Shown(m.sd);
  }
  return s;
}

std::string Refusal(const std::function<void()>& f) { return testkit::Thrown<io::Error>(f); }

}  // namespace

TEST(CalibrationStore, PointsReadBackWholeAfterReopening) {
  testkit::ScratchDir dir;
  const std::string path = dir / "c.sqlite";
  const StoreMeta meta = {{"format", "1"}, {"space", "id3.activeAge=1,2"}, {"runs", "3"}};
  const std::vector<std::string> measures = {"kappa", "quantity"}, names = {"id3.activeAge", "x"};
  const std::vector<long> steps = {4, 8};
  const char* one = "both maps hold one and the same class only";
  PointResult a, b;
  a.point.values = {2, 0.5}, a.key = "id3.activeAge=2;x=0.5", a.round = 2, a.seeds = {7, 12, 17};
  a.stats = {{{3, Scalar::Of(0.5), Scalar::Of(0.125)}, {3, Scalar::Of(-0.25), Scalar::Of(0)}},
             {{0, Scalar::None(one), Scalar::None(one)}, {2, Scalar::Of(1e-7), Scalar::Of(3)}}};
  a.objective = Scalar::Of(0.75), a.quantity = Scalar::Of(0.0625);
  b = a, b.key = "b", b.round = 1, b.seeds = {4000000000u};
  b.objective = Scalar::None("no class is developed");
  b.quantity = Scalar::None("quantity undefined in a run");
  {
    CalibrationStore s(path, meta, measures, steps);
    EXPECT_FALSE(s.Lookup(a.key).has_value());
    s.Add(b, names);
    b.round = 3;
    s.Add(b, names);  // the same key again replaces it
    s.Add(a, names);
    EXPECT_EQ(s.Count(), 2);
  }
  EXPECT_EQ(testkit::Listing(dir.Path()), (std::set<std::string>{"c.sqlite"}));
  CalibrationStore::CheckCompatible(path, meta);
  CalibrationStore s(path, meta, measures, steps);
  EXPECT_EQ(s.Count(), 2);
  for (const PointResult* p : {&a, &b}) {
    const auto got = s.Lookup(p->key);
    ASSERT_TRUE(got.has_value()) << p->key;
    EXPECT_EQ(Shown(*got), Shown(*p));
  }
  // Opened for other measures or control maps, a point does not fit.
  EXPECT_EQ(Refusal([&] { CalibrationStore(path, meta, {"kappa"}, steps).Lookup("b"); }),
            path + ": point b holds a measure this calibration does not");
  EXPECT_EQ(Refusal([&] { CalibrationStore(path, meta, measures, {4}).Lookup("b"); }),
            path + ": point b holds a measure this calibration does not");
  EXPECT_EQ(Refusal([&] {
              CalibrationStore(path, meta, {"kappa", "quantity", "ksim"}, steps).Lookup("b");
            }),
            path + ": point b lacks measures");
}

// Each row: the meta a calibration asks for, the refusal of a store made with {format 1, space s,
// runs 3} (nothing when it fits); the file is left as it was.
TEST(CalibrationStore, AStoreMadeForOtherInputsIsRefused) {
  testkit::ScratchDir dir;
  const std::string path = dir / "c.sqlite";
  const StoreMeta made = {{"format", "1"}, {"space", "s"}, {"runs", "3"}};
  { CalibrationStore s(path, made, {"kappa"}, {4}); }
  const std::string bytes = testkit::ReadAll(path);
  const std::pair<StoreMeta, std::string> rows[] = {
      {made, ""},
      {{{"runs", "3"}, {"space", "s"}}, "made for another database layout (meta key format)"},
      {{{"format", "1"}, {"space", "t"}, {"runs", "3"}},
       "made for another search space (meta key space); remove it or choose another --out"},
      {{{"format", "1"}, {"space", "s"}, {"runs", "4"}},
       "made for another number of runs (meta key runs)"},
      {{{"format", "1"}, {"space", "s"}, {"runs", "3"}, {"classes", "a=1"}},
       "made for another class file (meta key classes)"}};
  for (const auto& [meta, refusal] : rows) {
    const std::string said = Refusal([&] { CalibrationStore::CheckCompatible(path, meta); });
    EXPECT_EQ(said.rfind(refusal.empty() ? "" : path + ": " + refusal, 0), 0u) << said;
    EXPECT_EQ(refusal.empty(), said.empty()) << said;
  }
  EXPECT_EQ(testkit::ReadAll(path), bytes);
  CalibrationStore::CheckCompatible(dir / "none.sqlite", made);  // no store yet: nothing to refuse
  for (const char* other : {"", "not a database"}) {
    testkit::WriteAll(dir / "other.sqlite", other);
    EXPECT_EQ(Refusal([&] { CalibrationStore::CheckCompatible(dir / "other.sqlite", made); }),
              dir / "other.sqlite: not a calibration database; remove it or choose another --out");
    EXPECT_EQ(testkit::ReadAll(dir / "other.sqlite"), other);
  }
  EXPECT_EQ(testkit::Listing(dir.Path()), (std::set<std::string>{"c.sqlite", "other.sqlite"}));
}
