// The command line: `towngrow run|ensemble|compare|calibrate|prepare|params|convert|info|
// render`, --help on every command, --version. Bad input of any kind (a wrong option as much
// as a refused file) gives one line on standard error and exit status 2.
#include "cli/cli.h"

#include <cstdio>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include <towngrow/towngrow.h>

#include "cli/command.h"
#include "cli/processes.h"
#include "io/error.h"

namespace towngrow::cli {
namespace {

int Fail(const std::string& what) {
  if (IsSecondaryProcess()) return kExitBadInput;  // the first process says it
  std::fprintf(stderr, "towngrow: error: %s\n", what.c_str());
  return kExitBadInput;
}

}  // namespace

int RunCli(int argc, char** argv) {
  CLI::App app{
      "towngrow: grows a town on a grid of land-use cells, step by step, and "
      "exchanges grids with GIS software."};
  app.name("towngrow");
  app.set_version_flag("--version", std::string("towngrow ") + Version());
  app.require_subcommand(1);
  app.option_defaults()->always_capture_default(true);

  std::vector<std::unique_ptr<Command>> commands;
  for (auto add :
       {AddRunCommand, AddEnsembleCommand, AddCompareCommand, AddCalibrateCommand,
        AddPrepareCommand, AddParamsCommand, AddConvertCommand, AddInfoCommand, AddRenderCommand})
    commands.push_back(add(app));

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);
    return Fail(e.what());
  }

  try {
    for (const auto& command : commands)
      if (command->app->parsed()) {
        const int code = command->Run(stdout);
        if (code != 0) return code;
      }
  } catch (const io::Error& e) {
    return Fail(e.what());
  } catch (const FileError& e) {
    return Fail(e.what());
  } catch (const std::bad_alloc&) {
    return Fail("not enough memory");
  } catch (const std::exception& e) {
    return Fail(e.what());
  }
  std::fflush(stdout);
  return 0;
}

}  // namespace towngrow::cli
