// The option tables: every option of every command, given a value other than its default, comes
// back from the command's repeat line parsed by the program's own parser (display options stay out
// of it), and values out of range or choice are refused by the jobs in the host's spelling.
#include <gtest/gtest.h>

#include <CLI/CLI.hpp>
#include <functional>
#include <map>
#include <regex>
#include <sstream>

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

namespace {

template <class O>
std::function<void(const std::string&)> Checker(jobs::OptionTable (*table)(O&, jobs::HostOptions&),
                                                const std::string& required = "") {
  return [table, required](const std::string& line) {
    O given{};
    jobs::HostOptions givenHost;
    Parse(table, given, givenHost,
          line.rfind(required.substr(0, required.find(' ') + 1), 0) == 0 ? line : required + line);
    jobs::CheckOptionValues(table(given, givenHost));
  };
}

// `--stem value` refused with "<stem as the host spells it><says>": the program's, Python's and
// QGIS's spelling in turn; or by the parser, below 0 for a count kept unsigned.
void Refused(const std::function<void(const std::string&)>& check, const std::string& stem,
             const std::string& value, const std::string& says) {
  static int host = 0;
  const std::string python = std::regex_replace(stem, std::regex("-"), "_");
  std::string qgis = python;
  for (char& c : qgis) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const std::string spelled[] = {"--" + stem, python + "=", qgis};
  host = (host + 1) % 3;
  jobs::SetSpelling(static_cast<jobs::Spelling>(host));
  try {
    check("--" + stem + " " + value);
    ADD_FAILURE() << stem << " " << value << " taken";
  } catch (const towngrow::io::Error& e) {
    EXPECT_EQ(std::string(e.what()), spelled[host] + says);
  } catch (const CLI::ParseError&) {
    EXPECT_EQ(value, "-1") << stem;
  }
  jobs::SetSpelling(jobs::Spelling::Program);
}

}  // namespace

// The legal range of every number and the words of every choice, as --help tells them: both ends
// and every word are taken; one beyond either end, or another word, is refused naming the option
// (in the host's spelling) and what it may be. A method is parsed to its enum, so an unknown one is
// the parser's to refuse.
TEST(OptionTables, EveryRangeTakesBothEndsAndEveryChoiceItsWordsOnly) {
  const std::string sizes = "rows 5 10000 cols 5 10000 steps 0 100000000 band 0 65535 ";
  const std::pair<std::string, std::string> ranges[] = {
      {"run", sizes + "every 1 100000000"},
      {"ensemble", sizes + "runs 1 65535 threads 0 1024"},
      {"calibrate", sizes + "runs 1 65535 rounds 1 100 keep 1 1000 lattice 2 1000 samples 1 "
                            "10000000 evaluations 0 100000000 population 0 1000000 trajectories 1 "
                            "1000000 levels 2 1000 max-points 1 100000000 majority-runs 1 65535 "
                            "horizon 0 100000000 runaway 0 1000 threads 0 1024"},
      {"compare", "band 0 65535 radius 0 64"}};
  for (const auto& [command, text] : ranges) {
    SCOPED_TRACE(command);
    const auto check = command == "run"         ? Checker(jobs::RunTable)
                       : command == "ensemble"  ? Checker(jobs::EnsembleTable, "--runs 2 ")
                       : command == "calibrate" ? Checker(jobs::CalibrateTable)
                                                : Checker(jobs::CompareTable, "a b ");
    std::istringstream in(text);
    std::map<std::string, std::pair<long, long>> listed;
    for (std::string stem; in >> stem;) in >> listed[stem].first >> listed[stem].second;
    std::map<std::string, std::pair<long, long>> ranged;
    for (const jobs::OptionEntry& entry : jobs::CommandOptions(command)) {
      const jobs::Option& o = entry.option;
      if (o.kind == jobs::OptionKind::Number && o.min <= o.max)
        ranged[o.stem] = {static_cast<long>(o.min), static_cast<long>(o.max)};
      if (o.stem == std::string("method")) continue;  // parsed to its enum
      for (const std::string& word : o.choices)
        EXPECT_NO_THROW(check("--" + std::string(o.stem) + " " + word));
      std::string words;
      for (const std::string& word : o.choices) words += (words.empty() ? "" : ", ") + word;
      if (!o.choices.empty()) Refused(check, std::string(o.stem), "x", " x: not one of " + words);
    }
    EXPECT_EQ(ranged, listed);
    for (const auto& [stem, range] : listed) {
      const auto [lo, hi] = range;
      for (const long taken : {lo, hi})
        EXPECT_NO_THROW(check("--" + stem + " " + std::to_string(taken))) << stem;
      for (const long beyond : {lo - 1, hi + 1})
        Refused(check, stem, std::to_string(beyond),
                " must be from " + std::to_string(lo) + " to " + std::to_string(hi) + ", not " +
                    std::to_string(beyond));
    }
  }
  jobs::CalibrateOptions o;
  jobs::HostOptions host;
  EXPECT_THROW(Parse(jobs::CalibrateTable, o, host, "--method simplex"), CLI::ValidationError);
}
