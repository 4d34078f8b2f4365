// The search over a space of parameter values: the rounds of grid, refine,
// Latin hypercube, Morris and proposed searches.
// See towngrow/calibrate.h for the rules.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>

#include "space_values.h"
#include "towngrow/calibrate.h"

namespace towngrow {

using calibrate_values::Rounded;
using calibrate_values::SpaceHigh;
using calibrate_values::SpaceLow;

namespace {

constexpr double kMaxPoints = 1e8;      // no round may hold more, whatever the settings
constexpr int kRoundsWithoutNew = 100;  // a proposed search ends after so many rounds

// splitmix64: small, fast and the same on every platform.
class Draws {
public:
  explicit Draws(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }  // [0, 1)
  std::size_t Below(std::size_t n) {
    return std::min(n - 1, static_cast<std::size_t>(Unit() * static_cast<double>(n)));
  }

private:
  std::uint64_t state_;
};

std::string TooLarge(double count, const std::string& what, double most) {
  return "a round of " + ValueText(count) + " points (" + what +
         ") is more than the most allowed, " + ValueText(most) +
         ": narrow the space, or search it with cmaes";
}

// The full factorial of the lists, last list fastest.
std::vector<Point> Factorial(const std::vector<std::vector<double>>& lists, double most) {
  double count = 1;
  for (const auto& l : lists) count *= static_cast<double>(l.size());
  if (count > most)
    throw std::invalid_argument(TooLarge(count, "a lattice of the parameters' values", most));
  std::vector<Point> points;
  points.reserve(static_cast<std::size_t>(count));
  std::vector<std::size_t> at(lists.size(), 0);
  for (;;) {
    Point p;
    for (std::size_t d = 0; d < lists.size(); ++d) p.values.push_back(lists[d][at[d]]);
    points.push_back(std::move(p));
    std::size_t d = lists.size();
    while (d > 0 && ++at[d - 1] == lists[d - 1].size()) at[--d] = 0;
    if (d == 0) break;
  }
  return points;
}

std::vector<Point> LatinHypercube(const SearchSpace& space, const SearchSettings& s) {
  const std::size_t n = static_cast<std::size_t>(s.samples);
  Draws draws(s.seed);
  std::vector<std::vector<double>> columns(space.size());
  for (std::size_t d = 0; d < space.size(); ++d) {
    std::vector<std::size_t> strata(n);
    for (std::size_t j = 0; j < n; ++j) strata[j] = j;
    if (d > 0)  // the first parameter's strata in order, the others shuffled
      for (std::size_t j = n; j > 1; --j) std::swap(strata[j - 1], strata[draws.Below(j)]);
    const double low = SpaceLow(space[d]), high = SpaceHigh(space[d]);
    for (std::size_t j = 0; j < n; ++j) {
      const double u = (static_cast<double>(strata[j]) + draws.Unit()) / static_cast<double>(n);
      columns[d].push_back(Rounded(space[d], low + u * (high - low)));
    }
  }
  std::vector<Point> points(n);
  for (std::size_t j = 0; j < n; ++j)
    for (std::size_t d = 0; d < space.size(); ++d) points[j].values.push_back(columns[d][j]);
  return points;
}

// Morris trajectories, one after another (see towngrow/calibrate.h).
std::vector<Point> MorrisTrajectories(const SearchSpace& space, const SearchSettings& s) {
  const std::size_t k = space.size();
  const int levels = s.levels, jump = s.levels / 2;
  const double top = static_cast<double>(levels - 1);
  Draws draws(s.seed);
  std::vector<Point> points;
  points.reserve(static_cast<std::size_t>(s.trajectories) * (k + 1));
  for (int t = 0; t < s.trajectories; ++t) {
    std::vector<std::size_t> order(k);
    for (std::size_t d = 0; d < k; ++d) order[d] = d;
    for (std::size_t j = k; j > 1; --j) std::swap(order[j - 1], order[draws.Below(j)]);
    std::vector<int> level(k), step(k);
    for (std::size_t d = 0; d < k; ++d) {
      const bool up = draws.Below(2) == 0;
      const int base = static_cast<int>(draws.Below(static_cast<std::size_t>(levels - jump)));
      level[d] = up ? base : jump + base;
      step[d] = up ? jump : -jump;
    }
    auto pointAt = [&] {
      std::vector<double> u(k);
      for (std::size_t d = 0; d < k; ++d) u[d] = level[d] / top;
      return PointAtFractions(space, u);
    };
    points.push_back(pointAt());
    for (std::size_t j = 0; j < k; ++j) {
      level[order[j]] += step[order[j]];
      points.push_back(pointAt());
    }
  }
  return points;
}

// The size of a refinement lattice: per parameter the lattice's values, at
// most the whole numbers of an integer parameter's first range.
double RefineLattice(const SearchSpace& space, const SearchSettings& s) {
  double count = 1;
  for (const SearchParameter& p : space) {
    double n = s.lattice;
    if (p.integer) n = std::min(n, SpaceHigh(p) - SpaceLow(p) + 1);
    count *= n;
  }
  return count;
}

}  // namespace

void CheckSettings(const SearchSettings& s) {
  if (s.rounds < 1 || s.rounds > 100) throw std::invalid_argument("rounds must be from 1 to 100");
  if (s.keep < 1 || s.keep > 1000) throw std::invalid_argument("k must be from 1 to 1000");
  if (s.lattice < 2 || s.lattice > 1000)
    throw std::invalid_argument("the lattice must have 2 to 1000 values per parameter");
  if (s.samples < 1 || s.samples > 10000000)
    throw std::invalid_argument("the sample must have 1 to 10000000 points");
  if (s.trajectories < 1 || s.trajectories > 1000000)
    throw std::invalid_argument("trajectories must be from 1 to 1000000");
  if (s.levels < 2 || s.levels > 1000 || s.levels % 2 != 0)
    throw std::invalid_argument("levels must be an even number from 2 to 1000");
  if (s.evaluations < 0 || s.evaluations > 100000000)
    throw std::invalid_argument("evaluations must be from 0 (no budget) to 100000000");
  if (!(s.maxPoints >= 1 && s.maxPoints <= kMaxPoints))
    throw std::invalid_argument("the most points of a round must be from 1 to 100000000");
  if (s.method == SearchMethod::Proposed && s.evaluations == 0)
    throw std::invalid_argument("a search that proposes its points needs a budget of evaluations");
}

SearchSize PlannedSize(const SearchSpace& space, const SearchSettings& s,
                       const Proposer* proposer) {
  CheckSpace(space);
  CheckSettings(s);
  SearchSize size;
  const double grid = [&] {
    double n = 1;
    for (const SearchParameter& p : space) n *= static_cast<double>(p.values.size());
    return n;
  }();
  const double budget = s.evaluations > 0 ? static_cast<double>(s.evaluations) : 0.0;
  auto capped = [budget](double n) { return budget > 0 ? std::min(n, budget) : n; };
  const std::string parameters =
      std::to_string(space.size()) + " parameter" + (space.size() == 1 ? "" : "s");
  switch (s.method) {
    case SearchMethod::Grid:
      size.firstRound = grid;
      size.total = capped(grid);
      size.what = "every combination of the values of " + parameters;
      break;
    case SearchMethod::Refine:
    case SearchMethod::Lhs: {
      size.firstRound = s.method == SearchMethod::Lhs ? s.samples : grid;
      size.laterRound = s.rounds > 1 ? RefineLattice(space, s) : 0;
      size.total = capped(size.firstRound + (s.rounds - 1) * size.laterRound);
      size.what =
          size.laterRound > size.firstRound
              ? "refine's lattice of " + std::to_string(s.lattice) + " values over " + parameters
          : s.method == SearchMethod::Lhs ? "a Latin hypercube sample"
                                          : "every combination of the values of " + parameters;
      break;
    }
    case SearchMethod::Morris:
      size.firstRound = static_cast<double>(s.trajectories) * static_cast<double>(space.size() + 1);
      size.total = capped(size.firstRound);
      size.what = std::to_string(s.trajectories) + " Morris trajectories over " + parameters;
      break;
    case SearchMethod::Proposed: {
      const double round = proposer ? static_cast<double>(proposer->RoundSize(space)) : 0.0;
      size.firstRound = round;
      size.laterRound = round;
      size.total = budget;
      size.what = "a generation";
      break;
    }
  }
  return size;
}

void CheckSize(const SearchSpace& space, const SearchSettings& s, const Proposer* proposer) {
  const SearchSize size = PlannedSize(space, s, proposer);
  const double largest = std::max(size.firstRound, size.laterRound);
  if (largest > s.maxPoints) throw std::invalid_argument(TooLarge(largest, size.what, s.maxPoints));
}

std::vector<Point> FirstRound(const SearchSpace& space, const SearchSettings& settings) {
  CheckSpace(space);
  CheckSettings(settings);
  if (settings.method == SearchMethod::Proposed)
    throw std::invalid_argument("a proposed search's first round comes from its proposer");
  const SearchSize size = PlannedSize(space, settings);
  if (size.firstRound > settings.maxPoints)
    throw std::invalid_argument(TooLarge(
        size.firstRound,
        settings.method == SearchMethod::Lhs      ? "a Latin hypercube sample"
        : settings.method == SearchMethod::Morris ? "Morris trajectories"
                                                  : "every combination of the parameters' values",
        settings.maxPoints));
  if (settings.method == SearchMethod::Lhs) return LatinHypercube(space, settings);
  if (settings.method == SearchMethod::Morris) return MorrisTrajectories(space, settings);
  std::vector<std::vector<double>> lists;
  for (const SearchParameter& p : space) lists.push_back(p.values);
  return Factorial(lists, settings.maxPoints);
}

namespace {

// A proposed point's values must be legal ones of their parameters.
void CheckProposed(const SearchSpace& space, const Point& p) {
  if (p.values.size() != space.size())
    throw std::logic_error("the proposer gave a point of " + std::to_string(p.values.size()) +
                           " values for " + std::to_string(space.size()) + " parameters");
  for (std::size_t d = 0; d < space.size(); ++d) {
    const SearchParameter& q = space[d];
    const double v = p.values[d];
    if (!std::isfinite(v) || v < q.lowest || v > q.highest || (q.integer && v != std::floor(v)))
      throw std::logic_error("the proposer gave " + q.name + "=" + ValueText(v) +
                             ", not a legal value of it");
  }
}

}  // namespace

SearchResult Search(const SearchSpace& space, const SearchSettings& settings,
                    const SearchHooks& hooks, Proposer* proposer) {
  if (!hooks.evaluate) throw std::invalid_argument("a search needs a way to evaluate points");
  const bool proposed = settings.method == SearchMethod::Proposed;
  if (proposed && proposer == nullptr)
    throw std::invalid_argument("a search that proposes its points needs a proposer");
  CheckSize(space, settings, proposed ? proposer : nullptr);
  std::vector<Point> next = proposed ? proposer->First(space) : FirstRound(space, settings);
  const int rounds =
      settings.method == SearchMethod::Grid || settings.method == SearchMethod::Morris ? 1
      : proposed ? std::numeric_limits<int>::max()
                 : settings.rounds;
  const std::size_t budget = static_cast<std::size_t>(settings.evaluations);

  std::vector<PointResult> all;           // every point of the search, in the order met
  std::map<std::string, std::size_t> at;  // key -> index in all
  SearchResult out;
  int withoutNew = 0;  // rounds in a row that brought no point not met before
  for (int round = 1; round <= rounds; ++round) {
    if (proposed) {
      if (static_cast<double>(next.size()) > settings.maxPoints)
        throw std::invalid_argument(
            TooLarge(static_cast<double>(next.size()), "a proposed round", settings.maxPoints));
      for (const Point& p : next) CheckProposed(space, p);
    }
    // The round's distinct points; those met before keep their results.
    // Points beyond the budget are left out, and the round is the last.
    std::vector<std::size_t> members;
    std::vector<Point> todo;
    std::vector<std::string> todoKeys, askedKeys;
    std::set<std::string> inRound;
    std::size_t known = 0, fresh = 0;
    bool cut = false;
    for (Point& p : next) {
      std::string key = PointKey(space, p);
      askedKeys.push_back(key);
      if (inRound.count(key)) continue;
      auto found = at.find(key);
      if (found == at.end()) {
        if (budget > 0 && all.size() + todo.size() >= budget) {
          cut = true;
          continue;
        }
        ++fresh;
        if (hooks.lookup) {
          if (std::optional<PointResult> stored = hooks.lookup(key)) {
            stored->point = p;
            stored->key = key;
            found = at.emplace(key, all.size()).first;
            all.push_back(std::move(*stored));
          }
        }
      }
      inRound.insert(key);
      if (found != at.end()) {
        members.push_back(found->second);
        ++known;
        continue;
      }
      todoKeys.push_back(std::move(key));
      todo.push_back(p);
    }
    if (hooks.roundBegins) hooks.roundBegins(round, inRound.size(), known);

    std::vector<bool> got(todo.size(), false);
    if (!todo.empty())
      hooks.evaluate(todo, round, [&](std::size_t i, PointResult&& r) {
        if (i >= todo.size() || got[i]) throw std::logic_error("a point was handed back twice");
        got[i] = true;
        r.point = todo[i];
        r.key = todoKeys[i];
        r.round = round;
        if (hooks.finished) hooks.finished(r);
        at.emplace(r.key, all.size());
        all.push_back(std::move(r));
      });
    for (std::size_t i = 0; i < todo.size(); ++i) {
      if (!got[i]) throw std::runtime_error("point " + todoKeys[i] + " was not evaluated");
      members.push_back(at[todoKeys[i]]);
    }

    RoundReport report;
    report.round = round;
    report.points = members.size();
    report.evaluated = todo.size();
    std::vector<Point> roundPoints;
    for (std::size_t m : members) {
      roundPoints.push_back(all[m].point);
      if (!report.bestOfRound || RanksBefore(all[m], *report.bestOfRound))
        report.bestOfRound = all[m];
    }
    report.ranges = RangesOf(space, roundPoints);
    std::vector<std::size_t> order(all.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return RanksBefore(all[a], all[b]); });
    if (!order.empty()) report.bestSoFar = all[order.front()];
    const std::vector<ParameterRange> ranges = report.ranges;
    if (hooks.roundEnds) hooks.roundEnds(report);
    out.rounds.push_back(std::move(report));
    if (round == rounds || order.empty() || cut || (budget > 0 && all.size() >= budget)) break;

    if (proposed) {
      withoutNew = fresh == 0 ? withoutNew + 1 : 0;
      if (withoutNew >= kRoundsWithoutNew) break;
      std::vector<const PointResult*> results;
      for (const std::string& key : askedKeys) results.push_back(&all[at.at(key)]);
      next = proposer->Next(space, next, results);
      if (next.empty()) break;
      continue;
    }

    // The next lattice around the best k points so far.
    std::vector<const Point*> best;
    for (std::size_t i = 0;
         i < order.size() && best.size() < static_cast<std::size_t>(settings.keep); ++i)
      best.push_back(&all[order[i]].point);
    std::vector<std::vector<double>> lists;
    for (std::size_t d = 0; d < space.size(); ++d) {
      const ParameterRange r = NextRange(space[d], ranges[d], best, d);
      lists.push_back(Lattice(space[d], r.low, r.high, settings.lattice));
    }
    next = Factorial(lists, settings.maxPoints);
    bool anyNew = false;
    for (const Point& p : next) anyNew = anyNew || at.count(PointKey(space, p)) == 0;
    if (!anyNew) break;
  }
  out.ranking = std::move(all);
  std::sort(out.ranking.begin(), out.ranking.end(), RanksBefore);
  return out;
}

}  // namespace towngrow
