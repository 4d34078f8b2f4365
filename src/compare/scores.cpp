// Scores of an ensemble against the observed map: the probability of
// developed per cell (ROC AUC, reliability table) and the spread of the
// runs' measures.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "compare/compare_internal.h"

namespace towngrow {

ProbabilityScore ScoreProbability(const std::uint16_t* runsDeveloped, int runs,
                                  const RasterView& observed, const ClassScheme& scheme) {
  scheme.Check();
  compare_detail::CheckViews(observed, observed, nullptr);
  if (runsDeveloped == nullptr || runs < 1)
    throw std::invalid_argument("a probability map needs its counts and at least 1 run");
  const std::size_t levels = static_cast<std::size_t>(runs) + 1;
  std::vector<std::uint64_t> developed(levels, 0), other(levels, 0);
  const std::uint16_t* counts = runsDeveloped;
  for (int r = 0; r < observed.rows; ++r, counts += observed.cols) {
    const unsigned char* ids = observed.Row(r);
    for (int c = 0; c < observed.cols; ++c) {
      const int k = scheme.classOf[ids[c]];
      if (k < 0) continue;
      const std::uint16_t n = counts[c];
      if (n > runs)
        throw std::invalid_argument("a cell was developed in " + std::to_string(n) + " of " +
                                    std::to_string(runs) + " runs");
      (scheme.developed[static_cast<std::size_t>(k)] ? developed : other)[n] += 1;
    }
  }

  ProbabilityScore score;
  std::uint64_t positives = 0, negatives = 0;
  for (std::size_t i = 0; i < levels; ++i) {
    positives += developed[i];
    negatives += other[i];
  }
  score.cells = positives + negatives;
  score.observedDeveloped = positives;
  if (positives == 0) {
    score.auc = Scalar::None("the observed map has no developed cell");
  } else if (negatives == 0) {
    score.auc = Scalar::None("every observed cell is developed");
  } else {
    // Pairs (developed, other) ranked right, ties one half: sum over the
    // other cells' levels of (developed cells above + half those level).
    long double above = 0, wins = 0;
    for (std::size_t i = levels; i-- > 0;) {
      wins +=
          static_cast<long double>(other[i]) * (above + static_cast<long double>(developed[i]) / 2);
      above += static_cast<long double>(developed[i]);
    }
    score.auc = Scalar::Of(static_cast<double>(
        wins / (static_cast<long double>(positives) * static_cast<long double>(negatives))));
  }
  std::array<std::uint64_t, 10> cells{}, hits{}, predicted{};
  for (std::size_t i = 0; i < levels; ++i) {
    const std::size_t bin = std::min<std::size_t>(9, 10 * i / static_cast<std::size_t>(runs));
    cells[bin] += developed[i] + other[i];
    hits[bin] += developed[i];
    predicted[bin] += (developed[i] + other[i]) * i;
  }
  for (std::size_t b = 0; b < 10; ++b) {
    ReliabilityBin& bin = score.reliability[b];
    bin.fromPercent = static_cast<int>(10 * b);
    bin.toPercent = static_cast<int>(10 * b + 10);
    bin.cells = cells[b];
    if (cells[b] == 0) {
      bin.meanPredicted = bin.observedFrequency = Scalar::None("no cell in this class");
      continue;
    }
    const double n = static_cast<double>(cells[b]);
    bin.meanPredicted = Scalar::Of(100.0 * static_cast<double>(predicted[b]) / (n * runs));
    bin.observedFrequency = Scalar::Of(static_cast<double>(hits[b]) / n);
  }
  return score;
}

std::vector<RunStatistic> RunStatistics(const std::vector<std::vector<Scalar>>& values) {
  const std::size_t measures = values.empty() ? 0 : values.front().size();
  for (const auto& run : values)
    if (run.size() != measures)
      throw std::invalid_argument("every run needs a value for every measure");
  std::vector<RunStatistic> out(measures);
  for (std::size_t m = 0; m < measures; ++m) {
    double sum = 0.0;
    int n = 0;
    for (const auto& run : values)
      if (run[m].value) {
        sum += *run[m].value;
        ++n;
      }
    RunStatistic& st = out[m];
    st.defined = n;
    if (n == 0) {
      st.mean = st.sd = Scalar::None("no run has a value");
      continue;
    }
    const double mean = sum / n;
    double squares = 0.0;
    for (const auto& run : values)
      if (run[m].value) squares += (*run[m].value - mean) * (*run[m].value - mean);
    st.mean = Scalar::Of(mean);
    st.sd = Scalar::Of(n > 1 ? std::sqrt(squares / (n - 1)) : 0.0);
  }
  return out;
}

}  // namespace towngrow
