#include "store/calibration_store.h"

#include <sqlite3.h>

#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <system_error>

#include "io/error.h"
#include "io/json_file.h"

namespace towngrow::store {
namespace {

const char* const kSchema =
    "CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY, value TEXT NOT NULL) WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS points(key TEXT PRIMARY KEY, round INTEGER NOT NULL,"
    " parameters TEXT NOT NULL, seeds TEXT NOT NULL, objective REAL, objective_note TEXT,"
    " quantity REAL) WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS measures(point TEXT NOT NULL, control INTEGER NOT NULL,"
    " steps INTEGER NOT NULL, measure TEXT NOT NULL, defined INTEGER NOT NULL, mean REAL,"
    " sd REAL, note TEXT, PRIMARY KEY(point, control, measure)) WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS stopped(point TEXT PRIMARY KEY, runs INTEGER NOT NULL,"
    " step INTEGER NOT NULL) WITHOUT ROWID;";

// The reasons of undefined values read back: Scalar keeps a pointer to a
// text that must outlive it.
const char* Interned(const std::string& text) {
  static std::mutex mutex;
  static std::set<std::string> texts;
  std::lock_guard<std::mutex> lock(mutex);
  return texts.insert(text).first->c_str();
}

class Statement {
public:
  Statement(sqlite3* db, const char* sql, const std::string& path) : path_(path) {
    if (sqlite3_prepare_v2(db, sql, -1, &st_, nullptr) != SQLITE_OK)
      throw io::Error(path + ": " + sqlite3_errmsg(db));
  }
  ~Statement() { sqlite3_finalize(st_); }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  Statement& Text(int i, const std::string& v) {
    sqlite3_bind_text(st_, i, v.c_str(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Statement& Int(int i, long long v) {
    sqlite3_bind_int64(st_, i, v);
    return *this;
  }
  Statement& Real(int i, const Scalar& v) {
    if (v.value)
      sqlite3_bind_double(st_, i, *v.value);
    else
      sqlite3_bind_null(st_, i);
    return *this;
  }
  Statement& Note(int i, const Scalar& v) {
    if (v.value)
      sqlite3_bind_null(st_, i);
    else
      sqlite3_bind_text(st_, i, v.reason, -1, SQLITE_TRANSIENT);
    return *this;
  }
  bool Step() {
    const int rc = sqlite3_step(st_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) {
      sqlite3_reset(st_);
      return false;
    }
    throw io::Error(path_ + ": " + sqlite3_errmsg(sqlite3_db_handle(st_)));
  }
  std::string ColText(int i) const {
    const unsigned char* t = sqlite3_column_text(st_, i);
    return t ? reinterpret_cast<const char*>(t) : "";
  }
  long long ColInt(int i) const { return sqlite3_column_int64(st_, i); }
  Scalar ColScalar(int i, int note) const {
    if (sqlite3_column_type(st_, i) == SQLITE_NULL) return Scalar::None(Interned(ColText(note)));
    return Scalar::Of(sqlite3_column_double(st_, i));
  }

private:
  sqlite3_stmt* st_ = nullptr;
  std::string path_;
};

void Exec(sqlite3* db, const char* sql, const std::string& path) {
  char* err = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &err) != SQLITE_OK) {
    const std::string what = err ? err : "failed";
    sqlite3_free(err);
    throw io::Error(path + ": " + what);
  }
}

const std::map<std::string, std::string>& MetaWords() {
  static const std::map<std::string, std::string> words = {
      {"start", "start map"},
      {"controls", "control maps"},
      {"background", "background"},
      {"params", "parameters"},
      {"space", "search space"},
      {"runs", "number of runs"},
      {"seed", "seed"},
      {"seedStep", "seed step"},
      {"search", "search settings"},
      {"objective", "objective"},
      {"measures", "measures"},
      {"format", "database layout"},
      {"classes", "class file"},
      {"runaway", "runaway bound (--runaway)"},
      {"holdAges", "holding of ages (--hold-ages)"},
      {"scenario", "schedule or suitability (--schedule, --suitability)"}};
  return words;
}

}  // namespace

void CalibrationStore::CheckCompatible(const std::string& path, const StoreMeta& meta) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return;
  sqlite3* db = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  std::map<std::string, std::string> stored;
  bool readable = rc == SQLITE_OK;
  if (readable) {
    sqlite3_stmt* st = nullptr;
    readable = sqlite3_prepare_v2(db, "SELECT key, value FROM meta", -1, &st, nullptr) == SQLITE_OK;
    while (readable && sqlite3_step(st) == SQLITE_ROW)
      stored[reinterpret_cast<const char*>(sqlite3_column_text(st, 0))] =
          reinterpret_cast<const char*>(sqlite3_column_text(st, 1));
    sqlite3_finalize(st);
  }
  sqlite3_close(db);
  if (!readable || stored.empty())
    throw io::Error(path + ": not a calibration database; remove it or choose another --out");
  auto refuse = [&](const std::string& key) {
    auto word = MetaWords().find(key);
    throw io::Error(path + ": made for another " +
                    (word != MetaWords().end() ? word->second : key) + " (meta key " + key +
                    "); remove it or choose another --out");
  };
  std::set<std::string> asked;
  for (const auto& [key, value] : meta) {
    auto it = stored.find(key);
    if (it == stored.end() || it->second != value) refuse(key);
    asked.insert(key);
  }
  // A key only the store has (classes of its own, say) changed its measures too.
  for (const auto& entry : stored)
    if (asked.count(entry.first) == 0) refuse(entry.first);
}

CalibrationStore::CalibrationStore(const std::string& path, const StoreMeta& meta,
                                   std::vector<std::string> measures, std::vector<long> steps)
    : path_(path), measures_(std::move(measures)), steps_(std::move(steps)) {
  if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    const std::string what = db_ ? sqlite3_errmsg(db_) : "cannot open";
    sqlite3_close(db_);
    db_ = nullptr;
    throw io::Error(path + ": " + what);
  }
  sqlite3_busy_timeout(db_, 10000);
  Exec(db_, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;", path_);
  Exec(db_, "BEGIN IMMEDIATE", path_);
  Exec(db_, kSchema, path_);
  for (const auto& [key, value] : meta)
    Statement(db_, "INSERT OR IGNORE INTO meta(key, value) VALUES(?, ?)", path_)
        .Text(1, key)
        .Text(2, value)
        .Step();
  Exec(db_, "COMMIT", path_);
}

// A finished calibration leaves one plain database file (no WAL beside it).
CalibrationStore::~CalibrationStore() {
  sqlite3_exec(db_, "PRAGMA journal_mode=DELETE", nullptr, nullptr, nullptr);
  sqlite3_close(db_);
}

std::optional<PointResult> CalibrationStore::Lookup(const std::string& key) const {
  Statement p(db_,
              "SELECT round, seeds, objective, objective_note, quantity FROM points WHERE key = ?",
              path_);
  p.Text(1, key);
  if (!p.Step()) return std::nullopt;
  PointResult r;
  r.key = key;
  r.round = static_cast<int>(p.ColInt(0));
  for (const auto& s : io::Json::parse(p.ColText(1))) r.seeds.push_back(s.get<unsigned int>());
  r.objective = p.ColScalar(2, 3);
  r.quantity = p.ColScalar(4, 3);
  if (!r.quantity.value) r.quantity.reason = "quantity undefined in a run";
  r.stats.assign(steps_.size(), std::vector<RunStatistic>(measures_.size()));
  std::map<std::string, std::size_t> at;
  for (std::size_t m = 0; m < measures_.size(); ++m) at[measures_[m]] = m;
  Statement q(db_, "SELECT control, measure, defined, mean, sd, note FROM measures WHERE point = ?",
              path_);
  q.Text(1, key);
  std::size_t rows = 0;
  while (q.Step()) {
    const auto c = static_cast<std::size_t>(q.ColInt(0));
    auto m = at.find(q.ColText(1));
    if (c >= steps_.size() || m == at.end())
      throw io::Error(path_ + ": point " + key + " holds a measure this calibration does not");
    RunStatistic& s = r.stats[c][m->second];
    s.defined = static_cast<int>(q.ColInt(2));
    s.mean = q.ColScalar(3, 5);
    s.sd = q.ColScalar(4, 5);
    ++rows;
  }
  if (rows != steps_.size() * measures_.size())
    throw io::Error(path_ + ": point " + key + " lacks measures");
  Statement stopped(db_, "SELECT runs, step FROM stopped WHERE point = ?", path_);
  stopped.Text(1, key);
  if (stopped.Step()) {
    r.stoppedRuns = static_cast<int>(stopped.ColInt(0));
    r.stoppedStep = static_cast<long>(stopped.ColInt(1));
  }
  return r;
}

void CalibrationStore::Add(const PointResult& r, const std::vector<std::string>& names) {
  io::Json values = io::Json::object();
  for (std::size_t d = 0; d < names.size() && d < r.point.values.size(); ++d)
    values[names[d]] = r.point.values[d];
  io::Json seeds = io::Json::array();
  for (unsigned int s : r.seeds) seeds.push_back(s);
  Exec(db_, "BEGIN IMMEDIATE", path_);
  try {
    Statement(db_,
              "INSERT OR REPLACE INTO points(key, round, parameters, seeds, objective, "
              "objective_note, quantity) VALUES(?, ?, ?, ?, ?, ?, ?)",
              path_)
        .Text(1, r.key)
        .Int(2, r.round)
        .Text(3, values.dump())
        .Text(4, seeds.dump())
        .Real(5, r.objective)
        .Note(6, r.objective)
        .Real(7, r.quantity)
        .Step();
    Statement m(db_,
                "INSERT OR REPLACE INTO measures(point, control, steps, measure, defined, mean, "
                "sd, note) VALUES(?, ?, ?, ?, ?, ?, ?, ?)",
                path_);
    for (std::size_t c = 0; c < r.stats.size() && c < steps_.size(); ++c)
      for (std::size_t k = 0; k < r.stats[c].size() && k < measures_.size(); ++k) {
        const RunStatistic& s = r.stats[c][k];
        m.Text(1, r.key)
            .Int(2, static_cast<long long>(c))
            .Int(3, steps_[c])
            .Text(4, measures_[k])
            .Int(5, s.defined)
            .Real(6, s.mean)
            .Real(7, s.sd)
            .Note(8, s.mean)
            .Step();
      }
    if (r.stoppedRuns > 0)
      Statement(db_, "INSERT OR REPLACE INTO stopped(point, runs, step) VALUES(?, ?, ?)", path_)
          .Text(1, r.key)
          .Int(2, r.stoppedRuns)
          .Int(3, r.stoppedStep)
          .Step();
    Exec(db_, "COMMIT", path_);
  } catch (...) {
    sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

long CalibrationStore::Count() const {
  Statement c(db_, "SELECT COUNT(*) FROM points", path_);
  c.Step();
  return static_cast<long>(c.ColInt(0));
}

}  // namespace towngrow::store
