// Entry of the command-line host: parses the command line and runs the
// chosen command. Returns the process exit status (0 success, 2 bad input).
#pragma once

namespace towngrow::cli {

int RunCli(int argc, char** argv);

}  // namespace towngrow::cli
