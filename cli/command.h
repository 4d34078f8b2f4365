// A subcommand of the program: it adds its options to the command line,
// and, when it was the one given, runs its job and prints what the user
// reads on the terminal. Bad input of any kind throws io::Error, whose one
// line the program shows before it exits with status 2.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include <towngrow/towngrow.h>  // the host reaches the whole library
#include <CLI/CLI.hpp>

#include "io/grid_header.h"
#include "io/message_log.h"
#include "jobs/options.h"
#include "jobs/record.h"
#include "jobs/town.h"

namespace towngrow::cli {

constexpr int kExitBadInput = 2;

class Command {
public:
  virtual ~Command() = default;
  // Runs the job; answers the exit status.
  virtual int Run(std::FILE* out) = 0;
  CLI::App* app = nullptr;  // its part of the command line
};

// The commands, each added to `app`.
std::unique_ptr<Command> AddRunCommand(CLI::App& app);
std::unique_ptr<Command> AddEnsembleCommand(CLI::App& app);
std::unique_ptr<Command> AddCompareCommand(CLI::App& app);
std::unique_ptr<Command> AddCalibrateCommand(CLI::App& app);
std::unique_ptr<Command> AddPrepareCommand(CLI::App& app);
std::unique_ptr<Command> AddParamsCommand(CLI::App& app);
std::unique_ptr<Command> AddConvertCommand(CLI::App& app);
std::unique_ptr<Command> AddInfoCommand(CLI::App& app);
std::unique_ptr<Command> AddRenderCommand(CLI::App& app);

// The options of a command's table, each converted into the value it is
// bound to (the job checks the values).
void AddOptions(CLI::App* cmd, const jobs::OptionTable& table);
// True when --rows or --cols was given (the grid is then not fitted to a
// start file).
bool SizeGiven(const CLI::App* cmd);

// Where the layer's warnings go: one line "towngrow: warning: ..." on
// standard error (none on the secondary processes of a distributed run).
void PrintWarning(const std::string& text);

// The model's messages as counted by the log, "Messages of the model
// (times shown<note>):" and one line per text; nothing when there were none.
void PrintMessages(std::FILE* out, const io::MessageLog& log, const std::string& note = "");

// True when a progress bar may be drawn: standard error is a terminal and
// the work is not quiet.
bool ProgressShown(bool quiet);

}  // namespace towngrow::cli
