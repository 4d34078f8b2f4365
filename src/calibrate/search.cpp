// The search over a space of parameter values: points, their keys, the
// rounds of grid, refine and Latin hypercube searches, and the ranking.
// See towngrow/calibrate.h for the rules.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>

#include "towngrow/calibrate.h"

namespace towngrow {
namespace {

constexpr double kMaxPoints = 1e8;  // a round of more points is refused

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

// A value as the parameter holds it: whole for integers, 10 significant
// digits for reals, within the legal range.
double Rounded(const SearchParameter& p, double v) {
  if (p.integer) {
    v = std::round(v);
  } else {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.10g", v);
    v = std::strtod(buf, nullptr);
  }
  return std::clamp(v, p.lowest, p.highest);
}

double SpaceLow(const SearchParameter& p) {
  return *std::min_element(p.values.begin(), p.values.end());
}
double SpaceHigh(const SearchParameter& p) {
  return *std::max_element(p.values.begin(), p.values.end());
}

// The full factorial of the lists, last list fastest.
std::vector<Point> Factorial(const std::vector<std::vector<double>>& lists) {
  double count = 1;
  for (const auto& l : lists) count *= static_cast<double>(l.size());
  if (count > kMaxPoints)
    throw std::invalid_argument("a round of " + ValueText(count) +
                                " points is too large (at most 100000000)");
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

}  // namespace

void CheckSpace(const SearchSpace& space) {
  if (space.empty()) throw std::invalid_argument("the space has no parameter");
  std::set<std::string> names;
  for (const SearchParameter& p : space) {
    if (p.name.empty()) throw std::invalid_argument("a parameter of the space has no name");
    if (!names.insert(p.name).second)
      throw std::invalid_argument("parameter " + p.name + " is listed twice");
    if (!(p.lowest <= p.highest))
      throw std::invalid_argument(p.name + ": its legal range is empty");
    if (p.values.empty()) throw std::invalid_argument(p.name + ": no value");
    std::set<double> seen;
    for (double v : p.values) {
      if (!std::isfinite(v) || v < p.lowest || v > p.highest)
        throw std::invalid_argument(p.name + ": " + ValueText(v) + " is outside " +
                                    ValueText(p.lowest) + " to " + ValueText(p.highest));
      if (p.integer && v != std::floor(v))
        throw std::invalid_argument(p.name + ": " + ValueText(v) + " is not a whole number");
      if (!seen.insert(v).second)
        throw std::invalid_argument(p.name + ": " + ValueText(v) + " is listed twice");
    }
  }
}

void CheckSettings(const SearchSettings& s) {
  if (s.rounds < 1 || s.rounds > 100) throw std::invalid_argument("rounds must be from 1 to 100");
  if (s.keep < 1 || s.keep > 1000) throw std::invalid_argument("k must be from 1 to 1000");
  if (s.lattice < 2 || s.lattice > 1000)
    throw std::invalid_argument("the lattice must have 2 to 1000 values per parameter");
  if (s.samples < 1 || s.samples > 10000000)
    throw std::invalid_argument("the sample must have 1 to 10000000 points");
}

std::string ValueText(double v) {
  if (v == 0) return "0";
  if (v == std::floor(v) && std::fabs(v) < 1e15) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.0f", v);
    return buf;
  }
  char buf[40];
  for (int digits = 1; digits <= 17; ++digits) {
    std::snprintf(buf, sizeof buf, "%.*g", digits, v);
    if (std::strtod(buf, nullptr) == v) break;
  }
  return buf;
}

std::string PointKey(const SearchSpace& space, const Point& point) {
  std::string key;
  for (std::size_t d = 0; d < space.size() && d < point.values.size(); ++d)
    key += (d ? "; " : "") + space[d].name + "=" + ValueText(point.values[d]);
  return key;
}

std::vector<Point> FirstRound(const SearchSpace& space, const SearchSettings& settings) {
  CheckSpace(space);
  CheckSettings(settings);
  if (settings.method == SearchMethod::Lhs) return LatinHypercube(space, settings);
  std::vector<std::vector<double>> lists;
  for (const SearchParameter& p : space) lists.push_back(p.values);
  return Factorial(lists);
}

std::vector<ParameterRange> RangesOf(const SearchSpace& space, const std::vector<Point>& points) {
  std::vector<ParameterRange> ranges(space.size());
  for (std::size_t d = 0; d < space.size(); ++d) {
    std::set<double> distinct;
    for (const Point& p : points) distinct.insert(p.values[d]);
    if (distinct.empty()) continue;
    ParameterRange& r = ranges[d];
    r.low = *distinct.begin();
    r.high = *distinct.rbegin();
    r.step = distinct.size() > 1 ? (r.high - r.low) / static_cast<double>(distinct.size() - 1) : 0;
  }
  return ranges;
}

ParameterRange NextRange(const SearchParameter& parameter, const ParameterRange& last,
                         const std::vector<const Point*>& best, std::size_t p) {
  ParameterRange r;
  if (best.empty()) return last;
  double low = best.front()->values[p], high = low;
  for (const Point* b : best) {
    low = std::min(low, b->values[p]);
    high = std::max(high, b->values[p]);
  }
  r.low = std::max(SpaceLow(parameter), low - last.step);
  r.high = std::min(SpaceHigh(parameter), high + last.step);
  return r;
}

std::vector<double> Lattice(const SearchParameter& parameter, double low, double high, int count) {
  std::vector<double> values;
  const int n = low == high ? 1 : count;
  for (int j = 0; j < n; ++j) {
    const double t = n == 1 ? 0.0 : static_cast<double>(j) / static_cast<double>(n - 1);
    const double v = Rounded(parameter, j == n - 1 ? high : low + t * (high - low));
    if (values.empty() || values.back() != v) values.push_back(v);
  }
  return values;
}

bool RanksBefore(const PointResult& a, const PointResult& b) {
  const auto& oa = a.objective.value;
  const auto& ob = b.objective.value;
  if (oa.has_value() != ob.has_value()) return oa.has_value();
  if (oa && *oa != *ob) return *oa > *ob;
  const auto& qa = a.quantity.value;
  const auto& qb = b.quantity.value;
  if (qa.has_value() != qb.has_value()) return qa.has_value();
  if (qa && *qa != *qb) return *qa < *qb;
  return a.key < b.key;
}

SearchResult Search(const SearchSpace& space, const SearchSettings& settings,
                    const SearchHooks& hooks) {
  if (!hooks.evaluate) throw std::invalid_argument("a search needs a way to evaluate points");
  std::vector<Point> next = FirstRound(space, settings);
  const int rounds = settings.method == SearchMethod::Grid ? 1 : settings.rounds;

  std::vector<PointResult> all;           // every point of the search, in the order met
  std::map<std::string, std::size_t> at;  // key -> index in all
  SearchResult out;
  for (int round = 1; round <= rounds; ++round) {
    // The round's distinct points; those met before keep their results.
    std::vector<std::size_t> members;
    std::vector<Point> todo;
    std::vector<std::string> todoKeys;
    std::set<std::string> inRound;
    std::size_t known = 0;
    for (Point& p : next) {
      std::string key = PointKey(space, p);
      if (!inRound.insert(key).second) continue;
      auto found = at.find(key);
      if (found == at.end() && hooks.lookup) {
        if (std::optional<PointResult> stored = hooks.lookup(key)) {
          stored->point = p;
          stored->key = key;
          found = at.emplace(key, all.size()).first;
          all.push_back(std::move(*stored));
        }
      }
      if (found != at.end()) {
        members.push_back(found->second);
        ++known;
        continue;
      }
      todoKeys.push_back(std::move(key));
      todo.push_back(std::move(p));
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
    if (round == rounds || order.empty()) break;

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
    next = Factorial(lists);
    bool fresh = false;
    for (const Point& p : next) fresh = fresh || at.count(PointKey(space, p)) == 0;
    if (!fresh) break;
  }
  out.ranking = std::move(all);
  std::sort(out.ranking.begin(), out.ranking.end(), RanksBefore);
  return out;
}

}  // namespace towngrow
