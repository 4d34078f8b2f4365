// The option tables: every option of every command, given a value other
// than its default, comes back from the command's repeat line parsed by the
// program's own parser (display options stay out of it), and values out of
// range or choice are refused by the jobs in the host's spelling.
#include <gtest/gtest.h>

#include <CLI/CLI.hpp>

#include "cli/command.h"
#include "io/error.h"
#include "jobs/options.h"

namespace jobs = towngrow::jobs;

namespace {

using Words = std::vector<std::pair<std::string, std::vector<std::string>>>;

Words WordsOf(const jobs::OptionTable& table) {
  Words words;
  table([&words](const jobs::Option& o, jobs::OptionField f) {
    words.emplace_back(o.stem, jobs::ValueWords(o, f));
  });
  return words;
}

template <class O>
void Parse(jobs::OptionTable (*table)(O&, jobs::HostOptions&), O& options, jobs::HostOptions& host,
           const std::string& line) {
  CLI::App app;
  towngrow::cli::AddOptions(&app, table(options, host));
  app.parse(line, false);
}

template <class O>
void RoundTrip(const std::string& command, jobs::OptionTable (*table)(O&, jobs::HostOptions&),
               const std::string& line) {
  SCOPED_TRACE(command);
  O given{}, defaults{}, again{};
  jobs::HostOptions givenHost, defaultHost, againHost;
  Parse(table, given, givenHost, line);
  const std::string repeat = jobs::RepeatLine(command, table(given, givenHost));
  const std::string head = "towngrow " + command + " ";
  ASSERT_EQ(repeat.rfind(head, 0), 0u) << repeat;
  Parse(table, again, againHost, repeat.substr(head.size()));

  const Words was = WordsOf(table(given, givenHost)), unset = WordsOf(table(defaults, defaultHost)),
              back = WordsOf(table(again, againHost));
  std::vector<bool> repeated;
  table(defaults, defaultHost)(
      [&repeated](const jobs::Option& o, jobs::OptionField) { repeated.push_back(o.repeated); });
  for (std::size_t i = 0; i < was.size(); ++i) {
    SCOPED_TRACE(was[i].first);
    EXPECT_NE(was[i].second, unset[i].second) << "the line leaves the option at its default";
    EXPECT_EQ(back[i].second, repeated[i] ? was[i].second : unset[i].second) << repeat;
  }
}

}  // namespace

TEST(OptionTables, EveryOptionOfEveryCommandRoundTripsThroughItsRepeatLine) {
  const std::string town =
      "--rows 31 --cols 42 --seed 7 --start /m/start.asc --background /m/bg.asc "
      "--schedule '/m/s chedule.json' --suitability /m/suit.tif --params /m/p.json --out /m/out "
      "--crs EPSG:32633 --quiet --extent full --chart-scale log --band 2 --lenient ";
  RoundTrip("run", jobs::RunTable,
            town + "--steps 9 --every 3 --format asc --format tif --no-png --no-gif");
  RoundTrip("ensemble", jobs::EnsembleTable,
            town +
                "--steps 9 --runs 5 --seed-step 3 --threads 2 --observed /m/o.asc "
                "--start-of-change /m/c.asc --classes /m/k.json");
  RoundTrip("calibrate", jobs::CalibrateTable,
            town +
                "--steps 9 --observed /m/a.asc:5 --observed /m/b.asc:9 --validate "
                "/m/v.asc:12 --space /m/space.json --classes /m/k.json --runs 2 --seed-step 4 "
                "--method nsga2 --rounds 4 --keep 5 --lattice 6 --samples 50 --evaluations "
                "80 --population 16 --trajectories 3 --levels 6 --max-points 2e6 "
                "--majority-runs 9 --horizon 40 --hold-ages --runaway 2.5 --objective "
                "'0.6*fom.developed+0.4*ksim' --threads 3 --resume");
  RoundTrip("compare", jobs::CompareTable,
            "/m/obs.asc /m/sim.asc --start /m/s.asc --classes /m/k.json --params /m/p.json "
            "--out /m/o --band 3 --lenient --halving 1.5 --radius 7 --no-fuzzy --quiet");
  RoundTrip("prepare", jobs::PrepareTable, "/m/recipe.json --out /m/prepared --quiet");
}

TEST(OptionTables, ValuesOutOfRangeOrChoiceAreRefusedInTheHostsSpelling) {
  struct Case {
    jobs::Spelling spelling;
    std::string line, refusal;
  } const cases[] = {
      {jobs::Spelling::Program, "--rows 4", "--rows must be from 5 to 10000, not 4"},
      {jobs::Spelling::Program, "--threads 5000", "--threads must be from 0 to 1024, not 5000"},
      {jobs::Spelling::Python, "--max-points 0", "max_points= must be from 1 to 100000000, not 0"},
      {jobs::Spelling::Qgis, "--chart-scale cube", "CHART_SCALE cube: not one of linear, log"},
      {jobs::Spelling::Program, "--runaway 1001", "--runaway must be from 0 to 1000, not 1001"},
      {jobs::Spelling::Python, "--extent all", "extent= all: not one of town, full"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.line);
    jobs::CalibrateOptions o;
    jobs::HostOptions host;
    Parse(jobs::CalibrateTable, o, host, k.line);
    jobs::SetSpelling(k.spelling);
    try {
      jobs::CheckOptionValues(jobs::CalibrateTable(o, host));
      ADD_FAILURE() << "taken";
    } catch (const towngrow::io::Error& e) {
      EXPECT_EQ(std::string(e.what()), k.refusal);
    }
    jobs::SetSpelling(jobs::Spelling::Program);
  }
  jobs::CalibrateOptions o;
  jobs::HostOptions host;
  EXPECT_THROW(Parse(jobs::CalibrateTable, o, host, "--method simplex"), CLI::ValidationError);
  EXPECT_NO_THROW(jobs::CheckOptionValues(jobs::CalibrateTable(o, host)));
}
