// The points of a search space: values snapped to a parameter's list,
// fractions of its range, the checks of a space, the text of a value and
// a point's key, refine's ranges and lattices, and the ranking's order.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <stdexcept>
#include <string>

#include "space_values.h"
#include "towngrow/calibrate.h"

namespace towngrow {
namespace calibrate_values {

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

}  // namespace calibrate_values

using calibrate_values::Rounded;
using calibrate_values::SpaceHigh;
using calibrate_values::SpaceLow;

double NearestValue(const SearchParameter& p, double v) {
  double best = p.values.front();
  for (double x : p.values) {
    const double dx = std::fabs(x - v), db = std::fabs(best - v);
    if (dx < db || (dx == db && x < best)) best = x;
  }
  return best;
}

Point PointAtFractions(const SearchSpace& space, const std::vector<double>& u) {
  Point point;
  for (std::size_t d = 0; d < space.size(); ++d) {
    const double low = SpaceLow(space[d]), high = SpaceHigh(space[d]);
    const double f = std::clamp(d < u.size() ? u[d] : 0.0, 0.0, 1.0);
    point.values.push_back(NearestValue(space[d], f >= 1 ? high : low + f * (high - low)));
  }
  return point;
}

std::vector<double> FractionsOf(const SearchSpace& space, const Point& point) {
  std::vector<double> u;
  for (std::size_t d = 0; d < space.size(); ++d) {
    const double low = SpaceLow(space[d]), high = SpaceHigh(space[d]);
    u.push_back(high > low ? (point.values.at(d) - low) / (high - low) : 0.0);
  }
  return u;
}

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
  if (a.stoppedRuns != b.stoppedRuns) return a.stoppedRuns < b.stoppedRuns;
  if (a.stoppedStep != b.stoppedStep) return a.stoppedStep > b.stoppedStep;
  const auto& qa = a.quantity.value;
  const auto& qb = b.quantity.value;
  if (qa.has_value() != qb.has_value()) return qa.has_value();
  if (qa && *qa != *qb) return *qa < *qb;
  return a.key < b.key;
}

}  // namespace towngrow
