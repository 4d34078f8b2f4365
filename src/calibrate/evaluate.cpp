// Objectives and the evaluation of points: runs x control maps on a pool of
// worker threads. See towngrow/calibrate.h for the rules.
//
// How it works: the runs of all the points of a call are numbered point by
// point (point j's run i is item j * runs + i) and handed out from an
// atomic counter, so the points finish roughly in order and a worker is
// never idle while runs are left. Each worker keeps one MeasureEvaluator;
// a run writes its measures into the slot of its point and run index, and
// the worker that ends a point's last run adds them up (RunStatistics sums
// in run order, so the result does not depend on which thread ran which
// run) and queues the point for the calling thread, which alone calls the
// host back.
#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <exception>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <utility>

#include "towngrow/calibrate.h"
#include "towngrow/platform/random.h"
#include "towngrow/simulation.h"

#include "compare/compare_internal.h"
#include "run_restart.h"

namespace towngrow {
namespace {

bool IsNameChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.' || c == '@' || c == '_' ||
         c == '-';
}

std::string Trimmed(const std::string& s) {
  std::size_t a = 0, b = s.size();
  while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
  while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
  return s.substr(a, b - a);
}

std::vector<std::string> SplitOn(const std::string& s, char sep) {
  std::vector<std::string> parts;
  std::size_t from = 0;
  for (;;) {
    const std::size_t at = s.find(sep, from);
    parts.push_back(
        Trimmed(s.substr(from, at == std::string::npos ? std::string::npos : at - from)));
    if (at == std::string::npos) return parts;
    from = at + 1;
  }
}

}  // namespace

bool Objective::LowerIsBetter(const std::string& name) {
  return name == "quantity" || name == "allocation" || name.rfind("quantity.", 0) == 0 ||
         name.rfind("allocation.", 0) == 0 || name.rfind("allocation@", 0) == 0;
}

Objective Objective::Parse(const std::string& text) {
  Objective o;
  if (Trimmed(text).empty()) throw std::invalid_argument("the objective is empty");
  for (const std::string& termText : SplitOn(text, '+')) {
    if (termText.empty()) throw std::invalid_argument("the objective has an empty term");
    Term term;
    for (const std::string& factor : SplitOn(termText, '*')) {
      if (factor.empty()) throw std::invalid_argument("the objective has an empty factor");
      const char first = factor[0];
      if (std::isdigit(static_cast<unsigned char>(first)) || first == '.') {
        char* end = nullptr;
        const double w = std::strtod(factor.c_str(), &end);
        if (end == nullptr || *end != '\0' || !std::isfinite(w) || w < 0)
          throw std::invalid_argument("the objective's weight " + factor +
                                      " is not a number of 0 or more");
        if (term.weighted)
          throw std::invalid_argument("the objective's term " + termText + " has two weights");
        term.weight = w;
        term.weighted = true;
        continue;
      }
      for (char c : factor)
        if (!IsNameChar(c))
          throw std::invalid_argument("the objective's measure name " + factor +
                                      " holds a character other than letters, digits, '.', "
                                      "'@', '_' or '-'");
      const auto at = std::find(o.measures_.begin(), o.measures_.end(), factor);
      term.factors.push_back(static_cast<std::size_t>(at - o.measures_.begin()));
      if (at == o.measures_.end()) o.measures_.push_back(factor);
    }
    if (term.factors.empty())
      throw std::invalid_argument("the objective's term " + termText + " names no measure");
    o.terms_.push_back(std::move(term));
  }
  double weights = 0;
  for (const Term& t : o.terms_) weights += t.weight;
  if (!(weights > 0)) throw std::invalid_argument("the objective's weights add up to 0");
  return o;
}

std::string Objective::Text() const {
  std::string text;
  for (std::size_t t = 0; t < terms_.size(); ++t) {
    if (t) text += '+';
    if (terms_[t].weighted) text += ValueText(terms_[t].weight) + '*';
    for (std::size_t f = 0; f < terms_[t].factors.size(); ++f)
      text += (f ? "*" : "") + measures_[terms_[t].factors[f]];
  }
  return text;
}

std::optional<double> Objective::Evaluate(const std::vector<std::optional<double>>& values) const {
  if (values.size() != measures_.size() || terms_.empty()) return std::nullopt;
  double sum = 0, weights = 0;
  for (const Term& t : terms_) {
    double product = 1;
    for (std::size_t f : t.factors) {
      if (!values[f]) return std::nullopt;
      product *= LowerIsBetter(measures_[f]) ? 1 - *values[f] : *values[f];
    }
    sum += t.weight * product;
    weights += t.weight;
  }
  return sum / weights;
}

// ---------------------------------------------------------------------------

const char* const kRunawayReason = "a run grew past the runaway bound";

namespace {

const char* const kStoppedRun = "the run stopped before this map: it grew past the runaway bound";

// Cells of the scheme's developed classes.
long DevelopedCells(const RasterView& map, const ClassScheme& scheme) {
  std::array<bool, 256> developed{};
  for (int id = 0; id < 256; ++id) {
    const int k = scheme.classOf[static_cast<std::size_t>(id)];
    developed[static_cast<std::size_t>(id)] =
        k >= 0 && scheme.developed[static_cast<std::size_t>(k)];
  }
  long cells = 0;
  for (int r = 0; r < map.rows; ++r) {
    const unsigned char* row = map.Row(r);
    for (int c = 0; c < map.cols; ++c) cells += developed[row[c]] ? 1 : 0;
  }
  return cells;
}

}  // namespace

// The runaway bound: after step t a run stops when its developed cells
// exceed limit of the first bound at or after t.
struct RunawayBound {
  struct At {
    long steps;
    double limit;  // K times the map's (or the start's, if more) developed cells
  };
  std::vector<At> bounds;         // by steps, those of maps with developed cells
  std::vector<int> developedIds;  // IDs of the developed classes
};

struct PointEvaluator::Impl {
  CalibrationModel model;
  int threads = 1;
  std::vector<std::string> measures;
  std::vector<std::size_t> objectiveAt;  // objective's measures in `measures`
  std::size_t quantityAt = 0;
  long lastStep = 0;
  RunawayBound runaway;
  // Per control map, the table of (start, observed, start) when every
  // measure comes from it (empty otherwise), counted once.
  std::vector<std::vector<std::uint64_t>> baseTables;
};

PointEvaluator::PointEvaluator(CalibrationModel model, int threads)
    : impl_(std::make_unique<Impl>()) {
  const CalibrationModel& m = model;
  if (m.start == nullptr || m.start->IsEmpty() || m.start->m_pData == nullptr)
    throw std::invalid_argument("a calibration needs a start map with cells");
  if (!m.makeSet) throw std::invalid_argument("a calibration needs a way to make a point's set");
  if (m.controls.empty()) throw std::invalid_argument("a calibration needs a control map");
  for (const ControlMap& c : m.controls) {
    if (c.map.rows != m.start->m_nRows || c.map.cols != m.start->m_nCols || c.map.data == nullptr)
      throw std::invalid_argument("a control map is " + std::to_string(c.map.rows) + " x " +
                                  std::to_string(c.map.cols) + " cells, the start " +
                                  std::to_string(m.start->m_nRows) + " x " +
                                  std::to_string(m.start->m_nCols));
    if (c.steps < 1) throw std::invalid_argument("a control map must lie 1 or more steps ahead");
    impl_->lastStep = std::max(impl_->lastStep, c.steps);
  }
  if (m.runs < 1 || m.runs > 65535)
    throw std::invalid_argument("a point needs 1 to 65535 runs, not " + std::to_string(m.runs));
  if (!(m.runaway == 0 || (m.runaway >= 1 && m.runaway <= 1000)))
    throw std::invalid_argument("the runaway bound must be 0 (off) or from 1 to 1000");
  if (threads < 0) throw std::invalid_argument("a negative number of threads");
  if (m.objective.Empty() && !m.customObjective)
    throw std::invalid_argument("a calibration needs an objective");
  m.scheme.Check();

  std::vector<std::string>& names = impl_->measures;
  auto add = [&names](const std::string& n) {
    const auto at = std::find(names.begin(), names.end(), n);
    if (at == names.end()) names.push_back(n);
    return static_cast<std::size_t>(std::find(names.begin(), names.end(), n) - names.begin());
  };
  for (const std::string& n : m.measures) add(n);
  for (const std::string& n : m.objective.Measures()) impl_->objectiveAt.push_back(add(n));
  impl_->quantityAt = add("quantity");
  MeasureEvaluator check(m.scheme, names, m.halvingDistance, m.radius);  // throws for unknown names

  if (m.runaway > 0) {
    RunawayBound& bound = impl_->runaway;
    for (int id = 0; id < 256; ++id) {
      const int k = m.scheme.classOf[static_cast<std::size_t>(id)];
      if (k >= 0 && m.scheme.developed[static_cast<std::size_t>(k)])
        bound.developedIds.push_back(id);
    }
    const long atStart = DevelopedCells(ViewOf(*m.start), m.scheme);
    for (const ControlMap& c : m.controls) {
      const long cells = std::max(DevelopedCells(c.map, m.scheme), atStart);
      if (cells > 0) bound.bounds.push_back({c.steps, m.runaway * static_cast<double>(cells)});
    }
    std::sort(bound.bounds.begin(), bound.bounds.end(),
              [](const RunawayBound::At& a, const RunawayBound::At& b) {
                return a.steps < b.steps || (a.steps == b.steps && a.limit < b.limit);
              });
  }
  {
    const MeasureEvaluator probe(m.scheme, names, m.halvingDistance, m.radius);
    impl_->baseTables.resize(m.controls.size());
    if (compare_detail::ChangedCells::Suits(probe))
      for (std::size_t c = 0; c < m.controls.size(); ++c)
        compare_detail::ChangedCells::BaseTable(probe, ViewOf(*m.start), m.controls[c].map,
                                                impl_->baseTables[c]);
  }
  impl_->threads =
      threads == 0 ? static_cast<int>(std::max(1u, std::thread::hardware_concurrency())) : threads;
  impl_->model = std::move(model);
}

PointEvaluator::~PointEvaluator() = default;

const std::vector<std::string>& PointEvaluator::Measures() const { return impl_->measures; }
const CalibrationModel& PointEvaluator::Model() const { return impl_->model; }

void PointEvaluator::Complete(PointResult& r, const Point& point, const SearchSpace& space,
                              int round) const {
  const CalibrationModel& m = impl_->model;
  r.point = point;
  r.key = PointKey(space, point);
  r.round = round;
  r.seeds.clear();
  for (unsigned int i = 0; i < static_cast<unsigned int>(m.runs); ++i)
    r.seeds.push_back(m.baseSeed + i * m.seedStep);
  Score(r);
}

void PointEvaluator::Score(PointResult& r) const {
  const Impl& im = *impl_;
  const std::size_t controls = r.stats.size();
  r.quantity = Scalar::None("no control map");
  double quantity = 0;
  bool quantityDefined = controls > 0;
  for (const auto& atControl : r.stats) {
    const RunStatistic& q = atControl.at(im.quantityAt);
    if (q.defined != im.model.runs || !q.mean.value)
      quantityDefined = false;
    else
      quantity += *q.mean.value;
  }
  if (quantityDefined)
    r.quantity = Scalar::Of(quantity / static_cast<double>(controls));
  else if (controls > 0)
    r.quantity = Scalar::None("quantity undefined in a run");

  if (r.stoppedRuns > 0) {
    r.objective = Scalar::None(kRunawayReason);
    return;
  }
  if (im.model.customObjective) {
    const std::optional<double> v = im.model.customObjective(r);
    r.objective = v ? Scalar::Of(*v) : Scalar::None("the host's objective is undefined");
    return;
  }
  double sum = 0;
  for (const auto& atControl : r.stats) {
    std::vector<std::optional<double>> values;
    for (std::size_t at : im.objectiveAt) {
      const RunStatistic& s = atControl.at(at);
      if (s.defined != im.model.runs) {
        r.objective = Scalar::None("a measure of the objective is undefined in a run");
        return;
      }
      values.push_back(s.mean.value);
    }
    const std::optional<double> v = im.model.objective.Evaluate(values);
    if (!v) {
      r.objective = Scalar::None("a measure of the objective is undefined in a run");
      return;
    }
    sum += *v;
  }
  r.objective = controls > 0 ? Scalar::Of(sum / static_cast<double>(controls))
                             : Scalar::None("no control map");
}

namespace {

// A finished point's statistics and stops, for the calling thread.
struct Finished {
  std::size_t point = 0;
  std::vector<std::vector<RunStatistic>> stats;
  int stoppedRuns = 0;
  long stoppedStep = 0;
};

struct Job {
  const CalibrationModel& model;
  const std::vector<std::string>& measures;
  const std::vector<Point>& points;
  long lastStep;
  std::size_t items;  // points * runs
  // Per control map, the table of (start, observed, start) when every
  // measure comes from it (empty otherwise): a run is then compared by the
  // cells its steps wrote.
  const std::vector<std::vector<std::uint64_t>>& baseTables;
  const RunawayBound& runaway;

  std::atomic<std::size_t> next{0};
  std::atomic<bool> stop{false};
  std::mutex setMutex;

  std::mutex mutex;  // guards what follows
  std::condition_variable changed;
  // [point][run][control][measure]
  std::vector<std::vector<std::vector<std::vector<Scalar>>>> values;
  std::vector<int> runsLeft;
  std::vector<Finished> stops;  // per point: its stopped runs and first stop so far
  std::deque<Finished> ready;
  int working = 0;
  std::exception_ptr error;

  Job(const CalibrationModel& m, const std::vector<std::string>& names, const std::vector<Point>& p,
      long last, const std::vector<std::vector<std::uint64_t>>& tables, const RunawayBound& bound)
      : model(m),
        measures(names),
        points(p),
        lastStep(last),
        items(p.size() * static_cast<std::size_t>(m.runs)),
        baseTables(tables),
        runaway(bound) {}
};

// What a worker keeps from run to run: one driver, restarted from the
// start by the cells the last run wrote, and the set of its run.
struct WorkerRun {
  std::unique_ptr<CLandUseSet> set;
  std::unique_ptr<Simulation> sim;
};

void RunItem(Job& job, std::size_t item, MeasureEvaluator& evaluator, WorkerRun& keep) {
  const CalibrationModel& m = job.model;
  const std::size_t runs = static_cast<std::size_t>(m.runs);
  const std::size_t j = item / runs;
  const unsigned int run = static_cast<unsigned int>(item % runs);
  std::unique_ptr<CLandUseSet> set;
  {
    std::lock_guard<std::mutex> lock(job.setMutex);
    set = m.makeSet(job.points[j]);
  }
  if (!set) throw std::runtime_error("the calibration's set maker gave no set");

  // As the ensemble runner starts run i: so `towngrow run --seed S + i*K`
  // repeats it.
  const CLandUseCoverage& start = *m.start;
  if (!keep.sim) keep.sim = std::make_unique<Simulation>(set.get());
  Simulation& sim = *keep.sim;
  detail::RunRestart::Start(sim, start, set.get(), m.background, "calibration");
  sim.SetScenario(m.scenario);
  keep.set = std::move(set);  // the last run's set goes only now
  SeedRandom(m.baseSeed + run * m.seedStep);

  const Simulation& reader = sim;
  const RasterView startView = ViewOf(start);
  std::vector<std::vector<Scalar>> mine(m.controls.size(),
                                        std::vector<Scalar>(job.measures.size()));
  auto measureAt = [&](long step) {
    for (std::size_t c = 0; c < m.controls.size(); ++c) {
      if (m.controls[c].steps != step) continue;
      const std::vector<std::uint64_t>* changed = detail::RunRestart::ChangedSinceStart(sim);
      if (changed != nullptr && !job.baseTables[c].empty())
        compare_detail::ChangedCells::Evaluate(evaluator, job.baseTables[c], startView,
                                               m.controls[c].map, ViewOf(reader.Current()),
                                               changed->data(), changed->size(), mine[c].data());
      else
        evaluator.Evaluate(m.controls[c].map, ViewOf(reader.Current()), &startView, mine[c].data());
    }
  };
  // The runaway bound: the developed cells after each step against the
  // next control map's bound.
  const RunawayBound& bound = job.runaway;
  std::size_t nextBound = 0;
  long stoppedAt = 0;
  auto runsAway = [&](const StepReport& report) {
    while (nextBound < bound.bounds.size() && bound.bounds[nextBound].steps < report.step)
      ++nextBound;
    if (nextBound == bound.bounds.size()) return false;
    long developed = 0;
    for (int id : bound.developedIds) developed += report.cellsPerId[static_cast<std::size_t>(id)];
    return static_cast<double>(developed) > bound.bounds[nextBound].limit;
  };
  const long ran = sim.Run(job.lastStep, [&](const StepReport& report) {
    measureAt(report.step);
    if (runsAway(report)) stoppedAt = report.step;
    return stoppedAt == 0 && !job.stop.load(std::memory_order_relaxed);
  });
  if (job.stop.load()) return;
  if (stoppedAt > 0) {
    for (std::size_t c = 0; c < m.controls.size(); ++c)
      if (m.controls[c].steps > stoppedAt)
        std::fill(mine[c].begin(), mine[c].end(), Scalar::None(kStoppedRun));
  } else if (ran != job.lastStep) {
    throw std::runtime_error("a calibration run stopped early");
  }

  std::lock_guard<std::mutex> lock(job.mutex);
  job.values[j][run] = std::move(mine);
  Finished& stops = job.stops[j];
  if (stoppedAt > 0) {
    ++stops.stoppedRuns;
    stops.stoppedStep = stops.stoppedStep == 0 ? stoppedAt : std::min(stops.stoppedStep, stoppedAt);
  }
  if (--job.runsLeft[j] > 0) return;
  Finished done = stops;
  done.point = j;
  done.stats.resize(m.controls.size());
  for (std::size_t c = 0; c < m.controls.size(); ++c) {
    std::vector<std::vector<Scalar>> perRun;
    for (auto& r : job.values[j]) perRun.push_back(std::move(r[c]));
    done.stats[c] = RunStatistics(perRun);
  }
  job.values[j].clear();
  job.values[j].shrink_to_fit();
  job.ready.push_back(std::move(done));
  job.changed.notify_all();
}

void Worker(Job& job) {
  try {
    MeasureEvaluator evaluator(job.model.scheme, job.measures, job.model.halvingDistance,
                               job.model.radius);
    WorkerRun keep;
    while (!job.stop.load()) {
      const std::size_t item = job.next.fetch_add(1);
      if (item >= job.items) break;
      RunItem(job, item, evaluator, keep);
    }
  } catch (...) {
    job.stop.store(true);
    std::lock_guard<std::mutex> lock(job.mutex);
    if (!job.error) job.error = std::current_exception();
  }
  std::lock_guard<std::mutex> lock(job.mutex);
  --job.working;
  job.changed.notify_all();
}

}  // namespace

void PointEvaluator::Evaluate(const std::vector<Point>& points, const SearchSpace& space, int round,
                              const std::function<void(std::size_t, PointResult&&)>& done) const {
  if (points.empty()) return;
  const Impl& im = *impl_;
  Job job(im.model, im.measures, points, im.lastStep, im.baseTables, im.runaway);
  const std::size_t runs = static_cast<std::size_t>(im.model.runs);
  job.values.assign(points.size(), std::vector<std::vector<std::vector<Scalar>>>(runs));
  job.runsLeft.assign(points.size(), im.model.runs);
  job.stops.assign(points.size(), Finished());

  const int threads =
      static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(im.threads), job.items));
  job.working = threads;
  std::vector<std::thread> pool;
  auto stopAll = [&] {
    job.stop.store(true);
    for (std::thread& t : pool)
      if (t.joinable()) t.join();
  };
  try {
    for (int t = 0; t < threads; ++t) pool.emplace_back(Worker, std::ref(job));
    for (;;) {
      Finished next;
      {
        std::unique_lock<std::mutex> lock(job.mutex);
        job.changed.wait(lock, [&] { return !job.ready.empty() || job.working == 0; });
        if (job.error) break;
        if (job.ready.empty()) break;
        next = std::move(job.ready.front());
        job.ready.pop_front();
      }
      PointResult r;
      r.stats = std::move(next.stats);
      r.stoppedRuns = next.stoppedRuns;
      r.stoppedStep = next.stoppedStep;
      Complete(r, points[next.point], space, round);
      done(next.point, std::move(r));
    }
  } catch (...) {
    stopAll();
    throw;
  }
  stopAll();
  if (job.error) std::rethrow_exception(job.error);
}

}  // namespace towngrow
