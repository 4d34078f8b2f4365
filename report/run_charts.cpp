// The charts of the commands' outputs.
#include "report/run_charts.h"

#include <algorithm>
#include <cmath>

#include "towngrow/compare.h"
#include "towngrow/ensemble.h"
#include "towngrow/landuse/land_use.h"
#include "towngrow/landuse/land_use_set.h"
#include "towngrow/platform/framework.h"

namespace towngrow::report {

namespace {

const CLandUse* UseAt(const CLandUseSet& set, int i) {
  return dynamic_cast<const CLandUse*>(set.m_LandUseArray.GetAt(i));
}

// The land uses charted: each ID once (the set's first land use of it), no
// vacant land.
std::vector<const CLandUse*> ChartedUses(const CLandUseSet& set) {
  std::vector<const CLandUse*> uses;
  for (int i = 0; i < set.m_LandUseArray.GetSize(); ++i) {
    const CLandUse* use = UseAt(set, i);
    if (use == nullptr || set.GetIDIndex(use->m_ID) != i || use->m_LandUseCategory == Blank)
      continue;
    uses.push_back(use);
  }
  return uses;
}

std::string UseName(const CLandUse& use) {
  return use.m_strLandUseName + " (ID " + std::to_string(use.m_ID) + ")";
}

}  // namespace

GrowthRecord::GrowthRecord(const CLandUseSet& set) : set_(set) {
  for (const CLandUse* use : ChartedUses(set)) ids_.push_back(use->m_ID);
  cells_.resize(ids_.size());
}

void GrowthRecord::Add(long step, const std::array<long, 256>& cellsPerId) {
  lastStep_ = step;
  last_.assign(ids_.size(), 0.0);
  for (std::size_t k = 0; k < ids_.size(); ++k) last_[k] = static_cast<double>(cellsPerId[ids_[k]]);
  if (step % stride_ != 0) return;
  if (steps_.size() >= kMaxPoints) {  // keep every other point, then every 2k-th step
    std::size_t kept = 0;
    stride_ *= 2;
    for (std::size_t i = 0; i < steps_.size(); ++i) {
      if (steps_[i] % stride_ != 0) continue;
      steps_[kept] = steps_[i];
      for (auto& series : cells_) series[kept] = series[i];
      ++kept;
    }
    steps_.resize(kept);
    for (auto& series : cells_) series.resize(kept);
    if (step % stride_ != 0) return;
  }
  steps_.push_back(step);
  for (std::size_t k = 0; k < ids_.size(); ++k) cells_[k].push_back(last_[k]);
}

Chart GrowthRecord::ToChart(bool logY, const std::string& subtitle) const {
  Chart chart;
  chart.title = "Cells per land use over the steps";
  chart.subtitle = subtitle;
  chart.xLabel = "step";
  chart.yLabel = logY ? "cells (log scale)" : "cells";
  chart.logY = logY;
  chart.integerX = true;
  const bool lastApart = lastStep_ >= 0 && (steps_.empty() || steps_.back() != lastStep_);
  for (std::size_t k = 0; k < ids_.size(); ++k) {
    const CLandUse& use = *UseAt(set_, set_.GetIDIndex(ids_[k]));
    ChartSeries s;
    s.name = UseName(use);
    s.color = use.m_Color;
    for (long step : steps_) s.x.push_back(static_cast<double>(step));
    s.y = cells_[k];
    if (lastApart) s.x.push_back(static_cast<double>(lastStep_)), s.y.push_back(last_[k]);
    chart.series.push_back(std::move(s));
  }
  return chart;
}

Chart EnsembleChart(const CLandUseSet& set, const EnsembleResult& result, bool logY,
                    const std::string& subtitle) {
  Chart chart;
  chart.title = "Mean cells per land use over " + std::to_string(result.runs) +
                (result.runs == 1 ? " run" : " runs") + ", with one standard deviation";
  chart.subtitle = subtitle;
  chart.xLabel = "step";
  chart.yLabel = logY ? "cells (log scale)" : "cells";
  chart.logY = logY;
  chart.integerX = true;
  // At most about 2000 steps drawn: every k-th and the last.
  const std::size_t n = result.meanPerStep.size();
  const std::size_t every = n > 2000 ? (n + 1999) / 2000 : 1;
  for (const CLandUse* use : ChartedUses(set)) {
    ChartSeries s;
    s.name = UseName(*use);
    s.color = use->m_Color;
    for (std::size_t step = 0; step < n; ++step) {
      if (step % every != 0 && step + 1 != n) continue;
      const double mean = result.meanPerStep[step][use->m_ID];
      const double sd = result.stddevPerStep[step][use->m_ID];
      s.x.push_back(static_cast<double>(step));
      s.y.push_back(mean);
      s.lo.push_back(mean - sd);
      s.hi.push_back(mean + sd);
    }
    chart.series.push_back(std::move(s));
  }
  return chart;
}

Chart ResolutionChart(const ComparisonResult& result, const std::string& subtitle) {
  Chart chart;
  chart.title = "Disagreement per resolution";
  chart.subtitle = subtitle;
  chart.xLabel = "block side (cells, log scale)";
  chart.yLabel = "share of the cells";
  chart.logX = true;
  ChartSeries quantity, allocation;
  quantity.name = "quantity disagreement";
  quantity.color = 0x2730D7u;  // red
  allocation.name = "allocation disagreement";
  allocation.color = 0xB4772Eu;  // blue
  for (const ResolutionBudget& b : result.resolutions) {
    const double side = static_cast<double>(b.blockSide);
    quantity.x.push_back(side);
    quantity.y.push_back(b.quantity.value ? *b.quantity.value : NAN);
    allocation.x.push_back(side);
    allocation.y.push_back(b.allocation.value ? *b.allocation.value : NAN);
  }
  chart.series = {quantity, allocation};
  return chart;
}

Chart ObjectiveChart(const std::string& parameter, const std::vector<double>& values,
                     const std::vector<double>& objective, const std::string& objectiveName) {
  Chart chart;
  chart.title = objectiveName + " against " + parameter;
  chart.xLabel = parameter;
  chart.yLabel = objectiveName;
  chart.integerX = true;
  for (double v : values) chart.integerX = chart.integerX && v == std::floor(v);
  ChartSeries s;
  s.kind = ChartSeries::Kind::Points;
  s.color = 0xB4772Eu;
  s.x = values;
  s.y = objective;
  chart.series.push_back(std::move(s));
  return chart;
}

Chart RoundsChart(const std::vector<double>& best, const std::string& objectiveName) {
  Chart chart;
  chart.title = "Best " + objectiveName + " after each round";
  chart.xLabel = "round";
  chart.yLabel = objectiveName;
  chart.integerX = true;
  ChartSeries s;
  s.color = 0xB4772Eu;
  for (std::size_t i = 0; i < best.size(); ++i) s.x.push_back(static_cast<double>(i + 1));
  s.y = best;
  ChartSeries dots = s;
  dots.kind = ChartSeries::Kind::Points;
  chart.series = {s, dots};
  return chart;
}

Chart SensitivityChart(const std::vector<std::string>& parameters,
                       const std::vector<double>& muStar, const std::vector<double>& sigma,
                       const std::string& objectiveName) {
  Chart chart;
  chart.title = "Influence of each parameter on " + objectiveName;
  chart.subtitle = "Morris screening: mu* (bars) and sigma (whiskers) of the elementary effects";
  chart.yLabel = "mu* of " + objectiveName;
  chart.categories = parameters;
  ChartSeries s;
  s.kind = ChartSeries::Kind::Bars;
  s.color = 0xB4772Eu;
  for (std::size_t i = 0; i < parameters.size() && i < muStar.size(); ++i) {
    s.x.push_back(static_cast<double>(i + 1));
    s.y.push_back(muStar[i]);
    const double sd = i < sigma.size() ? sigma[i] : 0.0;
    s.lo.push_back(std::max(0.0, muStar[i] - sd));
    s.hi.push_back(muStar[i] + sd);
  }
  chart.series.push_back(std::move(s));
  return chart;
}

}  // namespace towngrow::report
