#include "jobs/ensemble_observed.h"

#include <cstring>
#include <sstream>
#include <utility>

#include "io/error.h"
#include "io/json_file.h"
#include "io/result_text.h"

namespace towngrow::jobs {
namespace {

void CountWithoutClass(const RasterView& map, const ClassScheme& scheme,
                       std::array<std::uint64_t, 256>& counts) {
  for (int r = 0; r < map.rows; ++r)
    for (int c = 0; c < map.cols; ++c)
      if (scheme.classOf[map.Row(r)[c]] < 0) ++counts[map.Row(r)[c]];
}

}  // namespace

EnsembleComparison::EnsembleComparison(const CLandUseCoverage& observed, std::string observedName,
                                       const CLandUseCoverage* start, std::string startName,
                                       ClassScheme scheme, int runs)
    : observedName_(std::move(observedName)),
      startName_(std::move(startName)),
      scheme_(std::move(scheme)) {
  observedView_ = ViewOf(observed);
  if (start != nullptr) {
    startView_ = ViewOf(*start);
    hasStart_ = true;
  }
  names_ = MeasureNames(scheme_, hasStart_, observedView_.rows, observedView_.cols);
  CountWithoutClass(observedView_, scheme_, observedNone_);
  if (hasStart_) CountWithoutClass(startView_, scheme_, startNone_);
  perRun_.assign(static_cast<std::size_t>(runs),
                 std::vector<Scalar>(names_.size(), Scalar::None("not run here")));
}

void EnsembleComparison::OnRunEnd(int run, const CLandUseCoverage& final) {
  MeasureEvaluator evaluator(scheme_, names_);
  evaluator.Evaluate(observedView_, ViewOf(final), hasStart_ ? &startView_ : nullptr,
                     perRun_[static_cast<std::size_t>(run)].data());
}

std::vector<std::uint64_t> EnsembleComparison::Pack() const {
  std::vector<std::uint64_t> words;
  words.reserve(perRun_.size() * names_.size() * 2);
  for (const auto& run : perRun_)
    for (const Scalar& v : run) {
      std::uint64_t bits = 0;
      if (v.value) std::memcpy(&bits, &*v.value, sizeof bits);
      words.push_back(bits);
      words.push_back(v.value ? 1 : 0);
    }
  return words;
}

void EnsembleComparison::Unpack(const std::vector<std::uint64_t>& words) {
  std::size_t w = 0;
  for (auto& run : perRun_)
    for (Scalar& v : run) {
      double value = 0;
      std::memcpy(&value, &words[w], sizeof value);
      v = words[w + 1] != 0 ? Scalar::Of(value) : Scalar::None("undefined in this run");
      w += 2;
    }
}

void EnsembleComparison::Finish(const EnsembleResult& result) {
  stats_ = RunStatistics(perRun_);
  std::size_t developed = 0;
  while (developed < result.classNames.size() && result.classNames[developed] != "developed")
    ++developed;
  if (developed == result.classNames.size())
    throw io::Error("the ensemble does not count the developed cells");
  score_ =
      ScoreProbability(result.cellCounts[developed].data(), result.runs, observedView_, scheme_);
}

void EnsembleComparison::Write(io::OutputFolder& folder, const EnsembleResult& result,
                               unsigned int seed, unsigned int seedStep) const {
  io::Json doc;
  doc["observed"] = observedName_;
  doc["startOfChange"] = !startName_.empty() ? io::Json(startName_)
                         : hasStart_         ? io::Json("the ensemble's start")
                                             : io::Json(nullptr);
  doc["idsWithoutClass"] = io::Json{{"observed", io::IdCountsJson(observedNone_)},
                                    {"startOfChange", io::IdCountsJson(startNone_)}};
  doc["runs"] = result.runs;
  io::Json measures = io::Json::object(), undefined = io::Json::object();
  for (std::size_t m = 0; m < names_.size(); ++m) {
    const RunStatistic& st = stats_[m];
    measures[names_[m]] = io::Json{
        {"mean", io::ScalarJson(st.mean)}, {"sd", io::ScalarJson(st.sd)}, {"runs", st.defined}};
    if (!st.mean.value) undefined[names_[m]] = st.mean.reason;
  }
  doc["measures"] = measures;
  io::Json bins = io::Json::array();
  for (const ReliabilityBin& b : score_.reliability)
    bins.push_back(io::Json{{"fromPercent", b.fromPercent},
                            {"toPercent", b.toPercent},
                            {"cells", b.cells},
                            {"meanPredictedPercent", io::ScalarJson(b.meanPredicted)},
                            {"observedFrequency", io::ScalarJson(b.observedFrequency)}});
  doc["developedProbability"] = io::Json{{"cells", score_.cells},
                                         {"observedDeveloped", score_.observedDeveloped},
                                         {"auc", io::ScalarJson(score_.auc)},
                                         {"reliability", bins}};
  if (!score_.auc.value) undefined["developedProbability.auc"] = score_.auc.reason;
  doc["undefined"] = undefined;
  folder.AddText("comparison.json", io::DumpReadable(doc));

  std::ostringstream csv;
  csv << "run,seed";
  for (const std::string& n : names_) csv << ',' << n;
  csv << '\n';
  for (std::size_t r = 0; r < perRun_.size(); ++r) {
    csv << r << ',' << (seed + static_cast<unsigned int>(r) * seedStep);
    for (const Scalar& v : perRun_[r]) csv << ',' << io::FixedText(v, 6);
    csv << '\n';
  }
  folder.AddText("comparison.csv", csv.str());
}

std::string EnsembleComparison::SummaryText() const {
  std::string text = "Compared with " + observedName_ + " (observed): mean (sd) over the runs\n";
  const char* shown[] = {"agreement", "kappa",      "quantity",      "allocation",
                         "leesallee", "fuzzykappa", "fom.developed", "ksim"};
  std::string line;
  for (const char* name : shown) {
    std::size_t m = 0;
    while (m < names_.size() && names_[m] != name) ++m;
    if (m == names_.size()) continue;
    const RunStatistic& st = stats_[m];
    line +=
        std::string("  ") + name + " " +
        (st.mean.value ? io::FixedText(st.mean, 4) + " (" + io::FixedText(st.sd, 4) + ")" : "-");
    if (line.size() > 70) {
      text += line + "\n";
      line.clear();
    }
  }
  if (!line.empty()) text += line + "\n";
  text += "  probability of developed: ROC AUC " +
          (score_.auc.value ? io::FixedText(score_.auc, 4) : std::string("-")) +
          "; reliability table in comparison.json\n";
  for (int id = 0; id < 256; ++id)
    if (observedNone_[static_cast<std::size_t>(id)] > 0)
      text += "  observed map: " + std::to_string(observedNone_[static_cast<std::size_t>(id)]) +
              " cells of ID " + std::to_string(id) + " have no class and are left out\n";
  return text;
}

}  // namespace towngrow::jobs
