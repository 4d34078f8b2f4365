#include "jobs/ensemble_observed.h"

#include <cstring>
#include <filesystem>
#include <sstream>

#include "io/error.h"
#include "io/grid_files.h"
#include "io/params_json.h"
#include "jobs/compare_command.h"
#include "jobs/run_command.h"

namespace fs = std::filesystem;

namespace towngrow::jobs {
namespace {

void LoadSized(const std::string& path, const char* what, int rows, int cols, CLandUseCoverage& cov,
               CLandUseSet& set, io::MessageLog& log) {
  const io::GridFileInfo info = io::ReadGridFileInfo(path);
  if (info.rows != rows || info.cols != cols)
    throw io::AppError(path + ": has " + std::to_string(info.rows) + " x " +
                       std::to_string(info.cols) + " cells (rows x columns), the ensemble's grid " +
                       std::to_string(rows) + " x " + std::to_string(cols) + ": " + what +
                       " must be of the grid's size");
  io::LoadFitted(path, cov, set, log);
  delete[] cov.m_pCellAge;  // only IDs are compared
  cov.m_pCellAge = nullptr;
}

void CountWithoutClass(const RasterView& map, const ClassScheme& scheme,
                       std::array<std::uint64_t, 256>& counts) {
  for (int r = 0; r < map.rows; ++r)
    for (int c = 0; c < map.cols; ++c)
      if (scheme.classOf[map.Row(r)[c]] < 0) ++counts[map.Row(r)[c]];
}

}  // namespace

EnsembleComparison::EnsembleComparison(const std::string& observed,
                                       const std::string& startOfChange,
                                       const CLandUseCoverage* changeStart, CLandUseSet& set,
                                       int rows, int cols, int runs, io::MessageLog& log)
    : observedFile_(observed), startFile_(startOfChange), scheme_(DefaultClasses(set)) {
  LoadSized(observed, "the observed map", rows, cols, observed_, set, log);
  observedView_ = ViewOf(observed_, rows, cols);
  if (!startOfChange.empty()) {
    LoadSized(startOfChange, "the start of change", rows, cols, start_, set, log);
    startView_ = ViewOf(start_, rows, cols);
    hasStart_ = true;
  } else if (changeStart != nullptr) {
    startView_ = ViewOf(*changeStart, rows, cols);
    hasStart_ = true;
  }
  names_ = MeasureNames(scheme_, hasStart_, rows, cols);
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

void EnsembleComparison::Write(io::StagedFiles& staged, const std::string& dir,
                               const EnsembleResult& result, unsigned int seed,
                               unsigned int seedStep) const {
  stats_ = RunStatistics(perRun_);
  std::size_t developed = 0;
  while (developed < result.classNames.size() && result.classNames[developed] != "developed")
    ++developed;
  if (developed == result.classNames.size())
    throw io::AppError("the ensemble does not count the developed cells");
  score_ =
      ScoreProbability(result.cellCounts[developed].data(), result.runs, observedView_, scheme_);

  io::Json doc;
  doc["observed"] = AbsolutePath(observedFile_);
  doc["startOfChange"] = !startFile_.empty() ? io::Json(AbsolutePath(startFile_))
                         : hasStart_         ? io::Json("the ensemble's start")
                                             : io::Json(nullptr);
  doc["idsWithoutClass"] = io::Json{{"observed", IdCountsJson(observedNone_)},
                                    {"startOfChange", IdCountsJson(startNone_)}};
  doc["runs"] = result.runs;
  io::Json measures = io::Json::object(), undefined = io::Json::object();
  for (std::size_t m = 0; m < names_.size(); ++m) {
    const RunStatistic& st = stats_[m];
    measures[names_[m]] =
        io::Json{{"mean", ScalarJson(st.mean)}, {"sd", ScalarJson(st.sd)}, {"runs", st.defined}};
    if (!st.mean.value) undefined[names_[m]] = st.mean.reason;
  }
  doc["measures"] = measures;
  io::Json bins = io::Json::array();
  for (const ReliabilityBin& b : score_.reliability)
    bins.push_back(io::Json{{"fromPercent", b.fromPercent},
                            {"toPercent", b.toPercent},
                            {"cells", b.cells},
                            {"meanPredictedPercent", ScalarJson(b.meanPredicted)},
                            {"observedFrequency", ScalarJson(b.observedFrequency)}});
  doc["developedProbability"] = io::Json{{"cells", score_.cells},
                                         {"observedDeveloped", score_.observedDeveloped},
                                         {"auc", ScalarJson(score_.auc)},
                                         {"reliability", bins}};
  if (!score_.auc.value) undefined["developedProbability.auc"] = score_.auc.reason;
  doc["undefined"] = undefined;
  const fs::path folder(dir);
  staged.AddText((folder / "comparison.json").string(), io::DumpReadable(doc));

  std::ostringstream csv;
  csv << "run,seed";
  for (const std::string& n : names_) csv << ',' << n;
  csv << '\n';
  for (std::size_t r = 0; r < perRun_.size(); ++r) {
    csv << r << ',' << (seed + static_cast<unsigned int>(r) * seedStep);
    for (const Scalar& v : perRun_[r]) csv << ',' << FixedText(v, 6);
    csv << '\n';
  }
  staged.AddText((folder / "comparison.csv").string(), csv.str());
}

void EnsembleComparison::PrintSummary(std::FILE* out) const {
  std::fprintf(out, "Compared with %s (observed): mean (sd) over the runs\n",
               observedFile_.c_str());
  const char* shown[] = {"agreement", "kappa",      "quantity",      "allocation",
                         "leesallee", "fuzzykappa", "fom.developed", "ksim"};
  std::string line;
  for (const char* name : shown) {
    std::size_t m = 0;
    while (m < names_.size() && names_[m] != name) ++m;
    if (m == names_.size()) continue;
    const RunStatistic& st = stats_[m];
    line += std::string("  ") + name + " " +
            (st.mean.value ? FixedText(st.mean, 4) + " (" + FixedText(st.sd, 4) + ")" : "-");
    if (line.size() > 70) {
      std::fprintf(out, "%s\n", line.c_str());
      line.clear();
    }
  }
  if (!line.empty()) std::fprintf(out, "%s\n", line.c_str());
  std::fprintf(out,
               "  probability of developed: ROC AUC %s; reliability table in comparison.json\n",
               score_.auc.value ? FixedText(score_.auc, 4).c_str() : "-");
  for (int id = 0; id < 256; ++id)
    if (observedNone_[static_cast<std::size_t>(id)] > 0)
      std::fprintf(out, "  observed map: %llu cells of ID %d have no class and are left out\n",
                   static_cast<unsigned long long>(observedNone_[static_cast<std::size_t>(id)]),
                   id);
}

std::string EnsembleComparison::RepeatOptions() const {
  std::string s = " --observed " + ShellWord(AbsolutePath(observedFile_));
  if (!startFile_.empty()) s += " --start-of-change " + ShellWord(AbsolutePath(startFile_));
  return s;
}

}  // namespace towngrow::jobs
